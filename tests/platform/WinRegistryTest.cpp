#include <cstring>
#include <cwchar>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win/WinRegistry.h"
#include "platform/win/WinVersion.h"
#include "sim/Machine.h"
#include "sim/Registry.h"
#include "tests/support/ChildProcess.h"

namespace {

sim::Value Machine(sim::Value extra = sim::Value::object()) {
    sim::Value description{{"name", "registry-test"},
                           {"registry",
                            {{"keys",
                              {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Bexl",
                                {{"OemReservedVolume", {{"type", "REG_DWORD"}, {"data", 1}}},
                                 {"Label", {{"type", "REG_SZ"}, {"data", "Fast"}}},
                                 {"Order", {{"type", "REG_MULTI_SZ"}, {"data", {"a", "bc"}}}},
                                 {"Blob", {{"type", "REG_BINARY"}, {"data", "00ff10"}}}}}}}}}};
    description.update(extra);
    return description;
}

class WinRegistry : public ::testing::Test {
protected:
    sim::ScopedMachine machine{Machine()};

    HKEY Open(const char* path, REGSAM access) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key), ERROR_SUCCESS) << path;
        return key;
    }
};

std::vector<uint8_t> Bytes(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(p, p + size);
}

TEST_F(WinRegistry, DescribedValuesReadBackInNarrowAndWideForm) {
    HKEY key = Open("software\\orvex\\BEXL", KEY_READ);
    const std::wstring wideLabel = L"Fast";
    const std::wstring wideOrder(L"a\0bc\0\0", 6);
    struct Case {
        const char* name;
        DWORD type;
        std::vector<uint8_t> narrow;
        std::vector<uint8_t> wide;
    } cases[] = {
        {"oemreservedvolume", REG_DWORD, {1, 0, 0, 0}, {1, 0, 0, 0}},
        {"Label", REG_SZ, Bytes("Fast", 5), Bytes(wideLabel.c_str(), 5 * sizeof(wchar_t))},
        {"Order", REG_MULTI_SZ, Bytes("a\0bc\0\0", 6), Bytes(wideOrder.data(), 6 * sizeof(wchar_t))},
        {"Blob", REG_BINARY, {0x00, 0xFF, 0x10}, {0x00, 0xFF, 0x10}},
    };
    for (const auto& c : cases) {
        DWORD type = 0, size = 0;
        ASSERT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS) << c.name;
        EXPECT_EQ(type, c.type);
        ASSERT_EQ(size, c.narrow.size()) << c.name;
        std::vector<uint8_t> buffer(size);
        ASSERT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, buffer.data(), &size), ERROR_SUCCESS);
        EXPECT_EQ(buffer, c.narrow) << c.name;

        const std::wstring wideName(c.name, c.name + std::strlen(c.name));
        size = 0;
        ASSERT_EQ(RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        ASSERT_EQ(size, c.wide.size()) << c.name;
        buffer.assign(size, 0);
        ASSERT_EQ(RegQueryValueExW(key, wideName.c_str(), nullptr, &type, buffer.data(), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(buffer, c.wide) << c.name;
    }

    // A buffer smaller than the value is left as it was; the size needed comes back.
    uint8_t small[2] = {0xAA, 0xBB};
    DWORD size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "OemReservedVolume", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(small[0], 0xAA);
    EXPECT_EQ(small[1], 0xBB);

    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, "Label", nullptr, nullptr, small, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(WinRegistry, WrittenValuesArePersistedTypedAndLogged) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex\\Xqjd\\Sub", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const DWORD five = 5;
    ASSERT_EQ(RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&five), 4),
              ERROR_SUCCESS);
    const std::wstring text = L"Kept";
    ASSERT_EQ(RegSetValueExW(key, L"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    // A later write keeps the name's first spelling.
    const DWORD six = 6;
    ASSERT_EQ(RegSetValueExA(key, "COUNT", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&six), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);

    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\orvex\\xqjd\\sub", 0, nullptr, 0, KEY_READ,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);

    // Another process opening the machine sees the values as written.
    sim::Value state = sim::Machine::Open(machine.stateDir(), sim::MachineBuilder())->Snapshot();
    EXPECT_EQ(state["registry"]["keys"]["HKLM\\SOFTWARE\\Orvex\\Xqjd\\Sub"],
              (sim::Value{{"Count", {{"type", "REG_DWORD"}, {"data", 6}}},
                          {"Name", {{"type", "REG_SZ"}, {"data", "Kept"}}}}));

    auto log = sim::registry::WriteLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0]["op"], "create_key");
    EXPECT_EQ(log[1], (sim::Value{{"op", "set_value"},
                                  {"key", "HKLM\\SOFTWARE\\Orvex\\Xqjd\\Sub"},
                                  {"name", "Count"},
                                  {"type", "REG_DWORD"},
                                  {"data", 5}}));
    EXPECT_EQ(log[3]["data"], 6);
    sim::registry::ClearWriteLog();
    EXPECT_TRUE(sim::registry::WriteLog().empty());
}

TEST_F(WinRegistry, ThirtyTwoBitViewLivesUnderWow6432Node) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex\\Bexl", 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    ASSERT_EQ(RegSetValueExA(key, "IsHalvexEnabled", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);

    sim::Value value;
    EXPECT_EQ(
        sim::registry::QueryValue("HKLM\\SOFTWARE\\WOW6432Node\\Orvex\\Bexl", "IsHalvexEnabled", &value),
        ERROR_SUCCESS);
    EXPECT_EQ(value["data"], 1);
    EXPECT_EQ(sim::registry::QueryValue("HKLM\\SOFTWARE\\Orvex\\Bexl", "IsHalvexEnabled", &value),
              ERROR_FILE_NOT_FOUND);

    // A key opened in one view keeps that view for the keys below it.
    HKEY software = Open("SOFTWARE", KEY_READ | KEY_WOW64_32KEY);
    HKEY bexl = nullptr;
    ASSERT_EQ(RegOpenKeyExA(software, "Orvex\\Bexl", 0, KEY_READ, &bexl), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(bexl, "IsHalvexEnabled", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(bexl, "OemReservedVolume", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(bexl);
    ASSERT_EQ(RegOpenKeyExA(software, "Orvex\\Bexl", 0, KEY_READ | KEY_WOW64_64KEY, &bexl), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(bexl, "OemReservedVolume", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    RegCloseKey(bexl);
    RegCloseKey(software);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ | KEY_WOW64_RES, &software),
              ERROR_INVALID_PARAMETER);
}

TEST(WinRegistryMachine, AThirtyTwoBitSystemHasOneView) {
    sim::ScopedMachine machine(Machine({{"os", {{"is_64bit", false}}}}));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex\\Bexl", 0, KEY_READ | KEY_WOW64_32KEY, &key),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "OemReservedVolume", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(WinRegistry, HandlesCarryTheirAccessAndOutliveNoDeletedKey) {
    HKEY readOnly = Open("SOFTWARE\\Orvex\\Bexl", KEY_READ);
    const DWORD one = 1;
    EXPECT_EQ(RegSetValueExA(readOnly, "X", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(readOnly, "Label"), ERROR_ACCESS_DENIED);
    HKEY writeOnly = Open("SOFTWARE\\Orvex\\Bexl", KEY_SET_VALUE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(writeOnly, "Label", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(writeOnly, "label"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(writeOnly, "label"), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(readOnly, "OemReservedVolume", nullptr, nullptr, nullptr, &size),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExA(writeOnly, "X", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
              ERROR_KEY_DELETED);
    HKEY gone = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex\\Bexl", 0, KEY_READ, &gone),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(gone, nullptr);
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex"), ERROR_FILE_NOT_FOUND);
    // The deleted key's parent stays.
    EXPECT_TRUE(sim::registry::KeyExists("HKLM\\SOFTWARE"));
    RegCloseKey(readOnly);
    RegCloseKey(writeOnly);

    // RegSetKeyValue makes the missing subkey.
    const wchar_t* text = L"v";
    EXPECT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvex\\New", L"Item", REG_SZ, text,
                              2 * sizeof(wchar_t)),
              ERROR_SUCCESS);
    sim::Value value;
    EXPECT_EQ(sim::registry::QueryValue("HKLM\\SOFTWARE\\Orvex\\New", "item", &value), ERROR_SUCCESS);
    EXPECT_EQ(value["data"], "v");
}

TEST(WinRegistryMachine, WithoutElevationLocalMachineIsReadOnly) {
    sim::ScopedMachine machine(Machine({{"os", {{"elevated", false}}}}));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex\\Bexl", 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex\\Other", 0, nullptr, 0, KEY_READ, nullptr,
                              &key, nullptr),
              ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex\\Bexl", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(WinRegistry, InjectedFailuresComeBackAsTheResult) {
    machine->faults().Add(sim::FaultRule::FromJson(
        {{"kind", "RegQueryValueEx"}, {"match", {{"name", "label"}}}, {"outcome", {{"win32_error", 5}}}}));
    machine->faults().Add(
        sim::FaultRule::FromJson({{"kind", "RegOpenKeyEx"},
                                  {"match", {{"key", "HKLM\\SOFTWARE\\WOW6432Node\\Orvex"}}},
                                  {"times", -1},
                                  {"outcome", {{"win32_error", 2}}}}));
    HKEY key = Open("SOFTWARE\\Orvex\\Bexl", KEY_READ);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Label", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueExA(key, "Label", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex", 0, KEY_READ | KEY_WOW64_32KEY, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(machine->calls().Count("RegQueryValueEx"), 2u);
}

// ---- version test ----

TEST(WinVersion, ConditionMaskHoldsThreeBitsPerField) {
    ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL);
    EXPECT_EQ(mask, 0x8u);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    EXPECT_EQ(mask, 0xBu);
    EXPECT_EQ(VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL), 1ull << 21);
    // One field per call: the highest bit of the type mask.
    EXPECT_EQ(VerSetConditionMask(0, VER_MAJORVERSION | VER_MINORVERSION, VER_LESS), 4ull << 3);
    EXPECT_EQ(VerSetConditionMask(7, VER_MAJORVERSION, 0), 7u);
}

TEST(WinVersion, MachineVersionAnswersTheComparisons) {
    struct Case {
        DWORD osMajor, osMinor, major, minor;
        BYTE condition;
        bool expected;
    } cases[] = {
        {10, 0, 5, 0, VER_EQUAL, false},          {5, 0, 5, 0, VER_EQUAL, true},
        {5, 1, 5, 0, VER_EQUAL, false},           {10, 0, 6, 1, VER_GREATER_EQUAL, true},
        {10, 0, 10, 1, VER_GREATER_EQUAL, false}, {6, 1, 6, 0, VER_GREATER, true},
        {6, 0, 6, 0, VER_GREATER, false},         {6, 3, 10, 0, VER_LESS, true},
    };
    for (const auto& c : cases) {
        sim::ScopedMachine machine(
            sim::Value{{"name", "v"}, {"os", {{"version", {{"major", c.osMajor}, {"minor", c.osMinor}}}}}});
        OSVERSIONINFOEXA info{};
        info.dwOSVersionInfoSize = sizeof info;
        info.dwMajorVersion = c.major;
        info.dwMinorVersion = c.minor;
        ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, c.condition);
        mask = VerSetConditionMask(mask, VER_MINORVERSION, c.condition);
        SetLastError(0);
        EXPECT_EQ(VerifyVersionInfoA(&info, VER_MAJORVERSION | VER_MINORVERSION, mask) != 0, c.expected)
            << c.osMajor << "." << c.osMinor << " vs " << c.major << "." << c.minor;
        EXPECT_EQ(GetLastError(), c.expected ? 0u : ERROR_OLD_WIN_VERSION);
    }
    sim::ScopedMachine machine(sim::Value{{"name", "v"}});
    OSVERSIONINFOEXA info{};
    EXPECT_FALSE(VerifyVersionInfoA(&info, 0, 1));
    EXPECT_EQ(GetLastError(), ERROR_BAD_ARGUMENTS);
    EXPECT_FALSE(
        VerifyVersionInfoA(&info, VER_MAJORVERSION, VerSetConditionMask(0, VER_MINORVERSION, VER_EQUAL)));
    EXPECT_EQ(GetLastError(), ERROR_BAD_ARGUMENTS);
}

} // namespace
