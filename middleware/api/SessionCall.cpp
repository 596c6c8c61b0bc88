// The session framings of the exported calls.
#include "middleware/api/ExportedCall.h"

_UVI_Error RunSessionCall(unsigned sessionHandle, const SessionOperation& operation) {
    return RunExportedCall([&] { return runWithSession(static_cast<int>(sessionHandle), operation); });
}

_UVI_Error RunSessionCall(unsigned sessionHandle, const SessionOperationWithHandle& operation) {
    return RunExportedCall([&] { return runWithSession(static_cast<int>(sessionHandle), operation); });
}

_UVI_Error RunTemporarySessionCall(const SessionOperation& operation) {
    return RunSessionCall(0, operation);
}

_UVI_Error RunOwnSessionCall(const SessionOperation& operation) {
    return RunExportedCall([&] { return runWithNewSession(operation); });
}

_UVI_Error RunOwnSessionCall(const SessionOperationWithHandle& operation) {
    return RunExportedCall([&] { return runWithNewSession(operation); });
}
