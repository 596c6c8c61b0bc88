// Runs the built MoxZrcInfo as a process on the simulated firmware of a machine and compares its
// console output, standard error and exit code with golden files.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/MachineBuilder.h"
#include "tests/e2e/MoxcliProcess.h"
#include "tests/support/ChildProcess.h"

namespace {

using namespace moxe2e;

struct Case {
    std::string golden;
    std::vector<std::string> args;
};

TEST(MoxZrcInfo, CommandLineOnTheDefaultMachine) {
    // No argument runs the whole report; "/?" shows the usage; a stray word is refused with it.
    for (const Case& c : std::vector<Case>{
             {"moxzrcinfo-default", {}},
             {"moxzrcinfo-help", {"/?"}},
             {"moxzrcinfo-bad-argument", {"foo"}},
         }) {
        TempDir state;
        ExpectGolden(RunProgram(MOX_ZRCINFO_PATH, {}, c.args, state.path()), c.golden);
    }
}

// MoxZrcInfo on a machine made for one case, written beside its state directory.
Run RunOnBuiltMachine(const sim::MachineBuilder& builder) {
    TempDir state;
    const fs::path machine = state.path() / "machine.json";
    std::ofstream(machine) << builder.Text();
    return RunProgram(MOX_ZRCINFO_PATH, machine, {}, state.path());
}

// The driver's version table as hex, of a header revision, with a byte sum of `sum` (0 is valid).
std::string VersionTableHex(unsigned major, unsigned minor, unsigned sum = 0) {
    unsigned char t[38] = {'$',
                           'V',
                           'E',
                           'R',
                           static_cast<unsigned char>(major),
                           static_cast<unsigned char>(minor),
                           20,
                           0,
                           1,
                           0,
                           0,
                           0,
                           5,
                           0,
                           0,
                           0,
                           0x13,
                           0,
                           0xFE,
                           0,
                           8,
                           0,
                           32,
                           0,
                           2,
                           0,
                           0x37,
                           0,
                           0,
                           0xA4,
                           0x51,
                           0,
                           1,
                           0,
                           0x03,
                           0x28,
                           0,
                           0};
    unsigned total = 0;
    for (unsigned char b : t)
        total += b;
    t[14] = static_cast<unsigned char>(sum - total);
    std::string hex;
    for (unsigned char b : t) {
        char two[3];
        std::snprintf(two, sizeof(two), "%02x", b);
        hex += two;
    }
    return "\"" + hex + "\"";
}

// Both copies of the version table: the "UEFI" ACPI table and the MoxZrcV variable (the seventh).
sim::MachineBuilder WithVersionTables(const std::string& acpiHex, const std::string& variableHex) {
    sim::MachineBuilder machine = sim::MachineBuilder::Default();
    machine.Set("/uefi/acpi/tables/0/hex", acpiHex).Set("/firmware/variables/6/hex", variableHex);
    return machine;
}

TEST(MoxZrcInfo, ReportsOnOtherMachines) {
    // Without the remapping controller: group 1, the not-found line and EFI_INVALID_PARAMETER.
    sim::MachineBuilder noController = sim::MachineBuilder::Default();
    noController.Remove("/devices/nodes/7")
        .Remove("/uefi/pci_config")
        .Remove("/uefi/remap_window")
        .Remove("/uefi/raid_drivers")
        .Remove("/disks/2/uefi")
        .Remove("/disks/4/uefi");
    ExpectGolden(RunOnBuiltMachine(noController), "moxzrcinfo-no-controller");

    // A driver without its component name, device path and HII protocols nor NVM Express pass-through.
    sim::MachineBuilder lacking = sim::MachineBuilder::Default();
    lacking.Set("/uefi/raid_drivers/0/without", R"(["component_name", "device_path", "hii_config_access"])")
        .Set("/uefi/raid_drivers/0/pass_thru", R"([{"protocol": "ata"}])");
    ExpectGolden(RunOnBuiltMachine(lacking), "moxzrcinfo-driver-lacks-protocols");

    for (const auto& [major, minor, golden] : std::vector<std::tuple<unsigned, unsigned, std::string>>{
             {1, 0, "moxzrcinfo-version-table-1-0"},
             {2, 1, "moxzrcinfo-version-table-2-1"},
             {2, 2, "moxzrcinfo-version-table-2-2"},
         })
        ExpectGolden(RunOnBuiltMachine(
                         WithVersionTables(VersionTableHex(major, minor), VersionTableHex(major, minor))),
                     golden);
    // Bytes that sum to 1: "Invalid" and a failure, though both copies match.
    ExpectGolden(RunOnBuiltMachine(WithVersionTables(VersionTableHex(3, 0, 1), VersionTableHex(3, 0, 1))),
                 "moxzrcinfo-version-table-bad-checksum");
    // The variable holds another table than the ACPI copy: both are printed.
    ExpectGolden(RunOnBuiltMachine(WithVersionTables(VersionTableHex(3, 0), VersionTableHex(2, 1))),
                 "moxzrcinfo-version-tables-differ");
}

TEST(MoxZrcInfo, SeesTheRemapRequestAnotherProcessWrote) {
    // One process schedules the NVMe controller at 2:0.0 for remapping through the management
    // library's remap request store, as moxcli does; at the next boot MoxZrcInfo, another process,
    // finds it in the remapping controller's window.
    TempDir state;
    const fs::path machine = state.path() / "machine.json";
    std::ofstream(machine) << sim::MachineBuilder::Default()
                                  .Append("/firmware/variables", R"({"name": "OrvexZrcOsVariable",
                                      "guid": "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}", "hex": ")" +
                                                                     std::string(128, '0') + "\"}")
                                  .Text();
    ::setenv("MOX_SIM_MACHINE", machine.c_str(), 1);
    ::setenv("MOX_SIM_STATE", (state.path() / "machine").c_str(), 1);
    const moxtest::ChildResult scheduled = moxtest::RunChild({"zrc-schedule", "0x0002"});
    ::unsetenv("MOX_SIM_MACHINE");
    ::unsetenv("MOX_SIM_STATE");
    ASSERT_EQ(scheduled.exitCode, 0);
    EXPECT_EQ(scheduled.output, "0X20000000\n");
    ExpectGolden(RunProgram(MOX_ZRCINFO_PATH, machine, {}, state.path()), "moxzrcinfo-after-remap");
}

} // namespace
