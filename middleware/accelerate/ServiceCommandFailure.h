#pragma once
// The error of a service tool command that failed: a Win32 error with the command's code, whose
// message is what the calling thread's command failure report holds (nothing, unless a command wrote
// into it).
#include "middleware/core/ConsolidatedError.h"

CConsolidatedError ServiceCommandFailure(unsigned long commandResult);
