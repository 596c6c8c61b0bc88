#include <string>

#include <gtest/gtest.h>

#include "platform/win/WinTaskScheduler.h"
#include "sim/Machine.h"
#include "sim/ScheduledTasks.h"

namespace {

// Releases a COM interface at the end of its scope.
template <class T> struct Held {
    T* p = nullptr;
    ~Held() {
        if (p)
            p->Release();
    }
    T** out() { return &p; }
    void** raw() { return reinterpret_cast<void**>(&p); }
    T* operator->() const { return p; }
};

class WinTaskScheduler : public ::testing::Test {
protected:
    explicit WinTaskScheduler(const sim::MachineBuilder& description = sim::MachineBuilder("tasks"))
        : machine(description) {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    }
    ~WinTaskScheduler() override { CoUninitialize(); }

    // A connected service.
    void Connect() {
        ASSERT_EQ(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_ALL, IID_ITaskService, service.raw()),
                  S_OK);
        ASSERT_EQ(service->Connect({}, {}, {}, {}), S_OK);
    }

    // A definition with a COM handler action and one setting.
    void Define(Held<ITaskDefinition>& definition) {
        ASSERT_EQ(service->NewTask(0, definition.out()), S_OK);
        Held<IActionCollection> actions;
        ASSERT_EQ(definition->get_Actions(actions.out()), S_OK);
        Held<IAction> action;
        ASSERT_EQ(actions->Create(TASK_ACTION_COM_HANDLER, action.out()), S_OK);
        Held<IComHandlerAction> handler;
        ASSERT_EQ(action->QueryInterface(IID_IComHandlerAction, handler.raw()), S_OK);
        EXPECT_EQ(handler->put_ClassId(L"{D19AAF57-65A7-484B-9E7A-26C0E667DC66}"), S_OK);
    }

    HRESULT Register(ITaskFolder* folder, ITaskDefinition* definition, LONG flags,
                     const wchar_t* user = L"System", TASK_LOGON_TYPE logon = TASK_LOGON_SERVICE_ACCOUNT) {
        return folder->RegisterTaskDefinition(L"Nightly", definition, flags, VariantText(user), {}, logon,
                                              VariantText(L""), nullptr);
    }

    sim::ScopedMachine machine;
    Held<ITaskService> service;
};

TEST_F(WinTaskScheduler, ARegisteredTaskKeepsItsWholeDefinition) {
    Connect();
    Held<ITaskFolder> root;
    ASSERT_EQ(service->GetFolder(L"\\", root.out()), S_OK);
    Held<ITaskFolder> folder;
    ASSERT_EQ(root->CreateFolder(L"Orvex", VariantText(L"D:(A;;FA;;;BA)"), folder.out()), S_OK);

    Held<ITaskDefinition> definition;
    Define(definition);
    Held<IRegistrationInfo> info;
    ASSERT_EQ(definition->get_RegistrationInfo(info.out()), S_OK);
    EXPECT_EQ(info->put_Author(L"Orvex"), S_OK);
    EXPECT_EQ(info->put_SecurityDescriptor(L"D:P(A;;FA;;;SY)"), S_OK);
    Held<IPrincipal> principal;
    ASSERT_EQ(definition->get_Principal(principal.out()), S_OK);
    EXPECT_EQ(principal->put_RunLevel(TASK_RUNLEVEL_HIGHEST), S_OK);
    Held<ITaskSettings> settings;
    ASSERT_EQ(definition->get_Settings(settings.out()), S_OK);
    EXPECT_EQ(settings->put_DisallowStartIfOnBatteries(VARIANT_FALSE), S_OK);
    EXPECT_EQ(settings->put_Priority(0), S_OK);
    EXPECT_EQ(settings->put_Priority(11), E_INVALIDARG);
    EXPECT_EQ(settings->put_RestartInterval(L"PT30M"), S_OK);
    EXPECT_EQ(settings->put_MultipleInstances(TASK_INSTANCES_STOP_EXISTING), S_OK);
    Held<ITaskSettings3> settings3;
    ASSERT_EQ(settings->QueryInterface(IID_ITaskSettings3, settings3.raw()), S_OK);
    EXPECT_EQ(settings3->put_UseUnifiedSchedulingEngine(VARIANT_TRUE), S_OK);
    Held<IMaintenanceSettings> maintenance;
    ASSERT_EQ(settings3->CreateMaintenanceSettings(maintenance.out()), S_OK);
    EXPECT_EQ(maintenance->put_Period(L"P1D"), S_OK);
    EXPECT_EQ(maintenance->put_Deadline(L"P2D"), S_OK);

    // Nothing reaches the store before the registration.
    EXPECT_FALSE(sim::tasks::Task("\\Orvex", "Nightly"));
    Held<IRegisteredTask> registered;
    ASSERT_EQ(folder->RegisterTaskDefinition(L"Nightly", definition.p, TASK_CREATE_OR_UPDATE,
                                             VariantText(L"System"), {}, TASK_LOGON_SERVICE_ACCOUNT,
                                             VariantText(L""), registered.out()),
              S_OK);
    EXPECT_NE(registered.p, nullptr);

    auto task = sim::tasks::Task("\\orvex", "NIGHTLY");
    ASSERT_TRUE(task);
    EXPECT_EQ((*task)["user"], sim::Value("System"));
    EXPECT_EQ((*task)["logon_type"], sim::Value(5));
    const sim::Value& d = (*task)["definition"];
    EXPECT_EQ(d["registration_info"],
              (sim::Value{{"author", "Orvex"}, {"security_descriptor", "D:P(A;;FA;;;SY)"}}));
    EXPECT_EQ(d["principal"]["run_level"], sim::Value(1));
    EXPECT_EQ(d["actions"],
              sim::Value::parse(R"([{"type": 5, "class_id": "{D19AAF57-65A7-484B-9E7A-26C0E667DC66}"}])"));
    EXPECT_EQ(d["settings"], sim::Value::parse(R"({"disallow_start_if_on_batteries": false, "priority": 0,
        "start_when_available": false, "restart_interval": "PT30M", "restart_count": 0, "multiple_instances": 3,
        "use_unified_scheduling_engine": true, "maintenance": {"period": "P1D", "deadline": "P2D"}})"));
    EXPECT_EQ(d["triggers"], sim::Value::array());
    EXPECT_EQ((*sim::tasks::Folder("\\Orvex"))["sddl"], sim::Value("D:(A;;FA;;;BA)"));
}

TEST_F(WinTaskScheduler, FoldersAndTasksAnswerWhatIsThere) {
    Held<ITaskService> unconnected;
    ASSERT_EQ(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_ALL, IID_ITaskService, unconnected.raw()),
              S_OK);
    Held<ITaskFolder> early;
    EXPECT_EQ(unconnected->GetFolder(L"\\", early.out()), HRESULT_NOT_CONNECTED);
    Connect();

    Held<ITaskFolder> root, folder, again, missing;
    ASSERT_EQ(service->GetFolder(L"\\", root.out()), S_OK);
    EXPECT_EQ(service->GetFolder(L"\\Orvex", missing.out()), HRESULT_FILE_NOT_FOUND);
    ASSERT_EQ(root->CreateFolder(L"Orvex", {}, folder.out()), S_OK);
    EXPECT_EQ(root->CreateFolder(L"ORVEX", {}, again.out()), HRESULT_ALREADY_EXISTS);
    EXPECT_EQ(again.p, nullptr);
    ASSERT_EQ(service->GetFolder(L"Orvex", again.out()), S_OK);

    Held<ITaskDefinition> definition;
    Define(definition);
    EXPECT_EQ(Register(folder.p, definition.p, TASK_UPDATE), HRESULT_FILE_NOT_FOUND);
    EXPECT_EQ(Register(folder.p, definition.p, TASK_CREATE), S_OK);
    EXPECT_EQ(Register(folder.p, definition.p, TASK_CREATE), HRESULT_ALREADY_EXISTS);
    EXPECT_EQ(Register(folder.p, definition.p, TASK_CREATE_OR_UPDATE), S_OK);
    EXPECT_EQ(Register(folder.p, definition.p, TASK_CREATE_OR_UPDATE, L"Somebody"), HRESULT_FROM_WIN32(1332));
    EXPECT_EQ(sim::tasks::Tasks("\\Orvex").size(), 1u);

    EXPECT_EQ(again->DeleteTask(L"nightly", 0), S_OK);
    EXPECT_EQ(again->DeleteTask(L"Nightly", 0), HRESULT_FILE_NOT_FOUND);
    EXPECT_TRUE(sim::tasks::Folder("\\Orvex"));
    EXPECT_TRUE(sim::tasks::Tasks("\\Orvex").empty());
}

class WithoutSettings3 : public WinTaskScheduler {
protected:
    WithoutSettings3()
        : WinTaskScheduler(sim::MachineBuilder("tasks").Set("/scheduled_tasks", R"({"settings3": false})")) {}
};

TEST_F(WithoutSettings3, SettingsRefuseVersion3AndADailyTriggerIsKept) {
    Connect();
    Held<ITaskDefinition> definition;
    Define(definition);
    Held<ITaskSettings> settings;
    ASSERT_EQ(definition->get_Settings(settings.out()), S_OK);
    Held<ITaskSettings3> settings3;
    EXPECT_EQ(settings->QueryInterface(IID_ITaskSettings3, settings3.raw()), E_NOINTERFACE);
    EXPECT_EQ(settings3.p, nullptr);

    Held<ITriggerCollection> triggers;
    ASSERT_EQ(definition->get_Triggers(triggers.out()), S_OK);
    Held<ITrigger> trigger;
    ASSERT_EQ(triggers->Create(TASK_TRIGGER_DAILY, trigger.out()), S_OK);
    Held<IDailyTrigger> daily;
    ASSERT_EQ(trigger->QueryInterface(IID_IDailyTrigger, daily.raw()), S_OK);
    EXPECT_EQ(daily->put_StartBoundary(L"2007-01-01T02:00:00"), S_OK);
    EXPECT_EQ(daily->put_DaysInterval(0), E_INVALIDARG);
    EXPECT_EQ(daily->put_DaysInterval(3), S_OK);
    EXPECT_EQ(daily->put_ExecutionTimeLimit(L"PT6H"), S_OK);
    Held<ITaskFolder> root;
    ASSERT_EQ(service->GetFolder(L"\\", root.out()), S_OK);
    ASSERT_EQ(Register(root.p, definition.p, TASK_CREATE_OR_UPDATE), S_OK);
    EXPECT_EQ((*sim::tasks::Task("\\", "Nightly"))["definition"]["triggers"],
              sim::Value::parse(R"([{"type": 2, "days_interval": 3, "start_boundary": "2007-01-01T02:00:00",
                                    "execution_time_limit": "PT6H"}])"));
}

TEST_F(WinTaskScheduler, InjectedFailuresChangeNothing) {
    Connect();
    machine->faults().Add(R"({"kind": "TaskScheduler", "match": {"method": "ITaskFolder::CreateFolder",
        "name": "Orvex"}, "times": 1, "outcome": {"hresult": "0x80070005"}})");
    Held<ITaskFolder> root, folder;
    ASSERT_EQ(service->GetFolder(L"\\", root.out()), S_OK);
    EXPECT_EQ(root->CreateFolder(L"Orvex", {}, folder.out()), E_ACCESSDENIED);
    EXPECT_FALSE(sim::tasks::Folder("\\Orvex"));
    EXPECT_EQ(root->CreateFolder(L"Orvex", {}, folder.out()), S_OK);
}

TEST(WinTaskSchedulerStore, DescriptionsNameExistingFolders) {
    const char* refused[] = {
        R"({"tasks": [{"folder": "\\Missing", "name": "A"}]})",
        R"({"folders": [{"path": "\\A"}, {"path": "\\a"}]})",
        R"({"folders": [{"path": "\\A\\B"}]})",
        R"({"tasks": [{"folder": "\\", "name": "A", "definition": {"settings": {"priority": 11}}}]})",
    };
    for (const char* section : refused)
        EXPECT_THROW(sim::ScopedMachine(sim::MachineBuilder("tasks").Set("/scheduled_tasks", section)),
                     std::runtime_error)
            << section;
    sim::ScopedMachine machine(sim::MachineBuilder("tasks").Set(
        "/scheduled_tasks", R"({"folders": [{"path": "\\A"}, {"path": "\\A\\B"}],
                               "tasks": [{"folder": "\\A\\B", "name": "T", "user": "System"}]})"));
    EXPECT_EQ((*sim::tasks::Task("\\a\\b", "t"))["user"], sim::Value("System"));
    EXPECT_TRUE(sim::tasks::HasSettings3());
}

} // namespace
