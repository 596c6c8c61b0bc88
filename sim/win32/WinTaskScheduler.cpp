// The Task Scheduler 2.0 over the simulated machine's task store (sim/ScheduledTasks.h). A task
// definition is a document the objects of the definition write into; registering it stores a copy.
//
// Every method passes the seam as kind "TaskScheduler" with selector `method`
// ("ITaskFolder::CreateFolder") and, where they apply, `path` (the folder's path) and `name` (the
// folder or task name); outcome {"hresult": v} fails the call with v and changes nothing.
// QueryInterface takes its own fault kind (sim/win32/ComObject.h); the machine's `settings3` false
// makes the settings refuse ITaskSettings3 as systems before it do.
#include "platform/win/WinTaskScheduler.h"

#include <memory>
#include <optional>
#include <string>

#include "sim/Os.h"
#include "sim/ScheduledTaskStore.h"
#include "sim/Schema.h"
#include "sim/WideText.h"
#include "sim/win32/ComObject.h"
#include "sim/win32/SimCall.h"
#include "sim/win32/TaskSchedulerObject.h"

namespace sim::win32 {

MOX_SIM_INTERFACE(ITaskService);
MOX_SIM_INTERFACE(ITaskFolder);
MOX_SIM_INTERFACE(ITaskDefinition);
MOX_SIM_INTERFACE(IRegistrationInfo);
MOX_SIM_INTERFACE(IActionCollection);
MOX_SIM_INTERFACE(IAction);
MOX_SIM_INTERFACE(IComHandlerAction);
MOX_SIM_INTERFACE(IPrincipal);
MOX_SIM_INTERFACE(ITaskSettings);
MOX_SIM_INTERFACE(ITaskSettings3);
MOX_SIM_INTERFACE(IMaintenanceSettings);
MOX_SIM_INTERFACE(ITriggerCollection);
MOX_SIM_INTERFACE(ITrigger);
MOX_SIM_INTERFACE(IDailyTrigger);
MOX_SIM_INTERFACE(IRegisteredTask);

namespace {

using nlohmann::json;
namespace schema = sim::schema;

const schema::FaultKind kFaults("TaskScheduler", {"method", "path", "name"},
                                schema::Object({{"hresult", schema::Word32()}}));

// The seam for one method; a fault's HRESULT, else 0.
HRESULT Seam(const char* method, json selectors = json::object()) {
    selectors["method"] = method;
    auto outcome = platform::SimCall("TaskScheduler", selectors);
    if (!outcome || !outcome->contains("hresult"))
        return S_OK;
    return static_cast<HRESULT>(platform::OutcomeNumber(*outcome, "hresult", static_cast<uint32_t>(E_FAIL)));
}

// Every method runs whole inside the guard: a store the simulator cannot read fails the call with
// ERROR_INVALID_DATA in HRESULT form.
template <class Work> HRESULT Guarded(Work&& work) {
    return platform::Guarded(std::forward<Work>(work),
                             [](uint32_t error) { return HRESULT_FROM_WIN32(error); });
}

std::string Text(LPCWSTR text) {
    return text ? sim::ToUtf8(text) : std::string();
}

// The text of a variant argument: empty for VT_EMPTY; nothing for another type.
std::optional<std::string> VariantString(const VARIANT& value) {
    if (value.vt == VT_EMPTY)
        return std::string();
    if (value.vt == VT_BSTR)
        return Text(value.text);
    return std::nullopt;
}

template <class Interface, class Object> HRESULT Hand(Object* object, Interface** out) {
    *out = object;
    return S_OK;
}

// The document of one definition, shared by the objects that write into it.
using Document = std::shared_ptr<json>;

// A part of a definition: the object at a JSON pointer of the document.
template <class... Interfaces> class Part : public ComObject<Interfaces...> {
public:
    Part(Document document, json::json_pointer at) : document_(std::move(document)), at_(std::move(at)) {}

protected:
    template <class T> HRESULT Put(const char* method, const char* key, T value) {
        return Guarded([&] {
            if (HRESULT fault = Seam(method))
                return fault;
            (*document_)[at_][key] = value;
            return S_OK;
        });
    }
    HRESULT PutText(const char* method, const char* key, LPCWSTR value) {
        return Put(method, key, Text(value));
    }
    json& Here() { return (*document_)[at_]; }
    const Document& document() const { return document_; }
    const json::json_pointer& at() const { return at_; }

private:
    Document document_;
    json::json_pointer at_;
};

class RegistrationInfo : public Part<IRegistrationInfo> {
public:
    using Part::Part;
    HRESULT put_Author(LPCWSTR author) override {
        return PutText("IRegistrationInfo::put_Author", "author", author);
    }
    HRESULT put_Description(LPCWSTR description) override {
        return PutText("IRegistrationInfo::put_Description", "description", description);
    }
    HRESULT put_SecurityDescriptor(LPCWSTR sddl) override {
        return PutText("IRegistrationInfo::put_SecurityDescriptor", "security_descriptor", sddl);
    }
};

class ComHandlerAction : public Part<IComHandlerAction> {
public:
    using Part::Part;
    HRESULT QueryInterface(const IID& iid, void** object) override {
        // Every action answers its base interface.
        if (object && iid == IID_IAction) {
            *object = static_cast<IAction*>(this);
            AddRef();
            return S_OK;
        }
        return Part::QueryInterface(iid, object);
    }
    HRESULT put_ClassId(LPCWSTR classId) override {
        return PutText("IComHandlerAction::put_ClassId", "class_id", classId);
    }
};

class ActionCollection : public Part<IActionCollection> {
public:
    using Part::Part;
    HRESULT Create(TASK_ACTION_TYPE type, IAction** action) override {
        if (!action)
            return E_POINTER;
        *action = nullptr;
        return Guarded([&] {
            if (HRESULT fault = Seam("IActionCollection::Create"))
                return fault;
            // Only the COM handler action is part of the narrowed surface.
            if (type != TASK_ACTION_COM_HANDLER)
                return E_NOTIMPL;
            json& actions = Here();
            actions.push_back({{"type", static_cast<int>(type)}});
            return Hand<IAction>(new ComHandlerAction(document(), at() / (actions.size() - 1)), action);
        });
    }
};

class Principal : public Part<IPrincipal> {
public:
    using Part::Part;
    HRESULT put_RunLevel(TASK_RUNLEVEL_TYPE runLevel) override {
        if (runLevel != TASK_RUNLEVEL_LUA && runLevel != TASK_RUNLEVEL_HIGHEST)
            return E_INVALIDARG;
        return Put("IPrincipal::put_RunLevel", "run_level", static_cast<int>(runLevel));
    }
};

class MaintenanceSettings : public Part<IMaintenanceSettings> {
public:
    using Part::Part;
    HRESULT put_Period(LPCWSTR period) override {
        return PutText("IMaintenanceSettings::put_Period", "period", period);
    }
    HRESULT put_Deadline(LPCWSTR deadline) override {
        return PutText("IMaintenanceSettings::put_Deadline", "deadline", deadline);
    }
};

class TaskSettings : public Part<ITaskSettings, ITaskSettings3> {
public:
    using Part::Part;
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (object && iid == IID_ITaskSettings3) {
            *object = nullptr;
            const HRESULT has = Guarded([] { return sim::tasks::HasSettings3() ? S_OK : E_NOINTERFACE; });
            if (FAILED(has))
                return has;
        }
        return Part::QueryInterface(iid, object);
    }
    HRESULT put_DisallowStartIfOnBatteries(VARIANT_BOOL disallow) override {
        return Put("ITaskSettings::put_DisallowStartIfOnBatteries", "disallow_start_if_on_batteries",
                   disallow != VARIANT_FALSE);
    }
    HRESULT put_Priority(int priority) override {
        if (priority < 0 || priority > 10)
            return E_INVALIDARG;
        return Put("ITaskSettings::put_Priority", "priority", priority);
    }
    HRESULT put_StartWhenAvailable(VARIANT_BOOL start) override {
        return Put("ITaskSettings::put_StartWhenAvailable", "start_when_available", start != VARIANT_FALSE);
    }
    HRESULT put_RestartInterval(LPCWSTR interval) override {
        return PutText("ITaskSettings::put_RestartInterval", "restart_interval", interval);
    }
    HRESULT put_RestartCount(int count) override {
        if (count < 0)
            return E_INVALIDARG;
        return Put("ITaskSettings::put_RestartCount", "restart_count", count);
    }
    HRESULT put_MultipleInstances(TASK_INSTANCES_POLICY policy) override {
        if (policy < TASK_INSTANCES_PARALLEL || policy > TASK_INSTANCES_STOP_EXISTING)
            return E_INVALIDARG;
        return Put("ITaskSettings::put_MultipleInstances", "multiple_instances", static_cast<int>(policy));
    }
    HRESULT put_UseUnifiedSchedulingEngine(VARIANT_BOOL use) override {
        return Put("ITaskSettings3::put_UseUnifiedSchedulingEngine", "use_unified_scheduling_engine",
                   use != VARIANT_FALSE);
    }
    HRESULT CreateMaintenanceSettings(IMaintenanceSettings** settings) override {
        if (!settings)
            return E_POINTER;
        *settings = nullptr;
        return Guarded([&] {
            if (HRESULT fault = Seam("ITaskSettings3::CreateMaintenanceSettings"))
                return fault;
            Here()["maintenance"] = {{"period", ""}, {"deadline", ""}};
            return Hand<IMaintenanceSettings>(new MaintenanceSettings(document(), at() / "maintenance"),
                                              settings);
        });
    }
};

class DailyTrigger : public Part<IDailyTrigger> {
public:
    using Part::Part;
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (object && iid == IID_ITrigger) {
            *object = static_cast<ITrigger*>(this);
            AddRef();
            return S_OK;
        }
        return Part::QueryInterface(iid, object);
    }
    HRESULT put_StartBoundary(LPCWSTR start) override {
        return PutText("ITrigger::put_StartBoundary", "start_boundary", start);
    }
    HRESULT put_ExecutionTimeLimit(LPCWSTR limit) override {
        return PutText("ITrigger::put_ExecutionTimeLimit", "execution_time_limit", limit);
    }
    HRESULT put_DaysInterval(int16_t days) override {
        if (days < 1)
            return E_INVALIDARG;
        return Put("IDailyTrigger::put_DaysInterval", "days_interval", static_cast<int>(days));
    }
};

class TriggerCollection : public Part<ITriggerCollection> {
public:
    using Part::Part;
    HRESULT Create(TASK_TRIGGER_TYPE2 type, ITrigger** trigger) override {
        if (!trigger)
            return E_POINTER;
        *trigger = nullptr;
        return Guarded([&] {
            if (HRESULT fault = Seam("ITriggerCollection::Create"))
                return fault;
            // Only the daily trigger is part of the narrowed surface.
            if (type != TASK_TRIGGER_DAILY)
                return E_NOTIMPL;
            json& triggers = Here();
            triggers.push_back({{"type", static_cast<int>(type)}, {"days_interval", 1}});
            return Hand<ITrigger>(new DailyTrigger(document(), at() / (triggers.size() - 1)), trigger);
        });
    }
};

class TaskDefinition : public Part<ITaskDefinition> {
public:
    TaskDefinition() : Part(std::make_shared<json>(sim::tasks::NewDefinition()), json::json_pointer()) {}
    json Snapshot() const { return *document(); }

    HRESULT get_RegistrationInfo(IRegistrationInfo** info) override {
        return Get<RegistrationInfo>("ITaskDefinition::get_RegistrationInfo", "/registration_info", info);
    }
    HRESULT get_Actions(IActionCollection** actions) override {
        return Get<ActionCollection>("ITaskDefinition::get_Actions", "/actions", actions);
    }
    HRESULT get_Principal(IPrincipal** principal) override {
        return Get<Principal>("ITaskDefinition::get_Principal", "/principal", principal);
    }
    HRESULT get_Settings(ITaskSettings** settings) override {
        return Get<TaskSettings>("ITaskDefinition::get_Settings", "/settings", settings);
    }
    HRESULT get_Triggers(ITriggerCollection** triggers) override {
        return Get<TriggerCollection>("ITaskDefinition::get_Triggers", "/triggers", triggers);
    }

private:
    template <class Object, class Interface>
    HRESULT Get(const char* method, const char* at, Interface** out) {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return Guarded([&] {
            if (HRESULT fault = Seam(method))
                return fault;
            return Hand<Interface>(new Object(document(), json::json_pointer(at)), out);
        });
    }
};

class RegisteredTask : public ComObject<IRegisteredTask> {};

// Accounts a task may run as with TASK_LOGON_SERVICE_ACCOUNT.
bool IsServiceAccount(const std::string& user) {
    std::string lower;
    for (char c : user)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* account :
         {"system", "nt authority\\system", "localservice", "local service", "nt authority\\localservice",
          "networkservice", "network service", "nt authority\\networkservice"})
        if (lower == account)
            return true;
    return false;
}

HRESULT FromWin32(uint32_t error) {
    return HRESULT_FROM_WIN32(error);
}

class TaskFolder : public ComObject<ITaskFolder> {
public:
    explicit TaskFolder(std::string path) : path_(std::move(path)) {}

    HRESULT CreateFolder(LPCWSTR name, VARIANT sddl, ITaskFolder** folder) override {
        if (!folder)
            return E_POINTER;
        *folder = nullptr;
        const std::string text = Text(name);
        return Guarded([&] {
            if (HRESULT fault = Seam("ITaskFolder::CreateFolder", {{"path", path_}, {"name", text}}))
                return fault;
            const auto descriptor = VariantString(sddl);
            if (text.empty() || text.find('\\') != std::string::npos || !descriptor)
                return E_INVALIDARG;
            if (!sim::os::Elevated())
                return E_ACCESSDENIED;
            const std::string path = sim::tasks::FolderPath(path_ == "\\" ? text : path_ + "\\" + text);
            if (uint32_t error = sim::tasks::CreateFolder(path, *descriptor))
                return FromWin32(error);
            return Hand<ITaskFolder>(new TaskFolder(path), folder);
        });
    }

    HRESULT RegisterTaskDefinition(LPCWSTR path, ITaskDefinition* definition, LONG flags, VARIANT userId,
                                   VARIANT password, TASK_LOGON_TYPE logonType, VARIANT sddl,
                                   IRegisteredTask** task) override {
        if (task)
            *task = nullptr;
        const std::string name = Text(path);
        return Guarded([&] {
            if (HRESULT fault =
                    Seam("ITaskFolder::RegisterTaskDefinition", {{"path", path_}, {"name", name}}))
                return fault;
            auto* ours = dynamic_cast<TaskDefinition*>(definition);
            const auto user = VariantString(userId);
            const auto secret = VariantString(password);
            const auto descriptor = VariantString(sddl);
            if (!ours || name.empty() || name.find('\\') != std::string::npos || !user || !secret ||
                !descriptor || !(flags & TASK_CREATE_OR_UPDATE))
                return E_INVALIDARG;
            if (logonType == TASK_LOGON_SERVICE_ACCOUNT && !IsServiceAccount(*user))
                return FromWin32(1332); // ERROR_NONE_MAPPED: no such account
            if (!sim::os::Elevated())
                return E_ACCESSDENIED;
            if (flags & TASK_VALIDATE_ONLY)
                return S_OK;
            sim::tasks::Registration r;
            r.folder = path_;
            r.name = name;
            r.definition = ours->Snapshot();
            r.create = flags & TASK_CREATE;
            r.update = flags & TASK_UPDATE;
            r.user = *user;
            r.logonType = logonType;
            r.sddl = *descriptor;
            if (uint32_t error = sim::tasks::RegisterTask(r))
                return FromWin32(error);
            if (task)
                *task = new RegisteredTask();
            return S_OK;
        });
    }

    HRESULT DeleteTask(LPCWSTR name, LONG flags) override {
        const std::string text = Text(name);
        return Guarded([&] {
            if (HRESULT fault = Seam("ITaskFolder::DeleteTask", {{"path", path_}, {"name", text}}))
                return fault;
            if (text.empty() || flags != 0)
                return E_INVALIDARG;
            if (!sim::os::Elevated())
                return E_ACCESSDENIED;
            return FromWin32(sim::tasks::DeleteTask(path_, text));
        });
    }

private:
    std::string path_;
};

class TaskService : public ComObject<ITaskService> {
public:
    HRESULT Connect(VARIANT serverName, VARIANT user, VARIANT domain, VARIANT password) override {
        return Guarded([&] {
            if (HRESULT fault = Seam("ITaskService::Connect"))
                return fault;
            // Only the local machine is reachable, as the calling user.
            for (const VARIANT* v : {&serverName, &user, &domain, &password})
                if (VariantString(*v) != std::string())
                    return E_INVALIDARG;
            connected_ = true;
            return S_OK;
        });
    }

    HRESULT GetFolder(LPCWSTR path, ITaskFolder** folder) override {
        if (!folder)
            return E_POINTER;
        *folder = nullptr;
        const std::string wanted = sim::tasks::FolderPath(Text(path));
        return Guarded([&] {
            if (HRESULT fault = Seam("ITaskService::GetFolder", {{"path", wanted}}))
                return fault;
            if (!connected_)
                return HRESULT_NOT_CONNECTED;
            auto found = sim::tasks::Folder(wanted);
            if (!found)
                return HRESULT_FILE_NOT_FOUND;
            return Hand<ITaskFolder>(new TaskFolder((*found)["path"].get<std::string>()), folder);
        });
    }

    HRESULT NewTask(DWORD flags, ITaskDefinition** definition) override {
        if (!definition)
            return E_POINTER;
        *definition = nullptr;
        return Guarded([&] {
            if (HRESULT fault = Seam("ITaskService::NewTask"))
                return fault;
            if (!connected_)
                return HRESULT_NOT_CONNECTED;
            if (flags != 0)
                return E_INVALIDARG;
            return Hand<ITaskDefinition>(new TaskDefinition(), definition);
        });
    }

private:
    bool connected_ = false;
};

} // namespace

IUnknown* CreateTaskService() {
    return static_cast<ITaskService*>(new TaskService());
}

} // namespace sim::win32
