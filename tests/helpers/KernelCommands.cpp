// Child-process commands for the tests of named kernel objects: a second process that holds,
// tries or signals an object while the test looks on from its own process.
#include <cstdio>
#include <iostream>
#include <string>

#include "middleware/core/NamedCriticalSection.h"
#include "platform/win/WinSync.h"
#include "sim/Os.h"
#include "tests/helpers/ChildCommands.h"

namespace {

std::string WaitLine() {
    std::string line;
    std::getline(std::cin, line);
    return line;
}

// Waits for a line: "release" gives the mutex back before the process ends; end of input (or a
// kill) ends the process still holding it, which leaves the mutex abandoned.
int ReleaseWhenAsked(HANDLE mutex) {
    if (WaitLine() == "release") {
        std::printf("released %d\n", ReleaseMutex(mutex));
        std::fflush(stdout);
    }
    return 0;
}

// mutex-hold NAME: takes the named mutex, prints "ready <wait result>", then releases it when asked.
moxtest::ChildCommandRegistrar mutexHold("mutex-hold", [](const std::vector<std::string>& a) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, a.at(0).c_str());
    if (!mutex) {
        std::printf("error %u\n", GetLastError());
        return 1;
    }
    std::printf("ready %u\n", WaitForSingleObject(mutex, 0));
    std::fflush(stdout);
    return ReleaseWhenAsked(mutex);
});

// mutex-own-watched NAME REACHED MS: makes the named mutex with itself as initial owner (no wait
// on it, so a fault rule on the mutex's waits is left to the other process) and the manual event
// REACHED, prints "owned", then waits at most MS for another process to set REACHED (a "signal"
// rule on that process's wait for the mutex) and prints "reached <wait result>"; then releases
// the mutex when asked.
moxtest::ChildCommandRegistrar mutexOwnWatched("mutex-own-watched", [](const std::vector<std::string>& a) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, a.at(0).c_str());
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
        std::printf("error %u\n", GetLastError());
        return 1;
    }
    HANDLE reached = CreateEventA(nullptr, TRUE, FALSE, a.at(1).c_str());
    if (!reached) {
        std::printf("error %u\n", GetLastError());
        return 1;
    }
    std::printf("owned\n");
    std::fflush(stdout);
    std::printf("reached %u\n", WaitForSingleObject(reached, static_cast<DWORD>(std::stoul(a.at(2)))));
    std::fflush(stdout);
    return ReleaseWhenAsked(mutex);
});

// mutex-try NAME: prints the result of a zero wait on the named mutex and gives it back if taken.
moxtest::ChildCommandRegistrar mutexTry("mutex-try", [](const std::vector<std::string>& a) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, a.at(0).c_str());
    if (!mutex) {
        std::printf("error %u\n", GetLastError());
        return 1;
    }
    DWORD result = WaitForSingleObject(mutex, 0);
    std::printf("%u\n", result);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
        ReleaseMutex(mutex);
    CloseHandle(mutex);
    return 0;
});

// event-set NAME: opens the named event and sets it; prints 1 on success, else "error N".
moxtest::ChildCommandRegistrar eventSet("event-set", [](const std::vector<std::string>& a) {
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, a.at(0).c_str());
    if (!event || !SetEvent(event)) {
        std::printf("error %u\n", GetLastError());
        return 1;
    }
    std::printf("1\n");
    CloseHandle(event);
    return 0;
});

// semaphore-hold NAME: creates the named semaphore (count 0, maximum 1), prints "ready <last
// error>" and keeps it until a line arrives or the process is killed.
moxtest::ChildCommandRegistrar semaphoreHold("semaphore-hold", [](const std::vector<std::string>& a) {
    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, a.at(0).c_str());
    if (!semaphore) {
        std::printf("error %u\n", GetLastError());
        return 1;
    }
    std::printf("ready %u\n", GetLastError());
    std::fflush(stdout);
    WaitLine();
    CloseHandle(semaphore);
    return 0;
});

} // namespace

namespace {

// privilege-enabled NAME: prints 1 when this process's token has the privilege enabled, else 0.
moxtest::ChildCommandRegistrar privilegeEnabled("privilege-enabled", [](const std::vector<std::string>& a) {
    std::printf("%d\n", sim::os::PrivilegeEnabled(a.at(0)) ? 1 : 0);
    return 0;
});

} // namespace

namespace {

void PrintResult(const CConsolidatedError& e) {
    std::printf("%#X %s\n", static_cast<unsigned>(e.GetErrorCode()), e.GetErrorMessage());
}

// ncs-hold NAME: enters the named critical section, prints "ready <code>" and keeps it until a line
// arrives (then leaves it) or the process is killed.
moxtest::ChildCommandRegistrar ncsHold("ncs-hold", [](const std::vector<std::string>& a) {
    NamedCriticalSection section(a.at(0));
    CConsolidatedError entered = section.enter();
    std::printf("ready %#X\n", static_cast<unsigned>(entered.GetErrorCode()));
    std::fflush(stdout);
    WaitLine();
    return 0;
});

// ncs-try NAME: enters the named critical section and prints the result, then whether the section
// is in use and whether its mutex exists; leaves it on the way out.
moxtest::ChildCommandRegistrar ncsTry("ncs-try", [](const std::vector<std::string>& a) {
    NamedCriticalSection section(a.at(0));
    PrintResult(section.enter());
    std::printf("in use %d\nexists %d\n", section.isInUse() ? 1 : 0, section.exists() ? 1 : 0);
    return 0;
});

} // namespace
