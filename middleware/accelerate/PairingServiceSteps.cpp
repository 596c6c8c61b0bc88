#include "middleware/accelerate/PairingServiceSteps.h"

#include <initializer_list>
#include <string>
#include <vector>

#include "middleware/accelerate/ServiceCommandFailure.h"
#include "middleware/pairing/BootMigration.h"
#include "platform/win/Trace.h"
#include "tools/Ostrel/ServiceCommands/ServiceCommand.h"
#include "tools/Ostrel/ServiceCommands/ServiceCommandFactories.h"
#include "tools/Ostrel/ServiceCommands/ServiceControl.h"

namespace {

// One command of a step, with the texts of its failures.
struct StepCommand {
    CommandFactory factory;
    // The option word and its values; none runs the command with a count of 0 and no vector.
    std::vector<const wchar_t*> arguments;
    const char* notCreatedMessage;
    const char* notCreatedDebug;
    const char* failedText;
    // A start command of this service: a service that runs already counts as started.
    const wchar_t* startedService = nullptr;
    // The failure text goes to the message instead of the debug information.
    bool failedTextIsMessage = false;
};

// Whether the service runs, or is starting, now. The service tool's start reports every failure
// alike (110), so the state is read to tell "already running" apart.
bool Runs(const wchar_t* serviceName) {
    ServiceControl control;
    if (control.Open(serviceName) != ERROR_SUCCESS)
        return false;
    SERVICE_STATUS_PROCESS status{};
    return control.QueryStatus(&status) == ERROR_SUCCESS &&
           (status.dwCurrentState == SERVICE_RUNNING || status.dwCurrentState == SERVICE_START_PENDING);
}

unsigned long Execute(Command& command, const StepCommand& step) {
    if (step.arguments.empty())
        return command.Execute(0, nullptr);
    // The vector ends with a null entry, as the dependency list of the set command needs.
    std::vector<std::wstring> words(step.arguments.begin(), step.arguments.end());
    std::vector<wchar_t*> argv;
    for (std::wstring& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    return command.Execute(static_cast<int>(words.size()), argv.data());
}

// Runs the commands in order up to the first failure. Each command is made before the previous one
// is deleted.
CConsolidatedError RunSteps(std::initializer_list<StepCommand> steps) {
    CommandPtr previous;
    for (const StepCommand& step : steps) {
        CommandPtr command = step.factory(0, nullptr);
        previous.reset();
        CConsolidatedError error;
        if (!command) {
            error.SetError(CConsolidatedError::HALVEX_KEDO2_SERVICECOMMANDNOTCREATED, step.notCreatedMessage,
                           step.notCreatedDebug);
            return error;
        }
        const unsigned long result = Execute(*command, step);
        if (result != ERROR_SUCCESS && !(step.startedService && Runs(step.startedService))) {
            MOX_TRACE(TRACE_LEVEL_ERROR, "%s (%lu)", step.failedText, result);
            error = ServiceCommandFailure(result);
            if (step.failedTextIsMessage)
                error.AddErrorMessage("%s", step.failedText);
            else
                error.AddDebugInformation("%s", step.failedText);
            return error;
        }
        previous = std::move(command);
    }
    return CConsolidatedError();
}

// An existence check: its failure carries the code of the missing service.
CConsolidatedError CheckExists(CommandFactory factory, KEDO2_ERRORS missing, const char* debug) {
    CConsolidatedError error;
    CommandPtr command = factory(0, nullptr);
    if (!command) {
        error.SetError(CConsolidatedError::HALVEX_KEDO2_SERVICECOMMANDNOTCREATED,
                       "Failed creating service command.");
        return error;
    }
    if (const unsigned long result = command->Execute(0, nullptr)) {
        error = ServiceCommandFailure(result);
        error.SetError(missing, nullptr);
        error.AddDebugInformation("%s", debug);
    }
    return error;
}

} // namespace

CConsolidatedError CheckVezkServicesExist() {
    CConsolidatedError error = CheckExists(
        CreateCheckServiceExistsCommand, CConsolidatedError::HALVEX_KEDO2_MIGRATIONSERVICENOTFOUND,
        "Couldn't find migration service. Please reinstall services and try again.");
    if (error.IsError())
        return error;
    return CheckExists(CreateMinifilterExistsCommand,
                       CConsolidatedError::HALVEX_KEDO2_MINIFILTERSERVICENOTFOUND,
                       "Couldn't find minifiter service. Please reinstall services and try again.");
}

CConsolidatedError StartMinifilter() {
    return RunSteps({
        {CreateMinifilterStartCommand,
         {},
         "Failed creating minifilter start command.",
         "Ostrel  CreateMinifilterStartCommand returned null.",
         "MinifilterStartCommand failed.",
         kMinifilterServiceName},
        {CreateMinifilterSetCommand,
         {L"startmode", L"boot"},
         "Failed creating minifilter set command.",
         "Ostrel  CreateMinifilterSetCommand returned null.",
         "MinifilterSetCommand failed."},
    });
}

CConsolidatedError RegisterCacheServiceCom() {
    return RunSteps({
        {CreateRegisterComInterfaceCommand,
         {},
         "Failed creating RegisterComInterface command.",
         "Ostrel CreateRegisterComInterfaceCommand returned null.",
         "RegisterComInterface failed."},
    });
}

CConsolidatedError StartCacheService() {
    return RunSteps({
        {CreateStartServiceCommand,
         {},
         "Failed creating StartServiceCommand.",
         "Ostrel CreateStartServiceCommand returned null.",
         "StartServiceCommand failed.",
         kCacheServiceName},
        {CreateServiceSetCommand,
         {L"startmode", L"boot"},
         "Failed creating ServiceSetCommand (startmode).",
         "Ostrel CreateServiceSetCommand returned null (startmode).",
         "ServiceSetCommand failed (startmode)."},
        {CreateServiceSetCommand,
         {L"dependencies", L"keplinafs"},
         "Failed creating ServiceSetCommand (dependencies).",
         "Ostrel CreateServiceSetCommand returned null (dependencies).",
         "ServiceSetCommand failed (dependencies)."},
    });
}

CConsolidatedError UnregisterCacheServiceCom() {
    return RunSteps({
        {CreateUnregisterComInterfaceCommand,
         {},
         "Failed creating UnregisterComInterface.",
         "Ostrel CreateUnregisterComInterfaceCommand returned null.",
         "UnregisterComInterface failed."},
    });
}

CConsolidatedError StopCacheService() {
    return RunSteps({
        {CreateServiceSetCommand,
         {L"startmode", L"ondemand"},
         "Failed creating ServiceSetCommand (startmode).",
         "Ostrel CreateServiceSetCommand returned null (startmode).",
         "ServiceSetCommand failed (startmode)."},
        {CreateStopServiceCommand,
         {},
         "Failed creating StopServiceCommand.",
         "Ostrel CreateStopServiceCommand returned null.",
         "StopServiceCommand failed."},
    });
}

CConsolidatedError StopMinifilter() {
    return RunSteps({
        {CreateMinifilterSetCommand,
         {L"startmode", L"ondemand"},
         "Failed creating MinifilterSetCommand.",
         "Ostrel CreateMinifilterSetCommand returned null.",
         "MinifilterSetCommand failed.",
         nullptr,
         true},
        {CreateMinifilterStopCommand,
         {},
         "Failed creating MinifilterStopCommand.",
         "Ostrel CreateMinifilterStopCommand returned null.",
         "MinifilterStopCommand failed."},
    });
}

CConsolidatedError StartVezkTools() {
    for (CConsolidatedError (*step)() : {StartMinifilter, RegisterCacheServiceCom, StartCacheService}) {
        CConsolidatedError error = step();
        if (error.IsError())
            return error;
    }
    return CConsolidatedError();
}

void StopVezkTools() {
    static_cast<void>(UnregisterCacheServiceCom());
    static_cast<void>(StopCacheService());
    static_cast<void>(StopMinifilter());
    RemoveBootMigration();
}
