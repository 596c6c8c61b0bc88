#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win/WinSwDevice.h"
#include "platform/win/WinSync.h"
#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/SoftwareDevices.h"

namespace {

constexpr const char* kDisk = "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000100";
constexpr const wchar_t* kWideDisk = L"SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000100";
constexpr const char* kNode = "SWD\\SwStorageEnumerator\\SwStorageDevice&S1&FTW";

sim::MachineBuilder Machine() {
    return sim::MachineBuilder("swdevices").Set("/devices", R"({"nodes": [{"id": "PCI\\VEN_1&DEV_2\\3&1"},
            {"id": "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000100", "parent": "PCI\\VEN_1&DEV_2\\3&1"},
            {"id": "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000200", "parent": "PCI\\VEN_1&DEV_2\\3&1", "present": false}]})");
}

// What a creation callback saw, and a wait for it on the machine's clock.
struct Arrival {
    std::mutex mutex;
    std::condition_variable cv;
    int calls = 0;
    HRESULT result = E_FAIL;
    std::wstring id;
    std::thread::id thread;

    static void Callback(HSWDEVICE, HRESULT result, PVOID context, PCWSTR id) {
        auto* self = static_cast<Arrival*>(context);
        std::lock_guard lock(self->mutex);
        ++self->calls;
        self->result = result;
        self->id = id ? id : L"";
        self->thread = std::this_thread::get_id();
        self->cv.notify_all();
    }
    bool Wait(uint64_t ms) {
        std::unique_lock lock(mutex);
        return platform::WaitForCondition(lock, cv, ms, [&] { return calls > 0; });
    }
};

SW_DEVICE_CREATE_INFO Info(const wchar_t* instance, const wchar_t* hardwareIds = nullptr,
                           const wchar_t* description = nullptr) {
    SW_DEVICE_CREATE_INFO info{};
    info.cbSize = sizeof info;
    info.pszInstanceId = instance;
    info.pszzHardwareIds = hardwareIds;
    info.pszDeviceDescription = description;
    return info;
}

HRESULT Create(const SW_DEVICE_CREATE_INFO& info, Arrival& arrival, HSWDEVICE* device,
               const wchar_t* parent = kWideDisk) {
    return SwDeviceCreate(L"SwStorageEnumerator", parent, &info, 0, nullptr, Arrival::Callback, &arrival,
                          device);
}

std::vector<std::wstring> SwdIds() {
    ULONG length = 0;
    EXPECT_EQ(CM_Get_Device_ID_List_SizeW(&length, L"SWD", CM_GETIDLIST_FILTER_ENUMERATOR), CR_SUCCESS);
    std::vector<wchar_t> list(length);
    EXPECT_EQ(CM_Get_Device_ID_ListW(L"SWD", list.data(), length, CM_GETIDLIST_FILTER_ENUMERATOR),
              CR_SUCCESS);
    std::vector<std::wstring> ids;
    for (const wchar_t* p = list.data(); *p; p += ids.back().size() + 1)
        ids.emplace_back(p);
    return ids;
}

TEST(WinSwDevice, ANodeWithTheHandleLifetimeGoesWhenItsHandleCloses) {
    sim::ScopedMachine machine(Machine());
    Arrival arrival;
    HSWDEVICE device = nullptr;
    const wchar_t hardwareIds[] = L"ZQVSTORAGE\\A_B1\0ZQVSTORAGE\\A_B\0";
    ASSERT_EQ(Create(Info(L"SwStorageDevice&S1&FTW", hardwareIds, L"ZQVD A B"), arrival, &device), S_OK);
    ASSERT_TRUE(arrival.Wait(1000));
    EXPECT_EQ(arrival.result, S_OK);
    EXPECT_EQ(arrival.id, L"SWD\\SwStorageEnumerator\\SwStorageDevice&S1&FTW");
    EXPECT_NE(arrival.thread, std::this_thread::get_id());

    EXPECT_TRUE(sim::swdevices::Present(kNode));
    auto node = sim::swdevices::Node(kNode);
    ASSERT_TRUE(node);
    EXPECT_EQ((*node)["parent"], sim::Value(kDisk));
    EXPECT_EQ((*node)["properties"]["HardwareIds"],
              (sim::Value::array({"ZQVSTORAGE\\A_B1", "ZQVSTORAGE\\A_B"})));
    EXPECT_EQ((*node)["properties"]["DeviceDesc"], sim::Value("ZQVD A B"));
    EXPECT_EQ(SwdIds(), std::vector<std::wstring>{arrival.id});

    // The configuration manager reads the node's properties like any other's.
    DEVINST devInst = 0;
    ASSERT_EQ(CM_Locate_DevNodeW(&devInst, arrival.id.data(), CM_LOCATE_DEVNODE_NORMAL), CR_SUCCESS);
    DEVPROPTYPE type = 0;
    std::vector<BYTE> parent(512);
    ULONG size = static_cast<ULONG>(parent.size());
    ASSERT_EQ(CM_Get_DevNode_PropertyW(devInst, &DEVPKEY_Device_Parent, &type, parent.data(), &size, 0),
              CR_SUCCESS);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(parent.data())), kWideDisk);

    SwDeviceClose(device);
    EXPECT_FALSE(sim::swdevices::Present(kNode));
    EXPECT_TRUE(sim::swdevices::Node(kNode)); // a phantom, still listed
    EXPECT_EQ(SwdIds().size(), 1u);
}

TEST(WinSwDevice, AParentPresentNodeStaysUntilItIsMadeAgainWithTheHandleLifetime) {
    sim::ScopedMachine machine(Machine());
    {
        Arrival arrival;
        HSWDEVICE device = nullptr;
        ASSERT_EQ(Create(Info(L"SwStorageDevice&S1&FTW"), arrival, &device), S_OK);
        EXPECT_EQ(SwDeviceSetLifetime(device, SWDeviceLifetimeParentPresent), S_OK);
        SwDeviceClose(device);
        EXPECT_EQ(arrival.calls, 1); // the close waited for it
    }
    EXPECT_TRUE(sim::swdevices::Present(kNode));
    EXPECT_EQ((*sim::swdevices::Node(kNode))["software"]["lifetime"], sim::Value("parent_present"));

    // Made again: the same node, which the handle lifetime then removes.
    Arrival again;
    HSWDEVICE device = nullptr;
    ASSERT_EQ(Create(Info(L"SwStorageDevice&S1&FTW"), again, &device), S_OK);
    EXPECT_EQ(SwDeviceSetLifetime(device, SWDeviceLifetimeHandle), S_OK);
    SwDeviceClose(device);
    EXPECT_EQ(again.result, S_OK);
    EXPECT_FALSE(sim::swdevices::Present(kNode));
    EXPECT_EQ(SwdIds().size(), 1u);
}

TEST(WinSwDevice, BadRequestsAreRefusedAndMakeNothing) {
    sim::ScopedMachine machine(Machine());
    Arrival arrival;
    HSWDEVICE device = reinterpret_cast<HSWDEVICE>(1);
    SW_DEVICE_CREATE_INFO wrongSize = Info(L"X");
    wrongSize.cbSize = 64;
    struct Case {
        const char* name;
        SW_DEVICE_CREATE_INFO info;
        const wchar_t* parent;
        HRESULT expected;
    } cases[] = {
        {"no instance id", Info(nullptr), kWideDisk, E_INVALIDARG},
        {"a backslash in the id", Info(L"A\\B"), kWideDisk, E_INVALIDARG},
        {"wrong size", wrongSize, kWideDisk, E_INVALIDARG},
        {"parent not present", Info(L"X"), L"SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000200", HRESULT_ERROR_NOT_FOUND},
        {"parent missing", Info(L"X"), L"SCSI\\Nothing\\1", HRESULT_ERROR_NOT_FOUND},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Create(c.info, arrival, &device, c.parent), c.expected) << c.name;
        EXPECT_EQ(device, nullptr) << c.name;
    }
    EXPECT_EQ(SwDeviceCreate(L"SwStorageEnumerator", kWideDisk, &cases[0].info, 0, nullptr, nullptr, nullptr,
                             &device),
              E_INVALIDARG);
    EXPECT_TRUE(SwdIds().empty());
    EXPECT_EQ(arrival.calls, 0);
    EXPECT_EQ(SwDeviceSetLifetime(reinterpret_cast<HSWDEVICE>(&arrival), SWDeviceLifetimeHandle), E_HANDLE);
}

TEST(WinSwDevice, ALateCallbackArrivesAfterTheWaitButBeforeTheCloseReturns) {
    sim::ScopedMachine machine(Machine());
    sim::ScopedVirtualClock clock;
    machine->faults().Add(R"({"kind": "SwDeviceCreate", "match": {"instance": "SwStorageDevice&S1&FTW"},
                              "outcome": {"callback": "late"}})");
    Arrival arrival;
    HSWDEVICE device = nullptr;
    ASSERT_EQ(Create(Info(L"SwStorageDevice&S1&FTW"), arrival, &device), S_OK);
    const uint64_t start = sim::Clock::NowMs();
    EXPECT_FALSE(arrival.Wait(1000));
    EXPECT_GE(sim::Clock::NowMs() - start, 1000u);
    EXPECT_EQ(arrival.calls, 0);
    // The creator's next call lets it run, on its own thread, and returns after it.
    EXPECT_EQ(SwDeviceSetLifetime(device, SWDeviceLifetimeHandle), S_OK);
    EXPECT_EQ(arrival.calls, 1);
    EXPECT_NE(arrival.thread, std::this_thread::get_id());
    SwDeviceClose(device);
    EXPECT_EQ(arrival.calls, 1);
}

TEST(WinSwDevice, NoCallbackRunsOnceTheCloseHasReturned) {
    sim::ScopedMachine machine(Machine());
    machine->faults().Add(R"({"kind": "SwDeviceCreate", "outcome": {"callback": "none"}, "times": 1})");
    HSWDEVICE device = nullptr;
    {
        // The context lives on this scope only; a callback after the close would touch freed memory,
        // which the address sanitizer reports.
        auto arrival = std::make_unique<Arrival>();
        ASSERT_EQ(Create(Info(L"SwStorageDevice&S1&FTW"), *arrival, &device), S_OK);
        SwDeviceClose(device);
        EXPECT_EQ(arrival->calls, 0);
    }
    // Nodes made from then on are reported as usual.
    Arrival next;
    ASSERT_EQ(Create(Info(L"SwStorageDevice&S2&FTW"), next, &device), S_OK);
    EXPECT_TRUE(next.Wait(1000));
    SwDeviceClose(device);
}

TEST(WinSwDevice, AFailedCreationIsReportedThroughTheCallback) {
    sim::ScopedMachine machine(Machine());
    machine->faults().Add(
        R"({"kind": "SwDeviceCreate", "match": {"instance": "Y"}, "outcome": {"hresult": "0x8007000E"}})");
    machine->faults().Add(R"({"kind": "SwDeviceCreate", "outcome": {"callback_hresult": "0x80070005"}})");
    Arrival arrival;
    HSWDEVICE device = nullptr;
    EXPECT_EQ(Create(Info(L"Y"), arrival, &device), E_OUTOFMEMORY);
    ASSERT_EQ(Create(Info(L"SwStorageDevice&S1&FTW"), arrival, &device), S_OK);
    ASSERT_TRUE(arrival.Wait(1000));
    EXPECT_EQ(arrival.result, E_ACCESSDENIED);
    EXPECT_EQ(arrival.id, L"");
    EXPECT_EQ(SwDeviceSetLifetime(device, SWDeviceLifetimeParentPresent), HRESULT_ERROR_NOT_FOUND);
    SwDeviceClose(device);
    EXPECT_FALSE(sim::swdevices::Node(kNode));
}

} // namespace
