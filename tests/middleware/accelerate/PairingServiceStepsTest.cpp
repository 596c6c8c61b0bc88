#include <string>

#include <gtest/gtest.h>

#include "middleware/accelerate/PairingServiceSteps.h"
#include "platform/win/WinService.h"
#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/Registry.h"
#include "sim/ScheduledTasks.h"
#include "sim/Services.h"
#include "tests/tools/Ostrel/ServiceCommands/ServiceTestMachine.h"

namespace {

constexpr uint32_t kWin32Error = 0x20000001;
constexpr const char* kTask = "Orvex(R) Halvex(TM) Memory - Volume Optimization";

using Step = CConsolidatedError (*)();

// Both services installed and stopped, on demand.
sim::MachineBuilder Stopped() {
    sim::MachineBuilder builder = servicetest::Machine();
    builder.Merge(
        R"({"services": {"KeplinAfs": {"state": "stopped"}, "KeplinAfsService": {"state": "stopped"}}})");
    return builder;
}

class PairingServiceSteps : public ::testing::Test {
protected:
    sim::ScopedVirtualClock clock;
};

TEST_F(PairingServiceSteps, StartingTheToolsRunsBothServicesAtBootAndRegistersTheServer) {
    sim::ScopedMachine machine(Stopped());
    CConsolidatedError error = StartVezkTools();
    EXPECT_TRUE(error.IsSuccessful()) << error.GetDebugInformation();
    EXPECT_EQ(sim::services::State("KeplinAfs"), SERVICE_RUNNING);
    EXPECT_NE(sim::services::State("KeplinAfsService"), SERVICE_STOPPED);
    EXPECT_EQ(sim::services::StartType("KeplinAfs"), SERVICE_BOOT_START);
    EXPECT_EQ(sim::services::StartType("KeplinAfsService"), SERVICE_AUTO_START);
    EXPECT_EQ(sim::services::Dependencies("KeplinAfsService"), std::vector<std::string>{"keplinafs"});
    EXPECT_TRUE(sim::tasks::Task("\\Orvex", kTask));
    EXPECT_TRUE(
        sim::registry::KeyExists("HKCR\\CLSID\\{D19AAF57-65A7-484B-9E7A-26C0E667DC66}\\LocalServer32"));

    // A second start finds the minifilter running and the service starting: both count as started.
    error = StartVezkTools();
    EXPECT_TRUE(error.IsSuccessful()) << error.GetDebugInformation();
}

TEST_F(PairingServiceSteps, AServiceThatRunsAlreadyCountsAsStarted) {
    sim::ScopedMachine machine(servicetest::Machine());
    EXPECT_TRUE(StartMinifilter().IsSuccessful());
    EXPECT_TRUE(StartCacheService().IsSuccessful());
    EXPECT_EQ(sim::services::StartType("KeplinAfs"), SERVICE_BOOT_START);
    EXPECT_EQ(sim::services::StartType("KeplinAfsService"), SERVICE_AUTO_START);
}

TEST_F(PairingServiceSteps, AMinifilterThatCannotStartStopsTheToolsStart) {
    sim::ScopedMachine machine(Stopped().Set("/services/KeplinAfs/start_error", "2"));
    const CConsolidatedError error = StartVezkTools();
    EXPECT_EQ(error.GetErrorCode(), kWin32Error);
    EXPECT_EQ(error.GetWin32Error(), ERROR_OPEN_FAILED);
    EXPECT_STREQ(error.GetErrorMessage(), "");
    EXPECT_STREQ(error.GetDebugInformation(), "MinifilterStartCommand failed.");
    EXPECT_FALSE(sim::tasks::Task("\\Orvex", kTask));
    EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_STOPPED);
    EXPECT_EQ(sim::services::StartType("KeplinAfs"), SERVICE_DEMAND_START);
}

TEST_F(PairingServiceSteps, StoppingSetsBothToDemandStartAndStopsThem) {
    sim::ScopedMachine machine(servicetest::Machine());
    ASSERT_TRUE(RegisterCacheServiceCom().IsSuccessful());
    EXPECT_TRUE(UnregisterCacheServiceCom().IsSuccessful());
    EXPECT_FALSE(sim::tasks::Task("\\Orvex", kTask));
    EXPECT_TRUE(StopCacheService().IsSuccessful());
    EXPECT_TRUE(StopMinifilter().IsSuccessful());
    for (const char* service : {"KeplinAfs", "KeplinAfsService"}) {
        EXPECT_EQ(sim::services::State(service), SERVICE_STOPPED) << service;
        EXPECT_EQ(sim::services::StartType(service), SERVICE_DEMAND_START) << service;
    }
    // Unregistering again: no task to delete.
    const CConsolidatedError error = UnregisterCacheServiceCom();
    EXPECT_EQ(error.GetWin32Error(), 0x80070002u);
    EXPECT_STREQ(error.GetDebugInformation(), "UnregisterComInterface failed.");
}

TEST_F(PairingServiceSteps, AFailedStartTypeChangeKeepsTheServiceRunning) {
    sim::ScopedMachine machine(servicetest::Machine());
    machine->faults().Add(
        R"({"kind": "ChangeServiceConfig", "match": {"name": "KeplinAfsService"}, "times": 1,
                              "outcome": {"win32_error": 5}})");
    machine->faults().Add(R"({"kind": "ChangeServiceConfig", "match": {"name": "KeplinAfs"}, "times": 1,
                              "outcome": {"win32_error": 5}})");
    CConsolidatedError error = StopCacheService();
    EXPECT_EQ(error.GetErrorCode(), kWin32Error);
    EXPECT_STREQ(error.GetDebugInformation(), "ServiceSetCommand failed (startmode).");
    EXPECT_EQ(machine->calls().Count("ControlService"), 0u);
    EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_RUNNING);

    // The minifilter's stop puts its first failure into the message.
    error = StopMinifilter();
    EXPECT_EQ(error.GetErrorCode(), kWin32Error);
    EXPECT_STREQ(error.GetErrorMessage(), "MinifilterSetCommand failed.");
    EXPECT_STREQ(error.GetDebugInformation(), "");
    EXPECT_EQ(sim::services::State("KeplinAfs"), SERVICE_RUNNING);
}

TEST_F(PairingServiceSteps, TheExistenceCheckNamesTheMissingService) {
    {
        sim::ScopedMachine machine(sim::MachineBuilder("none"));
        const CConsolidatedError error = CheckVezkServicesExist();
        EXPECT_EQ(error.GetErrorCode(), 0xA0070020u);
        EXPECT_STREQ(error.GetDebugInformation(),
                     "Couldn't find migration service. Please reinstall services and try again.");
        EXPECT_EQ(machine->calls().CountMatching("OpenService", R"({"name": "KeplinAfs"})"), 0u);
    }
    {
        sim::MachineBuilder onlyService("service-only");
        servicetest::Install(onlyService, "KeplinAfsService", 16);
        sim::ScopedMachine machine(onlyService);
        const CConsolidatedError error = CheckVezkServicesExist();
        EXPECT_EQ(error.GetErrorCode(), 0xA0070021u);
        EXPECT_EQ(error.GetWin32Error(), ERROR_SERVICE_DOES_NOT_EXIST);
        EXPECT_STREQ(error.GetDebugInformation(),
                     "Couldn't find minifiter service. Please reinstall services and try again.");
    }
    sim::ScopedMachine machine(servicetest::Machine());
    EXPECT_TRUE(CheckVezkServicesExist().IsSuccessful());
}

// A command whose service cannot be opened is not made: the step says which, in these very words.
TEST_F(PairingServiceSteps, ACommandThatCannotBeMadeIsNamed) {
    struct Case {
        Step step;
        const char* service;
        int skip;
        const char* message;
        const char* debug;
    } cases[] = {
        {StartMinifilter, "KeplinAfs", 0, "Failed creating minifilter start command.",
         "Ostrel  CreateMinifilterStartCommand returned null."},
        {StartMinifilter, "KeplinAfs", 1, "Failed creating minifilter set command.",
         "Ostrel  CreateMinifilterSetCommand returned null."},
        {StartCacheService, "KeplinAfsService", 0, "Failed creating StartServiceCommand.",
         "Ostrel CreateStartServiceCommand returned null."},
        {StartCacheService, "KeplinAfsService", 1, "Failed creating ServiceSetCommand (startmode).",
         "Ostrel CreateServiceSetCommand returned null (startmode)."},
        {StartCacheService, "KeplinAfsService", 2, "Failed creating ServiceSetCommand (dependencies).",
         "Ostrel CreateServiceSetCommand returned null (dependencies)."},
        {StopCacheService, "KeplinAfsService", 0, "Failed creating ServiceSetCommand (startmode).",
         "Ostrel CreateServiceSetCommand returned null (startmode)."},
        {StopCacheService, "KeplinAfsService", 1, "Failed creating StopServiceCommand.",
         "Ostrel CreateStopServiceCommand returned null."},
        {StopMinifilter, "KeplinAfs", 0, "Failed creating MinifilterSetCommand.",
         "Ostrel CreateMinifilterSetCommand returned null."},
        {StopMinifilter, "KeplinAfs", 1, "Failed creating MinifilterStopCommand.",
         "Ostrel CreateMinifilterStopCommand returned null."},
    };
    for (const auto& c : cases) {
        sim::ScopedMachine machine(Stopped());
        machine->faults().Add(std::string(R"({"kind": "OpenService", "match": {"name": ")") + c.service +
                              R"("}, "skip": )" + std::to_string(c.skip) +
                              R"(, "times": 1, "outcome": {"win32_error": 5}})");
        const CConsolidatedError error = c.step();
        EXPECT_EQ(error.GetErrorCode(), 0xA007001Fu) << c.debug;
        EXPECT_STREQ(error.GetErrorMessage(), c.message);
        EXPECT_STREQ(error.GetDebugInformation(), c.debug);
    }
}

} // namespace
