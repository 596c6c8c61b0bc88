// Volume creation and the changes of existing volumes against the simulated driver.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/UviApi.h"
#include "middleware/api/UviCacheOperations.h"
#include "middleware/api/UviVolumeCreation.h"
#include "middleware/api/VolumeCreateSupport.h"
#include "middleware/core/EventLogger.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/Controller.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHolder.h"
#include "middleware/model/WinDiskInterface.h"
#include "sim/Clock.h"
#include "sim/EventLog.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/middleware/api/RaidDiskEntries.h"
#include "tests/support/ChildProcess.h"

namespace {

// Sectors of a disk whose RAID share (after the driver's 4096 metadata sectors) is this many MiB.
std::string SectorsFor(uint64_t mib) {
    return std::to_string(mib * 2048 + 4096);
}

using apitest::DiskEntry;
using apitest::RaidRecord;

// The default PC with four more pass-through disks of 500 GB (PT-4 to PT-7) and two small ones
// (SM-8, SM-9) whose mirror the driver offers 960 MiB of, all on the vendor's SATA controller.
sim::MachineBuilder Machine() {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    b.Set("/adapters/0/raid/action_ms", "0");
    for (int target = 4; target <= 9; ++target) {
        const std::string serial = (target < 8 ? "PT-" : "SM-") + std::to_string(target);
        b.Append("/disks", DiskEntry(serial, target, target < 8 ? "1000215216" : SectorsFor(960)));
        b.Append("/adapters/0/raid/disks", RaidRecord(target));
        b.Append("/adapters/0/ports", RaidRecord(target));
    }
    b.Set("/adapters/0/raid/controller/disks_total", "16");
    b.Set("/adapters/0/raid/controller/disks_per_array", "8");
    return b;
}

std::string Message(const _UVI_Error& error) {
    const CConsolidatedError logged = GetLoggedError(error);
    const char* text = logged.GetErrorMessage();
    return text ? text : "";
}

class VolumeCreate : public ::testing::Test {
protected:
    explicit VolumeCreate(const sim::MachineBuilder& description = Machine()) : machine_(description) {
        DeviceLocator::ResetForTests();
    }
    ~VolumeCreate() override { DeviceLocator::ResetForTests(); }
    void SetUp() override { ASSERT_EQ(UviInitialize().status, UVI_STATUS_SUCCESS); }
    void TearDown() override { static_cast<void>(UviFinalize()); }

    uint32_t Disk(const std::string& serial) {
        uint32_t count = 32;
        std::vector<uint32_t> handles(count);
        EXPECT_EQ(UviGetEndDeviceHandles(0, handles.data(), &count).status, 0u);
        for (uint32_t i = 0; i < count; ++i) {
            _UVI_EndDeviceInfo info{};
            if (UviGetEndDeviceInfo(0, handles[i], &info).status == 0 && serial == info.serialNumber)
                return handles[i];
        }
        ADD_FAILURE() << "no disk " << serial;
        return 0;
    }
    _UVI_EndDeviceInfo Info(uint32_t handle) {
        _UVI_EndDeviceInfo info{};
        EXPECT_EQ(UviGetEndDeviceInfo(0, handle, &info).status, 0u);
        return info;
    }
    // The driver's record of a disk behind the SATA controller, by its target.
    sim::Value RaidDisk(int target) {
        const sim::Value disks = machine_->At("/adapters/0/raid/disks");
        for (size_t i = 0; i < disks.size(); ++i)
            if (disks[i].value<int64_t>("target", -1) == target)
                return disks[i];
        return sim::Value();
    }
    static _UVI_VolumeCreateFromDisksParams Params(const std::vector<uint32_t>& disks, const char* name,
                                                   uint32_t level, uint32_t strip, uint64_t size = 0,
                                                   uint32_t source = 0) {
        _UVI_VolumeCreateFromDisksParams p{};
        p.diskHandles = disks.data();
        p.diskCount = static_cast<uint32_t>(disks.size());
        p.sourceDiskHandle = source;
        std::strncpy(p.name, name, sizeof p.name - 1);
        p.stripSize = strip;
        p.raidLevel = level;
        p.sizeInBytes = size;
        return p;
    }
    static int64_t LastPartitionBytes(const WinDiskInterface& win) {
        const DRIVE_LAYOUT_INFORMATION_EX layout = win.getDriveLayoutInfo();
        return layout.PartitionCount == 0
                   ? 0
                   : win.getPartitionEntries()[layout.PartitionCount - 1].PartitionLength.QuadPart;
    }
    // The driver's record of a volume, by name.
    sim::Value DriverVolume(const std::string& name) {
        const sim::Value volumes = machine_->At("/adapters/0/raid/volumes");
        for (size_t i = 0; i < volumes.size(); ++i)
            if (volumes[i].value("name", std::string()) == name)
                return volumes[i];
        return sim::Value();
    }
    // Whether the event log holds a creation entry for the volume.
    static bool CreationLogged(const std::string& name) {
        for (const auto& entry : sim::eventlog::Entries())
            if (entry.eventId == MoxMwEventLogger::EventId(13) && !entry.strings.empty() &&
                entry.strings[0] == name)
                return true;
        return false;
    }
    // A volume of a fresh session, by name.
    struct Seen {
        bool found = false;
        volume_create::VolumeFacts facts;
        std::string windowsSerial;
        uint64_t windowsBytes = 0;
        uint32_t deviceNumber = 0xFFFFFFFF;
        int64_t lastPartitionBytes = 0;
        bool writeCaching = false;
    };
    static Seen FreshLook(const std::string& name) {
        Seen seen;
        const CConsolidatedError error = runWithSession(0, [&](Session& session) {
            for (const auto& controller : session.getControllers())
                for (const auto& volume : controller->getVolumes())
                    if (volume->getName() == name) {
                        seen.found = true;
                        if (const auto& win = volume->getWinDiskInterface()) {
                            seen.windowsSerial = win->getSerialNumber() ? win->getSerialNumber() : "";
                            seen.windowsBytes = win->getDiskLength();
                            seen.deviceNumber = win->getDeviceNumber();
                            seen.lastPartitionBytes = LastPartitionBytes(*win);
                            DISK_CACHE_INFORMATION cache{};
                            seen.writeCaching = win->getCacheInformation(cache) && cache.WriteCacheEnabled;
                        }
                        return volume_create::ReadVolumeFacts(session, volume->getHandle(), seen.facts);
                    }
            return CConsolidatedError();
        });
        EXPECT_TRUE(error.IsSuccessful()) << error.GetErrorMessage();
        return seen;
    }

    sim::ScopedVirtualClock clock_;
    sim::ScopedMachine machine_;
};

TEST_F(VolumeCreate, CreatedVolumeIsReadBackByAFreshSessionAndSeenByWindows) {
    const std::vector<uint32_t> disks = {Disk("PT-4"), Disk("PT-5")};
    const _UVI_Error created = UviVolumeCreateFromDisks(Params(disks, "Fast", 0x1, 0x40));
    ASSERT_EQ(created.status, UVI_STATUS_SUCCESS) << Message(created);

    const Seen seen = FreshLook("Fast");
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.facts.raidLevel, 0x1u);
    EXPECT_EQ(seen.facts.stripSize, 0x40u);
    const uint64_t share = ((1000215216ull - 4096) * 512) >> 20;
    EXPECT_EQ(seen.facts.sizeInBytes, 2 * share << 20);
    EXPECT_EQ(seen.windowsSerial, "Fast");
    EXPECT_EQ(seen.windowsBytes, 2 * share << 20);
    for (int target : {4, 5})
        EXPECT_EQ(RaidDisk(target)["checkbox"].get<int64_t>(), 0) << target;
}

TEST_F(VolumeCreate, RefusedRequestsChangeNoDisk) {
    const uint32_t pt4 = Disk("PT-4"), pt5 = Disk("PT-5"), pt6 = Disk("PT-6"), pt7 = Disk("PT-7");
    const uint32_t nvme = Disk("NV2-0042");
    const uint32_t small = Disk("SM-8");
    const uint32_t source = pt7;
    struct Case {
        const char* what;
        std::vector<uint32_t> disks;
        const char* name;
        uint32_t level, strip, source;
        uint32_t code;
        const char* message;
    };
    const Case cases[] = {
        {"two controllers", {pt4, nvme}, "Two", 0x1, 0x20, 0, 0xA0010002, "disks on different controllers"},
        {"RAID 5 with 8 KiB strips", {pt4, pt5, pt6}, "Five", 0x8, 0x4, 0, 0xA0010002, "Invalid strip size"},
        {"RAID 10 with five disks",
         {pt4, pt5, pt6, pt7, small},
         "Ten",
         0x4,
         0x20,
         0,
         0xA0010002,
         "Invalid number of disks"},
        {"17 characters",
         {pt4, pt5},
         "ABCDEFGHIJKLMNOPQ",
         0x1,
         0x20,
         0,
         0xA0010005,
         "Buffer does not contain valid null-terminated string."},
        {"backslash",
         {pt4, pt5},
         "A\\B",
         0x1,
         0x20,
         0,
         0xA0010005,
         "Volume Name contains invalid characters"},
        {"control character",
         {pt4, pt5},
         "A\x1F",
         0x1,
         0x20,
         0,
         0xA0010005,
         "Volume Name contains invalid characters"},
        {"duplicate name", {pt4, pt5}, "Volume0", 0x1, 0x20, 0, 0xA0010005, "Duplicate Volume Name"},
        {"source larger than a member",
         {source, small},
         "Move",
         0x2,
         0x20,
         source,
         0xA0010006,
         "One or more disks are smaller than the source disk!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const _UVI_Error error =
            UviVolumeCreateFromDisks(Params(c.disks, c.name, c.level, c.strip, 0, c.source));
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(Message(error), c.message);
    }
    for (int target : {4, 5, 6, 7, 8}) {
        EXPECT_FALSE(RaidDisk(target).value("claimed", false)) << target;
        EXPECT_EQ(RaidDisk(target).value<int64_t>("checkbox", 0), 0) << target;
    }
    EXPECT_EQ(Info(source).usage, 2u); // still pass-through
    EXPECT_FALSE(FreshLook("Two").found);

    // The recovery level is refused before any disk is looked up.
    const uint32_t unknown = 0x7FFFFF01;
    const CConsolidatedError recovery = runWithSession(0, [&](Session& session) {
        return internalUviVolumeCreate(session, &unknown, 1, 0, 0, "R", 0x1000, 0x20, 0, 0, 0, 0);
    });
    EXPECT_EQ(recovery.GetErrorCode(), 0xA001000Au);
    EXPECT_STREQ(recovery.GetErrorMessage(), "Kvqr volumes are no longer supported");
}

TEST_F(VolumeCreate, NameChecks) {
    EXPECT_EQ(ValidateVolumeName(nullptr).GetErrorCode(), 0xA0010002u);
    EXPECT_TRUE(ValidateVolumeName("ABCDEFGHIJKLMNOP").IsSuccessful());
    EXPECT_TRUE(ValidateVolumeName("A ~z").IsSuccessful());
    // Names the driver's name check refuses come back as the export's answer.
    for (const char* name : {"", " Lead"}) {
        SCOPED_TRACE(name);
        const std::vector<uint32_t> disks = {Disk("PT-4"), Disk("PT-5")};
        const _UVI_Error error = UviVolumeCreateFromDisks(Params(disks, name, 0x1, 0x20));
        EXPECT_NE(error.status, UVI_STATUS_SUCCESS);
        EXPECT_FALSE(RaidDisk(4).value("claimed", false));
    }
}

TEST_F(VolumeCreate, SizeOfferRule) {
    struct Case {
        uint64_t mib;
        uint32_t status;
        uint64_t created;
    };
    const Case cases[] = {{1100, UVI_STATUS_INVALID_PARAMETER, 0}, {1000, UVI_STATUS_SUCCESS, 960}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mib);
        const std::vector<uint32_t> disks = {Disk("SM-8"), Disk("SM-9")};
        const _UVI_Error error = UviVolumeCreateFromDisks(Params(disks, "Mirror2", 0x2, 0x20, c.mib << 20));
        EXPECT_EQ(error.status, c.status) << Message(error);
        if (c.status != UVI_STATUS_SUCCESS) {
            EXPECT_EQ(Message(error), "invalid size");
            EXPECT_FALSE(RaidDisk(8).value("claimed", false));
            continue;
        }
        EXPECT_EQ(FreshLook("Mirror2").facts.sizeInBytes, c.created << 20);
    }
}

TEST_F(VolumeCreate, FailedCreateTriggerLogsTheCreationAndUndoesTheClaims) {
    // Two claims and the parse pass; the driver refuses the creation itself.
    machine_->SetValue("/adapters/0/raid/trigger_errors", sim::Value::array({0, 0, 0, 19}));
    sim::eventlog::Clear();
    const std::vector<uint32_t> disks = {Disk("PT-4"), Disk("PT-5")};
    const _UVI_Error error = UviVolumeCreateFromDisks(Params(disks, "Lost", 0x1, 0x20, 100 << 20));
    EXPECT_EQ(error.code, 0xA0060013u);

    const auto entries = sim::eventlog::Entries();
    ASSERT_FALSE(entries.empty());
    const auto& entry = entries.back();
    EXPECT_EQ(entry.eventId, MoxMwEventLogger::EventId(13));
    ASSERT_GE(entry.strings.size(), 5u);
    EXPECT_EQ(entry.strings[0], "Lost");
    EXPECT_EQ(entry.strings[2], "false");
    EXPECT_EQ(entry.strings[3], "2");
    EXPECT_EQ(entry.strings[4], "PT-4, PT-5");
    for (int target : {4, 5}) {
        EXPECT_EQ(RaidDisk(target).value<int64_t>("checkbox", 0), 0) << target;
        EXPECT_FALSE(RaidDisk(target).value("claimed", false)) << target;
    }
    EXPECT_FALSE(FreshLook("Lost").found);
}

TEST_F(VolumeCreate, DefaultCachePolicyNeedsAVolumeOfThatName) {
    const CConsolidatedError error =
        runWithSession(0, [](Session& session) { return applyDefaultCachePolicyByName(session, "Nowhere"); });
    EXPECT_EQ(error.GetErrorCode(), 0xA0010002u);
    EXPECT_STREQ(error.GetErrorMessage(), "Could not find volume with serial number: &s");
}

TEST_F(VolumeCreate, CreatedVolumeIsListedByTheExportedQueriesOfAnotherProcess) {
    const std::vector<uint32_t> disks = {Disk("PT-4"), Disk("PT-5")};
    const _UVI_Error created = UviVolumeCreateFromDisks(Params(disks, "Listed", 0x2, 0x20, 1000ull << 20));
    ASSERT_EQ(created.status, UVI_STATUS_SUCCESS) << Message(created);

    const moxtest::ChildResult child = moxtest::RunChild({"uvi-volumes"});
    ASSERT_EQ(child.exitCode, 0) << child.output;
    EXPECT_NE(child.output.find("Listed 0x2 " + std::to_string(1000ull << 20) + "\n"), std::string::npos)
        << child.output;
}

// Room for five volumes: the volume kinds of the acceleration.
TEST_F(VolumeCreate, CacheVolumeKindsChooseTheOptionWordAndWhetherTheCreationIsLogged) {
    machine_->SetValue("/adapters/0/raid/controller/volumes_per_controller", sim::Value(8));
    machine_->SetValue("/adapters/0/raid/max_volumes", sim::Value(8));
    DeviceLocator::ResetForTests();
    struct Case {
        int kind;
        uint32_t level;
        std::vector<std::string> serials;
        const char* name;
        int64_t options;
        bool logged;
    };
    const Case cases[] = {
        {1, 0x40000, {"PT-4"}, "Cache1", 0x4060, true},
        {2, 0x40000, {"PT-5"}, "Cache2", 0x14060, false},
        {3, 0x40000, {"PT-6"}, "Cache3", 0x10000, false},
        // The kind chooses an option word only for the cache volume level.
        {2, 0x1, {"PT-7", "SM-8"}, "Plain2", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::eventlog::Clear();
        std::vector<uint32_t> disks;
        for (const std::string& serial : c.serials)
            disks.push_back(Disk(serial));
        const _UVI_VolumeCreateFromDisksParams p = Params(disks, c.name, c.level, 0x20);
        const CConsolidatedError error =
            runWithSession(0, [&](Session& session) { return createVolumeFromDisks(session, &p, c.kind); });
        ASSERT_TRUE(error.IsSuccessful()) << error.GetErrorMessage() << error.GetDebugInformation();
        EXPECT_EQ(machine_->At("/adapters/0/raid/new_volume/options").get<int64_t>(), c.options);
        EXPECT_EQ(FreshLook(c.name).facts.raidLevel, c.level);
        EXPECT_EQ(CreationLogged(c.name), c.logged);
    }
}

// The acceleration's way: a data volume of a set size from one disk, then the cache volume in the
// rest of its array.
TEST_F(VolumeCreate, ACacheVolumeGoesOnTheArrayOfADataVolume) {
    const std::vector<uint32_t> disks = {Disk("PT-4")};
    const _UVI_VolumeCreateFromDisksParams data = Params(disks, "Data", 0x40000, 0x20, 100ull << 20);
    CConsolidatedError error =
        runWithSession(0, [&](Session& session) { return createVolumeFromDisks(session, &data, 0); });
    ASSERT_TRUE(error.IsSuccessful()) << error.GetErrorMessage() << error.GetDebugInformation();
    const Seen dataSeen = FreshLook("Data");
    ASSERT_TRUE(dataSeen.found);
    EXPECT_EQ(dataSeen.facts.sizeInBytes, 100ull << 20);

    _UVI_VolumeCreateParams cache{};
    cache.arrayHandle = dataSeen.facts.arrayHandle;
    std::strcpy(cache.name, "Cache");
    cache.stripSize = 0x20;
    cache.raidLevel = 0x40000;
    cache.sizeInBytes = 200ull << 20;
    // The export takes the array's whole free space only; the cache creation asks for its size.
    const _UVI_Error sized = UviVolumeCreate(&cache);
    EXPECT_EQ(sized.code, 0xA0010006u);
    EXPECT_EQ(Message(sized), "InValid Size passed");
    error = runWithSession(0, [&](Session& session) { return createVolumeOnArray(session, &cache, 1); });
    ASSERT_TRUE(error.IsSuccessful()) << error.GetErrorMessage() << error.GetDebugInformation();
    const Seen cacheSeen = FreshLook("Cache");
    ASSERT_TRUE(cacheSeen.found);
    EXPECT_EQ(cacheSeen.facts.arrayHandle, dataSeen.facts.arrayHandle);
    EXPECT_EQ(cacheSeen.facts.sizeInBytes, 200ull << 20);
    EXPECT_EQ(machine_->At("/adapters/0/raid/new_volume/options").get<int64_t>(), 0x4060);
    EXPECT_EQ(DriverVolume("Cache")["array"].get<int64_t>(), DriverVolume("Data")["array"].get<int64_t>());
}

TEST_F(VolumeCreate, RefusalsOnAnArrayAreAlikeForTheExportAndTheCacheCreation) {
    const uint32_t mirrorArray = FreshLook("Volume0").facts.arrayHandle;
    struct Case {
        const char* what;
        const char* limit; // a controller limit set to 1 for the case
        uint32_t array;
        const char* name;
        uint32_t code;
        const char* message;
    };
    const Case cases[] = {
        {"unknown array", nullptr, 0x7FFF0000, "More", 0xA0010003, ""},
        {"volumes per array", "volumes_per_array", mirrorArray, "More", 0xA0010015,
         "Exceeds Maximum Volumes Per Array"},
        {"volumes per controller", "volumes_per_controller", mirrorArray, "More", 0xA0010015,
         "Exceeds Maximum Volumes Per HBA"},
        {"backslash", nullptr, mirrorArray, "Mo\\re", 0xA0010005, "Volume Name contains invalid characters"},
        {"17 characters", nullptr, mirrorArray, "ABCDEFGHIJKLMNOPQ", 0xA0010005,
         "Buffer does not contain valid null-terminated string."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string limit = c.limit ? std::string("/adapters/0/raid/controller/") + c.limit : "";
        sim::Value before;
        if (c.limit) {
            before = machine_->Has(limit) ? machine_->At(limit) : sim::Value();
            machine_->SetValue(limit, sim::Value(1));
            DeviceLocator::ResetForTests(); // the controller's limits are read once per process
        }
        _UVI_VolumeCreateParams p{};
        p.arrayHandle = c.array;
        std::memcpy(p.name, c.name, std::min(std::strlen(c.name), sizeof p.name - 1));
        p.stripSize = 0x20;
        p.raidLevel = 0x2;
        const _UVI_Error exported = UviVolumeCreate(&p);
        EXPECT_EQ(exported.code, c.code);
        EXPECT_EQ(Message(exported), c.message);
        const CConsolidatedError internal =
            runWithSession(0, [&](Session& session) { return createVolumeOnArray(session, &p, 1); });
        EXPECT_EQ(internal.GetErrorCode(), c.code);
        EXPECT_EQ(std::string(internal.GetErrorMessage() ? internal.GetErrorMessage() : ""), c.message);
        if (c.limit) {
            if (before.is_null())
                machine_->Remove(limit);
            else
                machine_->SetValue(limit, before);
            DeviceLocator::ResetForTests();
        }
    }
    EXPECT_EQ(machine_->At("/adapters/0/raid/volumes").size(), 1u);

    // From disks: the name is checked before anything else, and a null record is refused.
    const std::vector<uint32_t> disks = {Disk("PT-4")};
    const _UVI_VolumeCreateFromDisksParams badName = Params(disks, "Mo\\re", 0x40000, 0x20);
    CConsolidatedError error =
        runWithSession(0, [&](Session& session) { return createVolumeFromDisks(session, &badName, 1); });
    EXPECT_EQ(error.GetErrorCode(), 0xA0010005u);
    EXPECT_STREQ(error.GetErrorMessage(), "Volume Name contains invalid characters");
    EXPECT_FALSE(RaidDisk(4).value("claimed", false));
    error = runWithSession(0, [&](Session& session) { return createVolumeFromDisks(session, nullptr, 1); });
    EXPECT_EQ(error.GetErrorCode(), 0xA0010002u);
    error = runWithSession(0, [&](Session& session) { return createVolumeOnArray(session, nullptr, 1); });
    EXPECT_EQ(error.GetErrorCode(), 0xA0010002u);
}

// Destroying the cache of a volume turns the Windows write caching of its drive off when its
// members do not all keep a write cache; a single-disk volume's drive is left as it is.
TEST_F(VolumeCreate, DestroyingTheCacheOfASingleDiskVolumeLeavesItsDriveWriteCachingAlone) {
    struct Case {
        const char* name;
        std::vector<std::string> serials;
        uint32_t level;
        bool writeCachingAfter;
    };
    const Case cases[] = {
        {"Solo", {"PT-4"}, 0x40000, true},
        {"Pair", {"PT-5", "PT-6"}, 0x1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint32_t> disks;
        for (const std::string& serial : c.serials)
            disks.push_back(Disk(serial));
        const _UVI_Error created = UviVolumeCreateFromDisks(Params(disks, c.name, c.level, 0x20));
        ASSERT_EQ(created.status, UVI_STATUS_SUCCESS) << Message(created);
        const Seen before = FreshLook(c.name);
        ASSERT_TRUE(before.writeCaching);
        const _UVI_Error destroyed = UviVolumeDestroyCache(before.facts.handle);
        ASSERT_EQ(destroyed.status, UVI_STATUS_SUCCESS) << Message(destroyed);
        EXPECT_EQ(FreshLook(c.name).writeCaching, c.writeCachingAfter);
    }
}

// Adding a disk restripes the volume over the larger array as a job; the volume keeps its size, and
// growing it into the new free space is the expansion that follows.
TEST_F(VolumeCreate, AddingADiskToAStripeEnlargesItsArrayAsAJob) {
    const std::vector<uint32_t> disks = {Disk("PT-4"), Disk("PT-5")};
    const _UVI_Error created = UviVolumeCreateFromDisks(Params(disks, "Stripe", 0x1, 0x20));
    ASSERT_EQ(created.status, UVI_STATUS_SUCCESS) << Message(created);
    const Seen before = FreshLook("Stripe");
    const uint64_t share = ((1000215216ull - 4096) * 512) >> 20;
    ASSERT_EQ(before.facts.sizeInBytes, 2 * share << 20);

    const uint32_t added = Disk("PT-6");
    const _UVI_Error error = UviAddDisksToArray(before.facts.arrayHandle, &added, 1);
    ASSERT_EQ(error.status, UVI_STATUS_SUCCESS) << Message(error);
    EXPECT_EQ(DriverVolume("Stripe")["job"]["kind"].get<std::string>(), "migrate");
    EXPECT_TRUE(RaidDisk(6).value("claimed", false));

    sim::Clock::AdvanceMs(120000);
    const Seen after = FreshLook("Stripe");
    EXPECT_EQ(after.facts.raidLevel, 0x1u);
    EXPECT_EQ(after.facts.sizeInBytes, before.facts.sizeInBytes);
    volume_create::ArrayFacts array;
    ASSERT_TRUE(runWithSession(0, [&](Session& session) {
                    return volume_create::ReadArrayFacts(session, after.facts.arrayHandle, array);
                }).IsSuccessful());
    EXPECT_EQ(array.memberCount, 3u);

    // The driver reports the volume expandable now (set here by hand: the simulator does not derive
    // the flag), and the expansion takes the third member's share.
    machine_->SetValue("/adapters/0/raid/volumes/1/flags", sim::Value(0x8000));
    const _UVI_Error expanded = UviExpandVolume(after.facts.handle);
    ASSERT_EQ(expanded.status, UVI_STATUS_SUCCESS) << Message(expanded);
    sim::Clock::AdvanceMs(120000);
    EXPECT_EQ(FreshLook("Stripe").facts.sizeInBytes, 3 * share << 20);
}

// A 2 TB disk beside the pass-through drive 1 (ZA1B2C3D, its "Data" partition up to its end).
sim::MachineBuilder BigDiskMachine() {
    sim::MachineBuilder b = Machine();
    b.Append("/disks", DiskEntry("BIG-10", 10, "3907029168"));
    b.Append("/adapters/0/raid/disks", RaidRecord(10));
    b.Append("/adapters/0/ports", RaidRecord(10));
    return b;
}

class VolumeCreateWithBigDisk : public VolumeCreate {
protected:
    VolumeCreateWithBigDisk() : VolumeCreate(BigDiskMachine()) {}
    static int64_t LastPartitionOfDrive(uint32_t number) {
        int64_t bytes = -1;
        EXPECT_TRUE(runWithSession(0, [&](Session& session) {
                        if (const auto& win = session.findWinDiskInterfaceByDeviceNumber(number))
                            bytes = LastPartitionBytes(*win);
                        return CConsolidatedError();
                    }).IsSuccessful());
        return bytes;
    }
};

TEST_F(VolumeCreateWithBigDisk, AMigratingCreationShrinksTheSourceAndMovesItsDriveToTheVolume) {
    const uint32_t source = Disk("ZA1B2C3D");
    const int64_t before = LastPartitionOfDrive(1);
    ASSERT_GT(before, 0);
    sim::eventlog::Clear();
    const std::vector<uint32_t> disks = {source, Disk("BIG-10")};
    const _UVI_Error created = UviVolumeCreateFromDisks(Params(disks, "Moved", 0x2, 0x20, 0, source));
    ASSERT_EQ(created.status, UVI_STATUS_SUCCESS) << Message(created);

    // The driver copies the source's data into the mirror rather than initialising it.
    EXPECT_EQ(DriverVolume("Moved")["job"]["kind"].get<std::string>(), "migrate");
    size_t shrinks = 0;
    for (const sim::Call& c : machine_->calls().Of("Vds"))
        shrinks += c.selectors.value("method", "").find("Shrink") != std::string::npos;
    EXPECT_GT(shrinks, 0u);
    const Seen seen = FreshLook("Moved");
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.facts.raidLevel, 0x2u);
    EXPECT_EQ(seen.deviceNumber, 1u);
    EXPECT_GT(seen.lastPartitionBytes, 0);
    EXPECT_LT(seen.lastPartitionBytes, before);

    const auto entries = sim::eventlog::Entries();
    ASSERT_FALSE(entries.empty());
    ASSERT_GE(entries.back().strings.size(), 5u);
    EXPECT_EQ(entries.back().strings[2], "false"); // a data disk, not the system disk
    EXPECT_EQ(entries.back().strings[4], "ZA1B2C3D, BIG-10");
}

// Five members of 500 GB make a stripe of more than 2 TiB (its size counts the smallest member).
TEST_F(VolumeCreateWithBigDisk, AddingDisksPastTwoTiBNeedsTheLargeVolumeCapability) {
    const std::vector<uint32_t> disks = {Disk("PT-4"), Disk("PT-5")};
    ASSERT_EQ(UviVolumeCreateFromDisks(Params(disks, "Stripe", 0x1, 0x20)).status, UVI_STATUS_SUCCESS);
    const uint32_t array = FreshLook("Stripe").facts.arrayHandle;
    const std::vector<uint32_t> added = {Disk("PT-6"), Disk("PT-7"), Disk("BIG-10")};
    // Without the large-volume bit the change is refused before any disk is claimed.
    for (const bool largeVolumes : {false, true}) {
        SCOPED_TRACE(largeVolumes);
        machine_->SetValue("/adapters/0/raid/controller/capability_a",
                           sim::Value(largeVolumes ? 0x2600000F : 0x0600000F));
        DeviceLocator::ResetForTests();
        const _UVI_Error error = UviAddDisksToArray(array, added.data(), static_cast<unsigned>(added.size()));
        if (largeVolumes) {
            EXPECT_EQ(error.status, UVI_STATUS_SUCCESS) << Message(error);
        } else {
            EXPECT_EQ(error.code, 0xA0010015u);
            EXPECT_EQ(Message(error), "Controller does not support >= 2TB volume!");
        }
        EXPECT_EQ(DriverVolume("Stripe").contains("job"), largeVolumes);
        EXPECT_EQ(RaidDisk(6).value("claimed", false), largeVolumes);
    }
}

// The default PC's RAID 1 volume Volume0 on TS-0077 and TS-0078, changed.
class VolumeModify : public VolumeCreate {
protected:
    uint32_t Volume0() {
        uint32_t handle = 0;
        static_cast<void>(runWithSession(0, [&](Session& session) {
            for (const auto& controller : session.getControllers())
                for (const auto& volume : controller->getVolumes())
                    if (volume->getName() == "Volume0")
                        handle = volume->getHandle();
            return CConsolidatedError();
        }));
        return handle;
    }
    sim::Value Job() { return machine_->At("/adapters/0/raid/volumes/0/job"); }
};

TEST_F(VolumeModify, MigratingAMirrorToRaid5WithOneDiskRunsAsAJob) {
    const std::vector<uint32_t> added = {Disk("PT-4")};
    _UVI_RaidLevelModifyParams p{};
    p.raidLevel = 0x8;
    p.stripSize = 0x20;
    p.diskHandles = added.data();
    p.diskCount = 1;
    const _UVI_Error error = UviRaidLevelModify(Volume0(), &p);
    ASSERT_EQ(error.status, UVI_STATUS_SUCCESS) << Message(error);
    EXPECT_EQ(Job()["kind"].get<std::string>(), "migrate");
    EXPECT_EQ(Job()["to"]["level"].get<int64_t>(), 5);
    sim::Clock::AdvanceMs(120000);
    const Seen seen = FreshLook("Volume0");
    EXPECT_EQ(seen.facts.raidLevel, 0x8u);
}

TEST_F(VolumeModify, RefusedChanges) {
    const uint32_t member = Disk("TS-0077");
    const uint32_t small = Disk("SM-8");
    const uint32_t pt4 = Disk("PT-4");
    struct Case {
        const char* what;
        std::vector<uint32_t> disks;
        uint32_t level, strip;
        uint32_t code;
        const char* message;
    };
    const Case cases[] = {
        {"a member", {member}, 0x8, 0x20, 0xA0010002, "Disk cannot be used!"},
        {"too small", {small}, 0x8, 0x20, 0xA0010002, "Disk too small!"},
        {"strip alone", {}, 0x2, 0x10, 0xA0010002, "Must change a RAID level if changing strip size"},
        {"RAID 10 from three", {pt4}, 0x4, 0x20, 0xA0010002, "Invalid number of disks"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        _UVI_RaidLevelModifyParams p{};
        p.raidLevel = c.level;
        p.stripSize = c.strip;
        p.diskHandles = c.disks.empty() ? nullptr : c.disks.data();
        p.diskCount = static_cast<uint32_t>(c.disks.size());
        const _UVI_Error error = UviRaidLevelModify(Volume0(), &p);
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(Message(error), c.message);
    }
    EXPECT_TRUE(Job().is_null());
    EXPECT_FALSE(RaidDisk(4).value("claimed", false));
}

TEST_F(VolumeModify, ExpandNeedsTheFlagAndAsksForAllSpace) {
    const _UVI_Error refused = UviExpandVolume(Volume0());
    EXPECT_EQ(refused.code, 0xA0000002u);
    EXPECT_EQ(Message(refused), "Volume cannot be expanded");

    machine_->SetValue("/adapters/0/raid/volumes/0/flags", sim::Value(0x8000));
    const _UVI_Error expanded = UviExpandVolume(Volume0());
    ASSERT_EQ(expanded.status, UVI_STATUS_SUCCESS) << Message(expanded);
    EXPECT_EQ(machine_->At("/adapters/0/raid/new_volume/size_mb").get<int64_t>(), 0x40000000);
    EXPECT_EQ(Job()["kind"].get<std::string>(), "migrate");
}

TEST_F(VolumeModify, LargeVolumeCapabilityDecidesA2TiBResult) {
    // Without the large-volume bit, RAID 5 over three 500 GB members stays below 2 TiB; adding
    // disks to RAID 0 of four would not.
    machine_->SetValue("/adapters/0/raid/controller/capability_a", sim::Value(0x0600000F));
    DeviceLocator::ResetForTests();
    const std::vector<uint32_t> added = {Disk("PT-4"), Disk("PT-5"), Disk("PT-6"), Disk("PT-7")};
    _UVI_RaidLevelModifyParams p{};
    p.raidLevel = 0x1;
    p.stripSize = 0x20;
    p.diskHandles = added.data();
    p.diskCount = 4;
    const _UVI_Error error = UviRaidLevelModify(Volume0(), &p);
    EXPECT_EQ(error.code, 0xA0010015u);
    EXPECT_EQ(Message(error), "Controller does not support >= 2TB volume!");
}

TEST_F(VolumeModify, AddingDisksExpandsTheArray) {
    const std::vector<uint32_t> added = {Disk("PT-4"), Disk("PT-5")};
    uint32_t array = 0;
    static_cast<void>(runWithSession(0, [&](Session& session) {
        volume_create::VolumeFacts facts;
        const CConsolidatedError e = volume_create::ReadVolumeFacts(session, Volume0(), facts);
        array = facts.arrayHandle;
        return e;
    }));
    const _UVI_Error error = UviAddDisksToArray(array, added.data(), 2);
    // RAID 1 keeps two members: the driver's parse refuses four.
    EXPECT_NE(error.status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(Message(error), "Invalid number of disks");
}

TEST(DirectVolumeSettings, WrittenWithoutTheLibraryAndWithoutTrigger) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    DeviceLocator::ResetForTests();
    const _UVI_Error none = UviSetReadPatrolUnit(9, 0, 5);
    EXPECT_EQ(none.code, 0xA0010002u);
    EXPECT_EQ(Message(none), "Could not find controller");
    EXPECT_EQ(UviExpandVolume(1).code, 0xA001000Fu);

    EXPECT_EQ(UviSetReadPatrolUnit(0, 0, 0x123456789ull).status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(machine->At("/adapters/0/raid/volumes/0/read_patrol_unit").get<int64_t>(), 0x123456789);
    EXPECT_EQ(UviToggleCoalescerPolicy(0, 0, 3).status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(machine->At("/adapters/0/raid/volumes/0/device_action").get<int64_t>(), 3);
    EXPECT_EQ(machine->At("/adapters/0/raid/volumes/0/action").get<int64_t>(), 10);
    EXPECT_FALSE(machine->Has("/adapters/0/raid/pending"));
    DeviceLocator::ResetForTests();
}

} // namespace
