#include <gtest/gtest.h>

#include "middleware/api/VdsMakeSpaceExport.h"
#include "middleware/model/IsSystemDisk.h"
#include "platform/win/WinFiles.h"
#include "sim/Clock.h"
#include "tests/middleware/model/VdsTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace {

using namespace vdstest;

using MakeRoom = VdsTest;

constexpr size_t kRecovery = 3; // the system disk's recovery partition
constexpr size_t kData = 1;     // D: on the data disk
constexpr uint64_t kRecoveryAttributes = 0x8000000000000001;

TEST_F(MakeRoom, EnoughFreeSpaceChangesNothing) {
    ASSERT_TRUE(VdsHandler::makeFreeSpaceAtEndOfDisk(Identity(1), 1 * kMiB).IsSuccessful());
    EXPECT_EQ(PartitionLength(1, kData), 1000 * kMiB);
    EXPECT_EQ(Calls("Vds", "IVdsVolumeShrink::Shrink"), 0u);
}

class ShortOfSpace : public VdsTest {
protected:
    ShortOfSpace() : VdsTest(Machine({500, 100, 3 * kMiB / 2})) {}
};

TEST_F(ShortOfSpace, ShortfallBelowOneMegabyteShrinksByOne) {
    ASSERT_TRUE(VdsHandler::makeFreeSpaceAtEndOfDisk(Identity(1), 2 * kMiB).IsSuccessful());
    EXPECT_EQ(PartitionLength(1, kData), 999 * kMiB);
    ULARGE_INTEGER available{}, total{};
    ASSERT_TRUE(GetDiskFreeSpaceExA("D:\\", &available, &total, nullptr));
    EXPECT_EQ(total.QuadPart, 999 * kMiB);
    EXPECT_EQ(available.QuadPart, 499 * kMiB);
    // A GPT data partition is shrunk as it is: basic data already, attributes 0.
    EXPECT_EQ(Calls("Vds", "IVdsAdvancedDisk2::ChangePartitionType"), 0u);
    EXPECT_EQ(Calls("Vds", "IVdsAdvancedDisk::ChangeAttributes"), 0u);
}

// The system disk's last partition is its recovery partition and no space is free after it, so the
// whole request falls on the recovery partition.
TEST(RecoveryPartition, ShrinkKeepsItUsable) {
    struct Case {
        uint64_t lengthMiB, freeMiB, requestMiB;
        KEDO2_ERRORS code;
    };
    const Case cases[] = {
        {500, 100, 10, CConsolidatedError::SUCCESS},
        {500, 100, 60, CConsolidatedError::UVI_SHRINK_WINRE_REQUIREMENT_FAILED},
        {500, 100, 150, CConsolidatedError::UVI_SHRINK_NOT_ENOUGH_FREE_SPACE},
        {500, 100, 500, CConsolidatedError::UVI_SHRINK_NOT_ENOUGH_SPACE},
        {320, 200, 30, CConsolidatedError::UVI_SHRINK_WINRE_REQUIREMENT_FAILED},
    };
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.requestMiB) + " MiB of " + std::to_string(c.lengthMiB) +
                                 "/" + std::to_string(c.freeMiB);
        struct OneMachine : VdsTest {
            explicit OneMachine(const Sizes& s) : VdsTest(Machine(s)) {}
            void TestBody() override {}
        } t({c.lengthMiB, c.freeMiB});
        CConsolidatedError result = VdsHandler::makeFreeSpaceAtEndOfDisk(t.Identity(0), c.requestMiB * kMiB);
        EXPECT_EQ(result.GetErrorCode(), c.code) << name << ": " << result.GetErrorMessage();
        const uint64_t expected = (c.lengthMiB - (result.IsSuccessful() ? c.requestMiB : 0)) * kMiB;
        EXPECT_EQ(t.PartitionLength(0, kRecovery), expected) << name;
        EXPECT_EQ(t.PartitionType(0, kRecovery), PARTITION_MSFT_RECOVERY_GUID) << name;
        EXPECT_EQ(t.PartitionAttributes(0, kRecovery), kRecoveryAttributes) << name;
        // Only a shrink that passed the checks changes the type for its length.
        EXPECT_EQ(t.Calls("Vds", "IVdsAdvancedDisk2::ChangePartitionType"), result.IsSuccessful() ? 2u : 0u)
            << name;
    }
}

TEST_F(MakeRoom, FailedShrinkLeavesTheRecoveryPartitionAsItWas) {
    Inject(
        sim::FaultRule{"Vds", {{"method", "IVdsVolumeShrink::Shrink"}}, 0, 1, {{"hresult", "0x80042403"}}});
    CConsolidatedError result = VdsHandler::makeFreeSpaceAtEndOfDisk(Identity(0), 10 * kMiB);
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::UVI_SHRINK_FAILED_GENERIC);
    EXPECT_STREQ(result.GetErrorMessage(),
                 "Virtual disk service operation failed. VDS error code = 80042403");
    EXPECT_EQ(PartitionLength(0, kRecovery), 500 * kMiB);
    EXPECT_EQ(PartitionType(0, kRecovery), PARTITION_MSFT_RECOVERY_GUID);
    EXPECT_EQ(PartitionAttributes(0, kRecovery), kRecoveryAttributes);
    EXPECT_EQ(Calls("Vds", "IVdsAdvancedDisk2::ChangePartitionType"), 2u);
}

TEST_F(MakeRoom, ShrinkThatFailsHalfWayStillRestoresThePartitionType) {
    Inject(sim::FaultRule{"Vds",
                          {{"method", "IVdsAsync::Wait"}, {"operation", "shrink"}},
                          0,
                          1,
                          {{"result", "0x80042403"}, {"reclaimed", 5 * kMiB}}});
    CConsolidatedError result = VdsHandler::makeFreeSpaceAtEndOfDisk(Identity(0), 10 * kMiB);
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::UVI_SHRINK_FAILED_GENERIC);
    EXPECT_EQ(PartitionLength(0, kRecovery), 495 * kMiB);
    EXPECT_EQ(PartitionType(0, kRecovery), PARTITION_MSFT_RECOVERY_GUID);
    EXPECT_EQ(PartitionAttributes(0, kRecovery), kRecoveryAttributes);
}

TEST_F(MakeRoom, BusyShrinkIsRetriedUntilTheDeadline) {
    sim::ScopedVirtualClock clock;
    Inject(
        sim::FaultRule{"Vds", {{"method", "IVdsVolumeShrink::Shrink"}}, 0, -1, {{"hresult", "0x80042574"}}});
    const uint64_t start = sim::Clock::NowMs();
    CConsolidatedError result = VdsHandler::makeFreeSpaceAtEndOfDisk(Identity(1), 10 * kMiB);
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::UVI_SHRINK_NOT_ENOUGH_SPACE);
    const size_t attempts = Calls("Vds", "IVdsVolumeShrink::Shrink");
    EXPECT_GE(attempts, 15u);
    EXPECT_LE(attempts, 17u);
    EXPECT_GE(sim::Clock::NowMs() - start, 15000u);
}

TEST_F(MakeRoom, ShrinkMustReclaimNinetyFivePercent) {
    struct Case {
        uint64_t reclaimed;
        KEDO2_ERRORS code;
    };
    // 100 MiB are missing on D: (2 MiB free of 102 needed).
    const uint64_t request = 100 * kMiB;
    for (Case c : {Case{request / 100 * 94, CConsolidatedError::UVI_SHRINK_NOT_ENOUGH_SPACE},
                   Case{request / 100 * 95, CConsolidatedError::SUCCESS}}) {
        machine_->faults().Clear();
        Inject(sim::FaultRule{"Vds", {{"method", "IVdsAsync::Wait"}}, 0, 1, {{"reclaimed", c.reclaimed}}});
        CConsolidatedError result = VdsHandler::makeFreeSpaceAtEndOfDisk(Identity(1), 102 * kMiB);
        EXPECT_EQ(result.GetErrorCode(), c.code) << c.reclaimed;
        if (result.IsError()) {
            EXPECT_STREQ(result.GetErrorMessage(), "Shrink operation failed to aquire enough space");
        }
    }
}

TEST_F(MakeRoom, MbrDiskIsShrunkWithoutPartitionChecks) {
    ASSERT_TRUE(VdsHandler::makeFreeSpaceAtEndOfDisk(Identity(2), 10 * kMiB).IsSuccessful());
    EXPECT_EQ(View(2).getPartitionInfos().at(0)->length, 998 * kMiB);
    EXPECT_EQ(Calls("Vds", "IVdsDiskPartitionMF::GetPartitionFileSystemProperties"), 0u);
    EXPECT_EQ(Calls("Vds", "IVdsAdvancedDisk2::ChangePartitionType"), 0u);
    EXPECT_EQ(Calls("Vds", "IVdsAdvancedDisk::ChangeAttributes"), 0u);
}

TEST_F(MakeRoom, ExplicitShrinkOfTheLastVolume) {
    WinDiskInterface data = View(1);
    ASSERT_TRUE(DiskShrinkExtension(&data).makeSpace(100).IsSuccessful());
    EXPECT_EQ(PartitionLength(1, kData), 999 * kMiB);

    WinDiskInterface msrLast = View(6);
    CConsolidatedError result = DiskShrinkExtension(&msrLast).makeSpace(kMiB);
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::UVI_SHRINK_LAST_PARTITION_NOT_DATA);
    EXPECT_STREQ(result.GetErrorMessage(), "Last volume is not a data partition. Cannot shrink.");

    WinDiskInterface blank = View(3);
    result = DiskShrinkExtension(&blank).makeSpace(kMiB);
    EXPECT_STREQ(result.GetErrorMessage(), "Cannot get VDS disk object.");
    EXPECT_STREQ(result.GetDebugInformation(), "getDisk returned NULL.");
}

TEST_F(MakeRoom, MetadataSpaceOfADiskOfTheModel) {
    // No partitions: nothing to do, and the service is not asked.
    WinDiskInterface blank = View(3);
    ASSERT_TRUE(DiskShrinkExtension(&blank).makeSpaceForMetadata(20000, 512, 0).IsSuccessful());
    EXPECT_EQ(Calls("CoCreateInstance"), 0u);
    EXPECT_EQ(Calls("Vds"), 0u);

    EXPECT_EQ(DiskShrinkExtension(nullptr).makeSpaceForMetadata(20000, 512, 0).GetErrorCode(),
              CConsolidatedError::GENERAL_INVALID_STATE);
    WinDiskInterface dynamic = View(4);
    EXPECT_EQ(DiskShrinkExtension(&dynamic).makeSpaceForMetadata(20000, 512, 0).GetErrorCode(),
              CConsolidatedError::UVI_DISK_IS_WINDOWS_DYNAMIC);

    // 20000 sectors need 10240000 bytes; the MBR disk has 8 MiB free after E:.
    WinDiskInterface mbr = View(2);
    ASSERT_TRUE(DiskShrinkExtension(&mbr).makeSpaceForMetadata(20000, 512, 0).IsSuccessful());
    EXPECT_EQ(View(2).getPartitionInfos().at(0)->length, 1000 * kMiB - (10240000 - 8 * kMiB));
    EXPECT_EQ(Calls("Vds", "IVdsService::Refresh"), 1u);
}

TEST_F(MakeRoom, SystemDiskExport) {
    _UVI_Error result = UviVdsHandlerMakeSpaceForMetadataOnSystemDisk(2 * kMiB);
    EXPECT_EQ(result.status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(PartitionLength(0, kRecovery), 498 * kMiB);
    EXPECT_EQ(PartitionType(0, kRecovery), PARTITION_MSFT_RECOVERY_GUID);
}

// What one process changed, the next one reads through the storage requests, the disk service and
// the free-space query alike.
TEST_F(MakeRoom, AnotherProcessSeesTheNewLayout) {
    ASSERT_TRUE(VdsHandler::makeFreeSpaceAtEndOfDisk(Identity(1), 12 * kMiB).IsSuccessful());
    moxtest::ChildResult child = moxtest::RunChild({"disk-last-partition", "1"});
    ASSERT_EQ(child.exitCode, 0) << child.output;
    const std::string length = std::to_string(990 * kMiB);
    EXPECT_EQ(child.output, "layout " + length + "\nextent " + length + "\nvolume " + length + "\n");

    ASSERT_TRUE(VdsHandler::cleanDisk(Identity(2)).IsSuccessful());
    child = moxtest::RunChild({"disk-last-partition", "2"});
    EXPECT_EQ(child.output, "layout none\nextent none\nvolume none\n");
}

} // namespace

namespace {

// The default machine: the RAID 1 volume is the Windows system disk, with the recovery partition
// last; the other disks carry data.
TEST(DefaultMachineDisks, RaidVolumeIsTheSystemDiskAndGivesRoomAtItsEnd) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    releaseVdsService();
    for (int number = 0; number < 4; ++number) {
        WinDiskInterface view(vdstest::DrivePath(number));
        ASSERT_TRUE(view.Populate().IsSuccessful()) << number;
        bool isSystem = number != 0;
        ASSERT_TRUE(IsSystemDisk(&view, isSystem).IsSuccessful()) << number;
        EXPECT_EQ(isSystem, number == 0) << number;
    }
    WinDiskInterface system(vdstest::DrivePath(0));
    ASSERT_TRUE(system.Populate().IsSuccessful());
    const uint64_t recovery = static_cast<uint64_t>(system.getPartitionEntries()[3].PartitionLength.QuadPart);
    const uint64_t freeAtEnd =
        system.getDiskLength() - 34 * 512 -
        static_cast<uint64_t>(system.getPartitionEntries()[3].StartingOffset.QuadPart) - recovery;

    EXPECT_EQ(UviVdsHandlerMakeSpaceForMetadataOnSystemDisk(4 * vdstest::kMiB).status, UVI_STATUS_SUCCESS);
    WinDiskInterface after(vdstest::DrivePath(0));
    ASSERT_TRUE(after.Populate().IsSuccessful());
    EXPECT_EQ(static_cast<uint64_t>(after.getPartitionEntries()[3].PartitionLength.QuadPart),
              recovery - (4 * vdstest::kMiB - freeAtEnd));
    EXPECT_EQ(after.getPartitionEntries()[3].Gpt.PartitionType, PARTITION_MSFT_RECOVERY_GUID);
    releaseVdsService();
}

} // namespace
