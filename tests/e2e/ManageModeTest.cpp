// The manage mode end to end: each command on a simulated PC, then what the next command on the same
// PC finds.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/MachineBuilder.h"
#include "tests/e2e/MoxcliProcess.h"
#include "tests/support/MachineParts.h"

namespace {

using namespace moxe2e;

TEST(ManageMode, NoSwitchIsAUsageError) {
    Scenario pc;
    ExpectGolden(pc.Command({"-M"}), "manage-no-switch");
}

TEST(ManageMode, DeleteAllOnAMachineWithoutMetadataTwice) {
    Scenario pc("controllers.json");
    ExpectGolden(pc.Command({"-M", "-Z"}), "manage-delete-all-clean");
    ExpectGolden(pc.Command({"-M", "-Z"}), "manage-delete-all-clean");
    ExpectGolden(pc.Command({"-I"}), "information-controllers");
}

TEST(ManageMode, DeleteAllKeepsTheSystemVolumeAndClearsTheRest) {
    Scenario pc(moxtest::DataVolumeMachine());
    ExpectGolden(pc.Command({"-M", "-Z"}), "manage-delete-all-volumes");
    ExpectGolden(pc.Command({"-I"}), "manage-delete-all-volumes-after");
}

TEST(ManageMode, DeleteAllClearsTheDisksOfAnOfflineArray) {
    // The array of another system: the driver shows its disks but none of its volumes.
    sim::MachineBuilder machine = moxtest::DataVolumeMachine();
    machine.Remove("/adapters/0/raid/volumes/1").Set("/adapters/0/raid/arrays/1/offline", "true");
    Scenario pc(machine);
    ExpectGolden(pc.Command({"-M", "-Z"}), "manage-delete-all-offline-array");
    ExpectGolden(pc.Command({"-I"}), "manage-delete-all-offline-array-after");
}

TEST(ManageMode, DeleteAllLeavesAcceleratedVolumesWhileTheCacheChangesMode) {
    sim::MachineBuilder machine = moxtest::DataVolumeMachine();
    for (uint32_t target : {6u}) {
        moxtest::DriverDisk ssd = moxtest::SataSsd("TS-CACHE");
        ssd.target = target;
        moxtest::AddDriverDisk(machine, ssd);
    }
    moxtest::CacheVolume cache;
    cache.volume.name = "NvCache";
    cache.volume.array = static_cast<int>(moxtest::AddRaidArray(machine, {6}, 2));
    cache.acceleratedVolume = 1; // Data
    cache.mode = 7;              // the driver's "Maximized to Enhanced"
    moxtest::AddCacheVolume(machine, cache);
    Scenario pc(machine);
    ExpectGolden(pc.Command({"-M", "-Z"}), "manage-delete-all-accelerated");
    ExpectGolden(pc.Command({"-I"}), "manage-delete-all-accelerated-after");
}

TEST(ManageMode, DeleteAllGivesUpOnAControllerThatStaysInAMode) {
    // The NV cache stays in "Off to Maximized": the wait gives up on its 121st pass, in virtual time.
    sim::MachineBuilder machine = moxtest::DataVolumeMachine();
    machine.Set("/adapters/0/raid/nv_cache/mode", "2");
    Scenario pc(machine);
    ExpectGolden(pc.Command({"-M", "-Z"}, {{"MOX_SIM_CLOCK", "virtual"}}), "manage-delete-all-stuck-mode");
    ExpectGolden(pc.Command({"-I"}), "manage-delete-all-stuck-mode-after");
}

} // namespace
