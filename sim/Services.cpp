#include "sim/Services.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "platform/win/WinError.h"
#include "sim/Clock.h"
#include "sim/DescriptionValues.h"
#include "sim/MachineState.h"
#include "sim/RegistryStore.h"
#include "sim/Schema.h"

namespace sim::services {
namespace {

using nlohmann::json;
namespace sc = sim::schema;

// A service's configuration lives in the registry, as on Windows; its running state here.
constexpr const char* kServicesKey = "HKLM\\SYSTEM\\CurrentControlSet\\Services";

constexpr uint32_t kStopped = 1, kStartPending = 2, kStopPending = 3, kRunning = 4, kPaused = 7;
constexpr uint32_t kControlStop = 1, kControlInterrogate = 4;
constexpr uint32_t kDisabled = 4;
constexpr uint32_t kOwnProcess = 0x10, kShareProcess = 0x20, kDriverTypes = 0x3;
constexpr uint32_t kDefaultWaitHintMs = 2000;

const std::pair<const char*, uint32_t> kStateNames[] = {
    {"stopped", kStopped},
    {"start_pending", kStartPending},
    {"stop_pending", kStopPending},
    {"running", kRunning},
    {"paused", kPaused},
};

std::string Lower(std::string s);

// The services the registry installs (keys right below the services key, which a description may
// also spell HKEY_LOCAL_MACHINE\...) and the services each depends on, by lower-case name; "+group"
// entries name no service.
std::map<std::string, std::pair<std::string, std::vector<std::string>>>
DescribedDependencies(const json& machine) {
    std::map<std::string, std::pair<std::string, std::vector<std::string>>> out;
    const json* keys = nullptr;
    if (auto r = machine.find("registry"); r != machine.end() && r->is_object())
        if (auto k = r->find("keys"); k != r->end() && k->is_object())
            keys = &*k;
    if (!keys)
        return out;
    for (const auto& [key, values] : keys->items()) {
        std::string lower = Lower(key);
        for (const char* prefix : {"hkey_local_machine\\", "hklm\\"}) {
            const std::string p = std::string(prefix) + "system\\currentcontrolset\\services\\";
            if (lower.compare(0, p.size(), p) != 0)
                continue;
            const std::string name = lower.substr(p.size());
            if (name.empty() || name.find('\\') != std::string::npos || !values.is_object())
                break;
            auto& entry = out[name];
            entry.first = key;
            if (auto d = values.find("DependOnService"); d != values.end() && d->is_object())
                if (auto data = d->find("data"); data != d->end() && data->is_array())
                    for (const json& n : *data)
                        if (n.is_string() && !n.get<std::string>().empty() && n.get<std::string>()[0] != '+')
                            entry.second.push_back(Lower(n.get<std::string>()));
            break;
        }
    }
    return out;
}

// The dependency path from `from` that comes back to `to` (empty when none).
std::vector<std::string>
PathBack(const std::map<std::string, std::pair<std::string, std::vector<std::string>>>& graph,
         const std::string& from, const std::string& to, std::set<std::string>& seen) {
    if (from == to)
        return {to};
    if (!seen.insert(from).second)
        return {};
    auto it = graph.find(from);
    if (it == graph.end())
        return {};
    for (const std::string& next : it->second.second)
        if (auto path = PathBack(graph, next, to, seen); !path.empty()) {
            path.insert(path.begin(), from);
            return path;
        }
    return {};
}

// Windows refuses a dependency cycle (ERROR_CIRCULAR_DEPENDENCY); a description that has one would
// make a start or stop follow it for ever.
void CheckDependencyCycles(const json& machine, sc::Report& r) {
    const auto graph = DescribedDependencies(machine);
    for (const auto& [name, entry] : graph)
        for (const std::string& d : entry.second) {
            std::set<std::string> seen;
            auto path = PathBack(graph, d, name, seen);
            if (path.empty())
                continue;
            std::string cycle = name;
            for (const std::string& p : path)
                cycle += " -> " + p;
            r.Fail(sc::ChildPointer(sc::ChildPointer("/registry/keys", entry.first), "DependOnService"),
                   "the services depend on each other in a cycle: " + cycle);
            break;
        }
}

const sc::Section
    kSection("services",
             sc::Map(sc::Object({
                 {"state", sc::OneOfText({"stopped", "start_pending", "stop_pending", "running", "paused"})},
                 {"start_ms", sc::Uint32()},
                 {"stop_ms", sc::Uint32()},
                 {"wait_hint_ms", sc::Uint32()},
                 {"never_stops", sc::Bool()},
                 {"deny_access", sc::Bool()},
                 {"control_error", sc::Uint32()},
                 {"start_error", sc::Uint32()},
                 {"config_error", sc::Uint32()},
                 {"exit_code", sc::Uint32()},
                 {"process_id", sc::Uint32()},
                 {"pending_since_ms", sc::Uint64()},
                 {"pending_until_ms", sc::Uint64()},
             })),
             CheckDependencyCycles);

const sc::FaultKind kFaults({"OpenSCManager", "OpenService", "StartService", "ControlService",
                             "QueryServiceStatusEx", "EnumDependentServices", "ChangeServiceConfig"},
                            {"name", "access", "control", "size", "start_type", "dependencies"},
                            sc::Object({{"win32_error", sc::Uint32()}}));

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Config {
    std::string name; // as the registry spells it
    std::string displayName;
    uint32_t type = kOwnProcess;
    uint32_t start = 3;
    std::vector<std::string> dependencies;
};

uint64_t RegistryNumber(const std::string& key, const char* name, uint64_t def) {
    json value;
    if (registry::QueryValue(key, name, &value) != ERROR_SUCCESS || !value.is_object() ||
        !value.contains("data"))
        return def;
    return DescValue(value["data"], def);
}

// The installed services: keys under the Services key that carry a "Type".
std::vector<Config> Installed() {
    std::vector<Config> configs;
    for (const std::string& name : registry::SubKeys(kServicesKey)) {
        const std::string key = std::string(kServicesKey) + "\\" + name;
        json type;
        if (registry::QueryValue(key, "Type", &type) != ERROR_SUCCESS)
            continue;
        Config c;
        c.name = name;
        c.type = static_cast<uint32_t>(RegistryNumber(key, "Type", kOwnProcess));
        c.start = static_cast<uint32_t>(RegistryNumber(key, "Start", 3));
        json value;
        c.displayName = name;
        if (registry::QueryValue(key, "DisplayName", &value) == ERROR_SUCCESS && value.is_object() &&
            value.contains("data") && value["data"].is_string())
            c.displayName = value["data"].get<std::string>();
        if (registry::QueryValue(key, "DependOnService", &value) == ERROR_SUCCESS && value.is_object() &&
            value.contains("data") && value["data"].is_array())
            for (const json& d : value["data"])
                if (d.is_string())
                    c.dependencies.push_back(d.get<std::string>());
        configs.push_back(std::move(c));
    }
    return configs;
}

const Config* FindConfig(const std::vector<Config>& configs, const std::string& name) {
    for (const Config& c : configs)
        if (Lower(c.name) == Lower(name))
            return &c;
    return nullptr;
}

size_t IndexOf(const std::vector<Config>& configs, const Config* c) {
    return static_cast<size_t>(c - configs.data());
}

// The running state of a service: its entry of the "services" section (an empty object when none).
template <class J> J* Runtime(J& state, const std::string& name) {
    auto section = state.find("services");
    if (section == state.end() || !section->is_object())
        return nullptr;
    for (auto it = section->begin(); it != section->end(); ++it)
        if (Lower(it.key()) == Lower(name) && it->is_object())
            return &*it;
    return nullptr;
}

json& RuntimeFor(json& state, const std::string& name) {
    if (json* r = Runtime(state, name))
        return *r;
    json& section = state["services"];
    if (!section.is_object())
        section = json::object();
    return section[name] = json::object();
}

const json& RuntimeOf(const json& state, const std::string& name) {
    static const json empty = json::object();
    const json* r = Runtime(state, name);
    return r ? *r : empty;
}

uint32_t StoredState(const json& s) {
    const std::string text = Lower(DescText(s, "state", "stopped"));
    for (const auto& [name, value] : kStateNames)
        if (text == name)
            return value;
    return kStopped;
}

const char* StateName(uint32_t state) {
    for (const auto& [text, value] : kStateNames)
        if (value == state)
            return text;
    return "stopped";
}

// The state at `now`: a pending start or stop whose time has come is over (one that never stops
// stays pending).
uint32_t StateAt(const json& s, uint64_t now) {
    const uint32_t state = StoredState(s);
    if (state != kStartPending && state != kStopPending)
        return state;
    if (state == kStopPending && DescFlag(s, "never_stops"))
        return state;
    if (DescNumber(s, "pending_until_ms") <= now)
        return state == kStartPending ? kRunning : kStopped;
    return state;
}

void Settle(json& s, uint64_t now) {
    const uint32_t state = StateAt(s, now);
    if (state != StoredState(s)) {
        s["state"] = StateName(state);
        s.erase("pending_until_ms");
        s.erase("pending_since_ms");
    }
}

void BeginPending(json& s, uint32_t state, uint64_t durationMs, uint64_t now) {
    if (durationMs == 0 && !(state == kStopPending && DescFlag(s, "never_stops"))) {
        s["state"] = StateName(state == kStartPending ? kRunning : kStopped);
        s.erase("pending_until_ms");
        s.erase("pending_since_ms");
        return;
    }
    s["state"] = StateName(state);
    s["pending_since_ms"] = now;
    s["pending_until_ms"] = now + durationMs;
}

Status StatusAt(const Config& c, const json& s, size_t index, uint64_t now) {
    Status st;
    st.type = c.type;
    st.state = StateAt(s, now);
    st.controlsAccepted = st.state == kRunning ? 1u : 0u;
    st.win32ExitCode = st.state == kStopped ? static_cast<uint32_t>(DescNumber(s, "exit_code")) : 0u;
    if (st.state == kStartPending || st.state == kStopPending) {
        st.waitHint = static_cast<uint32_t>(DescNumber(s, "wait_hint_ms", kDefaultWaitHintMs));
        const uint64_t since = DescNumber(s, "pending_since_ms", now);
        st.checkPoint = 1 + static_cast<uint32_t>((now > since ? now - since : 0) / 100);
    }
    if (st.state != kStopped && (st.type & (kOwnProcess | kShareProcess)))
        st.processId = static_cast<uint32_t>(DescNumber(s, "process_id", 1000 + index * 4));
    return st;
}

bool DependsOn(const Config& c, const std::string& name) {
    return std::any_of(c.dependencies.begin(), c.dependencies.end(),
                       [&](const std::string& d) { return Lower(d) == Lower(name); });
}

// Dependents not stopped, the indirect ones before the service that brings them in.
void CollectActive(const std::vector<Config>& configs, const json& state, const std::string& name,
                   uint64_t now, std::vector<Dependent>* out, std::vector<std::string>* seen) {
    for (size_t i = 0; i < configs.size(); ++i) {
        const Config& c = configs[i];
        if (!DependsOn(c, name) || std::find(seen->begin(), seen->end(), Lower(c.name)) != seen->end())
            continue;
        seen->push_back(Lower(c.name));
        CollectActive(configs, state, c.name, now, out, seen);
        const Status st = StatusAt(c, RuntimeOf(state, c.name), i, now);
        if (st.state != kStopped)
            out->push_back({c.name, c.displayName, st});
    }
}

uint32_t StartLocked(const std::vector<Config>& configs, json& state, const Config& c, uint64_t now,
                     int depth) {
    json& s = RuntimeFor(state, c.name);
    Settle(s, now);
    const uint32_t current = StoredState(s);
    if (current == kRunning || current == kStartPending || current == kStopPending)
        return ERROR_SERVICE_ALREADY_RUNNING;
    if (c.start == kDisabled)
        return ERROR_SERVICE_DISABLED;
    if (uint32_t error = static_cast<uint32_t>(DescNumber(s, "start_error")))
        return error;
    if (depth > 16)
        return ERROR_SERVICE_DEPENDENCY_FAIL;
    for (const std::string& d : c.dependencies) {
        if (d.empty() || d[0] == '+')
            continue;
        const Config* dep = FindConfig(configs, d);
        if (!dep)
            return ERROR_SERVICE_DEPENDENCY_DELETED;
        const uint32_t r = StartLocked(configs, state, *dep, now, depth + 1);
        if (r != ERROR_SUCCESS && r != ERROR_SERVICE_ALREADY_RUNNING)
            return ERROR_SERVICE_DEPENDENCY_FAIL;
    }
    json& self = RuntimeFor(state, c.name);
    BeginPending(self, kStartPending, DescNumber(self, "start_ms"), now);
    return ERROR_SUCCESS;
}

} // namespace

uint32_t Open(const std::string& name, std::string* canonical) {
    const std::vector<Config> configs = Installed();
    const Config* c = FindConfig(configs, name);
    if (!c)
        return ERROR_SERVICE_DOES_NOT_EXIST;
    if (canonical)
        *canonical = c->name;
    bool denied = false;
    Current().Read([&](const json& state) { denied = DescFlag(RuntimeOf(state, c->name), "deny_access"); });
    return denied ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

uint32_t QueryStatus(const std::string& name, Status* status) {
    const std::vector<Config> configs = Installed();
    const Config* c = FindConfig(configs, name);
    if (!c)
        return ERROR_SERVICE_DOES_NOT_EXIST;
    const uint64_t now = Clock::NowMs();
    Current().Read([&](const json& state) {
        *status = StatusAt(*c, RuntimeOf(state, c->name), IndexOf(configs, c), now);
    });
    return ERROR_SUCCESS;
}

uint32_t Start(const std::string& name) {
    const std::vector<Config> configs = Installed();
    const Config* c = FindConfig(configs, name);
    if (!c)
        return ERROR_SERVICE_DOES_NOT_EXIST;
    const uint64_t now = Clock::NowMs();
    uint32_t result = ERROR_SUCCESS;
    Current().Update([&](json& state) { result = StartLocked(configs, state, *c, now, 0); });
    return result;
}

uint32_t Control(const std::string& name, uint32_t control, Status* status) {
    const std::vector<Config> configs = Installed();
    const Config* c = FindConfig(configs, name);
    if (!c)
        return ERROR_SERVICE_DOES_NOT_EXIST;
    const uint64_t now = Clock::NowMs();
    uint32_t result = ERROR_SUCCESS;
    Current().Update([&](json& state) {
        json& s = RuntimeFor(state, c->name);
        Settle(s, now);
        const uint32_t current = StoredState(s);
        if (uint32_t error = static_cast<uint32_t>(DescNumber(s, "control_error"))) {
            result = error;
        } else if (control == kControlInterrogate) {
            result = current == kStopped ? ERROR_SERVICE_NOT_ACTIVE : ERROR_SUCCESS;
        } else if (control != kControlStop) {
            result = ERROR_INVALID_PARAMETER;
        } else if (current == kStopped) {
            result = ERROR_SERVICE_NOT_ACTIVE;
        } else if (current != kRunning && current != kPaused) {
            result = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        } else {
            std::vector<Dependent> active;
            std::vector<std::string> seen{Lower(c->name)};
            CollectActive(configs, state, c->name, now, &active, &seen);
            if (!active.empty())
                result = ERROR_DEPENDENT_SERVICES_RUNNING;
            else
                BeginPending(s, kStopPending, DescNumber(s, "stop_ms"), now);
        }
        if (status)
            *status = StatusAt(*c, RuntimeOf(state, c->name), IndexOf(configs, c), now);
    });
    return result;
}

uint32_t ActiveDependents(const std::string& name, std::vector<Dependent>* dependents) {
    const std::vector<Config> configs = Installed();
    const Config* c = FindConfig(configs, name);
    if (!c)
        return ERROR_SERVICE_DOES_NOT_EXIST;
    const uint64_t now = Clock::NowMs();
    Current().Read([&](const json& state) {
        std::vector<std::string> seen{Lower(c->name)};
        CollectActive(configs, state, c->name, now, dependents, &seen);
    });
    return ERROR_SUCCESS;
}

uint32_t ChangeConfig(const std::string& name, std::optional<uint32_t> startType,
                      const std::optional<std::vector<std::string>>& dependencies) {
    const std::vector<Config> configs = Installed();
    const Config* c = FindConfig(configs, name);
    if (!c)
        return ERROR_SERVICE_DOES_NOT_EXIST;
    uint32_t refused = 0;
    Current().Read([&](const json& state) {
        refused = static_cast<uint32_t>(DescNumber(RuntimeOf(state, c->name), "config_error"));
    });
    if (refused)
        return refused;
    // Only drivers start at boot or with the system.
    if (startType && (*startType > kDisabled || (*startType < 2 && !(c->type & kDriverTypes))))
        return ERROR_INVALID_PARAMETER;
    if (dependencies) {
        // A dependency that leads back to the service, directly or through others, is refused.
        std::map<std::string, std::pair<std::string, std::vector<std::string>>> graph;
        for (const Config& other : configs)
            for (const std::string& d : other.dependencies)
                if (!d.empty() && d[0] != '+')
                    graph[Lower(other.name)].second.push_back(Lower(d));
        for (const std::string& d : *dependencies) {
            std::set<std::string> seen;
            if (!d.empty() && d[0] != '+' && !PathBack(graph, Lower(d), Lower(c->name), seen).empty())
                return ERROR_CIRCULAR_DEPENDENCY;
        }
    }
    const std::string key = std::string(kServicesKey) + "\\" + c->name;
    if (startType)
        if (uint32_t error =
                registry::SetValue(key, "Start", nlohmann::json{{"type", "REG_DWORD"}, {"data", *startType}}))
            return error;
    if (dependencies)
        if (uint32_t error = registry::SetValue(key, "DependOnService",
                                                {{"type", "REG_MULTI_SZ"}, {"data", *dependencies}}))
            return error;
    return ERROR_SUCCESS;
}

std::optional<uint32_t> State(const std::string& name) {
    Status st;
    if (QueryStatus(name, &st) != ERROR_SUCCESS)
        return std::nullopt;
    return st.state;
}

std::optional<uint32_t> StartType(const std::string& name) {
    const std::vector<Config> configs = Installed();
    const Config* c = FindConfig(configs, name);
    return c ? std::optional<uint32_t>(c->start) : std::nullopt;
}

std::optional<std::vector<std::string>> Dependencies(const std::string& name) {
    const std::vector<Config> configs = Installed();
    const Config* c = FindConfig(configs, name);
    return c ? std::optional<std::vector<std::string>>(c->dependencies) : std::nullopt;
}

} // namespace sim::services
