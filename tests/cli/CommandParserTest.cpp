#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/BoostCommandParser.h"
#include "cli/Options.h"
#include "cli/ParseCommandLine.h"
#include "tests/cli/ParsedCommandLine.h"

namespace {

using clitest::Parsed;

TEST(CommandParser, LongShortAndDisguisedLongNamesAlike) {
    for (const char* spelling : {"-I", "--information", "-information"}) {
        Parsed p({spelling});
        ASSERT_FALSE(p.result.isError()) << spelling;
        const auto& information = p.parser.getOption(MOX::Options().information);
        EXPECT_TRUE(information.isSet) << spelling;
        EXPECT_EQ(information.value(), "");
        EXPECT_EQ(p.parser.getSetOptions().size(), 1u);
        EXPECT_EQ(p.parser.getSetOptions().count(MOX::Options().information), 1u);
    }
}

TEST(CommandParser, ValuesFollowTheirOptionAndPositionalsAreCollected) {
    Parsed p({"extra0", "--zrc", "--remap", "scsi2", "extra", "-M", "-Z"});
    ASSERT_FALSE(p.result.isError()) << (p.result.getDetails().empty() ? "" : p.result.getDetails()[0]);
    EXPECT_EQ(p.parser.getOption(MOX::Options().remap).value(), "scsi2");
    EXPECT_TRUE(p.parser.getOption("zrc").isSet);
    EXPECT_TRUE(p.parser.getOption(MOX::Options().manage).isSet);
    EXPECT_TRUE(p.parser.getOption(MOX::Options().deleteAllMetadata).isSet);
    EXPECT_EQ(p.parser.getPositionalArgs(), (std::vector<std::string>{"extra0", "extra"}));
    EXPECT_EQ(p.parser.getSetOptions().size(), 4u);
}

TEST(CommandParser, BadCommandLinesEndWithReturnCodeTwo) {
    struct Case {
        std::vector<std::string> args;
        std::string libraryText;
    };
    const std::vector<Case> cases = {
        {{"--create"}, "unrecognised option '--create'"},
        {{"--array"}, "unrecognised option '--array'"},
        {{"-C"}, "unrecognised option '-C'"},
        {{"--zrc", "--remap"}, "the required argument for option '--remap' is missing"},
        {{"--HalvexMemory", "--enable", "--enable"}, "option '--enable' cannot be specified more than once"},
        {{"--Information"}, "unrecognised option '--Information'"},
        {{"--zrc=1"}, "option '--zrc' does not take any arguments"},
    };
    for (const auto& c : cases) {
        Parsed p(c.args);
        EXPECT_EQ(p.result.getType(), 2) << c.args[0];
        EXPECT_EQ(p.result.getMessage(),
                  "INVALID_REQUEST: Unrecognized command, request was formatted incorrectly.");
        ASSERT_EQ(p.result.getDetails().size(), 2u);
        if (!c.libraryText.empty()) {
            EXPECT_EQ(p.result.getDetails()[0], c.libraryText);
        }
        EXPECT_EQ(p.result.getDetails()[1], "Failed to parse command parameters.");
        EXPECT_EQ(p.result.getCode(), -1);
    }
}

TEST(CommandParser, UnregisteredOptionsAnswerTheEmptyRecord) {
    Parsed p({"--version"});
    for (const auto* option : {&MOX::Options().disVerCheck, &MOX::Options().quiet, &MOX::Options().create}) {
        const auto& parsed = p.parser.getOption(*option);
        EXPECT_EQ(&parsed, &MOX::EmptyParsedOption());
        EXPECT_FALSE(parsed.isSet);
        EXPECT_TRUE(parsed.value().empty());
        EXPECT_TRUE(parsed.descriptor.longName.empty());
    }
}

TEST(CommandParser, NoArgumentsSetsNothing) {
    Parsed p({});
    EXPECT_FALSE(p.result.isError());
    for (const auto* option : MOX::Options().rows())
        EXPECT_FALSE(p.parser.getOption(*option).isSet) << option->longName;
    EXPECT_TRUE(p.parser.getSetOptions().empty());
    EXPECT_TRUE(p.parser.getPositionalArgs().empty());
}

TEST(CommandParser, OnlyLevelOneOptionsAreRegisteredModesFirst) {
    std::vector<MOX::OptionDescriptor> list;
    MOX::CopyOptionsOfLevel(MOX::ModeOptions(), 1, list);
    const size_t modes = list.size();
    MOX::CopyOptionsOfLevel(MOX::AllOptions(), 1, list);
    EXPECT_EQ(modes, 5u);
    EXPECT_EQ(list.size(), 16u);
    for (size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(MOX::ModeOptions().count(list[i]) == 1, i < modes) << list[i].longName;
}

TEST(CommandParser, TheFactoriesTestsReachTheOptionsOfLevelZero) {
    // The program refuses them; a factory's test registers them to build its task.
    EXPECT_EQ(Parsed({"--create", "--level", "5"}).result.getType(), 2);
    Parsed every({"--create", "--level", "5", "0-2-0-0"}, 0);
    ASSERT_FALSE(every.result.isError()) << every.result.getDetails().front();
    EXPECT_TRUE(every.parser.getOption(MOX::Options().create).isSet);
    EXPECT_EQ(every.parser.getOption(MOX::Options().level).value(), "5");
    EXPECT_EQ(every.parser.getPositionalArgs(), std::vector<std::string>{"0-2-0-0"});
}

TEST(CommandParser, IntValueConvertsLikeStoi) {
    struct Case {
        std::string text;
        int32_t value;
        const char* error; // "invalid", "range" or null
    };
    const std::vector<Case> cases = {
        {"42", 42, nullptr},
        {" 42abc", 42, nullptr},
        {"12GB", 12, nullptr},
        {"-7", -7, nullptr},
        {"2147483647", 2147483647, nullptr},
        {"-2147483648", -2147483647 - 1, nullptr},
        {"abc", 0, "invalid"},
        {"", 0, "invalid"},
        {"GB12", 0, "invalid"},
        {"99999999999", 0, "range"},
        {"2147483648", 0, "range"},
        {"-99999999999999999999999", 0, "range"},
    };
    for (const auto& c : cases) {
        MOX::ParsedOption option;
        option.optionValue = c.text;
        if (!c.error) {
            EXPECT_EQ(option.intValue(), c.value) << c.text;
        } else if (std::string(c.error) == "invalid") {
            try {
                option.intValue();
                ADD_FAILURE() << c.text;
            } catch (const std::invalid_argument& e) {
                EXPECT_STREQ(e.what(), "invalid stoi argument");
            }
        } else {
            try {
                option.intValue();
                ADD_FAILURE() << c.text;
            } catch (const std::out_of_range& e) {
                EXPECT_STREQ(e.what(), "stoi argument out of range");
            }
        }
    }
}

} // namespace
