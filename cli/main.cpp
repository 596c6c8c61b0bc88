// moxcli: one command per process. The exit code is the result record's return code, or 1 when the
// library cannot be started or something unexpected escapes.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <optional>

#include "cli/RunCommandLine.h"
#include "cli/UviCalls.h"
#include "cli/UviWrapper.h"
#include "middleware/api/UviApi.h"
#include "platform/win/Trace.h"

namespace {

// Trace messages 10 and 11 carry the library's version text; the check comes first so that nothing
// is read or formatted while tracing is off.
void TraceLibraryVersion(const char* when) {
    if (!platform::TraceEnabled(TRACE_LEVEL_INFORMATION, 1))
        return;
    const _UVI_MiddlewareVersionInfo version = MOX::CallUvi(UviGetMiddlewareVersionInfo);
    platform::TraceWrite(nullptr, TRACE_LEVEL_INFORMATION, 1, "%s, middleware version %.32s", when,
                         version.versionText);
}

} // namespace

int main(int argc, char* argv[]) {
    int exitCode = 1;
    try {
        MOX::UviWrapper library;
        TraceLibraryVersion("moxcli started");
        std::optional<MOX::Error> result = MOX::RunCommandLine(argc, argv);
        MOX::PrintResult(*result);
        exitCode = result->getType();
        TraceLibraryVersion("moxcli finished");
        result.reset();
    } catch (const MOX::UviInitializationException& e) {
        std::cout << "Intialization error: " << e.what() << "\n";
    } catch (const std::exception& e) {
        std::cout << "Unexpected exception: " << e.what() << "\n";
    }
    std::cout << std::flush;
    std::exit(exitCode);
}
