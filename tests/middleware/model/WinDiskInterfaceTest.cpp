#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "middleware/ioctl/PackedScsiAddress.h"
#include "middleware/model/WinDiskInterface.h"
#include "sim/Machine.h"
#include "tests/middleware/model/WinDiskTestMachine.h"

namespace {

using windisktest::DrivePath;

class WinDiskView : public ::testing::Test {
protected:
    explicit WinDiskView(const sim::MachineBuilder& builder = windisktest::Machine()) : machine_(builder) {}

    WinDiskInterface Populated(int number, KEDO2_ERRORS expected = CConsolidatedError::SUCCESS) {
        WinDiskInterface disk(DrivePath(number));
        CConsolidatedError result = disk.Populate();
        EXPECT_EQ(result.GetErrorCode(), expected) << result.GetDebugInformation();
        return disk;
    }

    // The input of the last device control request with this code.
    std::vector<uint8_t> LastInput(uint32_t code) {
        std::vector<uint8_t> input;
        for (const sim::Call& c : machine_->calls().Of("DeviceIoControl"))
            if (c.selectors.value("code", 0u) == code)
                input = c.input;
        return input;
    }
    size_t Requests(uint32_t code) {
        size_t n = 0;
        for (const sim::Call& c : machine_->calls().Of("DeviceIoControl"))
            n += c.selectors.value("code", 0u) == code;
        return n;
    }

    sim::ScopedMachine machine_;
};

TEST_F(WinDiskView, GptDiskWithEfiSystemPartitionListsEveryEntryAsGpt) {
    WinDiskInterface disk = Populated(0);
    EXPECT_TRUE(disk.hasEfiSystemPartition());
    EXPECT_FALSE(disk.hasDynamicDiskPartitions());
    EXPECT_TRUE(disk.hasPartitions());
    EXPECT_EQ(disk.getDriveLayoutInfo().PartitionStyle, PARTITION_STYLE_GPT);
    auto list = disk.getPartitionInfos();
    ASSERT_EQ(list.size(), 3u);
    const uint64_t lengths[] = {104857600, 16777216, 2000000000000};
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i]->kind, PartitionInfos::kGpt);
        EXPECT_EQ(list[i]->partitionStyle, 1u);
        EXPECT_EQ(list[i]->partitionType, 0xFFFFFFFFu);
        EXPECT_EQ(list[i]->partitionNumber, i + 1);
        EXPECT_EQ(list[i]->length, lengths[i]);
        EXPECT_EQ(list[i]->diskNumber, 0u);
    }
    // Each call hands out copies of its own.
    list[0]->length = 1;
    EXPECT_EQ(disk.getPartitionInfos()[0]->length, lengths[0]);
    // No sector is read for a GPT disk.
    EXPECT_EQ(machine_->calls().Count("ReadFile"), 0u);
}

TEST_F(WinDiskView, IdentityCapacityAndCacheOfTheDisk) {
    WinDiskInterface disk = Populated(0);
    EXPECT_EQ(disk.getDevicePath(), DrivePath(0));
    EXPECT_EQ(disk.getScsiAddress(), PackScsiAddress(0, 0, 1, 0));
    ASSERT_NE(disk.getSerialNumber(), nullptr);
    EXPECT_STREQ(disk.getSerialNumber(), "ZA1B2C3D");
    EXPECT_EQ(disk.getDeviceNumber(), 0u);
    EXPECT_EQ(disk.getStorageDeviceNumber().DeviceType, 7u);
    EXPECT_EQ(disk.getBusType(), BusTypeSata);
    EXPECT_EQ(disk.getBlockLength(), 512u);
    EXPECT_EQ(disk.getNumberOfBlocks(), 3907029168u);
    EXPECT_EQ(disk.getDiskLength(), 3907029168ull * 512);
    EXPECT_EQ(disk.getLogicalSectorSize(), 512u);
    EXPECT_EQ(disk.getPhysicalSectorSize(), 4096u);
    DISK_CACHE_SETTING setting{};
    EXPECT_TRUE(disk.getCachePolicy(setting));
    EXPECT_EQ(setting.IsPowerProtected, 1);
    DISK_CACHE_INFORMATION information{};
    EXPECT_TRUE(disk.getCacheInformation(information));
    EXPECT_EQ(information.WriteCacheEnabled, 1);
    bool seekPenalty = false;
    EXPECT_TRUE(disk.getSeekPenalty(seekPenalty));
    EXPECT_TRUE(seekPenalty);
}

TEST_F(WinDiskView, MbrDiskKeepsTheTableIndexesOfItsUsedEntries) {
    WinDiskInterface disk = Populated(1);
    auto list = disk.getPartitionInfos();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->partitionNumber, 0u);
    EXPECT_EQ(list[0]->kind, PartitionInfos::kMbrActive);
    EXPECT_EQ(list[0]->partitionType, 7u);
    EXPECT_EQ(list[0]->length, 524288000u);
    EXPECT_EQ(list[1]->partitionNumber, 2u);
    EXPECT_EQ(list[1]->kind, PartitionInfos::kMbrInactive);
    EXPECT_EQ(list[1]->partitionType, 12u);
    EXPECT_EQ(list[1]->length, 1048576000u);
    EXPECT_EQ(list[1]->partitionStyle, 0u);
    // The first sector was read through ReadFile, once, from the start of the disk.
    auto reads = machine_->calls().Of("ReadFile");
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].selectors.value("offset", 1u), 0u);
    EXPECT_EQ(disk.getMasterBootRecord()[510], 0x55);
    // An MBR disk's entries stay zero, whatever it holds.
    EXPECT_FALSE(disk.hasEfiSystemPartition());
    EXPECT_FALSE(disk.hasDynamicDiskPartitions());
    EXPECT_EQ(disk.getPartitionEntries()[0].PartitionLength.QuadPart, 0);
}

TEST_F(WinDiskView, MbrDiskWithoutPartitionsReadsNoSector) {
    WinDiskInterface disk = Populated(2);
    EXPECT_FALSE(disk.hasPartitions());
    EXPECT_TRUE(disk.getPartitionInfos().empty());
    EXPECT_EQ(machine_->calls().Count("ReadFile"), 0u);
    EXPECT_EQ(Requests(0x700A0), 0u);
}

TEST_F(WinDiskView, DescriptorWithoutSerialNumberGivesNone) {
    WinDiskInterface disk = Populated(3);
    EXPECT_EQ(disk.getSerialNumber(), nullptr);
    EXPECT_EQ(disk.getSerialNumberString(), "");
}

TEST_F(WinDiskView, DeviceThatCannotBeOpenedIsInvalid) {
    WinDiskInterface disk(L"\\\\.\\PhysicalDrive9");
    CConsolidatedError result = disk.Populate();
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::GENERAL_INVALID_VALUE);
    EXPECT_STREQ(result.GetDebugInformation(), "Could not get handle for disk interface");
    EXPECT_EQ(disk.setCacheBufferFlush(true).GetErrorCode(), CConsolidatedError::GENERAL_INVALID_VALUE);
}

TEST_F(WinDiskView, CacheBufferFlushAfterAFailedSettingReadSendsZeroVersionAndState) {
    machine_->faults().Add(
        sim::FaultRule{"DeviceIoControl", {{"code", 0x740E0}}, 0, 1, {{"win32_error", 1}}});
    WinDiskInterface disk = Populated(0);
    DISK_CACHE_SETTING setting{};
    EXPECT_FALSE(disk.getCachePolicy(setting));

    ASSERT_TRUE(disk.setCacheBufferFlush(true).IsSuccessful());
    const std::vector<uint8_t> sent = LastInput(0x7C0E4);
    ASSERT_EQ(sent.size(), 12u);
    const std::vector<uint8_t> head(sent.begin(), sent.begin() + 9);
    EXPECT_EQ(head, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 1})); // version, state, power-protected
    EXPECT_TRUE(disk.getCachePolicy(setting));
    EXPECT_EQ(setting.IsPowerProtected, 1);
}

TEST_F(WinDiskView, VolumeBufferFlushTurnsWriteCachingOnFirst) {
    WinDiskInterface disk = Populated(1);
    ASSERT_TRUE(disk.setVolumeBufferFlush(true).IsSuccessful());
    const std::vector<uint8_t> information = LastInput(0x7C0D8);
    ASSERT_EQ(information.size(), 24u);
    EXPECT_EQ(information[2], 1); // write cache enabled
    EXPECT_EQ(information[1], 1); // read cache kept as read
    EXPECT_EQ(Requests(0x7C0E4), 1u);
    // The change is the machine's now: a fresh view reads it back.
    WinDiskInterface again = Populated(1);
    DISK_CACHE_SETTING setting{};
    ASSERT_TRUE(again.getCachePolicy(setting));
    EXPECT_EQ(setting.IsPowerProtected, 1);
}

TEST_F(WinDiskView, VolumeBufferFlushLeavesTheSettingWhenWriteCachingCannotBeTurnedOn) {
    WinDiskInterface disk = Populated(1);
    machine_->faults().Add(
        sim::FaultRule{"DeviceIoControl", {{"code", 0x7C0D8}}, 0, 1, {{"win32_error", 5}}});
    CConsolidatedError result = disk.setVolumeBufferFlush(true);
    EXPECT_EQ(result.GetWin32Error(), 5u);
    EXPECT_EQ(Requests(0x7C0E4), 0u);
}

TEST_F(WinDiskView, WriteCachingPolicyWritesOnlyTheWriteCacheFlag) {
    WinDiskInterface disk = Populated(0);
    ASSERT_TRUE(disk.setWriteCachingPolicy(false).IsSuccessful());
    const std::vector<uint8_t> information = LastInput(0x7C0D8);
    ASSERT_EQ(information.size(), 24u);
    EXPECT_EQ(information[1], 1);
    EXPECT_EQ(information[2], 0);
    DISK_CACHE_INFORMATION stored{};
    ASSERT_TRUE(disk.getCacheInformation(stored));
    EXPECT_EQ(stored.WriteCacheEnabled, 0);
}

// A mandatory request that fails ends the population with its error; an optional one does not.
TEST_F(WinDiskView, MandatoryAndOptionalReads) {
    struct Case {
        uint32_t code;
        bool mandatory;
    };
    const Case cases[] = {{0x2D1400, true}, {0x41018, true},  {0x2D1080, true}, {0x70050, true},
                          {0x2D5140, true}, {0x740E0, false}, {0x740D4, false}};
    for (const Case& c : cases) {
        machine_->faults().Clear();
        machine_->faults().Add(
            sim::FaultRule{"DeviceIoControl", {{"code", c.code}}, 0, 1, {{"win32_error", 31}}});
        WinDiskInterface disk(DrivePath(0));
        CConsolidatedError result = disk.Populate();
        EXPECT_EQ(result.IsError(), c.mandatory) << std::hex << c.code;
        if (c.mandatory) {
            EXPECT_EQ(result.GetWin32Error(), 31u) << std::hex << c.code;
        }
    }
}

TEST_F(WinDiskView, ShortOrFailedSectorReadKeepsTheDiskWithoutPartitions) {
    for (const char* outcome : {"bytes_read", "win32_error"}) {
        machine_->faults().Clear();
        machine_->faults().Add(sim::FaultRule{"ReadFile", {{"device_number", 1}}, 0, 1, {{outcome, 23}}});
        WinDiskInterface disk = Populated(1);
        EXPECT_TRUE(disk.hasPartitions()) << outcome;
        EXPECT_TRUE(disk.getPartitionInfos().empty()) << outcome;
        EXPECT_EQ(disk.getMasterBootRecord()[510], 0) << outcome;
    }
}

TEST_F(WinDiskView, AGeometryWithASectorSizeNoDiskHasReadsNoSector) {
    // The answer's BytesPerSector (byte 20): 64 KiB, 256 bytes and 4 GiB - 1.
    for (const char* size : {"00000100", "00010000", "FFFFFFFF"}) {
        SCOPED_TRACE(size);
        machine_->faults().Clear();
        machine_->calls().Clear();
        machine_->faults().Add(
            std::string(R"({"kind": "DeviceIoControl", "match": {"device_number": 1, "code": 458912},
                                    "times": 1, "outcome": {"patch": [{"offset": 20, "hex": ")") +
            size + R"("}]}})");
        WinDiskInterface disk = Populated(1);
        EXPECT_TRUE(disk.hasPartitions());
        EXPECT_TRUE(disk.getPartitionInfos().empty());
        EXPECT_EQ(machine_->calls().Count("ReadFile"), 0u);
    }
    // The sector sizes disks have are read.
    machine_->faults().Clear();
    machine_->faults().Add(R"({"kind": "DeviceIoControl", "match": {"device_number": 1, "code": 458912},
                               "times": 1, "outcome": {"patch": [{"offset": 20, "hex": "00100000"}]}})");
    EXPECT_EQ(Populated(1).getPartitionInfos().size(), 2u);
}

class UsbDiskView : public WinDiskView {
protected:
    UsbDiskView() : WinDiskView(windisktest::Machine().Set("/disks/0/bus_type", "7")) {}
};

TEST_F(UsbDiskView, UsbDiskIsRefused) {
    WinDiskInterface disk = Populated(0, CConsolidatedError::GENERAL_INVALID_VALUE);
    EXPECT_EQ(machine_->calls().Count("ReadFile"), 0u);
    EXPECT_EQ(Requests(0x41018), 0u);
}

TEST_F(WinDiskView, SystemDriveIsFoundOnlyAtItsExactAddress) {
    EXPECT_TRUE(IsSystemDriveAtScsiAddress(PackScsiAddress(0, 0, 1, 0)));
    EXPECT_FALSE(IsSystemDriveAtScsiAddress(PackScsiAddress(0, 0, 1, 1)));
    EXPECT_FALSE(IsSystemDriveAtScsiAddress(PackScsiAddress(0, 0, 2, 0)));
    machine_->faults().Add(sim::FaultRule{"CreateFile", {{"path", "\\\\.\\C:"}}, 0, 1, {{"win32_error", 2}}});
    EXPECT_FALSE(IsSystemDriveAtScsiAddress(PackScsiAddress(0, 0, 1, 0)));
    machine_->faults().Add(sim::FaultRule{"DeviceIoControl", {{"letter", "C"}}, 0, 1, {{"win32_error", 1}}});
    EXPECT_FALSE(IsSystemDriveAtScsiAddress(PackScsiAddress(0, 0, 1, 0)));
}

} // namespace
