#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win/WinBase.h"
#include "platform/win/WinRegistry.h"
#include "platform/win/WinService.h"
#include "sim/Machine.h"
#include "sim/Services.h"
#include "tests/tools/Ostrel/ServiceCommands/ServiceTestMachine.h"

namespace {

class WinService : public ::testing::Test {
protected:
    SC_HANDLE Open(const wchar_t* name, DWORD access = SERVICE_ALL_ACCESS) {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        EXPECT_NE(manager_, nullptr);
        return OpenServiceW(manager_, name, access);
    }
    void TearDown() override {
        if (manager_)
            CloseServiceHandle(manager_);
    }

    SC_HANDLE manager_ = nullptr;
};

TEST_F(WinService, DependentsAreListedWithTheTwoCallSizeProtocol) {
    sim::MachineBuilder builder = servicetest::Machine();
    servicetest::Install(builder, "HalvexHelper", 16, R"(["KeplinAfsService"])")
        .Set("/services/HalvexHelper", R"({"state": "running"})");
    sim::ScopedMachine machine(builder);
    SC_HANDLE service = Open(L"KeplinAfs");
    ASSERT_NE(service, nullptr);
    DWORD needed = 0, count = 7;
    ASSERT_FALSE(EnumDependentServicesW(service, SERVICE_ACTIVE, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
    EXPECT_EQ(count, 0u);
    const size_t names = (std::wcslen(L"HalvexHelper") + 1) * 2 + (std::wcslen(L"KeplinAfsService") + 1) * 2;
    EXPECT_EQ(needed, 2 * sizeof(ENUM_SERVICE_STATUSW) + names * sizeof(wchar_t));

    std::vector<ENUM_SERVICE_STATUSW> records(needed / sizeof(ENUM_SERVICE_STATUSW) + 1);
    ASSERT_FALSE(
        EnumDependentServicesW(service, SERVICE_ACTIVE, records.data(), needed - 1, &needed, &count));
    EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
    ASSERT_TRUE(EnumDependentServicesW(service, SERVICE_ACTIVE, records.data(), needed, &needed, &count));
    ASSERT_EQ(count, 2u);
    // The indirect dependent first.
    EXPECT_STREQ(records[0].lpServiceName, L"HalvexHelper");
    EXPECT_STREQ(records[1].lpServiceName, L"KeplinAfsService");
    EXPECT_EQ(records[1].ServiceStatus.dwCurrentState, SERVICE_RUNNING);
    const auto* base = reinterpret_cast<const uint8_t*>(records.data());
    EXPECT_GE(reinterpret_cast<const uint8_t*>(records[0].lpServiceName),
              base + 2 * sizeof(ENUM_SERVICE_STATUSW));
    EXPECT_LT(reinterpret_cast<const uint8_t*>(records[1].lpDisplayName), base + needed);
    CloseServiceHandle(service);
}

TEST_F(WinService, StatusQueriesCheckTheBufferAndTheHandle) {
    sim::ScopedMachine machine(servicetest::Machine());
    SC_HANDLE service = Open(L"KeplinAfsService", SERVICE_QUERY_STATUS);
    ASSERT_NE(service, nullptr);
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status), 20,
                                      &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, sizeof status);
    ASSERT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                     sizeof status, &needed));
    EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
    EXPECT_EQ(status.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_NE(status.dwProcessId, 0u);
    // Opened for querying only: no stop.
    SERVICE_STATUS plain{};
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &plain));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CloseServiceHandle(service));
    EXPECT_FALSE(CloseServiceHandle(service));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(OpenServiceW(nullptr, L"KeplinAfsService", SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(OpenSCManagerW(L"OTHERPC", nullptr, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
}

TEST_F(WinService, StartTypesAreWrittenToTheServicesRegistryKey) {
    sim::ScopedMachine machine(servicetest::Machine());
    SC_HANDLE service = Open(L"KeplinAfsService");
    ASSERT_NE(service, nullptr);
    // Only drivers start at boot.
    EXPECT_FALSE(ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_BOOT_START, SERVICE_NO_CHANGE,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                                     nullptr, nullptr, nullptr, L"keplinafs\0\0", nullptr, nullptr, nullptr));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KeplinAfsService", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD start = 0, size = sizeof start;
    EXPECT_EQ(RegQueryValueExA(key, "Start", nullptr, nullptr, reinterpret_cast<LPBYTE>(&start), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(start, SERVICE_AUTO_START);
    char deps[32] = {};
    size = sizeof deps;
    EXPECT_EQ(
        RegQueryValueExA(key, "DependOnService", nullptr, nullptr, reinterpret_cast<LPBYTE>(deps), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(std::string(deps, size), std::string("keplinafs\0\0", 11));
    RegCloseKey(key);
    CloseServiceHandle(service);
}

TEST_F(WinService, ADependencyThatLeadsBackToTheServiceIsRefused) {
    sim::MachineBuilder builder = servicetest::Machine();
    servicetest::Install(builder, "HalvexHelper", 16, R"(["KeplinAfsService"])");
    sim::ScopedMachine machine(builder);
    SC_HANDLE service = Open(L"KeplinAfs");
    ASSERT_NE(service, nullptr);
    // Directly (the service depends on it) and through another service.
    for (const wchar_t* dependencies : {L"KeplinAfsService\0\0", L"FltMgr\0HalvexHelper\0\0"}) {
        EXPECT_FALSE(ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                          nullptr, nullptr, nullptr, dependencies, nullptr, nullptr,
                                          nullptr));
        EXPECT_EQ(GetLastError(), ERROR_CIRCULAR_DEPENDENCY);
    }
    // Nothing was written.
    EXPECT_EQ(sim::services::Dependencies("KeplinAfs"), std::vector<std::string>());
    CloseServiceHandle(service);
}

} // namespace
