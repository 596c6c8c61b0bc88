// The SSD cache operations against the simulated driver: each change is read back by a fresh
// session, which snapshots the driver anew.
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "middleware/api/CacheOperations.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/NvcDisassociate.h"
#include "middleware/api/NvcInfo.h"
#include "middleware/api/UviCacheOperations.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "tests/middleware/api/QueryTestSupport.h"
#include "tests/support/MachineParts.h"

namespace {

using namespace querytest;

// The default machine's SATA controller with a second array (the former spare) holding the NV
// cache volume "NvCache", which accelerates "Volume0" in safe mode. The mirror's members spin.
sim::MachineBuilder CachedMachine() {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    b.Set("/disks/5/rotation_rate", "7200").Set("/disks/6/rotation_rate", "7200");
    b.Set("/adapters/0/raid/disks/1/spare", "false");
    const size_t array = moxtest::AddRaidArray(b, {1}, 1);
    moxtest::CacheVolume cache;
    cache.volume.name = "NvCache";
    cache.volume.sizeMb = 64000;
    cache.volume.array = static_cast<int>(array);
    cache.acceleratedVolume = 0;
    cache.facts = R"(, "policy": 60)";
    moxtest::AddCacheVolume(b, cache);
    return b;
}

// No acceleration and no cache-memory pairing, and the first disk (drive 1) a plain pass-through
// disk: the volume port does not list it as a disk of the cache product's pairing.
sim::MachineBuilder PassThroughMachine() {
    return CachedMachine()
        .Set("/adapters/0/raid/nv_cache/accelerated_volume", "-1")
        .Set("/adapters/0/raid/disks/0/pairing_type", "0")
        .Set("/adapters/0/volume_port/state_word", "0");
}

class CacheOperations : public QueryTest {
protected:
    void SetUp() override { Start(CachedMachine()); }

    // A session of its own: a new snapshot of the driver.
    static std::unique_ptr<Session> FreshSession() {
        Session* built = nullptr;
        static_cast<void>(Session::Create(built, nullptr));
        return std::unique_ptr<Session>(built);
    }
    static uint32_t SataController(Session& session) {
        for (const auto& c : session.getControllers())
            if (!c->getVolumes().empty())
                return c->getHandle();
        return 0;
    }
    static uint32_t VolumeNamed(Session& session, const std::string& name) {
        for (const auto& c : session.getControllers())
            for (const auto& v : c->getVolumes())
                if (v->getName() == name)
                    return v->getHandle();
        return 0;
    }
    // A disk of the SATA controller by its serial number.
    static uint32_t DiskWithSerial(Session& session, const std::string& serial) {
        for (const auto& c : session.getControllers())
            for (const auto& d : c->getDisks()) {
                _UVI_EndDeviceInfo record{};
                if (internalUviGetEndDeviceInfo(session, d->getHandle(), &record).IsSuccessful() &&
                    serial == record.serialNumber)
                    return d->getHandle();
            }
        return 0;
    }
    uint32_t Volume(const std::string& name) {
        const std::unique_ptr<Session> session = FreshSession();
        return VolumeNamed(*session, name);
    }
    uint32_t Disk(const std::string& serial) {
        const std::unique_ptr<Session> session = FreshSession();
        return DiskWithSerial(*session, serial);
    }
    // Another machine, seen as a new process would see it: the controllers and the interfaces
    // their drivers speak are found again.
    void Restart(const sim::MachineBuilder& machine) {
        machine_.reset();
        static_cast<void>(UviFinalize());
        DeviceLocator::ResetForTests();
        IoctlInterfaceVersionStore::ResetForTests();
        Start(machine);
    }
    // The length of the last partition of a Windows drive, as a fresh session reads it.
    static int64_t LastPartitionLength(int driveNumber) {
        const std::unique_ptr<Session> session = FreshSession();
        const auto& win = session->findWinDiskInterfaceByDeviceNumber(driveNumber);
        const DRIVE_LAYOUT_INFORMATION_EX layout = win->getDriveLayoutInfo();
        return win->getPartitionEntries()[layout.PartitionCount - 1].PartitionLength.QuadPart;
    }
    // The disk service refreshes that making room at a disk's end starts with.
    size_t VdsCalls() {
        size_t n = 0;
        for (const sim::Call& c : (*machine_)->calls().Of("Vds"))
            n += c.selectors.value("method", "") == "IVdsService::Refresh";
        return n;
    }
    // The NV cache record as a fresh session reads it.
    static _UVI_NvcInfo Nvc() {
        const std::unique_ptr<Session> session = FreshSession();
        _UVI_NvcInfo info{};
        EXPECT_TRUE(internalUviGetNvcInfo(*session, SataController(*session), &info).IsSuccessful());
        return info;
    }
};

TEST_F(CacheOperations, DisassociateEndsTheAccelerationForTheNextSession) {
    const _UVI_NvcInfo before = Nvc();
    ASSERT_EQ(before.acceleratedIndex, 0);
    ASSERT_EQ(before.mode, UVI_NVC_MODE_SAFE);

    const std::unique_ptr<Session> session = FreshSession();
    const CConsolidatedError result = internalUviNvcDisassociate(*session, VolumeNamed(*session, "Volume0"));
    EXPECT_TRUE(result.IsSuccessful()) << result.GetDebugInformation();

    const _UVI_NvcInfo after = Nvc();
    EXPECT_EQ(after.acceleratedIndex, -1);
    EXPECT_EQ(after.acceleratedVolumeHandle, 0u);
    EXPECT_EQ(after.mode, UVI_NVC_MODE_OFF);
    EXPECT_EQ(after.cacheVolumeIndex, 1); // the cache volume itself stays
    EXPECT_NE(after.cacheVolumeHandle, 0u);
}

TEST_F(CacheOperations, DisassociateOfAnUnknownVolumeChangesNothing) {
    const std::unique_ptr<Session> session = FreshSession();
    const CConsolidatedError result = internalUviNvcDisassociate(*session, 0x7FFF0000);
    EXPECT_EQ(result.GetErrorCode(), 0xA0010003u);
    EXPECT_EQ(Nvc().acceleratedIndex, 0);
}

TEST_F(CacheOperations, DisassociateRefusedByTheDriverSaysSo) {
    machine_.reset();
    static_cast<void>(UviFinalize());
    Start(CachedMachine().Set("/adapters/0/raid/trigger_errors", "[22]"));
    const std::unique_ptr<Session> session = FreshSession();
    const CConsolidatedError result = internalUviNvcDisassociate(*session, VolumeNamed(*session, "Volume0"));
    EXPECT_TRUE(result.IsError());
    EXPECT_NE(
        std::string(result.GetDebugInformation()).find("Could not Disassociate NV Cache on the volume!"),
        std::string::npos)
        << result.GetDebugInformation();
    EXPECT_EQ(Nvc().acceleratedIndex, 0);
}

constexpr const char kWyn[] = "WYN is not supported in this version of the MOX Driver. Note: Booting from "
                              "previously existing WYN volumes is allowed.";

TEST_F(CacheOperations, EnablingAndCacheVolumeCreationAreRefusedAndChangeNothing) {
    const uint32_t volume = Volume("Volume0");
    const uint32_t disk = Disk("ZA1B2C3D");
    const _UVI_Error off = UviVolumeSetCacheMode(volume, UVI_NVC_MODE_OFF);
    ASSERT_EQ(off.status, 0u) << Message(off) << Debug(off); // the volume is off now
    const _UVI_NvcInfo before = Nvc();
    const std::function<_UVI_Error()> calls[] = {
        [&] { return UviDiskSetCacheMode(disk, UVI_NVC_MODE_SAFE); },
        [&] { return UviDiskSetCacheMode(disk, UVI_NVC_MODE_PERFORMANCE); },
        [&] { return UviVolumeSetCacheMode(volume, UVI_NVC_MODE_SAFE); },
        [&] { return UviVolumeSetCacheMode(volume, UVI_NVC_MODE_PERFORMANCE); },
        [] { return UviCacheVolumeCreateFromDisks(); },
        [] { return UviCacheVolumeCreateFromArray(); },
    };
    for (bool started : {true, false}) {
        if (!started) {
            ASSERT_EQ(UviFinalize().status, 0u); // refused before any initialised check
        }
        for (size_t i = 0; i < std::size(calls); ++i) {
            SCOPED_TRACE(i);
            const _UVI_Error e = calls[i]();
            EXPECT_EQ(e.code, 0xA001000Eu);
            EXPECT_EQ(Message(e), kWyn);
        }
    }
    ASSERT_EQ(UviInitialize().status, 0u);
    const _UVI_NvcInfo after = Nvc();
    EXPECT_EQ(after.mode, before.mode);
    EXPECT_EQ(after.acceleratedIndex, -1);
}

TEST_F(CacheOperations, VolumeModeOffThroughTheExportIsReadBack) {
    const _UVI_Error e = UviVolumeSetCacheMode(Volume("Volume0"), UVI_NVC_MODE_OFF);
    ASSERT_EQ(e.status, 0u) << Message(e) << Debug(e);
    const _UVI_NvcInfo after = Nvc();
    EXPECT_EQ(after.mode, UVI_NVC_MODE_OFF);
    EXPECT_EQ(after.acceleratedIndex, -1);
    EXPECT_EQ(after.cacheVolumeIndex, 1);
}

// Windows write caching of the volume's drive follows the mode: off (and safe) keep it only when
// every member has its cache flag, performance turns it on.
TEST_F(CacheOperations, TheVolumeDriveWriteCachingFollowsTheMode) {
    auto writeCaching = [] {
        const std::unique_ptr<Session> session = FreshSession();
        DISK_CACHE_INFORMATION information{};
        EXPECT_TRUE(session->findWinDiskInterfaceByDeviceNumber(0)->getCacheInformation(information));
        return information.WriteCacheEnabled != 0;
    };
    for (bool membersFlagged : {false, true}) {
        SCOPED_TRACE(membersFlagged);
        sim::MachineBuilder m = CachedMachine();
        if (membersFlagged)
            m.Set("/adapters/0/raid/disks/2/write_cache", "1")
                .Set("/adapters/0/raid/disks/3/write_cache", "1");
        Restart(m);
        ASSERT_TRUE(writeCaching());
        ASSERT_EQ(UviVolumeSetCacheMode(Volume("Volume0"), UVI_NVC_MODE_OFF).status, 0u);
        EXPECT_EQ(writeCaching(), membersFlagged);
        const std::unique_ptr<Session> session = FreshSession();
        ASSERT_TRUE(internalUviVolumeSetCacheMode(*session, VolumeNamed(*session, "Volume0"),
                                                  UVI_NVC_MODE_PERFORMANCE)
                        .IsSuccessful());
        EXPECT_TRUE(writeCaching());
    }
}

TEST_F(CacheOperations, InternalModesReachTheDriverAndAreReadBack) {
    const std::unique_ptr<Session> session = FreshSession();
    const uint32_t volume = VolumeNamed(*session, "Volume0");
    CConsolidatedError result = internalUviVolumeSetCacheMode(*session, volume, UVI_NVC_MODE_PERFORMANCE);
    ASSERT_TRUE(result.IsSuccessful()) << result.GetDebugInformation();
    EXPECT_EQ(Nvc().mode, UVI_NVC_MODE_PERFORMANCE);
    EXPECT_EQ(Nvc().acceleratedIndex, 0);

    result = internalUviVolumeSetCacheMode(*FreshSession(), volume, 4);
    EXPECT_EQ(result.GetErrorCode(), 0xA0010002u);
    EXPECT_STREQ(result.GetErrorMessage(), "Cache mode invalid");
    EXPECT_EQ(Nvc().mode, UVI_NVC_MODE_PERFORMANCE);
}

TEST_F(CacheOperations, DiskModeOffGoesThroughTheVolumeTheDiskBelongsTo) {
    const _UVI_Error e = UviDiskSetCacheMode(Disk("TS-0078"), UVI_NVC_MODE_OFF);
    ASSERT_EQ(e.status, 0u) << Message(e) << Debug(e);
    EXPECT_EQ(Nvc().mode, UVI_NVC_MODE_OFF);
    EXPECT_EQ(Nvc().acceleratedIndex, -1);
}

// The disk form takes only an acceleration: a pass-through disk switched off is refused before it is
// prepared, so its last partition is not shrunk for metadata.
TEST_F(CacheOperations, DiskModeOffOfAPassThroughDiskIsRefusedBeforeAnyPreparation) {
    Restart(PassThroughMachine());
    const int64_t before = LastPartitionLength(1);
    const _UVI_Error e = UviDiskSetCacheMode(Disk("ZA1B2C3D"), UVI_NVC_MODE_OFF);
    EXPECT_EQ(e.code, 0xA0010002u);
    EXPECT_EQ(Message(e), "Cache mode invalid");
    EXPECT_EQ(LastPartitionLength(1), before);
    EXPECT_EQ(VdsCalls(), 0u);

    const std::unique_ptr<Session> session = FreshSession();
    const CConsolidatedError action = SetDiskCacheModeAction(
        *session, SataController(*session), DiskWithSerial(*session, "ZA1B2C3D"), UVI_NVC_MODE_OFF);
    EXPECT_STREQ(action.GetErrorMessage(), "Cache mode invalid");
}

// The acceleration actions prepare a pass-through disk, then reach the driver through its own action.
TEST_F(CacheOperations, AcceleratingAPassThroughDiskPreparesItThenReachesTheDriver) {
    Restart(PassThroughMachine());
    const std::unique_ptr<Session> session = FreshSession();
    const uint32_t disk = DiskWithSerial(*session, "ZA1B2C3D");
    const CConsolidatedError result = internalUviDiskSetCacheMode(*session, disk, UVI_NVC_MODE_SAFE, 0);
    EXPECT_TRUE(result.IsSuccessful()) << result.GetErrorMessage() << result.GetDebugInformation();
    EXPECT_GT(VdsCalls(), 0u); // the disk service was asked for room at the disk's end first
    // The pass-through disk lies on no array: the NV cache keeps no accelerated volume.
    EXPECT_EQ(Nvc().acceleratedIndex, -1);

    // Without a cache volume the driver refuses, and the operation says which step failed.
    Restart(PassThroughMachine().Set("/adapters/0/raid/nv_cache/cache_volume", "-1"));
    const std::unique_ptr<Session> bare = FreshSession();
    const CConsolidatedError refused =
        internalUviDiskSetCacheMode(*bare, DiskWithSerial(*bare, "ZA1B2C3D"), UVI_NVC_MODE_SAFE, 0);
    EXPECT_TRUE(refused.IsError());
    EXPECT_NE(std::string(refused.GetDebugInformation()).find("Could not Set NV Cache on the disk!"),
              std::string::npos)
        << refused.GetDebugInformation();
}

TEST_F(CacheOperations, SsdsNeedAPcieCacheDeviceUnlessTheyShareTheCacheArray) {
    // The mirror's members become SSDs; the cache device (the former spare) is a SATA disk.
    sim::MachineBuilder ssds =
        CachedMachine().Set("/disks/5/rotation_rate", "1").Set("/disks/6/rotation_rate", "1");
    Restart(ssds);
    const std::unique_ptr<Session> session = FreshSession();
    CConsolidatedError result =
        internalUviVolumeSetCacheMode(*session, VolumeNamed(*session, "Volume0"), UVI_NVC_MODE_SAFE);
    EXPECT_EQ(result.GetErrorCode(), 0xA0010002u);
    EXPECT_STREQ(result.GetErrorMessage(), "Cannot accelerate SSDs");
    result = internalUviDiskSetCacheMode(*session, DiskWithSerial(*session, "TS-0077"), UVI_NVC_MODE_SAFE);
    EXPECT_STREQ(result.GetErrorMessage(), "Cannot accelerate SSDs");
    EXPECT_NE(std::string(result.GetDebugInformation())
                  .find("Invalid disk parameter in internalUviDiskSetCacheMode"),
              std::string::npos);

    // The cache volume on the mirror's own array: the SSD volume may be accelerated.
    // (Smaller, to fit in the room the mirror's volume leaves.)
    Restart(ssds.Set("/adapters/0/raid/volumes/1/array", "0")
                .Set("/adapters/0/raid/volumes/1/size_mb", "300")
                .Set("/adapters/0/raid/nv_cache/accelerated_volume", "-1"));
    const std::unique_ptr<Session> shared = FreshSession();
    result = internalUviVolumeSetCacheMode(*shared, VolumeNamed(*shared, "Volume0"), UVI_NVC_MODE_SAFE);
    EXPECT_TRUE(result.IsSuccessful()) << result.GetErrorMessage() << result.GetDebugInformation();
    EXPECT_EQ(Nvc().acceleratedIndex, 0);
}

// The cache volume's array on an NVMe disk that the SATA controller remaps: a PCIe cache device.
sim::MachineBuilder& WithPcieCacheDevice(sim::MachineBuilder& b) {
    moxtest::DriverDisk drive = moxtest::NvmeDrive("NV2-0900");
    drive.path = 1;
    drive.firmware = "3B2QGXA7";
    drive.diskFacts += R"(, "vendor": "NVMe", "pci_vendor": "0x1C8F", "pci_subsystem_vendor": "0x1C8F")";
    drive.portFacts = R"(, "connection": "nvme")";
    moxtest::AddDriverDisk(b, drive);
    return b.Set("/adapters/0/raid/arrays/1/disks", "[4]");
}

// Whether a member SSD of the mirror may be accelerated depends on how the cache device is
// connected: only a PCIe device lets it go on.
TEST_F(CacheOperations, AnSsdGoesOnOnlyWithAPcieCacheDevice) {
    struct Case {
        const char* what;
        std::function<void(sim::MachineBuilder&)> describe;
        bool accepted;
    };
    const Case cases[] = {
        {"SATA cache device", [](sim::MachineBuilder&) {}, false},
        {"no cache device",
         [](sim::MachineBuilder& b) { b.Set("/adapters/0/raid/nv_cache/cache_volume", "-1"); }, false},
        {"PCIe cache device", [](sim::MachineBuilder& b) { WithPcieCacheDevice(b); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // No pairing is enabled, so the cache device is the member of the cache volume's array,
        // whatever the state word of the cache pair says.
        sim::MachineBuilder m = CachedMachine()
                                    .Set("/adapters/0/volume_port/state_word", "1")
                                    .Set("/disks/5/rotation_rate", "1")
                                    .Set("/disks/6/rotation_rate", "1");
        c.describe(m);
        Restart(m);
        const std::unique_ptr<Session> session = FreshSession();
        const CConsolidatedError result = internalUviDiskSetCacheMode(
            *session, DiskWithSerial(*session, "TS-0077"), UVI_NVC_MODE_PERFORMANCE);
        if (!c.accepted) {
            EXPECT_EQ(result.GetErrorCode(), 0xA0010002u);
            EXPECT_STREQ(result.GetErrorMessage(), "Cannot accelerate SSDs");
            EXPECT_NE(Nvc().mode, UVI_NVC_MODE_PERFORMANCE);
            continue;
        }
        EXPECT_TRUE(result.IsSuccessful()) << result.GetErrorMessage() << result.GetDebugInformation();
        EXPECT_EQ(Nvc().mode, UVI_NVC_MODE_PERFORMANCE);
        EXPECT_EQ(Nvc().acceleratedIndex, 0);
    }
}

TEST_F(CacheOperations, SpindownPoliciesAreWrittenAndReadBack) {
    struct Case {
        int policy;
        int32_t readBack;
    };
    const uint32_t volume = Volume("Volume0");
    for (const Case& c : {Case{4, 4}, Case{8, 8}, Case{1, 1}, Case{16, 16}, Case{2, 2}}) {
        SCOPED_TRACE(c.policy);
        const _UVI_Error e = UviVolumeSetCacheSpindownPolicy(volume, c.policy);
        ASSERT_EQ(e.status, 0u) << Message(e) << Debug(e);
        EXPECT_EQ(Nvc().policy, c.readBack);
    }
    const _UVI_Error refused = UviVolumeSetCacheSpindownPolicy(volume, 3);
    EXPECT_EQ(refused.code, 0xA0010002u);
    EXPECT_EQ(Message(refused), "Cache spindown policy invalid");
    EXPECT_EQ(Nvc().policy, 2);

    // A member disk sets its volume's policy; a pass-through disk writes nothing.
    ASSERT_EQ(UviDiskSetCacheSpindownPolicy(Disk("TS-0077"), 8).status, 0u);
    EXPECT_EQ(Nvc().policy, 8);
    EXPECT_EQ(UviDiskSetCacheSpindownPolicy(Disk("ZA1B2C3D"), 4).status, 0u);
    EXPECT_EQ(Nvc().policy, 8);
}

TEST_F(CacheOperations, DestroyingTheCacheOfAVolumeOrOfAMemberDisk) {
    for (bool throughDisk : {false, true}) {
        SCOPED_TRACE(throughDisk);
        Restart(CachedMachine());
        const _UVI_Error e =
            throughDisk ? UviDiskDestroyCache(Disk("TS-0077")) : UviVolumeDestroyCache(Volume("Volume0"));
        ASSERT_EQ(e.status, 0u) << Message(e) << Debug(e);
        const _UVI_NvcInfo after = Nvc();
        EXPECT_EQ(after.cacheVolumeIndex, -1);
        EXPECT_EQ(after.acceleratedIndex, -1);
        EXPECT_EQ(after.mode, UVI_NVC_MODE_OFF);
    }
    // A pass-through disk has no volume whose cache could go.
    EXPECT_EQ(UviDiskDestroyCache(Disk("ZA1B2C3D")).status, 0u);
}

TEST_F(CacheOperations, UnknownHandlesStoppedLibraryAndBusyDriver) {
    const struct {
        const char* name;
        std::function<_UVI_Error()> call;
        uint32_t code;
    } cases[] = {
        {"volume mode", [] { return UviVolumeSetCacheMode(0x7FFF0000, UVI_NVC_MODE_OFF); }, 0xA0010003u},
        {"disk mode", [] { return UviDiskSetCacheMode(0x7FFF0000, UVI_NVC_MODE_OFF); }, 0xA0000003u},
        {"volume destroy", [] { return UviVolumeDestroyCache(0x7FFF0000); }, 0xA0010003u},
        {"disk destroy", [] { return UviDiskDestroyCache(0x7FFF0000); }, 0xA0000003u},
        {"volume spindown", [] { return UviVolumeSetCacheSpindownPolicy(0x7FFF0000, 4); }, 0xA0010003u},
        {"disk spindown", [] { return UviDiskSetCacheSpindownPolicy(0x7FFF0000, 4); }, 0xA0000003u},
        {"disassociate", [] { return UviNvcDisassociate(0x7FFF0000); }, 0xA0010003u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call().code, c.code);
    }
    ASSERT_EQ(UviFinalize().status, 0u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call().code, 0xA001000Cu);
    }
    ASSERT_EQ(UviInitialize().status, 0u);

    // The driver refuses with "volume actions in progress": the debug text says which step failed.
    Restart(CachedMachine().Set("/adapters/0/raid/trigger_errors", "[22, 22]"));
    _UVI_Error e = UviVolumeSetCacheSpindownPolicy(Volume("Volume0"), 4);
    EXPECT_NE(e.status, 0u);
    EXPECT_NE(Debug(e).find("Could not Set NV Cache spindown policy on the volume!"), std::string::npos)
        << Debug(e);
    e = UviVolumeDestroyCache(Volume("Volume0"));
    EXPECT_NE(Debug(e).find("Could not Destroy NV Cache on the volume!"), std::string::npos) << Debug(e);
    EXPECT_EQ(Nvc().cacheVolumeIndex, 1);
}

TEST_F(CacheOperations, DriveRefreshByVolumeNameNeedsASessionAndAName) {
    CConsolidatedError e = performDiskUpdateIoctlWithVolumes(0, "Volume0");
    EXPECT_STREQ(e.GetErrorMessage(), "NULL parameter in helper function");
    unsigned session = 0;
    ASSERT_EQ(UviSessionOpen(&session).status, 0u);
    e = performDiskUpdateIoctlWithVolumes(session, nullptr);
    EXPECT_STREQ(e.GetErrorMessage(), "NULL parameter in helper function");
    e = performDiskUpdateIoctlWithVolumes(session, "Volume0");
    EXPECT_TRUE(e.IsSuccessful()) << e.GetDebugInformation();
    EXPECT_EQ(UviSessionClose(session).status, 0u);
    e = performDiskUpdateIoctlWithVolumes(session, "Volume0");
    EXPECT_STREQ(e.GetErrorMessage(), "NULL session in helper function");
}

} // namespace
