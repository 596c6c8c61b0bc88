#pragma once
// Factories of the service tool's commands. Each ignores its arguments and returns a new command
// that the caller owns. A factory that opens its service at creation returns null when the open
// fails; the others never return null.
#include "tools/Ostrel/ServiceCommands/Command.h"

CommandPtr CreateMinifilterSetCommand(int argc, wchar_t* argv[]);
CommandPtr CreateMinifilterStopCommand(int argc, wchar_t* argv[]);
CommandPtr CreateMinifilterStartCommand(int argc, wchar_t* argv[]);
CommandPtr CreateMinifilterExistsCommand(int argc, wchar_t* argv[]);
CommandPtr CreateStopServiceCommand(int argc, wchar_t* argv[]);
CommandPtr CreateStartServiceCommand(int argc, wchar_t* argv[]);
CommandPtr CreateServiceSetCommand(int argc, wchar_t* argv[]);
CommandPtr CreateCheckServiceExistsCommand(int argc, wchar_t* argv[]);
CommandPtr CreateClearHalvexDataCommand(int argc, wchar_t* argv[]);
CommandPtr CreateRegisterComInterfaceCommand(int argc, wchar_t* argv[]);
CommandPtr CreateUnregisterComInterfaceCommand(int argc, wchar_t* argv[]);
