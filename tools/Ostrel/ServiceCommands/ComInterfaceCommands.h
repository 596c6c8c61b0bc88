#pragma once
// The cache service's COM server and its scheduled optimisation task: the Task Scheduler starts the
// server's class as a COM handler to optimise the cache-memory volume. Registering schedules the task
// and then writes the server's registration (ComServerRegistry.h); unregistering deletes the task and
// then clears the registration. Both return an HRESULT (as its 32-bit pattern) or a Win32 registry
// code; 0 is success.
//
// argv is not read. A non-zero argc means the calling thread has joined a COM apartment itself: the
// command then neither initialises nor uninitialises COM.
#include "tools/Ostrel/ServiceCommands/Command.h"

class RegisterComInterface : public Command {
public:
    unsigned long Execute(int argc, wchar_t* argv[]) override;
};

class UnregisterComInterface : public Command {
public:
    unsigned long Execute(int argc, wchar_t* argv[]) override;
};

// The folder of the task under the root folder, and the task's name.
inline constexpr const wchar_t* kOptimizationTaskFolder = L"Orvex";
inline constexpr const wchar_t* kOptimizationTaskName = L"Orvex(R) Halvex(TM) Memory - Volume Optimization";
