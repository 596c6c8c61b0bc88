#include <gtest/gtest.h>

#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/Services.h"
#include "tests/tools/Ostrel/ServiceCommands/ServiceTestMachine.h"
#include "tools/Ostrel/ServiceCommands/ServiceControl.h"

namespace {

using servicetest::kCacheService;

class ServiceControlTest : public ::testing::Test {
protected:
    void Use(const sim::MachineBuilder& builder) { machine_.emplace(builder); }
    sim::Machine& machine() { return machine_->machine(); }
    size_t Controls(const std::string& name) {
        size_t n = 0;
        for (const auto& call : machine().calls().Of("ControlService"))
            n += call.selectors.value("name", "") == name;
        return n;
    }

    sim::ScopedVirtualClock clock_;
    std::optional<sim::ScopedMachine> machine_;
};

TEST_F(ServiceControlTest, OpenReportsTheManagerAndServiceFailuresByCode) {
    struct Case {
        const char* what;
        sim::MachineBuilder machine;
        const wchar_t* name;
        DWORD expected;
        bool managerOpen;
    } cases[] = {
        {"installed", servicetest::Machine(), L"keplinafsservice", ERROR_SUCCESS, true},
        {"missing", servicetest::Machine(), L"NoSuchService", ERROR_SERVICE_DOES_NOT_EXIST, true},
        {"bad name", servicetest::Machine(), L"Keplin\\Afs", ERROR_INVALID_NAME, true},
        {"refused", servicetest::With(kCacheService, "deny_access", "true"), L"KeplinAfsService",
         ERROR_ACCESS_DENIED, true},
        {"not elevated", servicetest::Machine().Merge(R"({"os": {"elevated": false}})"), L"KeplinAfsService",
         ERROR_ACCESS_DENIED, false},
    };
    for (auto& c : cases) {
        Use(c.machine);
        ServiceControl control;
        EXPECT_EQ(control.Open(c.name), c.expected) << c.what;
        EXPECT_EQ(control.manager() != nullptr, c.managerOpen) << c.what;
        EXPECT_EQ(control.service() != nullptr, c.expected == ERROR_SUCCESS) << c.what;
    }
}

TEST_F(ServiceControlTest, StartingARunningServiceGives110AndAStoppedOneStarts) {
    Use(servicetest::With(kCacheService, "state", "\"stopped\""));
    ServiceControl control;
    ASSERT_EQ(control.Open(L"KeplinAfsService"), ERROR_SUCCESS);
    EXPECT_EQ(control.Start(), ERROR_SUCCESS);
    EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_START_PENDING);
    sim::Clock::AdvanceMs(500);
    EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_RUNNING);
    EXPECT_EQ(control.Start(), ERROR_OPEN_FAILED);

    Use(servicetest::With(kCacheService, "start_error", "2")
            .Set("/services/KeplinAfsService/state", "\"stopped\""));
    ServiceControl missingBinary;
    ASSERT_EQ(missingBinary.Open(L"KeplinAfsService"), ERROR_SUCCESS);
    EXPECT_EQ(missingBinary.Start(), ERROR_OPEN_FAILED);
}

TEST_F(ServiceControlTest, StoppingAStoppedServiceSendsNoControl) {
    Use(servicetest::With(kCacheService, "state", "\"stopped\""));
    ServiceControl control;
    ASSERT_EQ(control.Open(L"KeplinAfsService"), ERROR_SUCCESS);
    EXPECT_EQ(control.Stop(), ERROR_SUCCESS);
    EXPECT_EQ(machine().calls().Count("ControlService"), 0u);
    EXPECT_EQ(machine().calls().Count("EnumDependentServices"), 0u);
}

TEST_F(ServiceControlTest, AStopPendingAtTheCallIsOnlyWaitedFor) {
    Use(servicetest::With(kCacheService, "state", "\"stop_pending\"")
            .Set("/services/KeplinAfsService/pending_since_ms", "1000000")
            .Set("/services/KeplinAfsService/pending_until_ms", "1001000"));
    ServiceControl control;
    ASSERT_EQ(control.Open(L"KeplinAfsService"), ERROR_SUCCESS);
    testing::internal::CaptureStdout();
    EXPECT_EQ(control.Stop(), ERROR_SUCCESS);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Service stopped successfully.\n");
    EXPECT_EQ(machine().calls().Count("ControlService"), 0u);
    EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_STOPPED);
}

TEST_F(ServiceControlTest, AServiceWithoutActiveDependentsIsStoppedWithOneEnumeration) {
    Use(servicetest::Machine());
    ServiceControl control;
    ASSERT_EQ(control.Open(L"KeplinAfsService"), ERROR_SUCCESS);
    testing::internal::CaptureStdout();
    EXPECT_EQ(control.Stop(), ERROR_SUCCESS);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(machine().calls().Count("EnumDependentServices"), 1u);
    EXPECT_EQ(Controls("KeplinAfsService"), 1u);
    EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_STOPPED);
    EXPECT_EQ(sim::services::State("KeplinAfs"), SERVICE_RUNNING);
}

TEST_F(ServiceControlTest, TheDependentsStopFirstThenTheServiceItself) {
    Use(servicetest::Machine());
    ServiceControl control;
    ASSERT_EQ(control.Open(L"KeplinAfs"), ERROR_SUCCESS);
    testing::internal::CaptureStdout();
    EXPECT_EQ(control.Stop(), ERROR_SUCCESS);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Service stopped successfully.\nService stopped successfully.\n");
    const auto calls = machine().calls().Of("ControlService");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].selectors.value("name", ""), "KeplinAfsService");
    EXPECT_EQ(calls[1].selectors.value("name", ""), "KeplinAfs");
    EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_STOPPED);
    EXPECT_EQ(sim::services::State("KeplinAfs"), SERVICE_STOPPED);
}

TEST_F(ServiceControlTest, ADependentThatCannotBeOpenedEndsTheWalkButTheServiceIsStillAsked) {
    // Two dependents; the first listed ("HalvexHelper") refuses to be opened, so the cache service is
    // never stopped and the minifilter refuses its own stop while they run.
    sim::MachineBuilder builder = servicetest::Machine();
    servicetest::Install(builder, "HalvexHelper", 16, R"(["KeplinAfs"])")
        .Set("/services/HalvexHelper", R"({"state": "running", "deny_access": true})");
    Use(builder);
    ServiceControl control;
    ASSERT_EQ(control.Open(L"KeplinAfs"), ERROR_SUCCESS);
    EXPECT_EQ(control.Stop(), ERROR_DEPENDENT_SERVICES_RUNNING);
    EXPECT_EQ(Controls("KeplinAfsService"), 0u);
    EXPECT_EQ(Controls("KeplinAfs"), 1u);
    EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_RUNNING);
    EXPECT_EQ(sim::services::State("KeplinAfs"), SERVICE_RUNNING);
}

TEST_F(ServiceControlTest, AStopThatNeverEndsTimesOutAfterThirtySecondsEvenWithALongWaitHint) {
    // A hint of ten minutes would make a tenth of it sleep for a minute: the wait still ends at 30 s.
    Use(servicetest::With(kCacheService, "never_stops", "true")
            .Set("/services/KeplinAfsService/wait_hint_ms", "600000"));
    ServiceControl control;
    ASSERT_EQ(control.Open(L"KeplinAfsService"), ERROR_SUCCESS);
    const uint64_t start = sim::Clock::NowMs();
    testing::internal::CaptureStdout();
    EXPECT_EQ(control.Stop(), ERROR_SERVICE_REQUEST_TIMEOUT);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Service stop timed out.\n");
    const uint64_t waited = sim::Clock::NowMs() - start;
    EXPECT_GT(waited, 30000u);
    EXPECT_LE(waited, 30002u);
    EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_STOP_PENDING);
}

TEST_F(ServiceControlTest, WaitForStopPollsAtTheHintAndPrintsOnlyWhenItHadToWait) {
    struct Case {
        const char* what;
        uint32_t hintMs;
        uint32_t stopMs;
        const char* printed;
        uint64_t maxWaitMs;
    } cases[] = {
        {"stopped before the first sleep", 2000, 0, "", 0},
        {"a tenth of the hint per poll", 2000, 3000, "Service stopped successfully.\n", 3200},
        {"a hint of 0 polls until the state changes", 0, 50, "Service stopped successfully.\n", 52},
    };
    for (const auto& c : cases) {
        Use(servicetest::With(kCacheService, "wait_hint_ms", std::to_string(c.hintMs))
                .Set("/services/KeplinAfsService/stop_ms", std::to_string(c.stopMs)));
        ServiceControl control;
        ASSERT_EQ(control.Open(L"KeplinAfsService"), ERROR_SUCCESS);
        SERVICE_STATUS status{};
        ASSERT_TRUE(ControlService(control.service(), SERVICE_CONTROL_STOP, &status)) << c.what;
        const uint64_t start = sim::Clock::NowMs();
        testing::internal::CaptureStdout();
        EXPECT_EQ(control.WaitForStop(), ERROR_SUCCESS) << c.what;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed) << c.what;
        EXPECT_LE(sim::Clock::NowMs() - start, c.maxWaitMs) << c.what;
        EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_STOPPED) << c.what;
    }
}

TEST_F(ServiceControlTest, AFailedStatusQueryEndsTheWaitWithItsCode) {
    for (int skip : {0, 1}) {
        // The first query of the wait, then a later one.
        Use(servicetest::Machine().Append("/faults", R"({"kind": "QueryServiceStatusEx", "skip": )" +
                                                         std::to_string(skip + 1) +
                                                         R"(, "outcome": {"win32_error": 6}})"));
        ServiceControl control;
        ASSERT_EQ(control.Open(L"KeplinAfsService"), ERROR_SUCCESS);
        EXPECT_EQ(control.Stop(), ERROR_INVALID_HANDLE) << skip;
        EXPECT_EQ(machine().faults().Pending(), 0u);
    }
}

TEST_F(ServiceControlTest, AFailingStopControlIsReturnedUnlessTheServiceIsStoppingAnyway) {
    Use(servicetest::With(kCacheService, "control_error", "1061"));
    ServiceControl control;
    ASSERT_EQ(control.Open(L"KeplinAfsService"), ERROR_SUCCESS);
    EXPECT_EQ(control.Stop(), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_RUNNING);
}

TEST_F(ServiceControlTest, StartTypeAndDependencyChangesAreWrittenAndTheirFailuresReturned) {
    Use(servicetest::Machine());
    ServiceControl control;
    ASSERT_EQ(control.Open(L"KeplinAfsService"), ERROR_SUCCESS);
    EXPECT_EQ(control.SetStartType(SERVICE_AUTO_START), ERROR_SUCCESS);
    EXPECT_EQ(sim::services::StartType("KeplinAfsService"), SERVICE_AUTO_START);

    wchar_t a[] = L"keplinafs", b[] = L"Other";
    wchar_t* names[] = {a, b, nullptr};
    EXPECT_EQ(control.SetDependencies(names), ERROR_SUCCESS);
    EXPECT_EQ(sim::services::Dependencies("KeplinAfsService"),
              (std::vector<std::string>{"keplinafs", "Other"}));
    wchar_t* none[] = {nullptr};
    EXPECT_EQ(control.SetDependencies(none), ERROR_SUCCESS);
    EXPECT_EQ(sim::services::Dependencies("KeplinAfsService"), std::vector<std::string>{});

    Use(servicetest::With(kCacheService, "config_error", "5"));
    ServiceControl refused;
    ASSERT_EQ(refused.Open(L"KeplinAfsService"), ERROR_SUCCESS);
    EXPECT_EQ(refused.SetStartType(SERVICE_AUTO_START), ERROR_ACCESS_DENIED);
    EXPECT_EQ(refused.SetDependencies(names), ERROR_ACCESS_DENIED);
    EXPECT_EQ(sim::services::StartType("KeplinAfsService"), SERVICE_DEMAND_START);
}

} // namespace
