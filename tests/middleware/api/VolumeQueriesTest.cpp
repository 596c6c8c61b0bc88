// The volume queries over sim/machines/states.json: eight volumes of the SATA RAID controller, one per
// state the driver's records tell apart (array i holds volume i, disks 2i and 2i+1 for i < 5; the
// recovery volumes on disks 15/16 (update mode 1, master 15) and 17/18 (mode 2, master 17); the RAID 0
// volume "NonRedundant" on disks 19/20 with disk 20 failed). Only "Normal" has a Windows disk (disk 0,
// write cache not power-protected).
#include <string>
#include <vector>

#include "middleware/api/UviVolumeOperations.h"
#include "sim/Value.h"
#include "tests/middleware/api/QueryTestSupport.h"

// The same records read by a C translation unit (UviApiFromC.c).
extern "C" unsigned int UviApiFromCArraysAndVolumes(char* firstArrayName, uint32_t* states,
                                                    unsigned int capacity);

namespace {

using namespace querytest;

constexpr uint32_t kUnknownHandle = 0xFFFFF;

class VolumeQueries : public QueryTest {
protected:
    void StartStates(const sim::MachineBuilder& builder = sim::MachineBuilder::FromFile("states.json")) {
        Start(builder);
    }
    // Every record by index of every controller, asked with the exact count on one session.
    std::vector<_UVI_VolumeInfo> Indexed() {
        unsigned session = 0;
        EXPECT_EQ(UviSessionOpen(&session).status, 0u);
        uint32_t count = 0;
        _UVI_Error e = UviGetIxoVolumes(session, 0, nullptr, &count);
        CleanupUviError(e.errorId);
        std::vector<_UVI_VolumeInfo> records(count, Marked<_UVI_VolumeInfo>());
        e = UviGetIxoVolumes(session, 0, records.data(), &count);
        EXPECT_EQ(e.status, 0u) << Message(e);
        UviSessionClose(session);
        return records;
    }
    // The record of the states machine's volume at configuration index `index`, on a new snapshot.
    _UVI_VolumeInfo Volume(size_t index) {
        uint32_t count = 8;
        std::vector<_UVI_VolumeInfo> records(count);
        const _UVI_Error e = UviGetIxoVolumes(0, 0, records.data(), &count);
        EXPECT_EQ(e.status, 0u) << Message(e);
        return records.at(index);
    }
    void Set(const std::string& pointer, const sim::Value& value) {
        machine_->machine().SetValue(pointer, value);
    }
    void SetDiskFlags(int disk, const char* flags) {
        Set("/adapters/0/raid/disks/" + std::to_string(disk) + "/state_flags", sim::Value(flags));
    }
};

TEST_F(VolumeQueries, StatesLevelsAndRecordsOfTheStatesMachine) {
    StartStates();
    const std::vector<_UVI_VolumeInfo> records = Indexed();
    ASSERT_EQ(records.size(), 8u);
    const struct {
        const char* name;
        uint32_t state;
        uint32_t level;
        uint32_t mode;
        uint32_t progress;
    } cases[] = {
        {"Normal", 1, UVI_RAID_LEVEL_1, 0, 0},
        {"Degraded", 2, UVI_RAID_LEVEL_1, 0, 0},
        {"Failed", 3, UVI_RAID_LEVEL_0, 0, 0},
        {"Rebuilding", 5, UVI_RAID_LEVEL_1, 0, 2500},
        {"Verifying", 6, UVI_RAID_LEVEL_1, 0, 4000},
        // Both members usable, degraded, sync code 2: reverse syncing in either update mode.
        {"RecoveryMode1", 30, UVI_RAID_LEVEL_RECOVERY, 1, 0},
        {"RecoveryMode2", 40, UVI_RAID_LEVEL_RECOVERY, 2, 0},
        // A normal RAID 0 volume whose member failed.
        {"NonRedundant", 16, UVI_RAID_LEVEL_0, 0, 0},
    };
    uint32_t controller = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const auto& c = cases[i];
        const _UVI_VolumeInfo& r = records[i];
        EXPECT_STREQ(r.name, c.name) << i;
        EXPECT_EQ(r.state, c.state) << c.name;
        EXPECT_EQ(r.raidLevel, c.level) << c.name;
        EXPECT_EQ(r.recoveryUpdateMode, c.mode) << c.name;
        EXPECT_EQ(r.migrationProgress, c.progress) << c.name;
        EXPECT_EQ(r.migrationProgressScaled, c.progress * 429496u) << c.name;
        EXPECT_EQ(r.arrayIndex, i) << c.name;
        EXPECT_NE(r.arrayHandle, 0u) << c.name;
        EXPECT_EQ(r.numDisks, 2u) << c.name;
        EXPECT_EQ(r.sizeInBytes, 100000ull * 1048576) << c.name;
        EXPECT_EQ(r.stripSizeCode, 32u) << c.name;
        EXPECT_EQ(r.cachePolicy, 1u) << c.name;
        EXPECT_EQ(r.initialized, 1) << c.name;
        EXPECT_EQ(r.reserved36, 0u) << c.name;
        controller = i == 0 ? r.controllerHandle : controller;
        EXPECT_EQ(r.controllerHandle, controller) << c.name;
        if (i > 0) {
            // No Windows disk.
            EXPECT_EQ(r.deviceNumber, 0xFFFFFFFFu) << c.name;
            EXPECT_EQ(r.deviceType, 0xFFFFFFFFu) << c.name;
            EXPECT_EQ(r.windowsCacheSetting, 0u) << c.name;
            EXPECT_EQ(r.hasPartitions, 0) << c.name;
        }
    }
    EXPECT_EQ(records[0].deviceNumber, 0u);
    EXPECT_EQ(records[0].windowsCacheSetting, 1u);
    EXPECT_EQ(records[0].hasPartitions, 1);

    // A C program reads the same.
    char name[21] = {};
    uint32_t states[8] = {};
    ASSERT_EQ(UviApiFromCArraysAndVolumes(name, states, 8), 8u);
    EXPECT_STREQ(name, "SATA_Array_0000");
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(states[i], cases[i].state) << i;

    // The record by handle is the record by index.
    for (const _UVI_VolumeInfo& r : records) {
        _UVI_VolumeInfo info = Marked<_UVI_VolumeInfo>();
        const _UVI_Error e = UviGetVolumeInfo(0, r.handle, &info);
        EXPECT_EQ(e.status, 0u) << Message(e);
        EXPECT_EQ(std::memcmp(&info, &r, sizeof info), 0) << r.name;
    }
}

// The recovery state machine, case by case, on the two recovery volumes of the states machine.
TEST_F(VolumeQueries, RecoveryStateTable) {
    StartStates();
    const struct {
        const char* what;
        size_t volume; // 5: update mode 1, master disk 15; 6: update mode 2, master disk 17
        int rawState;
        int sync;
        int syncMode;
        const char* masterFlags;
        const char* recoveryFlags;
        uint32_t state;
    } cases[] = {
        {"mode 2, both normal, normal, sync 0", 6, 0, 0, 0, "0x10", "0x10", 1},
        {"mode 2, master missing", 6, 2, 0, 0, "0x0", "0x10", 38},
        {"mode 2, master locked counts as missing", 6, 2, 0, 0, "0x1000010", "0x10", 38},
        {"mode 2, master locked, sync 4", 6, 2, 3, 0, "0x1000010", "0x10", 42},
        {"mode 2, master failed", 6, 2, 0, 0, "0x14", "0x10", 39},
        {"mode 2, master offline", 6, 2, 0, 0, "0x8010", "0x10", 34},
        {"mode 2, broken clone, recovery offline", 6, 2, 0, 1, "0x10", "0x8010", 31},
        {"mode 2, broken clone, recovery missing", 6, 2, 0, 1, "0x10", "0x0", 32},
        {"mode 2, broken clone, recovery syncing", 6, 2, 1, 1, "0x10", "0x10", 35},
        {"mode 2, failed is never a broken clone", 6, 3, 0, 1, "0x10", "0x8010", 3},
        {"mode 2, rebuilding, sync 2", 6, 6, 1, 2, "0x10", "0x10", 40},
        {"mode 1, master missing", 5, 2, 0, 0, "0x0", "0x10", 25},
        {"mode 1, master locked counts as missing", 5, 2, 0, 0, "0x1000010", "0x10", 25},
        {"mode 1, master failed", 5, 2, 0, 0, "0x14", "0x10", 26},
        {"mode 1, master offline", 5, 2, 0, 0, "0x8010", "0x10", 24},
        {"mode 1, broken clone, recovery failed", 5, 2, 0, 1, "0x10", "0x14", 19},
        {"mode 1, broken clone, sync 3", 5, 2, 2, 1, "0x10", "0x10", 23},
        {"mode 1, master missing, recovery missing", 5, 2, 0, 0, "0x0", "0x0", 2},
    };
    for (const auto& c : cases) {
        const std::string volume = "/adapters/0/raid/volumes/" + std::to_string(c.volume);
        Set(volume + "/state", sim::Value(c.rawState));
        Set(volume + "/sync", sim::Value(c.sync));
        Set(volume + "/sync_mode", sim::Value(c.syncMode));
        const int master = c.volume == 5 ? 15 : 17;
        SetDiskFlags(master, c.masterFlags);
        SetDiskFlags(master + 1, c.recoveryFlags);
        EXPECT_EQ(Volume(c.volume).state, c.state) << c.what;
    }
}

TEST_F(VolumeQueries, OnlyANonRedundantNormalVolumeReportsItsFailedMember) {
    StartStates();
    // A failed member of the RAID 1 volume "Normal" leaves its state as the driver gives it.
    SetDiskFlags(1, "0x14");
    EXPECT_EQ(Volume(0).state, 1u);
    // The RAID 0 volume with its failed member: 16 while the driver says normal, else the driver's.
    EXPECT_EQ(Volume(7).state, 16u);
    Set("/adapters/0/raid/volumes/7/state", sim::Value(2));
    EXPECT_EQ(Volume(7).state, 2u);
    // The lock bit overrides the driver's state.
    Set("/adapters/0/raid/volumes/7/flags", sim::Value(0x2000));
    EXPECT_EQ(Volume(7).state, 9u);
}

TEST_F(VolumeQueries, WriteBackWithoutPowerProtectionIsSwitchedOff) {
    StartStates();
    const uint32_t normal = Volume(0).handle;
    const struct {
        const char* what;
        bool powerProtected;
        int rawState;
        bool repaired;
    } cases[] = {
        {"power-protected", true, 0, false},
        {"not normal", false, 2, false},
        {"normal, not power-protected", false, 0, true},
    };
    for (const auto& c : cases) {
        Set("/adapters/0/raid/volumes/0/cache_policy", sim::Value(0x101));
        Set("/adapters/0/raid/volumes/0/state", sim::Value(c.rawState));
        Set("/disks/0/cache/power_protected", sim::Value(c.powerProtected));
        _UVI_VolumeInfo info = Marked<_UVI_VolumeInfo>();
        const _UVI_Error e = UviGetVolumeInfo(0, normal, &info);
        // The record keeps what was read before any change.
        EXPECT_EQ(info.cachePolicy, 3u) << c.what;
        if (!c.repaired) {
            EXPECT_EQ(e.status, 0u) << c.what << ": " << Message(e);
            EXPECT_EQ(Volume(0).cachePolicy, 3u) << c.what;
            continue;
        }
        EXPECT_EQ(e.status, 0u) << c.what << ": " << Message(e);
        EXPECT_EQ(Volume(0).cachePolicy, 1u) << c.what;
    }
}

TEST_F(VolumeQueries, HandleListsHideTheVolumesOfCacheArrays) {
    // The pairing machine's controller on port 1: "HalvexData" is its SSD cache volume, here flagged
    // as a cache volume, so its array is hidden; the joined drive's volume stays visible.
    StartStates(
        sim::MachineBuilder::FromFile("pairing.json").Set("/adapters/1/raid/volumes/0/flags", "65536"));
    uint32_t count = 0;
    _UVI_Error e = UviGetVolumeHandles(0, nullptr, &count);
    EXPECT_EQ(e.code, 0xA001000Du);
    EXPECT_EQ(Message(e), "Buffer to fill the Volume handles was too small");
    // Room for every volume, hidden ones included.
    EXPECT_EQ(count, 2u);
    CleanupUviError(e.errorId);
    std::vector<uint32_t> handles(2, 0xEEEEEEEE);
    e = UviGetVolumeHandles(0, handles.data(), &count);
    EXPECT_EQ(e.status, 0u) << Message(e);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(handles[1], 0xEEEEEEEEu);
    _UVI_VolumeInfo info{};
    ASSERT_EQ(UviGetVolumeInfo(0, handles[0], &info).status, 0u);
    EXPECT_EQ(info.isPairingVolume, 1);
    EXPECT_EQ(info.raidLevel, static_cast<uint32_t>(UVI_RAID_LEVEL_PAIRING));
    // Records by index include the hidden volume.
    uint32_t all = 2;
    std::vector<_UVI_VolumeInfo> records(2);
    e = UviGetIxoVolumes(0, 0, records.data(), &all);
    EXPECT_EQ(e.status, 0u) << Message(e);
    EXPECT_STREQ(records[0].name, "HalvexData");
    EXPECT_EQ(records[0].isBlockCacheVolume, 1);
    EXPECT_EQ(records[1].handle, handles[0]);
}

TEST_F(VolumeQueries, CountsPointersAndHandles) {
    StartStates();
    const struct {
        const char* what;
        uint32_t controller;
        bool withRecords;
        uint32_t capacity;
        uint32_t code;
        uint32_t countAfter;
        const char* message;
    } cases[] = {
        {"one more", 0, true, 9, 0xA001000D, 8, ""},
        {"one short", 0, true, 7, 0xA001000D, 8, ""},
        {"no such controller", kUnknownHandle, true, 8, 0xA0010003, 8, "Invalid controller handle: 1048575"},
        {"no records", 0, false, 8, 0xA0010002, 8, "Input buffer can't be null"},
    };
    for (const auto& c : cases) {
        std::vector<_UVI_VolumeInfo> records(9, Marked<_UVI_VolumeInfo>());
        uint32_t count = c.capacity;
        const _UVI_Error e =
            UviGetIxoVolumes(0, c.controller, c.withRecords ? records.data() : nullptr, &count);
        EXPECT_EQ(e.code, c.code) << c.what;
        EXPECT_EQ(count, c.countAfter) << c.what;
        EXPECT_EQ(Message(e), c.message) << c.what;
        EXPECT_TRUE(StillMarked(records[8])) << c.what;
        CleanupUviError(e.errorId);
    }

    uint32_t count = 1;
    _UVI_Error e = UviGetVolumeHandles(0, nullptr, &count);
    EXPECT_EQ(e.code, 0xA0010002u);
    EXPECT_EQ(Message(e), "NULL handleList was passed for a non-zero handleCount");
    CleanupUviError(e.errorId);
    e = UviGetVolumeHandles(0, nullptr, nullptr);
    EXPECT_EQ(e.code, 0xA0010008u);
    EXPECT_EQ(Message(e), "HandlesCount parameter cant be null (internalUviGetVolumeHandles)");
    CleanupUviError(e.errorId);

    _UVI_VolumeInfo info = Marked<_UVI_VolumeInfo>();
    e = UviGetVolumeInfo(0, kUnknownHandle, &info);
    EXPECT_EQ(e.code, 0xA0000004u);
    EXPECT_EQ(Message(e), "Invalid Handle passed in to internalUviGetVolumeInfo, Received: 1048575");
    EXPECT_TRUE(StillMarked(info));
    CleanupUviError(e.errorId);
    e = UviGetVolumeInfo(0, Volume(0).handle, nullptr);
    EXPECT_EQ(e.code, 0xA0000006u);
    CleanupUviError(e.errorId);
}

TEST(VolumeMigrationRange, IsTheProgressScaleAndNeedsNoLibrary) {
    EXPECT_EQ(UviGetVolumeMigrationRange(), 10000);
    uint32_t count = 0;
    EXPECT_EQ(UviGetVolumeHandles(0, nullptr, &count).code, 0xA001000Cu);
    _UVI_VolumeInfo info{};
    EXPECT_EQ(UviGetVolumeInfo(0, 1, &info).code, 0xA001000Cu);
    EXPECT_EQ(UviGetIxoVolumes(0, 0, &info, &count).code, 0xA001000Cu);
}

} // namespace
