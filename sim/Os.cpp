#include "sim/Os.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <filesystem>
#include <memory>
#include <mutex>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "sim/MachineState.h"
#include "sim/Schema.h"

namespace sim::os {
namespace {

// Runs f on the "os" section where it lies in the state (an empty object when the machine has none):
// the facts are read in place, as often as services ask for them, without copying the section.
template <class F> void ReadOs(F&& f) {
    static const nlohmann::json kNone = nlohmann::json::object();
    Current().Read([&](const nlohmann::json& s) {
        auto os = s.find("os");
        f(os != s.end() && os->is_object() ? *os : kNone);
    });
}

bool OsFlag(const char* name, bool fallback) {
    bool value = fallback;
    ReadOs([&](const nlohmann::json& os) { value = os.value(name, fallback); });
    return value;
}

struct KnownPrivilege {
    const char* name;
    uint32_t luid;
};

// The privileges Windows knows, with their well-known locally unique ids.
constexpr std::array<KnownPrivilege, 35> kPrivileges = {{
    {"SeCreateTokenPrivilege", 2},
    {"SeAssignPrimaryTokenPrivilege", 3},
    {"SeLockMemoryPrivilege", 4},
    {"SeIncreaseQuotaPrivilege", 5},
    {"SeMachineAccountPrivilege", 6},
    {"SeTcbPrivilege", 7},
    {"SeSecurityPrivilege", 8},
    {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},
    {"SeSystemProfilePrivilege", 11},
    {"SeSystemtimePrivilege", 12},
    {"SeProfileSingleProcessPrivilege", 13},
    {"SeIncreaseBasePriorityPrivilege", 14},
    {"SeCreatePagefilePrivilege", 15},
    {"SeCreatePermanentPrivilege", 16},
    {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},
    {"SeShutdownPrivilege", 19},
    {"SeDebugPrivilege", 20},
    {"SeAuditPrivilege", 21},
    {"SeSystemEnvironmentPrivilege", 22},
    {"SeChangeNotifyPrivilege", 23},
    {"SeRemoteShutdownPrivilege", 24},
    {"SeUndockPrivilege", 25},
    {"SeSyncAgentPrivilege", 26},
    {"SeEnableDelegationPrivilege", 27},
    {"SeManageVolumePrivilege", 28},
    {"SeImpersonatePrivilege", 29},
    {"SeCreateGlobalPrivilege", 30},
    {"SeTrustedCredManAccessPrivilege", 31},
    {"SeRelabelPrivilege", 32},
    {"SeIncreaseWorkingSetPrivilege", 33},
    {"SeTimeZonePrivilege", 34},
    {"SeCreateSymbolicLinkPrivilege", 35},
    {"SeDelegateSessionUserImpersonatePrivilege", 36},
}};

// What an elevated administrator's token holds, and which of them are on from the start.
constexpr std::array<std::pair<const char*, bool>, 24> kAdministratorToken = {{
    {"SeIncreaseQuotaPrivilege", false},
    {"SeSecurityPrivilege", false},
    {"SeTakeOwnershipPrivilege", false},
    {"SeLoadDriverPrivilege", false},
    {"SeSystemProfilePrivilege", false},
    {"SeSystemtimePrivilege", false},
    {"SeProfileSingleProcessPrivilege", false},
    {"SeIncreaseBasePriorityPrivilege", false},
    {"SeCreatePagefilePrivilege", false},
    {"SeBackupPrivilege", false},
    {"SeRestorePrivilege", false},
    {"SeShutdownPrivilege", false},
    {"SeDebugPrivilege", false},
    {"SeSystemEnvironmentPrivilege", false},
    {"SeChangeNotifyPrivilege", true},
    {"SeRemoteShutdownPrivilege", false},
    {"SeUndockPrivilege", false},
    {"SeManageVolumePrivilege", false},
    {"SeImpersonatePrivilege", true},
    {"SeCreateGlobalPrivilege", true},
    {"SeIncreaseWorkingSetPrivilege", false},
    {"SeTimeZonePrivilege", false},
    {"SeCreateSymbolicLinkPrivilege", false},
    {"SeDelegateSessionUserImpersonatePrivilege", false},
}};

constexpr std::array<std::pair<const char*, bool>, 5> kStandardUserToken = {{
    {"SeShutdownPrivilege", false},
    {"SeChangeNotifyPrivilege", true},
    {"SeUndockPrivilege", false},
    {"SeIncreaseWorkingSetPrivilege", false},
    {"SeTimeZonePrivilege", false},
}};

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

struct TokenState {
    std::mutex mutex;
    std::weak_ptr<Machine> machine;
    bool loaded = false;
    std::vector<TokenPrivilege> privileges;
};

TokenState& Token() {
    static TokenState* state = new TokenState;
    return *state;
}

// Loads the token from the machine on first use, and again when another machine was installed.
std::vector<TokenPrivilege>& LoadedLocked(TokenState& t) {
    std::shared_ptr<Machine> machine = CurrentPtr();
    if (t.loaded && t.machine.lock() == machine)
        return t.privileges;
    t.privileges.clear();
    auto add = [&](const std::string& name, bool enabled) {
        if (auto luid = PrivilegeLuid(name))
            t.privileges.push_back(TokenPrivilege{PrivilegeName(*luid), *luid, enabled});
    };
    ReadOs([&](const nlohmann::json& section) {
        if (section.contains("privileges") && section["privileges"].is_object()) {
            for (auto it = section["privileges"].begin(); it != section["privileges"].end(); ++it)
                add(it.key(), it.value().is_string() ? it.value().get<std::string>() == "enabled"
                                                     : it.value().is_boolean() && it.value().get<bool>());
        } else if (section.value("elevated", true)) {
            for (const auto& [name, enabled] : kAdministratorToken)
                add(name, enabled);
        } else {
            for (const auto& [name, enabled] : kStandardUserToken)
                add(name, enabled);
        }
    });
    t.machine = machine;
    t.loaded = true;
    return t.privileges;
}

} // namespace

Version CurrentVersion() {
    Version v;
    ReadOs([&](const nlohmann::json& section) {
        auto found = section.find("version");
        if (found == section.end() || !found->is_object())
            return;
        const nlohmann::json& j = *found;
        v.major = j.value("major", v.major);
        v.minor = j.value("minor", v.minor);
        v.build = j.value("build", v.build);
        v.platformId = j.value("platform_id", v.platformId);
        v.servicePackMajor = j.value("service_pack_major", v.servicePackMajor);
        v.servicePackMinor = j.value("service_pack_minor", v.servicePackMinor);
        v.suiteMask = j.value("suite_mask", v.suiteMask);
        v.productType = j.value("product_type", v.productType);
        v.csdVersion = j.value("csd_version", v.csdVersion);
    });
    return v;
}

bool Is64Bit() {
    return OsFlag("is_64bit", true);
}

bool Elevated() {
    return OsFlag("elevated", true);
}

bool SafeMode() {
    return OsFlag("safe_mode", false);
}

std::string ProgramBaseName() {
    char path[PATH_MAX] = {};
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    std::string name =
        n > 0 ? std::filesystem::path(std::string(path, static_cast<size_t>(n))).filename().string()
              : std::string("program");
    if (name.find('.') == std::string::npos)
        name += ".exe";
    return name;
}

std::optional<uint32_t> PrivilegeLuid(const std::string& name) {
    for (const auto& p : kPrivileges)
        if (EqualNoCase(p.name, name))
            return p.luid;
    return std::nullopt;
}

std::string PrivilegeName(uint32_t luid) {
    for (const auto& p : kPrivileges)
        if (p.luid == luid)
            return p.name;
    return {};
}

std::vector<TokenPrivilege> TokenPrivileges() {
    TokenState& t = Token();
    std::lock_guard lock(t.mutex);
    return LoadedLocked(t);
}

std::optional<bool> TokenPrivilegeEnabled(uint32_t luid) {
    TokenState& t = Token();
    std::lock_guard lock(t.mutex);
    for (const auto& p : LoadedLocked(t))
        if (p.luid == luid)
            return p.enabled;
    return std::nullopt;
}

bool SetTokenPrivilegeEnabled(uint32_t luid, bool enabled) {
    TokenState& t = Token();
    std::lock_guard lock(t.mutex);
    for (auto& p : LoadedLocked(t))
        if (p.luid == luid) {
            p.enabled = enabled;
            return true;
        }
    return false;
}

void RemoveTokenPrivilege(uint32_t luid) {
    TokenState& t = Token();
    std::lock_guard lock(t.mutex);
    auto& list = LoadedLocked(t);
    std::erase_if(list, [&](const TokenPrivilege& p) { return p.luid == luid; });
}

bool PrivilegeEnabled(const std::string& name) {
    auto luid = PrivilegeLuid(name);
    return luid && TokenPrivilegeEnabled(*luid).value_or(false);
}

void ResetToken() {
    TokenState& t = Token();
    std::lock_guard lock(t.mutex);
    t.loaded = false;
    t.privileges.clear();
}

} // namespace sim::os

namespace sim::os {
namespace {

using namespace sim::schema;

const Section kOs("os", Object({{"version", Object({{"major", Uint32()},
                                                    {"minor", Uint32()},
                                                    {"build", Uint32()},
                                                    {"platform_id", Uint32()},
                                                    {"service_pack_major", Uint16()},
                                                    {"service_pack_minor", Uint16()},
                                                    {"suite_mask", Uint16()},
                                                    {"product_type", Uint8()},
                                                    {"csd_version", Text()}})},
                                {"is_64bit", Bool()},
                                {"elevated", Bool()},
                                {"safe_mode", Bool()},
                                {"privileges", Map(OneOfText({"enabled", "disabled"}))}}));

} // namespace
} // namespace sim::os
