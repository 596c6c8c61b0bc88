// The report's lines and the console output beneath them: alignment at column 78, headers and
// titles, the attribute escape and the console the text goes to.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "firmware/moxzrcinfo/Console.h"
#include "firmware/moxzrcinfo/Report.h"
#include "tests/firmware/moxzrcinfo/FirmwareRun.h"

namespace {

using zrcinfo::FirmwareRun;

struct LineCase {
    const char* text;
    std::string line;
};

TEST(ReportLines, TestLinesEndAtColumn78WhenTheyFit) {
    const std::string name = "Orvex(R) ZRC Controller Detected"; // row 4, test 5.1: 32 characters
    const std::vector<LineCase> cases = {
        {"PASS", "  5.1  " + name + ":" + std::string(70 - 32 - 4, ' ') + "PASS"},
        {"", "  5.1  " + name + ":" + std::string(70 - 32, ' ')},
        // Name and text of exactly 70 fill nothing; longer run past column 78.
        {"12345678901234567890123456789012345678",
         "  5.1  " + name + ":12345678901234567890123456789012345678"},
        {"123456789012345678901234567890123456789X",
         "  5.1  " + name + ":123456789012345678901234567890123456789X"},
    };
    for (const LineCase& c : cases) {
        FirmwareRun run;
        run.Attach();
        NumberTestRows();
        PrintTestLine(TestZrcControllerDetected, c.text);
        EXPECT_EQ(run.Screen(), c.line + "\n") << c.text;
        if (std::string(c.text).size() + name.size() <= 70) {
            EXPECT_EQ(c.line.size(), 78u) << c.text;
        }
    }
}

TEST(ReportLines, RowsAreNumberedWithinTheirGroup) {
    FirmwareRun run;
    run.Attach();
    NumberTestRows();
    EXPECT_EQ(gTests[TestUefiServices].Number, 1);
    EXPECT_EQ(gTests[TestAcpiTableProtocol].Number, 2);
    EXPECT_EQ(gTests[TestCpuId].Number, 4);
    EXPECT_EQ(gTests[TestOcfAndBcfsFeatures].Number, 1);
    EXPECT_EQ(gTests[TestVmFunction7Assignment].Number, 17);
    EXPECT_EQ(gTests[TestFastBootTable2].Group, 9);
    EXPECT_EQ(gTests[TestFastBootTable2].Number, 2);
}

TEST(ReportLines, LabelsHeadersTitlesAndTheirFormats) {
    FirmwareRun run;
    run.Attach();
    // The row numbers are the run's, not left over from an earlier test of the process.
    NumberTestRows();
    PrintGroupHeader(5);
    PrintSectionTitle("Efi Boot Services");
    PrintLabelValue("Vendor ID", "0x%04X", UINTN{0x1F4A});
    PrintLabelValue("Long", "%s",
                    "12345678901234567890123456789012345678901234567890123456789012345678901234567890");
    PrintTestLineF(TestCpuId, "0x%x", UINTN{0x906EA});
    PrintGroupHeader(10);
    EXPECT_EQ(
        run.Screen(),
        "\n 5. Orvex(R) ZRC Controller Info Tests\n"
        "\nEfi Boot Services\n"
        "       Vendor ID:" +
            std::string(70 - 9 - 6, ' ') +
            "0x1F4A\n"
            // The value has 80 bytes: 79 characters.
            "       Long:1234567890123456789012345678901234567890123456789012345678901234567890123456789\n"
            "  5.4  CPUID:" +
            std::string(70 - 5 - 7, ' ') + "0x906EA\n");
}

TEST(ConsoleOutput, AttributeEscapes) {
    FirmwareRun run;
    run.Attach();
    // 0xF0 and a whole attribute, 0xF0 and 0xE? for the foreground only; the attribute holds to the
    // end of the print, which ends in light grey.
    ConsolePrint("a\xF0\x1C"
                 "b\xF0\xE2"
                 "c");
    ConsolePrint("d");
    const auto& cells = run.firmware().ConsoleCells();
    ASSERT_EQ(cells.size(), 4u);
    const std::vector<std::pair<char16_t, uint8_t>> expected = {
        {u'a', 0x07}, {u'b', 0x1C}, {u'c', 0x12}, {u'd', 0x07}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(cells[i].character, expected[i].first) << i;
        EXPECT_EQ(cells[i].attribute, expected[i].second) << i;
    }
    EXPECT_EQ(gTextAttribute, UINTN{CONSOLE_DEFAULT_ATTRIBUTE});
    EXPECT_EQ(run.firmware().SystemTable()->ConOut->Mode->Attribute, EFI_LIGHTGRAY);
}

TEST(ConsoleOutput, LongTextIsCutAt255Characters) {
    FirmwareRun run;
    run.Attach();
    const std::string text(300, 'x');
    EXPECT_EQ(ConsolePrint("%s", text.c_str()), 255u);
    EXPECT_EQ(run.Screen(), std::string(255, 'x'));
}

TEST(ConsoleOutput, ConsoleFoundByItsProtocolWhenTheSystemTableHasNone) {
    FirmwareRun run(
        sim::MachineBuilder::Default().Merge(R"({"uefi": {"console": {"in_system_table": false}}})"));
    run.Attach();
    ASSERT_EQ(run.firmware().SystemTable()->ConOut, nullptr);
    ConsolePrint("one ");
    ConsolePrint("two");
    EXPECT_EQ(run.Screen(), "one two");
    // Found once, kept for later prints.
    EXPECT_EQ(run.machine().calls().Count("BootServices.LocateProtocol"), 1u);
}

} // namespace
