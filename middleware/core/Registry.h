#pragma once
// Registry access with narrow texts, choosing the registry view by the operating system version:
// the 64-bit view everywhere but on Windows 5.0, which has no views. Every function returns a Win32
// error (0 on success) and closes every key it opened.
#include <string>

#include "platform/win/WinRegistry.h"

// The key under which the product keeps its settings (HKEY_LOCAL_MACHINE).
constexpr const char* kProductSettingsKey = "SOFTWARE\\Orvex\\Bexl";

LONG RegistryOpenKey(HKEY root, const std::string& subKey, DWORD options, REGSAM access, HKEY* key);
// Reads a value. A null buffer asks for the size, stored in length; a buffer smaller than the value
// gives ERROR_MORE_DATA and stays untouched; otherwise the buffer is zeroed and gets the value, and
// length its size.
LONG RegistryQueryValue(HKEY root, const std::string& subKey, const std::string& valueName, DWORD* type,
                        void* buffer, DWORD* length);
// Reads up to four bytes of a value of any type.
LONG RegistryReadDword(HKEY root, const std::string& subKey, const std::string& valueName, DWORD* value);
// Opens the key with `access`, or creates it; null data writes no value.
LONG RegistryWriteValue(HKEY root, const std::string& subKey, const std::string& valueName, DWORD type,
                        const void* data, DWORD size, REGSAM access);
LONG RegistryWriteDword(HKEY root, const std::string& subKey, const std::string& valueName, DWORD value,
                        REGSAM access);
LONG RegistryDeleteValue(HKEY root, const std::string& subKey, const std::string& valueName);

// Writes a REG_DWORD product setting in the 32-bit registry view, where other software reads it.
// Returns 1 when the write threw.
LONG WriteProductSettingDword(const std::string& valueName, DWORD value);
