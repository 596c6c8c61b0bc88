// The boot services table of the simulated firmware. Each service passes the seam as
// "BootServices.<name>" with the selectors listed in sim/README.md; an outcome {"efi_error": n}
// makes it return that error before it does anything.
#include <cstring>

#include "sim/Clock.h"
#include "sim/Schema.h"
#include "sim/uefi/FirmwareState.h"

namespace sim::uefi {
namespace {

using nlohmann::json;
using State = Firmware::State;
namespace schema = sim::schema;

schema::Shape StatusOutcome() {
    return schema::Object({{"efi_error", schema::Uint(0xFFFFFFFFu)}});
}

const schema::FaultKind kPool({"BootServices.AllocatePool"}, {"pool_type", "size"}, StatusOutcome());
const schema::FaultKind kPages({"BootServices.AllocatePages", "BootServices.FreePages"},
                               {"memory_type", "pages"}, StatusOutcome());
const schema::FaultKind kNoSelectors(
    {"BootServices.FreePool", "BootServices.GetMemoryMap", "BootServices.CloseEvent",
     "BootServices.SignalEvent", "BootServices.CheckEvent", "BootServices.SetTimer",
     "BootServices.RegisterProtocolNotify", "BootServices.LocateDevicePath", "BootServices.LoadImage",
     "BootServices.StartImage", "BootServices.Exit", "BootServices.UnloadImage",
     "BootServices.ExitBootServices", "BootServices.GetNextMonotonicCount", "BootServices.SetWatchdogTimer",
     "BootServices.ConnectController", "BootServices.DisconnectController", "BootServices.CalculateCrc32"},
    {}, StatusOutcome());
const schema::FaultKind kEvents({"BootServices.CreateEvent", "BootServices.CreateEventEx"}, {"type"},
                                StatusOutcome());
const schema::FaultKind kWait({"BootServices.WaitForEvent"}, {"count"}, StatusOutcome());
const schema::FaultKind kStall({"BootServices.Stall"}, {"microseconds"}, StatusOutcome());
const schema::FaultKind
    kProtocolOnHandle({"BootServices.InstallProtocolInterface", "BootServices.ReinstallProtocolInterface",
                       "BootServices.UninstallProtocolInterface", "BootServices.HandleProtocol",
                       "BootServices.CloseProtocol", "BootServices.OpenProtocolInformation"},
                      {"handle", "protocol"}, StatusOutcome());
const schema::FaultKind kOpen({"BootServices.OpenProtocol"}, {"handle", "protocol", "attributes"},
                              StatusOutcome());
const schema::FaultKind kHandle({"BootServices.ProtocolsPerHandle",
                                 "BootServices.InstallMultipleProtocolInterfaces",
                                 "BootServices.UninstallMultipleProtocolInterfaces"},
                                {"handle"}, StatusOutcome());
const schema::FaultKind kLocate({"BootServices.LocateHandle", "BootServices.LocateHandleBuffer"},
                                {"search_type", "protocol"}, StatusOutcome());
const schema::FaultKind kProtocol({"BootServices.LocateProtocol"}, {"protocol"}, StatusOutcome());
const schema::FaultKind kConfiguration({"BootServices.InstallConfigurationTable"}, {"guid"}, StatusOutcome());

const char* SearchTypeName(EFI_LOCATE_SEARCH_TYPE type) {
    switch (type) {
    case AllHandles:
        return "all_handles";
    case ByRegisterNotify:
        return "by_register_notify";
    case ByProtocol:
        return "by_protocol";
    }
    return "unknown";
}

json ProtocolSelector(const EFI_GUID* protocol) {
    return protocol ? json(GuidText(*protocol)) : json(nullptr);
}

json HandleSelector(EFI_HANDLE handle) {
    return Active().handles.NameOf(handle);
}

bool ValidMemoryType(uint32_t type) {
    return type < EfiMaxMemoryType || type >= 0x70000000u;
}

// The open attributes OpenProtocol accepts.
bool ValidOpenAttributes(uint32_t attributes) {
    switch (attributes) {
    case EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL:
    case EFI_OPEN_PROTOCOL_GET_PROTOCOL:
    case EFI_OPEN_PROTOCOL_TEST_PROTOCOL:
    case EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER:
    case EFI_OPEN_PROTOCOL_BY_DRIVER:
    case EFI_OPEN_PROTOCOL_EXCLUSIVE:
    case EFI_OPEN_PROTOCOL_BY_DRIVER | EFI_OPEN_PROTOCOL_EXCLUSIVE:
        return true;
    default:
        return false;
    }
}

// A buffer of the pool that the program frees, as the services that return lists hand them out.
template <class T> T* PoolCopy(const std::vector<T>& items) {
    void* memory = Active().pool.Allocate(items.size() * sizeof(T), EfiBootServicesData);
    if (memory && !items.empty())
        std::memcpy(memory, items.data(), items.size() * sizeof(T));
    return static_cast<T*>(memory);
}

Event* KnownEvent(EFI_EVENT event) {
    auto& events = Active().events;
    auto* e = static_cast<Event*>(event);
    if (e == &Active().conIn.keyEvent)
        return e;
    return events.count(e) ? e : nullptr;
}

// Whether a key waits, asking the host's source when the queue is empty.
bool KeyWaiting() {
    TextInput& in = Active().conIn;
    if (in.keys.empty() && in.source)
        if (auto key = in.source())
            in.keys.push_back(*key);
    return !in.keys.empty();
}

EFI_TPL EFIAPI RaiseTPL(EFI_TPL newTpl) {
    EFI_TPL old = TPL_APPLICATION;
    GuardedVoid("BootServices.RaiseTPL", [&] {
        Seam("BootServices.RaiseTPL", {{"tpl", newTpl}});
        State& s = Active();
        old = s.tpl;
        if (newTpl < old)
            Problem("BootServices.RaiseTPL: " + std::to_string(newTpl) + " is below the current level " +
                    std::to_string(old));
        s.tpl = newTpl;
    });
    return old;
}

VOID EFIAPI RestoreTPL(EFI_TPL oldTpl) {
    GuardedVoid("BootServices.RestoreTPL", [&] {
        Seam("BootServices.RestoreTPL", {{"tpl", oldTpl}});
        Active().tpl = oldTpl;
    });
}

EFI_STATUS EFIAPI AllocatePages(EFI_ALLOCATE_TYPE type, EFI_MEMORY_TYPE memoryType, UINTN pages,
                                EFI_PHYSICAL_ADDRESS* memory) {
    return Guarded("BootServices.AllocatePages", [&]() -> EFI_STATUS {
        if (auto status =
                Injected("BootServices.AllocatePages", {{"memory_type", memoryType}, {"pages", pages}}))
            return *status;
        if (!memory || !ValidMemoryType(memoryType) || type >= MaxAllocateType)
            return EFI_INVALID_PARAMETER;
        if (type != AllocateAnyPages)
            return EFI_UNSUPPORTED;
        void* block = Active().pool.AllocatePages(pages, memoryType);
        if (!block)
            return EFI_OUT_OF_RESOURCES;
        *memory = reinterpret_cast<uintptr_t>(block);
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI FreePages(EFI_PHYSICAL_ADDRESS memory, UINTN pages) {
    return Guarded("BootServices.FreePages", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.FreePages", {{"pages", pages}}))
            return *status;
        if (!Active().pool.FreePages(reinterpret_cast<void*>(static_cast<uintptr_t>(memory)), pages)) {
            Problem("BootServices.FreePages: pages the firmware did not allocate");
            return EFI_NOT_FOUND;
        }
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI GetMemoryMap(UINTN*, EFI_MEMORY_DESCRIPTOR*, UINTN*, UINTN*, UINT32*) {
    return NotProvided("BootServices.GetMemoryMap");
}

EFI_STATUS EFIAPI AllocatePool(EFI_MEMORY_TYPE poolType, UINTN size, VOID** buffer) {
    return Guarded("BootServices.AllocatePool", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.AllocatePool", {{"pool_type", poolType}, {"size", size}}))
            return *status;
        if (!buffer || !ValidMemoryType(poolType))
            return EFI_INVALID_PARAMETER;
        *buffer = Active().pool.Allocate(size, poolType);
        return *buffer ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
    });
}

EFI_STATUS EFIAPI FreePool(VOID* buffer) {
    return Guarded("BootServices.FreePool", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.FreePool", json::object()))
            return *status;
        if (!Active().pool.Free(buffer)) {
            Problem("BootServices.FreePool: memory the firmware did not allocate from its pool");
            return EFI_INVALID_PARAMETER;
        }
        return EFI_SUCCESS;
    });
}

EFI_STATUS CreateEventCommon(const char* kind, UINT32 type, EFI_TPL notifyTpl, EFI_EVENT_NOTIFY notify,
                             VOID* context, EFI_EVENT* event) {
    return Guarded(kind, [&]() -> EFI_STATUS {
        if (auto status = Injected(kind, {{"type", type}}))
            return *status;
        if (!event)
            return EFI_INVALID_PARAMETER;
        if ((type & (EVT_NOTIFY_WAIT | EVT_NOTIFY_SIGNAL)) != 0 && !notify)
            return EFI_INVALID_PARAMETER;
        auto e = std::make_unique<Event>();
        e->type = type;
        e->notifyTpl = notifyTpl;
        e->notify = notify;
        e->context = context;
        *event = e.get();
        Active().events.emplace(e.get(), std::move(e));
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI CreateEvent(UINT32 type, EFI_TPL notifyTpl, EFI_EVENT_NOTIFY notify, VOID* context,
                              EFI_EVENT* event) {
    return CreateEventCommon("BootServices.CreateEvent", type, notifyTpl, notify, context, event);
}

EFI_STATUS EFIAPI CreateEventEx(UINT32 type, EFI_TPL notifyTpl, EFI_EVENT_NOTIFY notify, CONST VOID* context,
                                CONST EFI_GUID*, EFI_EVENT* event) {
    return CreateEventCommon("BootServices.CreateEventEx", type, notifyTpl, notify,
                             const_cast<VOID*>(context), event);
}

EFI_STATUS EFIAPI SetTimer(EFI_EVENT, EFI_TIMER_DELAY, UINT64) {
    return NotProvided("BootServices.SetTimer");
}

EFI_STATUS EFIAPI WaitForEvent(UINTN count, EFI_EVENT* events, UINTN* index) {
    return Guarded("BootServices.WaitForEvent", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.WaitForEvent", {{"count", count}}))
            return *status;
        if (count == 0 || !events || !index)
            return EFI_INVALID_PARAMETER;
        if (Active().tpl != TPL_APPLICATION)
            return EFI_UNSUPPORTED;
        for (UINTN i = 0; i < count; ++i) {
            Event* e = KnownEvent(events[i]);
            if (!e) {
                Problem("BootServices.WaitForEvent: an event the firmware does not know");
                *index = i;
                return EFI_INVALID_PARAMETER;
            }
            if (e->type & EVT_NOTIFY_SIGNAL) {
                *index = i;
                return EFI_INVALID_PARAMETER;
            }
        }
        for (UINTN i = 0; i < count; ++i) {
            Event* e = KnownEvent(events[i]);
            if (e->keys ? KeyWaiting() : e->signalled) {
                e->signalled = false;
                *index = i;
                return EFI_SUCCESS;
            }
        }
        // Nothing else runs while a firmware program waits here: the wait would never end.
        Problem("BootServices.WaitForEvent: nothing can signal the events waited on (no key is queued)");
        return EFI_NOT_READY;
    });
}

EFI_STATUS EFIAPI SignalEvent(EFI_EVENT event) {
    return Guarded("BootServices.SignalEvent", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.SignalEvent", json::object()))
            return *status;
        Event* e = KnownEvent(event);
        if (!e)
            return EFI_INVALID_PARAMETER;
        e->signalled = true;
        if ((e->type & EVT_NOTIFY_SIGNAL) && e->notify)
            e->notify(event, e->context);
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI CloseEvent(EFI_EVENT event) {
    return Guarded("BootServices.CloseEvent", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.CloseEvent", json::object()))
            return *status;
        auto& events = Active().events;
        auto it = events.find(static_cast<Event*>(event));
        if (it == events.end()) {
            Problem("BootServices.CloseEvent: an event the program did not create");
            return EFI_INVALID_PARAMETER;
        }
        events.erase(it);
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI CheckEvent(EFI_EVENT event) {
    return Guarded("BootServices.CheckEvent", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.CheckEvent", json::object()))
            return *status;
        Event* e = KnownEvent(event);
        if (!e || (e->type & EVT_NOTIFY_SIGNAL))
            return EFI_INVALID_PARAMETER;
        if (e->keys ? KeyWaiting() : e->signalled) {
            e->signalled = false;
            return EFI_SUCCESS;
        }
        return EFI_NOT_READY;
    });
}

EFI_STATUS EFIAPI InstallProtocolInterface(EFI_HANDLE* handle, EFI_GUID* protocol, EFI_INTERFACE_TYPE type,
                                           VOID* interface) {
    return Guarded("BootServices.InstallProtocolInterface", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.InstallProtocolInterface",
                                   {{"handle", HandleSelector(handle ? *handle : nullptr)},
                                    {"protocol", ProtocolSelector(protocol)}}))
            return *status;
        if (!protocol || type != EFI_NATIVE_INTERFACE)
            return EFI_INVALID_PARAMETER;
        return Active().handles.Install(handle, *protocol, interface);
    });
}

EFI_STATUS EFIAPI ReinstallProtocolInterface(EFI_HANDLE handle, EFI_GUID* protocol, VOID* oldInterface,
                                             VOID* newInterface) {
    return Guarded("BootServices.ReinstallProtocolInterface", [&]() -> EFI_STATUS {
        if (auto status =
                Injected("BootServices.ReinstallProtocolInterface",
                         {{"handle", HandleSelector(handle)}, {"protocol", ProtocolSelector(protocol)}}))
            return *status;
        if (!protocol)
            return EFI_INVALID_PARAMETER;
        return Active().handles.Reinstall(handle, *protocol, oldInterface, newInterface);
    });
}

EFI_STATUS EFIAPI UninstallProtocolInterface(EFI_HANDLE handle, EFI_GUID* protocol, VOID* interface) {
    return Guarded("BootServices.UninstallProtocolInterface", [&]() -> EFI_STATUS {
        if (auto status =
                Injected("BootServices.UninstallProtocolInterface",
                         {{"handle", HandleSelector(handle)}, {"protocol", ProtocolSelector(protocol)}}))
            return *status;
        if (!protocol)
            return EFI_INVALID_PARAMETER;
        return Active().handles.Uninstall(handle, *protocol, interface);
    });
}

// OpenProtocol's parameter checks and rules, shared with HandleProtocol.
EFI_STATUS OpenChecked(EFI_HANDLE handle, EFI_GUID* protocol, VOID** interface, EFI_HANDLE agent,
                       EFI_HANDLE controller, UINT32 attributes) {
    State& s = Active();
    if (!protocol || !ValidOpenAttributes(attributes))
        return EFI_INVALID_PARAMETER;
    if (attributes != EFI_OPEN_PROTOCOL_TEST_PROTOCOL && !interface)
        return EFI_INVALID_PARAMETER;
    if (!s.handles.Find(handle)) {
        Problem("BootServices.OpenProtocol: a handle the firmware does not know");
        return EFI_INVALID_PARAMETER;
    }
    const bool needsAgent = attributes & (EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER |
                                          EFI_OPEN_PROTOCOL_BY_DRIVER | EFI_OPEN_PROTOCOL_EXCLUSIVE);
    const bool needsController =
        attributes & (EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER | EFI_OPEN_PROTOCOL_BY_DRIVER);
    if ((needsAgent || agent) && !s.handles.Find(agent))
        return EFI_INVALID_PARAMETER;
    if ((needsController || controller) && !s.handles.Find(controller))
        return EFI_INVALID_PARAMETER;
    if (attributes == EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER && handle == controller)
        return EFI_INVALID_PARAMETER;
    return s.handles.Open(handle, *protocol, interface, agent, controller, attributes);
}

EFI_STATUS EFIAPI HandleProtocol(EFI_HANDLE handle, EFI_GUID* protocol, VOID** interface) {
    return Guarded("BootServices.HandleProtocol", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.HandleProtocol", {{"handle", HandleSelector(handle)},
                                                                   {"protocol", ProtocolSelector(protocol)}}))
            return *status;
        return OpenChecked(handle, protocol, interface, Active().firmwareAgent, nullptr,
                           EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL);
    });
}

EFI_STATUS EFIAPI RegisterProtocolNotify(EFI_GUID*, EFI_EVENT, VOID**) {
    return NotProvided("BootServices.RegisterProtocolNotify");
}

EFI_STATUS EFIAPI LocateHandle(EFI_LOCATE_SEARCH_TYPE searchType, EFI_GUID* protocol, VOID*,
                               UINTN* bufferSize, EFI_HANDLE* buffer) {
    return Guarded("BootServices.LocateHandle", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.LocateHandle", {{"search_type", SearchTypeName(searchType)},
                                                                 {"protocol", ProtocolSelector(protocol)}}))
            return *status;
        if (!bufferSize || (searchType == ByProtocol && !protocol))
            return EFI_INVALID_PARAMETER;
        if (searchType == ByRegisterNotify)
            return EFI_NOT_FOUND;
        if (searchType != AllHandles && searchType != ByProtocol)
            return EFI_INVALID_PARAMETER;
        auto handles = Active().handles.WithProtocol(searchType == ByProtocol ? protocol : nullptr);
        if (handles.empty())
            return EFI_NOT_FOUND;
        const UINTN needed = handles.size() * sizeof(EFI_HANDLE);
        if (*bufferSize < needed) {
            *bufferSize = needed;
            return EFI_BUFFER_TOO_SMALL;
        }
        if (!buffer)
            return EFI_INVALID_PARAMETER;
        std::memcpy(buffer, handles.data(), needed);
        *bufferSize = needed;
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI LocateDevicePath(EFI_GUID*, EFI_DEVICE_PATH_PROTOCOL**, EFI_HANDLE*) {
    return NotProvided("BootServices.LocateDevicePath");
}

EFI_STATUS EFIAPI InstallConfigurationTable(EFI_GUID* guid, VOID* table) {
    return Guarded("BootServices.InstallConfigurationTable", [&]() -> EFI_STATUS {
        if (auto status =
                Injected("BootServices.InstallConfigurationTable", {{"guid", ProtocolSelector(guid)}}))
            return *status;
        if (!guid)
            return EFI_INVALID_PARAMETER;
        State& s = Active();
        for (auto it = s.configuration.begin(); it != s.configuration.end(); ++it) {
            if (SameGuid(it->VendorGuid, *guid)) {
                if (table)
                    it->VendorTable = table;
                else
                    s.configuration.erase(it);
                UpdateSystemTable(s);
                return EFI_SUCCESS;
            }
        }
        if (!table)
            return EFI_NOT_FOUND;
        s.configuration.push_back(EFI_CONFIGURATION_TABLE{*guid, table});
        UpdateSystemTable(s);
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI LoadImage(BOOLEAN, EFI_HANDLE, EFI_DEVICE_PATH_PROTOCOL*, VOID*, UINTN, EFI_HANDLE*) {
    return NotProvided("BootServices.LoadImage");
}

EFI_STATUS EFIAPI StartImage(EFI_HANDLE, UINTN*, CHAR16**) {
    return NotProvided("BootServices.StartImage");
}

EFI_STATUS EFIAPI Exit(EFI_HANDLE, EFI_STATUS, UINTN, CHAR16*) {
    return NotProvided("BootServices.Exit");
}

EFI_STATUS EFIAPI UnloadImage(EFI_HANDLE) {
    return NotProvided("BootServices.UnloadImage");
}

EFI_STATUS EFIAPI ExitBootServices(EFI_HANDLE, UINTN) {
    return NotProvided("BootServices.ExitBootServices");
}

EFI_STATUS EFIAPI GetNextMonotonicCount(UINT64* count) {
    return Guarded("BootServices.GetNextMonotonicCount", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.GetNextMonotonicCount", json::object()))
            return *status;
        if (!count)
            return EFI_INVALID_PARAMETER;
        *count = ++Active().monotonicCount;
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI Stall(UINTN microseconds) {
    return Guarded("BootServices.Stall", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.Stall", {{"microseconds", microseconds}}))
            return *status;
        // The machine's clock, so a test's virtual time takes the stall at once.
        if (microseconds > 0)
            sim::Clock::SleepMs(
                static_cast<uint32_t>(std::min<uint64_t>((microseconds + 999) / 1000, 0xFFFFFFFEu)));
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI SetWatchdogTimer(UINTN, UINT64, UINTN, CHAR16*) {
    return Guarded("BootServices.SetWatchdogTimer", [&]() -> EFI_STATUS {
        // No watchdog runs in the simulated firmware; arming or disarming it changes nothing.
        if (auto status = Injected("BootServices.SetWatchdogTimer", json::object()))
            return *status;
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI ConnectController(EFI_HANDLE, EFI_HANDLE*, EFI_DEVICE_PATH_PROTOCOL*, BOOLEAN) {
    return NotProvided("BootServices.ConnectController");
}

EFI_STATUS EFIAPI DisconnectController(EFI_HANDLE, EFI_HANDLE, EFI_HANDLE) {
    return NotProvided("BootServices.DisconnectController");
}

EFI_STATUS EFIAPI OpenProtocol(EFI_HANDLE handle, EFI_GUID* protocol, VOID** interface, EFI_HANDLE agent,
                               EFI_HANDLE controller, UINT32 attributes) {
    return Guarded("BootServices.OpenProtocol", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.OpenProtocol", {{"handle", HandleSelector(handle)},
                                                                 {"protocol", ProtocolSelector(protocol)},
                                                                 {"attributes", attributes}})) {
            if (interface && attributes != EFI_OPEN_PROTOCOL_TEST_PROTOCOL)
                *interface = nullptr;
            return *status;
        }
        return OpenChecked(handle, protocol, interface, agent, controller, attributes);
    });
}

EFI_STATUS EFIAPI CloseProtocol(EFI_HANDLE handle, EFI_GUID* protocol, EFI_HANDLE agent,
                                EFI_HANDLE controller) {
    return Guarded("BootServices.CloseProtocol", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.CloseProtocol", {{"handle", HandleSelector(handle)},
                                                                  {"protocol", ProtocolSelector(protocol)}}))
            return *status;
        State& s = Active();
        if (!protocol || !s.handles.Find(handle) || !s.handles.Find(agent) ||
            (controller && !s.handles.Find(controller)))
            return EFI_INVALID_PARAMETER;
        return s.handles.Close(handle, *protocol, agent, controller);
    });
}

EFI_STATUS EFIAPI OpenProtocolInformation(EFI_HANDLE handle, EFI_GUID* protocol,
                                          EFI_OPEN_PROTOCOL_INFORMATION_ENTRY** entries, UINTN* count) {
    return Guarded("BootServices.OpenProtocolInformation", [&]() -> EFI_STATUS {
        if (auto status =
                Injected("BootServices.OpenProtocolInformation",
                         {{"handle", HandleSelector(handle)}, {"protocol", ProtocolSelector(protocol)}}))
            return *status;
        if (!protocol || !entries || !count)
            return EFI_INVALID_PARAMETER;
        const ProtocolEntry* p = Active().handles.FindProtocol(handle, *protocol);
        if (!p)
            return EFI_NOT_FOUND;
        std::vector<EFI_OPEN_PROTOCOL_INFORMATION_ENTRY> list;
        for (const OpenRecord& r : p->opens)
            list.push_back({r.agent, r.controller, r.attributes, r.count});
        *entries = PoolCopy(list);
        if (!*entries)
            return EFI_OUT_OF_RESOURCES;
        *count = list.size();
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI ProtocolsPerHandle(EFI_HANDLE handle, EFI_GUID*** protocols, UINTN* count) {
    return Guarded("BootServices.ProtocolsPerHandle", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.ProtocolsPerHandle", {{"handle", HandleSelector(handle)}}))
            return *status;
        HandleEntry* entry = Active().handles.Find(handle);
        if (!entry || !protocols || !count)
            return EFI_INVALID_PARAMETER;
        std::vector<EFI_GUID*> list;
        for (const auto& p : entry->protocols)
            list.push_back(&p->guid);
        *protocols = PoolCopy(list);
        if (!*protocols)
            return EFI_OUT_OF_RESOURCES;
        *count = list.size();
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI LocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE searchType, EFI_GUID* protocol, VOID*,
                                     UINTN* count, EFI_HANDLE** buffer) {
    return Guarded("BootServices.LocateHandleBuffer", [&]() -> EFI_STATUS {
        if (auto status =
                Injected("BootServices.LocateHandleBuffer", {{"search_type", SearchTypeName(searchType)},
                                                             {"protocol", ProtocolSelector(protocol)}}))
            return *status;
        if (!count || !buffer || (searchType == ByProtocol && !protocol))
            return EFI_INVALID_PARAMETER;
        *count = 0;
        *buffer = nullptr;
        if (searchType == ByRegisterNotify)
            return EFI_NOT_FOUND;
        if (searchType != AllHandles && searchType != ByProtocol)
            return EFI_INVALID_PARAMETER;
        auto handles = Active().handles.WithProtocol(searchType == ByProtocol ? protocol : nullptr);
        if (handles.empty())
            return EFI_NOT_FOUND;
        *buffer = PoolCopy(handles);
        if (!*buffer)
            return EFI_OUT_OF_RESOURCES;
        *count = handles.size();
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI LocateProtocol(EFI_GUID* protocol, VOID*, VOID** interface) {
    return Guarded("BootServices.LocateProtocol", [&]() -> EFI_STATUS {
        if (interface)
            *interface = nullptr;
        if (auto status = Injected("BootServices.LocateProtocol", {{"protocol", ProtocolSelector(protocol)}}))
            return *status;
        if (!protocol || !interface)
            return EFI_INVALID_PARAMETER;
        State& s = Active();
        auto handles = s.handles.WithProtocol(protocol);
        if (handles.empty())
            return EFI_NOT_FOUND;
        *interface = s.handles.FindProtocol(handles.front(), *protocol)->interface;
        return EFI_SUCCESS;
    });
}

// The variable argument lists of EFIAPI functions follow the firmware's calling convention.
#if defined(__x86_64__)
#define EFI_VA_LIST __builtin_ms_va_list
#define EFI_VA_START(list, last) __builtin_ms_va_start(list, last)
#define EFI_VA_END(list) __builtin_ms_va_end(list)
#else
#define EFI_VA_LIST va_list
#define EFI_VA_START(list, last) va_start(list, last)
#define EFI_VA_END(list) va_end(list)
#endif

// The (GUID, interface) pairs of a variable argument list, up to the null GUID pointer.
std::vector<std::pair<EFI_GUID*, VOID*>> Pairs(EFI_VA_LIST& list) {
    std::vector<std::pair<EFI_GUID*, VOID*>> pairs;
    for (;;) {
        auto* guid = __builtin_va_arg(list, EFI_GUID*);
        if (!guid)
            break;
        pairs.emplace_back(guid, __builtin_va_arg(list, VOID*));
    }
    return pairs;
}

EFI_STATUS InstallPairs(EFI_HANDLE* handle, const std::vector<std::pair<EFI_GUID*, VOID*>>& pairs) {
    return Guarded("BootServices.InstallMultipleProtocolInterfaces", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.InstallMultipleProtocolInterfaces",
                                   {{"handle", HandleSelector(handle ? *handle : nullptr)}}))
            return *status;
        if (!handle)
            return EFI_INVALID_PARAMETER;
        HandleDatabase& db = Active().handles;
        const EFI_HANDLE given = *handle;
        for (size_t i = 0; i < pairs.size(); ++i) {
            const EFI_STATUS status = db.Install(handle, *pairs[i].first, pairs[i].second);
            if (status != EFI_SUCCESS) {
                // All or nothing: what this call installed goes again.
                for (size_t k = i; k-- > 0;)
                    db.Uninstall(*handle, *pairs[k].first, pairs[k].second);
                *handle = given;
                return status == EFI_INVALID_PARAMETER && given ? EFI_ALREADY_STARTED : status;
            }
        }
        return EFI_SUCCESS;
    });
}

EFI_STATUS UninstallPairs(EFI_HANDLE handle, const std::vector<std::pair<EFI_GUID*, VOID*>>& pairs) {
    return Guarded("BootServices.UninstallMultipleProtocolInterfaces", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.UninstallMultipleProtocolInterfaces",
                                   {{"handle", HandleSelector(handle)}}))
            return *status;
        HandleDatabase& db = Active().handles;
        for (const auto& [guid, interface] : pairs)
            if (!db.FindProtocol(handle, *guid) || db.FindProtocol(handle, *guid)->interface != interface)
                return EFI_INVALID_PARAMETER;
        for (const auto& [guid, interface] : pairs)
            if (db.Find(handle))
                db.Uninstall(handle, *guid, interface);
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI InstallMultipleProtocolInterfaces(EFI_HANDLE* handle, ...) {
    EFI_VA_LIST list;
    EFI_VA_START(list, handle);
    auto pairs = Pairs(list);
    EFI_VA_END(list);
    return InstallPairs(handle, pairs);
}

EFI_STATUS EFIAPI UninstallMultipleProtocolInterfaces(EFI_HANDLE handle, ...) {
    EFI_VA_LIST list;
    EFI_VA_START(list, handle);
    auto pairs = Pairs(list);
    EFI_VA_END(list);
    return UninstallPairs(handle, pairs);
}

EFI_STATUS EFIAPI CalculateCrc32(VOID* data, UINTN size, UINT32* crc) {
    return Guarded("BootServices.CalculateCrc32", [&]() -> EFI_STATUS {
        if (auto status = Injected("BootServices.CalculateCrc32", json::object()))
            return *status;
        if (!data || !crc || size == 0)
            return EFI_INVALID_PARAMETER;
        *crc = Crc32(data, size);
        return EFI_SUCCESS;
    });
}

// The memory services only pass the seam (for the call log): nothing can make them fail.
VOID EFIAPI CopyMem(VOID* destination, VOID* source, UINTN length) {
    GuardedVoid("BootServices.CopyMem", [&] { Seam("BootServices.CopyMem", {{"size", length}}); });
    if (length)
        std::memmove(destination, source, length);
}

VOID EFIAPI SetMem(VOID* buffer, UINTN size, UINT8 value) {
    GuardedVoid("BootServices.SetMem", [&] { Seam("BootServices.SetMem", {{"size", size}}); });
    if (size)
        std::memset(buffer, value, size);
}

} // namespace

void SetUpBootServices(Firmware::State& state) {
    EFI_BOOT_SERVICES& bs = state.bootServices;
    bs.Hdr = TableHeader(EFI_BOOT_SERVICES_SIGNATURE, sizeof(EFI_BOOT_SERVICES));
    bs.RaiseTPL = RaiseTPL;
    bs.RestoreTPL = RestoreTPL;
    bs.AllocatePages = AllocatePages;
    bs.FreePages = FreePages;
    bs.GetMemoryMap = GetMemoryMap;
    bs.AllocatePool = AllocatePool;
    bs.FreePool = FreePool;
    bs.CreateEvent = CreateEvent;
    bs.SetTimer = SetTimer;
    bs.WaitForEvent = WaitForEvent;
    bs.SignalEvent = SignalEvent;
    bs.CloseEvent = CloseEvent;
    bs.CheckEvent = CheckEvent;
    bs.InstallProtocolInterface = InstallProtocolInterface;
    bs.ReinstallProtocolInterface = ReinstallProtocolInterface;
    bs.UninstallProtocolInterface = UninstallProtocolInterface;
    bs.HandleProtocol = HandleProtocol;
    bs.RegisterProtocolNotify = RegisterProtocolNotify;
    bs.LocateHandle = LocateHandle;
    bs.LocateDevicePath = LocateDevicePath;
    bs.InstallConfigurationTable = InstallConfigurationTable;
    bs.LoadImage = LoadImage;
    bs.StartImage = StartImage;
    bs.Exit = Exit;
    bs.UnloadImage = UnloadImage;
    bs.ExitBootServices = ExitBootServices;
    bs.GetNextMonotonicCount = GetNextMonotonicCount;
    bs.Stall = Stall;
    bs.SetWatchdogTimer = SetWatchdogTimer;
    bs.ConnectController = ConnectController;
    bs.DisconnectController = DisconnectController;
    bs.OpenProtocol = OpenProtocol;
    bs.CloseProtocol = CloseProtocol;
    bs.OpenProtocolInformation = OpenProtocolInformation;
    bs.ProtocolsPerHandle = ProtocolsPerHandle;
    bs.LocateHandleBuffer = LocateHandleBuffer;
    bs.LocateProtocol = LocateProtocol;
    bs.InstallMultipleProtocolInterfaces = InstallMultipleProtocolInterfaces;
    bs.UninstallMultipleProtocolInterfaces = UninstallMultipleProtocolInterfaces;
    bs.CalculateCrc32 = CalculateCrc32;
    bs.CopyMem = CopyMem;
    bs.SetMem = SetMem;
    bs.CreateEventEx = CreateEventEx;
    SealTable(bs.Hdr);
}

} // namespace sim::uefi
