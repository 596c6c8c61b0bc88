#include "middleware/core/SystemPrivilege.h"

#include "platform/win/Trace.h"

namespace {

constexpr DWORD kTokenAccess = TOKEN_WRITE | TOKEN_QUERY;

} // namespace

SystemPrivilege::SystemPrivilege(const std::string& privilegeName) : name_(privilegeName) {
    active_ = true;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), kTokenAccess, &token)) {
        MOX_TRACE(TRACE_LEVEL_WARNING, "SystemPrivilege: OpenProcessToken failed, error %u", GetLastError());
        return;
    }
    TOKEN_PRIVILEGES enable{};
    enable.PrivilegeCount = 1;
    enable.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, name_.c_str(), &enable.Privileges[0].Luid)) {
        MOX_TRACE(TRACE_LEVEL_WARNING, "SystemPrivilege: no privilege %s, error %u", name_.c_str(),
                  GetLastError());
        CloseHandle(token);
        return;
    }
    DWORD length = 0;
    if (!AdjustTokenPrivileges(token, FALSE, &enable, sizeof previous_, &previous_, &length)) {
        MOX_TRACE(TRACE_LEVEL_WARNING, "SystemPrivilege: enabling %s failed, error %u", name_.c_str(),
                  GetLastError());
        previous_.PrivilegeCount = 0;
    } else if (GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
        MOX_TRACE(TRACE_LEVEL_WARNING, "SystemPrivilege: the token does not hold %s", name_.c_str());
    }
    CloseHandle(token);
}

SystemPrivilege::~SystemPrivilege() {
    if (!active_ || previous_.PrivilegeCount == 0)
        return;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), kTokenAccess, &token)) {
        MOX_TRACE(TRACE_LEVEL_WARNING, "SystemPrivilege: OpenProcessToken failed, error %u", GetLastError());
        return;
    }
    if (!AdjustTokenPrivileges(token, FALSE, &previous_, 0, nullptr, nullptr))
        MOX_TRACE(TRACE_LEVEL_WARNING, "SystemPrivilege: restoring %s failed, error %u", name_.c_str(),
                  GetLastError());
    CloseHandle(token);
}
