#include "tools/Ostrel/ServiceCommands/ComServerRegistry.h"

#include "platform/win/Trace.h"

namespace {

constexpr const wchar_t* kServerPath = L"c:\\Windows\\System32\\KeplinAfsService.exe";

std::unique_ptr<BasicValue> Default(std::wstring text) {
    return std::make_unique<StringRegistryValue>(std::move(text));
}

std::unique_ptr<BasicValue> Named(std::wstring name, std::wstring text) {
    return std::make_unique<StringRegistryValue>(std::move(name), std::move(text));
}

RegistryKeyEntry Entry(HKEY root, std::wstring subKey, uint8_t writeMode, uint8_t removalMode,
                       std::vector<std::unique_ptr<BasicValue>> values = {}) {
    return RegistryKeyEntry{root, std::move(subKey), std::move(values), writeMode, removalMode};
}

template <class... Values> std::vector<std::unique_ptr<BasicValue>> List(Values... values) {
    std::vector<std::unique_ptr<BasicValue>> list;
    (list.push_back(std::move(values)), ...);
    return list;
}

std::vector<RegistryKeyEntry> BuildTable() {
    const std::wstring clsid = std::wstring(L"CLSID\\") + kComServerClassId;
    const std::wstring typeLib = std::wstring(L"TypeLib\\") + kComServerTypeLibId;
    std::vector<RegistryKeyEntry> table;
    table.push_back(Entry(HKEY_CLASSES_ROOT, std::wstring(L"AppID\\") + kComServerAppId, kWriteAllValues,
                          kRemoveEmptyKey, List(Named(L"LocalService", L"KeplinAfsService"))));
    table.push_back(Entry(HKEY_CLASSES_ROOT, clsid, kWriteAllValues, kRemoveEmptyKey,
                          List(Default(L"Scheduler Class"), Named(L"AppID", kComServerAppId))));
    table.push_back(Entry(
        HKEY_CLASSES_ROOT, clsid + L"\\LocalServer32", kWriteAllValues, kRemoveKeep,
        List(Default(std::wstring(L"\"") + kServerPath + L"\""), Named(L"ServerExecutable", kServerPath))));
    table.push_back(Entry(HKEY_CLASSES_ROOT, clsid + L"\\TypeLib", kWriteAllValues, kRemoveKeep,
                          List(Default(kComServerTypeLibId))));
    table.push_back(
        Entry(HKEY_CLASSES_ROOT, clsid + L"\\Version", kWriteAllValues, kRemoveKeep, List(Default(L"1.0"))));
    table.push_back(Entry(HKEY_CLASSES_ROOT, typeLib, kWriteAllValues, kRemoveEmptyKey));
    table.push_back(Entry(HKEY_CLASSES_ROOT, typeLib + L"\\1.0", kWriteAllValues, kRemoveKeep,
                          List(Default(L"KeplinAfsServiceLib"))));
    table.push_back(Entry(HKEY_CLASSES_ROOT, typeLib + L"\\1.0\\0", kWriteAllValues, kRemoveKeep));
    table.push_back(Entry(HKEY_CLASSES_ROOT, typeLib + L"\\1.0\\0\\win64", kWriteAllValues, kRemoveKeep,
                          List(Default(kServerPath))));
    table.push_back(Entry(HKEY_CLASSES_ROOT, typeLib + L"\\1.0\\FLAGS", kWriteAllValues, kRemoveKeep,
                          List(Default(L"0"))));
    table.push_back(Entry(HKEY_CLASSES_ROOT, typeLib + L"\\1.0\\HELPDIR", kWriteAllValues, kRemoveKeep,
                          List(Default(kServerPath))));
    // The boot migration clean-up deletes this value again; an existing one keeps its phase.
    table.push_back(Entry(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\KeplinAfsService",
                          kWriteMissingValues, kRemoveKeep,
                          List(std::make_unique<DwordRegistryValue>(L"BootMigrationPhase", 1))));
    return table;
}

// Writes the values of one open key; 0 or the failing code.
LSTATUS WriteValues(HKEY key, const RegistryKeyEntry& entry) {
    for (const auto& value : entry.values) {
        if (entry.writeMode == kWriteMissingValues &&
            RegQueryValueExW(key, value->name(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            continue;
        if (LSTATUS status =
                RegSetValueExW(key, value->name(), 0, value->type(), value->data(), value->size())) {
            MOX_TRACE(TRACE_LEVEL_ERROR, "Writing a value of the COM server's registration failed with %d",
                      status);
            return status;
        }
    }
    return ERROR_SUCCESS;
}

} // namespace

const std::vector<RegistryKeyEntry>& ComServerRegistryTable() {
    static const std::vector<RegistryKeyEntry> table = BuildTable();
    return table;
}

LSTATUS ApplyComServerRegistry() {
    for (const RegistryKeyEntry& entry : ComServerRegistryTable()) {
        HKEY key = nullptr;
        LSTATUS status =
            RegCreateKeyExW(entry.root, entry.subKey.c_str(), 0, nullptr, 0,
                            KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) {
            MOX_TRACE(TRACE_LEVEL_ERROR, "Creating a key of the COM server's registration failed with %d",
                      status);
            RemoveComServerRegistry();
            return status;
        }
        status = WriteValues(key, entry);
        if (status != ERROR_SUCCESS)
            RemoveComServerRegistry();
        RegCloseKey(key);
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

LSTATUS RemoveComServerRegistry() {
    for (const RegistryKeyEntry& entry : ComServerRegistryTable()) {
        if (entry.removalMode != kRemoveEmptyKey)
            continue;
        HKEY key = nullptr;
        const LSTATUS opened =
            RegOpenKeyExW(entry.root, entry.subKey.c_str(), 0,
                          DELETE | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS, &key);
        if (opened != ERROR_SUCCESS) {
            MOX_TRACE(TRACE_LEVEL_WARNING, "Opening a key of the COM server's registration failed with %d",
                      opened);
            continue;
        }
        // A null subkey empties the key and keeps it.
        if (LSTATUS status = RegDeleteTreeW(key, nullptr))
            MOX_TRACE(TRACE_LEVEL_WARNING, "Emptying a key of the COM server's registration failed with %d",
                      status);
        RegCloseKey(key);
    }
    return ERROR_SUCCESS;
}
