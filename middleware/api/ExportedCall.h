#pragma once
// The framing every exported function shares: whatever escapes the work becomes the caller's
// record, so that no exception crosses the C interface.
#include <exception>
#include <functional>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/UviError.h"

// The error of an exception: a CConsolidatedError as itself, a std::exception as 0xA0010010 with
// its text as message, anything else as 0xA0010010.
CConsolidatedError ErrorOfException(std::exception_ptr exception);

// Runs the work and converts its result (or what it threw) into the caller's record, registering a
// failure with the calling thread's GlobalLogger.
_UVI_Error RunExportedCall(const std::function<CConsolidatedError()>& work);
