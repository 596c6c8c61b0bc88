#pragma once
// The service database of the simulated machine ("services" section): the installed services with
// their type, start type and dependencies, and each one's state. A start or stop runs through its
// pending state on the machine's clock (sim::Clock) for the time the description gives, so a
// program that waits for a stop sees it pending, then stopped; a service may also never stop, refuse
// every program but the system, or fail its controls. Functions return a Win32 error (0 success).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::services {

struct Status {
    uint32_t type = 0;
    uint32_t state = 0; // SERVICE_STOPPED (1) to SERVICE_PAUSED (7)
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
    uint32_t processId = 0;
};

struct Dependent {
    std::string name;
    std::string displayName;
    Status status;
};

// Finds a service by name (without case); canonical gets the name as installed.
// ERROR_SERVICE_DOES_NOT_EXIST, or ERROR_ACCESS_DENIED for a service that refuses programs.
uint32_t Open(const std::string& name, std::string* canonical);
uint32_t QueryStatus(const std::string& name, Status* status);
// Starts the service and the stopped services it depends on.
uint32_t Start(const std::string& name);
// SERVICE_CONTROL_STOP and SERVICE_CONTROL_INTERROGATE; the status is filled whenever the service
// exists.
uint32_t Control(const std::string& name, uint32_t control, Status* status);
// The services not stopped that depend on this one, directly or through others; the indirect ones
// come first.
uint32_t ActiveDependents(const std::string& name, std::vector<Dependent>* dependents);
// Changes what is given and keeps the rest.
uint32_t ChangeConfig(const std::string& name, std::optional<uint32_t> startType,
                      const std::optional<std::vector<std::string>>& dependencies);

// For tests: the state, start type and dependencies as the database holds them now (nullopt for a
// service that is not installed).
std::optional<uint32_t> State(const std::string& name);
std::optional<uint32_t> StartType(const std::string& name);
std::optional<std::vector<std::string>> Dependencies(const std::string& name);

} // namespace sim::services
