#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/BoostCommandParser.h"
#include "cli/HelpPrinter.h"
#include "cli/LegacyHelpTexts.h"
#include "cli/ParseCommandLine.h"
#include "middleware/core/ErrorCodes.h"
#include "tests/cli/CaptureStdout.h"

namespace {

// A compiler cache may record this file's path relative to the folder the tests were compiled in,
// which is also where the test executable lives.
std::filesystem::path GoldenDir() {
    std::filesystem::path source(__FILE__);
    if (source.is_relative())
        source = std::filesystem::read_symlink("/proc/self/exe").parent_path() / source;
    return source.parent_path() / "golden";
}

// The product prints help at level 1; level 0 shows every mode with the texts of its factory.
std::string HelpFor(std::vector<std::string> args, int32_t level = 1) {
    args.insert(args.begin(), "moxcli");
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    MOX::BoostCommandParser parser("MOX CLI Tool", 80, 40);
    EXPECT_FALSE(MOX::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), parser).isError());
    clitest::CaptureStdout out;
    MOX::PrintHelp(level, parser);
    return out.text();
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// MOX_UPDATE_GOLDEN=1 rewrites the golden files from the current output.
void ExpectGolden(const std::string& printed, const char* file) {
    const auto path = GoldenDir() / file;
    if (const char* update = std::getenv("MOX_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::ofstream(path, std::ios::binary) << printed;
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
    EXPECT_TRUE(printed == ReadFile(path)) << file << " differs; printed:\n" << printed;
}

TEST(HelpPrinter, OutputsMatchTheGoldenFiles) {
    struct Case {
        std::vector<std::string> args;
        const char* golden;
        int32_t level = 1;
    };
    const Case cases[] = {
        {{"--help"}, "help.txt"},
        {{"-h"}, "help.txt"},
        {{"--information", "--help"}, "information-help.txt"},
        {{"--zrc", "--help"}, "zrc-help.txt"},
        {{"--legacyHelp"}, "legacy-help.txt"},
        {{"--help", "--legacyHelp"}, "legacy-help.txt"},
        {{"--zrc", "--legacyHelp"}, "legacy-help.txt"},
        {{"--help"}, "help-level-0.txt", 0},
        {{"--legacyHelp"}, "legacy-help-level-0.txt", 0},
    };
    for (const auto& c : cases)
        ExpectGolden(HelpFor(c.args, c.level), c.golden);
}

TEST(HelpPrinter, OptionsListIsSortedByShortThenLongName) {
    const std::string help = HelpFor({"--help"});
    const auto at = [&](const std::string& line) {
        const auto pos = help.find("\n   " + line + "\n");
        EXPECT_NE(pos, std::string::npos) << line;
        return pos;
    };
    EXPECT_LT(at("--drive-to-accel <<host>-<bus>-<target>-<lun>>"),
              at("--fast-drive <<host>-<bus>-<target>-<lun>>"));
    EXPECT_LT(at("-h,  --help"), at("--remap-all"));
    EXPECT_LT(at("--remap-all"), at("-V,  --version"));
    EXPECT_LT(at("-h,  --help"), at("-M,  --manage"));
    EXPECT_LT(at("-V,  --version"), at("-Z,  --delete-all-metadata"));
    // Without a short name the key is the long name alone, so zdelete-all-metadata sorts before zrc.
    EXPECT_LT(at("-Z,  --delete-all-metadata"), at("--zrc"));
    EXPECT_EQ(help.find("legacyHelp"), std::string::npos);
    // Options shared by two modes are listed once.
    EXPECT_EQ(help.find("\n   --enable\n"), help.rfind("\n   --enable\n"));
}

TEST(HelpPrinter, ModeTableShowsListedOptionsOfTheLevel) {
    const std::string help = HelpFor({"--information", "--help"});
    EXPECT_NE(help.find("   ------------------------\n"
                        "   | Flag | Name          |\n"
                        "   ------------------------\n"
                        "   | -I   | --information |\n"
                        "   ------------------------\n"),
              std::string::npos);
    EXPECT_NE(help.find("   | -I   | --information |\n"), std::string::npos);
    EXPECT_EQ(help.find("--comma"), std::string::npos);
    EXPECT_EQ(help.find("Zrc Options"), std::string::npos);
}

TEST(HelpPrinter, ModeWithoutListedOptionsPrintsOnlyItsHeading) {
    MOX::OptionDescriptorSet none;
    clitest::CaptureStdout out;
    MOX::PrintModeOptionsTable(1, none);
    EXPECT_EQ(out.text(), "");
}

TEST(HelpPrinter, ReturnCodesOfLevelZeroAddTheCreateCodes) {
    std::string level1, level0;
    {
        clitest::CaptureStdout out;
        MOX::PrintReturnCodes(1);
        level1 = out.text();
    }
    {
        clitest::CaptureStdout out;
        MOX::PrintReturnCodes(0);
        level0 = out.text();
    }
    EXPECT_EQ(level1.size(), 497u + 1);
    EXPECT_EQ(level0.size(), 497u + 400 + 1);
    EXPECT_EQ(level0.substr(0, 497), level1.substr(0, 497));
}

TEST(LegacyHelp, ErrorCodeListFollowsTheCoreTable) {
    const std::string& list = MOX::SymbolicErrorCodeList();
    EXPECT_EQ(list.size(), 16563u);
    std::vector<std::string> lines;
    std::istringstream in(list);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 336u);
    EXPECT_NE(list.back(), '\n');
    EXPECT_EQ(lines.front(), "0x20000000          SUCCESS");
    EXPECT_EQ(lines.back(), "0xA00B0009          MW SERVER JSON DESERIALIZE OBSOLETE");
    EXPECT_EQ(lines.size(), ErrorCodeTable().size());
    uint32_t previousLayer = 0;
    for (const auto& line : lines) {
        ASSERT_EQ(line.substr(10, 10), std::string(10, ' ')) << line;
        const uint32_t code = static_cast<uint32_t>(std::stoul(line.substr(2, 8), nullptr, 16));
        const ErrorCodeInfo* row = FindErrorCode(code);
        ASSERT_NE(row, nullptr) << line;
        std::string name = line.substr(20);
        if (code == 0xA008002E) {
            EXPECT_EQ(name.back(), ' ');
            name.pop_back();
        }
        EXPECT_EQ(name, row->name);
        const uint32_t layer = (code >> 16) & 0xFF;
        EXPECT_GE(layer, previousLayer) << line;
        previousLayer = layer;
    }
    EXPECT_NE(list.find("0x200B0000          MW SERVER SUCCESS\n0xA00B0001"), std::string::npos);
    EXPECT_NE(list.find("0xA008002E          UI UnsupportedDriver \n"), std::string::npos);
}

TEST(LegacyHelp, HeadingsHaveTheirFramedSizes) {
    EXPECT_EQ(MOX::LegacyReturnCodesHeading().size(), 154u);
    EXPECT_EQ(MOX::LegacyErrorCodesHeadingLevel1().size(), 140u);
    EXPECT_EQ(MOX::LegacyErrorCodesHeading().size(), 140u);
    EXPECT_NE(MOX::LegacyErrorCodesHeading().find("* 5.  ERROR CODES"), std::string::npos);
    for (const std::string* banner : {&MOX::LegacyReadmeBannerLevel1(), &MOX::LegacyReadmeBanner()}) {
        EXPECT_EQ(banner->substr(banner->size() - 61), "\n" + std::string(60, '*'));
        EXPECT_NE(banner->find("*  Command Line Utility Readme.\n"), std::string::npos);
    }
    EXPECT_NE(MOX::LegacyReadmeBannerLevel1().find("7.  ERROR CODES"), std::string::npos);
    EXPECT_EQ(MOX::LegacyReadmeBanner().find("7.  ERROR CODES"), std::string::npos);
}

TEST(LegacyHelp, LevelOneCarriesReturnCodesBeforeTheScenarios) {
    const std::string help = HelpFor({"--legacyHelp"});
    const auto returnCodes = help.find("* 5.  COMMAND LINE RETURN CODES");
    const auto success = help.find("   0,  Success \n");
    const auto scenarios = help.find("* 6.  USAGE SCENARIOS EXAMPLES");
    const auto errors = help.find("* 7.  ERROR CODES\n");
    ASSERT_NE(returnCodes, std::string::npos);
    EXPECT_LT(returnCodes, success);
    EXPECT_LT(success, scenarios);
    EXPECT_LT(scenarios, errors);
    EXPECT_EQ(help.find("\nUSAGE:"), std::string::npos);
    EXPECT_EQ(help.find("RETURN CODES: \n"), std::string::npos);
    EXPECT_NE(help.find("Manage Options:"), std::string::npos);
}

} // namespace
