#pragma once
// The process token and its privileges. The token belongs to the process (see sim/Os.h): what a
// program enables is visible to the simulated services it calls afterwards, and to no other process.
#include <cstddef>

#include "platform/win/WinAccess.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinProcess.h"
#include "platform/win/WinTypes.h"

struct LUID {
    DWORD LowPart;
    LONG HighPart;
};
static_assert(sizeof(LUID) == 8);
static_assert(offsetof(LUID, HighPart) == 4);
using PLUID = LUID*;

struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
};
static_assert(sizeof(LUID_AND_ATTRIBUTES) == 12);
static_assert(offsetof(LUID_AND_ATTRIBUTES, Attributes) == 8);

// Room for one privilege; callers with more entries allocate a larger block.
struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
};
static_assert(sizeof(TOKEN_PRIVILEGES) == 16);
static_assert(offsetof(TOKEN_PRIVILEGES, Privileges) == 4);
using PTOKEN_PRIVILEGES = TOKEN_PRIVILEGES*;

constexpr DWORD SE_PRIVILEGE_ENABLED_BY_DEFAULT = 0x00000001;
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x00000002;
constexpr DWORD SE_PRIVILEGE_REMOVED = 0x00000004;
constexpr DWORD SE_PRIVILEGE_USED_FOR_ACCESS = 0x80000000;

constexpr ACCESS_MASK TOKEN_ASSIGN_PRIMARY = 0x0001;
constexpr ACCESS_MASK TOKEN_DUPLICATE = 0x0002;
constexpr ACCESS_MASK TOKEN_IMPERSONATE = 0x0004;
constexpr ACCESS_MASK TOKEN_QUERY = 0x0008;
constexpr ACCESS_MASK TOKEN_QUERY_SOURCE = 0x0010;
constexpr ACCESS_MASK TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr ACCESS_MASK TOKEN_ADJUST_GROUPS = 0x0040;
constexpr ACCESS_MASK TOKEN_ADJUST_DEFAULT = 0x0080;
constexpr ACCESS_MASK TOKEN_ADJUST_SESSIONID = 0x0100;
constexpr ACCESS_MASK TOKEN_READ = STANDARD_RIGHTS_READ | TOKEN_QUERY;
constexpr ACCESS_MASK TOKEN_WRITE =
    STANDARD_RIGHTS_WRITE | TOKEN_ADJUST_PRIVILEGES | TOKEN_ADJUST_GROUPS | TOKEN_ADJUST_DEFAULT;
constexpr ACCESS_MASK TOKEN_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | 0x01FF;
static_assert((TOKEN_WRITE | TOKEN_QUERY) == 0x200E8);

constexpr const char* SE_SYSTEM_ENVIRONMENT_NAME = "SeSystemEnvironmentPrivilege";
constexpr const char* SE_SHUTDOWN_NAME = "SeShutdownPrivilege";
constexpr const char* SE_DEBUG_NAME = "SeDebugPrivilege";
constexpr const char* SE_BACKUP_NAME = "SeBackupPrivilege";
constexpr const char* SE_RESTORE_NAME = "SeRestorePrivilege";
constexpr const char* SE_LOAD_DRIVER_NAME = "SeLoadDriverPrivilege";
constexpr const char* SE_MANAGE_VOLUME_NAME = "SeManageVolumePrivilege";

// Only the current process's token can be opened (GetCurrentProcess()). Close it with CloseHandle.
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE tokenHandle);

// The locally unique id of a privilege of the local system (system name null or empty; any other
// gives RPC_S_SERVER_UNAVAILABLE); ERROR_NO_SUCH_PRIVILEGE for a name the system does not know.
BOOL LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid);
BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, PLUID luid);

// Enables, disables or removes the listed privileges (or disables all). Needs
// TOKEN_ADJUST_PRIVILEGES, and TOKEN_QUERY when the previous state is asked for; the previous state
// lists the privileges whose state changed, with their former attributes. Succeeds with the last
// error ERROR_NOT_ALL_ASSIGNED when the token lacks one of them, else ERROR_SUCCESS. A previous
// state buffer that is too small gives ERROR_INSUFFICIENT_BUFFER and changes nothing.
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAllPrivileges, PTOKEN_PRIVILEGES newState,
                           DWORD bufferLength, PTOKEN_PRIVILEGES previousState, LPDWORD returnLength);
