// The cache-memory mode end to end: its usage errors, the information report on PCs with and without
// a pairing, and the pairing's enable and disable as a user runs them one after another.
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/MachineBuilder.h"
#include "tests/e2e/MoxcliProcess.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/MachineParts.h"

namespace {

using namespace moxe2e;

// The pairing PC whose first controller is ready for a pairing: the whole platform supports it and
// its cache-memory module is listed as one.
sim::MachineBuilder ReadyPairingMachine() {
    sim::MachineBuilder machine = moxtest::PairingMachine();
    machine.Set("/adapters/0/volume_port/platform_word", "15")
        .Set("/adapters/0/raid/disks/0/pairing_type", "1");
    return machine;
}

// The pairing PC whose first controller that supports pairing has its pair still migrating.
sim::MachineBuilder MigratingPairingMachine() {
    sim::MachineBuilder machine = moxtest::PairingMachine();
    machine.Set("/adapters/0/volume_port/supported", "false");
    return machine;
}

TEST(HalvexMemoryMode, UsageErrorsPrintTheModesHelp) {
    Scenario pc;
    ExpectGolden(pc.Command({"--HalvexMemory"}), "halvex-no-option");
    ExpectGolden(pc.Command({"--HalvexMemory", "--enable", "--disable"}), "halvex-two-options");
    ExpectGolden(pc.Command({"--HalvexMemory", "--enable", "--fast-drive", "0-0-0-0"}), "halvex-one-drive");
}

TEST(HalvexMemoryMode, InformationWithoutAndWithPairing) {
    Scenario none;
    ExpectGolden(none.Command({"--HalvexMemory", "--info"}), "halvex-info-unsupported");
    Scenario pc(ReadyPairingMachine());
    ExpectGolden(pc.Command({"--HalvexMemory", "--info"}), "halvex-info-pairing");
}

TEST(HalvexMemoryMode, ProgressOfAMigrationAndWithoutAPairing) {
    Scenario migrating(MigratingPairingMachine());
    ExpectGolden(migrating.Command({"--HalvexMemory", "--progress"}), "halvex-progress-migrating");
    Scenario ready(ReadyPairingMachine());
    ExpectGolden(ready.Command({"--HalvexMemory", "--progress"}), "halvex-progress-no-pair");
}

// The pairing's waits run on virtual time: a migration of minutes ends at once.
const Environment kVirtualTime{{"MOX_SIM_CLOCK", "virtual"}};

TEST(HalvexMemoryMode, EnableTheOnlyPairAndLookAtItWhileItMigrates) {
    Scenario pc(moxtest::PairingEnableMachine());
    ExpectGolden(pc.Command({"--HalvexMemory", "--info"}), "halvex-enable-before");
    // The status is shown at each poll until the migration is over.
    ExpectGolden(pc.Command({"--HalvexMemory", "--enable"}, kVirtualTime), "halvex-enable-chosen");
    // Each later program's clock starts again where the migration began: it sees the migration run.
    ExpectGolden(pc.Command({"--HalvexMemory", "--info"}, kVirtualTime), "halvex-enable-info");
    ExpectGolden(pc.Command({"-I"}, kVirtualTime), "halvex-enable-information");
    ExpectGolden(pc.Command({"--HalvexMemory", "--progress"}, kVirtualTime), "halvex-enable-progress");
    ExpectGolden(pc.Command({"--HalvexMemory", "--disable"}, kVirtualTime), "halvex-disable-while-migrating");
    ExpectGolden(pc.Command({"--HalvexMemory", "--enable"}, kVirtualTime), "halvex-enable-again");
}

TEST(HalvexMemoryMode, EnableTheNamedDrives) {
    Scenario pc(moxtest::PairingEnableMachine());
    ExpectGolden(
        pc.Command({"--HalvexMemory", "--enable", "--fast-drive", "0-0-4-0", "--drive-to-accel", "0-0-0-0"},
                   kVirtualTime),
        "halvex-enable-named");
}

// A second process that holds the enable's section on the machine of dir until told "done".
std::unique_ptr<moxtest::Child> HoldEnableSection(const TempDir& dir, const fs::path& machine) {
    ScopedEnvironment same(
        {{"MOX_SIM_STATE", (dir.path() / "machine").string()}, {"MOX_SIM_MACHINE", machine.string()}});
    return std::make_unique<moxtest::Child>(
        std::vector<std::string>{"ncs-hold", "Global\\HalvexEnableOneStepSemaphore"});
}

TEST(HalvexMemoryMode, WhileAnotherProcessEnablesADisableIsRefused) {
    // The enable has made its cache volume on the module and holds its section until the driver pairs.
    sim::MachineBuilder enabling = ReadyPairingMachine();
    enabling.Set("/adapters/0/raid/arrays", R"([{"disks": [0]}])")
        .Set("/adapters/0/raid/volumes",
             R"([{"name": "HalvexCache", "level": 0, "size_mb": 28000, "strip_kb": 128, "array": 0,
                  "flags": 65536}])");
    TempDir dir;
    const fs::path machine = dir.path() / "machine.json";
    std::ofstream(machine) << enabling.Text();
    const std::unique_ptr<moxtest::Child> holder = HoldEnableSection(dir, machine);
    ASSERT_EQ(holder->ReadLine(), "ready 0X20000000");
    ExpectGolden(RunMoxcli(machine, {"--HalvexMemory", "--disable"}, dir.path()),
                 "halvex-disable-while-enabling");
    // An enable under way is no unfinished operation.
    ExpectGolden(RunMoxcli(machine, {"--HalvexMemory", "--info"}, dir.path()), "halvex-info-while-enabling");
    holder->WriteLine("done");
    EXPECT_EQ(holder->Wait(), 0);
}

TEST(HalvexMemoryMode, WhileAnotherProcessHoldsTheEnableSectionAnEnableIsRefusedAndTouchesNothing) {
    TempDir dir;
    const fs::path machine = dir.path() / "machine.json";
    std::ofstream(machine) << moxtest::PairingEnableMachine().Text();
    const std::unique_ptr<moxtest::Child> holder = HoldEnableSection(dir, machine);
    ASSERT_EQ(holder->ReadLine(), "ready 0X20000000");
    ExpectGolden(RunMoxcli(machine, {"--HalvexMemory", "--enable"}, dir.path()),
                 "halvex-enable-while-enabling");
    // Neither drive was cleaned or paired: the report is the one before any enable.
    ExpectGolden(RunMoxcli(machine, {"--HalvexMemory", "--info"}, dir.path()), "halvex-enable-before");
    holder->WriteLine("done");
    EXPECT_EQ(holder->Wait(), 0);
}

} // namespace
