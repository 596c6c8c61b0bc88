#include "tools/Ostrel/ServiceCommands/ServiceCommandFactories.h"

#include "tools/Ostrel/ServiceCommands/ClearHalvexDataCommand.h"
#include "tools/Ostrel/ServiceCommands/ComInterfaceCommands.h"
#include "tools/Ostrel/ServiceCommands/ServiceToolCommands.h"

namespace {

// A command whose service is opened now; null when it cannot be.
template <class T> CommandPtr Opened(const wchar_t* serviceName) {
    auto command = std::make_unique<T>();
    if (command->Init(serviceName) != ERROR_SUCCESS)
        return nullptr;
    return command;
}

} // namespace

CommandPtr CreateMinifilterSetCommand(int, wchar_t*[]) {
    return Opened<MinifilterSetCommand>(kMinifilterServiceName);
}

CommandPtr CreateMinifilterStopCommand(int, wchar_t*[]) {
    return Opened<MinifilterStopCommand>(kMinifilterServiceName);
}

CommandPtr CreateMinifilterStartCommand(int, wchar_t*[]) {
    return Opened<MinifilterStartCommand>(kMinifilterServiceName);
}

CommandPtr CreateMinifilterExistsCommand(int, wchar_t*[]) {
    return std::make_unique<MinifilterExistsCommand>();
}

CommandPtr CreateStopServiceCommand(int, wchar_t*[]) {
    return Opened<StopServiceCommand>(kCacheServiceName);
}

CommandPtr CreateStartServiceCommand(int, wchar_t*[]) {
    return Opened<StartServiceCommand>(kCacheServiceName);
}

CommandPtr CreateServiceSetCommand(int, wchar_t*[]) {
    return Opened<ServiceSetCommand>(kCacheServiceName);
}

CommandPtr CreateCheckServiceExistsCommand(int, wchar_t*[]) {
    return std::make_unique<CheckServiceExistsCommand>();
}

CommandPtr CreateClearHalvexDataCommand(int, wchar_t*[]) {
    return std::make_unique<ClearHalvexDataCommand>();
}

CommandPtr CreateRegisterComInterfaceCommand(int, wchar_t*[]) {
    return std::make_unique<RegisterComInterface>();
}

CommandPtr CreateUnregisterComInterfaceCommand(int, wchar_t*[]) {
    return std::make_unique<UnregisterComInterface>();
}
