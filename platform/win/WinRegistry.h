#pragma once
// The registry. Keys live in the simulated machine's "registry" section (see sim/Registry.h); a
// 64-bit program sees the 64-bit view unless it asks for the 32-bit one with KEY_WOW64_32KEY, in
// which HKLM\SOFTWARE\x is HKLM\SOFTWARE\WOW6432Node\x. Functions return a Win32 error (0 success)
// and leave the thread's last error alone.
#include "platform/win/WinAccess.h"
#include "platform/win/WinTypes.h"
#include "platform/win/WinVersion.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = ACCESS_MASK;
using LSTATUS = LONG;

namespace platform {
inline HKEY PredefinedKey(uint32_t value) {
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(value)));
}
} // namespace platform

inline HKEY const HKEY_CLASSES_ROOT = platform::PredefinedKey(0x80000000);
inline HKEY const HKEY_CURRENT_USER = platform::PredefinedKey(0x80000001);
inline HKEY const HKEY_LOCAL_MACHINE = platform::PredefinedKey(0x80000002);
inline HKEY const HKEY_USERS = platform::PredefinedKey(0x80000003);
inline HKEY const HKEY_CURRENT_CONFIG = platform::PredefinedKey(0x80000005);

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_RESOURCE_LIST = 8;
constexpr DWORD REG_QWORD = 11;

// Key access rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_WOW64_RES = 0x0300;
constexpr REGSAM KEY_READ =
    (STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & ~SYNCHRONIZE;
constexpr REGSAM KEY_WRITE = (STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & ~SYNCHRONIZE;
constexpr REGSAM KEY_EXECUTE = KEY_READ & ~SYNCHRONIZE;
constexpr REGSAM KEY_ALL_ACCESS =
    (STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS |
     KEY_NOTIFY | KEY_CREATE_LINK) &
    ~SYNCHRONIZE;
static_assert(KEY_READ == 0x20019 && KEY_WRITE == 0x20006 && KEY_ALL_ACCESS == 0xF003F);

// Key options and create dispositions.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0x0;
constexpr DWORD REG_OPTION_VOLATILE = 0x1;
constexpr DWORD REG_OPTION_CREATE_LINK = 0x2;
constexpr DWORD REG_OPTION_BACKUP_RESTORE = 0x4;
constexpr DWORD REG_OPTION_OPEN_LINK = 0x8;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens a key relative to an open or predefined key (a null or empty subkey opens the key itself
// again). ERROR_FILE_NOT_FOUND when it does not exist; ERROR_ACCESS_DENIED for write access under
// HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT on a machine that does not run programs elevated.
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result);
// The older form: opens for the access the caller may have, which reading always is.
LSTATUS RegOpenKeyW(HKEY key, LPCWSTR subKey, PHKEY result);

// Opens or creates a key and its missing parents; the disposition tells which.
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                        REGSAM desired, const SECURITY_ATTRIBUTES* attributes, PHKEY result,
                        LPDWORD disposition);
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                        REGSAM desired, const SECURITY_ATTRIBUTES* attributes, PHKEY result,
                        LPDWORD disposition);

// Reads a value (a null or empty name is the key's default value). A null data buffer asks for the
// size only; a buffer smaller than the value gives ERROR_MORE_DATA with the needed size and leaves the
// buffer as it was. Narrow calls see text as narrow characters, wide calls as wchar_t characters.
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size);

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName);
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName);

// Deletes the subkey with everything below it; a null subkey deletes the key's values and subkeys.
LSTATUS RegDeleteTreeA(HKEY key, LPCSTR subKey);
LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey);

// Writes a value into a subkey, creating the subkey when it is missing.
LSTATUS RegSetKeyValueA(HKEY key, LPCSTR subKey, LPCSTR valueName, DWORD type, LPCVOID data, DWORD size);
LSTATUS RegSetKeyValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD type, LPCVOID data, DWORD size);

LSTATUS RegCloseKey(HKEY key);
