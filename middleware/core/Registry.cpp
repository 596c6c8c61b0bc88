#include "middleware/core/Registry.h"

#include <cstring>
#include <new>
#include <vector>

#include "platform/win/Trace.h"
#include "platform/win/WinVersion.h"

namespace {

bool IsWindows2000() {
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof info;
    info.dwMajorVersion = 5;
    info.dwMinorVersion = 0;
    ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_EQUAL);
    return VerifyVersionInfoA(&info, VER_MAJORVERSION | VER_MINORVERSION, mask) != FALSE;
}

// Closes the key when the scope ends.
class OpenKey {
public:
    OpenKey() = default;
    ~OpenKey() {
        if (key_)
            RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

} // namespace

LONG RegistryOpenKey(HKEY root, const std::string& subKey, DWORD options, REGSAM access, HKEY* key) {
    const REGSAM viewed = IsWindows2000() ? access : access | KEY_WOW64_64KEY;
    const LONG result = RegOpenKeyExA(root, subKey.c_str(), options, viewed, key);
    if (result == ERROR_SUCCESS)
        return result;
    return RegOpenKeyExA(root, subKey.c_str(), options, access, key);
}

LONG RegistryQueryValue(HKEY root, const std::string& subKey, const std::string& valueName, DWORD* type,
                        void* buffer, DWORD* length) {
    if (!length)
        return ERROR_INVALID_PARAMETER;
    OpenKey key;
    if (LONG result = RegistryOpenKey(root, subKey, 0, KEY_READ, key.out()))
        return result;
    DWORD valueType = 0;
    DWORD size = 0;
    const LONG query = RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &valueType, nullptr, &size);
    if (type)
        *type = valueType;
    if (buffer && *length < size)
        return ERROR_MORE_DATA;
    if (!buffer) {
        if (query == ERROR_SUCCESS)
            *length = size;
        return query;
    }
    if (query != ERROR_SUCCESS)
        return query;

    std::memset(buffer, 0, *length);
    std::vector<BYTE> block;
    try {
        block.assign(static_cast<size_t>(size) + 1, 0);
    } catch (const std::bad_alloc&) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    DWORD read = static_cast<DWORD>(block.size());
    const LONG result =
        RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &valueType, block.data(), &read);
    std::memset(buffer, 0, *length);
    // The value may have grown since it was measured.
    if (result == ERROR_MORE_DATA || (result == ERROR_SUCCESS && read > *length))
        return ERROR_MORE_DATA;
    if (result != ERROR_SUCCESS)
        return result;
    if (type)
        *type = valueType;
    std::memcpy(buffer, block.data(), read);
    *length = read;
    return ERROR_SUCCESS;
}

LONG RegistryReadDword(HKEY root, const std::string& subKey, const std::string& valueName, DWORD* value) {
    DWORD data = 0;
    DWORD length = sizeof data;
    const LONG result = RegistryQueryValue(root, subKey, valueName, nullptr, &data, &length);
    if (result == ERROR_SUCCESS && value)
        *value = data;
    return result;
}

LONG RegistryWriteValue(HKEY root, const std::string& subKey, const std::string& valueName, DWORD type,
                        const void* data, DWORD size, REGSAM access) {
    OpenKey key;
    if (RegistryOpenKey(root, subKey, 0, access, key.out()) != ERROR_SUCCESS) {
        if (LONG result = RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                          access | KEY_SET_VALUE, nullptr, key.out(), nullptr))
            return result;
    }
    if (!data)
        return ERROR_SUCCESS;
    return RegSetValueExA(key.get(), valueName.c_str(), 0, type, static_cast<const BYTE*>(data), size);
}

LONG RegistryWriteDword(HKEY root, const std::string& subKey, const std::string& valueName, DWORD value,
                        REGSAM access) {
    return RegistryWriteValue(root, subKey, valueName, REG_DWORD, &value, sizeof value, access);
}

LONG RegistryDeleteValue(HKEY root, const std::string& subKey, const std::string& valueName) {
    OpenKey key;
    if (LONG result = RegistryOpenKey(root, subKey, 0, KEY_ALL_ACCESS, key.out()))
        return result;
    return RegDeleteValueA(key.get(), valueName.c_str());
}

LONG WriteProductSettingDword(const std::string& valueName, DWORD value) {
    try {
        MOX_TRACE(TRACE_LEVEL_INFORMATION, "Writing product setting %s = %u", valueName.c_str(), value);
        const LONG result = RegistryWriteDword(HKEY_LOCAL_MACHINE, kProductSettingsKey, valueName, value,
                                               KEY_SET_VALUE | KEY_WOW64_32KEY);
        if (result != ERROR_SUCCESS)
            MOX_TRACE(TRACE_LEVEL_ERROR, "Writing product setting %s failed with %d", valueName.c_str(),
                      result);
        return result;
    } catch (const std::exception& e) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "Writing product setting %s threw: %s", valueName.c_str(), e.what());
    } catch (...) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "Writing product setting %s threw", valueName.c_str());
    }
    return 1;
}
