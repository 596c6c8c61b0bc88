// The points built once per process (controller table, dictionary cache, interface versions) when
// several threads use them first at the same moment: one build, every thread sees it whole.
#include <latch>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/DictionaryBuffer.h"
#include "middleware/ioctl/DictionaryCatalogue.h"
#include "middleware/ioctl/DictionarySingleton.h"
#include "middleware/ioctl/InterfaceVersionStoreQuery.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "tests/middleware/ioctl/TableTestSupport.h"

namespace {

constexpr int kThreads = 4;

// Runs f on kThreads threads released together; returns what each returned.
template <class F> auto AllAtOnce(F f) {
    std::latch start(kThreads);
    std::vector<decltype(f())> results(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            results[i] = f();
        });
    for (auto& t : threads)
        t.join();
    return results;
}

TEST(BuildOnce, ThreadsBuildingTheControllerTableAtOnceGetOneTable) {
    int expected = 0;
    {
        sim::ScopedMachine machine(tabletest::ControllersMachine());
        expected = DeviceLocator::Build();
    }
    DeviceLocator::ResetForTests();
    IoctlInterfaceVersionStore::ResetForTests();
    CDictionarySingleton::Release();

    sim::ScopedMachine machine(tabletest::ControllersMachine());
    const std::vector<int> counts = AllAtOnce([] { return DeviceLocator::Build(); });
    for (int count : counts)
        EXPECT_EQ(count, expected);
    ASSERT_EQ(DeviceLocator::GetCount(), expected);
    std::set<int32_t> ports;
    for (int i = 0; i < expected; ++i)
        ports.insert(DeviceLocator::GetByIndex(i)->portNumber);
    EXPECT_EQ(ports.size(), static_cast<size_t>(expected)) << "each controller once";
    EXPECT_FALSE(IoctlInterfaceVersionStore::IsBuildBypassActive());
}

TEST(BuildOnce, ThreadsFillingTheDictionaryCacheAtOnceShareOneFill) {
    sim::ScopedMachine machine(tabletest::ControllersMachine());
    const std::vector<CDictionarySingleton*> instances =
        AllAtOnce([] { return CDictionarySingleton::GetInstance(); });
    ASSERT_NE(instances[0], nullptr);
    for (CDictionarySingleton* instance : instances)
        EXPECT_EQ(instance, instances[0]);

    HANDLE adapter = CreateFileA("\\\\.\\Scsi0:", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(adapter, INVALID_HANDLE_VALUE);
    machine->calls().Clear();
    const std::vector<uint32_t> instanceCounts = AllAtOnce([adapter] {
        CDictionaryBuffer buffer(adapter, kDictionaryController);
        return buffer.Invoke().IsSuccessful() ? buffer.GetInstanceCount() : 99u;
    });
    for (uint32_t count : instanceCounts)
        EXPECT_EQ(count, 1u);
    EXPECT_TRUE(CDictionarySingleton::IsFilled());
    EXPECT_EQ(tabletest::MiniportCalls(machine.machine(), IOCTL_GET_SUPPORTED_DICTIONARIES).size(), 2u)
        << "one fill: raidport, then miniport";
    CloseHandle(adapter);
}

TEST(BuildOnce, ThreadsRegisteringAControllerAtOnceAskEachInterfaceOnce) {
    sim::ScopedMachine machine(tabletest::ControllersMachine());
    DeviceLocator::Build();
    ControllerLocator* record = DeviceLocator::FindByPort(0);
    ASSERT_NE(record, nullptr);
    const std::vector<InterfaceVersionEntry> built =
        IoctlInterfaceVersionStore::GetControllerVersions(*record);

    // Once by one thread, for the count of requests a registration takes.
    IoctlInterfaceVersionStore::ResetForTests();
    machine->calls().Clear();
    RegisterInterfaceVersions(*record);
    const size_t once = machine->calls().Count("DeviceIoControl");
    ASSERT_GT(once, 0u);

    IoctlInterfaceVersionStore::ResetForTests();
    machine->calls().Clear();
    AllAtOnce([record] {
        RegisterInterfaceVersions(*record);
        return 0;
    });
    EXPECT_EQ(machine->calls().Count("DeviceIoControl"), once);
    const std::vector<InterfaceVersionEntry> again =
        IoctlInterfaceVersionStore::GetControllerVersions(*record);
    ASSERT_EQ(again.size(), built.size());
    for (size_t i = 0; i < again.size(); ++i) {
        EXPECT_EQ(again[i].signature, built[i].signature);
        EXPECT_EQ(again[i].state, built[i].state) << again[i].signature;
    }
}

} // namespace
