// The "signal" outcome of a wait rule: an observer learns that a wait has begun, and the wait itself
// goes on as it would without the rule (or returns the result given beside the signal).
#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/win/WinSync.h"
#include "sim/Faults.h"
#include "sim/KernelObjects.h"
#include "sim/Machine.h"

namespace {

constexpr DWORD kObserverLimitMs = 60000;

sim::FaultRule SignalOnWait(const char* name, sim::Value outcome) {
    return sim::FaultRule::FromJson({{"kind", "WaitForSingleObject"},
                                     {"match", {{"name", name}, {"timeout", INFINITE}}},
                                     {"times", 1},
                                     {"outcome", outcome}});
}

TEST(WaitSignal, TheObserverLearnsOfTheWaitWhichStillEndsOnlyWithTheRelease) {
    sim::ScopedMachine machine;
    machine->faults().Add(SignalOnWait("MoxHeld", {{"signal", "MoxWaitBegun"}}));
    HANDLE begun = CreateEventA(nullptr, TRUE, FALSE, "MoxWaitBegun");
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "MoxHeld");
    ASSERT_TRUE(begun && mutex);

    std::atomic<bool> ended{false};
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] {
        result = WaitForSingleObject(mutex, INFINITE);
        ended = true;
        ReleaseMutex(mutex);
    });
    ASSERT_EQ(WaitForSingleObject(begun, kObserverLimitMs), WAIT_OBJECT_0);
    // This thread still owns the mutex, so the waiter cannot be past its wait.
    EXPECT_FALSE(ended);
    EXPECT_TRUE(ReleaseMutex(mutex));
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
    CloseHandle(mutex);
    CloseHandle(begun);
}

TEST(WaitSignal, AResultBesideTheSignalIsReturnedWithoutWaiting) {
    struct Case {
        const char* name;
        sim::Value outcome;
        DWORD result;
        bool observed;
    };
    const Case cases[] = {
        {"timeout", {{"signal", "MoxWaitBegun"}, {"wait_result", WAIT_TIMEOUT}}, WAIT_TIMEOUT, true},
        {"failure",
         {{"signal", "MoxWaitBegun"}, {"wait_result", WAIT_FAILED}, {"win32_error", 6}},
         WAIT_FAILED,
         true},
        // Nobody has the event open: there is nothing to signal, and the wait still happens.
        {"no observer", {{"signal", "MoxNobodyWatches"}}, WAIT_OBJECT_0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ScopedMachine machine;
        machine->faults().Add(SignalOnWait("MoxWaited", c.outcome));
        HANDLE begun = CreateEventA(nullptr, TRUE, FALSE, "MoxWaitBegun");
        // Signalled already: a real wait for it ends at once.
        HANDLE waited = CreateEventA(nullptr, TRUE, TRUE, "MoxWaited");
        ASSERT_TRUE(begun && waited);
        EXPECT_EQ(WaitForSingleObject(waited, INFINITE), c.result);
        EXPECT_EQ(WaitForSingleObject(begun, 0), c.observed ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        EXPECT_FALSE(sim::NamedObjectExists("MoxNobodyWatches"));
        CloseHandle(waited);
        CloseHandle(begun);
    }
}

} // namespace
