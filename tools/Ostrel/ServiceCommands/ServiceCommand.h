#pragma once
// A command of the service tool that works on one Windows service through a ServiceControl.
#include <memory>

#include "tools/Ostrel/ServiceCommands/Command.h"
#include "tools/Ostrel/ServiceCommands/ServiceControl.h"

class ServiceCommand : public Command {
public:
    // Opens the service. On failure the control is dropped, the failure reported and the open's code
    // returned; on success the command keeps the open control until it is deleted.
    DWORD Init(const wchar_t* serviceName);

protected:
    ServiceControl* control() const { return control_.get(); }

private:
    std::unique_ptr<ServiceControl> control_;
};

// The two services of the cache product.
inline constexpr const wchar_t* kMinifilterServiceName = L"KeplinAfs";
inline constexpr const wchar_t* kCacheServiceName = L"KeplinAfsService";
