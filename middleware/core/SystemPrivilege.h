#pragma once
// Enables one privilege of the process token for the object's lifetime. Failures are not reported:
// the operation that needs the privilege fails instead.
#include <string>

#include "platform/win/WinSecurity.h"

class SystemPrivilege {
public:
    explicit SystemPrivilege(const std::string& privilegeName);
    virtual ~SystemPrivilege();
    SystemPrivilege(const SystemPrivilege&) = delete;
    SystemPrivilege& operator=(const SystemPrivilege&) = delete;

private:
    bool active_ = false;
    std::string name_;
    // What enabling changed, as AdjustTokenPrivileges reported it; no entries when nothing changed.
    TOKEN_PRIVILEGES previous_{};
};
