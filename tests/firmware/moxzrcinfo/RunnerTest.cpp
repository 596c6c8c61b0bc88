// The image entry and the run: the shell protocols, the argument copies, the order of the groups,
// the controller, its attributes, the summary and the status the image returns.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "firmware/moxzrcinfo/Report.h"
#include "platform/uefi/protocol/ShellInterface.h"
#include "platform/uefi/protocol/ShellParameters.h"
#include "sim/uefi/Firmware.h"
#include "tests/firmware/moxzrcinfo/FirmwareRun.h"

namespace {

using zrcinfo::FirmwareRun;
using zrcinfo::MachineWithController;

// What the test groups saw.
std::vector<std::string> g_ran;
EFI_PCI_IO_PROTOCOL* g_pciIoSeen = nullptr;

template <int Group, bool Result> BOOLEAN Record(EFI_PCI_IO_PROTOCOL* pciIo) {
    g_ran.push_back(std::to_string(Group));
    if (Group == 3)
        g_pciIoSeen = pciIo;
    return Result;
}

// One reported test of each kind of severity, as groups report them.
BOOLEAN ReportEveryKind(EFI_PCI_IO_PROTOCOL*) {
    ReportTestResult(TestDriverProtocols, TRUE);        // High, passed: a success
    ReportTestResult(TestDriverHiiProtocols, FALSE);    // Warning, failed: a warning
    ReportTestResult(TestOcfAndBcfsFeatures, FALSE);    // Status only: the total only
    ReportTestResult(TestFastBootTable1, TRUE);         // Status only: the total only
    ReportTestResult(TestVmFunction0Assignment, FALSE); // Low, failed: a failure
    PrintTestLine(TestCpuId, "0x906EA");                // printed, not counted
    return TRUE;
}

void UseRecordingGroups(bool laterGroupsPass) {
    g_ran.clear();
    g_pciIoSeen = nullptr;
    gGroups[0].Handler = Record<1, true>;
    gGroups[1].Handler = Record<2, false>;
    gGroups[2].Handler = Record<3, true>;
    gGroups[3].Handler = laterGroupsPass ? Record<4, true> : Record<4, false>;
    gGroups[4].Handler = Record<5, true>;
    gGroups[5].Handler = Record<6, true>;
    gGroups[6].Handler = Record<7, true>;
    gGroups[7].Handler = Record<8, true>;
    gGroups[8].Handler = Record<9, true>;
}

// A report line whose text ends at column 78.
std::string Line(const std::string& lead, const std::string& text) {
    return lead + std::string(78 - lead.size() - text.size(), ' ') + text + "\n";
}

const std::string kNotFound = "Orvex ZRC controller not found, exiting...\n";

TEST(Runner, GroupsInOrderAndTheStatusOfTheRun) {
    struct Case {
        bool laterGroupsPass;
        EFI_STATUS status;
    };
    for (const Case c : {Case{true, EFI_SUCCESS}, Case{false, EFI_DEVICE_ERROR}}) {
        FirmwareRun run(MachineWithController());
        UseRecordingGroups(c.laterGroupsPass);
        EXPECT_EQ(run.Run(), c.status);
        // Group 2 fails here, and changes nothing.
        EXPECT_EQ(g_ran, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
        EXPECT_NE(g_pciIoSeen, nullptr);
        EXPECT_EQ(run.Screen(), "\n\nNumber of successes: 0, Number of warnings: 0, Number of failures: 0\n"
                                "Total tests: 0\n");
    }
}

TEST(Runner, DisabledGroupsDoNotRun) {
    FirmwareRun run(MachineWithController());
    UseRecordingGroups(false);
    gGroups[3].Enabled = FALSE;
    gGroups[6].Enabled = FALSE;
    EXPECT_EQ(run.Run(), EFI_SUCCESS);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"1", "2", "3", "5", "6", "8", "9"}));
}

TEST(Runner, SummaryCountsBySeverity) {
    FirmwareRun run(MachineWithController());
    UseRecordingGroups(true);
    gGroups[1].Handler = ReportEveryKind;
    EXPECT_EQ(run.Run(), EFI_SUCCESS);
    EXPECT_EQ(gSuccessCount, 1u);
    EXPECT_EQ(gWarningCount, 1u);
    EXPECT_EQ(gFailureCount, 1u);
    EXPECT_EQ(gTestCount, 5u);
    EXPECT_EQ(run.Screen(), Line("  2.1  EFI Driver Protocols:", "PASS") +
                                Line("  2.2  EFI Driver Protocols for HII:", "WARN") +
                                Line("  3.1  OCF and BCFS Features:", "DISABLED") +
                                Line("  9.1  Fast Boot ACPI Table:", "ENABLED") +
                                Line("  6.10 VM Function 0 Assignment Register:", "FAIL") +
                                Line("  5.4  CPUID:", "0x906EA") +
                                "\n\nNumber of successes: 1, Number of warnings: 1, Number of failures: 1\n"
                                "Total tests: 5\n");
}

TEST(Runner, WithoutTheControllerTheRunStopsAfterGroupOne) {
    FirmwareRun run(zrcinfo::MachineWithoutController());
    UseRecordingGroups(true);
    EXPECT_EQ(run.Run(), EFI_INVALID_PARAMETER);
    EXPECT_EQ(g_ran, std::vector<std::string>{"1"});
    EXPECT_EQ(run.Screen(), kNotFound);
}

TEST(Runner, TheShippedGroupOneRunsBeforeTheControllerIsLookedFor) {
    FirmwareRun run(zrcinfo::MachineWithoutController());
    EXPECT_EQ(run.Run(), EFI_INVALID_PARAMETER);
    const std::string screen = run.Screen();
    EXPECT_EQ(screen.rfind("\n 1. System-Provided Protocols and Tables\n", 0), 0u) << screen;
    EXPECT_NE(screen.find(Line("  1.2  ACPI Table Protocol:", "PASS") + kNotFound), std::string::npos)
        << screen;
}

TEST(Runner, ControllerAttributesEnabledForTheGroupsAndRestored) {
    FirmwareRun run(MachineWithController());
    UseRecordingGroups(true);
    EXPECT_EQ(run.Run(), EFI_SUCCESS);
    std::vector<std::string> operations;
    for (const auto& call : run.machine().calls().Of("PciIo.Attributes")) {
        EXPECT_EQ(call.selectors["location"].get<std::string>(), "0:14.0");
        operations.push_back(call.selectors["operation"].get<std::string>());
    }
    EXPECT_EQ(operations, (std::vector<std::string>{"get", "supported", "enable", "set"}));
    // Put back as they were: cleared.
    EFI_BOOT_SERVICES* bs = run.firmware().SystemTable()->BootServices;
    VOID* interface = nullptr;
    ASSERT_EQ(bs->HandleProtocol(run.firmware().FindHandle("PCI 0:14.0"), &gEfiPciIoProtocolGuid, &interface),
              EFI_SUCCESS);
    auto* pciIo = static_cast<EFI_PCI_IO_PROTOCOL*>(interface);
    UINT64 attributes = 1;
    ASSERT_EQ(pciIo->Attributes(pciIo, EfiPciIoAttributeOperationGet, 0, &attributes), EFI_SUCCESS);
    EXPECT_EQ(attributes, 0u);
}

TEST(Runner, AttributeFailuresEndTheRun) {
    struct Case {
        const char* rule;
        EFI_STATUS status;
        std::vector<std::string> ran;
        bool summary;
    };
    const std::vector<Case> cases = {
        // Without memory decoding and bus mastering nothing more is printed.
        {R"({"kind": "PciIo.Attributes", "match": {"operation": "supported"}, "outcome": {"attributes": "0x100"}})",
         EFI_UNSUPPORTED,
         {"1"},
         false},
        {R"({"kind": "PciIo.Attributes", "match": {"operation": "enable"}, "outcome": {"efi_error": 7}})",
         EFI_UNSUPPORTED,
         {"1"},
         false},
        {R"({"kind": "PciIo.Attributes", "match": {"operation": "get"}, "outcome": {"efi_error": 7}})",
         EFI_UNSUPPORTED,
         {"1"},
         false},
        // Attributes not restored: the run fails after its summary.
        {R"({"kind": "PciIo.Attributes", "match": {"operation": "set"}, "outcome": {"efi_error": 7}})",
         EFI_DEVICE_ERROR,
         {"1", "2", "3", "4", "5", "6", "7", "8", "9"},
         true},
    };
    for (const Case& c : cases) {
        FirmwareRun run(MachineWithController());
        run.machine().faults().Add(c.rule);
        UseRecordingGroups(true);
        EXPECT_EQ(run.Run(), c.status) << c.rule;
        EXPECT_EQ(g_ran, c.ran) << c.rule;
        EXPECT_EQ(run.Screen().find("Number of successes") != std::string::npos, c.summary) << c.rule;
    }
}

TEST(Runner, ArgumentsFromEitherShellProtocol) {
    const char* kParameters = "{752f3136-4e16-4fdc-a22a-e5f46812f4ca}";
    const char* kInterface = "{47c7b223-c42a-11d2-8e57-00a0c969723b}";
    struct Case {
        const char* shell;
        const char* rule;
        const char* closed;
    };
    const std::vector<Case> cases = {
        {R"({"uefi": {"shell": {"parameters": true}}})", nullptr, kParameters},
        {R"({"uefi": {"shell": {"interface": true, "parameters": false}}})", nullptr, kInterface},
        // The EFI 1.1 interface comes first when the shell installs both.
        {R"({"uefi": {"shell": {"interface": true, "parameters": true}}})", nullptr, kInterface},
        {R"({"uefi": {"shell": {"interface": true, "parameters": true}}})",
         R"({"kind": "BootServices.OpenProtocol", "match": {"protocol": "{47c7b223-c42a-11d2-8e57-00a0c969723b}"},
             "outcome": {"efi_error": 3}})",
         kParameters},
    };
    for (const Case& c : cases) {
        FirmwareRun run(sim::MachineBuilder::Default().Merge(c.shell));
        if (c.rule)
            run.machine().faults().Add(c.rule);
        EXPECT_EQ(run.Run({"-?"}), EFI_SUCCESS) << c.shell;
        EXPECT_NE(run.Screen().find("Exit: Found ?"), std::string::npos) << c.shell;
        EXPECT_EQ(run.machine().calls().CountMatching("BootServices.CloseProtocol",
                                                      std::string(R"({"handle": "image", "protocol": ")") +
                                                          c.closed + "\"}"),
                  1u)
            << c.shell;
    }
}

TEST(Runner, NeitherShellProtocol) {
    FirmwareRun run(sim::MachineBuilder::Default().Merge(R"({"uefi": {"shell": {"parameters": false}}})"));
    UseRecordingGroups(true);
    EXPECT_EQ(run.Run(), EFI_UNSUPPORTED);
    EXPECT_TRUE(g_ran.empty());
    EXPECT_EQ(
        run.Screen(),
        "ERROR: Failed to open Shell Interface AND Shell Parameters protocol (EFI_UNSUPPORTED);exiting...\n");
}

TEST(Runner, OutOfMemoryForTheArgumentCopies) {
    // The vector, then each argument: the second argument's copy fails, and what was made goes.
    for (int skip : {0, 1, 2}) {
        FirmwareRun run(MachineWithController());
        run.machine().faults().Add(R"({"kind": "BootServices.AllocatePool", "skip": )" +
                                   std::to_string(skip) + R"(, "outcome": {"efi_error": 9}})");
        UseRecordingGroups(true);
        EXPECT_EQ(run.Run({"/?"}), EFI_OUT_OF_RESOURCES) << skip;
        EXPECT_TRUE(g_ran.empty());
        EXPECT_EQ(run.Screen(), "") << skip;
    }
}

TEST(Runner, ARunCanFollowAnother) {
    // Counters, the console found and the controller start afresh with every start of the image.
    FirmwareRun run(MachineWithController());
    UseRecordingGroups(true);
    gGroups[1].Handler = ReportEveryKind;
    EXPECT_EQ(run.Run(), EFI_SUCCESS);
    EXPECT_EQ(run.Run(), EFI_SUCCESS);
    EXPECT_EQ(gTestCount, 5u);
    EXPECT_EQ(run.Run({"/?"}), EFI_SUCCESS);
}

} // namespace
