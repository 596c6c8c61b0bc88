#include <gtest/gtest.h>

#include "platform/win/WinService.h"
#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/Services.h"
#include "tests/tools/Ostrel/ServiceCommands/ServiceTestMachine.h"
#include "tools/Ostrel/ServiceCommands/CommandFailureReport.h"
#include "tools/Ostrel/ServiceCommands/ServiceCommandFactories.h"

namespace {

class ServiceToolCommandsTest : public ::testing::Test {
protected:
    void TearDown() override { CommandVerboseFlag() = false; }

    sim::ScopedVirtualClock clock_;
};

TEST_F(ServiceToolCommandsTest, FactoriesOfAMissingServiceGiveNothingButTheExistenceChecksAlwaysACommand) {
    sim::ScopedMachine machine(sim::MachineBuilder("no-services"));
    for (CommandFactory factory :
         {CreateMinifilterSetCommand, CreateMinifilterStopCommand, CreateMinifilterStartCommand,
          CreateStopServiceCommand, CreateStartServiceCommand, CreateServiceSetCommand})
        EXPECT_EQ(factory(0, nullptr), nullptr);
    for (CommandFactory factory : {CreateMinifilterExistsCommand, CreateCheckServiceExistsCommand}) {
        CommandPtr command = factory(0, nullptr);
        ASSERT_NE(command, nullptr);
        EXPECT_EQ(command->Execute(0, nullptr), ERROR_SERVICE_DOES_NOT_EXIST);
    }
}

TEST_F(ServiceToolCommandsTest, ExistenceChecksFindInstalledServices) {
    sim::ScopedMachine machine(servicetest::Machine());
    for (CommandFactory factory : {CreateMinifilterExistsCommand, CreateCheckServiceExistsCommand})
        EXPECT_EQ(factory(0, nullptr)->Execute(0, nullptr), ERROR_SUCCESS);
}

TEST_F(ServiceToolCommandsTest, StartModeWordsSetTheStartTypeOfEachServiceAndAreMatchedExactly) {
    struct Case {
        CommandFactory factory;
        const char* service;
        const wchar_t* option;
        const wchar_t* value;
        DWORD result;
        uint32_t startType;
    } cases[] = {
        {CreateMinifilterSetCommand, "KeplinAfs", L"startmode", L"boot", ERROR_SUCCESS, SERVICE_BOOT_START},
        {CreateMinifilterSetCommand, "KeplinAfs", L"startmode", L"ondemand", ERROR_SUCCESS,
         SERVICE_DEMAND_START},
        {CreateServiceSetCommand, "KeplinAfsService", L"startmode", L"boot", ERROR_SUCCESS,
         SERVICE_AUTO_START},
        {CreateServiceSetCommand, "KeplinAfsService", L"startmode", L"ondemand", ERROR_SUCCESS,
         SERVICE_DEMAND_START},
        {CreateMinifilterSetCommand, "KeplinAfs", L"startmode", L"Boot", ERROR_INVALID_PARAMETER, 1},
        {CreateServiceSetCommand, "KeplinAfsService", L"StartMode", L"boot", ERROR_INVALID_PARAMETER, 1},
        {CreateServiceSetCommand, "KeplinAfsService", L"startmode", L"ONDEMAND", ERROR_INVALID_PARAMETER, 1},
        {CreateMinifilterSetCommand, "KeplinAfs", L"dependencies", L"boot", ERROR_INVALID_PARAMETER, 1},
    };
    for (const auto& c : cases) {
        sim::ScopedMachine machine(
            servicetest::Machine()
                .Set("/registry/keys/HKLM\\SYSTEM\\CurrentControlSet\\Services\\KeplinAfs/Start/data", "1")
                .Set("/registry/keys/HKLM\\SYSTEM\\CurrentControlSet\\Services\\KeplinAfsService/Start/data",
                     "1"));
        CommandPtr command = c.factory(0, nullptr);
        ASSERT_NE(command, nullptr);
        std::wstring option = c.option, value = c.value;
        wchar_t* argv[] = {option.data(), value.data(), nullptr};
        EXPECT_EQ(command->Execute(2, argv), c.result) << c.service;
        EXPECT_EQ(sim::services::StartType(c.service), c.startType) << c.service;
    }
}

TEST_F(ServiceToolCommandsTest, SetCommandsWithoutAValueChangeNothing) {
    sim::ScopedMachine machine(servicetest::Machine());
    std::wstring option = L"startmode";
    wchar_t* argv[] = {option.data(), nullptr};
    for (CommandFactory factory : {CreateMinifilterSetCommand, CreateServiceSetCommand})
        EXPECT_EQ(factory(0, nullptr)->Execute(1, argv), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(machine->calls().Count("ChangeServiceConfig"), 0u);
}

TEST_F(ServiceToolCommandsTest, DependenciesAreSetFromTheNamesUpToTheNullEntryAndClearedByNone) {
    sim::ScopedMachine machine(servicetest::Machine());
    CommandPtr command = CreateServiceSetCommand(0, nullptr);
    std::wstring option = L"dependencies", name = L"keplinafs";
    wchar_t* set[] = {option.data(), name.data(), nullptr};
    EXPECT_EQ(command->Execute(2, set), ERROR_SUCCESS);
    EXPECT_EQ(sim::services::Dependencies("KeplinAfsService"), std::vector<std::string>{"keplinafs"});
    wchar_t* clear[] = {option.data(), nullptr};
    EXPECT_EQ(command->Execute(2, clear), ERROR_SUCCESS);
    EXPECT_EQ(sim::services::Dependencies("KeplinAfsService"), std::vector<std::string>{});
}

TEST_F(ServiceToolCommandsTest, StartAndStopCommandsDriveTheService) {
    sim::ScopedMachine machine(servicetest::Machine());
    EXPECT_EQ(CreateStartServiceCommand(0, nullptr)->Execute(0, nullptr), ERROR_OPEN_FAILED);
    testing::internal::CaptureStdout();
    EXPECT_EQ(CreateStopServiceCommand(0, nullptr)->Execute(0, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(CreateMinifilterStopCommand(0, nullptr)->Execute(0, nullptr), ERROR_SUCCESS);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(sim::services::State("KeplinAfs"), SERVICE_STOPPED);
    EXPECT_EQ(CreateMinifilterStartCommand(0, nullptr)->Execute(0, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(CreateStartServiceCommand(0, nullptr)->Execute(0, nullptr), ERROR_SUCCESS);
    sim::Clock::AdvanceMs(500);
    EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_RUNNING);
}

TEST_F(ServiceToolCommandsTest, HelpTexts) {
    sim::ScopedMachine machine(servicetest::Machine());
    EXPECT_EQ(CreateMinifilterSetCommand(0, nullptr)->Help(), L"No help for that option");
    EXPECT_EQ(CreateStopServiceCommand(0, nullptr)->Help(), L"Stop service using COM interface.");
    EXPECT_EQ(CreateStartServiceCommand(0, nullptr)->Help(), L"Start service using COM interface.");
    EXPECT_EQ(
        CreateServiceSetCommand(0, nullptr)->Help(),
        L"Set the way how service is tarted (ondemand or on boot)\nSyntax: Ostrel.exe [service|filter] set "
        L"startmode [boot|ondemand]Syntax: Ostrel.exe [service|filter] dependencies <dependent service "
        L"name>");
}

TEST_F(ServiceToolCommandsTest, FailureReportsAreWrittenOnlyWhenVerbose) {
    sim::ScopedMachine machine(sim::MachineBuilder("no-services"));
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_EQ(CreateCheckServiceExistsCommand(0, nullptr)->Execute(0, nullptr), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    CommandVerboseFlag() = true;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_EQ(CreateCheckServiceExistsCommand(0, nullptr)->Execute(0, nullptr), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "unsigned long __cdecl CheckServiceExistsCommand::Execute(int,wchar_t *[])\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot open service. Service does not exist.\nError initializing service.\n");
}

TEST_F(ServiceToolCommandsTest, AReportJoinsItsLinesAndIsFinishedOnce) {
    CommandVerboseFlag() = true;
    testing::internal::CaptureStderr();
    {
        CommandFailureReport report(L"Invalid value for option startmode.");
        report.AddLine(L"Only boot and ondemand are allowed");
        EXPECT_EQ(report.Text(), L"Invalid value for option startmode.\nOnly boot and ondemand are allowed");
        report.Finish();
        EXPECT_EQ(report.Text(), L"");
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Invalid value for option startmode.\nOnly boot and ondemand are allowed\n");
    EXPECT_EQ(ThreadCommandFailureReport().Text(), L"");
}

} // namespace
