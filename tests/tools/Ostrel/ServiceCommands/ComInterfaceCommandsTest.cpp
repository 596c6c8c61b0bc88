#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/win/WinCom.h"
#include "platform/win/WinRegistry.h"
#include "sim/Machine.h"
#include "sim/Registry.h"
#include "sim/ScheduledTasks.h"
#include "tests/tools/Ostrel/ServiceCommands/ServiceTestMachine.h"
#include "tools/Ostrel/ServiceCommands/ComInterfaceCommands.h"
#include "tools/Ostrel/ServiceCommands/ComServerRegistry.h"
#include "tools/Ostrel/ServiceCommands/ServiceCommandFactories.h"

namespace {

constexpr const char* kTask = "Orvex(R) Halvex(TM) Memory - Volume Optimization";
constexpr const char* kAppIdKey = "HKCR\\AppID\\{967291FE-41EB-4809-B62A-5E5EBC7F099C}";
constexpr const char* kClassKey = "HKCR\\CLSID\\{D19AAF57-65A7-484B-9E7A-26C0E667DC66}";
constexpr const char* kTypeLibKey = "HKCR\\TypeLib\\{51C0003F-0741-4D1A-A612-891EB6928B5B}";
constexpr const char* kServiceKey = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KeplinAfsService";
constexpr const char* kServer = "c:\\Windows\\System32\\KeplinAfsService.exe";

unsigned long Run(Command& command, int argc = 0) {
    return command.Execute(argc, nullptr);
}

unsigned long Register(int argc = 0) {
    RegisterComInterface command;
    return Run(command, argc);
}

unsigned long Unregister(int argc = 0) {
    UnregisterComInterface command;
    return Run(command, argc);
}

// The stored value, or a null value when it is not there.
sim::Value Stored(const std::string& key, const std::string& name) {
    sim::Value value;
    if (sim::registry::QueryValue(key, name, &value) != 0)
        return {};
    return value["data"];
}

bool Empty(const std::string& key) {
    sim::Value value;
    return sim::registry::KeyExists(key) && sim::registry::SubKeys(key).empty() &&
           sim::registry::QueryValue(key, "", &value) != 0 &&
           sim::registry::QueryValue(key, "AppID", &value) != 0 &&
           sim::registry::QueryValue(key, "LocalService", &value) != 0;
}

sim::MachineBuilder Machine() {
    return servicetest::Machine();
}

TEST(ComInterfaceCommands, RegistrationSchedulesTheTaskAndWritesTheServerRegistration) {
    sim::ScopedMachine machine(Machine());
    EXPECT_EQ(Register(), 0u);

    auto folder = sim::tasks::Folder("\\Orvex");
    ASSERT_TRUE(folder);
    EXPECT_EQ((*folder)["sddl"], sim::Value("D:(A;;FA;;;BA)(A;;FA;;;SY)"));
    auto task = sim::tasks::Task("\\Orvex", kTask);
    ASSERT_TRUE(task);
    EXPECT_EQ((*task)["user"], sim::Value("System"));
    EXPECT_EQ((*task)["logon_type"], sim::Value(5));
    EXPECT_EQ((*task)["sddl"], sim::Value(""));
    EXPECT_EQ((*task)["definition"], sim::Value::parse(R"j({
        "registration_info": {"author": "Orvex",
            "description": "Optimizes the Orvex(R) Halvex(TM) memory volume to accelerate frequently used files",
            "security_descriptor": "D:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;FRFX;;;LS)"},
        "principal": {"run_level": 1},
        "settings": {"disallow_start_if_on_batteries": false, "priority": 0, "start_when_available": true,
                     "restart_interval": "PT30M", "restart_count": 22, "multiple_instances": 3,
                     "use_unified_scheduling_engine": true, "maintenance": {"period": "P1D", "deadline": "P2D"}},
        "actions": [{"type": 5, "class_id": "{D19AAF57-65A7-484B-9E7A-26C0E667DC66}"}],
        "triggers": []})j"));

    const std::string classKey = kClassKey;
    const std::string typeLib = kTypeLibKey;
    const struct {
        std::string key;
        const char* name;
        sim::Value data;
    } values[] = {
        {kAppIdKey, "LocalService", "KeplinAfsService"},
        {classKey, "", "Scheduler Class"},
        {classKey, "AppID", "{967291FE-41EB-4809-B62A-5E5EBC7F099C}"},
        {classKey + "\\LocalServer32", "", std::string("\"") + kServer + "\""},
        {classKey + "\\LocalServer32", "ServerExecutable", kServer},
        {classKey + "\\TypeLib", "", "{51C0003F-0741-4D1A-A612-891EB6928B5B}"},
        {classKey + "\\Version", "", "1.0"},
        {typeLib + "\\1.0", "", "KeplinAfsServiceLib"},
        {typeLib + "\\1.0\\0\\win64", "", kServer},
        {typeLib + "\\1.0\\FLAGS", "", "0"},
        {typeLib + "\\1.0\\HELPDIR", "", kServer},
        {kServiceKey, "BootMigrationPhase", 1},
    };
    for (const auto& v : values)
        EXPECT_EQ(Stored(v.key, v.name), v.data) << v.key << " " << v.name;
    EXPECT_TRUE(sim::registry::KeyExists(typeLib + "\\1.0\\0"));

    // Texts are stored with their terminator and nothing after it.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{D19AAF57-65A7-484B-9E7A-26C0E667DC66}\\Version", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD size = 0;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 4 * sizeof(wchar_t));
    RegCloseKey(key);

    // The command's own apartment is left again.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();
}

TEST(ComInterfaceCommands, ASecondRegistrationReusesTheFolderAndReplacesWhatItWrote) {
    sim::ScopedMachine machine(
        Machine()
            .Set("/scheduled_tasks", R"j({"folders": [{"path": "\\Orvex", "sddl": "D:(A;;FA;;;SY)"}]})j")
            .Set("/registry/keys/HKLM\\SYSTEM\\CurrentControlSet\\Services\\KeplinAfsService/"
                 "BootMigrationPhase",
                 R"({"type": "REG_DWORD", "data": 3})"));
    EXPECT_EQ(Register(), 0u);
    // Changed by hand in between: the next registration writes it again.
    sim::registry::SetValue(kAppIdKey, "LocalService", sim::Value{{"type", "REG_SZ"}, {"data", "Other"}});
    EXPECT_EQ(Register(), 0u);

    EXPECT_EQ((*sim::tasks::Folder("\\Orvex"))["sddl"], sim::Value("D:(A;;FA;;;SY)"));
    EXPECT_EQ(sim::tasks::Tasks("\\Orvex").size(), 1u);
    EXPECT_EQ(Stored(kAppIdKey, "LocalService"), sim::Value("KeplinAfsService"));
    EXPECT_EQ(Stored(kServiceKey, "BootMigrationPhase"), sim::Value(3));
}

TEST(ComInterfaceCommands, WithoutSettingsVersion3TheTaskRunsDaily) {
    sim::ScopedMachine machine(Machine().Set("/scheduled_tasks", R"({"settings3": false})"));
    EXPECT_EQ(Register(), 0u);
    const sim::Value definition = (*sim::tasks::Task("\\Orvex", kTask))["definition"];
    EXPECT_EQ(definition["triggers"],
              sim::Value::parse(R"([{"type": 2, "start_boundary": "2007-01-01T02:00:00",
                                                             "days_interval": 1, "execution_time_limit": "PT6H"}])"));
    EXPECT_FALSE(definition["settings"].contains("maintenance"));
    EXPECT_EQ(definition["settings"]["use_unified_scheduling_engine"], sim::Value(false));
}

TEST(ComInterfaceCommands, UnregisteringDeletesTheTaskAndEmptiesTheClassRootKeys) {
    sim::ScopedMachine machine(Machine());
    ASSERT_EQ(Register(), 0u);
    EXPECT_EQ(Unregister(), 0u);
    EXPECT_FALSE(sim::tasks::Task("\\Orvex", kTask));
    EXPECT_TRUE(sim::tasks::Folder("\\Orvex"));
    for (const char* key : {kAppIdKey, kClassKey, kTypeLibKey})
        EXPECT_TRUE(Empty(key)) << key;
    EXPECT_EQ(Stored(kServiceKey, "BootMigrationPhase"), sim::Value(1));
    EXPECT_EQ(Stored(kServiceKey, "Type"), sim::Value(16));

    // No task: the Task Scheduler's answer, and the registry stays as it is.
    ASSERT_EQ(Register(), 0u);
    ASSERT_EQ(Unregister(), 0u);
    sim::registry::SetValue(kAppIdKey, "LocalService", sim::Value{{"type", "REG_SZ"}, {"data", "Kept"}});
    EXPECT_EQ(Unregister(), 0x80070002u);
    EXPECT_EQ(Stored(kAppIdKey, "LocalService"), sim::Value("Kept"));
}

TEST(ComInterfaceCommands, TheCallersApartmentIsKept) {
    sim::ScopedMachine machine(Machine());
    // Already in the multithreaded apartment: the same result, and still in it afterwards.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(Register(), 0u);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();

    std::thread([] {
        // In a single-threaded apartment the command goes on there and leaves it alone.
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(Unregister(), 0u);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    }).join();

    // A non-zero count says the caller joined an apartment; one that did not gets COM's refusal.
    EXPECT_EQ(Register(1), 0x800401F0u);
    EXPECT_FALSE(sim::tasks::Task("\\Orvex", kTask));
}

TEST(ComInterfaceCommands, FailuresAreReturnedAndStopTheRest) {
    sim::ScopedMachine machine(Machine());
    machine->faults().Add(R"({"kind": "CoInitializeEx", "times": 1, "outcome": {"hresult": "0x8007000E"}})");
    EXPECT_EQ(Register(), 0x8007000Eu);
    EXPECT_FALSE(sim::tasks::Folder("\\Orvex"));

    machine->faults().Add(
        R"({"kind": "TaskScheduler", "match": {"method": "ITaskFolder::RegisterTaskDefinition"},
                              "times": 1, "outcome": {"hresult": "0x80070005"}})");
    EXPECT_EQ(Register(), 0x80070005u);
    EXPECT_FALSE(sim::registry::KeyExists(kAppIdKey));

    // A registry write that fails: the class root keys are emptied again, the task stays.
    machine->faults().Add(R"({"kind": "RegSetValueEx", "match": {"name": "ServerExecutable"}, "times": 1,
                              "outcome": {"win32_error": 5}})");
    EXPECT_EQ(Register(), 5u);
    EXPECT_TRUE(sim::tasks::Task("\\Orvex", kTask));
    for (const char* key : {kAppIdKey, kClassKey})
        EXPECT_TRUE(Empty(key)) << key;
    EXPECT_FALSE(sim::registry::KeyExists(kTypeLibKey));
}

TEST(ComInterfaceCommands, TheFactoriesAlwaysMakeACommand) {
    sim::ScopedMachine machine(sim::MachineBuilder("empty"));
    EXPECT_NE(dynamic_cast<RegisterComInterface*>(CreateRegisterComInterfaceCommand(0, nullptr).get()),
              nullptr);
    EXPECT_NE(dynamic_cast<UnregisterComInterface*>(CreateUnregisterComInterfaceCommand(0, nullptr).get()),
              nullptr);
    EXPECT_EQ(ComServerRegistryTable().size(), 12u);
}

} // namespace
