// The driver compatibility check every command runs before its task.
#include <exception>

#include "cli/RunCommandLine.h"
#include "cli/ValueTexts.h"
#include "cli/access/CliSession.h"

namespace MOX {

Error IsCliCompatibleWithDriver(CliSession& session, bool& compatible, std::string& mismatch) {
    compatible = true;
    mismatch.clear();
    std::vector<_UVI_ControllerInfo> controllers;
    Error result = session.GetControllerInfos(controllers, "");
    if (result.isError()) {
        mismatch = "Could not get system information.";
        compatible = false;
        return result;
    }
    const _UVI_MiddlewareVersionInfo library = CallUvi(UviGetMiddlewareVersionInfo);
    for (const _UVI_ControllerInfo& controller : controllers) {
        if (!IsDriverVersionCompatible(library.major, library.minor, controller.driverVersionNumbers[0],
                                       controller.driverVersionNumbers[1])) {
            compatible = false;
            VersionMismatchText(library, controller, mismatch);
            break;
        }
    }
    return result;
}

Error CheckDriverVersion() {
    CliSession session;
    Error result = session.OpenSession();
    if (result.isError())
        return result;
    try {
        bool compatible = true;
        std::string mismatch;
        result = IsCliCompatibleWithDriver(session, compatible, mismatch);
        (void)session.CloseSession();
        if (compatible)
            return result;
        if (!result.isError())
            result.set(1, mismatch);
        else
            result.addDetail(mismatch);
    } catch (const std::exception& e) {
        result.set(1, e.what());
    }
    return result;
}

} // namespace MOX
