#include <climits>
#include <future>
#include <stdexcept>
#include <thread>

#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "platform/win/WinSync.h"
#include "tests/middleware/ioctl/IoctlTestSupport.h"

namespace {

using namespace ioctltest;

ControllerLocator Record(uint32_t flags, int32_t port, HANDLE device, HANDLE mutex) {
    ControllerLocator r{};
    r.signature = kControllerLocatorSignature;
    r.flags = flags;
    r.portNumber = port;
    r.deviceHandle = device;
    r.mutex = mutex;
    return r;
}

TEST(DeviceLocatorTable, WithoutControllersHoldsOnlyThePlaceholder) {
    sim::ScopedMachine machine(json{{"name", "no-controllers"}});
    EXPECT_EQ(DeviceLocator::FindNextByFlags(kControllerPlaceholder, -1), -1)
        << "the placeholder mask builds nothing";
    EXPECT_EQ(DeviceLocator::GetCount(), 0);
    EXPECT_EQ(DeviceLocator::FindNextByFlags(kControllerMaskReal, -1), -1);
    EXPECT_EQ(DeviceLocator::GetCount(), 1);
    EXPECT_EQ(DeviceLocator::FindNextByFlags(kControllerPlaceholder, -1), 0);
    EXPECT_FALSE(IoctlInterfaceVersionStore::IsBuildBypassActive());

    ControllerLocator* placeholder = DeviceLocator::GetByIndex(0);
    ASSERT_NE(placeholder, nullptr);
    EXPECT_EQ(placeholder->signature, 0x46696E44u);
    EXPECT_EQ(placeholder->flags, kControllerPlaceholder);
    EXPECT_EQ(DeviceLocator::FindByHandle(nullptr), placeholder);
    EXPECT_EQ(DeviceLocator::FindByHandle(placeholder), placeholder);
    EXPECT_EQ(DeviceLocator::FindByHandle(reinterpret_cast<HANDLE>(0x1234)), nullptr);
    EXPECT_FALSE(DeviceLocator::Contains(nullptr));
    EXPECT_FALSE(DeviceLocator::Contains(INVALID_HANDLE_VALUE));
    EXPECT_EQ(DeviceLocator::GetFlags(placeholder), kControllerPlaceholder);
    EXPECT_EQ(DeviceLocator::GetFlags(reinterpret_cast<HANDLE>(0x1234)), 0u);
    EXPECT_EQ(DeviceLocator::GetByIndex(1), nullptr);
    EXPECT_EQ(DeviceLocator::GetByIndex(-1), nullptr);
    // A second build keeps the table as it is.
    EXPECT_EQ(DeviceLocator::Build(), 1);
}

TEST(DeviceLocatorTable, RecordsAreFoundByAddressHandleAndPort) {
    HANDLE a = reinterpret_cast<HANDLE>(0x100), b = reinterpret_cast<HANDLE>(0x200);
    ControllerLocator* first = DeviceLocator::AppendRecord(Record(kControllerSataRaid, 2, a, nullptr));
    ControllerLocator* second = DeviceLocator::AppendRecord(Record(kControllerOtherNvme, 5, b, nullptr));
    DeviceLocator table; // already built: nothing added
    EXPECT_EQ(DeviceLocator::GetCount(), 2);
    EXPECT_TRUE(DeviceLocator::Contains(second));
    EXPECT_FALSE(DeviceLocator::Contains(b));
    EXPECT_EQ(DeviceLocator::FindByHandle(b), second);
    EXPECT_EQ(DeviceLocator::FindByPort(2), first);
    EXPECT_EQ(DeviceLocator::FindByPort(3), nullptr);
    EXPECT_EQ(DeviceLocator::FindNextByFlags(kControllerMaskOtherVendor, -1), 1);
    EXPECT_EQ(DeviceLocator::FindNextByFlags(kControllerMaskReal, 0), 1);
    EXPECT_EQ(DeviceLocator::FindNextByFlags(kControllerMaskReal, 1), -1);
    EXPECT_EQ(DeviceLocator::FindNextByFlags(kControllerMaskReal, INT_MAX), -1);
    for (int i = 2; i < DeviceLocator::kMaxControllers; ++i)
        EXPECT_NE(DeviceLocator::AppendRecord(Record(kControllerSataRaid, 10 + i, nullptr, nullptr)),
                  nullptr);
    EXPECT_EQ(DeviceLocator::AppendRecord(Record(kControllerSataRaid, 99, nullptr, nullptr)), nullptr);
}

using ControllerLock = IoctlTest;

TEST_F(ControllerLock, PlainHandlesPassRecordsHoldTheirMutex) {
    HANDLE device = Open("\\\\.\\Scsi0:");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Scsi0:_RO");
    ControllerLocator* real = DeviceLocator::AppendRecord(Record(kControllerSataRaid, 0, device, mutex));
    ControllerLocator* placeholder =
        DeviceLocator::AppendRecord(Record(kControllerPlaceholder, 0, nullptr, nullptr));
    ControllerLocator* noMutex =
        DeviceLocator::AppendRecord(Record(kControllerOtherSata, 7, device, nullptr));

    {
        ControllerLocatorLock plain(device);
        EXPECT_EQ(plain.GetDeviceHandle(), device);
        ControllerLocatorLock forPlaceholder(placeholder);
        EXPECT_EQ(forPlaceholder.GetDeviceHandle(), reinterpret_cast<HANDLE>(0xBADFACE));
    }
    std::thread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); }).join();
    // The thread that took it ended without releasing: the next owner gets it abandoned.
    {
        ControllerLocatorLock lock(real);
        EXPECT_EQ(lock.GetDeviceHandle(), device);
        std::thread([&] {
            EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        }).join();
    }
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "released once";
    ReleaseMutex(mutex);

    try {
        ControllerLocatorLock lock(noMutex);
        ADD_FAILURE() << "a record without a mutex is locked";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to take ownership of mutex");
    }
}

TEST(InterfaceVersionStore, ChecksAnswerYesUntilTheBuildEnds) {
    ControllerLocator* record = DeviceLocator::AppendRecord(Record(kControllerSataRaid, 3, nullptr, nullptr));
    EXPECT_TRUE(
        IoctlInterfaceVersionStore::CheckInterfaceSupport(reinterpret_cast<HANDLE>(0x999), "OrvexRdp"));
    EXPECT_TRUE(IoctlInterfaceVersionStore::CheckFeatureSupport(record, 2));
    EXPECT_TRUE(IoctlInterfaceVersionStore::AllRequiredSupported(*record));
    ASSERT_EQ(IoctlInterfaceVersionStore::EntryTable().size(), 9u);
    EXPECT_EQ(IoctlInterfaceVersionStore::EntryTable()[0].signature, "OrvexATA");
    EXPECT_EQ(IoctlInterfaceVersionStore::EntryTable()[3].signature, "OrvexFw ");
    EXPECT_EQ(IoctlInterfaceVersionStore::EntryTable()[8].dependencies, std::vector<std::string>{"CSMIALL"});
}

TEST(InterfaceVersionStore, InterfaceFeatureAndRequiredChecks) {
    HANDLE handle = reinterpret_cast<HANDLE>(0x300);
    ControllerLocator* record = DeviceLocator::AppendRecord(Record(kControllerSataRaid, 3, handle, nullptr));
    ControllerLocator* unregistered =
        DeviceLocator::AppendRecord(Record(kControllerSataRaid, 4, nullptr, nullptr));
    ASSERT_NE(record, nullptr);
    ASSERT_NE(unregistered, nullptr);
    auto entry = [](const char* signature, bool required, uint32_t em, uint32_t en, int32_t state,
                    uint32_t rm, uint32_t rn) {
        auto e = MakeInterfaceVersionEntry(signature, required, em, en, kQueryPlain, {});
        e.state = state;
        e.reportedMajor = rm;
        e.reportedMinor = rn;
        return e;
    };
    IoctlInterfaceVersionStore::SetControllerVersions(
        *record,
        {entry("OrvexRmp", true, 1, 5, kInterfaceQueried, 1, 5), entry("OrvexRdp", false, 1, 2, 1, 1, 7),
         entry("OrvexVlp", false, 1, 3, kInterfaceQueried, 2, 0),
         entry("OrvexNvm", false, 1, 2, kInterfaceDependencyFailed, 1, 2),
         entry("CSMIALL", false, 0, 81, kInterfaceQueried, 0, 81)});
    IoctlInterfaceVersionStore::EndBuildBypass();

    struct Check {
        const char* signature;
        bool supported;
    };
    for (const Check& c : {Check{"OrvexRdp", true}, Check{"OrvexVlp", false}, Check{"OrvexNvm", false},
                           Check{"CSMIALL", true}, Check{"OrvexRmp", true}}) {
        EXPECT_EQ(IoctlInterfaceVersionStore::CheckInterfaceSupport(record, c.signature), c.supported)
            << c.signature;
        EXPECT_EQ(IoctlInterfaceVersionStore::CheckInterfaceSupport(handle, c.signature), c.supported)
            << c.signature;
    }
    // An 8-byte signature without terminator names the same interface.
    const char raw[8] = {'C', 'S', 'M', 'I', 'A', 'L', 'L', '\0'};
    EXPECT_TRUE(IoctlInterfaceVersionStore::CheckInterfaceSupport(record, raw));

    struct Feature {
        uint32_t major, minor;
        bool met;
    };
    for (const Feature& f :
         {Feature{1, 5, true}, Feature{1, 4, true}, Feature{1, 3, false}, Feature{2, 4, false}}) {
        IoctlInterfaceVersionStore::SetControllerVersions(
            *record, {entry("OrvexRmp", true, 1, 5, kInterfaceQueried, f.major, f.minor)});
        EXPECT_EQ(IoctlInterfaceVersionStore::CheckFeatureSupport(record, kFeatureAhciPortLocation), f.met)
            << f.major << "." << f.minor;
        EXPECT_EQ(IoctlInterfaceVersionStore::AllRequiredSupported(*record), f.major == 1) << f.major;
    }
    EXPECT_THROW(IoctlInterfaceVersionStore::CheckFeatureSupport(record, 3), std::out_of_range);
    IoctlInterfaceVersionStore::SetControllerVersions(
        *record, {entry("OrvexRmp", true, 1, 5, kInterfaceQueryFailed, 0, 0)});
    EXPECT_FALSE(IoctlInterfaceVersionStore::AllRequiredSupported(*record));

    struct Throwing {
        std::function<void()> call;
        const char* debug;
    };
    const Throwing throwing[] = {
        {[&] {
             IoctlInterfaceVersionStore::CheckInterfaceSupport(reinterpret_cast<HANDLE>(0x999), "OrvexRmp");
         },
         "Version store, check interface support: controller handle not found"},
        {[&] { IoctlInterfaceVersionStore::CheckFeatureSupport(reinterpret_cast<HANDLE>(0x999), 0); },
         "Version store, check feature support: controller handle not found"},
        {[&] { IoctlInterfaceVersionStore::CheckInterfaceSupport(record, "OrvexATA"); },
         "Version store, getVersion: did not found signature."},
        {[&] { IoctlInterfaceVersionStore::CheckInterfaceSupport(unregistered, "OrvexRmp"); },
         "Version store, get version for controller: locator not found"},
    };
    for (const auto& t : throwing) {
        try {
            t.call();
            ADD_FAILURE() << t.debug;
        } catch (const CConsolidatedError& e) {
            EXPECT_EQ(e.GetErrorCode(), CConsolidatedError::GENERAL_INVALID_VALUE);
            EXPECT_STREQ(e.GetDebugInformation(), t.debug);
        }
    }
}

} // namespace
