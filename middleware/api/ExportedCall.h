#pragma once
// The framings every exported function uses: whatever escapes the work becomes the caller's
// record, so that no exception crosses the C interface. An export picks one:
// - RunExportedCall: direct, the work needs no session;
// - RunSessionCall: the session with the caller's handle (0: a temporary session for the call);
// - RunTemporarySessionCall: a temporary session for the call;
// - RunOwnSessionCall: a table session opened for the call and closed after it (the actions that
//   validate first: put ValidateThenRun of ActionValidator.h at the start of the operation).
// Each session framing answers 0xA001000C while the library is not started.
#include <exception>
#include <functional>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/UviError.h"
#include "middleware/model/SessionHolder.h"

// The error of an exception: a CConsolidatedError as itself, a std::exception as 0xA0010010 with
// its text as message, anything else as 0xA0010010.
CConsolidatedError ErrorOfException(std::exception_ptr exception);

// Runs the work and converts its result (or what it threw) into the caller's record, registering a
// failure with the calling thread's GlobalLogger.
_UVI_Error RunExportedCall(const std::function<CConsolidatedError()>& work);

_UVI_Error RunSessionCall(unsigned sessionHandle, const SessionOperation& operation);
_UVI_Error RunSessionCall(unsigned sessionHandle, const SessionOperationWithHandle& operation);
_UVI_Error RunTemporarySessionCall(const SessionOperation& operation);
_UVI_Error RunOwnSessionCall(const SessionOperation& operation);
_UVI_Error RunOwnSessionCall(const SessionOperationWithHandle& operation);
