#pragma once
// The road of every command: parse, print help when asked, check the driver versions, dispatch the
// one mode to its task and run it. The result record becomes the process's output and exit code.
#include <cstdint>
#include <string>

#include "cli/CommandParser.h"
#include "cli/Error.h"

namespace MOX {

// The whole command, without the library start and the final printing.
Error RunCommandLine(int argc, const char* const argv[]);

// Builds the task of the one given mode and runs it; what the factory or the task throws becomes the
// result.
Error RunTask(CommandParser& parser);

// Opens a session and checks every controller's driver against the library's version.
Error CheckDriverVersion();

class CliSession;
// Every own-driver controller's driver against the library's version; at the first that does not fit,
// `compatible` is false and `mismatch` says why. A failed controller list is not compatible either.
Error IsCliCompatibleWithDriver(CliSession& session, bool& compatible, std::string& mismatch);

// The driver fits the library when the majors are equal and the driver's minor is the library's minor
// or the library's minor plus 30.
bool IsDriverVersionCompatible(uint32_t libraryMajor, uint32_t libraryMinor, uint32_t driverMajor,
                               uint32_t driverMinor);

// Prints a finished command's record: message and detail lines on standard output, the library's code
// on standard error; nothing for a success.
void PrintResult(Error& result);

} // namespace MOX
