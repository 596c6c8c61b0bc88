// Software device nodes over the simulated device tree (sim/SoftwareDevices.h). The node is made
// (or revived) when SwDeviceCreate is called; its creation callback runs on a thread of its own.
//
// Fault kinds:
// - "SwDeviceCreate" (selectors `enumerator`, `parent`, `instance`): {"hresult": v} fails the call
//   and makes nothing; {"callback_hresult": v} makes nothing and reports v through the callback;
//   {"callback": "late"} holds the callback until the creator's next call on the handle
//   (SwDeviceSetLifetime or SwDeviceClose), which lets it run and waits until it has returned, so a
//   test sees a callback that arrives after the creator stopped waiting for it; {"callback": "none"}
//   never runs it.
// - "SwDeviceSetLifetime" (`device`, `lifetime`): {"hresult": v}.
// - "SwDeviceClose" (`device`): {"keep": true} leaves the node in place, as a removal that is vetoed.
//
// The callback never runs after SwDeviceClose has returned: the close waits for a callback that is
// running and drops one that has not started.
#include "platform/win/WinSwDevice.h"

#include <condition_variable>
#include <cwchar>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "sim/Schema.h"
#include "sim/SoftwareDevices.h"
#include "sim/WideText.h"
#include "sim/win32/SimCall.h"

struct HSWDEVICE__ {
    enum class Callback { Waiting, Held, Released, Running, Done, Dropped };

    std::string deviceId; // empty when nothing was made
    std::wstring wideId;
    HRESULT result = S_OK;
    SW_DEVICE_CREATE_CALLBACK callback = nullptr;
    PVOID context = nullptr;

    std::mutex mutex;
    std::condition_variable changed;
    Callback state = Callback::Waiting;
    std::thread thread;
};

namespace {

namespace schema = sim::schema;

const schema::FaultKind
    kCreateFaults("SwDeviceCreate", {"enumerator", "parent", "instance"},
                  schema::Object({{"hresult", schema::Word32()},
                                  {"callback_hresult", schema::Word32()},
                                  {"callback", schema::OneOfText({"now", "late", "none"})}}));
const schema::FaultKind kLifetimeFaults("SwDeviceSetLifetime", {"device", "lifetime"},
                                        schema::Object({{"hresult", schema::Word32()}}));
const schema::FaultKind kCloseFaults("SwDeviceClose", {"device"}, schema::Object({{"keep", schema::Bool()}}));

// The handles that are open, so a stale or made-up handle is refused instead of used.
std::mutex g_handlesMutex;
std::set<HSWDEVICE> g_handles;

bool IsOpen(HSWDEVICE device) {
    std::lock_guard lock(g_handlesMutex);
    return g_handles.count(device) != 0;
}

HRESULT Invalid(uint32_t error) {
    return HRESULT_FROM_WIN32(error);
}

// The callback thread: runs the callback once it is released, unless it is dropped first.
void Deliver(HSWDEVICE device) {
    std::unique_lock lock(device->mutex);
    device->changed.wait(lock, [&] {
        return device->state == HSWDEVICE__::Callback::Released ||
               device->state == HSWDEVICE__::Callback::Dropped;
    });
    if (device->state == HSWDEVICE__::Callback::Dropped)
        return;
    device->state = HSWDEVICE__::Callback::Running;
    lock.unlock();
    device->callback(device, device->result, device->context,
                     device->deviceId.empty() ? nullptr : device->wideId.c_str());
    lock.lock();
    device->state = HSWDEVICE__::Callback::Done;
    device->changed.notify_all();
}

// Lets a held callback run and waits until it has returned.
void ReleaseHeld(HSWDEVICE device) {
    std::unique_lock lock(device->mutex);
    if (device->state != HSWDEVICE__::Callback::Held)
        return;
    device->state = HSWDEVICE__::Callback::Released;
    device->changed.notify_all();
    device->changed.wait(lock, [&] { return device->state == HSWDEVICE__::Callback::Done; });
}

std::vector<std::string> MultiSz(PCZZWSTR list) {
    std::vector<std::string> out;
    for (const wchar_t* p = list; p && *p; p += std::wcslen(p) + 1)
        out.push_back(sim::ToUtf8(p));
    return out;
}

} // namespace

HRESULT SwDeviceCreate(PCWSTR enumeratorName, PCWSTR parentDeviceInstance, const SW_DEVICE_CREATE_INFO* info,
                       ULONG propertyCount, const DEVPROPERTY* properties, SW_DEVICE_CREATE_CALLBACK callback,
                       PVOID context, HSWDEVICE* device) {
    if (!device)
        return E_POINTER;
    *device = nullptr;
    if (!enumeratorName || !*enumeratorName || !parentDeviceInstance || !info ||
        info->cbSize != sizeof(SW_DEVICE_CREATE_INFO) || !info->pszInstanceId || !*info->pszInstanceId ||
        std::wcschr(info->pszInstanceId, L'\\') || !callback || propertyCount != 0 || properties)
        return E_INVALIDARG;
    sim::swdevices::Creation creation;
    creation.enumerator = sim::ToUtf8(enumeratorName);
    creation.parent = sim::ToUtf8(parentDeviceInstance);
    creation.instanceId = sim::ToUtf8(info->pszInstanceId);
    if (info->pszzHardwareIds)
        creation.hardwareIds = MultiSz(info->pszzHardwareIds);
    if (info->pszDeviceDescription)
        creation.description = sim::ToUtf8(info->pszDeviceDescription);

    auto handle = std::make_unique<HSWDEVICE__>();
    handle->callback = callback;
    handle->context = context;
    const HRESULT hr = platform::Guarded(
        [&]() -> HRESULT {
            auto outcome = platform::SimCall("SwDeviceCreate", {{"enumerator", creation.enumerator},
                                                                {"parent", creation.parent},
                                                                {"instance", creation.instanceId}});
            if (outcome && outcome->contains("hresult"))
                return static_cast<HRESULT>(
                    platform::OutcomeNumber(*outcome, "hresult", static_cast<uint32_t>(E_FAIL)));
            const std::string mode = outcome ? outcome->value("callback", "now") : "now";
            handle->state = mode == "now" ? HSWDEVICE__::Callback::Released : HSWDEVICE__::Callback::Held;
            if (mode == "none")
                handle->state = HSWDEVICE__::Callback::Dropped;
            if (outcome && outcome->contains("callback_hresult")) {
                handle->result = static_cast<HRESULT>(
                    platform::OutcomeNumber(*outcome, "callback_hresult", static_cast<uint32_t>(E_FAIL)));
                return S_OK;
            }
            if (uint32_t error = sim::swdevices::Create(creation, &handle->deviceId))
                return HRESULT_FROM_WIN32(error);
            handle->wideId = sim::FromUtf8(handle->deviceId);
            return S_OK;
        },
        Invalid);
    if (FAILED(hr))
        return hr;
    HSWDEVICE raw = handle.release();
    raw->thread = std::thread(Deliver, raw);
    {
        std::lock_guard lock(g_handlesMutex);
        g_handles.insert(raw);
    }
    *device = raw;
    return S_OK;
}

HRESULT SwDeviceSetLifetime(HSWDEVICE device, SW_DEVICE_LIFETIME lifetime) {
    if (!IsOpen(device))
        return E_HANDLE;
    if (lifetime != SWDeviceLifetimeHandle && lifetime != SWDeviceLifetimeParentPresent)
        return E_INVALIDARG;
    ReleaseHeld(device);
    return platform::Guarded(
        [&]() -> HRESULT {
            auto outcome =
                platform::SimCall("SwDeviceSetLifetime",
                                  {{"device", device->deviceId}, {"lifetime", static_cast<int>(lifetime)}});
            if (outcome && outcome->contains("hresult"))
                return static_cast<HRESULT>(
                    platform::OutcomeNumber(*outcome, "hresult", static_cast<uint32_t>(E_FAIL)));
            if (device->deviceId.empty())
                return HRESULT_ERROR_NOT_FOUND;
            return HRESULT_FROM_WIN32(
                sim::swdevices::SetLifetime(device->deviceId, lifetime == SWDeviceLifetimeParentPresent));
        },
        Invalid);
}

void SwDeviceClose(HSWDEVICE device) {
    {
        std::lock_guard lock(g_handlesMutex);
        if (!g_handles.erase(device))
            return;
    }
    ReleaseHeld(device);
    {
        // A released callback is delivered before the close, whether or not its thread has started
        // yet: the arrival it reports has happened.
        std::unique_lock lock(device->mutex);
        device->changed.wait(lock, [&] {
            return device->state != HSWDEVICE__::Callback::Released &&
                   device->state != HSWDEVICE__::Callback::Running;
        });
        if (device->state != HSWDEVICE__::Callback::Done)
            device->state = HSWDEVICE__::Callback::Dropped;
        device->changed.notify_all();
    }
    // A callback that is running ends before the close returns.
    device->thread.join();
    platform::Guarded(
        [&] {
            auto outcome = platform::SimCall("SwDeviceClose", {{"device", device->deviceId}});
            const bool keep = outcome && outcome->value("keep", false);
            if (!device->deviceId.empty())
                sim::swdevices::Close(device->deviceId, keep);
            return 0;
        },
        [](uint32_t) { return 0; });
    delete device;
}
