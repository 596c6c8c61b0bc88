#pragma once
// The Service Control Manager's view of one service: the manager and service handles, and the
// active dependents that the last stop found. Every operation returns a Win32 code (0 success) and
// describes a failure in a CommandFailureReport.
#include <vector>

#include "platform/win/WinService.h"

class ServiceControl {
public:
    // The longest a stop is waited for.
    static constexpr DWORD kStopTimeoutMs = 30000;

    ServiceControl() = default;
    ~ServiceControl() { Close(); }
    ServiceControl(const ServiceControl&) = delete;
    ServiceControl& operator=(const ServiceControl&) = delete;

    // Opens the local manager and the service with all access. A failed manager open leaves both
    // handles null; a failed service open keeps the manager handle.
    DWORD Open(const wchar_t* serviceName);
    // 0, or ERROR_OPEN_FAILED (110) for any failure, an already running service included.
    DWORD Start();
    // Stops the active dependents (each after its own dependents), then the service, and waits for
    // the stop. A service already stopped gives 0 at once; one whose stop is pending is only waited
    // for. A wait that times out gives ERROR_SERVICE_REQUEST_TIMEOUT.
    DWORD Stop();
    // Polls until the service is stopped, at most kStopTimeoutMs in all.
    DWORD WaitForStop();
    DWORD SetStartType(DWORD startType);
    // names: the dependency names up to the first null entry; none clears the dependencies.
    DWORD SetDependencies(wchar_t* const* names);
    DWORD QueryStatus(SERVICE_STATUS_PROCESS* status);
    // Closes the handles that are open.
    void Close();

    SC_HANDLE manager() const { return manager_; }
    SC_HANDLE service() const { return service_; }

private:
    void FreeDependents();

    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
    // The records of the last stop's enumeration, with the names behind them.
    std::vector<ENUM_SERVICE_STATUSW> dependents_;
    DWORD dependentCount_ = 0;
    DWORD dependentIndex_ = 0;
};
