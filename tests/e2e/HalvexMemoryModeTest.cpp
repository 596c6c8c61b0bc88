// The cache-memory mode end to end: its usage errors, the information report on PCs with and without
// a pairing, and the pairing's enable and disable as a user runs them one after another.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/MachineBuilder.h"
#include "tests/e2e/MoxcliProcess.h"
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

} // namespace
