// The library's life cycle and its sessions, as the C interface offers them.
#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviApi.h"
#include "middleware/model/SessionHandler.h"

_UVI_Error UviInitialize(void) {
    return RunExportedCall([] { return SessionHandler::get().initialize(); });
}

_UVI_Error UviFinalize(void) {
    return RunExportedCall([] { return SessionHandler::get().finalize(); });
}

_UVI_Error UviSessionOpen(unsigned int* sessionHandle) {
    return RunExportedCall([&] {
        SessionHandler& handler = SessionHandler::get();
        if (!handler.isInitialized())
            return CConsolidatedError(CConsolidatedError::UVI_NOTINITIALIZED);
        if (!sessionHandle) {
            CConsolidatedError error;
            error.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER,
                           "NULL session handle passed to UviSessionOpen");
            return error;
        }
        // A failed open leaves no stale handle for the caller to use.
        *sessionHandle = 0;
        unsigned id = 0;
        CConsolidatedError result = handler.openSession(id);
        if (result.IsSuccessful())
            *sessionHandle = id;
        return result;
    });
}

_UVI_Error UviSessionClose(unsigned int sessionHandle) {
    return RunExportedCall([&] {
        SessionHandler& handler = SessionHandler::get();
        if (!handler.isInitialized())
            return CConsolidatedError(CConsolidatedError::UVI_NOTINITIALIZED);
        return handler.closeSession(static_cast<int>(sessionHandle));
    });
}
