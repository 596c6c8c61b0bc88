// The Service Control Manager over the simulated machine's service database (sim/Services.h).
#include "platform/win/WinService.h"

#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/win/WinBase.h"
#include "sim/Os.h"
#include "sim/Services.h"
#include "sim/WideText.h"
#include "sim/win32/SimCall.h"

namespace {

// What a service handle stands for: the manager, or one service opened with some rights.
struct ServiceHandle {
    bool manager = false;
    std::string name;
    DWORD access = 0;
};

std::mutex g_mutex;
std::map<uintptr_t, ServiceHandle> g_handles;
uintptr_t g_next = 0x5C000;

SC_HANDLE Insert(ServiceHandle h) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_next += 4;
    g_handles[g_next] = std::move(h);
    return reinterpret_cast<SC_HANDLE>(g_next);
}

std::optional<ServiceHandle> Lookup(SC_HANDLE handle) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == g_handles.end())
        return std::nullopt;
    return it->second;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The injected outcome of the call, as an error to fail with (0: none).
DWORD Injected(const char* kind, const nlohmann::json& selectors) {
    auto outcome = platform::SimCall(kind, selectors);
    return outcome ? platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE) : 0;
}

// The service behind a handle, when the handle holds the rights the call needs.
DWORD UseService(SC_HANDLE handle, DWORD rights, std::string* name) {
    auto h = Lookup(handle);
    if (!h || h->manager)
        return ERROR_INVALID_HANDLE;
    if ((h->access & rights) != rights)
        return ERROR_ACCESS_DENIED;
    *name = h->name;
    return ERROR_SUCCESS;
}

void CopyStatus(const sim::services::Status& from, SERVICE_STATUS* to) {
    to->dwServiceType = from.type;
    to->dwCurrentState = from.state;
    to->dwControlsAccepted = from.controlsAccepted;
    to->dwWin32ExitCode = from.win32ExitCode;
    to->dwServiceSpecificExitCode = from.serviceExitCode;
    to->dwCheckPoint = from.checkPoint;
    to->dwWaitHint = from.waitHint;
}

std::vector<std::string> MultiString(LPCWSTR list) {
    std::vector<std::string> out;
    for (const wchar_t* p = list; *p; p += std::wcslen(p) + 1)
        out.push_back(sim::ToUtf8(p));
    return out;
}

} // namespace

SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess) {
    return platform::Guarded(
        [&]() -> SC_HANDLE {
            if (DWORD error = Injected("OpenSCManager", {{"access", desiredAccess}})) {
                SetLastError(error);
                return nullptr;
            }
            if ((machineName && *machineName) ||
                (databaseName && std::wcscmp(databaseName, L"ServicesActive") != 0)) {
                SetLastError(ERROR_INVALID_NAME);
                return nullptr;
            }
            if ((desiredAccess & ~(SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE |
                                   SC_MANAGER_QUERY_LOCK_STATUS | STANDARD_RIGHTS_READ)) &&
                !sim::os::Elevated()) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            SetLastError(ERROR_SUCCESS);
            return Insert({true, {}, desiredAccess});
        },
        platform::LastErrorAnd<SC_HANDLE>(nullptr));
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess) {
    return platform::Guarded(
        [&]() -> SC_HANDLE {
            auto m = Lookup(manager);
            if (!m || !m->manager) {
                SetLastError(ERROR_INVALID_HANDLE);
                return nullptr;
            }
            const std::string name = serviceName ? sim::ToUtf8(serviceName) : std::string();
            if (DWORD error = Injected("OpenService", {{"name", name}, {"access", desiredAccess}})) {
                SetLastError(error);
                return nullptr;
            }
            if (name.empty() || name.size() > 256 || name.find_first_of("/\\") != std::string::npos) {
                SetLastError(ERROR_INVALID_NAME);
                return nullptr;
            }
            std::string canonical;
            if (DWORD error = sim::services::Open(name, &canonical)) {
                SetLastError(error);
                return nullptr;
            }
            const DWORD changes = SERVICE_CHANGE_CONFIG | SERVICE_START | SERVICE_STOP |
                                  SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL | DELETE | WRITE_DAC |
                                  WRITE_OWNER;
            if ((desiredAccess & changes) && !sim::os::Elevated()) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            SetLastError(ERROR_SUCCESS);
            return Insert({false, canonical, desiredAccess});
        },
        platform::LastErrorAnd<SC_HANDLE>(nullptr));
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_handles.erase(reinterpret_cast<uintptr_t>(handle)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL StartServiceW(SC_HANDLE service, DWORD, LPCWSTR*) {
    return platform::Guarded(
        [&]() -> BOOL {
            std::string name;
            if (DWORD error = UseService(service, SERVICE_START, &name))
                return Fail(error);
            if (DWORD error = Injected("StartService", {{"name", name}}))
                return Fail(error);
            if (DWORD error = sim::services::Start(name))
                return Fail(error);
            return TRUE;
        },
        platform::LastErrorAnd<BOOL>(FALSE));
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    return platform::Guarded(
        [&]() -> BOOL {
            if (!status)
                return Fail(ERROR_INVALID_PARAMETER);
            const DWORD rights = control == SERVICE_CONTROL_STOP          ? SERVICE_STOP
                                 : control == SERVICE_CONTROL_INTERROGATE ? SERVICE_INTERROGATE
                                                                          : SERVICE_PAUSE_CONTINUE;
            std::string name;
            if (DWORD error = UseService(service, rights, &name))
                return Fail(error);
            if (DWORD error = Injected("ControlService", {{"name", name}, {"control", control}}))
                return Fail(error);
            sim::services::Status st;
            const DWORD error = sim::services::Control(name, control, &st);
            CopyStatus(st, status);
            return error ? Fail(error) : TRUE;
        },
        platform::LastErrorAnd<BOOL>(FALSE));
}

BOOL QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, LPBYTE buffer, DWORD bufferSize,
                          LPDWORD bytesNeeded) {
    return platform::Guarded(
        [&]() -> BOOL {
            if (!bytesNeeded)
                return Fail(ERROR_INVALID_PARAMETER);
            std::string name;
            if (DWORD error = UseService(service, SERVICE_QUERY_STATUS, &name))
                return Fail(error);
            if (infoLevel != SC_STATUS_PROCESS_INFO)
                return Fail(ERROR_INVALID_LEVEL);
            if (DWORD error = Injected("QueryServiceStatusEx", {{"name", name}}))
                return Fail(error);
            *bytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
            if (!buffer || bufferSize < sizeof(SERVICE_STATUS_PROCESS))
                return Fail(ERROR_INSUFFICIENT_BUFFER);
            sim::services::Status st;
            if (DWORD error = sim::services::QueryStatus(name, &st))
                return Fail(error);
            SERVICE_STATUS_PROCESS out{};
            out.dwServiceType = st.type;
            out.dwCurrentState = st.state;
            out.dwControlsAccepted = st.controlsAccepted;
            out.dwWin32ExitCode = st.win32ExitCode;
            out.dwServiceSpecificExitCode = st.serviceExitCode;
            out.dwCheckPoint = st.checkPoint;
            out.dwWaitHint = st.waitHint;
            out.dwProcessId = st.processId;
            std::memcpy(buffer, &out, sizeof out);
            return TRUE;
        },
        platform::LastErrorAnd<BOOL>(FALSE));
}

BOOL EnumDependentServicesW(SC_HANDLE service, DWORD serviceState, LPENUM_SERVICE_STATUSW services,
                            DWORD bufferSize, LPDWORD bytesNeeded, LPDWORD servicesReturned) {
    return platform::Guarded(
        [&]() -> BOOL {
            if (!bytesNeeded || !servicesReturned || (!services && bufferSize != 0))
                return Fail(ERROR_INVALID_PARAMETER);
            std::string name;
            if (DWORD error = UseService(service, SERVICE_ENUMERATE_DEPENDENTS, &name))
                return Fail(error);
            if (serviceState != SERVICE_ACTIVE)
                return Fail(ERROR_INVALID_PARAMETER);
            if (DWORD error = Injected("EnumDependentServices", {{"name", name}, {"size", bufferSize}}))
                return Fail(error);
            std::vector<sim::services::Dependent> dependents;
            if (DWORD error = sim::services::ActiveDependents(name, &dependents))
                return Fail(error);

            std::vector<std::wstring> names, displays;
            size_t needed = dependents.size() * sizeof(ENUM_SERVICE_STATUSW);
            for (const auto& d : dependents) {
                names.push_back(sim::FromUtf8(d.name));
                displays.push_back(sim::FromUtf8(d.displayName));
                needed += (names.back().size() + 1 + displays.back().size() + 1) * sizeof(wchar_t);
            }
            *servicesReturned = 0;
            *bytesNeeded = static_cast<DWORD>(needed);
            if (needed > bufferSize)
                return Fail(ERROR_MORE_DATA);
            // The records first, then their texts, as the system lays them out.
            auto* base = reinterpret_cast<uint8_t*>(services);
            size_t text = dependents.size() * sizeof(ENUM_SERVICE_STATUSW);
            auto place = [&](const std::wstring& s) {
                auto* at = reinterpret_cast<wchar_t*>(base + text);
                std::memcpy(at, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
                text += (s.size() + 1) * sizeof(wchar_t);
                return at;
            };
            for (size_t i = 0; i < dependents.size(); ++i) {
                ENUM_SERVICE_STATUSW record{};
                record.lpServiceName = place(names[i]);
                record.lpDisplayName = place(displays[i]);
                CopyStatus(dependents[i].status, &record.ServiceStatus);
                std::memcpy(base + i * sizeof record, &record, sizeof record);
            }
            *servicesReturned = static_cast<DWORD>(dependents.size());
            return TRUE;
        },
        platform::LastErrorAnd<BOOL>(FALSE));
}

BOOL ChangeServiceConfigW(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,
                          LPCWSTR binaryPathName, LPCWSTR loadOrderGroup, LPDWORD tagId, LPCWSTR dependencies,
                          LPCWSTR serviceStartName, LPCWSTR password, LPCWSTR displayName) {
    return platform::Guarded(
        [&]() -> BOOL {
            std::string name;
            if (DWORD error = UseService(service, SERVICE_CHANGE_CONFIG, &name))
                return Fail(error);
            // Only the start type and the dependencies can change here.
            if (serviceType != SERVICE_NO_CHANGE || errorControl != SERVICE_NO_CHANGE || binaryPathName ||
                loadOrderGroup || tagId || serviceStartName || password || displayName)
                return Fail(ERROR_INVALID_PARAMETER);
            std::optional<std::vector<std::string>> deps;
            if (dependencies)
                deps = MultiString(dependencies);
            nlohmann::json selectors{{"name", name}};
            if (startType != SERVICE_NO_CHANGE)
                selectors["start_type"] = startType;
            if (deps)
                selectors["dependencies"] = *deps;
            if (DWORD error = Injected("ChangeServiceConfig", selectors))
                return Fail(error);
            const std::optional<uint32_t> type =
                startType == SERVICE_NO_CHANGE ? std::nullopt : std::optional<uint32_t>(startType);
            if (DWORD error = sim::services::ChangeConfig(name, type, deps))
                return Fail(error);
            return TRUE;
        },
        platform::LastErrorAnd<BOOL>(FALSE));
}
