#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win/WinFirmware.h"
#include "platform/win/WinSecurity.h"
#include "sim/FirmwareVariables.h"
#include "sim/Machine.h"
#include "sim/Os.h"
#include "tests/support/ChildProcess.h"

namespace {

constexpr const char* kGuid = "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}";
constexpr const wchar_t* kWideGuid = L"{61A14FE8-4DAB-4A19-B1E3-97FB23D09212}";

sim::MachineBuilder Machine() {
    return sim::MachineBuilder("firmware-test").Set("/firmware", R"({"variables": [
        {"name": "Short", "guid": "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}", "hex": "01 02 03"},
        {"name": "Other", "guid": "{8be4df61-93ca-11d2-aa0d-00e098032b8c}", "attributes": 7, "hex": "aa"}]})");
}

void EnablePrivilege(bool enabled) {
    sim::os::SetTokenPrivilegeEnabled(*sim::os::PrivilegeLuid(SE_SYSTEM_ENVIRONMENT_NAME), enabled);
}

class WinFirmware : public ::testing::Test {
protected:
    explicit WinFirmware(const sim::MachineBuilder& description = Machine()) : machine(description) {
        EnablePrivilege(true);
    }
    ~WinFirmware() override { sim::os::ResetToken(); }

    sim::ScopedMachine machine;
};

TEST_F(WinFirmware, ReadsCopyTheValueAndReturnItsSize) {
    unsigned char buffer[8] = {};
    EXPECT_EQ(GetFirmwareEnvironmentVariableW(L"Short", kWideGuid, buffer, sizeof buffer), 3u);
    EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + 4), (std::vector<unsigned char>{1, 2, 3, 0}));
    EXPECT_EQ(GetFirmwareEnvironmentVariableA("Other", "{8BE4DF61-93CA-11D2-AA0D-00E098032B8C}", buffer, 1),
              1u);
    EXPECT_EQ(buffer[0], 0xAA);
}

TEST_F(WinFirmware, FailedReadsSayWhyAndCopyNothing) {
    struct Case {
        const wchar_t* name;
        const wchar_t* guid;
        DWORD size;
        DWORD error;
    } cases[] = {
        {L"Missing", kWideGuid, 8, ERROR_ENVVAR_NOT_FOUND},
        {L"short", kWideGuid, 8, ERROR_ENVVAR_NOT_FOUND}, // names keep their case
        {L"Short", L"{8be4df61-93ca-11d2-aa0d-00e098032b8c}", 8, ERROR_ENVVAR_NOT_FOUND},
        {L"Short", kWideGuid, 2, ERROR_INSUFFICIENT_BUFFER},
        {L"Short", L"61a14fe8-4dab-4a19-b1e3-97fb23d09212", 8, ERROR_INVALID_PARAMETER},
        {L"Short", L"{61a14fe8-4dab-4a19-b1e3-97fb23d0921x}", 8, ERROR_INVALID_PARAMETER},
        {L"", kWideGuid, 8, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        unsigned char buffer[8] = {0xEE, 0xEE};
        SetLastError(0);
        EXPECT_EQ(GetFirmwareEnvironmentVariableW(c.name, c.guid, buffer, c.size), 0u) << c.size;
        EXPECT_EQ(GetLastError(), c.error) << c.size;
        EXPECT_EQ(buffer[0], 0xEE);
    }
    EXPECT_EQ(GetFirmwareEnvironmentVariableW(L"Short", kWideGuid, nullptr, 8), 0u);
    EXPECT_EQ(GetLastError(), ERROR_NOACCESS);
}

TEST_F(WinFirmware, BothCallsNeedThePrivilegeEnabled) {
    EnablePrivilege(false);
    unsigned char value[4] = {9, 9, 9, 9};
    EXPECT_EQ(GetFirmwareEnvironmentVariableW(L"Short", kWideGuid, value, sizeof value), 0u);
    EXPECT_EQ(GetLastError(), ERROR_PRIVILEGE_NOT_HELD);
    EXPECT_FALSE(SetFirmwareEnvironmentVariableW(L"Short", kWideGuid, value, sizeof value));
    EXPECT_EQ(GetLastError(), ERROR_PRIVILEGE_NOT_HELD);
    EXPECT_EQ(sim::firmware::Find("Short", kGuid)->data, (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(WinFirmware, WritesReplaceOrCreateWholeAndPersistForOtherProcesses) {
    unsigned char value[5] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(SetFirmwareEnvironmentVariableW(L"Short", kWideGuid, value, sizeof value));
    ASSERT_TRUE(SetFirmwareEnvironmentVariableA("New", kGuid, value, 2));
    auto replaced = sim::firmware::Find("Short", kGuid);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->data, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(replaced->attributes, 7u);
    EXPECT_EQ(sim::firmware::Variables().size(), 3u);

    EXPECT_EQ(moxtest::RunChild({"firmware-get", "Short", kGuid}).output, "0102030405\n");
    EXPECT_EQ(moxtest::RunChild({"firmware-get", "New", kGuid}).output, "0102\n");

    // Each write is logged, in order, with the bytes written.
    const auto log = sim::firmware::WriteLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], (sim::Value{{"op", "set"}, {"name", "Short"}, {"guid", kGuid}, {"hex", "0102030405"}}));
    EXPECT_EQ(log[1]["name"], sim::Value("New"));
}

TEST_F(WinFirmware, AWriteOfNoBytesDeletesTheVariable) {
    EXPECT_TRUE(SetFirmwareEnvironmentVariableW(L"Short", kWideGuid, nullptr, 0));
    EXPECT_FALSE(sim::firmware::Find("Short", kGuid));
    EXPECT_FALSE(SetFirmwareEnvironmentVariableW(L"Short", kWideGuid, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(moxtest::RunChild({"firmware-get", "Short", kGuid}).output, "error 203\n");
    // The failed second delete is not logged.
    ASSERT_EQ(sim::firmware::WriteLog().size(), 1u);
    EXPECT_EQ(sim::firmware::WriteLog()[0]["op"], sim::Value("delete"));
}

class WinFirmwareFaults : public WinFirmware {
protected:
    WinFirmwareFaults()
        : WinFirmware(Machine().Set("/faults", R"([
            {"kind": "GetFirmwareEnvironmentVariable", "match": {"name": "Short"}, "times": 1,
             "outcome": {"win32_error": 1117}},
            {"kind": "SetFirmwareEnvironmentVariable", "match": {"name": "Short", "size": 2}, "times": 1,
             "outcome": {"win32_error": 5}}])")) {}
};

TEST_F(WinFirmwareFaults, InjectedFailuresChangeNothing) {
    unsigned char buffer[8] = {};
    EXPECT_EQ(GetFirmwareEnvironmentVariableW(L"Short", kWideGuid, buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), 1117u);
    EXPECT_EQ(GetFirmwareEnvironmentVariableW(L"Short", kWideGuid, buffer, sizeof buffer), 3u);

    unsigned char value[2] = {7, 7};
    EXPECT_FALSE(SetFirmwareEnvironmentVariableW(L"Short", kWideGuid, value, sizeof value));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(sim::firmware::Find("Short", kGuid)->data, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(sim::firmware::WriteLog().empty());
    EXPECT_EQ(machine->faults().Pending(), 0u);
}

TEST(FirmwareStore, MalformedDescriptionsAreRefusedWithTheirPlace) {
    struct Case {
        const char* section;
        const char* where;
    } cases[] = {
        {R"({"variables": [{"name": "A", "guid": "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}", "size": 3}]})",
         "/firmware/variables/0/size"},
        {R"({"variables": [{"name": "A", "guid": "61a14fe8"}]})", "/firmware/variables/0/guid"},
        {R"({"variables": [{"guid": "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}"}]})", "/firmware/variables/0"},
        {R"({"variables": [{"name": "A", "guid": "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}", "hex": "0"}]})",
         "/firmware/variables/0/hex"},
        {R"({"boot_order": []})", "/firmware/boot_order"},
    };
    for (const auto& c : cases) {
        // Refused at load by the description's checks, or at the latest by the store's first read.
        try {
            sim::ScopedMachine machine(sim::MachineBuilder("bad").Set("/firmware", c.section));
            sim::firmware::Variables();
            ADD_FAILURE() << c.section;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.where), std::string::npos) << e.what();
        }
    }
}

} // namespace
