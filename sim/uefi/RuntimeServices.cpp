// The runtime services table of the simulated firmware. The variables are the machine's one
// firmware variable store ("firmware" section, sim/FirmwareVariables.h): what moxcli writes through
// the Windows calls is what a firmware program reads here, and the other way round. Each service
// passes the seam as "RuntimeServices.<name>"; {"efi_error": n} makes it return that error.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "sim/FirmwareVariables.h"
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

const schema::FaultKind kGet({"RuntimeServices.GetVariable"}, {"name", "guid", "size"}, StatusOutcome());
const schema::FaultKind kSet({"RuntimeServices.SetVariable"}, {"name", "guid", "attributes", "size"},
                             StatusOutcome());
const schema::FaultKind kNext({"RuntimeServices.GetNextVariableName"}, {"size"}, StatusOutcome());
const schema::FaultKind kOthers({"RuntimeServices.GetTime", "RuntimeServices.SetTime",
                                 "RuntimeServices.GetWakeupTime", "RuntimeServices.SetWakeupTime",
                                 "RuntimeServices.SetVirtualAddressMap", "RuntimeServices.ConvertPointer",
                                 "RuntimeServices.GetNextHighMonotonicCount", "RuntimeServices.UpdateCapsule",
                                 "RuntimeServices.QueryCapsuleCapabilities",
                                 "RuntimeServices.QueryVariableInfo"},
                                {}, StatusOutcome());

constexpr uint32_t kKnownAttributes = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS |
                                      EFI_VARIABLE_RUNTIME_ACCESS | EFI_VARIABLE_APPEND_WRITE;

EFI_STATUS EFIAPI GetTime(EFI_TIME* time, EFI_TIME_CAPABILITIES* capabilities) {
    return Guarded("RuntimeServices.GetTime", [&]() -> EFI_STATUS {
        if (auto status = Injected("RuntimeServices.GetTime", json::object()))
            return *status;
        if (!time)
            return EFI_INVALID_PARAMETER;
        const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        std::tm utc{};
        gmtime_r(&now, &utc);
        *time = EFI_TIME{};
        time->Year = static_cast<UINT16>(utc.tm_year + 1900);
        time->Month = static_cast<UINT8>(utc.tm_mon + 1);
        time->Day = static_cast<UINT8>(utc.tm_mday);
        time->Hour = static_cast<UINT8>(utc.tm_hour);
        time->Minute = static_cast<UINT8>(utc.tm_min);
        time->Second = static_cast<UINT8>(utc.tm_sec);
        time->TimeZone = EFI_UNSPECIFIED_TIMEZONE;
        if (capabilities)
            *capabilities = EFI_TIME_CAPABILITIES{1, 50000000, FALSE};
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI SetTime(EFI_TIME*) {
    return NotProvided("RuntimeServices.SetTime");
}

EFI_STATUS EFIAPI GetWakeupTime(BOOLEAN*, BOOLEAN*, EFI_TIME*) {
    return NotProvided("RuntimeServices.GetWakeupTime");
}

EFI_STATUS EFIAPI SetWakeupTime(BOOLEAN, EFI_TIME*) {
    return NotProvided("RuntimeServices.SetWakeupTime");
}

EFI_STATUS EFIAPI SetVirtualAddressMap(UINTN, UINTN, UINT32, EFI_MEMORY_DESCRIPTOR*) {
    return NotProvided("RuntimeServices.SetVirtualAddressMap");
}

EFI_STATUS EFIAPI ConvertPointer(UINTN, VOID**) {
    return NotProvided("RuntimeServices.ConvertPointer");
}

EFI_STATUS EFIAPI GetVariable(CHAR16* name, EFI_GUID* guid, UINT32* attributes, UINTN* size, VOID* data) {
    return Guarded("RuntimeServices.GetVariable", [&]() -> EFI_STATUS {
        const std::string nameText = name ? Utf8FromUcs2(Ucs2View(name)) : std::string();
        if (auto status = Injected("RuntimeServices.GetVariable",
                                   {{"name", nameText},
                                    {"guid", guid ? json(GuidText(*guid)) : json(nullptr)},
                                    {"size", size ? json(*size) : json(nullptr)}}))
            return *status;
        if (!name || !guid || !size)
            return EFI_INVALID_PARAMETER;
        auto variable = sim::firmware::Find(nameText, GuidText(*guid));
        if (!variable)
            return EFI_NOT_FOUND;
        if (*size < variable->data.size()) {
            *size = variable->data.size();
            return EFI_BUFFER_TOO_SMALL;
        }
        if (!data && !variable->data.empty())
            return EFI_INVALID_PARAMETER;
        if (!variable->data.empty())
            std::memcpy(data, variable->data.data(), variable->data.size());
        *size = variable->data.size();
        if (attributes)
            *attributes = variable->attributes;
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI GetNextVariableName(UINTN* size, CHAR16* name, EFI_GUID* guid) {
    return Guarded("RuntimeServices.GetNextVariableName", [&]() -> EFI_STATUS {
        if (auto status =
                Injected("RuntimeServices.GetNextVariableName", {{"size", size ? json(*size) : json()}}))
            return *status;
        if (!size || !name || !guid)
            return EFI_INVALID_PARAMETER;
        // The name given must end within the buffer the caller says it has.
        const size_t limit = *size / sizeof(CHAR16);
        const std::u16string_view given = Ucs2View(name, limit);
        if (given.size() == limit)
            return EFI_INVALID_PARAMETER;
        const auto all = sim::firmware::Variables();
        size_t next = 0;
        if (!given.empty()) {
            const std::string current = Utf8FromUcs2(given);
            const std::string currentGuid = GuidText(*guid);
            auto at = std::find_if(all.begin(), all.end(),
                                   [&](const auto& v) { return v.name == current && v.guid == currentGuid; });
            if (at == all.end())
                return EFI_INVALID_PARAMETER;
            next = static_cast<size_t>(at - all.begin()) + 1;
        }
        if (next >= all.size())
            return EFI_NOT_FOUND;
        const std::u16string found = Ucs2FromUtf8(all[next].name);
        const UINTN needed = (found.size() + 1) * sizeof(CHAR16);
        if (*size < needed) {
            *size = needed;
            return EFI_BUFFER_TOO_SMALL;
        }
        std::memcpy(name, found.c_str(), needed);
        *size = needed;
        *guid = *GuidFromText(all[next].guid);
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI SetVariable(CHAR16* name, EFI_GUID* guid, UINT32 attributes, UINTN size, VOID* data) {
    return Guarded("RuntimeServices.SetVariable", [&]() -> EFI_STATUS {
        const std::string nameText = name ? Utf8FromUcs2(Ucs2View(name)) : std::string();
        if (auto status = Injected("RuntimeServices.SetVariable",
                                   {{"name", nameText},
                                    {"guid", guid ? json(GuidText(*guid)) : json(nullptr)},
                                    {"attributes", attributes},
                                    {"size", size}}))
            return *status;
        if (nameText.empty() || !guid || (size > 0 && !data))
            return EFI_INVALID_PARAMETER;
        if ((attributes & EFI_VARIABLE_RUNTIME_ACCESS) && !(attributes & EFI_VARIABLE_BOOTSERVICE_ACCESS))
            return EFI_INVALID_PARAMETER;
        // Authenticated and hardware error variables are not kept by this store.
        if (attributes & ~kKnownAttributes)
            return EFI_UNSUPPORTED;
        const bool append = attributes & EFI_VARIABLE_APPEND_WRITE;
        const uint32_t kept = attributes & ~EFI_VARIABLE_APPEND_WRITE;
        auto existing = sim::firmware::Find(nameText, GuidText(*guid));
        if ((size == 0 && !append) || kept == 0) {
            if (!existing)
                return EFI_NOT_FOUND;
            sim::firmware::Remove(nameText, GuidText(*guid));
            return EFI_SUCCESS;
        }
        if (existing && existing->attributes != kept)
            return EFI_INVALID_PARAMETER;
        sim::firmware::Variable variable;
        variable.name = nameText;
        variable.guid = GuidText(*guid);
        variable.attributes = kept;
        if (append && existing)
            variable.data = existing->data;
        const auto* bytes = static_cast<const uint8_t*>(data);
        variable.data.insert(variable.data.end(), bytes, bytes + size);
        if (append && size == 0)
            return EFI_SUCCESS;
        sim::firmware::Write(variable);
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI GetNextHighMonotonicCount(UINT32* high) {
    return Guarded("RuntimeServices.GetNextHighMonotonicCount", [&]() -> EFI_STATUS {
        if (auto status = Injected("RuntimeServices.GetNextHighMonotonicCount", json::object()))
            return *status;
        if (!high)
            return EFI_INVALID_PARAMETER;
        State& s = Active();
        s.monotonicCount = ((s.monotonicCount >> 32) + 1) << 32;
        *high = static_cast<UINT32>(s.monotonicCount >> 32);
        return EFI_SUCCESS;
    });
}

VOID EFIAPI ResetSystem(EFI_RESET_TYPE type, EFI_STATUS, UINTN, VOID*) {
    GuardedVoid("RuntimeServices.ResetSystem", [&] {
        Seam("RuntimeServices.ResetSystem", {{"type", type}});
        // A reset never returns on real firmware; here the program goes on, so a test sees the call.
        Problem("RuntimeServices.ResetSystem: the program reset the system");
    });
}

EFI_STATUS EFIAPI UpdateCapsule(EFI_CAPSULE_HEADER**, UINTN, EFI_PHYSICAL_ADDRESS) {
    return NotProvided("RuntimeServices.UpdateCapsule");
}

EFI_STATUS EFIAPI QueryCapsuleCapabilities(EFI_CAPSULE_HEADER**, UINTN, UINT64*, EFI_RESET_TYPE*) {
    return NotProvided("RuntimeServices.QueryCapsuleCapabilities");
}

EFI_STATUS EFIAPI QueryVariableInfo(UINT32, UINT64*, UINT64*, UINT64*) {
    return NotProvided("RuntimeServices.QueryVariableInfo");
}

} // namespace

void SetUpRuntimeServices(Firmware::State& state) {
    EFI_RUNTIME_SERVICES& rt = state.runtimeServices;
    rt.Hdr = TableHeader(EFI_RUNTIME_SERVICES_SIGNATURE, sizeof(EFI_RUNTIME_SERVICES));
    rt.GetTime = GetTime;
    rt.SetTime = SetTime;
    rt.GetWakeupTime = GetWakeupTime;
    rt.SetWakeupTime = SetWakeupTime;
    rt.SetVirtualAddressMap = SetVirtualAddressMap;
    rt.ConvertPointer = ConvertPointer;
    rt.GetVariable = GetVariable;
    rt.GetNextVariableName = GetNextVariableName;
    rt.SetVariable = SetVariable;
    rt.GetNextHighMonotonicCount = GetNextHighMonotonicCount;
    rt.ResetSystem = ResetSystem;
    rt.UpdateCapsule = UpdateCapsule;
    rt.QueryCapsuleCapabilities = QueryCapsuleCapabilities;
    rt.QueryVariableInfo = QueryVariableInfo;
    SealTable(rt.Hdr);
}

} // namespace sim::uefi
