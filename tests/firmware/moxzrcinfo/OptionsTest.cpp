// The command line and the usage screen: the application's one option, and the parser and screen on
// larger tables of the kinds the parser takes (values, required options, positional slots).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "firmware/moxzrcinfo/Options.h"
#include "tests/firmware/moxzrcinfo/FirmwareRun.h"

namespace {

using zrcinfo::FirmwareRun;
using zrcinfo::kUsage;

struct CommandLineCase {
    std::vector<std::string> arguments;
    std::string screen;
    EFI_STATUS status;
};

TEST(CommandLine, HelpAndRefusals) {
    const std::string bad = "Bad Command Line!!\n" + std::string(kUsage);
    const std::string help = std::string(kUsage) + "Exit: Found ?\n";
    const std::vector<CommandLineCase> cases = {
        // "?" after a slash, minus or plus shows the usage and runs no test.
        {{"/?"}, help, EFI_SUCCESS},
        {{"-?"}, help, EFI_SUCCESS},
        {{"+?"}, help, EFI_SUCCESS},
        // Given twice: one warning, then the usage.
        {{"/?", "/?"},
         "Warning: Option /? has already been specified and will be ignored.\n" + help,
         EFI_SUCCESS},
        // One argument, one name: "?/?" and "?x" are no option's name.
        {{"/?/?"}, "/?/? is an unexpected parameter.\n" + bad, EFI_INVALID_PARAMETER},
        {{"/?x"}, "/?x is an unexpected parameter.\n" + bad, EFI_INVALID_PARAMETER},
        // "?" takes no value.
        {{"/?:x"}, "/?:x is an unexpected parameter.\n" + bad, EFI_INVALID_PARAMETER},
        {{"foo"}, "foo is an unexpected parameter.\n" + bad, EFI_INVALID_PARAMETER},
        {{"/"}, "/ is an unexpected parameter.\n" + bad, EFI_INVALID_PARAMETER},
    };
    for (const CommandLineCase& c : cases) {
        FirmwareRun run;
        EXPECT_EQ(run.Run(c.arguments), c.status) << c.arguments[0];
        EXPECT_EQ(run.Screen(), c.screen) << c.arguments[0];
    }
}

TEST(CommandLine, LinesEndInCarriageReturnAndLineFeed) {
    FirmwareRun run;
    run.Run({"/?"});
    const std::string text = run.firmware().ConsoleText();
    EXPECT_EQ(text.substr(text.size() - 15), "Exit: Found ?\r\n");
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
}

// A table of every kind of row: case-sensitive, with values, required, hidden, positional.
struct OptionTable {
    std::vector<MOX_OPTION> rows = {
        {"Mode", "[/Mode:name]", "Case matters", 1, OPTION_CASE_SENSITIVE, nullptr},
        {"pair", "[/pair a b]", "Two values", 2, 0, nullptr},
        {"need", "/need", "Required", 0, OPTION_REQUIRED, nullptr},
        {"secret", "[/secret]", OPTION_HIDDEN_HELP, 0, 0, nullptr},
        {"", "<file>", "A positional slot", 0, 0, nullptr},
    };
    OptionTable() {
        gOptions = rows.data();
        gOptionCount = rows.size();
    }
    ~OptionTable() {
        gOptions = gMoxZrcInfoOptions;
        gOptionCount = gMoxZrcInfoOptionCount;
    }
};

struct ParseCase {
    std::vector<std::string> arguments;
    UINTN result;
    std::string screen;
};

TEST(CommandLine, ParserOnATableOfEveryKind) {
    const std::vector<ParseCase> cases = {
        {{"/need", "/Mode:fast", "/pair", "1", "2", "in.txt"}, OPTIONS_PARSED, ""},
        {{"/need", "-pair", "1", "2"}, OPTIONS_PARSED, ""},
        // Case-sensitive rows match their own spelling only; others any.
        {{"/NEED", "/mode:fast"}, OPTIONS_BAD_COMMAND_LINE, "/mode:fast is an unexpected parameter.\n"},
        {{"/need", "/Mode"}, OPTIONS_BAD_COMMAND_LINE, "Missing parameter for [/Mode:name]\n"},
        {{"/need", "/pair", "1", "/Mode:x"}, OPTIONS_BAD_COMMAND_LINE, "Missing parameter for [/pair a b]\n"},
        {{"/need", "/pair:1", "2"}, OPTIONS_PARSED, ""},
        {{"/Mode:x"}, OPTIONS_BAD_COMMAND_LINE, "Missing parameter for /need\n"},
        {{"/need", "a.txt", "b.txt"}, OPTIONS_BAD_COMMAND_LINE, "b.txt is an unexpected parameter.\n"},
        {{}, OPTIONS_NONE_GIVEN, ""},
    };
    for (const ParseCase& c : cases) {
        FirmwareRun run;
        run.Attach();
        OptionTable table;
        std::vector<std::string> texts{"MoxZrcInfo.efi"};
        texts.insert(texts.end(), c.arguments.begin(), c.arguments.end());
        std::vector<CHAR8*> argv;
        for (std::string& t : texts)
            argv.push_back(t.data());
        EXPECT_EQ(ParseOptionTable(argv.size(), argv.data()), c.result)
            << testing::PrintToString(c.arguments);
        EXPECT_EQ(run.Screen(), c.screen) << testing::PrintToString(c.arguments);
    }
}

TEST(CommandLine, ValuesAndSwitches) {
    FirmwareRun run;
    run.Attach();
    OptionTable table;
    std::vector<std::string> texts{"x", "/need", "/Mode:fast", "/pair", "1", "2", "in.txt", "+secret-"};
    std::vector<CHAR8*> argv;
    for (std::string& t : texts)
        argv.push_back(t.data());
    ASSERT_EQ(ParseOptionTable(argv.size(), argv.data()), UINTN{OPTIONS_PARSED});
    EXPECT_STREQ(table.rows[0].Value, "fast");
    EXPECT_STREQ(table.rows[1].Value, "1");
    EXPECT_STREQ(table.rows[4].Value, "in.txt");
    EXPECT_TRUE(IsOptionSet("need"));
    EXPECT_TRUE(IsOptionSet("secret"));
    EXPECT_FALSE(IsOptionSet("missing"));
    // "+" before the name enables, "-" after it disables again.
    EXPECT_EQ(table.rows[3].Flags & OPTION_ENABLED, 0);
    EXPECT_NE(table.rows[2].Flags & OPTION_ENABLED, 0);
    EXPECT_EQ(FindOption("mode"), -1);
    EXPECT_EQ(FindOption("NEED"), 2);
    // The cut character is put back: the argument reads as given.
    EXPECT_EQ(texts[2], "/Mode:fast");
}

// The usage screen of twelve options, each with help that wraps once at 80 columns: the count starts
// at 4 (3 and the banner's line break) and passes 23 lines (25 rows less 2) with the tenth row.
std::string UsageOfALongTable(FirmwareRun& run) {
    run.Attach();
    std::vector<std::string> names;
    for (int i = 0; i < 12; ++i)
        names.push_back("option" + std::to_string(i));
    std::vector<MOX_OPTION> rows;
    for (const std::string& name : names)
        rows.push_back({name.c_str(), "[/optionN]",
                        "This help text is long enough that it has to wrap onto a second line of the "
                        "usage screen.",
                        0, 0, nullptr});
    gOptions = rows.data();
    gOptionCount = rows.size();
    ParseOptionTable(0, nullptr);
    PrintUsage();
    gOptions = gMoxZrcInfoOptions;
    gOptionCount = gMoxZrcInfoOptionCount;
    return run.Screen();
}

TEST(Usage, PagesOnAConsoleWithASize) {
    FirmwareRun run;
    run.firmware().QueueKeys(u" ");
    const std::string screen = UsageOfALongTable(run);
    EXPECT_EQ(run.firmware().KeysWaiting(), 0u);
    const std::string pause = "   - Press any key to continue -\r                                \r";
    ASSERT_EQ(screen.find(pause), screen.rfind(pause));
    // The pause comes after the tenth row's two lines; the count starts again after it.
    EXPECT_NE(screen.find("/option9  This help text is long enough that it has to wrap onto a second line\n"
                          "          of the usage screen.\n" +
                          pause + "/option10 This"),
              std::string::npos)
        << screen;
    // Help wraps to the label column.
    EXPECT_NE(screen.find("/option0  This help text is long enough that it has to wrap onto a second line\n"
                          "          of the usage screen.\n"),
              std::string::npos)
        << screen;
    // The synopsis wraps under the program name.
    EXPECT_NE(screen.find("MoxZrcInfo.efi [/optionN] [/optionN] [/optionN] [/optionN] [/optionN] [/optionN]\n"
                          "               [/optionN]"),
              std::string::npos)
        << screen;
}

TEST(Usage, NeverPausesOnAConsoleWithoutASize) {
    FirmwareRun run(
        sim::MachineBuilder::Default().Merge(R"({"uefi": {"console": {"columns": 0, "rows": 0}}})"));
    EXPECT_EQ(UsageOfALongTable(run).find("Press any key"), std::string::npos);
    EXPECT_EQ(run.machine().calls().Count("BootServices.WaitForEvent"), 0u);
}

TEST(Usage, AWaitWithoutAKeyFailsInsteadOfBlocking) {
    FirmwareRun run;
    UsageOfALongTable(run);
    const auto problems = run.firmware().TakeProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("WaitForEvent"), std::string::npos);
}

TEST(Usage, NoLineBufferNoScreen) {
    FirmwareRun run;
    run.machine().faults().Add(
        R"({"kind": "BootServices.AllocatePool", "match": {"size": 81}, "outcome": {"efi_error": 9}})");
    EXPECT_EQ(run.Run({"/?"}), EFI_SUCCESS);
    EXPECT_EQ(run.Screen(), " tmp_buf is NULL. Cannot allocate memory. Exit from function.\nExit: Found ?\n");
}

} // namespace
