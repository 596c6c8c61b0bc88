#include <gtest/gtest.h>

#include "platform/win/WinSecurity.h"
#include "sim/Machine.h"
#include "sim/Os.h"
#include "tests/support/ChildProcess.h"

namespace {

class WinSecurity : public ::testing::Test {
protected:
    sim::ScopedMachine machine;

    HANDLE Token(DWORD access = TOKEN_WRITE | TOKEN_QUERY) {
        HANDLE token = nullptr;
        EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), access, &token));
        return token;
    }

    static TOKEN_PRIVILEGES One(const char* name, DWORD attributes) {
        TOKEN_PRIVILEGES tp{};
        tp.PrivilegeCount = 1;
        EXPECT_TRUE(LookupPrivilegeValueA(nullptr, name, &tp.Privileges[0].Luid)) << name;
        tp.Privileges[0].Attributes = attributes;
        return tp;
    }
};

TEST_F(WinSecurity, PrivilegeNamesHaveTheirWellKnownIds) {
    LUID luid{};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeSystemEnvironmentPrivilege", &luid));
    EXPECT_EQ(luid.LowPart, 22u);
    EXPECT_EQ(luid.HighPart, 0);
    ASSERT_TRUE(LookupPrivilegeValueW(L"", L"seshutdownprivilege", &luid));
    EXPECT_EQ(luid.LowPart, 19u);

    SetLastError(0);
    EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
    EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
    EXPECT_FALSE(LookupPrivilegeValueA("\\\\other", "SeShutdownPrivilege", &luid));
    EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
}

TEST_F(WinSecurity, EnablingRecordsThePreviousStateAndRestoringItUndoes) {
    HANDLE token = Token();
    TOKEN_PRIVILEGES enable = One(SE_SYSTEM_ENVIRONMENT_NAME, SE_PRIVILEGE_ENABLED);
    TOKEN_PRIVILEGES previous{};
    DWORD length = 0;
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &enable, sizeof previous, &previous, &length));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(length, sizeof previous);
    ASSERT_EQ(previous.PrivilegeCount, 1u);
    EXPECT_EQ(previous.Privileges[0].Luid.LowPart, 22u);
    EXPECT_EQ(previous.Privileges[0].Attributes, 0u);
    EXPECT_TRUE(sim::os::PrivilegeEnabled("SeSystemEnvironmentPrivilege"));

    // Only this process's token changed.
    EXPECT_EQ(moxtest::RunChild({"privilege-enabled", "SeSystemEnvironmentPrivilege"}).output, "0\n");

    // Enabling it again changes nothing, so there is nothing to restore.
    TOKEN_PRIVILEGES again{};
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &enable, sizeof again, &again, &length));
    EXPECT_EQ(again.PrivilegeCount, 0u);
    EXPECT_EQ(length, 4u);

    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &previous, 0, nullptr, nullptr));
    EXPECT_FALSE(sim::os::PrivilegeEnabled("SeSystemEnvironmentPrivilege"));
    EXPECT_TRUE(CloseHandle(token));
}

TEST_F(WinSecurity, RefusalsLeaveTheTokenAsItWas) {
    TOKEN_PRIVILEGES enable = One(SE_SYSTEM_ENVIRONMENT_NAME, SE_PRIVILEGE_ENABLED);
    TOKEN_PRIVILEGES previous{};
    DWORD length = 0;

    HANDLE queryOnly = Token(TOKEN_QUERY);
    SetLastError(0);
    EXPECT_FALSE(AdjustTokenPrivileges(queryOnly, FALSE, &enable, sizeof previous, &previous, &length));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE adjustOnly = Token(TOKEN_ADJUST_PRIVILEGES);
    EXPECT_FALSE(AdjustTokenPrivileges(adjustOnly, FALSE, &enable, sizeof previous, &previous, &length));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    HANDLE token = Token();
    EXPECT_FALSE(AdjustTokenPrivileges(token, FALSE, &enable, 8, &previous, &length));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, 16u);
    EXPECT_FALSE(sim::os::PrivilegeEnabled("SeSystemEnvironmentPrivilege"));

    EXPECT_FALSE(
        AdjustTokenPrivileges(reinterpret_cast<HANDLE>(0x4321), FALSE, &enable, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(OpenProcessToken(reinterpret_cast<HANDLE>(0x4321), TOKEN_QUERY, &token));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    for (HANDLE h : {queryOnly, adjustOnly})
        CloseHandle(h);
}

TEST(WinSecurityMachine, AStandardUserTokenLacksThePrivilege) {
    sim::ScopedMachine machine(sim::Value{{"name", "user"}, {"os", {{"elevated", false}}}});
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_WRITE | TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SYSTEM_ENVIRONMENT_NAME, &tp.Privileges[0].Luid));
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES previous{};
    DWORD length = 0;
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &tp, sizeof previous, &previous, &length));
    EXPECT_EQ(GetLastError(), ERROR_NOT_ALL_ASSIGNED);
    EXPECT_EQ(previous.PrivilegeCount, 0u);
    EXPECT_FALSE(sim::os::PrivilegeEnabled(SE_SYSTEM_ENVIRONMENT_NAME));
    CloseHandle(token);
}

TEST_F(WinSecurity, InjectedRefusalToAssignIsASuccessThatChangesNothing) {
    machine->faults().Add(sim::FaultRule::FromJson(
        {{"kind", "AdjustTokenPrivileges"}, {"outcome", {{"win32_error", ERROR_NOT_ALL_ASSIGNED}}}}));
    machine->faults().Add(
        sim::FaultRule::FromJson({{"kind", "OpenProcessToken"}, {"outcome", {{"win32_error", 5}}}}));
    HANDLE token = nullptr;
    EXPECT_FALSE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    token = Token();
    TOKEN_PRIVILEGES enable = One(SE_SYSTEM_ENVIRONMENT_NAME, SE_PRIVILEGE_ENABLED);
    TOKEN_PRIVILEGES previous{};
    previous.PrivilegeCount = 7;
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &enable, sizeof previous, &previous, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_NOT_ALL_ASSIGNED);
    EXPECT_EQ(previous.PrivilegeCount, 0u);
    EXPECT_FALSE(sim::os::PrivilegeEnabled(SE_SYSTEM_ENVIRONMENT_NAME));
    CloseHandle(token);
}

} // namespace
