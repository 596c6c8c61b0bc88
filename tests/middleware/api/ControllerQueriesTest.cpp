// The controller, RAID limit and RAID level queries through the exported functions, on simulated
// machines whose controllers differ in their capability blocks.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "middleware/api/ApiHelpers.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/DictionarySingleton.h"
#include "tests/middleware/api/QueryTestSupport.h"

namespace {

using namespace querytest;

constexpr uint32_t kInsufficientMemory = 0xA000000E;
constexpr uint32_t kBufferTooSmall = 0xA001000D;
constexpr uint32_t kInvalidValue = 0xA0000004;
constexpr uint32_t kNullParameter = 0xA0000006;
constexpr uint32_t kNotInitialized = 0xA001000C;

// The default machine: a SATA RAID controller (port 0), an NVMe controller (port 1) of the vendor's
// driver, and another vendor's NVMe adapter (port 2).
class ControllerQueries : public QueryTest {};

TEST_F(ControllerQueries, HandleListsFollowTheTwoCallConvention) {
    Start();
    uint32_t count = 0;
    _UVI_Error e = UviGetControllerHandles(0, nullptr, &count);
    EXPECT_EQ(e.status, 13u);
    EXPECT_EQ(e.code, kInsufficientMemory);
    EXPECT_EQ(Message(e), "Insufficient handle count passed into get controller handles\n");
    EXPECT_EQ(count, 2u);

    count = 2;
    EXPECT_EQ(UviGetControllerHandles(0, nullptr, &count).status, 0u);
    EXPECT_EQ(count, 2u);

    struct Case {
        uint32_t capacity;
        uint32_t status;
    };
    for (const Case c : {Case{1, 13}, Case{2, 0}, Case{5, 0}}) {
        std::vector<uint32_t> list(5, 0xFFFFFFFF);
        count = c.capacity;
        EXPECT_EQ(UviGetControllerHandles(0, list.data(), &count).status, c.status) << c.capacity;
        EXPECT_EQ(count, 2u);
        if (c.status == 0) {
            EXPECT_NE(list[0], list[1]);
            EXPECT_NE(list[1], 0xFFFFFFFFu);
            EXPECT_EQ(list[2], 0xFFFFFFFFu);
        }
    }

    // Other vendors' controllers: one on this machine.
    count = 1;
    e = UviGetThirdPartyControllerHandles(0, nullptr, &count);
    EXPECT_EQ(e.status, 2u);
    EXPECT_EQ(Message(e), "Input buffer can't be null");
    EXPECT_EQ(count, 1u);
    count = 0;
    e = UviGetThirdPartyControllerHandles(0, nullptr, &count);
    EXPECT_EQ(e.status, 13u);
    EXPECT_EQ(e.code, kBufferTooSmall);
    EXPECT_EQ(count, 1u);
    uint32_t handle = 0;
    EXPECT_EQ(UviGetThirdPartyControllerHandles(0, &handle, &count).status, 0u);
    EXPECT_NE(handle, 0u);

    // RAID information handles, one per own-driver controller.
    count = 2;
    e = UviGetRaidInfoHandles(0, nullptr, &count);
    EXPECT_EQ(e.status, 13u);
    EXPECT_EQ(count, 2u);
    count = 1;
    uint32_t raidInfo[2] = {};
    e = UviGetRaidInfoHandles(0, raidInfo, &count);
    EXPECT_EQ(e.status, 13u);
    EXPECT_EQ(Message(e), "Insufficient handle count passed into get raid handles\n");
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(UviGetRaidInfoHandles(0, raidInfo, &count).status, 0u);
    const auto controllers = ControllerHandles();
    EXPECT_EQ(raidInfo[0], RaidInfoHandle(controllers[0]));
    EXPECT_EQ(raidInfo[1], RaidInfoHandle(controllers[1]));
}

TEST_F(ControllerQueries, NullPointersUnknownHandlesAndAStoppedLibrary) {
    Start();
    _UVI_ControllerInfo info = Marked<_UVI_ControllerInfo>();
    _UVI_Error e = UviGetControllerInfo(0, 0xBEEF, &info);
    EXPECT_EQ(e.status, 2u);
    EXPECT_EQ(e.code, kInvalidValue);
    EXPECT_EQ(Message(e), "Invalid Handle passed in internalUviGetControllerInfo, Received: 48879");
    EXPECT_TRUE(StillMarked(info));

    _UVI_ThirdPartyControllerInfo other = Marked<_UVI_ThirdPartyControllerInfo>();
    e = UviGetThirdPartyControllerInfo(0, 0, &other);
    EXPECT_EQ(e.code, kInvalidValue);
    EXPECT_EQ(Message(e), "Can't find controller with handle [0] in GetThirdPartyControllerInfo");
    EXPECT_TRUE(StillMarked(other));

    _UVI_RaidInfo raidInfo = Marked<_UVI_RaidInfo>();
    e = UviGetRaidInfo(0, 0xBEEF, &raidInfo);
    EXPECT_EQ(Message(e), "Invalid Handle passed in internalUviRaidInfo, Received: 48879");
    _UVI_RaidLevelInfo level = Marked<_UVI_RaidLevelInfo>();
    e = UviGetRaidLevelInfo(0, 0xBEEF, 1, &level);
    EXPECT_EQ(e.code, kInvalidValue);
    EXPECT_EQ(Message(e), "Invalid Handle passed in internalUviGetRaidLevelInfo, Received: 48879");
    EXPECT_TRUE(StillMarked(level));

    // The pointers are checked before anything else, also on the own-driver twins. A thread keeps
    // the texts of its last failure only, so each is read at once.
    auto expectNull = [](const _UVI_Error& e, const char* message) {
        EXPECT_EQ(e.code, kNullParameter) << message;
        EXPECT_EQ(e.status, 2u);
        EXPECT_EQ(Message(e), message);
    };
    expectNull(UviGetControllerHandles(0, nullptr, nullptr),
               "handleCount cannot be null in GetControllerHandles");
    expectNull(UviGetControllerInfo(0, 0, nullptr), "controllerInfo cannot be null in GetControllerInfo");
    expectNull(UviGetThirdPartyControllerHandles(0, nullptr, nullptr),
               "handleCount cannot be null in GetThirdPartyControllerHandles");
    expectNull(UviGetThirdPartyControllerInfo(0, 0, nullptr),
               "controllerInfo cannot be null in GetThirdPartyControllerInfo");

    ASSERT_EQ(UviFinalize().status, 0u);
    uint32_t count = 0;
    EXPECT_EQ(UviGetControllerHandles(0, nullptr, &count).code, kNotInitialized);
    EXPECT_EQ(UviGetControllerInfo(0, 0, &info).code, kNotInitialized);
    EXPECT_EQ(UviGetRaidInfoHandles(0, nullptr, &count).code, kNotInitialized);
    EXPECT_EQ(UviGetRaidLevelInfo(0, 1, 1, &level).code, kNotInitialized);
    EXPECT_EQ(UviGetThirdPartyControllerInfo(0, 1, nullptr).code, kNullParameter);
    ASSERT_EQ(UviInitialize().status, 0u);
}

TEST_F(ControllerQueries, SataControllerRecordMatchesTheMachine) {
    Start();
    const auto handles = ControllerHandles();
    ASSERT_EQ(handles.size(), 2u);
    const _UVI_ControllerInfo r = Controller(handles[0]);
    EXPECT_EQ(r.controllerHandle, handles[0]);
    EXPECT_EQ(r.portNumber, 0);
    EXPECT_EQ(r.type, 1u);
    const std::string name = r.name;
    EXPECT_EQ(name.substr(name.size() - 8), " \\\\Scsi0") << name;
    EXPECT_EQ(r.raidInfoHandle, RaidInfoHandle(handles[0]));
    EXPECT_STREQ(r.driverVersion, "20.1.0.1007");
    EXPECT_STREQ(r.optionRomVersion, "20.1.0.5");
    EXPECT_EQ(r.driverVersionNumbers[3], 1007u);
    EXPECT_EQ(r.optionRomVersionNumbers[3], 5u);
    EXPECT_EQ(r.vendorId, 0x1F4A);
    EXPECT_EQ(r.deviceId, 0x2826);
    EXPECT_EQ(r.portCount, 4u);
    // Limits of the capability blocks (8 disks, 2 volumes per array, 4 per controller).
    EXPECT_EQ(r.maxDisksTotal, 8u);
    EXPECT_EQ(r.maxDisksPerArray, 8u);
    EXPECT_EQ(r.maxVolumesPerArray, 2u);
    EXPECT_EQ(r.maxVolumesPerController, 4u);
    EXPECT_EQ(r.constantThree, 3u);
    EXPECT_EQ(r.volumeCount, 1u);
    EXPECT_EQ(r.arrayCount, 1u);
    EXPECT_EQ(r.raidSupported, 1);
    EXPECT_EQ(r.stripSizeMask, 0x7Eu);
    // RAID 0, 1, 10 and 5 from the level bits 0x17, single-disk RAID 0 from bit 25 of word A.
    EXPECT_EQ(r.raidLevelMask & ~uint64_t{0x20}, 0x4000Fu);
    // Capability word A 0x2600000F in both blocks: bits 0 to 3, 25, 26 and 29.
    const uint8_t* f = r.capabilities;
    for (int offset : {424, 428, 429, 436, 437, 441, 443, 444, 445, 439, 440, 449, 470, 471, 472, 473})
        EXPECT_EQ(f[offset - 424], 1) << offset;
    for (int offset : {425, 426, 427, 430, 431, 432, 438, 442, 446, 447, 448, 451, 455, 474, 475, 488, 489})
        EXPECT_EQ(f[offset - 424], 0) << offset;
    // Strip bits 1 to 6 of 0x7E: 4 KB to 128 KB.
    for (int bit = 1; bit <= 12; ++bit)
        EXPECT_EQ(f[476 + bit - 1 - 424], bit <= 6 ? 1 : 0) << bit;
    uint64_t packed = 0;
    for (int i = 0; i <= 5; ++i)
        packed |= uint64_t{f[i] == 1} << i;
    for (int offset = 430; offset <= 450; ++offset)
        packed |= uint64_t{f[offset - 424] == 1} << (7 + offset - 430);
    packed |= uint64_t{f[488 - 424] == 1} << 29 | uint64_t{f[489 - 424] == 1} << 30;
    EXPECT_EQ(r.capabilityMask, packed);
    EXPECT_EQ(r.capabilityMask & (uint64_t{1} << 28 | uint64_t{1} << 6), 0u);
}

TEST_F(ControllerQueries, NvmeControllerHasNoAhciPartAndNoRaid) {
    Start();
    const auto handles = ControllerHandles();
    const _UVI_ControllerInfo r = Controller(handles[1]);
    EXPECT_EQ(r.type, 3u);
    EXPECT_EQ(r.portNumber, 1);
    EXPECT_EQ(r.ahciCommandSlots, 0u);
    EXPECT_EQ(r.ahciPortsImplemented, 0u);
    EXPECT_EQ(r.csmiBoardId, 0u);
    for (int offset = 457; offset <= 469; ++offset)
        EXPECT_EQ(r.capabilities[offset - 424], 0) << offset;

    _UVI_RaidInfo raidInfo = Marked<_UVI_RaidInfo>();
    ASSERT_EQ(UviGetRaidInfo(0, r.raidInfoHandle, &raidInfo).status, 0u);
    EXPECT_EQ(raidInfo.raidInfoHandle, r.raidInfoHandle);
    EXPECT_EQ(raidInfo.raidSupported, 0);
    EXPECT_EQ(raidInfo.maxDisksPerArray, 0u);
    EXPECT_EQ(raidInfo.maxVolumesPerController, 0u);

    // An NVMe controller's RAID level record is left as it was.
    _UVI_RaidLevelInfo level = Marked<_UVI_RaidLevelInfo>();
    EXPECT_EQ(UviGetRaidLevelInfo(0, r.raidInfoHandle, 1, &level).status, 0u);
    EXPECT_TRUE(StillMarked(level));
}

TEST_F(ControllerQueries, OptionRomBlockNarrowsTheDriverBlock) {
    // The option ROM lacks bit 26 of word A and RAID 1, reports fewer disks in total than per array
    // (so its disk limits are ignored) and 6-disk arrays are the driver's limit.
    Start(sim::MachineBuilder::Default()
              .Set("/adapters/0/raid/controller/disks_per_array", "6")
              .Set("/adapters/0/raid/controller/capability_c", "18472")
              .Set("/adapters/0/raid/controller/orom",
                   R"({"capability_a": 570425359, "raid_levels": 21, "disks_per_array": 4, "disks_total": 2,
                       "strip_mask": 62, "capability_c": 18472, "volumes_per_array": 1})"));
    const auto handles = ControllerHandles();
    const _UVI_ControllerInfo r = Controller(handles[0]);
    EXPECT_EQ(r.capabilities[439 - 424], 0);
    EXPECT_EQ(r.capabilities[449 - 424], 1);
    EXPECT_EQ(r.raidLevelMask & 0x2u, 0u);
    EXPECT_EQ(r.maxDisksPerArray, 6u);
    EXPECT_EQ(r.maxDisksTotal, 8u);
    EXPECT_EQ(r.maxVolumesPerArray, 1u);
    EXPECT_EQ(r.stripSizeMask, 0x3Eu);
    // Word C bits 3, 5, 11 and 14 in both blocks.
    EXPECT_EQ(r.capabilities[452 - 424], 1);
    EXPECT_EQ(r.capabilities[448 - 424], 1);
    EXPECT_EQ(r.capabilities[450 - 424], 1);
    EXPECT_EQ(r.capabilities[488 - 424], 1);
    EXPECT_NE(r.capabilityMask & (uint64_t{1} << 29), 0u);

    struct Case {
        uint32_t level;
        uint32_t supported, minDisks, maxDisks, migration, strip;
    };
    const Case cases[] = {
        {0x8, 1, 3, 6, 0x8, 0x38}, // RAID 5: max lowered to 6, strips 0x78 & 0x3E
        {0x2, 0, 0, 0, 0, 0},      // RAID 1: the option ROM lacks it
        {0x3, 0, 0, 0, 0, 0},      // two bits: no row
        {0x1, 1, 2, 6, 0x9 & 0x4000F, 0x3E},
        {0x40000, 1, 1, 1, 0, 0x3E},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        _UVI_RaidLevelInfo info = Marked<_UVI_RaidLevelInfo>();
        ASSERT_EQ(UviGetRaidLevelInfo(0, r.raidInfoHandle, c.level, &info).status, 0u);
        EXPECT_EQ(info.supported, c.supported);
        EXPECT_EQ(info.minDisks, c.minDisks);
        EXPECT_EQ(info.maxDisks, c.maxDisks);
        EXPECT_EQ(info.migrationMask, c.migration);
        EXPECT_EQ(info.stripMask, c.strip);
    }
    _UVI_RaidLevelInfo raid5{};
    ASSERT_EQ(UviGetRaidLevelInfo(0, r.raidInfoHandle, 0x8, &raid5).status, 0u);
    EXPECT_EQ(raid5.redundancy, 2u);
    EXPECT_EQ(raid5.copies, 1u);
    EXPECT_EQ(raid5.redundantFlag, 1);
    EXPECT_EQ(raid5.stripValues1[2], 64u);
    EXPECT_EQ(raid5.stripValues2[5], 16u);
    EXPECT_EQ(raid5.secondMask, 0u);

    _UVI_RaidInfo limits{};
    ASSERT_EQ(UviGetRaidInfo(0, r.raidInfoHandle, &limits).status, 0u);
    EXPECT_EQ(limits.raidSupported, 1);
    EXPECT_EQ(limits.byte22, 1);
    EXPECT_EQ(limits.byte23, 1);
    EXPECT_EQ(limits.maxDisksPerArray, 6u);
}

TEST_F(ControllerQueries, FeaturesTableAndBothBlocksGiveTheirOwnBytes) {
    // Byte 491 reads the features table alone; byte 492 and flag 432 need both the option ROM's and
    // the driver's block. Without blocks of their own, the option ROM and the features table repeat
    // the driver's.
    struct Case {
        const char* pointer;
        const char* value;
        uint8_t flag432, byte491, byte492;
    };
    const Case cases[] = {
        {"/adapters/0/raid/controller/features", R"({"capability_c": 64})", 0, 1, 0},
        {"/adapters/0/raid/controller/capability_c", "64", 0, 1, 0},
        {"/adapters/0/raid/controller/capability_b", "9", 1, 0, 1},
        {"/adapters/0/raid/controller/orom", R"({"capability_b": 9})", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pointer);
        // Each machine's controller table is read anew.
        DeviceLocator::ResetForTests();
        CDictionarySingleton::Release();
        Start(sim::MachineBuilder::Default().Set(c.pointer, c.value));
        const _UVI_ControllerInfo r = Controller(ControllerHandles()[0]);
        EXPECT_EQ(r.capabilities[432 - 424], c.flag432);
        EXPECT_EQ(r.featuresTableBit6OfC, c.byte491);
        EXPECT_EQ(r.capabilityBit3OfB, c.byte492);
        EXPECT_EQ((r.capabilityMask >> 9) & 1u, c.flag432); // flag 432 is bit 9 of the packed mask
        machine_.reset();
        static_cast<void>(UviFinalize());
    }
}

TEST_F(ControllerQueries, DefaultControllerIsTheRemappingOneAndOtherVendorsRecords) {
    Start(sim::MachineBuilder::FromFile("controllers.json"));
    _UVI_ControllerInfo r{};
    const _UVI_Error e = UviGetControllerInfo(0, 0, &r);
    ASSERT_EQ(e.status, 0u) << Message(e);
    EXPECT_EQ(r.type, 4u);

    uint32_t count = 8;
    std::vector<uint32_t> handles(count);
    ASSERT_EQ(UviGetThirdPartyControllerHandles(0, handles.data(), &count).status, 0u);
    ASSERT_GT(count, 0u);
    _UVI_ThirdPartyControllerInfo other = Marked<_UVI_ThirdPartyControllerInfo>();
    ASSERT_EQ(UviGetThirdPartyControllerInfo(0, handles[0], &other).status, 0u);
    EXPECT_EQ(other.controllerHandle, handles[0]);
    for (size_t i = 0; i + 1 < sizeof other.capabilities; ++i)
        EXPECT_EQ(other.capabilities[i], 0) << i;
    EXPECT_EQ(other.capabilityMask, other.capabilities[65] == 1 ? uint64_t{1} << 30 : 0u);
    EXPECT_EQ(other.reserved326[0], 0);
}

} // namespace
