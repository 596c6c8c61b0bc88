// Firmware environment variables over the simulated machine's variable store (sim/FirmwareVariables.h).
//
// Fault kinds "GetFirmwareEnvironmentVariable" and "SetFirmwareEnvironmentVariable", selectors
// `name`, `guid` (as the caller wrote it) and `size` (the caller's buffer or value size). Outcomes:
// {"win32_error": n} fails the call with that last error and changes nothing;
// {"hold": {"signal": event, "wait": event}} sets the first named event and waits for the second
// before the call goes on (with a `win32_error` beside it, it then fails), so a test can keep a
// reader or writer in the middle of its work while another process tries the same.
#include "platform/win/WinFirmware.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/win/WinSecurity.h"
#include "sim/FirmwareVariables.h"
#include "sim/Os.h"
#include "sim/Schema.h"
#include "sim/WideText.h"
#include "sim/win32/SimCall.h"

namespace {

namespace schema = sim::schema;

const schema::FaultKind kFaults(
    {"GetFirmwareEnvironmentVariable", "SetFirmwareEnvironmentVariable"}, {"name", "guid", "size"},
    schema::Object({{"win32_error", schema::Uint32()},
                    {"hold", schema::Object({{"signal", schema::Text()}, {"wait", schema::Text()}})}}));

constexpr DWORD kDefaultAttributes = VARIABLE_ATTRIBUTE_NON_VOLATILE | VARIABLE_ATTRIBUTE_BOOTSERVICE_ACCESS |
                                     VARIABLE_ATTRIBUTE_RUNTIME_ACCESS;

// Records the call and plays its fault rule; the Win32 error the call is to fail with, if any.
std::optional<DWORD> Injected(const char* kind, const std::string& name, const std::string& guid, DWORD size,
                              std::vector<uint8_t> input = {}) {
    auto outcome =
        platform::SimCall(kind, {{"name", name}, {"guid", guid}, {"size", size}}, std::move(input));
    if (!outcome)
        return std::nullopt;
    if (outcome->contains("hold")) {
        platform::HoldCall((*outcome)["hold"]);
        if (!outcome->contains("win32_error"))
            return std::nullopt;
    }
    return platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE);
}

DWORD Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// What both calls check before the store is looked at; the stored spelling of the GUID on success.
std::optional<std::string> Admitted(const std::string& guid, DWORD* error) {
    auto normal = sim::firmware::NormalGuid(guid);
    if (!normal) {
        *error = ERROR_INVALID_PARAMETER;
        return std::nullopt;
    }
    if (!sim::os::PrivilegeEnabled(SE_SYSTEM_ENVIRONMENT_NAME)) {
        *error = ERROR_PRIVILEGE_NOT_HELD;
        return std::nullopt;
    }
    return normal;
}

DWORD Get(const std::string& name, const std::string& guid, PVOID buffer, DWORD size) {
    return platform::Guarded(
        [&]() -> DWORD {
            if (!buffer && size > 0)
                return Fail(ERROR_NOACCESS);
            if (auto error = Injected("GetFirmwareEnvironmentVariable", name, guid, size))
                return Fail(*error);
            DWORD error = 0;
            auto normal = Admitted(guid, &error);
            if (!normal)
                return Fail(error);
            auto variable = sim::firmware::Find(name, *normal);
            if (!variable)
                return Fail(ERROR_ENVVAR_NOT_FOUND);
            if (variable->data.size() > size)
                return Fail(ERROR_INSUFFICIENT_BUFFER);
            if (!variable->data.empty())
                std::memcpy(buffer, variable->data.data(), variable->data.size());
            return static_cast<DWORD>(variable->data.size());
        },
        platform::LastErrorAnd<DWORD>(0));
}

BOOL Set(const std::string& name, const std::string& guid, PVOID value, DWORD size) {
    return platform::Guarded(
        [&]() -> BOOL {
            if (!value && size > 0)
                return Fail(ERROR_NOACCESS);
            const auto* bytes = static_cast<const uint8_t*>(value);
            std::vector<uint8_t> data(bytes, bytes + (bytes ? size : 0));
            if (auto error = Injected("SetFirmwareEnvironmentVariable", name, guid, size, data))
                return Fail(*error);
            DWORD error = 0;
            auto normal = Admitted(guid, &error);
            if (!normal)
                return Fail(error);
            sim::firmware::Variable variable;
            variable.name = name;
            variable.guid = *normal;
            variable.attributes = kDefaultAttributes;
            variable.data = std::move(data);
            if (size == 0) {
                if (!sim::firmware::Remove(name, *normal))
                    return Fail(ERROR_ENVVAR_NOT_FOUND);
                sim::firmware::RecordWrite(variable, true);
                return TRUE;
            }
            sim::firmware::Write(variable);
            sim::firmware::RecordWrite(variable, false);
            return TRUE;
        },
        platform::LastErrorAnd<BOOL>(FALSE));
}

} // namespace

DWORD GetFirmwareEnvironmentVariableW(LPCWSTR name, LPCWSTR guid, PVOID buffer, DWORD size) {
    if (!name || !*name || !guid)
        return Fail(ERROR_INVALID_PARAMETER);
    return Get(sim::ToUtf8(name), sim::ToUtf8(guid), buffer, size);
}

DWORD GetFirmwareEnvironmentVariableA(LPCSTR name, LPCSTR guid, PVOID buffer, DWORD size) {
    if (!name || !*name || !guid)
        return Fail(ERROR_INVALID_PARAMETER);
    return Get(name, guid, buffer, size);
}

BOOL SetFirmwareEnvironmentVariableW(LPCWSTR name, LPCWSTR guid, PVOID value, DWORD size) {
    if (!name || !*name || !guid)
        return Fail(ERROR_INVALID_PARAMETER);
    return Set(sim::ToUtf8(name), sim::ToUtf8(guid), value, size);
}

BOOL SetFirmwareEnvironmentVariableA(LPCSTR name, LPCSTR guid, PVOID value, DWORD size) {
    if (!name || !*name || !guid)
        return Fail(ERROR_INVALID_PARAMETER);
    return Set(name, guid, value, size);
}
