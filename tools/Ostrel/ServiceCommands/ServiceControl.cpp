#include "tools/Ostrel/ServiceCommands/ServiceControl.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/win/Trace.h"
#include "platform/win/WinBase.h"
#include "tools/Ostrel/ServiceCommands/CommandFailureReport.h"

namespace {

std::wstring Hex(DWORD code) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%x", code);
    return text;
}

void PrintAlways(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

} // namespace

DWORD ServiceControl::Open(const wchar_t* serviceName) {
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager_) {
        const DWORD error = GetLastError();
        CommandFailureReport(error == ERROR_ACCESS_DENIED
                                 ? L"Cannot open service manager. Please run with administrative rights."
                                 : L"Cannot open service manager. Unknown error.");
        return error;
    }
    service_ = OpenServiceW(manager_, serviceName, SERVICE_ALL_ACCESS);
    if (!service_) {
        const DWORD error = GetLastError();
        const wchar_t* text = L"Cannot open service. Unknown error.";
        switch (error) {
        case ERROR_ACCESS_DENIED:
            text = L"Cannot open service. Please run with administrative rights.";
            break;
        case ERROR_INVALID_HANDLE:
            text = L"Cannot open service. Service manager handle is invalid.";
            break;
        case ERROR_INVALID_NAME:
            text = L"Cannot open service. Service name is invalid.";
            break;
        case ERROR_SERVICE_DOES_NOT_EXIST:
            text = L"Cannot open service. Service does not exist.";
            break;
        }
        CommandFailureReport report(text);
        return error;
    }
    return ERROR_SUCCESS;
}

DWORD ServiceControl::Start() {
    if (StartServiceW(service_, 0, nullptr)) {
        VerboseLine("Service started successfully.");
        return ERROR_SUCCESS;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_ALREADY_RUNNING)
        CommandFailureReport(L"Cannot start service. ERROR_SERVICE_ALREADY_RUNNING");
    else if (error == ERROR_FILE_NOT_FOUND)
        CommandFailureReport(L"Cannot start service. ERROR_FILE_NOT_FOUND");
    else
        CommandFailureReport(L"Cannot start service. Error " + std::to_wstring(error));
    MOX_TRACE(TRACE_LEVEL_ERROR, "Starting a service failed with %u", error);
    return ERROR_OPEN_FAILED;
}

DWORD ServiceControl::Stop() {
    SERVICE_STATUS_PROCESS status{};
    if (DWORD error = QueryStatus(&status))
        return error;
    if (status.dwCurrentState == SERVICE_STOPPED) {
        CommandFailureReport(L"Service is already stopped");
        return ERROR_SUCCESS;
    }
    if (status.dwCurrentState == SERVICE_STOP_PENDING)
        return WaitForStop();

    VerboseLine("Stopping dependent services.");
    FreeDependents();
    DWORD needed = 0;
    DWORD count = 0;
    if (!EnumDependentServicesW(service_, SERVICE_ACTIVE, nullptr, 0, &needed, &count)) {
        const DWORD error = GetLastError();
        if (error != ERROR_MORE_DATA) {
            CommandFailureReport(L"Cannot stop all dependent services");
            return error;
        }
        const size_t records =
            (static_cast<size_t>(needed) + sizeof(ENUM_SERVICE_STATUSW) - 1) / sizeof(ENUM_SERVICE_STATUSW);
        dependents_.assign(records, ENUM_SERVICE_STATUSW{});
        if (EnumDependentServicesW(service_, SERVICE_ACTIVE, dependents_.data(), needed, &needed, &count)) {
            // The list grows no larger than the buffer it was read into.
            dependentCount_ = std::min<DWORD>(count, static_cast<DWORD>(records));
        } else {
            FreeDependents();
        }
    }

    for (dependentIndex_ = 0; dependentIndex_ < dependentCount_; ++dependentIndex_) {
        ServiceControl dependent;
        if (dependent.Open(dependents_[dependentIndex_].lpServiceName) != ERROR_SUCCESS)
            break;
        dependent.Stop();
    }

    SERVICE_STATUS controlStatus{};
    if (!ControlService(service_, SERVICE_CONTROL_STOP, &controlStatus)) {
        const DWORD error = GetLastError();
        const DWORD query = QueryStatus(&status);
        if (query == ERROR_SUCCESS && status.dwCurrentState != SERVICE_STOPPED &&
            status.dwCurrentState != SERVICE_STOP_PENDING) {
            CommandFailureReport(L"ControlService failed: 0x" + Hex(error));
            MOX_TRACE(TRACE_LEVEL_ERROR, "Stopping a service failed with %u", error);
            return error;
        }
    }

    const DWORD waited = WaitForStop();
    if (waited != ERROR_SUCCESS) {
        CommandFailureReport(L"Cannot stop service");
        MOX_TRACE(TRACE_LEVEL_ERROR, "Waiting for a service to stop failed with %u", waited);
        return waited;
    }
    VerboseLine("Service stopped successfully");
    return ERROR_SUCCESS;
}

DWORD ServiceControl::WaitForStop() {
    VerboseLine("Waiting for the pending service stop...");
    const DWORD start = GetTickCount();
    SERVICE_STATUS_PROCESS status{};
    // A state that could not be read is not waited on.
    if (DWORD error = QueryStatus(&status))
        return error;
    while (status.dwCurrentState != SERVICE_STOPPED) {
        // A tenth of the service's hint, but never past the overall limit, and never a busy poll.
        const DWORD elapsed = GetTickCount() - start;
        const DWORD remaining = elapsed < kStopTimeoutMs ? kStopTimeoutMs - elapsed : 0;
        Sleep(std::max<DWORD>(1, std::min(status.dwWaitHint / 10, remaining)));
        if (DWORD error = QueryStatus(&status))
            return error;
        if (status.dwCurrentState == SERVICE_STOPPED) {
            PrintAlways("Service stopped successfully.\n");
            break;
        }
        if (GetTickCount() - start > kStopTimeoutMs) {
            PrintAlways("Service stop timed out.\n");
            return ERROR_SERVICE_REQUEST_TIMEOUT;
        }
    }
    return ERROR_SUCCESS;
}

DWORD ServiceControl::SetStartType(DWORD startType) {
    if (ChangeServiceConfigW(service_, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    CommandFailureReport(L"ChangeServiceConfig returned 0x" + Hex(error));
    MOX_TRACE(TRACE_LEVEL_ERROR, "Changing the start type to %u failed with %u", startType, error);
    return error;
}

DWORD ServiceControl::SetDependencies(wchar_t* const* names) {
    std::wstring list;
    for (wchar_t* const* name = names; name && *name; ++name) {
        list += *name;
        list += L'\0';
    }
    list += L'\0';
    if (ChangeServiceConfigW(service_, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr,
                             nullptr, nullptr, list.c_str(), nullptr, nullptr, nullptr))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    char text[48];
    std::snprintf(text, sizeof text, "ChangeServiceConfig returned 0x%x", error);
    VerboseLine(text);
    CommandFailureReport(L"ChangeServiceConfig returned 0x" + Hex(error));
    MOX_TRACE(TRACE_LEVEL_ERROR, "Changing the dependencies failed with %u", error);
    return error;
}

DWORD ServiceControl::QueryStatus(SERVICE_STATUS_PROCESS* status) {
    DWORD needed = 0;
    if (QueryServiceStatusEx(service_, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(status),
                             sizeof *status, &needed))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    CommandFailureReport(L"Cannot query service state 0x" + Hex(error));
    return error;
}

void ServiceControl::Close() {
    if (service_)
        CloseServiceHandle(service_);
    if (manager_)
        CloseServiceHandle(manager_);
    service_ = nullptr;
    manager_ = nullptr;
    FreeDependents();
}

void ServiceControl::FreeDependents() {
    dependents_.clear();
    dependentCount_ = 0;
    dependentIndex_ = 0;
}
