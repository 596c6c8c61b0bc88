// The array queries over sim/machines/states.json (eight two-disk arrays on the SATA RAID
// controller, arrays 0 to 4 behind SATA ports, array 5 with one member behind a PCIe port, arrays 6
// and 7 behind PCIe ports; no array on the NVMe controller) and sim/machines/pairing.json (a
// controller whose ports give no connection answer, and the array of a joined cache-memory drive).
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/Value.h"
#include "tests/middleware/api/QueryTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace {

using namespace querytest;

constexpr uint64_t kMiB = 1048576;
constexpr uint32_t kUnknownHandle = 0xFFFFF;

class ArrayQueries : public QueryTest {
protected:
    void StartStates() { Start(sim::MachineBuilder::FromFile("states.json")); }
    // A table session, so that the queries of a test share one snapshot instead of building one each.
    void OpenSession() { ASSERT_EQ(UviSessionOpen(&session_).status, 0u); }

    std::vector<uint32_t> Handles() {
        uint32_t count = 32;
        std::vector<uint32_t> handles(count);
        const _UVI_Error e = UviGetArrayHandles(session_, handles.data(), &count);
        EXPECT_EQ(e.status, 0u) << Message(e);
        handles.resize(count);
        return handles;
    }
    _UVI_ArrayInfo Info(uint32_t handle) {
        _UVI_ArrayInfo info = Marked<_UVI_ArrayInfo>();
        const _UVI_Error e = UviGetArrayInfo(session_, handle, &info);
        EXPECT_EQ(e.status, 0u) << Message(e);
        return info;
    }
    // Every record by index, asked with the exact count.
    std::vector<_UVI_ArrayInfo> Indexed(uint32_t controllerHandle) {
        uint32_t count = 0;
        _UVI_Error e = UviGetIxoArrays(session_, controllerHandle, nullptr, &count);
        CleanupUviError(e.errorId);
        std::vector<_UVI_ArrayInfo> records(count, Marked<_UVI_ArrayInfo>());
        e = UviGetIxoArrays(session_, controllerHandle, records.data(), &count);
        EXPECT_EQ(e.status, 0u) << Message(e);
        return records;
    }
    uint32_t SataController() { return ControllerHandles().at(0); }
    uint32_t NvmeController() { return ControllerHandles().at(1); }

    unsigned session_ = 0;
};

TEST_F(ArrayQueries, RecordsOfTheStatesMachine) {
    StartStates();
    OpenSession();
    const std::vector<uint32_t> handles = Handles();
    ASSERT_EQ(handles.size(), 8u);
    const std::vector<_UVI_ArrayInfo> indexed = Indexed(0);
    ASSERT_EQ(indexed.size(), 8u);
    // The bus word: SATA members, a SATA and a PCIe member (the last member decides), PCIe members.
    const struct {
        size_t index;
        const char* name;
    } names[] = {
        {0, "SATA_Array_0000"}, {4, "SATA_Array_0004"}, {5, "PCIe_Array_0005"}, {7, "PCIe_Array_0007"}};
    for (const auto& c : names)
        EXPECT_STREQ(indexed[c.index].name, c.name) << c.index;
    const uint32_t controller = SataController();
    for (size_t i = 0; i < handles.size(); ++i) {
        const _UVI_ArrayInfo info = Info(handles[i]);
        // The record by index and the record by handle are one record.
        EXPECT_EQ(std::memcmp(&info, &indexed[i], sizeof info), 0) << i;
        EXPECT_EQ(info.handle, handles[i]);
        EXPECT_EQ(info.controllerHandle, controller);
        EXPECT_EQ(info.state, 1u);
        EXPECT_EQ(info.numDisks, 2u);
        EXPECT_EQ(info.numVolumes, 1u);
        EXPECT_EQ(info.writeCache, 1u);
        EXPECT_EQ(info.sizeInBytes % kMiB, 0u);
        EXPECT_GT(info.sizeInBytes, info.availableSizeInBytes);
        EXPECT_EQ(info.availableSizeInBytes % kMiB, 0u);
        // No member is missing: the group's smallest member free space, read from its two words.
        EXPECT_GT(info.memberFreeSpace, 0xFFFFFFFFull);
        EXPECT_LT(info.memberFreeSpace, info.sizeInBytes);
        const std::string expected = info.name;
        EXPECT_EQ(expected.substr(4), "_Array_000" + std::to_string(i));
    }
}

TEST_F(ArrayQueries, StateAndWriteCacheOfTheGroup) {
    StartStates();
    const uint32_t first = Handles().at(0);
    const struct {
        int groupState;
        uint32_t state;
    } states[] = {{0, 1}, {2, 3}, {6, 7}, {7, 0}, {100, 0}};
    for (const auto& c : states) {
        machine_->machine().SetValue("/adapters/0/raid/arrays/0/state", sim::Value(c.groupState));
        EXPECT_EQ(Info(first).state, c.state) << c.groupState;
    }
    machine_->machine().SetValue("/adapters/0/raid/arrays/0/write_cache", sim::Value(1));
    EXPECT_EQ(Info(first).writeCache, 2u);
}

TEST_F(ArrayQueries, MissingMemberGivesTheSmallestFreeSpaceOfThePresentMembers) {
    // Disk 1 of array 0 is no longer present.
    Start(
        sim::MachineBuilder::FromFile("states.json").Set("/adapters/0/raid/disks/1/state_flags", R"("0x0")"));
    OpenSession();
    const uint32_t array = Handles().at(0);
    uint64_t smallest = UINT64_MAX;
    bool missing = false;
    uint32_t devices = 32;
    std::vector<uint32_t> deviceHandles(devices);
    ASSERT_EQ(UviGetEndDeviceHandles(session_, deviceHandles.data(), &devices).status, 0u);
    for (uint32_t i = 0; i < devices; ++i) {
        _UVI_EndDeviceInfo device{};
        ASSERT_EQ(UviGetEndDeviceInfo(session_, deviceHandles[i], &device).status, 0u);
        if (device.arrayHandle != array)
            continue;
        missing = missing || device.state == 2;
        if (device.sectorCount != 0)
            smallest = std::min(smallest, (device.sectorCount - device.freeSectorCount) * device.sectorSize);
    }
    ASSERT_TRUE(missing);
    ASSERT_NE(smallest, UINT64_MAX);
    const _UVI_ArrayInfo info = Info(array);
    EXPECT_EQ(info.memberFreeSpace, smallest);
    EXPECT_NE(info.memberFreeSpace, Info(Handles().at(2)).memberFreeSpace);
}

TEST_F(ArrayQueries, HandleListsAndTheirCounts) {
    StartStates();
    OpenSession();
    uint32_t count = 0;
    _UVI_Error e = UviGetArrayHandles(session_, nullptr, &count);
    EXPECT_EQ(e.status, 13u);
    EXPECT_EQ(e.code, 0xA000000Eu);
    EXPECT_EQ(Message(e), "Insufficient handle count passed into get Array handles\n");
    EXPECT_EQ(count, 8u);
    CleanupUviError(e.errorId);

    // All or nothing: a list one short is left as it was.
    std::vector<uint32_t> list(8, 0xEEEEEEEE);
    count = 7;
    e = UviGetArrayHandles(session_, list.data(), &count);
    EXPECT_EQ(e.status, 13u);
    EXPECT_EQ(count, 8u);
    EXPECT_EQ(list, std::vector<uint32_t>(8, 0xEEEEEEEE));
    CleanupUviError(e.errorId);

    count = 1;
    e = UviGetArrayHandles(session_, nullptr, &count);
    EXPECT_EQ(e.code, 0xA0010002u);
    EXPECT_EQ(Message(e), "NULL handleList was passed for a non-zero handleCount");
    CleanupUviError(e.errorId);
    e = UviGetArrayHandles(session_, list.data(), nullptr);
    EXPECT_EQ(e.code, 0xA0000006u);
    CleanupUviError(e.errorId);

    // By controller: the SATA controller's arrays are all of them.
    count = 8;
    std::vector<uint32_t> ofController(8);
    e = UviGetArrayHandlesByControllerHandle(session_, SataController(), ofController.data(), &count);
    EXPECT_EQ(e.status, 0u) << Message(e);
    EXPECT_EQ(ofController, Handles());
}

TEST_F(ArrayQueries, HandlesOfAControllerWithoutArrays) {
    StartStates();
    OpenSession();
    const uint32_t sata = SataController(), nvme = NvmeController();
    const struct {
        const char* what;
        uint32_t controller;
        bool withList;
        uint32_t count;
        uint32_t code;
        const char* message;
        uint32_t countAfter;
    } cases[] = {
        {"no arrays, no list", nvme, false, 0, 0xA0010002, "HandleList cannot be null", 0},
        {"no arrays, a list", nvme, true, 4, kSuccess, "", 0},
        {"no such controller, a list", kUnknownHandle, true, 4, kSuccess, "", 0},
        {"controller handle 0", 0, true, 4, 0xA0010002, "NULL controllerHandle was passed", 4},
        {"too small", sata, true, 3, 0xA000000E, "Insufficient handle count passed into get Array handles\n",
         8},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> list(4, 0xEEEEEEEE);
        uint32_t count = c.count;
        const _UVI_Error e = UviGetArrayHandlesByControllerHandle(session_, c.controller,
                                                                  c.withList ? list.data() : nullptr, &count);
        EXPECT_EQ(e.code, c.code) << c.what;
        EXPECT_EQ(Message(e), c.message) << c.what;
        EXPECT_EQ(count, c.countAfter) << c.what;
        EXPECT_EQ(list, std::vector<uint32_t>(4, 0xEEEEEEEE)) << c.what;
        CleanupUviError(e.errorId);
    }
}

TEST_F(ArrayQueries, RecordsByIndexSucceedOnlyWithTheExactCount) {
    StartStates();
    OpenSession();
    // One record more than there are arrays: all eight filled, then "too small" with the count.
    std::vector<_UVI_ArrayInfo> records(9, Marked<_UVI_ArrayInfo>());
    uint32_t count = 9;
    _UVI_Error e = UviGetIxoArrays(session_, 0, records.data(), &count);
    EXPECT_EQ(e.code, 0xA001000Du);
    EXPECT_EQ(count, 8u);
    const std::vector<uint32_t> handles = Handles();
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(records[i].handle, handles.at(i)) << i;
    EXPECT_TRUE(StillMarked(records[8]));
    CleanupUviError(e.errorId);

    const struct {
        const char* what;
        uint32_t controller;
        uint32_t capacity;
        uint32_t code;
        uint32_t countAfter;
    } cases[] = {
        {"all controllers, one short", 0, 7, 0xA001000D, 8},
        {"SATA controller, one short", SataController(), 7, 0xA001000D, 8},
        {"SATA controller, one more", SataController(), 9, 0xA001000D, 8},
        {"NVMe controller, none", NvmeController(), 0, kSuccess, 0},
        {"no such controller", kUnknownHandle, 8, 0xA0010003, 8},
    };
    for (const auto& c : cases) {
        std::vector<_UVI_ArrayInfo> list(9, Marked<_UVI_ArrayInfo>());
        count = c.capacity;
        e = UviGetIxoArrays(session_, c.controller, list.data(), &count);
        EXPECT_EQ(e.code, c.code) << c.what;
        EXPECT_EQ(count, c.countAfter) << c.what;
        if (c.capacity < c.countAfter || c.code == 0xA0010003) {
            EXPECT_TRUE(StillMarked(list[0])) << c.what;
        }
        CleanupUviError(e.errorId);
    }
    count = kUnknownHandle;
    e = UviGetIxoArrays(0, kUnknownHandle, records.data(), &count);
    EXPECT_EQ(Message(e), "Invalid controller handle: 1048575");
    CleanupUviError(e.errorId);
    count = 2;
    e = UviGetIxoArrays(0, 0, nullptr, &count);
    EXPECT_EQ(e.code, 0xA0010002u);
    EXPECT_EQ(Message(e), "Input buffer can't be null");
    CleanupUviError(e.errorId);
    e = UviGetIxoArrays(0, 0, records.data(), nullptr);
    EXPECT_EQ(e.code, 0xA0000006u);
    CleanupUviError(e.errorId);
}

// A count far beyond the objects there are (a list of 16 GiB, were it taken at its word), in a
// process whose allocator refuses more than 1 GiB: the records there are are filled, then "too
// small" with their count, as for a count of one more.
TEST_F(ArrayQueries, ACollectionsListIsSizedByTheObjectsThereAre) {
    StartStates();
    const char* before = std::getenv("ASAN_OPTIONS");
    const std::string kept = before ? before : "";
    setenv("ASAN_OPTIONS",
           (kept + (kept.empty() ? "" : ":") + "allocator_may_return_null=1:max_allocation_size_mb=1024")
               .c_str(),
           1);
    const moxtest::ChildResult child = moxtest::RunChild({"uvi-collections-beyond"});
    if (before)
        setenv("ASAN_OPTIONS", kept.c_str(), 1);
    else
        unsetenv("ASAN_OPTIONS");
    EXPECT_EQ(child.exitCode, 0) << child.output;
    uint32_t arrays = 0, volumes = 0, disks = 0;
    OpenSession();
    _UVI_Error e = UviGetIxoArrays(session_, 0, nullptr, &arrays);
    CleanupUviError(e.errorId);
    e = UviGetIxoVolumes(session_, 0, nullptr, &volumes);
    CleanupUviError(e.errorId);
    e = UviGetIxoEndDevices(session_, 0, nullptr, &disks);
    CleanupUviError(e.errorId);
    EXPECT_EQ(child.output, "arrays 0XA001000D " + std::to_string(arrays) + "\nvolumes 0XA001000D " +
                                std::to_string(volumes) + "\ndisks 0XA001000D " + std::to_string(disks) +
                                "\n");
}

TEST_F(ArrayQueries, UnknownHandleAndNullRecord) {
    StartStates();
    _UVI_ArrayInfo info = Marked<_UVI_ArrayInfo>();
    _UVI_Error e = UviGetArrayInfo(0, kUnknownHandle, &info);
    EXPECT_EQ(e.code, 0xA0000004u);
    EXPECT_EQ(Message(e), "Invalid Handle passed in internalUviArrayInfo, Received: 1048575");
    EXPECT_TRUE(StillMarked(info));
    CleanupUviError(e.errorId);
    e = UviGetArrayInfo(0, Handles().at(0), nullptr);
    EXPECT_EQ(e.code, 0xA0000006u);
    EXPECT_EQ(Message(e), "UviArrayInfo ArrayInfo cannot be null");
    CleanupUviError(e.errorId);
}

TEST_F(ArrayQueries, JoinedCacheMemoryDriveAndPortsWithoutConnectionAnswer) {
    Start(sim::MachineBuilder::FromFile("pairing.json"));
    OpenSession();
    const std::vector<_UVI_ArrayInfo> records = Indexed(0);
    ASSERT_EQ(records.size(), 2u);
    // The driver's array, whose ports answer no connection kind; the model's array of the joined
    // drive comes after the driver's arrays and is listed by index too.
    EXPECT_STREQ(records[0].name, "Unknown_Array_0000");
    EXPECT_STREQ(records[1].name, "Array_Orvex_Halvex");
    EXPECT_EQ(records[1].numDisks, 2u);
    EXPECT_EQ(records[1].writeCache, 2u);
    EXPECT_EQ(records[0].controllerHandle, records[1].controllerHandle);
    uint32_t count = 2;
    std::vector<_UVI_ArrayInfo> ofController(2);
    const _UVI_Error e = UviGetIxoArrays(session_, records[1].controllerHandle, ofController.data(), &count);
    EXPECT_EQ(e.status, 0u) << Message(e);
    EXPECT_EQ(std::memcmp(ofController.data(), records.data(), sizeof(_UVI_ArrayInfo) * 2), 0);
}

TEST_F(ArrayQueries, NotInitialised) {
    StartStates();
    UviFinalize();
    uint32_t count = 0;
    _UVI_ArrayInfo info{};
    EXPECT_EQ(UviGetArrayHandles(0, nullptr, &count).code, 0xA001000Cu);
    EXPECT_EQ(UviGetArrayHandlesByControllerHandle(0, 1, nullptr, &count).code, 0xA001000Cu);
    EXPECT_EQ(UviGetArrayInfo(0, 1, &info).code, 0xA001000Cu);
    EXPECT_EQ(UviGetIxoArrays(0, 0, &info, &count).code, 0xA001000Cu);
}

} // namespace
