// RAID volumes: their records, their handles keyed by name, and the Windows disk each is shown as.
#include <string>

#include "middleware/core/HandleRegistry.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/RecordBytes.h"
#include "middleware/model/VezkPairingInfo.h"
#include "middleware/model/WinDiskList.h"
#include "tests/middleware/model/ModelTestSupport.h"

namespace {

class RaidVolumeTest : public modeltest::ModelTest {
protected:
    RaidVolumeTest() : winDisks_(MakeWinDiskEnumerator()) {
        EXPECT_TRUE(winDisks_.Populate().IsSuccessful());
    }

    // Renames volume 0 and gives it another address word, in the driver's answer only.
    void PatchVolume(const char* nameWords, uint32_t addressWord) {
        Inject(std::string(R"({"kind": "RaidRequest", "match": {"group": 2, "instance": 0},
                               "outcome": {"group_patch": [)") +
               nameWords + R"({"offset": 20, "u32": )" + std::to_string(addressWord) + "}]}}");
    }

    uint32_t VolumeHandle(const char* key) {
        return HandleRegistry::instance().getHandle(HandleKindVolume, key);
    }

    WinDiskList winDisks_;
};

TEST_F(RaidVolumeTest, TakesItsRecordsAndItsWindowsDisk) {
    RaidVolume volume;
    ASSERT_TRUE(volume.Populate(Controller(0), 0, 3, 0, winDisks_).IsSuccessful());
    EXPECT_EQ(volume.getName(), "Volume0");
    EXPECT_EQ(volume.getIndex(), 0u);
    EXPECT_EQ(volume.getControllerHandle(), 3u);
    ASSERT_NE(volume.getDeviceConfig(), nullptr);
    EXPECT_EQ(volume.getScsiAddress(), 0x00070000u);
    EXPECT_EQ(volume.getDeviceConfig()->address, 0x00070000u);
    ASSERT_NE(volume.getDeviceInfo(), nullptr);
    EXPECT_EQ(model::Read32(volume.getDeviceInfo(), 0), 24u);
    EXPECT_EQ(volume.getArrayOrd(), 0);
    EXPECT_EQ(volume.getHandle(), VolumeHandle("Volume_Volume0_458752_0003"));
    ASSERT_NE(volume.getWinDiskInterface(), nullptr);
    EXPECT_EQ(volume.getWinDiskInterface()->getDeviceNumber(), 0u);
}

TEST_F(RaidVolumeTest, ARenamedVolumeGetsANewHandle) {
    PatchVolume(R"({"offset": 4, "u32": 1635017028}, {"offset": 8, "u32": 0},)", 1); // "Data"
    RaidVolume data;
    ASSERT_TRUE(data.Populate(Controller(0), 0, 3, 0, winDisks_).IsSuccessful());
    EXPECT_EQ(data.getName(), "Data");
    EXPECT_EQ(data.getHandle(), VolumeHandle("Volume_Data_0001_0003"));
    ASSERT_NE(data.getWinDiskInterface(), nullptr) << "found by its address";
    EXPECT_EQ(data.getWinDiskInterface()->getSerialNumberString(), "Volume0");

    machine_->faults().Clear();
    PatchVolume(R"({"offset": 4, "u32": 1635017028}, {"offset": 8, "u32": 50},)", 1); // "Data2"
    RaidVolume renamed;
    ASSERT_TRUE(renamed.Populate(Controller(0), 0, 3, 0, winDisks_).IsSuccessful());
    EXPECT_EQ(renamed.getName(), "Data2");
    EXPECT_NE(renamed.getHandle(), data.getHandle());
}

TEST_F(RaidVolumeTest, IsMatchedByNameWhenItsAddressDiffers) {
    Inject(R"({"kind": "RaidRequest", "match": {"group": 13, "instance": 0},
               "outcome": {"group_patch": [{"offset": 20, "u32": 196608}]}})");
    RaidVolume volume;
    ASSERT_TRUE(volume.Populate(Controller(0), 0, 3, 0, winDisks_).IsSuccessful());
    EXPECT_EQ(volume.getScsiAddress(), 0x00030000u);
    ASSERT_NE(volume.getWinDiskInterface(), nullptr);
    EXPECT_EQ(volume.getWinDiskInterface()->getSerialNumberString(), "Volume0");
    EXPECT_EQ(volume.getWinDiskInterface()->getScsiAddress(), 0x00070000u);
}

TEST_F(RaidVolumeTest, EachGroupReadFailsThePopulateWithItsOwnText) {
    struct Row {
        int group;
        uint32_t code;
        const char* debug;
    };
    const Row rows[] = {
        {2, 0x20000001, "Could not get volume group info in RaidVolume::Populate"},
        {10, 0xA003012D, "Could not get device info in RaidVolume::Populate"},
        {13, 0x20000001, "Could not get volume device config info in RaidVolume::Populate"},
    };
    for (const Row& row : rows) {
        machine_->faults().Clear();
        Inject(R"({"kind": "RaidRequest", "match": {"group": )" + std::to_string(row.group) +
               R"(}, "outcome": {"win32_error": 1}})");
        RaidVolume volume;
        CConsolidatedError result = volume.Populate(Controller(0), 0, 3, 0, winDisks_);
        ASSERT_TRUE(result.IsError()) << row.group;
        EXPECT_EQ(result.GetErrorCode(), row.code) << row.group;
        EXPECT_NE(std::string(result.GetDebugInformation()).find(row.debug), std::string::npos) << row.group;
        EXPECT_EQ(volume.getDeviceConfig(), nullptr);
    }
}

TEST_F(RaidVolumeTest, NeedsItsController) {
    RaidVolume volume;
    CConsolidatedError result = volume.Populate(Controller(0), 0, 0, 0, winDisks_);
    EXPECT_EQ(result.GetErrorCode(), 0xA0010010u);
    EXPECT_STREQ(result.GetErrorMessage(), "Controller cannot be null for RaidVolume Populate");

    CConsolidatedError link = volume.setArrayPtr(nullptr);
    EXPECT_EQ(link.GetErrorCode(), 0xA0000006u);
    EXPECT_STREQ(link.GetErrorMessage(), "Invalid parameter passed in to RaidVolume::setArrayPtr");
    auto array = std::make_shared<RaidArray>();
    EXPECT_TRUE(volume.setArrayPtr(array).IsSuccessful());
    EXPECT_EQ(volume.getArray(), array);
}

TEST_F(RaidVolumeTest, TheSyntheticVolumeStandsForTheJoinedDrive) {
    VezkPairingInfo info{};
    model::WriteField<uint32_t>(info.Bytes, pairing_answer::kPairedWord, 1);
    model::WriteField<uint32_t>(info.Bytes, pairing_answer::kPairState, 3);
    model::WriteField<uint64_t>(info.Bytes, pairing_answer::kBlockCount, 0x10000000ull);
    model::WriteField<uint32_t>(info.Bytes, pairing_answer::kBlockSize, 4096);
    model::WriteField<uint32_t>(info.Bytes, pairing_answer::kPhysicalBlockSize, 4096);
    model::WriteField<uint32_t>(info.Bytes, pairing_answer::kVolumeAddress, 0x07070000);
    RaidVolume volume;
    ASSERT_TRUE(volume.populateCacheMemoryVolume(info, 1, 3, 0, winDisks_).IsSuccessful());
    EXPECT_EQ(volume.getName(), "Halvex_Volume");
    EXPECT_EQ(volume.getScsiAddress(), 0x00070000u) << "the controller's port replaces the top byte";
    EXPECT_EQ(volume.getHandle(), VolumeHandle("Volume_Halvex_Volume_117899264_0003"));
    const std::pair<size_t, uint32_t> words[] = {{0, 132},       {20, 0x07070000}, {24, 0}, {28, 4096},
                                                 {32, 0x100000}, {36, 256},        {40, 2}, {84, 1},
                                                 {96, 1},        {116, 4096},      {128, 1}};
    for (const auto& [offset, value] : words)
        EXPECT_EQ(volume.getRecordWord(offset), value) << "volume word " << offset;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(volume.getRecord()) + 44), "Halvex_Volume");
    EXPECT_EQ(model::Read64(volume.getDeviceInfo(), 8), 0x10000000ull);
    EXPECT_EQ(model::Read32(volume.getDeviceInfo(), 4), 512u);
    const uint8_t* config = volume.getDeviceConfig()->record;
    EXPECT_EQ(model::Read32(config, 0), 168u);
    EXPECT_EQ(model::Read32(config, 96), 1u);
    EXPECT_EQ(model::Read32(config, 100), 3u);
    EXPECT_EQ(model::Read32(config, 112), 0x100000u);
    EXPECT_EQ(model::Read32(config, 104), 0u);
    // The volume disk of the default machine sits at 0:7:0:0.
    ASSERT_NE(volume.getWinDiskInterface(), nullptr);
    EXPECT_EQ(volume.getWinDiskInterface()->getDeviceNumber(), 0u);
}

} // namespace
