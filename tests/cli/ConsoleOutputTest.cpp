#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/ConsoleOutput.h"
#include "tests/cli/CaptureStdout.h"

namespace {

TEST(ConsoleOutput, PrintLineWritesAnEmptyLineFirst) {
    clitest::CaptureStdout out;
    MOX::PrintLine("abc");
    EXPECT_EQ(out.text(), "\nabc\n");
}

struct WrapCase {
    std::string text;
    uint32_t indent;
    uint32_t width;
    std::string printed; // by PrintWrapped; printWrapped adds one line break
};

const std::vector<WrapCase> kWrapCases = {
    {"aa bb cc", 0, 7, "aa bb \ncc"},
    {"aa bb cc", 0, 6, "aa \nbb \ncc"},
    {"aa bb cc", 2, 8, "  aa bb \n  cc"},
    {"abcdefghi rest", 3, 10, "\n   abcdefghi \n   rest"},
    {"abcdefgh rest", 3, 10, "   abcdefgh \n   rest"},
    {"a verylongwordhere b c d", 0, 8, "a \nverylongwordhere \nb c d"},
    {"a  b", 0, 10, "a  b"},
    {"", 3, 10, ""},
    {"one two\nthree", 1, 40, " one two\nthree"},
};

TEST(ConsoleOutput, PrintWrappedBreaksBeforePiecesThatDoNotFit) {
    for (const auto& c : kWrapCases) {
        clitest::CaptureStdout out;
        MOX::PrintWrapped(c.text, c.indent, c.width);
        EXPECT_EQ(out.text(), c.printed) << c.text << " / " << c.width;
    }
}

TEST(ConsoleOutput, PrinterWrapsLikeTheHelpAndEndsTheLine) {
    MOX::ConsolePrinter printer;
    for (const auto& c : kWrapCases) {
        if (c.text.empty())
            continue;
        clitest::CaptureStdout out;
        printer.printWrapped(c.text, c.indent, c.width);
        EXPECT_EQ(out.text(), c.printed + "\n") << c.text << " / " << c.width;
    }
}

TEST(ConsoleOutput, PrinterWithoutWidthWritesIndentTextAndLineBreak) {
    MOX::ConsolePrinter printer;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"some long text that is never wrapped at all", "  some long text that is never wrapped at all\n"},
        {"", "\n"},
    };
    for (const auto& [text, printed] : cases) {
        clitest::CaptureStdout out;
        printer.printWrapped(text, 2, 0);
        EXPECT_EQ(out.text(), printed);
    }
    clitest::CaptureStdout out;
    printer.print("as is");
    EXPECT_EQ(out.text(), "as is");
}

} // namespace
