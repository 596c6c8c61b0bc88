// The end-device handles and records through the exported functions: the two-call convention,
// state precedence, usages, Windows values, other vendors' disks and the collections.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/EndDeviceQueries.h"
#include "tests/middleware/api/QueryTestSupport.h"

namespace {

using namespace querytest;

class EndDeviceQueries : public QueryTest {};

TEST_F(EndDeviceQueries, HandlesFollowTheTwoCallConvention) {
    Start();
    uint32_t count = 0;
    _UVI_Error e = UviGetEndDeviceHandles(0, nullptr, &count);
    EXPECT_EQ(e.status, 13u);
    EXPECT_EQ(Message(e), "Buffer to fill the EndDevice handles was too small");
    const uint32_t needed = count;
    EXPECT_EQ(needed, 5u); // four SATA disks and one NVMe disk

    std::vector<uint32_t> list(needed + 1, 0xFFFFFFFF);
    count = needed - 1;
    EXPECT_EQ(UviGetEndDeviceHandles(0, list.data(), &count).status, 13u);
    EXPECT_EQ(count, needed);
    EXPECT_NE(list[needed - 2], 0xFFFFFFFFu);
    EXPECT_EQ(list[needed - 1], 0xFFFFFFFFu);
    for (uint32_t capacity : {needed, needed + 1}) {
        count = capacity;
        EXPECT_EQ(UviGetEndDeviceHandles(0, list.data(), &count).status, 0u);
        EXPECT_EQ(count, needed);
    }
    EXPECT_EQ(list[needed], 0xFFFFFFFFu);

    count = 1;
    e = UviGetEndDeviceHandles(0, nullptr, &count);
    EXPECT_EQ(e.status, 2u);
    EXPECT_EQ(Message(e), "NULL handleList was passed for a non-zero handleCount");
    EXPECT_EQ(count, 1u);

    _UVI_EndDeviceInfo info = Marked<_UVI_EndDeviceInfo>();
    e = UviGetEndDeviceInfo(0, 0xBEEF, &info);
    EXPECT_EQ(e.code, 0xA0000004u);
    EXPECT_EQ(Message(e), "Invalid Handle passed in internalUviGetEndDeviceInfo, Received: 48879");
    EXPECT_TRUE(StillMarked(info));
    EXPECT_EQ(UviGetEndDeviceInfo(0, list[0], nullptr).code, 0xA0000006u);

    ASSERT_EQ(UviFinalize().status, 0u);
    EXPECT_EQ(UviGetEndDeviceHandles(0, nullptr, &count).code, 0xA001000Cu);
    // The other vendors' exports check their pointers before the library's state.
    EXPECT_EQ(UviGetThirdPartyEndDeviceHandles(0, nullptr, nullptr).code, 0xA0000006u);
    EXPECT_EQ(Message(UviGetThirdPartyEndDeviceInfo(0, 1, nullptr)),
              "endDeviceInfo cannot be null in GetThirdPartyEndDeviceInfo");
    ASSERT_EQ(UviInitialize().status, 0u);
}

TEST_F(EndDeviceQueries, RecordsOfMemberSpareAndPassThroughMatchTheMachine) {
    // The cache-memory disk list names no kind for the disks outside the array (a kind 1 there would
    // make them array members, a kind 4 an offline array's).
    Start(sim::MachineBuilder::Default()
              .Set("/adapters/0/raid/disks/0/pairing_type", "0")
              .Set("/adapters/0/raid/disks/1/pairing_type", "0"));
    const auto controllers = ControllerHandles();
    const auto member = EndDeviceBySerial("TS-0077");
    ASSERT_TRUE(member);
    EXPECT_EQ(member->usage, 1u);
    EXPECT_EQ(member->state, 6u);
    EXPECT_EQ(member->controllerHandle, controllers[0]);
    EXPECT_NE(member->arrayHandle, 0u);
    EXPECT_EQ(member->arrayIndex, 0);
    EXPECT_EQ(std::string(member->modelNumber).rfind("Tamsin TS512S3", 0), 0u) << member->modelNumber;
    EXPECT_STREQ(member->raidModelNumber, "Tamsin TS512S3");
    EXPECT_EQ(std::string(member->firmwareRevision).rfind("2B7Q", 0), 0u) << member->firmwareRevision;
    EXPECT_EQ(member->sectorCount, 1000215216u);
    EXPECT_EQ(member->sectorSize, 512u);
    EXPECT_EQ(member->scsiAddress, 0x00000200u);
    EXPECT_EQ(member->solidState, 1);
    EXPECT_EQ(member->busType, 1u);
    EXPECT_EQ(member->ownDriverDisk, 1);
    EXPECT_EQ(member->raidDetailsFilled, 1);
    EXPECT_EQ(member->deviceType, 1u);
    _UVI_ControllerInfo sata = Controller(controllers[0]);
    EXPECT_EQ(member->raidInfoHandle, sata.raidInfoHandle);

    const auto spare = EndDeviceBySerial("ZA1B2C4E");
    ASSERT_TRUE(spare);
    EXPECT_EQ(spare->usage, 4u);
    EXPECT_EQ(spare->arrayHandle, 0u);
    EXPECT_EQ(spare->arrayIndex, -1);
    EXPECT_EQ(spare->physicalSectorSize, 4096u);
    const auto passThrough = EndDeviceBySerial("ZA1B2C3D");
    ASSERT_TRUE(passThrough);
    EXPECT_EQ(passThrough->usage, 2u);
    EXPECT_EQ(passThrough->arrayIndex, -1);
    EXPECT_EQ(passThrough->vezkDiskKind, 0u);
    EXPECT_EQ(passThrough->deviceNumber, 1);
    EXPECT_EQ(passThrough->deviceNumberCopy, 1);

    // The NVMe controller's disk is a pass-through disk in normal state.
    bool sawNvme = false;
    for (const auto& record : EndDevices()) {
        if (record.controllerHandle != controllers[1])
            continue;
        sawNvme = true;
        EXPECT_EQ(record.usage, 2u);
        EXPECT_EQ(record.state, 6u);
        EXPECT_EQ(record.ownNvmeDisk, 1);
        EXPECT_EQ(record.deviceNumber, record.deviceNumberCopy);
    }
    EXPECT_TRUE(sawNvme);
}

TEST_F(EndDeviceQueries, PairingKindsOverrideTheUsage) {
    Start(sim::MachineBuilder::Default().Set("/adapters/0/raid/disks/1/pairing_type", "4"));
    const auto spare = EndDeviceBySerial("ZA1B2C4E");
    ASSERT_TRUE(spare);
    EXPECT_EQ(spare->vezkDiskKind, 4u);
    EXPECT_EQ(spare->usage, 3u);
    const auto passThrough = EndDeviceBySerial("ZA1B2C3D");
    ASSERT_TRUE(passThrough);
    EXPECT_EQ(passThrough->vezkDiskKind, 1u);
    EXPECT_EQ(passThrough->usage, 1u);
}

TEST_F(EndDeviceQueries, StatePrecedenceOfTheRaidFlags) {
    struct Case {
        uint32_t flags;
        uint32_t state;
    };
    const Case cases[] = {
        {0x1000000 | 0x8000 | 0x10, 7},
        {0x8000 | 0x80 | 0x10, 1},
        {0x80 | 0x4 | 0x10, 8},
        {0x4, 2},
        {0x800 | 0x4 | 0x10, 9},
        {0x4 | 0x200 | 0x10, 3},
        {0x200 | 0x10, 4},
        {0x10000 | 0x10, 5},
        {0x10, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        Start(sim::MachineBuilder::Default().Set("/adapters/0/raid/disks/3/state_flags",
                                                 std::to_string(c.flags)));
        const auto record = EndDeviceBySerial("TS-0078");
        ASSERT_TRUE(record);
        EXPECT_EQ(record->state, c.state);
        EXPECT_EQ(record->stateFlags, c.flags);
        EXPECT_EQ(record->smartEvent, (c.flags & 0x200) ? 1 : 0);
        // A failed, locked or missing member is still a member of its array.
        EXPECT_EQ(record->usage, 1u);
        EXPECT_NE(record->arrayHandle, 0u);
        machine_.reset();
        static_cast<void>(UviFinalize());
    }
}

TEST_F(EndDeviceQueries, MissingMembersAreNotListed) {
    // The driver remembers the member (flag 0x2000000); its port is empty.
    Start(sim::MachineBuilder::Default()
              .Set("/adapters/0/raid/disks/3/state_flags", "33554432")
              .Remove("/adapters/0/ports/3"));
    for (const auto& record : EndDevices())
        EXPECT_STRNE(record.raidSerialNumber, "TS-0078");
    EXPECT_EQ(EndDeviceHandles().size(), 4u);
}

TEST_F(EndDeviceQueries, NvmeDiskWithACriticalWarningIsInSmartState) {
    // The NVMe disk behind the second controller.
    Start(sim::MachineBuilder::Default().Set("/disks/2/health", R"({"critical_warning": 4})"));
    const auto controllers = ControllerHandles();
    bool seen = false;
    for (const auto& record : EndDevices()) {
        if (record.controllerHandle != controllers[1])
            continue;
        seen = true;
        EXPECT_EQ(record.state, 4u);
        EXPECT_EQ(record.smartEvent, 1);
    }
    EXPECT_TRUE(seen);
}

TEST_F(EndDeviceQueries, SerialMatchAndOldFirmware) {
    struct Match {
        const char *a, *b;
        bool match;
    };
    const Match matches[] = {
        {"ABC", "ABCDEF", true},
        {"ABCDEFGHIJKLM", "XBCDEFGHIJKLM", false},
        {"AB1234567890CDEF", "1234567890CDXY", true},
        {"AB1234567890CDEF", "X", false}, // a one-character text does not "occur" in every serial
        {"AB1234567890CDEF", "", false},
        {"", "ABC", false},
    };
    for (const Match& m : matches)
        EXPECT_EQ(SerialMatch(m.a, m.b), m.match) << m.a << " / " << m.b;
    EXPECT_EQ(IsOldFirmware("K1234300"), 1);
    EXPECT_EQ(IsOldFirmware("K1234310"), 0);
    EXPECT_EQ(IsOldFirmware("K12343100"), 0);
    EXPECT_EQ(IsOldFirmware("X1234300"), 0);
}

TEST_F(EndDeviceQueries, OtherVendorsDisksAndCollections) {
    Start();
    uint32_t count = 2;
    _UVI_Error e = UviGetThirdPartyEndDeviceHandles(0, nullptr, &count);
    EXPECT_EQ(e.status, 2u);
    EXPECT_EQ(Message(e), "Input buffer can't be null");
    count = 0;
    EXPECT_EQ(UviGetThirdPartyEndDeviceHandles(0, nullptr, &count).code, 0xA001000Du);
    ASSERT_EQ(count, 1u);
    uint32_t handle = 0;
    ASSERT_EQ(UviGetThirdPartyEndDeviceHandles(0, &handle, &count).status, 0u);
    _UVI_ThirdPartyEndDeviceInfo other{};
    e = UviGetThirdPartyEndDeviceInfo(0, handle, &other);
    ASSERT_EQ(e.status, 0u) << Message(e);
    EXPECT_EQ(other.endDeviceHandle, handle);
    EXPECT_EQ(other.state, 6u);
    EXPECT_EQ(other.usage, 2u);
    EXPECT_EQ(other.deviceType, 1u);
    EXPECT_EQ(other.busType, 3u);
    EXPECT_EQ(other.deviceNumber, 3);
    EXPECT_EQ(std::string(other.modelNumber).rfind("Corvan P5 512G", 0), 0u) << other.modelNumber;
    EXPECT_EQ(UviGetThirdPartyEndDeviceInfo(0, 0xBEEF, &other).code, 0xA0000004u);

    // The driver's RAID disk table: the exact count fills every record, one less or one more
    // answers status 13.
    uint32_t records = 0;
    EXPECT_EQ(UviGetIxoEndDevices(0, 0, nullptr, &records).status, 13u);
    ASSERT_GT(records, 0u);
    std::vector<_UVI_EndDeviceInfo> table(records + 1);
    uint32_t exact = records;
    EXPECT_EQ(UviGetIxoEndDevices(0, 0, table.data(), &exact).status, 0u);
    uint32_t more = records + 1;
    EXPECT_EQ(UviGetIxoEndDevices(0, 0, table.data(), &more).status, 13u);
    EXPECT_EQ(more, records);
    EXPECT_NE(table[records - 1].endDeviceHandle, 0u);
    e = UviGetRdpDictEndDevices(0, 0xBEEF, table.data(), &exact);
    EXPECT_EQ(e.code, 0xA0010003u);
    EXPECT_EQ(Message(e), "Invalid controller handle: 48879");
}

TEST_F(EndDeviceQueries, IdentifySummaryAndZeroPowerStatus) {
    Start();
    const auto member = EndDeviceBySerial("TS-0077");
    ASSERT_TRUE(member);
    _UVI_DiskIdentifyData data{};
    _UVI_Error e = UviGetDiskIdentifyData(0, member->endDeviceHandle, &data);
    ASSERT_EQ(e.status, 0u) << Message(e);
    EXPECT_EQ(data.diskHandle, member->endDeviceHandle);
    EXPECT_EQ(data.userAddressableSectors, 1000215216u);
    EXPECT_EQ(data.lba48Supported, 1);

    const auto controllers = ControllerHandles();
    for (const auto& record : EndDevices()) {
        if (record.controllerHandle != controllers[1])
            continue;
        _UVI_DiskIdentifyData none = Marked<_UVI_DiskIdentifyData>();
        e = UviGetDiskIdentifyData(0, record.endDeviceHandle, &none);
        EXPECT_EQ(e.code, 0xA0010010u);
        EXPECT_EQ(Message(e), "Couldn't get IdentifyData");
        EXPECT_EQ(none.diskHandle, 0u);
    }

    _UVI_ZpoddInfo zpodd = Marked<_UVI_ZpoddInfo>();
    ASSERT_EQ(UviGetZpoddInfo(0, member->endDeviceHandle, &zpodd).status, 0u);
    EXPECT_EQ(zpodd.deviceHandle, 0u);
    e = UviGetZpoddInfo(0, 0xBEEF, &zpodd);
    EXPECT_EQ(e.code, 0xA0010002u);
    EXPECT_EQ(Message(e), "Cannot find disk for handle");
}

} // namespace
