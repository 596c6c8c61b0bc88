#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "cli/EventListener.h"
#include "cli/UviCalls.h"
#include "tests/cli/CaptureStdout.h"

namespace {

// A subscription the test feeds: each wait blocks until the test queues a result or the listener
// closes the subscription.
struct FakeSubscription {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<uint32_t, uint32_t>> queue; // status, event bits
    uint64_t handle = 5;
    bool closed = false;
    int closes = 0;
    int waits = 0;
    int lastKind = -1;
    bool threadEnded = false;

    void push(uint32_t status, uint32_t bits = 0) {
        std::lock_guard<std::mutex> lock(mutex);
        queue.emplace_back(status, bits);
        changed.notify_all();
    }
    // Returns once the listener is in its n-th wait, so everything before it has been handled.
    void awaitWaits(int n) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return waits >= n; });
    }
    // Returns once the listener's thread has ended.
    void awaitThreadEnd() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return threadEnded; });
    }
};

// Tells the fake when the thread that waits on it ends: its destructor runs at that thread's exit.
struct ThreadEndNotice {
    FakeSubscription* fake;
    ~ThreadEndNotice() {
        std::lock_guard<std::mutex> lock(fake->mutex);
        fake->threadEnded = true;
        fake->changed.notify_all();
    }
};

FakeSubscription* g_fake = nullptr;

unsigned long long FakeSetUp(int kind) {
    g_fake->lastKind = kind;
    return g_fake->handle;
}

_UVI_Error FakeWait(unsigned int timeoutMs, unsigned long long handle, _UVI_EventRecord* record) {
    EXPECT_EQ(timeoutMs, 0xFFFFFFFFu);
    EXPECT_EQ(handle, g_fake->handle);
    thread_local ThreadEndNotice notice{g_fake};
    std::unique_lock<std::mutex> lock(g_fake->mutex);
    ++g_fake->waits;
    g_fake->changed.notify_all();
    g_fake->changed.wait(lock, [] { return g_fake->closed || !g_fake->queue.empty(); });
    _UVI_Error result{};
    if (g_fake->queue.empty()) {
        result.status = UVI_STATUS_FAILED;
        result.code = 0xA0010062;
        return result;
    }
    const auto [status, bits] = g_fake->queue.front();
    g_fake->queue.pop_front();
    result.status = static_cast<_UVI_Status>(status);
    result.code = status == 0 ? 0x20000000 : 0xA0010061;
    if (status == 0)
        record->flags = bits;
    return result;
}

_UVI_Error FakeClose(unsigned long long) {
    std::lock_guard<std::mutex> lock(g_fake->mutex);
    g_fake->closed = true;
    ++g_fake->closes;
    g_fake->changed.notify_all();
    return _UVI_Error{};
}

class EventListenerTest : public ::testing::Test {
protected:
    void SetUp() override { g_fake = &fake; }
    void TearDown() override { g_fake = nullptr; }
    FakeSubscription fake;
    // The library's event entry points answered by the fake.
    const std::unique_ptr<MOX::UviStandInScope> standIns_[3] = {
        MOX::MakeUviStandIn(UviEventSetUpForKindWithHandle, FakeSetUp),
        MOX::MakeUviStandIn(UviEventWaitWithHandle, FakeWait), MOX::MakeUviStandIn(UviEventClose, FakeClose)};
};

TEST_F(EventListenerTest, EventBitsLatchUntilTheListenerEnds) {
    clitest::CaptureStdout out;
    MOX::EventListener listener(7);
    EXPECT_EQ(fake.lastKind, 7);
    fake.push(0, 0x50);
    fake.awaitWaits(2);
    EXPECT_TRUE(listener.firstEventSeen());
    EXPECT_TRUE(listener.secondEventSeen());
    fake.push(0, 0x01);
    fake.awaitWaits(3);
    EXPECT_TRUE(listener.firstEventSeen() && listener.secondEventSeen());
    listener.stop();
    EXPECT_EQ(fake.closes, 1);
    EXPECT_EQ(out.text(), "");
}

TEST_F(EventListenerTest, TimeoutsAreIgnored) {
    clitest::CaptureStdout out;
    MOX::EventListener listener(2);
    fake.push(9);
    fake.push(0, 0x10);
    fake.awaitWaits(3);
    EXPECT_TRUE(listener.firstEventSeen());
    EXPECT_FALSE(listener.secondEventSeen());
    listener.stop();
    EXPECT_EQ(out.text(), "");
}

TEST_F(EventListenerTest, FailedWaitIsReportedOnceAndEndsTheThread) {
    clitest::CaptureStdout out;
    {
        MOX::EventListener listener(2);
        fake.push(3);
        fake.push(0, 0x40); // never read: the thread has ended
        // The thread ends by itself after its report.
        fake.awaitThreadEnd();
        EXPECT_FALSE(listener.isListening());
        listener.stop();
        EXPECT_FALSE(listener.secondEventSeen());
    }
    EXPECT_EQ(fake.waits, 1);
    EXPECT_EQ(out.text(),
              "Problem listening for events\n\nREQUEST_FAILED: Request is formatted correctly but "
              "failed to execute.\n");
}

TEST_F(EventListenerTest, StopRightAfterStartIsQuiet) {
    clitest::CaptureStdout out;
    {
        MOX::EventListener listener(2);
        listener.stop();
        listener.stop();
    }
    EXPECT_TRUE(fake.closed);
    EXPECT_EQ(out.text(), "");
}

TEST_F(EventListenerTest, FailedSubscriptionIsReportedAndStaysInert) {
    fake.handle = 0;
    clitest::CaptureStdout out;
    {
        MOX::EventListener listener(4);
        listener.stop();
        EXPECT_FALSE(listener.firstEventSeen() || listener.secondEventSeen());
    }
    EXPECT_EQ(fake.closes, 0);
    EXPECT_EQ(fake.waits, 0);
    EXPECT_EQ(out.text(),
              "Problem listening for events\n\nINVALID_DEVICE: Request not formatted correctly, device "
              "does not exist.\n\nFailed setting up event listening: 4\n");
}

} // namespace
