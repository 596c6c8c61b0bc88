// The driver's RAID records of disks and arrays as the model keeps them, and the model's names of
// bus types and RAID levels.
#include <cstring>
#include <memory>
#include <string>

#include "middleware/core/HandleRegistry.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidDiskConfig.h"
#include "middleware/model/TopologyTexts.h"
#include "middleware/model/VezkPairingInfo.h"
#include "tests/middleware/model/ModelTestSupport.h"

namespace {

using modeltest::ModelTest;

TEST(TopologyTexts, BusTypesAndRaidLevelsHaveTheirNames) {
    const std::pair<uint32_t, const char*> buses[] = {
        {0, "None"},          {1, "Unsupported"},           {2, "SATA"}, {3, "PCIe"}, {4, "NVMe"},
        {5, "Invalid value"}, {0xFFFFFFFF, "Invalid value"}};
    for (const auto& [code, name] : buses)
        EXPECT_EQ(BusTypeToString(code), name) << code;
    const std::pair<uint32_t, const char*> levels[] = {
        {0, "Invalid"},       {0x1, "Raid 0"},       {0x2, "Raid 1"},
        {0x4, "Raid 10"},     {0x8, "Raid 5"},       {0x10, "Raid 6"},
        {0x20, ""},           {0x40000, ""},         {0x1000, "Raid Kvqr"},
        {0x2000, "Raid 1E"},  {0x4000, "Raid 3"},    {0x8000, "Raid 30"},
        {0x10000, "Raid 50"}, {0x20000, "Raid 60"},  {0x80000000, "Unknown"},
        {3, "Unidentified"},  {0x40, "Unidentified"}};
    for (const auto& [level, name] : levels)
        EXPECT_EQ(RaidLevelName(level), name) << std::hex << level;
}

// A disk group record with the given texts at their places.
std::unique_ptr<uint8_t[]> DiskRecord(const char* serial, const char* model, const char* firmware) {
    auto r = std::make_unique<uint8_t[]>(192);
    std::memset(r.get(), 0, 192);
    std::memcpy(r.get() + 0x04, serial, strnlen(serial, 16));
    std::memcpy(r.get() + 0x48, firmware, strnlen(firmware, 16));
    std::memcpy(r.get() + 0x58, model, strnlen(model, 16));
    return r;
}

TEST(RaidDiskConfigText, CopiesFollowTheSeventeenByteRule) {
    const auto record = DiskRecord("0123456789ABCDEF", "Short", "");
    RaidDiskConfig config;
    config.SetFromRecord(record.get(), 3, 0);
    char buffer[32];
    struct Row {
        uint32_t (RaidDiskConfig::*copy)(char*, uint32_t) const;
        const char* text;
    };
    const Row rows[] = {{&RaidDiskConfig::copySerialNumber, "0123456789ABCDEF"},
                        {&RaidDiskConfig::copyModelNumber, "Short"},
                        {&RaidDiskConfig::copyFirmwareRevision, ""}};
    for (const Row& row : rows) {
        const uint32_t length = static_cast<uint32_t>(std::strlen(row.text));
        EXPECT_EQ((config.*row.copy)(nullptr, 0), 17u) << row.text;
        std::memset(buffer, 'x', sizeof(buffer));
        EXPECT_EQ((config.*row.copy)(buffer, length), 0u) << "no room for the terminator: " << row.text;
        EXPECT_EQ(buffer[0], 'x') << "a refused copy writes nothing";
        EXPECT_EQ((config.*row.copy)(buffer, length + 1), length + 1) << row.text;
        EXPECT_STREQ(buffer, row.text);
    }
    EXPECT_EQ(config.copySerialNumber(buffer, 16), 0u);
    EXPECT_EQ(config.copySerialNumber(buffer, 17), 17u);
}

TEST(RaidDiskConfigArrays, EmptyPointersAreRefusedAndLinksAnswerByIndexAndHandle) {
    RaidDiskConfig config;
    EXPECT_EQ(config.getPackedAddress(), 0xFFFFFFFFu);
    EXPECT_EQ(config.getArrayOrd(), -1);
    EXPECT_EQ(config.getArrayIndex(), -1);
    EXPECT_EQ(config.getArrayHandle(), 0u);
    EXPECT_FALSE(config.isMemberOfArrayIndex(-1));

    CConsolidatedError set = config.setArray(nullptr);
    EXPECT_EQ(set.GetErrorCode(), 0xA0000006u);
    EXPECT_STREQ(set.GetDebugInformation(), "Set array pointer - null value provided");
    set = config.setOriginalArray(nullptr);
    EXPECT_EQ(set.GetErrorCode(), 0xA0000006u);
    EXPECT_STREQ(set.GetDebugInformation(), "Set original array pointer - null value provided");

    VezkPairingInfo info{};
    model::WriteField<uint32_t>(info.Bytes, pairing_answer::kPairedWord, 1);
    auto synthetic = std::make_shared<RaidArray>();
    ASSERT_TRUE(synthetic->populateCacheMemoryArray(info, 4, 77).IsSuccessful());
    auto unpopulated = std::make_shared<RaidArray>(); // index -1, handle 0xFFFFFFFF
    EXPECT_TRUE(config.setArray(synthetic).IsSuccessful());
    EXPECT_TRUE(config.setOriginalArray(unpopulated).IsSuccessful());
    EXPECT_EQ(config.getArrayIndex(), 4);
    EXPECT_TRUE(config.isMemberOfArrayIndex(4));
    EXPECT_TRUE(config.isMemberOfArray(synthetic->getHandle()));
    EXPECT_TRUE(config.isSyntheticArrayMember());
    EXPECT_EQ(config.getOriginalArrayIndex(), -1);
    EXPECT_FALSE(config.wasMemberOfArrayIndex(-1)) << "index -1 is never a membership";
    EXPECT_FALSE(config.isMemberOfArray(0));
}

using RaidDiskConfigRead = ModelTest;

TEST_F(RaidDiskConfigRead, TakesTheDriversDiskRecord) {
    RaidDiskConfig config;
    ASSERT_TRUE(config.Populate(Controller(0), 2, 9, 0).IsSuccessful());
    char text[17];
    ASSERT_EQ(config.copySerialNumber(text, sizeof(text)), 8u);
    EXPECT_STREQ(text, "TS-0077");
    config.copyModelNumber(text, sizeof(text));
    EXPECT_STREQ(text, "Tamsin TS512S3");
    config.copyFirmwareRevision(text, sizeof(text));
    EXPECT_STREQ(text, "2B7Q");
    EXPECT_EQ(config.getDiskIndex(), 2u);
    EXPECT_EQ(config.getControllerHandle(), 9u);
    EXPECT_EQ(config.getPackedAddress(), 0x00000200u);
    EXPECT_FALSE(config.isNotPresent());
    EXPECT_FALSE(config.isMissing());
    EXPECT_TRUE(config.isSolidState());
    EXPECT_EQ(config.getUsageCode(), 0u);
    EXPECT_EQ(config.getArrayOrd(), 0);
    EXPECT_EQ(config.getSectorSize(), 512u);
    EXPECT_EQ(config.getMetadataSectors(), 4096u);

    RaidDiskConfig spare;
    ASSERT_TRUE(spare.Populate(Controller(0), 1, 9, 0).IsSuccessful());
    EXPECT_EQ(spare.getUsageCode(), RaidDiskConfig::kUsageSpare);
    EXPECT_FALSE(spare.isSolidState());
    EXPECT_EQ(spare.getArrayOrd(), -1);
}

TEST_F(RaidDiskConfigRead, AFailedReadKeepsTheFieldsAndSaysWhere) {
    Inject(
        R"({"kind": "RaidRequest", "match": {"group": 3, "instance": 2}, "outcome": {"win32_error": 31}})");
    RaidDiskConfig config;
    CConsolidatedError result = config.Populate(Controller(0), 2, 9, 0);
    ASSERT_TRUE(result.IsError());
    EXPECT_NE(std::string(result.GetDebugInformation())
                  .find("Could not get raidDiskGroup in RaidDiskConfig::Populate"),
              std::string::npos);
    EXPECT_EQ(config.getPackedAddress(), 0xFFFFFFFFu);
    EXPECT_EQ(config.getDiskIndex(), 2u);
}

using RaidArrayRead = ModelTest;

TEST_F(RaidArrayRead, KeysAreMadeOfControllerHandleAndArrayNumber) {
    RaidArray array;
    ASSERT_TRUE(array.Populate(Controller(0), 0, 3).IsSuccessful());
    ASSERT_NE(array.getRecord(), nullptr);
    EXPECT_EQ(array.getIndex(), 0);
    EXPECT_EQ(array.getControllerHandle(), 3u);
    EXPECT_EQ(array.getRecordWord(RaidArray::kNumDisks), 2u);
    EXPECT_EQ(array.getHandle(), HandleRegistry::instance().getHandle(HandleKindArray, "Array_0003_0000"));
    EXPECT_FALSE(array.isSynthetic());

    RaidArray wide;
    ASSERT_TRUE(wide.Populate(Controller(0), 0, 12345).IsSuccessful());
    EXPECT_EQ(wide.getHandle(), HandleRegistry::instance().getHandle(HandleKindArray, "Array_12345_0000"));
}

TEST_F(RaidArrayRead, ArrayNumberSevenOnControllerThree) {
    Inject(R"({"kind": "RaidRequest", "match": {"group": 5, "instance": 0},
               "outcome": {"group_patch": [{"offset": 44, "u32": 7}]}})");
    RaidArray array;
    ASSERT_TRUE(array.Populate(Controller(0), 0, 3).IsSuccessful());
    EXPECT_EQ(array.getHandle(), HandleRegistry::instance().getHandle(HandleKindArray, "Array_0003_0007"));
}

TEST_F(RaidArrayRead, AFailedReadSaysWhere) {
    Inject(R"({"kind": "RaidRequest", "match": {"group": 5}, "outcome": {"win32_error": 170}})");
    RaidArray array;
    CConsolidatedError result = array.Populate(Controller(0), 0, 3);
    ASSERT_TRUE(result.IsError());
    EXPECT_NE(std::string(result.GetDebugInformation())
                  .find("Could not get array group info in RaidArray::Populate"),
              std::string::npos);
    EXPECT_EQ(array.getRecord(), nullptr);
    EXPECT_EQ(array.getHandle(), 0xFFFFFFFFu);
}

TEST(RaidArraySynthetic, StandsForTheJoinedCacheMemoryDrive) {
    struct Row {
        uint32_t state;
        uint32_t word20;
    };
    for (const Row row : {Row{2, 2}, Row{3, 1}, Row{1, 0}}) {
        VezkPairingInfo info{};
        model::WriteField<uint32_t>(info.Bytes, pairing_answer::kPairedWord, 1);
        model::WriteField<uint32_t>(info.Bytes, pairing_answer::kPairState, row.state);
        model::WriteField<uint64_t>(info.Bytes, pairing_answer::kBlockCount, 0x300000000ull);
        model::WriteField<uint32_t>(info.Bytes, pairing_answer::kBlockSize, 512);
        RaidArray array;
        EXPECT_TRUE(array.populateCacheMemoryArray(info, 2, 5).IsSuccessful());
        ASSERT_NE(array.getRecord(), nullptr);
        EXPECT_TRUE(array.isSynthetic());
        EXPECT_EQ(array.getIndex(), 2);
        const uint32_t expected[12] = {48, 0, 2, 1, 0, row.word20, 0x600000, 0, 1, 0, 0, 0xFFFFFFFE};
        for (size_t i = 0; i < 12; ++i)
            EXPECT_EQ(array.getRecordWord(i * 4), expected[i]) << "word at " << i * 4;
        EXPECT_EQ(array.getHandle(),
                  HandleRegistry::instance().getHandle(HandleKindArray, "Array_Orvex_Halvex_5"));
    }
    RaidArray disabled;
    EXPECT_TRUE(disabled.populateCacheMemoryArray(VezkPairingInfo{}, 1, 5).IsSuccessful());
    EXPECT_TRUE(disabled.isSynthetic());
    EXPECT_EQ(disabled.getIndex(), 1);
    EXPECT_EQ(disabled.getRecord(), nullptr);
}

} // namespace
