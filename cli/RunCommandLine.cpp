#include "cli/RunCommandLine.h"

#include <iostream>
#include <memory>
#include <stdexcept>

#include "cli/BoostCommandParser.h"
#include "cli/ConsoleOutput.h"
#include "cli/HelpPrinter.h"
#include "cli/Options.h"
#include "cli/ParseCommandLine.h"
#include "cli/TaskFactory.h"

namespace MOX {

Error RunCommandLine(int argc, const char* const argv[]) {
    BoostCommandParser parser("MOX CLI Tool", 80, 40);
    Error result = ParseCommandLine(argc, argv, parser);
    if (result.isError())
        return result;
    const OptionTable& options = Options();
    if (parser.getOption(options.help).isSet || parser.getOption(options.legacyHelp).isSet) {
        PrintHelp(1, parser);
        return result;
    }
    // Neither option is registered at the parser's threshold, so the check runs for every command.
    if (!parser.getOption(options.disVerCheck).isSet && !parser.getOption(options.disableVersionCheck).isSet)
        result = CheckDriverVersion();
    if (!result.isError()) {
        result = RunTask(parser);
        if (result.getType() == 2)
            PrintHelp(1, parser);
    }
    return result;
}

Error RunTask(CommandParser& parser) {
    Error result;
    try {
        // Declared before the dispatcher so that the dispatcher goes first.
        std::unique_ptr<ITask> task;
        TaskFactory dispatcher;
        task = dispatcher.createTask(parser);
        if (!task)
            throw std::runtime_error("Unexpected error: null task created.");
        result = task->run();
    } catch (const MoxErrorException& e) {
        result = e.getError();
    } catch (const std::exception& e) {
        result.set(1, e.what());
    }
    return result;
}

bool IsDriverVersionCompatible(uint32_t libraryMajor, uint32_t libraryMinor, uint32_t driverMajor,
                               uint32_t driverMinor) {
    return driverMajor == libraryMajor &&
           (driverMinor == libraryMinor || uint64_t{driverMinor} == uint64_t{libraryMinor} + 30);
}

void PrintResult(Error& result) {
    if (!result.isError())
        return;
    result.printMessage();
    result.printDetails();
    if (result.getCode() != Error::NO_CODE) {
        // The error stream follows what standard output holds so far.
        std::cout << std::flush;
        std::cerr << "\nError code: 0x" << std::hex << std::uppercase
                  << static_cast<uint32_t>(result.getCode()) << std::dec << std::nouppercase << "\n"
                  << std::flush;
    }
}

} // namespace MOX
