#include "platform/win/WinSecurity.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/Os.h"
#include "sim/Schema.h"
#include "sim/WideText.h"
#include "sim/win32/HandleTable.h"
#include "sim/win32/SimCall.h"

namespace {

class TokenObject : public platform::KernelObject {
public:
    explicit TokenObject(ACCESS_MASK access) : access_(access) {}
    bool allows(ACCESS_MASK rights) const { return (access_ & rights) == rights; }

private:
    ACCESS_MASK access_;
};

// The entries of a privilege list, which may run past the one entry the record declares.
LUID_AND_ATTRIBUTES* Entries(TOKEN_PRIVILEGES* list) {
    return reinterpret_cast<LUID_AND_ATTRIBUTES*>(reinterpret_cast<BYTE*>(list) +
                                                  offsetof(TOKEN_PRIVILEGES, Privileges));
}

DWORD ListSize(size_t count) {
    return static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) + count * sizeof(LUID_AND_ATTRIBUTES));
}

bool Injected(const char* kind, const nlohmann::json& selectors, DWORD* error) {
    auto outcome = platform::SimCall(kind, selectors);
    if (!outcome)
        return false;
    *error = platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE);
    return true;
}

BOOL Lookup(bool remote, const std::string& name, PLUID luid) {
    return platform::Guarded(
        [&]() -> BOOL {
            DWORD error = 0;
            if (Injected("LookupPrivilegeValue", {{"name", name}}, &error)) {
                SetLastError(error);
                return FALSE;
            }
            if (remote) {
                SetLastError(RPC_S_SERVER_UNAVAILABLE);
                return FALSE;
            }
            auto value = sim::os::PrivilegeLuid(name);
            if (!value) {
                SetLastError(ERROR_NO_SUCH_PRIVILEGE);
                return FALSE;
            }
            luid->LowPart = *value;
            luid->HighPart = 0;
            return TRUE;
        },
        platform::LastErrorAnd<BOOL>(FALSE));
}

struct Change {
    uint32_t luid;
    bool enabledBefore;
    bool enable;
    bool remove;
};

} // namespace

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE tokenHandle) {
    return platform::Guarded(
        [&]() -> BOOL {
            if (!tokenHandle) {
                SetLastError(ERROR_NOACCESS);
                return FALSE;
            }
            *tokenHandle = nullptr;
            if (process != GetCurrentProcess()) {
                SetLastError(ERROR_INVALID_HANDLE);
                return FALSE;
            }
            DWORD error = 0;
            if (Injected("OpenProcessToken", {{"access", desiredAccess}}, &error)) {
                SetLastError(error);
                return FALSE;
            }
            *tokenHandle = platform::InsertHandle(std::make_shared<TokenObject>(desiredAccess));
            return TRUE;
        },
        platform::LastErrorAnd<BOOL>(FALSE));
}

BOOL LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
    if (!name || !luid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Lookup(systemName && *systemName, name, luid);
}

BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, PLUID luid) {
    if (!name || !luid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Lookup(systemName && *systemName, sim::ToUtf8(name), luid);
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAllPrivileges, PTOKEN_PRIVILEGES newState,
                           DWORD bufferLength, PTOKEN_PRIVILEGES previousState, LPDWORD returnLength) {
    return platform::Guarded(
        [&]() -> BOOL {
            auto object = platform::LookupHandleAs<TokenObject>(token);
            if (!object) {
                SetLastError(ERROR_INVALID_HANDLE);
                return FALSE;
            }
            if (!object->allows(TOKEN_ADJUST_PRIVILEGES) || (previousState && !object->allows(TOKEN_QUERY))) {
                SetLastError(ERROR_ACCESS_DENIED);
                return FALSE;
            }
            if (!disableAllPrivileges && !newState) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }

            nlohmann::json names = nlohmann::json::array();
            if (!disableAllPrivileges)
                for (DWORD i = 0; i < newState->PrivilegeCount; ++i)
                    names.push_back(sim::os::PrivilegeName(Entries(newState)[i].Luid.LowPart));
            DWORD error = 0;
            if (Injected("AdjustTokenPrivileges",
                         {{"privileges", names}, {"disable_all", disableAllPrivileges != 0}}, &error)) {
                // A refusal to assign is a success that changed nothing, as the real call reports it.
                if (error == ERROR_NOT_ALL_ASSIGNED) {
                    if (previousState && bufferLength >= ListSize(0))
                        previousState->PrivilegeCount = 0;
                    if (returnLength)
                        *returnLength = ListSize(0);
                    SetLastError(ERROR_NOT_ALL_ASSIGNED);
                    return TRUE;
                }
                SetLastError(error);
                return FALSE;
            }

            // Work out every change first: a previous-state buffer that is too small changes nothing.
            std::vector<Change> changes;
            bool notAllAssigned = false;
            if (disableAllPrivileges) {
                for (const auto& p : sim::os::TokenPrivileges())
                    if (p.enabled)
                        changes.push_back(Change{p.luid, true, false, false});
            } else {
                for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
                    const LUID_AND_ATTRIBUTES& entry = Entries(newState)[i];
                    std::optional<bool> held = entry.Luid.HighPart == 0
                                                   ? sim::os::TokenPrivilegeEnabled(entry.Luid.LowPart)
                                                   : std::nullopt;
                    if (!held) {
                        notAllAssigned = true;
                        continue;
                    }
                    const bool remove = entry.Attributes & SE_PRIVILEGE_REMOVED;
                    const bool enable = !remove && (entry.Attributes & SE_PRIVILEGE_ENABLED);
                    if (remove || enable != *held)
                        changes.push_back(Change{entry.Luid.LowPart, *held, enable, remove});
                }
            }
            const DWORD needed = ListSize(changes.size());
            if (returnLength)
                *returnLength = needed;
            if (previousState && bufferLength < needed) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return FALSE;
            }
            for (const Change& c : changes) {
                if (c.remove)
                    sim::os::RemoveTokenPrivilege(c.luid);
                else
                    sim::os::SetTokenPrivilegeEnabled(c.luid, c.enable);
            }
            if (previousState) {
                previousState->PrivilegeCount = static_cast<DWORD>(changes.size());
                for (size_t i = 0; i < changes.size(); ++i) {
                    Entries(previousState)[i].Luid = LUID{changes[i].luid, 0};
                    Entries(previousState)[i].Attributes =
                        changes[i].enabledBefore ? SE_PRIVILEGE_ENABLED : 0;
                }
            }
            SetLastError(notAllAssigned ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
            return TRUE;
        },
        platform::LastErrorAnd<BOOL>(FALSE));
}

namespace {

using namespace sim::schema;

const FaultKind kTokenFaults("OpenProcessToken", {"access"}, Object({{"win32_error", Uint32()}}));
const FaultKind kLookupFaults("LookupPrivilegeValue", {"name"}, Object({{"win32_error", Uint32()}}));
const FaultKind kAdjustFaults("AdjustTokenPrivileges", {"privileges", "disable_all"},
                              Object({{"win32_error", Uint32()}}));

} // namespace
