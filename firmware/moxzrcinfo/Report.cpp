#include "firmware/moxzrcinfo/Report.h"

#include "firmware/common/FirmwarePrint.h"
#include "firmware/moxzrcinfo/Console.h"
#include "firmware/moxzrcinfo/FirmwareLib.h"
#include "firmware/moxzrcinfo/MoxZrcInfo.h"

const MOX_SEVERITY gSeverities[SeverityCount] = {
    {"Status Only", "ENABLED", "DISABLED"},
    {"Warning", "PASS", "WARN"},
    {"Low", "PASS", "FAIL"},
    {"Medium", "PASS", "FAIL"},
    {"High", "PASS", "FAIL"},
};

MOX_TEST gTests[TestCount] = {
    {1, "UEFI Services", "The boot and runtime services the application needs are present", SeverityHigh, 0},
    {1, "ACPI Table Protocol", "The firmware provides the ACPI table protocol", SeverityHigh, 0},
    {2, "EFI Driver Protocols", "The RAID driver installs its driver and pass-through protocols",
     SeverityHigh, 0},
    {2, "EFI Driver Protocols for HII", "The RAID driver installs its device path and HII protocols",
     SeverityWarning, 0},
    {5, "Orvex(R) ZRC Controller Detected", "A PCI function sits at bus 0, device 14, function 0",
     SeverityHigh, 0},
    {5, "Orvex(R) ZRC Controller Supported", "That function is a supported remapping controller",
     SeverityHigh, 0},
    {5, "CPU Brand String", "The processor's brand string", SeverityHigh, 0},
    {5, "CPUID", "The processor's signature", SeverityHigh, 0},
    {3, "OCF and BCFS Features", "The driver's feature report", SeverityStatusOnly, 0},
    {4, "Version Table (ACPI Table and Variable)", "The driver's version table, as table and variable",
     SeverityHigh, 0},
    {6, "PCI Config Space RAW data", "The controller's configuration header reads", SeverityHigh, 0},
    {6, "ZRC Configuration Base Address (10h)", "Register 10h", SeverityHigh, 0},
    {6, "ZRC Configuration Base Address Size", "Register 4Ch", SeverityHigh, 0},
    {6, "ZRC Memory Base Address 1", "Register 18h", SeverityHigh, 0},
    {6, "ZRC Memory Base Address 2", "Register 20h", SeverityHigh, 0},
    {6, "ZRC Memory Bar1 Size Register", "Register 4Dh", SeverityHigh, 0},
    {6, "ZRC Memory Bar2 Size Register", "Register 4Eh", SeverityHigh, 0},
    {6, "VM Configuration Register", "Register 44h", SeverityHigh, 0},
    {6, "VM Device Assignment Register", "Register 48h", SeverityHigh, 0},
    {6, "VM Function 0 Assignment Register", "Register 50h", SeverityLow, 0},
    {6, "VM Function 1 Assignment Register", "Register 54h", SeverityLow, 0},
    {6, "VM Function 2 Assignment Register", "Register 58h", SeverityLow, 0},
    {6, "VM Function 3 Assignment Register", "Register 5Ch", SeverityLow, 0},
    {6, "VM Function 4 Assignment Register", "Register 60h", SeverityLow, 0},
    {6, "VM Function 5 Assignment Register", "Register 64h", SeverityLow, 0},
    {6, "VM Function 6 Assignment Register", "Register 68h", SeverityLow, 0},
    {6, "VM Function 7 Assignment Register", "Register 6Ch", SeverityLow, 0},
    {8, "Mapped device information", "The devices mapped behind the controller", SeverityStatusOnly, 0},
    {9, "Fast Boot ACPI Table", "The fast-enumeration table", SeverityStatusOnly, 0},
    {9, "Fast Boot ACPI Table", "The fast-enumeration records", SeverityStatusOnly, 0},
};

UINTN gSuccessCount = 0;
UINTN gWarningCount = 0;
UINTN gFailureCount = 0;
UINTN gTestCount = 0;

namespace {

// Report texts end at column 78: 8 columns of lead, then the name, the fill and the text in 70.
#define REPORT_TEXT_END 70

// The spaces between a name and its text; none when the two fill the line already.
void AlignmentFill(CHAR8* Fill, const CHAR8* Name, const CHAR8* Text) {
    const UINTN used = NarrowStringLength(Name) + NarrowStringLength(Text);
    const UINTN spaces = used < REPORT_TEXT_END ? REPORT_TEXT_END - used : 0;
    FillBytes(Fill, spaces, ' ');
    Fill[spaces] = '\0';
}

} // namespace

void NumberTestRows() {
    for (UINTN i = 0; i < TestCount; ++i)
        gTests[i].Number =
            (UINT8)((i > 0 && gTests[i].Group == gTests[i - 1].Group) ? gTests[i - 1].Number + 1 : 1);
}

void PrintTestLine(UINTN Row, const CHAR8* Text) {
    if (Row >= TestCount)
        return;
    const MOX_TEST* test = &gTests[Row];
    const CHAR8* text = Text ? Text : "";
    CHAR8 fill[REPORT_TEXT_END + 1];
    AlignmentFill(fill, test->Name, text);
    ConsolePrint(" %2d.%-2d %s:%s%s\n", (UINTN)test->Group, (UINTN)test->Number, test->Name, fill, text);
}

void PrintTestLineF(UINTN Row, const CHAR8* Format, ...) {
    CHAR8 text[REPORT_VALUE_SIZE];
    VA_LIST arguments;
    VA_START(arguments, Format);
    FormatStringV(text, sizeof(text), Format, arguments);
    VA_END(arguments);
    PrintTestLine(Row, text);
}

void PrintLabelValue(const CHAR8* Label, const CHAR8* Format, ...) {
    CHAR8 value[REPORT_VALUE_SIZE];
    VA_LIST arguments;
    VA_START(arguments, Format);
    FormatStringV(value, sizeof(value), Format, arguments);
    VA_END(arguments);
    CHAR8 fill[REPORT_TEXT_END + 1];
    AlignmentFill(fill, Label, value);
    ConsolePrint("       %s:%s%s\n", Label, fill, value);
}

void ReportTestResult(UINTN Row, BOOLEAN Passed) {
    if (Row >= TestCount)
        return;
    ++gTestCount;
    const UINT8 severity = gTests[Row].Severity;
    if (severity != SeverityStatusOnly) {
        if (Passed)
            ++gSuccessCount;
        else if (severity == SeverityWarning)
            ++gWarningCount;
        else
            ++gFailureCount;
    }
    PrintTestLine(Row, Passed ? gSeverities[severity].PassText : gSeverities[severity].FailText);
}

void PrintGroupHeader(UINTN Group) {
    if (Group >= 1 && Group <= MOX_GROUP_COUNT)
        ConsolePrint("\n%2d. %s\n", Group, gGroups[Group - 1].Name);
}

void PrintSectionTitle(const CHAR8* Text) {
    ConsolePrint("\n%s\n", Text);
}

void PrintTestSummary() {
    ConsolePrint(
        "\n\nNumber of successes: %ld, Number of warnings: %ld, Number of failures: %ld\nTotal tests: %ld\n",
        gSuccessCount, gWarningCount, gFailureCount, gTestCount);
}
