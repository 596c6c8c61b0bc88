#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/win/WinSync.h"
#include "sim/Clock.h"
#include "sim/KernelObjects.h"
#include "sim/Machine.h"
#include "tests/support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;

class WinSync : public ::testing::Test {
protected:
    sim::ScopedMachine machine;
};

// A thread that runs f and is joined at the end of the scope.
DWORD OnOtherThread(const std::function<DWORD()>& f) {
    DWORD result = 0;
    std::thread([&] { result = f(); }).join();
    return result;
}

// ---- mutexes ----

class WinSyncMutex : public WinSync, public ::testing::WithParamInterface<const char*> {};

TEST_P(WinSyncMutex, OwnerThreadReentersAndReleasesOncePerTake) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, GetParam());
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);

    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }), WAIT_TIMEOUT);
    EXPECT_EQ(OnOtherThread([&] {
                  ReleaseMutex(mutex);
                  return GetLastError();
              }),
              ERROR_NOT_OWNER);

    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(mutex));
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);

    EXPECT_EQ(OnOtherThread([&] {
                  DWORD r = WaitForSingleObject(mutex, 0);
                  ReleaseMutex(mutex);
                  return r;
              }),
              WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(mutex));
}

TEST_P(WinSyncMutex, OwnerThreadEndingLeavesTheMutexAbandonedOnce) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, GetParam());
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
    // The abandoned wait made this thread the owner.
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST_P(WinSyncMutex, InitialOwnerOwnsANewMutex) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, GetParam());
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST_P(WinSyncMutex, TimedWaitForAnotherThreadsMutexEndsAtItsDeadlineInVirtualTime) {
    sim::ScopedVirtualClock clock(0);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, GetParam());
    ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    const auto realStart = std::chrono::steady_clock::now();
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex, 60000); }), WAIT_TIMEOUT);
    EXPECT_EQ(sim::Clock::NowMs(), 60000u);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 2s);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

TEST_P(WinSyncMutex, InfiniteWaitEndsWhenTheOwnerReleases) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, GetParam());
    ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    DWORD result = 0;
    std::thread waiter([&] {
        result = WaitForSingleObject(mutex, INFINITE);
        ReleaseMutex(mutex);
    });
    // The wait is logged as it starts.
    ASSERT_TRUE(machine->calls().AwaitMatching("WaitForSingleObject", "{}", 2));
    ReleaseMutex(mutex);
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
    CloseHandle(mutex);
}

INSTANTIATE_TEST_SUITE_P(UnnamedAndNamed, WinSyncMutex,
                         ::testing::Values("", "Global\\MoxTestMutex", "Scsi2:_RO"));

TEST_F(WinSync, HandlesOfOneNameShareTheMutexAndTheObjectEndsWithTheLastHandle) {
    HANDLE first = CreateMutexA(nullptr, FALSE, "Scsi3:_RO");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    // A create that finds the object ignores the request for initial ownership.
    HANDLE second = CreateMutexA(nullptr, TRUE, "Scsi3:_RO");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_NE(first, second);
    EXPECT_EQ(OnOtherThread([&] {
                  DWORD r = WaitForSingleObject(second, 0);
                  ReleaseMutex(second);
                  return r;
              }),
              WAIT_OBJECT_0);

    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(second, 0); }), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(second)); // the owner releases through any handle
    HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, "Scsi3:_RO");
    EXPECT_NE(opened, nullptr);
    CloseHandle(opened);

    CloseHandle(first);
    EXPECT_TRUE(sim::NamedObjectExists("Scsi3:_RO"));
    CloseHandle(second);
    EXPECT_FALSE(sim::NamedObjectExists("Scsi3:_RO"));
    SetLastError(0);
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "Scsi3:_RO"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(WinSync, NamesFollowTheObjectNamespace) {
    HANDLE local = CreateMutexA(nullptr, FALSE, "MoxName");
    ASSERT_NE(local, nullptr);
    struct Case {
        const char* name;
        HANDLE expected; // null: a failure with `error`
        DWORD error;
    } cases[] = {
        {"Local\\MoxName", local, ERROR_ALREADY_EXISTS},
        {"Global\\MoxName", INVALID_HANDLE_VALUE, ERROR_SUCCESS}, // another object
        {"moxname", INVALID_HANDLE_VALUE, ERROR_SUCCESS},         // names are case-sensitive
        {"Global\\Mox\\Name", nullptr, ERROR_PATH_NOT_FOUND},
        {"Global\\", nullptr, ERROR_INVALID_NAME},
        {"", INVALID_HANDLE_VALUE, ERROR_SUCCESS}, // unnamed
    };
    for (const auto& c : cases) {
        SetLastError(12345);
        HANDLE h = CreateMutexA(nullptr, FALSE, c.name);
        EXPECT_EQ(GetLastError(), c.error) << c.name;
        EXPECT_EQ(h != nullptr, c.expected != nullptr) << c.name;
        if (h)
            CloseHandle(h);
    }
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, std::string(261, 'x').c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
    CloseHandle(local);
}

TEST_F(WinSync, ANameHeldByAnotherKindOfObjectIsRefused) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\MoxShared");
    ASSERT_NE(mutex, nullptr);
    SetLastError(0);
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "Global\\MoxShared"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(OpenEventA(SYNCHRONIZE, FALSE, "Global\\MoxShared"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(CreateSemaphoreA(nullptr, 0, 1, "Global\\MoxShared"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // Handles of one kind do not serve calls of another.
    EXPECT_FALSE(SetEvent(mutex));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(mutex);
}

// ---- events ----

TEST_F(WinSync, EventsSignalManuallyOrOnceAndRespectHandleAccess) {
    for (const char* name : {"", "Global\\MoxEvent"}) {
        HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, name);
        ASSERT_NE(manual, nullptr);
        EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
        EXPECT_TRUE(SetEvent(manual));
        EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(ResetEvent(manual));
        EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
        CloseHandle(manual);

        HANDLE automatic = CreateEventA(nullptr, FALSE, TRUE, name);
        ASSERT_NE(automatic, nullptr);
        EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
        CloseHandle(automatic);
    }

    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "Global\\MoxAccess");
    HANDLE waitOnly = OpenEventA(SYNCHRONIZE, FALSE, "Global\\MoxAccess");
    HANDLE setOnly = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Global\\MoxAccess");
    ASSERT_TRUE(event && waitOnly && setOnly);
    SetLastError(0);
    EXPECT_FALSE(SetEvent(waitOnly));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(WaitForSingleObject(setOnly, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(SetEvent(setOnly));
    EXPECT_EQ(WaitForSingleObject(waitOnly, 0), WAIT_OBJECT_0);
    CloseHandle(setOnly);
    CloseHandle(waitOnly);
    CloseHandle(event);
}

TEST_F(WinSync, TimedEventWaitEndsAtTheDeadlineInVirtualTime) {
    sim::ScopedVirtualClock clock(0);
    for (const char* name : {"", "Global\\MoxTimed"}) {
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
        const uint64_t start = sim::Clock::NowMs();
        EXPECT_EQ(WaitForSingleObject(event, 60000), WAIT_TIMEOUT);
        EXPECT_EQ(sim::Clock::NowMs() - start, 60000u);
        CloseHandle(event);
    }
}

TEST_F(WinSync, InfiniteWaitEndsWhenAnotherThreadSetsTheEvent) {
    for (const char* name : {"", "Global\\MoxWake"}) {
        HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name);
        const size_t waits = machine->calls().Count("WaitForSingleObject");
        std::thread setter([&] {
            EXPECT_TRUE(machine->calls().AwaitMatching("WaitForSingleObject", "{}", waits + 1));
            SetEvent(event);
        });
        EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
        setter.join();
        CloseHandle(event);
    }
}

TEST_F(WinSync, TheSimulatedDriverSignalsANamedEventByName) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "Global\\0123456789ABCDEF0123456789ABCDEF");
    EXPECT_TRUE(sim::SignalNamedEvent("Global\\0123456789ABCDEF0123456789ABCDEF"));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CloseHandle(event);
    EXPECT_FALSE(sim::SignalNamedEvent("Global\\0123456789ABCDEF0123456789ABCDEF"));
}

// ---- semaphores ----

TEST_F(WinSync, SemaphoresCountUpToTheirMaximum) {
    for (const char* name : {"", "KEDO_RAID_RESCAN_ACTION_SEMAPHORE"}) {
        HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 2, name);
        ASSERT_NE(semaphore, nullptr);
        EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
        LONG previous = -1;
        EXPECT_TRUE(ReleaseSemaphore(semaphore, 2, &previous));
        EXPECT_EQ(previous, 0);
        SetLastError(0);
        EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, &previous));
        EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
        EXPECT_FALSE(ReleaseSemaphore(semaphore, 0, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        CloseHandle(semaphore);
    }
    for (auto [initial, maximum] : {std::pair{2, 1}, {-1, 1}, {0, 0}}) {
        SetLastError(0);
        EXPECT_EQ(CreateSemaphoreA(nullptr, initial, maximum, "MoxBadCounts"), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
}

// ---- waitable timers ----

TEST_F(WinSync, DeadlinePollOfOneMinuteRunsInVirtualTime) {
    sim::ScopedVirtualClock clock(1000);
    const auto realStart = std::chrono::steady_clock::now();
    HANDLE timer = CreateWaitableTimerA(nullptr, TRUE, nullptr);
    ASSERT_NE(timer, nullptr);
    LARGE_INTEGER due;
    due.QuadPart = -60000LL * 10000;
    ASSERT_TRUE(SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE));
    int polls = 0;
    while (WaitForSingleObject(timer, 500) == WAIT_TIMEOUT)
        ++polls;
    EXPECT_EQ(polls, 119);
    EXPECT_EQ(sim::Clock::NowMs(), 61000u);
    // A manual-reset timer stays signalled until it is set again.
    EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE));
    EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(timer, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(sim::Clock::NowMs(), 121000u);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 2s);
    CloseHandle(timer);
}

TEST_F(WinSync, SynchronisationTimerGivesEachFiringOnceAndRepeatsByItsPeriod) {
    sim::ScopedVirtualClock clock(0);
    HANDLE timer = CreateWaitableTimerA(nullptr, FALSE, nullptr);
    LARGE_INTEGER due;
    due.QuadPart = -1000LL * 10000;
    ASSERT_TRUE(SetWaitableTimer(timer, &due, 250, nullptr, nullptr, FALSE));
    EXPECT_EQ(WaitForSingleObject(timer, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(sim::Clock::NowMs(), 1000u);
    EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(timer, 1000), WAIT_OBJECT_0);
    EXPECT_EQ(sim::Clock::NowMs(), 1250u);
    EXPECT_TRUE(CancelWaitableTimer(timer));
    EXPECT_EQ(WaitForSingleObject(timer, 1000), WAIT_TIMEOUT);
    EXPECT_EQ(sim::Clock::NowMs(), 2250u);

    // A relative due time rounds up to whole milliseconds; an unset timer never fires.
    due.QuadPart = -1;
    ASSERT_TRUE(SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE));
    EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(timer, 1), WAIT_OBJECT_0);

    HANDLE unset = CreateWaitableTimerA(nullptr, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(unset, 5000), WAIT_TIMEOUT);

    SetLastError(0);
    EXPECT_FALSE(SetWaitableTimer(
        timer, &due, 0, [](LPVOID, DWORD, DWORD) {}, nullptr, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(SetWaitableTimer(timer, &due, 0, nullptr, nullptr, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    CloseHandle(unset);
    CloseHandle(timer);
}

// ---- failures the machine decides ----

TEST_F(WinSync, InjectedFailuresReachTheCaller) {
    machine->faults().Add(sim::FaultRule::FromJson({{"kind", "CreateMutex"},
                                                    {"match", {{"name", "Global\\MoxFail"}}},
                                                    {"outcome", {{"win32_error", 5}}}}));
    machine->faults().Add(
        sim::FaultRule::FromJson({{"kind", "WaitForSingleObject"},
                                  {"match", {{"object", "mutex"}}},
                                  {"outcome", {{"wait_result", "0xFFFFFFFF"}, {"win32_error", 6}}}}));
    machine->faults().Add(
        sim::FaultRule::FromJson({{"kind", "SetEvent"}, {"outcome", {{"win32_error", 31}}}}));

    SetLastError(0);
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, "Global\\MoxFail"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\MoxFail");
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    ReleaseMutex(mutex);
    CloseHandle(mutex);

    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_TRUE(SetEvent(event));
    CloseHandle(event);

    EXPECT_EQ(machine->calls().Count("CreateMutex"), 2u);
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x7777), 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(WinSyncMachine, AServiceObjectRefusesCreationButOpensForWaiting) {
    sim::ScopedMachine machine(sim::Value{
        {"name", "service-object"},
        {"kernel_objects", {{"deny_create", {{{"name", "Global\\MoxServiceMutex"}, {"type", "mutex"}}}}}}});
    SetLastError(0);
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, "Global\\MoxServiceMutex"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(sim::NamedObjectExists("Global\\MoxServiceMutex"));
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Global\\MoxServiceMutex");
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST(WinSyncMachine, WithoutElevationOnlySessionObjectsCanBeMade) {
    sim::ScopedMachine machine(sim::Value{{"name", "standard-user"}, {"os", {{"elevated", false}}}});
    SetLastError(0);
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, "Global\\MoxUser"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE local = CreateMutexA(nullptr, FALSE, "MoxUser");
    EXPECT_NE(local, nullptr);
    CloseHandle(local);
}

// ---- other processes ----

TEST_F(WinSync, AMutexHeldByAnotherProcessIsRefusedAndWaitedFor) {
    moxtest::Child child({"mutex-hold", "Global\\MoxCross"});
    ASSERT_EQ(child.ReadLine(), "ready 0");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\MoxCross");
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT);
    {
        sim::ScopedVirtualClock clock(0);
        EXPECT_EQ(WaitForSingleObject(mutex, 30000), WAIT_TIMEOUT);
        EXPECT_EQ(sim::Clock::NowMs(), 30000u);
    }
    child.WriteLine("release");
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(child.ReadLine(), "released 1");
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST_F(WinSync, AMutexWhoseOwnerProcessEndedIsAbandoned) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\MoxDead");
    {
        moxtest::Child killed({"mutex-hold", "Global\\MoxDead"});
        ASSERT_EQ(killed.ReadLine(), "ready 0");
        killed.Kill();
    }
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    {
        // A process that ends normally without releasing abandons it too.
        moxtest::Child ended({"mutex-hold", "Global\\MoxDead"});
        ASSERT_EQ(ended.ReadLine(), "ready 0");
        EXPECT_EQ(ended.Wait(), 0);
    }
    auto other = moxtest::RunChild({"mutex-try", "Global\\MoxDead"});
    EXPECT_EQ(other.output, "128\n");
    CloseHandle(mutex);

    // With no handle left anywhere the mutex is gone, and a new one starts unowned.
    {
        moxtest::Child killed({"mutex-hold", "Global\\MoxGone"});
        ASSERT_EQ(killed.ReadLine(), "ready 0");
        killed.Kill();
    }
    EXPECT_FALSE(sim::NamedObjectExists("Global\\MoxGone"));
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "Global\\MoxGone"), nullptr);
    EXPECT_EQ(moxtest::RunChild({"mutex-try", "Global\\MoxGone"}).output, "0\n");
}

TEST_F(WinSync, AnotherProcessSetsANamedEvent) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "Global\\MoxCrossEvent");
    std::thread setter([] {
        EXPECT_EQ(moxtest::RunChild({"event-set", "Global\\MoxCrossEvent"}).output, "1\n");
    });
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    setter.join();
    CloseHandle(event);
    EXPECT_EQ(moxtest::RunChild({"event-set", "Global\\MoxCrossEvent"}).output, "error 2\n");
}

TEST_F(WinSync, ASemaphoreExistsExactlyWhileItsProcessHoldsIt) {
    moxtest::Child holder({"semaphore-hold", "KEDO_RAID_RESCAN_ACTION_SEMAPHORE"});
    ASSERT_EQ(holder.ReadLine(), "ready 0");
    HANDLE second = CreateSemaphoreA(nullptr, 0, 1, "KEDO_RAID_RESCAN_ACTION_SEMAPHORE");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(second);
    holder.Kill();
    HANDLE third = CreateSemaphoreA(nullptr, 0, 1, "KEDO_RAID_RESCAN_ACTION_SEMAPHORE");
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(third);
}

// ---- critical sections and condition waits ----

TEST(WinSyncLocal, CriticalSectionIsReentrantForItsOwnerOnly) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    EXPECT_EQ(section.RecursionCount, 2);
    EXPECT_EQ(OnOtherThread([&] { return static_cast<DWORD>(TryEnterCriticalSection(&section)); }), 0u);
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    EXPECT_EQ(OnOtherThread([&] {
                  BOOL entered = TryEnterCriticalSection(&section);
                  if (entered)
                      LeaveCriticalSection(&section);
                  return static_cast<DWORD>(entered);
              }),
              1u);
    DeleteCriticalSection(&section);
}

TEST(WinSyncLocal, ConditionWaitRunsOnTheMachinesClock) {
    sim::ScopedVirtualClock clock(0);
    std::mutex m;
    std::condition_variable cv;
    std::unique_lock lock(m);
    EXPECT_FALSE(platform::WaitForCondition(lock, cv, 60000, [] { return false; }));
    EXPECT_EQ(sim::Clock::NowMs(), 60000u);
    EXPECT_TRUE(platform::WaitForCondition(lock, cv, 0xFFFFFFFFFFFFull, [] { return true; }));
}

} // namespace
