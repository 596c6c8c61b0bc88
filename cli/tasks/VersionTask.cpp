#include "cli/tasks/VersionTask.h"

#include <iostream>
#include <vector>

#include "cli/Options.h"
#include "cli/Serializable.h"

namespace MOX {

VersionTaskFactory::VersionTaskFactory() {
    // The same texts at every help level.
    for (int32_t level : {0, 1}) {
        usageTexts[level] = "\n    --version\n";
        exampleTexts[level] = "\n    --version\n";
    }
    const OptionTable& o = Options();
    for (const OptionDescriptor* option : {&o.version})
        allowedOptions.insert(*option);
}

std::unique_ptr<ITask> VersionTaskFactory::createTask(CommandParser&) {
    return std::make_unique<VersionTask>();
}

Error VersionTask::run() {
    std::string report;
    const std::string banner = "\nOrvex(R) MOXCLI";
    const _UVI_MiddlewareVersionInfo version = CallUvi(UviGetMiddlewareVersionInfo);
    const std::string libraryLine = "Middleware Version: " + RecordText(version.versionText);
    Error result = session_.OpenSession();
    if (result.isError()) {
        std::cout << "\n"
                  << std::flush << "Could not obtain driver and orom version information to display.\n"
                  << std::flush;
        return result;
    }
    std::vector<_UVI_ControllerInfo> controllers;
    result = session_.GetControllerInfos(controllers, "");
    if (!result.isError()) {
        std::string driverLines, optionRomLines;
        for (const _UVI_ControllerInfo& controller : controllers) {
            const std::string name = RecordText(controller.name);
            driverLines +=
                "\nController " + name + " Driver Version: " + RecordText(controller.driverVersion);
            optionRomLines +=
                "\nController " + name + " OROM Version: " + RecordText(controller.optionRomVersion);
        }
        report = banner + "\n" + libraryLine + driverLines + optionRomLines;
    }
    session_.CloseSessionQuietly();
    std::cout << report << std::flush;
    return result;
}

} // namespace MOX
