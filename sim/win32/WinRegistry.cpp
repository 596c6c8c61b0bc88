#include "platform/win/WinRegistry.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/win/WinError.h"
#include "sim/Os.h"
#include "sim/RegistryStore.h"
#include "sim/Schema.h"
#include "sim/WideText.h"
#include "sim/win32/HandleTable.h"
#include "sim/win32/SimCall.h"

namespace {

using sim::registry::TextForm;

// Rights that change a key; a program that does not run elevated gets none of them under
// HKEY_LOCAL_MACHINE.
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

// An open key: the path the program named, the view it opened it in and the rights it holds.
struct KeyRef {
    std::string path;
    bool view32 = false;
    REGSAM access = 0;
    bool predefined = false;

    std::string native() const { return sim::registry::ViewPath(path, view32 && sim::os::Is64Bit()); }
};

class RegistryKey : public platform::KernelObject {
public:
    explicit RegistryKey(KeyRef ref) : ref_(std::move(ref)) {}
    const KeyRef& ref() const { return ref_; }

private:
    KeyRef ref_;
};

std::optional<KeyRef> Base(HKEY key) {
    static const struct {
        HKEY key;
        const char* root;
    } roots[] = {
        {HKEY_CLASSES_ROOT, "HKCR"}, {HKEY_CURRENT_USER, "HKCU"},   {HKEY_LOCAL_MACHINE, "HKLM"},
        {HKEY_USERS, "HKU"},         {HKEY_CURRENT_CONFIG, "HKCC"},
    };
    for (const auto& r : roots)
        if (key == r.key)
            return KeyRef{r.root, false, KEY_ALL_ACCESS, true};
    if (auto open = platform::LookupHandleAs<RegistryKey>(reinterpret_cast<HANDLE>(key)))
        return open->ref();
    return std::nullopt;
}

bool UnderRoot(const std::string& native, const char* root) {
    const size_t n = std::strlen(root);
    return native.size() >= n && native.compare(0, n, root) == 0 && (native.size() == n || native[n] == '\\');
}

// HKEY_CLASSES_ROOT is written through to HKLM\SOFTWARE\Classes on Windows, so it is guarded alike.
bool WriteDenied(const std::string& native, REGSAM access) {
    return (access & kWriteRights) && (UnderRoot(native, "HKLM") || UnderRoot(native, "HKCR")) &&
           !sim::os::Elevated();
}

// The key a call names: a subkey of an open key, in the view the call asks for (else the open key's).
LSTATUS Resolve(HKEY key, const std::string& subKey, REGSAM desired, KeyRef* out) {
    auto base = Base(key);
    if (!base)
        return ERROR_INVALID_HANDLE;
    if ((desired & KEY_WOW64_RES) == KEY_WOW64_RES)
        return ERROR_INVALID_PARAMETER;
    if (!base->predefined && !sim::registry::KeyExists(base->native()))
        return ERROR_KEY_DELETED;
    out->view32 = desired & KEY_WOW64_32KEY ? true : desired & KEY_WOW64_64KEY ? false : base->view32;
    out->path = subKey.empty() ? base->path : base->path + "\\" + subKey;
    out->access = desired & ~KEY_WOW64_RES;
    out->predefined = false;
    return ERROR_SUCCESS;
}

// An open key the call may use with the given rights.
LSTATUS Use(HKEY key, REGSAM rights, KeyRef* out) {
    auto base = Base(key);
    if (!base)
        return ERROR_INVALID_HANDLE;
    if ((base->access & rights) != rights)
        return ERROR_ACCESS_DENIED;
    *out = *base;
    return ERROR_SUCCESS;
}

LSTATUS Injected(const char* kind, const nlohmann::json& selectors, std::vector<uint8_t> input = {}) {
    auto outcome = platform::SimCall(kind, selectors, std::move(input));
    return outcome ? static_cast<LSTATUS>(platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE))
                   : ERROR_SUCCESS;
}

HKEY Hand(const KeyRef& ref) {
    return reinterpret_cast<HKEY>(platform::InsertHandle(std::make_shared<RegistryKey>(ref)));
}

std::string Narrow(LPCSTR text) {
    return text ? std::string(text) : std::string();
}
std::string Narrow(LPCWSTR text) {
    return text ? sim::ToUtf8(text) : std::string();
}

template <class Char> LSTATUS OpenKey(HKEY key, const Char* subKey, REGSAM desired, PHKEY result) {
    return platform::Guarded(
        [&]() -> LSTATUS {
            if (!result)
                return ERROR_INVALID_PARAMETER;
            *result = nullptr;
            KeyRef ref;
            if (LSTATUS status = Resolve(key, Narrow(subKey), desired, &ref))
                return status;
            const std::string native = ref.native();
            if (LSTATUS status = Injected("RegOpenKeyEx", {{"key", native}, {"access", desired}}))
                return status;
            if (WriteDenied(native, ref.access))
                return ERROR_ACCESS_DENIED;
            if (!sim::registry::KeyExists(native))
                return ERROR_FILE_NOT_FOUND;
            *result = Hand(ref);
            return ERROR_SUCCESS;
        },
        platform::Returned<LSTATUS>());
}

template <class Char>
LSTATUS CreateKey(HKEY key, const Char* subKey, REGSAM desired, PHKEY result, LPDWORD disposition) {
    return platform::Guarded(
        [&]() -> LSTATUS {
            if (!subKey || !result)
                return ERROR_INVALID_PARAMETER;
            *result = nullptr;
            KeyRef ref;
            if (LSTATUS status = Resolve(key, Narrow(subKey), desired, &ref))
                return status;
            const std::string native = ref.native();
            if (LSTATUS status = Injected("RegCreateKeyEx", {{"key", native}, {"access", desired}}))
                return status;
            if (WriteDenied(native, ref.access | KEY_CREATE_SUB_KEY))
                return ERROR_ACCESS_DENIED;
            bool created = false;
            if (!sim::registry::KeyExists(native)) {
                if (!(Base(key)->access & KEY_CREATE_SUB_KEY))
                    return ERROR_ACCESS_DENIED;
                if (LSTATUS status = static_cast<LSTATUS>(sim::registry::CreateKey(native, &created)))
                    return status;
            }
            if (disposition)
                *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
            *result = Hand(ref);
            return ERROR_SUCCESS;
        },
        platform::Returned<LSTATUS>());
}

template <class Char>
LSTATUS QueryValue(HKEY key, const Char* valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size,
                   TextForm form) {
    return platform::Guarded(
        [&]() -> LSTATUS {
            if (reserved || (data && !size))
                return ERROR_INVALID_PARAMETER;
            KeyRef ref;
            if (LSTATUS status = Use(key, KEY_QUERY_VALUE, &ref))
                return status;
            const std::string native = ref.native();
            const std::string name = Narrow(valueName);
            if (LSTATUS status = Injected("RegQueryValueEx", {{"key", native}, {"name", name}}))
                return status;
            if (!sim::registry::KeyExists(native))
                return ref.predefined ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
            nlohmann::json value;
            if (LSTATUS status = static_cast<LSTATUS>(sim::registry::QueryValue(native, name, &value)))
                return status;
            uint32_t valueType = 0;
            const std::vector<uint8_t> bytes = sim::registry::ValueBytes(value, form, &valueType);
            if (type)
                *type = valueType;
            if (!data) {
                if (size)
                    *size = static_cast<DWORD>(bytes.size());
                return ERROR_SUCCESS;
            }
            if (*size < bytes.size()) {
                *size = static_cast<DWORD>(bytes.size());
                return ERROR_MORE_DATA;
            }
            if (!bytes.empty())
                std::memcpy(data, bytes.data(), bytes.size());
            *size = static_cast<DWORD>(bytes.size());
            return ERROR_SUCCESS;
        },
        platform::Returned<LSTATUS>());
}

LSTATUS StoreValue(const char* kind, const std::string& native, const std::string& name, DWORD type,
                   const BYTE* data, DWORD size, TextForm form) {
    if (!data && size > 0)
        return ERROR_NOACCESS;
    std::vector<uint8_t> input(data, data + (data ? size : 0));
    if (LSTATUS status =
            Injected(kind, {{"key", native}, {"name", name}, {"type", sim::registry::TypeName(type)}}, input))
        return status;
    return static_cast<LSTATUS>(sim::registry::SetValue(
        native, name, sim::registry::ValueFromBytes(type, input.data(), input.size(), form)));
}

template <class Char>
LSTATUS SetValue(HKEY key, const Char* valueName, DWORD type, const BYTE* data, DWORD size, TextForm form) {
    return platform::Guarded(
        [&]() -> LSTATUS {
            KeyRef ref;
            if (LSTATUS status = Use(key, KEY_SET_VALUE, &ref))
                return status;
            const std::string native = ref.native();
            if (!ref.predefined && !sim::registry::KeyExists(native))
                return ERROR_KEY_DELETED;
            if (WriteDenied(native, KEY_SET_VALUE))
                return ERROR_ACCESS_DENIED;
            return StoreValue("RegSetValueEx", native, Narrow(valueName), type, data, size, form);
        },
        platform::Returned<LSTATUS>());
}

template <class Char> LSTATUS DeleteValue(HKEY key, const Char* valueName) {
    return platform::Guarded(
        [&]() -> LSTATUS {
            KeyRef ref;
            if (LSTATUS status = Use(key, KEY_SET_VALUE, &ref))
                return status;
            const std::string native = ref.native();
            const std::string name = Narrow(valueName);
            if (LSTATUS status = Injected("RegDeleteValue", {{"key", native}, {"name", name}}))
                return status;
            if (!ref.predefined && !sim::registry::KeyExists(native))
                return ERROR_KEY_DELETED;
            if (WriteDenied(native, KEY_SET_VALUE))
                return ERROR_ACCESS_DENIED;
            return static_cast<LSTATUS>(sim::registry::DeleteValue(native, name));
        },
        platform::Returned<LSTATUS>());
}

template <class Char> LSTATUS DeleteTree(HKEY key, const Char* subKey) {
    return platform::Guarded(
        [&]() -> LSTATUS {
            KeyRef base;
            const REGSAM needed =
                DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | (subKey ? 0 : KEY_SET_VALUE);
            if (LSTATUS status = Use(key, needed, &base))
                return status;
            KeyRef ref;
            if (LSTATUS status = Resolve(key, Narrow(subKey), 0, &ref))
                return status;
            const std::string native = ref.native();
            if (LSTATUS status = Injected("RegDeleteTree", {{"key", native}}))
                return status;
            if (WriteDenied(native, DELETE))
                return ERROR_ACCESS_DENIED;
            return static_cast<LSTATUS>(sim::registry::DeleteTree(native, subKey != nullptr));
        },
        platform::Returned<LSTATUS>());
}

template <class Char>
LSTATUS SetKeyValue(HKEY key, const Char* subKey, const Char* valueName, DWORD type, LPCVOID data, DWORD size,
                    TextForm form) {
    return platform::Guarded(
        [&]() -> LSTATUS {
            KeyRef ref;
            if (LSTATUS status = Resolve(key, Narrow(subKey), KEY_SET_VALUE, &ref))
                return status;
            const std::string native = ref.native();
            if (WriteDenied(native, KEY_SET_VALUE | KEY_CREATE_SUB_KEY))
                return ERROR_ACCESS_DENIED;
            if (!sim::registry::KeyExists(native)) {
                if (!(Base(key)->access & KEY_CREATE_SUB_KEY))
                    return ERROR_ACCESS_DENIED;
                if (LSTATUS status = static_cast<LSTATUS>(sim::registry::CreateKey(native, nullptr)))
                    return status;
            }
            return StoreValue("RegSetKeyValue", native, Narrow(valueName), type,
                              static_cast<const BYTE*>(data), size, form);
        },
        platform::Returned<LSTATUS>());
}

} // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result) {
    return OpenKey(key, subKey, desired, result);
}
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM desired, PHKEY result) {
    return OpenKey(key, subKey, desired, result);
}
LSTATUS RegOpenKeyW(HKEY key, LPCWSTR subKey, PHKEY result) {
    return OpenKey(key, subKey, KEY_READ, result);
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM desired,
                        const SECURITY_ATTRIBUTES*, PHKEY result, LPDWORD disposition) {
    return CreateKey(key, subKey, desired, result, disposition);
}
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM desired,
                        const SECURITY_ATTRIBUTES*, PHKEY result, LPDWORD disposition) {
    return CreateKey(key, subKey, desired, result, disposition);
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size) {
    return QueryValue(key, valueName, reserved, type, data, size, TextForm::Narrow);
}
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size) {
    return QueryValue(key, valueName, reserved, type, data, size, TextForm::Wide);
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
    return SetValue(key, valueName, type, data, size, TextForm::Narrow);
}
LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
    return SetValue(key, valueName, type, data, size, TextForm::Wide);
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) {
    return DeleteValue(key, valueName);
}
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    return DeleteValue(key, valueName);
}

LSTATUS RegDeleteTreeA(HKEY key, LPCSTR subKey) {
    return DeleteTree(key, subKey);
}
LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
    return DeleteTree(key, subKey);
}

LSTATUS RegSetKeyValueA(HKEY key, LPCSTR subKey, LPCSTR valueName, DWORD type, LPCVOID data, DWORD size) {
    return SetKeyValue(key, subKey, valueName, type, data, size, TextForm::Narrow);
}
LSTATUS RegSetKeyValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD type, LPCVOID data, DWORD size) {
    return SetKeyValue(key, subKey, valueName, type, data, size, TextForm::Wide);
}

LSTATUS RegCloseKey(HKEY key) {
    if (Base(key) && Base(key)->predefined)
        return ERROR_SUCCESS;
    if (!platform::LookupHandleAs<RegistryKey>(reinterpret_cast<HANDLE>(key)))
        return ERROR_INVALID_HANDLE;
    platform::RemoveHandle(reinterpret_cast<HANDLE>(key));
    return ERROR_SUCCESS;
}

namespace {

using namespace sim::schema;

const FaultKind kKeyFaults({"RegOpenKeyEx", "RegCreateKeyEx"}, {"key", "access"},
                           Object({{"win32_error", Uint32()}}));
const FaultKind kValueFaults({"RegQueryValueEx", "RegDeleteValue"}, {"key", "name"},
                             Object({{"win32_error", Uint32()}}));
const FaultKind kSetFaults({"RegSetValueEx", "RegSetKeyValue"}, {"key", "name", "type"},
                           Object({{"win32_error", Uint32()}}));
const FaultKind kTreeFaults("RegDeleteTree", {"key"}, Object({{"win32_error", Uint32()}}));

} // namespace
