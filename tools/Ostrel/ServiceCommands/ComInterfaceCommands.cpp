#include "tools/Ostrel/ServiceCommands/ComInterfaceCommands.h"

#include <cstdint>

#include "middleware/core/ComPtr.h"
#include "platform/win/Trace.h"
#include "platform/win/WinTaskScheduler.h"
#include "tools/Ostrel/ServiceCommands/ComServerRegistry.h"
#include "tools/Ostrel/ServiceCommands/CommandFailureReport.h"

namespace {

// The HRESULT as the command's code: its 32-bit pattern, whatever the width of unsigned long.
unsigned long Code(HRESULT hr) {
    return static_cast<uint32_t>(hr);
}

// The calling thread's apartment for one command: joined unless the caller joined one itself, and
// left again only when this command's join counts (S_OK or S_FALSE).
class CommandApartment {
public:
    explicit CommandApartment(int argc) {
        if (argc != 0)
            return;
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (hr == S_OK || hr == S_FALSE)
            joined_ = true;
        else if (hr != RPC_E_CHANGED_MODE)
            result_ = hr;
    }
    ~CommandApartment() {
        if (joined_)
            CoUninitialize();
    }
    CommandApartment(const CommandApartment&) = delete;
    CommandApartment& operator=(const CommandApartment&) = delete;

    HRESULT result() const { return result_; }

private:
    bool joined_ = false;
    HRESULT result_ = S_OK;
};

// Traces a failed step and passes its result on.
HRESULT Step(HRESULT hr, const char* what) {
    if (FAILED(hr))
        MOX_TRACE(TRACE_LEVEL_ERROR, "%s failed with 0x%08X", what, static_cast<uint32_t>(hr));
    return hr;
}

HRESULT ConnectedService(ComPtr<ITaskService>& service) {
    if (HRESULT hr = Step(
            CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_ALL, IID_ITaskService, service.putVoid()),
            "Creating the task service");
        FAILED(hr))
        return hr;
    return Step(service->Connect({}, {}, {}, {}), "Connecting to the task service");
}

// The folder "\Orvex", made with its security descriptor unless it is there already.
HRESULT TaskFolder(ITaskService* service, ComPtr<ITaskFolder>& folder) {
    ComPtr<ITaskFolder> root;
    if (HRESULT hr = Step(service->GetFolder(L"\\", root.put()), "Taking the root task folder"); FAILED(hr))
        return hr;
    HRESULT hr =
        root->CreateFolder(kOptimizationTaskFolder, VariantText(L"D:(A;;FA;;;BA)(A;;FA;;;SY)"), folder.put());
    if (hr == HRESULT_ALREADY_EXISTS)
        hr = service->GetFolder(L"\\Orvex", folder.put());
    return Step(hr, "Taking the task folder");
}

HRESULT DescribeTask(ITaskDefinition* definition) {
    ComPtr<IRegistrationInfo> info;
    if (HRESULT hr = Step(definition->get_RegistrationInfo(info.put()), "Taking the registration info");
        FAILED(hr))
        return hr;
    for (HRESULT hr :
         {info->put_Author(L"Orvex"),
          info->put_Description(
              L"Optimizes the Orvex(R) Halvex(TM) memory volume to accelerate frequently used files"),
          info->put_SecurityDescriptor(L"D:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;FRFX;;;LS)")})
        if (FAILED(Step(hr, "Describing the task")))
            return hr;

    ComPtr<IActionCollection> actions;
    ComPtr<IAction> action;
    ComPtr<IComHandlerAction> handler;
    HRESULT hr = Step(definition->get_Actions(actions.put()), "Taking the task's actions");
    if (SUCCEEDED(hr))
        hr = Step(actions->Create(TASK_ACTION_COM_HANDLER, action.put()), "Creating the COM handler action");
    if (SUCCEEDED(hr))
        hr = Step(handler.queryFrom(action.get(), IID_IComHandlerAction), "Taking the COM handler action");
    if (SUCCEEDED(hr))
        hr = Step(handler->put_ClassId(kComServerClassId), "Setting the handler's class");
    if (FAILED(hr))
        return hr;

    ComPtr<IPrincipal> principal;
    hr = Step(definition->get_Principal(principal.put()), "Taking the task's principal");
    if (SUCCEEDED(hr))
        hr = Step(principal->put_RunLevel(TASK_RUNLEVEL_HIGHEST), "Setting the run level");
    return hr;
}

// Maintenance settings where the settings have version 3, else a daily trigger at two at night.
HRESULT ScheduleTask(ITaskDefinition* definition) {
    ComPtr<ITaskSettings> settings;
    if (HRESULT hr = Step(definition->get_Settings(settings.put()), "Taking the task's settings"); FAILED(hr))
        return hr;
    // The settings are best effort: a system that refuses one still runs the task.
    settings->put_DisallowStartIfOnBatteries(VARIANT_FALSE);
    settings->put_Priority(0);
    settings->put_StartWhenAvailable(VARIANT_TRUE);
    settings->put_RestartInterval(L"PT30M");
    settings->put_RestartCount(22);
    settings->put_MultipleInstances(TASK_INSTANCES_STOP_EXISTING);

    ComPtr<ITaskSettings3> settings3;
    if (SUCCEEDED(settings3.queryFrom(settings.get(), IID_ITaskSettings3))) {
        ComPtr<IMaintenanceSettings> maintenance;
        HRESULT hr =
            Step(settings3->put_UseUnifiedSchedulingEngine(VARIANT_TRUE), "Choosing the unified engine");
        if (SUCCEEDED(hr))
            hr = Step(settings3->CreateMaintenanceSettings(maintenance.put()),
                      "Creating the maintenance settings");
        if (SUCCEEDED(hr))
            hr = Step(maintenance->put_Period(L"P1D"), "Setting the maintenance period");
        if (SUCCEEDED(hr))
            hr = Step(maintenance->put_Deadline(L"P2D"), "Setting the maintenance deadline");
        return hr;
    }
    ComPtr<ITriggerCollection> triggers;
    ComPtr<ITrigger> trigger;
    ComPtr<IDailyTrigger> daily;
    HRESULT hr = Step(definition->get_Triggers(triggers.put()), "Taking the task's triggers");
    if (SUCCEEDED(hr))
        hr = Step(triggers->Create(TASK_TRIGGER_DAILY, trigger.put()), "Creating the daily trigger");
    if (SUCCEEDED(hr))
        hr = Step(daily.queryFrom(trigger.get(), IID_IDailyTrigger), "Taking the daily trigger");
    if (SUCCEEDED(hr))
        hr = Step(daily->put_StartBoundary(L"2007-01-01T02:00:00"), "Setting the trigger's start");
    if (SUCCEEDED(hr))
        hr = Step(daily->put_DaysInterval(1), "Setting the trigger's interval");
    if (SUCCEEDED(hr))
        hr = Step(daily->put_ExecutionTimeLimit(L"PT6H"), "Setting the trigger's time limit");
    return hr;
}

HRESULT RegisterTask() {
    ComPtr<ITaskService> service;
    ComPtr<ITaskFolder> folder;
    ComPtr<ITaskDefinition> definition;
    HRESULT hr = ConnectedService(service);
    if (SUCCEEDED(hr))
        hr = TaskFolder(service.get(), folder);
    if (SUCCEEDED(hr))
        hr = Step(service->NewTask(0, definition.put()), "Making the task definition");
    if (SUCCEEDED(hr))
        hr = DescribeTask(definition.get());
    if (SUCCEEDED(hr))
        hr = ScheduleTask(definition.get());
    if (FAILED(hr))
        return hr;
    ComPtr<IRegisteredTask> registered;
    return Step(folder->RegisterTaskDefinition(kOptimizationTaskName, definition.get(), TASK_CREATE_OR_UPDATE,
                                               VariantText(L"System"), VARIANT{}, TASK_LOGON_SERVICE_ACCOUNT,
                                               VariantText(L""), registered.put()),
                "Registering the task");
}

HRESULT DeleteTask() {
    ComPtr<ITaskService> service;
    ComPtr<ITaskFolder> folder;
    HRESULT hr = ConnectedService(service);
    if (SUCCEEDED(hr))
        hr = Step(service->GetFolder(kOptimizationTaskFolder, folder.put()), "Taking the task folder");
    if (SUCCEEDED(hr))
        hr = Step(folder->DeleteTask(kOptimizationTaskName, 0), "Deleting the task");
    return hr;
}

} // namespace

unsigned long RegisterComInterface::Execute(int argc, wchar_t*[]) {
    VerboseLine(ExecuteSignature("RegisterComInterface"));
    HRESULT hr = S_OK;
    {
        CommandApartment apartment(argc);
        if (FAILED(apartment.result()))
            return Code(apartment.result());
        hr = RegisterTask();
    }
    // The task stays registered when the registry cannot be written.
    return FAILED(hr) ? Code(hr) : ApplyComServerRegistry();
}

unsigned long UnregisterComInterface::Execute(int argc, wchar_t*[]) {
    VerboseLine(ExecuteSignature("UnregisterComInterface"));
    HRESULT hr = S_OK;
    {
        CommandApartment apartment(argc);
        if (FAILED(apartment.result()))
            return Code(apartment.result());
        hr = DeleteTask();
    }
    // A task that is not there leaves the registry as it is.
    return FAILED(hr) ? Code(hr) : RemoveComServerRegistry();
}
