#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "cli/PropertyFormatter.h"
#include "tests/cli/CaptureStdout.h"

namespace {

using MOX::PropertyList;

std::string Formatted(MOX::PropertyFormatter& formatter, PropertyList list) {
    clitest::CaptureStdout out;
    formatter.format(std::move(list));
    return out.text();
}

std::shared_ptr<MOX::Printer> Console() {
    return std::make_shared<MOX::ConsolePrinter>();
}

TEST(PropertyFormatter, TwoColumnsAlignNames) {
    MOX::TwoColumnPropertyFormatter left(Console(), 0, false);
    MOX::TwoColumnPropertyFormatter right(Console(), 99, true);
    struct Case {
        MOX::PropertyFormatter* formatter;
        PropertyList list;
        std::string printed;
    };
    const Case cases[] = {
        {&left, {{"ID", "0-1-0-0"}, {"Serial Number", "S1"}}, "ID:            0-1-0-0\nSerial Number: S1\n"},
        {&right, {{"Name", "Vol"}, {"Serial Number", "S1"}}, "         Name: Vol\nSerial Number: S1\n"},
        {&left, {{"", "value"}}, ": value\n"},
        {&left, {{"Empty", ""}, {"Empty", "again"}}, "Empty: \nEmpty: again\n"},
        {&left, {}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Formatted(*c.formatter, c.list), c.printed);
}

TEST(PropertyFormatter, CommaLayoutPrintsOneLineUnescaped) {
    MOX::CommaPropertyFormatter comma(Console());
    EXPECT_EQ(Formatted(comma, {{"ID", "0-1-0-0"}, {"Model", "A, B"}, {"Size", ""}}),
              "ID: 0-1-0-0, Model: A, B, Size: \n");
    EXPECT_EQ(Formatted(comma, {}), "");
}

TEST(PropertyFormatter, NullPrinterIsRefused) {
    const std::shared_ptr<MOX::Printer> none;
    clitest::CaptureStdout out;
    try {
        MOX::CommaPropertyFormatter comma(none);
        FAIL() << "accepted a null printer";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Null pointer provided as printer to property formatter.");
    }
    EXPECT_THROW(MOX::TwoColumnPropertyFormatter(none, 0, true), std::exception);
    EXPECT_EQ(out.text(), "");
}

} // namespace
