#include <cwchar>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/win/WinEventLog.h"
#include "platform/win/WinProcess.h"
#include "sim/EventLog.h"
#include "sim/Machine.h"

namespace {

class WinEventLog : public ::testing::Test {
protected:
    sim::ScopedMachine machine;
};

TEST_F(WinEventLog, ReportedEntriesLandInTheApplicationLog) {
    HANDLE source = RegisterEventSourceW(nullptr, L"MOX Middleware");
    ASSERT_NE(source, nullptr);
    LPCWSTR strings[] = {L"Volume_1", L"moxcli.exe"};
    const uint8_t data[] = {1, 2};
    ASSERT_TRUE(ReportEventW(source, EVENTLOG_INFORMATION_TYPE, 1, 0x4001001D, nullptr, 2, 2, strings,
                             const_cast<uint8_t*>(data)));
    ASSERT_TRUE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_TRUE(DeregisterEventSource(source));
    EXPECT_FALSE(DeregisterEventSource(source));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    auto entries = sim::eventlog::Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].record, 1u);
    EXPECT_EQ(entries[0].source, "MOX Middleware");
    EXPECT_EQ(entries[0].type, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(entries[0].category, 1);
    EXPECT_EQ(entries[0].eventId, 0x4001001Du);
    EXPECT_EQ(entries[0].strings, (std::vector<std::string>{"Volume_1", "moxcli.exe"}));
    EXPECT_EQ(entries[0].data, (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(entries[1].record, 2u);
    EXPECT_TRUE(entries[1].strings.empty());

    // The log persists beside the machine's state, appended to line by line, not inside it.
    std::ifstream log(machine.stateDir() / "eventlog.jsonl");
    std::string line;
    int lines = 0;
    while (std::getline(log, line))
        ++lines;
    EXPECT_EQ(lines, 2);
    std::ifstream state(machine.stateDir() / "machine.json");
    std::stringstream text;
    text << state.rdbuf();
    EXPECT_EQ(text.str().find("Volume_1"), std::string::npos);
}

TEST_F(WinEventLog, RegistrationFailuresGiveNoHandle) {
    machine->faults().Add(
        sim::FaultRule::FromJson({{"kind", "RegisterEventSource"}, {"outcome", {{"win32_error", 1722}}}}));
    EXPECT_EQ(RegisterEventSourceW(nullptr, L"MOX Middleware"), nullptr);
    EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
    EXPECT_EQ(RegisterEventSourceW(L"\\\\elsewhere", L"MOX Middleware"), nullptr);
    EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
    HANDLE source = RegisterEventSourceW(L"", L"MOX Middleware");
    ASSERT_NE(source, nullptr);
    LPCWSTR strings[] = {nullptr};
    EXPECT_FALSE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    DeregisterEventSource(source);
    EXPECT_TRUE(sim::eventlog::Entries().empty());
}

TEST_F(WinEventLog, ModuleBaseNameIsTheProgramsFileName) {
    wchar_t name[256];
    DWORD n = K32GetModuleBaseNameW(GetCurrentProcess(), nullptr, name, 256);
    EXPECT_EQ(std::wstring(name), L"test_platform.exe");
    EXPECT_EQ(n, 17u);
    wchar_t small[5];
    EXPECT_EQ(K32GetModuleBaseNameW(GetCurrentProcess(), nullptr, small, 5), 4u);
    EXPECT_EQ(std::wstring(small), L"test");
    EXPECT_EQ(K32GetModuleBaseNameW(reinterpret_cast<HANDLE>(0x44), nullptr, name, 256), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

} // namespace
