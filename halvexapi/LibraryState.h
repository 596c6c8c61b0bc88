#pragma once
// What the library keeps for the whole process, made when it is loaded and undone when it is
// unloaded: its trace provider, the library lock and the service context. At unload the service
// context is closed first, then the lock is deleted, then the provider unregistered.
#include "platform/win/Trace.h"
#include "platform/win/WinSync.h"

// The provider "Halvex API DFP"; registered once per process, not once per thread: a thread that
// ends must not stop the trace of the others.
TRACEHANDLE HalvexTraceProvider();
CRITICAL_SECTION& LibraryLock();
// Called once a service context is open: its close at unload is registered then, after everything
// the open itself needed was made, so that the close runs before any of it is undone.
void CloseServiceContextAtUnload();
