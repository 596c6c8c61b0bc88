#include <gtest/gtest.h>

#include "tests/middleware/model/VdsTestSupport.h"

namespace {

using namespace vdstest;

using DiskExtension = VdsTest;

TEST_F(DiskExtension, IdentityFromTheLayout) {
    struct Case {
        int disk; // -1: not linked
        KEDO2_ERRORS code;
        uint32_t kind;
        uint32_t signature;
        uint8_t guidLast; // last byte of the GPT disk GUID
    };
    const Case cases[] = {
        {0, CConsolidatedError::SUCCESS, 2, 0, 0xA0},
        {2, CConsolidatedError::SUCCESS, 1, 0x12345678, 0},
        {3, CConsolidatedError::SUCCESS, 0, 0, 0},
        // A dynamic disk is refused, its identity filled in all the same.
        {4, CConsolidatedError::UVI_DISK_IS_WINDOWS_DYNAMIC, 2, 0, 0xA4},
        {-1, CConsolidatedError::GENERAL_INVALID_VALUE, 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::unique_ptr<WinDiskInterface> view;
        if (c.disk >= 0)
            view = std::make_unique<WinDiskInterface>(View(c.disk));
        GUID guid{};
        guid.Data1 = 1;
        uint32_t signature = 9, kind = 9;
        CConsolidatedError result =
            DiskShrinkExtension(view.get()).getDiskIdentifyData(guid, signature, kind);
        EXPECT_EQ(result.GetErrorCode(), c.code) << c.disk;
        EXPECT_EQ(kind, c.kind) << c.disk;
        EXPECT_EQ(signature, c.signature) << c.disk;
        EXPECT_EQ(guid.Data4[7], c.guidLast) << c.disk;
        EXPECT_EQ(guid.Data1, 0u) << c.disk;
        if (c.code == CConsolidatedError::UVI_DISK_IS_WINDOWS_DYNAMIC) {
            EXPECT_STREQ(result.GetErrorMessage(), "Dynamic disks are not allowed.");
            EXPECT_STREQ(result.GetDebugInformation(),
                         "getDiskIdentifyData()  error in DiskShrinkExtension::getDiskIdentifyData");
        }
        if (c.disk < 0) {
            EXPECT_STREQ(result.GetErrorMessage(), "WinDisk must be linked");
        }
    }
}

TEST(MetadataSpace, SizeRule) {
    struct Case {
        uint32_t sectors, sectorSize, kind, bytes;
    };
    const Case cases[] = {
        {2000, 512, 0, 1024000},
        {2000, 512, 1, 1024000},
        {2001, 512, 0, 1032192},
        {2000, 512, 2, 1032192},
        {2000, 512, 3, 1032192},
        {2000, 4096, 2, 2016 * 4096},
        {1, 4096, 3, 16 * 4096},
        {2000, 0, 2, 0},
        {2000, 512, 7, 0},
        // Above 4 GiB the 32-bit product wraps, as the metadata sizes never get there.
        {0x800000, 1024, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DiskShrinkExtension::getMetadataSpaceSize(c.sectors, c.sectorSize, c.kind), c.bytes)
            << c.sectors << " x " << c.sectorSize << " kind " << c.kind;
}

TEST_F(DiskExtension, LastGptPartition) {
    struct Case {
        const char* name;
        int disk;
        uint64_t freeBytes, size;
    };
    const Case cases[] = {
        {"recovery partition: its length twice", 0, 500 * kMiB, 500 * kMiB},
        {"data volume: what Windows reports", 1, 524288000, 1048576000},
        {"MBR disk: nothing", 2, 0, 0},
        {"blank disk: nothing", 3, 0, 0},
        {"dynamic disk: nothing", 4, 0, 0},
        {"reserved partition last: its length twice", 6, 16777216, 16777216},
    };
    for (const Case& c : cases) {
        WinDiskInterface view = View(c.disk);
        uint64_t freeBytes = 1, size = 1;
        ASSERT_TRUE(DiskShrinkExtension(&view).getLastGptPartitionInfo(freeBytes, size).IsSuccessful())
            << c.name;
        EXPECT_EQ(freeBytes, c.freeBytes) << c.name;
        EXPECT_EQ(size, c.size) << c.name;
    }
    EXPECT_EQ(Calls("GetDiskFreeSpaceEx"), 1u);
    auto queries = machine_->calls().Of("GetDiskFreeSpaceEx");
    EXPECT_EQ(queries.at(0).selectors.value("path", ""),
              "\\\\.\\Volume{00000000-0000-0000-0000-0000000000D1}\\");
}

TEST_F(DiskExtension, LastVolumeThatCannotBeQueriedHasItsPartitionLength) {
    Inject(sim::FaultRule{"GetDiskFreeSpaceEx", {}, 0, 1, {{"win32_error", 21}}});
    WinDiskInterface view = View(1);
    uint64_t freeBytes = 1, size = 1;
    ASSERT_TRUE(DiskShrinkExtension(&view).getLastGptPartitionInfo(freeBytes, size).IsSuccessful());
    EXPECT_EQ(freeBytes, 0u);
    EXPECT_EQ(size, 1048576000u);

    GUID volume{};
    volume.Data4[7] = 0xD1;
    Inject(sim::FaultRule{"GetDiskFreeSpaceEx", {}, 0, 1, {{"win32_error", 21}}});
    CConsolidatedError result = DiskShrinkExtension::getVolumeFreeSpace(volume, freeBytes, size);
    EXPECT_EQ(result.GetErrorType(), KEDO2_ERROR_TYPE_WIN32);
    EXPECT_EQ(result.GetWin32Error(), 21u);
    EXPECT_STREQ(result.GetDebugInformation(),
                 "GetDiskFreeSpaceEx() failed in DiskShrinkExtension::getVolumeFreeSpace");
}

TEST_F(DiskExtension, NotLinked) {
    uint64_t freeBytes = 1, size = 1;
    CConsolidatedError result = DiskShrinkExtension(nullptr).getLastGptPartitionInfo(freeBytes, size);
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::GENERAL_INVALID_VALUE);
    EXPECT_STREQ(result.GetErrorMessage(), "WinDisk must be linked");
    EXPECT_STREQ(result.GetDebugInformation(),
                 "getLastGptPartitionInfo()  error in DiskShrinkExtension::getLastGptPartitionInfo");
    EXPECT_EQ(freeBytes, 0u);
    EXPECT_EQ(size, 0u);
}

} // namespace
