#include <gtest/gtest.h>
#include <thread>

#include "middleware/model/Disk.h"
#include "middleware/model/IsSystemDisk.h"
#include "platform/win/WinFiles.h"
#include "tests/middleware/model/VdsTestSupport.h"

namespace {

using namespace vdstest;

using VdsService = VdsTest;

TEST_F(VdsService, LoadedOnceAcrossThreadsAndAgainAfterRelease) {
    bool first = false, second = false;
    ASSERT_TRUE(VdsHandler::isSystemDisk(Identity(0), first).IsSuccessful());
    EXPECT_TRUE(first);
    EXPECT_EQ(Calls("CoCreateInstance"), 1u);
    EXPECT_EQ(Calls("Vds", "IVdsServiceLoader::LoadService"), 1u);

    CConsolidatedError other;
    const VdsDiskIdentity data = Identity(1);
    std::thread([&] { other = VdsHandler::isSystemDisk(data, second); }).join();
    ASSERT_TRUE(other.IsSuccessful()) << other.GetErrorMessage();
    EXPECT_FALSE(second);
    // The other thread took the kept interface and left a new stream for the next caller.
    EXPECT_EQ(Calls("CoCreateInstance"), 1u);
    EXPECT_EQ(Calls("CoGetInterfaceAndReleaseStream"), 1u);
    EXPECT_EQ(Calls("CoMarshalInterThreadInterfaceInStream"), 2u);

    releaseVdsService();
    EXPECT_EQ(Calls("CoReleaseMarshalData"), 1u);
    ASSERT_TRUE(VdsHandler::isSystemDisk(Identity(0), first).IsSuccessful());
    EXPECT_EQ(Calls("CoCreateInstance"), 2u);
    EXPECT_EQ(Calls("Vds", "IVdsServiceLoader::LoadService"), 2u);
    // Released means gone: the next load does not try the old stream first.
    EXPECT_EQ(Calls("CoGetInterfaceAndReleaseStream"), 1u);
}

TEST_F(VdsService, EachOperationJoinsAndLeavesItsApartment) {
    // A thread that is already in the other apartment model keeps working in it.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
        ComConnectionHandler handler;
        EXPECT_FALSE(handler.isInitialized());
        EXPECT_EQ(handler.result(), RPC_E_CHANGED_MODE);
    }
    CoUninitialize();
    alignas(ComConnectionHandler) unsigned char storage[sizeof(ComConnectionHandler)];
    ComConnectionHandler* handler = MakeComConnectionHandler(storage);
    EXPECT_TRUE(handler->isInitialized());
    EXPECT_FALSE(handler->wasAlreadyInitialized());
    handler->~ComConnectionHandler();
    // Left again: a new handler is the first in this thread once more.
    ComConnectionHandler again;
    EXPECT_EQ(again.result(), S_OK);
}

TEST_F(VdsService, ServiceThatCannotLoadIsReportedWithItsHresult) {
    Inject(sim::FaultRule{"CoCreateInstance", {}, 0, 1, {{"hresult", "0x80040154"}}});
    bool answer = true;
    CConsolidatedError result = VdsHandler::isSystemDisk(Identity(0), answer);
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::GENERAL_FAULT);
    EXPECT_STREQ(result.GetErrorMessage(), "Cannot initialize VDS service.");
    EXPECT_STREQ(result.GetDebugInformation(), "loadVdsService error code = 0X80040154");
    EXPECT_TRUE(answer);
}

// Each step's failure, with the message and debug text the operation gives it.
TEST_F(VdsService, StepFailuresOfTheDiskOperations) {
    struct Case {
        const char* method;
        std::function<CConsolidatedError()> run;
        const char* message;
        const char* debug;
    };
    bool answer = false;
    uint64_t offset = 0, size = 0;
    const VdsDiskIdentity system = Identity(0);
    const std::vector<Case> cases = {
        {"IVdsPack::QueryDisks", [&] { return VdsHandler::isSystemDisk(system, answer); },
         "Cannot get VDS disk object.", "get disk error code = 0X80042402"},
        {"IVdsDisk::GetProperties", [&] { return VdsHandler::cleanDisk(system); },
         "Cannot get VDS disk object.", "get disk error code = 0X80042402"},
        {"IVdsAdvancedDisk::Clean", [&] { return VdsHandler::cleanDisk(system); },
         "VDS Failed to clean disk.", "Clean error code = 0X80042402"},
        {"IVdsDisk::QueryExtents", [&] { return VdsHandler::getBootVolumeExtent(system, offset, size); },
         "Cannot get disk extents.", "getExtents error code = 0X80042402"},
        {"IVdsVolume::GetProperties", [&] { return VdsHandler::getBootVolumeExtent(system, offset, size); },
         "Cannot get volume for extent.", "getVolume error code = 0X80042402"},
        {"IVdsService::Refresh", [&] { return VdsHandler::refresh(); }, "Cannot refresh VDS.",
         "Refresh error code = 0X80042402"},
    };
    for (const Case& c : cases) {
        machine_->faults().Clear();
        Inject(sim::FaultRule{"Vds", {{"method", c.method}}, 0, 1, {{"hresult", "0x80042402"}}});
        CConsolidatedError result = c.run();
        EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::GENERAL_FAULT) << c.method;
        EXPECT_STREQ(result.GetErrorMessage(), c.message) << c.method;
        EXPECT_STREQ(result.GetDebugInformation(), c.debug) << c.method;
        EXPECT_EQ(machine_->faults().Pending(), 0u) << c.method;
    }
    // The disk is still there: no failed step changed it.
    EXPECT_EQ(View(0).getDriveLayoutInfo().PartitionCount, 4u);
}

TEST_F(VdsService, SystemDiskFlags) {
    struct Case {
        int disk;
        bool system;
    };
    // The system disk, a data disk, the MBR disk and a disk whose only volume holds a page file.
    for (Case c : {Case{0, true}, Case{1, false}, Case{2, false}, Case{5, true}}) {
        bool answer = !c.system;
        ASSERT_TRUE(VdsHandler::isSystemDisk(Identity(c.disk), answer).IsSuccessful()) << c.disk;
        EXPECT_EQ(answer, c.system) << c.disk;
    }
    // A disk without partition table is never found.
    bool answer = false;
    CConsolidatedError result = VdsHandler::isSystemDisk(Identity(3), answer);
    EXPECT_STREQ(result.GetDebugInformation(), "get disk error code = 0X1");
}

TEST_F(VdsService, SystemDiskTest) {
    struct Case {
        const char* name;
        int disk; // -1: no Windows view
        KEDO2_ERRORS code;
        bool before, after;
    };
    const Case cases[] = {
        {"system disk", 0, CConsolidatedError::SUCCESS, false, true},
        {"page file only", 5, CConsolidatedError::SUCCESS, false, true},
        {"data disk", 1, CConsolidatedError::SUCCESS, true, false},
        {"blank disk keeps the caller's value", 3, CConsolidatedError::SUCCESS, true, true},
        {"dynamic disk", 4, CConsolidatedError::UVI_DISK_IS_WINDOWS_DYNAMIC, true, true},
        {"no Windows view", -1, CConsolidatedError::GENERAL_NULL_PARAMETER, true, true},
    };
    for (const Case& c : cases) {
        bool answer = c.before;
        std::unique_ptr<WinDiskInterface> view;
        if (c.disk >= 0)
            view = std::make_unique<WinDiskInterface>(View(c.disk));
        CConsolidatedError result = IsSystemDisk(view.get(), answer);
        EXPECT_EQ(result.GetErrorCode(), c.code) << c.name;
        EXPECT_EQ(answer, c.after) << c.name;
    }
    bool answer = false;
    EXPECT_STREQ(IsSystemDisk(static_cast<const WinDiskInterface*>(nullptr), answer).GetErrorMessage(),
                 "Disk cannot be null");
    answer = true;
    EXPECT_STREQ(IsSystemDisk(std::shared_ptr<Disk>(), answer).GetErrorMessage(), "Disk cannot be null");
    EXPECT_TRUE(answer);
}

TEST_F(VdsService, BootVolumeExtentIsTheExtentOfDriveC) {
    uint64_t offset = 7, size = 7;
    ASSERT_TRUE(VdsGetLastVolumeProperties(2, 0, Identity(0).gptGuid, offset, size).IsSuccessful());
    EXPECT_EQ(offset, 122683392u);
    EXPECT_EQ(size, 10485760000u);
    // A disk without boot volume leaves the outputs alone.
    offset = size = 7;
    ASSERT_TRUE(VdsHandler::getBootVolumeExtent(Identity(1), offset, size).IsSuccessful());
    EXPECT_EQ(offset, 7u);
    EXPECT_EQ(size, 7u);
    // A disk the service does not know.
    VdsDiskIdentity unknown = Identity(1);
    unknown.gptGuid.Data1 = 0xDEAD;
    CConsolidatedError result = VdsHandler::getBootVolumeExtent(unknown, offset, size);
    EXPECT_STREQ(result.GetErrorMessage(), "Cannot find disk.");
}

// The last extent that may hold a shrinkable volume: free space at the end is passed over, an ESP or
// MSR ends the search empty, and the first extent is never looked at.
TEST_F(VdsService, LastDiskExtent) {
    ComConnectionHandler com;
    ComPtr<IVdsService> service;
    ASSERT_EQ(loadVdsService(service.put()), S_OK);
    struct Case {
        int disk;
        uint64_t offset; // 0: none found
    };
    const Case cases[] = {{0, 10117 * kMiB}, {1, 17825792}, {2, 1048576}, {5, 1048576}, {6, 0}, {7, 0}};
    for (const Case& c : cases) {
        ComPtr<IVdsDisk> disk;
        ASSERT_EQ(VdsHandler::getDisk(service.get(), Identity(c.disk), disk.put()), 0) << c.disk;
        VDS_DISK_EXTENT extent{};
        extent.ullOffset = 99;
        ASSERT_EQ(VdsHandler::getVolumeIdOfLastDiskExtent(disk.get(), extent), S_OK) << c.disk;
        EXPECT_EQ(extent.ullOffset, c.offset) << c.disk;
        EXPECT_EQ(extent.volumeId == GUID{}, c.offset == 0) << c.disk;
    }
}

TEST_F(VdsService, CleanEmptiesTheDiskForEveryReader) {
    const VdsDiskIdentity data = Identity(1);
    ULARGE_INTEGER freeBytes{}, total{};
    ASSERT_TRUE(GetDiskFreeSpaceExA("D:\\", &freeBytes, &total, nullptr));
    ASSERT_TRUE(VdsCleanDisk(data.partitionStyle, data.mbrSignature, data.gptGuid).IsSuccessful());
    EXPECT_EQ(Calls("Vds", "IVdsAsync::Wait"), 1u);

    WinDiskInterface view = View(1);
    EXPECT_FALSE(view.hasPartitions());
    EXPECT_EQ(view.getDriveLayoutInfo().PartitionStyle, PARTITION_STYLE_RAW);
    EXPECT_FALSE(GetDiskFreeSpaceExA("D:\\", &freeBytes, &total, nullptr));
    EXPECT_FALSE(GetDiskFreeSpaceExA("\\\\.\\Volume{00000000-0000-0000-0000-0000000000D1}\\", &freeBytes,
                                     &total, nullptr));
    bool answer = false;
    EXPECT_STREQ(VdsHandler::isSystemDisk(data, answer).GetErrorMessage(), "Cannot get VDS disk object.");
}

TEST_F(VdsService, CleanWhoseOperationFailsIsReported) {
    Inject(sim::FaultRule{
        "Vds", {{"method", "IVdsAsync::Wait"}, {"operation", "clean"}}, 0, 1, {{"hresult", "0x80042403"}}});
    CConsolidatedError result = VdsHandler::cleanDisk(Identity(2));
    EXPECT_STREQ(result.GetErrorMessage(), "VDS Failed to clean disk.");
    EXPECT_STREQ(result.GetDebugInformation(),
                 "Wait for Clean error code = 0X80042403\nClean error code = 0");
    EXPECT_TRUE(View(2).hasPartitions());
}

} // namespace
