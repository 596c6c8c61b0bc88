// The SSD caching action and the base operations it runs: the acceleration changes against the
// simulated driver, each read back through a fresh snapshot, and the guard of a pairing.
#include <string>

#include <gtest/gtest.h>

#include "middleware/accelerate/UVIAccelerateWynAction.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/VolumeQueries.h"
#include "middleware/pairing/PairingState.h"
#include "sim/CallLog.h"
#include "tests/middleware/accelerate/ActionTestSupport.h"

namespace {

using namespace actiontest;

class WynAction : public ActionTest {};

// An action of the base alone, whose snapshot a test may mark as one of the session table.
class TableSessionAction : public UVIAccelerateBaseAction {
public:
    explicit TableSessionAction(uint32_t handle) { m_SessionHandle = handle; }
    bool isSupported(uint32_t, CConsolidatedError&) override { return true; }
    uint64_t getMinCacheSize() override { return 0; }
    uint64_t getMaxCacheSize() override { return 0; }
    uint64_t getMinDataVolumeSize() override { return 0; }
    CConsolidatedError checkIfDiskPairValid(uint32_t, uint32_t, uint32_t&) override { return {}; }
    CConsolidatedError checkIfDiskValid(uint32_t, uint32_t, uint32_t&) override { return {}; }
    bool hasAcceleratedVolume() override { return false; }
    void adjustSmallDataVolume(CacheSizeSpec&) override {}
};

TEST_F(WynAction, RefreshIsRefusedOnASessionOfTheTable) {
    Start(SsdCachingMachine());
    TableSessionAction table(1);
    const CConsolidatedError refused = table.refreshSession();
    EXPECT_EQ(refused.GetErrorCode(), 0xA0010008u);
    EXPECT_STREQ(refused.GetErrorMessage(), "Cannot refresh external session");
    TableSessionAction own(0);
    EXPECT_TRUE(own.refreshSession().IsSuccessful());
    EXPECT_EQ(mox::MakeTypeNameMessage(UVIAccelerateWynAction(), "text"),
              "class UVIAccelerateWynAction text");
}

// The cache volume shares its array with a data volume: the reset deletes one volume per round, then
// clears the pairing's registry flag.
TEST_F(WynAction, ResetToAvailableDeletesEveryVolumeOfTheCacheArray) {
    sim::MachineBuilder b = SsdCachingMachine();
    AddCache(b, -1, 0);
    moxtest::RaidVolume data;
    data.name = "Data_Volume";
    data.sizeMb = 1000;
    data.array = 1;
    moxtest::AddRaidVolume(b, data);
    b.Set("/registry/keys/HKLM\\SOFTWARE\\WOW6432Node\\Orvex\\Bexl/IsHalvexEnabled",
          R"({"type": "REG_DWORD", "data": 1})");
    Start(b);
    UVIAccelerateWynAction action;
    const CConsolidatedError reset = action.resetCacheToAvailable(SataController(action.getSession()));
    ASSERT_TRUE(reset.IsSuccessful()) << reset.GetErrorMessage() << reset.GetDebugInformation();
    const std::unique_ptr<Session> after = Fresh();
    EXPECT_FALSE(Volume(*after, "NvCache"));
    EXPECT_FALSE(Volume(*after, "Data_Volume"));
    EXPECT_TRUE(Volume(*after, "Volume0"));
    DWORD enabled = 1;
    EXPECT_TRUE(ReadBexlWow64Dword("IsHalvexEnabled", &enabled));
    EXPECT_EQ(enabled, 0u);

    // With the cache in use the reset is refused.
    sim::MachineBuilder busy = SsdCachingMachine();
    Start(AddCache(busy, 0, 3));
    UVIAccelerateWynAction again;
    const CConsolidatedError refused = again.resetCacheToAvailable(SataController(again.getSession()));
    EXPECT_EQ(refused.GetErrorCode(), 0xA0010012u);
    EXPECT_STREQ(
        refused.GetErrorMessage(),
        "Cache is currently being used to accelerate disk or volume, Turn off acceleration to reset.");
}

TEST_F(WynAction, VolumeAccelerationIsRefusedUnlessTheCacheIsFreeAndSteady) {
    struct Case {
        const char* name;
        int accelerated; // volume index, -1 none
        int mode;        // the driver's mode number
        const char* volume;
        _UVI_NvcMode target;
        const char* message; // null: accepted
    };
    const Case cases[] = {
        {"switch on", -1, 0, "Volume0", UVI_NVC_MODE_SAFE, nullptr},
        {"to performance", 0, 3, "Volume0", UVI_NVC_MODE_PERFORMANCE, nullptr},
        {"already there", 0, 3, "Volume0", UVI_NVC_MODE_SAFE,
         "Cache is already in that mode or is transitioning!"},
        {"transitioning", 0, 6, "Volume0", UVI_NVC_MODE_OFF,
         "Cache is already in that mode or is transitioning!"},
        {"the cache itself", -1, 0, "NvCache", UVI_NVC_MODE_SAFE,
         "Cannot accelerate the Cache or Extra space volume!"},
        {"another volume", 0, 3, "NvCache", UVI_NVC_MODE_SAFE,
         "There is already a volume or disk being accelerated currently!"},
        // A single-disk volume at level 0 is the driver's way to accelerate a disk.
        {"a disk", 1, 3, "Volume0", UVI_NVC_MODE_SAFE,
         "There is already a disk being accelerated currently!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::MachineBuilder b = SsdCachingMachine();
        Start(AddCache(b, c.accelerated, c.mode));
        UVIAccelerateWynAction action;
        const CConsolidatedError result =
            action.configVolumeAcceleration(Volume(action.getSession(), c.volume)->getHandle(), c.target);
        if (!c.message) {
            EXPECT_TRUE(result.IsSuccessful()) << result.GetErrorMessage() << result.GetDebugInformation();
            EXPECT_EQ(Nvc().mode, c.target);
            continue;
        }
        EXPECT_EQ(result.GetErrorCode(), 0xA0070014u);
        EXPECT_STREQ(result.GetErrorMessage(), c.message);
    }

    // Without a cache volume nothing can be accelerated.
    Start(SsdCachingMachine());
    UVIAccelerateWynAction bare;
    const CConsolidatedError none =
        bare.configVolumeAcceleration(Volume(bare.getSession(), "Volume0")->getHandle(), UVI_NVC_MODE_SAFE);
    EXPECT_EQ(none.GetErrorCode(), 0xA0070014u);
    EXPECT_STREQ(none.GetErrorMessage(), "There is no cache volume in this system!");
}

// A cache in state 2 is switched off even when it reports off already; in another state that is
// refused as a change to the same mode. The disk is accelerated as a single-disk volume.
TEST_F(WynAction, DiskSwitchOffGoesOnInCacheStateTwo) {
    for (const int driverState : {3, 1}) {
        SCOPED_TRACE(driverState);
        sim::MachineBuilder b = SsdCachingMachine();
        AddCache(b, -1, 0, driverState);
        const size_t array = moxtest::AddRaidArray(b, {0}, 2);
        moxtest::RaidVolume accelerated;
        accelerated.name = "Accel";
        accelerated.array = static_cast<int>(array);
        const size_t index = moxtest::AddRaidVolume(b, accelerated);
        Start(b.Set("/adapters/0/raid/nv_cache/accelerated_volume", std::to_string(index)));
        UVIAccelerateWynAction action;
        const _UVI_NvcInfo before = Nvc();
        ASSERT_EQ(before.cacheState, driverState == 3 ? 2u : 1u);
        ASSERT_NE(before.acceleratedDiskHandle, 0u);
        const CConsolidatedError result =
            action.configDiskAcceleration(before.acceleratedDiskHandle, UVI_NVC_MODE_OFF);
        if (driverState == 3) {
            EXPECT_TRUE(result.IsSuccessful()) << result.GetErrorMessage() << result.GetDebugInformation();
            EXPECT_EQ(Nvc().acceleratedDiskHandle, 0u);
        } else {
            EXPECT_EQ(result.GetErrorCode(), 0xA0070014u);
            EXPECT_STREQ(result.GetErrorMessage(), "Cache is already in that mode or is transitioning!");
        }
    }
}

// Whether a disk may be accelerated is read by the offsets of its record: 252 must say pass through
// (2) and 248 normal (6).
TEST_F(WynAction, OnlyANormalPassThroughDiskCanBeAccelerated) {
    struct Case {
        const char* name;
        const char* serial;
        const char* stateFlags; // of its RAID record, null: as described
        const char* message;
    };
    const Case cases[] = {
        {"normal pass-through", "FAST-01", nullptr, nullptr},
        {"failed pass-through", "FAST-01", "\"0x14\"", "This is not available or not in normal state"},
        {"array member", "TS-0077", nullptr,
         "Disk is part of a volume. Only Volumes or Passthrough disks can be accelerated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::MachineBuilder b = SsdCachingMachine();
        AddFastDisk(b, uint64_t{64} << 30);
        if (c.stateFlags)
            b.Set("/adapters/0/raid/disks/4/state_flags", c.stateFlags);
        Start(AddCache(b, -1, 0));
        UVIAccelerateWynAction action;
        Session& session = action.getSession();
        _UVI_NvcInfo nvc{};
        ASSERT_TRUE(internalUviGetNvcInfo(session, SataController(session), &nvc).IsSuccessful());
        _UVI_EndDeviceInfo disk{};
        ASSERT_TRUE(
            internalUviGetEndDeviceInfo(session, DiskHandle(session, c.serial), &disk).IsSuccessful());
        const CConsolidatedError result = action.checkDiskCanBeAccelerated(nvc, disk);
        if (!c.message) {
            EXPECT_TRUE(result.IsSuccessful()) << result.GetErrorMessage();
            continue;
        }
        EXPECT_STREQ(result.GetErrorMessage(), c.message);
    }
}

TEST_F(WynAction, FastDiskChecks) {
    sim::MachineBuilder b = SsdCachingMachine();
    AddFastDisk(b, uint64_t{8} << 30);
    AddFastDisk(b, uint64_t{64} << 30, "FAST-02", 5);
    Start(b);
    UVIAccelerateWynAction action;
    Session& session = action.getSession();
    auto check = [&](const char* serial) {
        _UVI_EndDeviceInfo disk{};
        EXPECT_TRUE(internalUviGetEndDeviceInfo(session, DiskHandle(session, serial), &disk).IsSuccessful());
        return action.checkFastDisk(disk);
    };
    const CConsolidatedError small = check("FAST-01");
    EXPECT_EQ(small.GetErrorCode(), 0xA0070010u);
    EXPECT_STREQ(small.GetErrorMessage(), "Fast Disk of at least 14.900000 GB is needed for Cache Volume");
    EXPECT_EQ(check("ZA1B2C3D").GetErrorCode(), 0xA007000Fu);
    EXPECT_TRUE(check("FAST-02").IsSuccessful());

    // A solid-state disk with the system on it is refused before the common checks.
    sim::MachineBuilder system = SsdCachingMachine();
    system.Set("/disks/1/rotation_rate", "1").Set("/adapters/0/raid/disks/0/state_flags", "\"0x200010\"");
    Start(AddCache(system, -1, 0));
    UVIAccelerateWynAction again;
    _UVI_EndDeviceInfo disk{};
    ASSERT_TRUE(
        internalUviGetEndDeviceInfo(again.getSession(), DiskHandle(again.getSession(), "ZA1B2C3D"), &disk)
            .IsSuccessful());
    const CConsolidatedError refused = again.checkFastDisk(disk);
    EXPECT_EQ(refused.GetErrorCode(), 0xA0010012u);
    EXPECT_STREQ(refused.GetErrorMessage(), "Can't create cache on a system partitioned SSD");
}

TEST_F(WynAction, TurnOffAndDisassociate) {
    sim::MachineBuilder b = SsdCachingMachine();
    Start(AddCache(b, 0, 3));
    UVIAccelerateWynAction action;
    const uint32_t controller = SataController(action.getSession());
    EXPECT_TRUE(action.hasAcceleratedVolume());
    const CConsolidatedError off = action.turnOffAcceleration(controller);
    ASSERT_TRUE(off.IsSuccessful()) << off.GetErrorMessage() << off.GetDebugInformation();
    EXPECT_EQ(Nvc().mode, UVI_NVC_MODE_OFF);
    ASSERT_TRUE(action.refreshSession().IsSuccessful());
    EXPECT_FALSE(action.hasAcceleratedVolume());
    EXPECT_EQ(action.turnOffAcceleration(controller).GetErrorCode(), 0xA0000004u);

    _UVI_VolumeInfo volume{};
    ASSERT_TRUE(internalUviGetVolumeInfo(action.getSession(),
                                         Volume(action.getSession(), "Volume0")->getHandle(), &volume)
                    .IsSuccessful());
    const CConsolidatedError notCache = action.disassociate(volume);
    EXPECT_EQ(notCache.GetErrorCode(), 0xA0010002u);
    EXPECT_STREQ(notCache.GetErrorMessage(), "Volume not used as Cache Volume");
    ASSERT_TRUE(action.getBlockCacheVolumeInfo(volume).IsSuccessful());
    EXPECT_TRUE(action.disassociate(volume).IsSuccessful());
}

// While a pairing is enabled every change is refused before the driver hears of it.
TEST_F(WynAction, GuardRefusesEveryChangeWhileAPairingIsEnabled) {
    Start(moxtest::PairingMachine());
    UVIAccelerateWynAction action;
    Session& session = action.getSession();
    const uint32_t disk = DiskHandle(session, "HVX-MOD-0002");
    const uint32_t controller = session.getEndDeviceByHandle(disk)->getControllerHandle();
    const uint32_t volume = Volume(session, "HalvexData")->getHandle();
    _UVI_VolumeInfo record{};
    ASSERT_TRUE(internalUviGetVolumeInfo(session, volume, &record).IsSuccessful());

    machine_->machine().calls().Keep(1000);
    machine_->machine().calls().Clear();
    CacheSizeSpec size;
    size.mode = CacheSizeSpec::kExplicit;
    size.size = uint64_t{16} << 30;
    const CConsolidatedError results[] = {action.createCacheVolume(disk, size),
                                          action.resetCacheToAvailable(controller),
                                          action.configVolumeAcceleration(volume, UVI_NVC_MODE_OFF),
                                          action.configDiskAcceleration(disk, UVI_NVC_MODE_SAFE),
                                          action.turnOffAcceleration(controller),
                                          action.disassociate(record)};
    for (const CConsolidatedError& r : results) {
        EXPECT_EQ(r.GetErrorCode(), 0xA0010012u);
        EXPECT_STREQ(r.GetErrorMessage(), "Cannot change acceleration settings while VEZK is enabled.");
    }
    EXPECT_EQ(machine_->machine().calls().Count("DeviceIoControl"), 0u);
    uint32_t status = 0;
    EXPECT_EQ(action.checkIfDiskValid(disk, 0, status).GetErrorCode(), 0xA0010018u);
    EXPECT_EQ(action.checkIfDiskPairValid(disk, disk, status).GetErrorCode(), 0xA0010018u);
}

TEST_F(WynAction, SupportNeedsTheSsdCachingCapability) {
    Start(SsdCachingMachine());
    UVIAccelerateWynAction action;
    CConsolidatedError error;
    EXPECT_TRUE(action.isSupported(0, error));
    EXPECT_TRUE(action.isSupported(SataController(action.getSession()), error));
    EXPECT_FALSE(action.isSupported(action.getSession().getControllers().back()->getHandle(), error));
    EXPECT_EQ(error.GetErrorCode(), 0xA001000Eu);
    EXPECT_STREQ(error.GetErrorMessage(), "Action not supported on this controller");
}

} // namespace
