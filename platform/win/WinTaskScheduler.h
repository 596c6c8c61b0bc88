#pragma once
// The Task Scheduler 2.0, narrowed to what the product calls: connecting to the local service,
// taking and creating task folders, building a task definition (registration information, a COM
// handler action, the principal's run level, the settings with or without their version 3
// interface, maintenance settings or a daily trigger) and registering or deleting a task.
//
// The service object comes from CoCreateInstance(CLSID_TaskScheduler, ..., IID_ITaskService) in a
// thread that joined an apartment. Methods answer HRESULTs. Text arguments are plain wide texts that
// the service copies; a variant argument is empty or a text. Folder paths are "\" (the root) and
// "\Name" below it; folder and task names compare without case.
#include "platform/win/WinCom.h"

using VARIANT_BOOL = int16_t;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Variant types the Task Scheduler's arguments use.
constexpr uint16_t VT_EMPTY = 0;
constexpr uint16_t VT_BSTR = 8;

// A variant argument: empty, or a text (`text` stays the caller's).
struct VARIANT {
    uint16_t vt = VT_EMPTY;
    const wchar_t* text = nullptr;
};

inline VARIANT VariantText(const wchar_t* text) {
    return VARIANT{VT_BSTR, text};
}

// HRESULTs the product tells apart.
constexpr HRESULT HRESULT_ALREADY_EXISTS = static_cast<HRESULT>(0x800700B7); // a folder or task is there
constexpr HRESULT HRESULT_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002); // no such folder or task
constexpr HRESULT HRESULT_NOT_CONNECTED = static_cast<HRESULT>(0x800704E3);  // Connect has not run

enum TASK_ACTION_TYPE : int32_t {
    TASK_ACTION_EXEC = 0,
    TASK_ACTION_COM_HANDLER = 5,
    TASK_ACTION_SEND_EMAIL = 6,
    TASK_ACTION_SHOW_MESSAGE = 7,
};

enum TASK_RUNLEVEL_TYPE : int32_t {
    TASK_RUNLEVEL_LUA = 0,
    TASK_RUNLEVEL_HIGHEST = 1,
};

enum TASK_INSTANCES_POLICY : int32_t {
    TASK_INSTANCES_PARALLEL = 0,
    TASK_INSTANCES_QUEUE = 1,
    TASK_INSTANCES_IGNORE_NEW = 2,
    TASK_INSTANCES_STOP_EXISTING = 3,
};

enum TASK_TRIGGER_TYPE2 : int32_t {
    TASK_TRIGGER_EVENT = 0,
    TASK_TRIGGER_TIME = 1,
    TASK_TRIGGER_DAILY = 2,
    TASK_TRIGGER_WEEKLY = 3,
    TASK_TRIGGER_MONTHLY = 4,
    TASK_TRIGGER_MONTHLYDOW = 5,
    TASK_TRIGGER_IDLE = 6,
    TASK_TRIGGER_REGISTRATION = 7,
    TASK_TRIGGER_BOOT = 8,
    TASK_TRIGGER_LOGON = 9,
};

// Flags of RegisterTaskDefinition: create fails for a task that exists, update for one that does
// not; create-or-update does either.
enum TASK_CREATION : int32_t {
    TASK_VALIDATE_ONLY = 0x1,
    TASK_CREATE = 0x2,
    TASK_UPDATE = 0x4,
    TASK_CREATE_OR_UPDATE = TASK_CREATE | TASK_UPDATE,
    TASK_DISABLE = 0x8,
};

enum TASK_LOGON_TYPE : int32_t {
    TASK_LOGON_NONE = 0,
    TASK_LOGON_PASSWORD = 1,
    TASK_LOGON_S4U = 2,
    TASK_LOGON_INTERACTIVE_TOKEN = 3,
    TASK_LOGON_GROUP = 4,
    TASK_LOGON_SERVICE_ACCOUNT = 5,
    TASK_LOGON_INTERACTIVE_TOKEN_OR_PASSWORD = 6,
};

class ITaskFolder;
class ITaskDefinition;

class IRegisteredTask : public IUnknown {
protected:
    ~IRegisteredTask() = default;
};

class IRegistrationInfo : public IUnknown {
public:
    virtual HRESULT put_Author(LPCWSTR author) = 0;
    virtual HRESULT put_Description(LPCWSTR description) = 0;
    // An SDDL text.
    virtual HRESULT put_SecurityDescriptor(LPCWSTR sddl) = 0;

protected:
    ~IRegistrationInfo() = default;
};

class IAction : public IUnknown {
protected:
    ~IAction() = default;
};

// A TASK_ACTION_COM_HANDLER action: the Task Scheduler starts the class's server and runs it.
class IComHandlerAction : public IAction {
public:
    // The class id in braces.
    virtual HRESULT put_ClassId(LPCWSTR classId) = 0;

protected:
    ~IComHandlerAction() = default;
};

class IActionCollection : public IUnknown {
public:
    // Appends a new action of that type; ask the action for its typed interface.
    virtual HRESULT Create(TASK_ACTION_TYPE type, IAction** action) = 0;

protected:
    ~IActionCollection() = default;
};

class IPrincipal : public IUnknown {
public:
    virtual HRESULT put_RunLevel(TASK_RUNLEVEL_TYPE runLevel) = 0;

protected:
    ~IPrincipal() = default;
};

class ITaskSettings : public IUnknown {
public:
    virtual HRESULT put_DisallowStartIfOnBatteries(VARIANT_BOOL disallow) = 0;
    // 0 (highest) to 10.
    virtual HRESULT put_Priority(int priority) = 0;
    virtual HRESULT put_StartWhenAvailable(VARIANT_BOOL startWhenAvailable) = 0;
    // An ISO 8601 duration ("PT30M").
    virtual HRESULT put_RestartInterval(LPCWSTR interval) = 0;
    virtual HRESULT put_RestartCount(int count) = 0;
    virtual HRESULT put_MultipleInstances(TASK_INSTANCES_POLICY policy) = 0;

protected:
    ~ITaskSettings() = default;
};

class IMaintenanceSettings : public IUnknown {
public:
    // ISO 8601 durations ("P1D").
    virtual HRESULT put_Period(LPCWSTR period) = 0;
    virtual HRESULT put_Deadline(LPCWSTR deadline) = 0;

protected:
    ~IMaintenanceSettings() = default;
};

// The settings' version 3 interface, obtained from the settings by QueryInterface; systems before
// it do not answer it.
class ITaskSettings3 : public IUnknown {
public:
    virtual HRESULT put_UseUnifiedSchedulingEngine(VARIANT_BOOL use) = 0;
    // Makes the task a maintenance task.
    virtual HRESULT CreateMaintenanceSettings(IMaintenanceSettings** settings) = 0;

protected:
    ~ITaskSettings3() = default;
};

class ITrigger : public IUnknown {
public:
    // A local date and time "2007-01-01T02:00:00".
    virtual HRESULT put_StartBoundary(LPCWSTR start) = 0;
    virtual HRESULT put_ExecutionTimeLimit(LPCWSTR limit) = 0;

protected:
    ~ITrigger() = default;
};

class IDailyTrigger : public ITrigger {
public:
    virtual HRESULT put_DaysInterval(int16_t days) = 0;

protected:
    ~IDailyTrigger() = default;
};

class ITriggerCollection : public IUnknown {
public:
    // Appends a new trigger of that type; ask it for its typed interface.
    virtual HRESULT Create(TASK_TRIGGER_TYPE2 type, ITrigger** trigger) = 0;

protected:
    ~ITriggerCollection() = default;
};

// A task being defined; nothing of it reaches the service until it is registered.
class ITaskDefinition : public IUnknown {
public:
    virtual HRESULT get_RegistrationInfo(IRegistrationInfo** info) = 0;
    virtual HRESULT get_Actions(IActionCollection** actions) = 0;
    virtual HRESULT get_Principal(IPrincipal** principal) = 0;
    virtual HRESULT get_Settings(ITaskSettings** settings) = 0;
    virtual HRESULT get_Triggers(ITriggerCollection** triggers) = 0;

protected:
    ~ITaskDefinition() = default;
};

class ITaskFolder : public IUnknown {
public:
    // A folder below this one with an SDDL security descriptor (empty: inherited);
    // HRESULT_ALREADY_EXISTS when there is one of that name.
    virtual HRESULT CreateFolder(LPCWSTR name, VARIANT sddl, ITaskFolder** folder) = 0;
    // Registers the definition under `path` in this folder as the given account; the task keeps a
    // copy of the definition as it is now.
    virtual HRESULT RegisterTaskDefinition(LPCWSTR path, ITaskDefinition* definition, LONG flags,
                                           VARIANT userId, VARIANT password, TASK_LOGON_TYPE logonType,
                                           VARIANT sddl, IRegisteredTask** task) = 0;
    // HRESULT_FILE_NOT_FOUND for a task that is not there.
    virtual HRESULT DeleteTask(LPCWSTR name, LONG flags) = 0;

protected:
    ~ITaskFolder() = default;
};

class ITaskService : public IUnknown {
public:
    // Empty variants connect to the local machine as the calling user. Every other method needs it.
    virtual HRESULT Connect(VARIANT serverName, VARIANT user, VARIANT domain, VARIANT password) = 0;
    // A folder by path ("\", "\Orvex" or "Orvex"); HRESULT_FILE_NOT_FOUND when it does not exist.
    virtual HRESULT GetFolder(LPCWSTR path, ITaskFolder** folder) = 0;
    // A new, empty definition; flags must be 0.
    virtual HRESULT NewTask(DWORD flags, ITaskDefinition** definition) = 0;

protected:
    ~ITaskService() = default;
};

// The published class and interface ids of the Task Scheduler 2.0.
inline constexpr CLSID CLSID_TaskScheduler = {
    0x0F87369F, 0xA4E5, 0x4CFC, {0xBD, 0x3E, 0x73, 0xE6, 0x15, 0x45, 0x72, 0xDD}};
inline constexpr IID IID_ITaskService = {
    0x2FABA4C7, 0x4DA9, 0x4013, {0x96, 0x97, 0x20, 0xCC, 0x3F, 0xD4, 0x0F, 0x85}};
inline constexpr IID IID_ITaskFolder = {
    0x8CFAC062, 0xA080, 0x4C15, {0x9A, 0x88, 0xAA, 0x7C, 0x2A, 0xF8, 0x0D, 0xFC}};
inline constexpr IID IID_ITaskDefinition = {
    0xF5BC8FC5, 0x536D, 0x4F77, {0xB8, 0x52, 0xFB, 0xC1, 0x35, 0x6F, 0xDE, 0xB6}};
inline constexpr IID IID_IRegistrationInfo = {
    0x416D8B73, 0xCB41, 0x4EA1, {0x80, 0x5C, 0x9B, 0xE9, 0xA5, 0xAC, 0x4A, 0x74}};
inline constexpr IID IID_IActionCollection = {
    0x02820E19, 0x7B98, 0x4ED2, {0xB2, 0xE8, 0xFD, 0xCC, 0xCE, 0xFF, 0x61, 0x9B}};
inline constexpr IID IID_IAction = {
    0xBAE54997, 0x48B1, 0x4CBE, {0x99, 0x65, 0xD6, 0xBE, 0x26, 0x3E, 0xBE, 0xA4}};
inline constexpr IID IID_IComHandlerAction = {
    0x6D2FD252, 0x75C5, 0x4F66, {0x90, 0xBA, 0x2A, 0x7D, 0x8C, 0xC3, 0x03, 0x9F}};
inline constexpr IID IID_IPrincipal = {
    0xD98D51E5, 0xC9B4, 0x496A, {0xA9, 0xC1, 0x18, 0x98, 0x02, 0x61, 0xCF, 0x0F}};
inline constexpr IID IID_ITaskSettings = {
    0x8FD4711D, 0x2D02, 0x4C8C, {0x87, 0xE3, 0xEF, 0xF6, 0x99, 0xDE, 0x12, 0x7E}};
inline constexpr IID IID_ITaskSettings3 = {
    0x0AD9D0D7, 0x0C7F, 0x4EBB, {0x9A, 0x5F, 0xD1, 0xC6, 0x48, 0xDC, 0xA5, 0x28}};
inline constexpr IID IID_IMaintenanceSettings = {
    0xA6024FA8, 0x9652, 0x4ADB, {0xA6, 0xBF, 0x5C, 0xFC, 0xD8, 0x77, 0xA7, 0xBA}};
inline constexpr IID IID_ITriggerCollection = {
    0x85DF5081, 0x1B24, 0x4F32, {0x87, 0x8A, 0xD9, 0xD1, 0x4D, 0xF4, 0xCB, 0x77}};
inline constexpr IID IID_ITrigger = {
    0x09941815, 0xEA89, 0x4B5B, {0x89, 0xE0, 0x2A, 0x77, 0x38, 0x01, 0xFA, 0xC3}};
inline constexpr IID IID_IDailyTrigger = {
    0x126C5CD8, 0xB288, 0x41D5, {0x8D, 0xBF, 0xE4, 0x91, 0x44, 0x6A, 0xDC, 0x5C}};
inline constexpr IID IID_IRegisteredTask = {
    0x9C86F320, 0xDEE3, 0x4DD1, {0xB9, 0x72, 0xA3, 0x03, 0xF2, 0x6B, 0x06, 0x1E}};
