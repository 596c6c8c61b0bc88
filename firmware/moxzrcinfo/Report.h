// The numbered report: the severity and test tables, the counters and the lines every group prints.
#pragma once

#include "platform/uefi/UefiBaseType.h"

typedef enum {
    SeverityStatusOnly,
    SeverityWarning,
    SeverityLow,
    SeverityMedium,
    SeverityHigh,
    SeverityCount
} MOX_SEVERITY_LEVEL;

typedef struct {
    const CHAR8* Name;
    const CHAR8* PassText;
    const CHAR8* FailText;
} MOX_SEVERITY;

typedef struct {
    UINT8 Group;
    const CHAR8* Name;
    // Carried for the reader of the source; never printed.
    const CHAR8* Description;
    UINT8 Severity;
    // The number within the group, given at the start of each run (NumberTestRows).
    UINT8 Number;
} MOX_TEST;

// The rows of the test table.
typedef enum {
    TestUefiServices,
    TestAcpiTableProtocol,
    TestDriverProtocols,
    TestDriverHiiProtocols,
    TestZrcControllerDetected,
    TestZrcControllerSupported,
    TestCpuBrandString,
    TestCpuId,
    TestOcfAndBcfsFeatures,
    TestVersionTable,
    TestPciConfigRaw,
    TestZrcConfigBase,
    TestZrcConfigBaseSize,
    TestZrcMemoryBase1,
    TestZrcMemoryBase2,
    TestZrcMemoryBar1Size,
    TestZrcMemoryBar2Size,
    TestVmConfiguration,
    TestVmDeviceAssignment,
    TestVmFunction0Assignment,
    TestVmFunction7Assignment = TestVmFunction0Assignment + 7,
    TestMappedDevices,
    TestFastBootTable1,
    TestFastBootTable2,
    TestCount
} MOX_TEST_ROW;

// The room a formatted value or test text gets.
#define REPORT_VALUE_SIZE 80

extern const MOX_SEVERITY gSeverities[SeverityCount];
extern MOX_TEST gTests[TestCount];

// The report's counters: successes, warnings, failures, and every reported test.
extern UINTN gSuccessCount;
extern UINTN gWarningCount;
extern UINTN gFailureCount;
extern UINTN gTestCount;

// Numbers the rows from 1 in each run of consecutive rows of one group.
void NumberTestRows();
// Counts one test by its severity and prints its line with the severity's pass or failure text.
void ReportTestResult(UINTN Row, BOOLEAN Passed);
// A test line without counting: " g.n  name:" and the text right-aligned at column 78 when it fits.
void PrintTestLine(UINTN Row, const CHAR8* Text);
void PrintTestLineF(UINTN Row, const CHAR8* Format, ...);
// "       label:" and the value (formatted into 80 bytes) right-aligned at column 78 when it fits.
void PrintLabelValue(const CHAR8* Label, const CHAR8* Format, ...);
// "\n g. name\n" of a group of the run (1 to 9).
void PrintGroupHeader(UINTN Group);
void PrintSectionTitle(const CHAR8* Text);
void PrintTestSummary();
