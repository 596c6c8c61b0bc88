#pragma once
// The Service Control Manager: opening the manager and its services, starting and stopping them,
// their status, their active dependents and their start type and dependencies. Functions return
// BOOL (or a handle, null on failure) and leave the reason in the thread's last error. Service
// handles are their own kind: CloseServiceHandle closes them, CloseHandle does not.
#include <cstddef>

#include "platform/win/WinAccess.h"
#include "platform/win/WinError.h"
#include "platform/win/WinTypes.h"

struct SC_HANDLE__;
using SC_HANDLE = SC_HANDLE__*;

// Manager access rights.
constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_CREATE_SERVICE = 0x0002;
constexpr DWORD SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
constexpr DWORD SC_MANAGER_LOCK = 0x0008;
constexpr DWORD SC_MANAGER_QUERY_LOCK_STATUS = 0x0010;
constexpr DWORD SC_MANAGER_MODIFY_BOOT_CONFIG = 0x0020;
constexpr DWORD SC_MANAGER_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | 0x003F;

// Service access rights.
constexpr DWORD SERVICE_QUERY_CONFIG = 0x0001;
constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_ENUMERATE_DEPENDENTS = 0x0008;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_PAUSE_CONTINUE = 0x0040;
constexpr DWORD SERVICE_INTERROGATE = 0x0080;
constexpr DWORD SERVICE_USER_DEFINED_CONTROL = 0x0100;
constexpr DWORD SERVICE_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | 0x01FF;
static_assert(SC_MANAGER_ALL_ACCESS == 0xF003F && SERVICE_ALL_ACCESS == 0xF01FF);

// Service types.
constexpr DWORD SERVICE_KERNEL_DRIVER = 0x00000001;
constexpr DWORD SERVICE_FILE_SYSTEM_DRIVER = 0x00000002;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x00000010;
constexpr DWORD SERVICE_WIN32_SHARE_PROCESS = 0x00000020;

// Start types.
constexpr DWORD SERVICE_BOOT_START = 0;
constexpr DWORD SERVICE_SYSTEM_START = 1;
constexpr DWORD SERVICE_AUTO_START = 2;
constexpr DWORD SERVICE_DEMAND_START = 3;
constexpr DWORD SERVICE_DISABLED = 4;

constexpr DWORD SERVICE_NO_CHANGE = 0xFFFFFFFF;

// Current states.
constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
constexpr DWORD SERVICE_PAUSE_PENDING = 6;
constexpr DWORD SERVICE_PAUSED = 7;

// Which services an enumeration lists.
constexpr DWORD SERVICE_ACTIVE = 1;
constexpr DWORD SERVICE_INACTIVE = 2;
constexpr DWORD SERVICE_STATE_ALL = 3;

// Controls and the controls a service accepts.
constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_CONTROL_PAUSE = 2;
constexpr DWORD SERVICE_CONTROL_CONTINUE = 3;
constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;
constexpr DWORD SERVICE_ACCEPT_STOP = 0x00000001;

enum SC_STATUS_TYPE : DWORD { SC_STATUS_PROCESS_INFO = 0 };

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};
static_assert(sizeof(SERVICE_STATUS) == 28);
static_assert(offsetof(SERVICE_STATUS, dwCurrentState) == 4);
static_assert(offsetof(SERVICE_STATUS, dwWaitHint) == 24);
using LPSERVICE_STATUS = SERVICE_STATUS*;

struct SERVICE_STATUS_PROCESS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
    DWORD dwProcessId;
    DWORD dwServiceFlags;
};
static_assert(sizeof(SERVICE_STATUS_PROCESS) == 36);
static_assert(offsetof(SERVICE_STATUS_PROCESS, dwWaitHint) == 24);
static_assert(offsetof(SERVICE_STATUS_PROCESS, dwProcessId) == 28);
static_assert(offsetof(SERVICE_STATUS_PROCESS, dwServiceFlags) == 32);

struct ENUM_SERVICE_STATUSW {
    LPWSTR lpServiceName;
    LPWSTR lpDisplayName;
    SERVICE_STATUS ServiceStatus;
};
static_assert(sizeof(ENUM_SERVICE_STATUSW) == 48);
static_assert(offsetof(ENUM_SERVICE_STATUSW, lpDisplayName) == 8);
static_assert(offsetof(ENUM_SERVICE_STATUSW, ServiceStatus) == 16);
using LPENUM_SERVICE_STATUSW = ENUM_SERVICE_STATUSW*;

// Only the local manager and its active database: a machine name or another database is refused
// (ERROR_INVALID_NAME). ERROR_ACCESS_DENIED for rights beyond connecting when programs do not run
// elevated.
SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess);
// ERROR_INVALID_HANDLE (not a manager handle), ERROR_INVALID_NAME, ERROR_SERVICE_DOES_NOT_EXIST,
// ERROR_ACCESS_DENIED.
SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess);
BOOL CloseServiceHandle(SC_HANDLE handle);

// Asks for the start: the service is start-pending, then running. A running or start-pending
// service gives ERROR_SERVICE_ALREADY_RUNNING; a disabled one ERROR_SERVICE_DISABLED.
BOOL StartServiceW(SC_HANDLE service, DWORD argc, LPCWSTR* argv);
// SERVICE_CONTROL_STOP: the service goes stop-pending, then stopped. ERROR_SERVICE_NOT_ACTIVE when
// it is not running, ERROR_DEPENDENT_SERVICES_RUNNING while an active service depends on it,
// ERROR_SERVICE_CANNOT_ACCEPT_CTRL while it is pending. The status is filled also on failure.
BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
// A buffer smaller than SERVICE_STATUS_PROCESS gives ERROR_INSUFFICIENT_BUFFER with the size needed.
BOOL QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, LPBYTE buffer, DWORD bufferSize,
                          LPDWORD bytesNeeded);
// The services that depend on this one, directly or through others, the indirect ones first. The
// buffer holds the records followed by their names; when it is too small the call fails with
// ERROR_MORE_DATA, tells the bytes needed and lists nothing. No dependents: success with none.
BOOL EnumDependentServicesW(SC_HANDLE service, DWORD serviceState, LPENUM_SERVICE_STATUSW services,
                            DWORD bufferSize, LPDWORD bytesNeeded, LPDWORD servicesReturned);
// SERVICE_NO_CHANGE or null keeps a setting. Dependencies are a double-null-terminated list; an
// empty list clears them.
BOOL ChangeServiceConfigW(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,
                          LPCWSTR binaryPathName, LPCWSTR loadOrderGroup, LPDWORD tagId, LPCWSTR dependencies,
                          LPCWSTR serviceStartName, LPCWSTR password, LPCWSTR displayName);
