#include "middleware/accelerate/ServiceCommandFailure.h"

#include <string>

#include "middleware/core/TextConversions.h"
#include "tools/Ostrel/ServiceCommands/CommandFailureReport.h"

CConsolidatedError ServiceCommandFailure(unsigned long commandResult) {
    CConsolidatedError error;
    error.SetError(KEDO2_ERROR_TYPE_WIN32, commandResult, nullptr);
    const std::string text = ToNarrowString(ThreadCommandFailureReport().Text());
    if (!text.empty())
        error.AddErrorMessage("%s", text.c_str());
    return error;
}
