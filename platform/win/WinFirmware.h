#pragma once
// UEFI firmware environment variables, as Windows reaches them. A variable is named by its name and
// its vendor GUID, written as text in braces ("{61a14fe8-4dab-4a19-b1e3-97fb23d09212}"; the case of
// the hex digits does not matter, the name's case does). Both calls need the caller's token to have
// SeSystemEnvironmentPrivilege enabled (see WinSecurity.h); without it they fail with
// ERROR_PRIVILEGE_NOT_HELD.
#include "platform/win/WinBase.h"
#include "platform/win/WinError.h"
#include "platform/win/WinTypes.h"

// Attributes of a variable written through these calls: non-volatile, reachable by boot services
// and at run time.
constexpr DWORD VARIABLE_ATTRIBUTE_NON_VOLATILE = 0x00000001;
constexpr DWORD VARIABLE_ATTRIBUTE_BOOTSERVICE_ACCESS = 0x00000002;
constexpr DWORD VARIABLE_ATTRIBUTE_RUNTIME_ACCESS = 0x00000004;

// The namespace of the variables the UEFI specification defines (EFI_GLOBAL_VARIABLE), among them
// the boot order "BootOrder" (16-bit option numbers, first = tried first) and the load options
// "Boot####" (four upper-case hexadecimal digits; EFI_LOAD_OPTION records).
inline constexpr const char* EFI_GLOBAL_VARIABLE_GUID_TEXT = "{8BE4DF61-93CA-11d2-AA0D-00E098032B8C}";

// Copies the variable's value into the buffer and returns its size in bytes. Returns 0 on failure,
// with the last error: ERROR_ENVVAR_NOT_FOUND when the variable does not exist,
// ERROR_INSUFFICIENT_BUFFER when the value is larger than `size` (nothing is copied),
// ERROR_PRIVILEGE_NOT_HELD without the privilege, ERROR_INVALID_PARAMETER for a missing name or a
// GUID text that is not one, ERROR_NOACCESS for a null buffer with a non-zero size.
DWORD GetFirmwareEnvironmentVariableW(LPCWSTR name, LPCWSTR guid, PVOID buffer, DWORD size);
DWORD GetFirmwareEnvironmentVariableA(LPCSTR name, LPCSTR guid, PVOID buffer, DWORD size);

// Creates or replaces the variable with `size` bytes of `value` in one step; a size of 0 deletes it
// (ERROR_ENVVAR_NOT_FOUND when there is none). FALSE on failure with the last error as above.
BOOL SetFirmwareEnvironmentVariableW(LPCWSTR name, LPCWSTR guid, PVOID value, DWORD size);
BOOL SetFirmwareEnvironmentVariableA(LPCSTR name, LPCSTR guid, PVOID value, DWORD size);
