// The session table over builders a test controls: ids, the ten slots, closing while calls hold a
// session, the library's start and stop, and the calls that run on a session.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <latch>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/model/Session.h"
#include "middleware/model/SessionHandler.h"
#include "middleware/model/SessionHolder.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace {

// A session that counts its deletions.
class CountedSession : public Session {
public:
    CountedSession(ZrcRemapRequestCache* cache, std::atomic<int>& deleted)
        : Session(cache), deleted_(deleted) {}
    ~CountedSession() override { ++deleted_; }

private:
    std::atomic<int>& deleted_;
};

class SessionTable : public ::testing::Test {
protected:
    SessionTable()
        : machine_(sim::MachineBuilder::Default()),
          handler_([this](Session*& session, ZrcRemapRequestCache* cache) {
              ++builds_;
              if (beforeBuild_)
                  beforeBuild_();
              // Like the real build: a session comes back with success and with 0xA0010050 only.
              if (result_.IsSuccessful() ||
                  result_.GetErrorCode() == CConsolidatedError::UVI_NO_CONTROLLER_FOUND)
                  session = new CountedSession(cache, deleted_);
              return result_;
          }) {}

    unsigned Open() {
        unsigned id = 0;
        const CConsolidatedError result = handler_.openSession(id);
        EXPECT_TRUE(result.IsSuccessful()) << std::hex << result.GetErrorCode();
        return id;
    }

    static void ExpectNotFound(const CConsolidatedError& result, const char* debug) {
        EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::GENERAL_INVALID_VALUE);
        EXPECT_STREQ(result.GetDebugInformation(), debug);
    }

    sim::ScopedMachine machine_;
    std::atomic<int> builds_{0};
    std::atomic<int> deleted_{0};
    CConsolidatedError result_;
    std::function<void()> beforeBuild_;
    SessionHandler handler_;
};

TEST_F(SessionTable, StartAndStopAnswerTheirStatusWhenRepeated) {
    unsigned id = 77;
    EXPECT_EQ(handler_.openSession(id).GetErrorCode(), CConsolidatedError::UVI_NOTINITIALIZED);
    EXPECT_EQ(id, 77u);
    EXPECT_EQ(handler_.finalize().GetErrorCode(), CConsolidatedError::UVI_NOTINITIALIZED);
    EXPECT_TRUE(handler_.initialize().IsSuccessful());
    EXPECT_EQ(handler_.initialize().GetErrorCode(), CConsolidatedError::UVI_DUPLICATE);
    EXPECT_TRUE(handler_.finalize().IsSuccessful());
    EXPECT_EQ(handler_.finalize().GetErrorCode(), CConsolidatedError::UVI_NOTINITIALIZED);
    EXPECT_EQ(builds_, 0);
}

TEST_F(SessionTable, IdsCountOnAndAreNeverReusedAcrossARestart) {
    ASSERT_TRUE(handler_.initialize().IsSuccessful());
    EXPECT_EQ(Open(), 1u);
    EXPECT_TRUE(handler_.closeSession(1).IsSuccessful());
    EXPECT_EQ(deleted_, 1);
    EXPECT_EQ(Open(), 2u); // the same slot, a new id
    ASSERT_TRUE(handler_.finalize().IsSuccessful());
    EXPECT_EQ(deleted_, 2) << "a session no call holds ends with the library";
    ASSERT_TRUE(handler_.initialize().IsSuccessful());
    EXPECT_EQ(Open(), 3u);
    Session* session = nullptr;
    ExpectNotFound(handler_.lockSession(2, session), "Session handler, lock session: session not found");
}

TEST_F(SessionTable, TheEleventhOpenIsRefusedWithoutABuild) {
    ASSERT_TRUE(handler_.initialize().IsSuccessful());
    for (unsigned expected = 1; expected <= 10; ++expected)
        EXPECT_EQ(Open(), expected);
    unsigned id = 0;
    const CConsolidatedError refused = handler_.openSession(id);
    EXPECT_EQ(refused.GetErrorCode(), CConsolidatedError::UVI_INSUFFICIENTRESOURCES);
    EXPECT_STREQ(refused.GetErrorMessage(), "Too many sessions opened!");
    EXPECT_EQ(builds_, 10);
    EXPECT_TRUE(handler_.closeSession(4).IsSuccessful());
    EXPECT_EQ(Open(), 11u);
}

TEST_F(SessionTable, AFailedBuildGivesOutNoIdAndFreesItsSlot) {
    ASSERT_TRUE(handler_.initialize().IsSuccessful());
    for (auto code : {CConsolidatedError::UVI_NO_CONTROLLER_FOUND, CConsolidatedError::UVI_INVALIDSTATE}) {
        result_ = CConsolidatedError(code);
        unsigned id = 5;
        EXPECT_EQ(handler_.openSession(id).GetErrorCode(), code);
        EXPECT_EQ(id, 0u);
    }
    EXPECT_EQ(deleted_, 1) << "the session returned with 0xA0010050 is deleted";
    result_ = CConsolidatedError();
    for (unsigned expected = 1; expected <= 10; ++expected)
        EXPECT_EQ(Open(), expected) << "every slot is free again";
}

TEST_F(SessionTable, CloseWhileHeldDeletesAtTheLastUnlock) {
    ASSERT_TRUE(handler_.initialize().IsSuccessful());
    const int id = static_cast<int>(Open());
    Session* first = nullptr;
    Session* second = nullptr;
    ASSERT_TRUE(handler_.lockSession(id, first).IsSuccessful());
    ASSERT_TRUE(handler_.lockSession(id, second).IsSuccessful());
    ASSERT_EQ(first, second);

    std::thread closer([&] { EXPECT_TRUE(handler_.closeSession(id).IsSuccessful()); });
    closer.join();
    EXPECT_EQ(deleted_, 0);
    Session* late = nullptr;
    ExpectNotFound(handler_.lockSession(id, late), "Session handler, lock session: session not found");
    EXPECT_TRUE(handler_.closeSession(id).IsSuccessful()) << "closing again while held only marks it again";

    EXPECT_TRUE(handler_.unlockSession(first).IsSuccessful());
    EXPECT_EQ(deleted_, 0);
    EXPECT_TRUE(handler_.unlockSession(second).IsSuccessful());
    EXPECT_EQ(deleted_, 1);
    ExpectNotFound(handler_.unlockSession(second), "Session handler, unlock session: session not found");
    ExpectNotFound(handler_.closeSession(id), "Session handler, destroy session: session not found");
}

TEST_F(SessionTable, ASessionHeldWhenTheLibraryStopsEndsWithItsLastCall) {
    ASSERT_TRUE(handler_.initialize().IsSuccessful());
    const int id = static_cast<int>(Open());
    Session* held = nullptr;
    ASSERT_TRUE(handler_.lockSession(id, held).IsSuccessful());
    ASSERT_TRUE(handler_.finalize().IsSuccessful());
    ASSERT_TRUE(handler_.initialize().IsSuccessful());
    EXPECT_EQ(deleted_, 0) << "a call still runs on it";
    EXPECT_TRUE(handler_.unlockSession(held).IsSuccessful());
    EXPECT_EQ(deleted_, 1);
}

TEST_F(SessionTable, ABuildOutlivedByTheLibraryIsDiscarded) {
    ASSERT_TRUE(handler_.initialize().IsSuccessful());
    std::latch building(1);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    beforeBuild_ = [&] {
        building.count_down();
        released.wait();
    };
    auto opening = std::async(std::launch::async, [&] {
        unsigned id = 0;
        return std::make_pair(handler_.openSession(id), id);
    });
    building.wait();
    ASSERT_TRUE(handler_.finalize().IsSuccessful());
    ASSERT_TRUE(handler_.initialize().IsSuccessful());
    release.set_value();
    const auto [result, id] = opening.get();
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::UVI_NOTINITIALIZED);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(deleted_, 1);
    beforeBuild_ = nullptr;
    for (unsigned expected = 1; expected <= 10; ++expected)
        EXPECT_EQ(Open(), expected) << "the slot went back to the table";
}

TEST_F(SessionTable, ConcurrentOpensShareTheSlotsAndNeverAnId) {
    ASSERT_TRUE(handler_.initialize().IsSuccessful());
    // Every build is held until twelve opens have claimed what they could: two find no slot while
    // ten builds still run outside the table's lock.
    std::latch allClaimed(10);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    beforeBuild_ = [&] {
        allClaimed.count_down();
        released.wait();
    };
    std::vector<std::future<std::pair<CConsolidatedError, unsigned>>> opens;
    for (int i = 0; i < 12; ++i)
        opens.push_back(std::async(std::launch::async, [&] {
            unsigned id = 0;
            CConsolidatedError result = handler_.openSession(id);
            return std::make_pair(result, id);
        }));
    allClaimed.wait();
    int refused = 0;
    // The two refused opens return while the builds are held.
    for (auto& open : opens)
        if (open.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
            EXPECT_EQ(open.get().first.GetErrorCode(), CConsolidatedError::UVI_INSUFFICIENTRESOURCES);
            ++refused;
        }
    release.set_value();
    std::vector<unsigned> ids;
    for (auto& open : opens)
        if (open.valid()) {
            auto [result, id] = open.get();
            if (result.IsSuccessful())
                ids.push_back(id);
            else {
                EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::UVI_INSUFFICIENTRESOURCES);
                ++refused;
            }
        }
    EXPECT_EQ(refused, 2);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<unsigned>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_F(SessionTable, CallsRunOnATableSessionOrOnOneOfTheirOwn) {
    int ran = 0;
    const SessionOperation count = [&](Session&) {
        ++ran;
        return CConsolidatedError();
    };
    EXPECT_EQ(runWithSession(handler_, 0, count).GetErrorCode(), CConsolidatedError::UVI_NOTINITIALIZED);
    EXPECT_EQ(runWithNewSession(handler_, count).GetErrorCode(), CConsolidatedError::UVI_NOTINITIALIZED);
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(builds_, 0);

    ASSERT_TRUE(handler_.initialize().IsSuccessful());
    const int id = static_cast<int>(Open());
    EXPECT_TRUE(runWithSession(handler_, id, count).IsSuccessful());
    EXPECT_EQ(builds_, 1) << "the table's session is used";
    EXPECT_TRUE(runWithSession(handler_, 0, count).IsSuccessful());
    EXPECT_EQ(builds_, 2);
    EXPECT_EQ(deleted_, 1) << "the call's own session ends with the call";
    EXPECT_EQ(ran, 2);

    EXPECT_EQ(runWithSession(handler_, id + 1, count).GetErrorCode(),
              CConsolidatedError::GENERAL_INVALID_VALUE);
    result_ = CConsolidatedError(CConsolidatedError::UVI_NO_CONTROLLER_FOUND);
    EXPECT_EQ(runWithSession(handler_, 0, count).GetErrorCode(), CConsolidatedError::UVI_NO_CONTROLLER_FOUND);
    EXPECT_EQ(deleted_, 2);
    EXPECT_EQ(ran, 2);
}

TEST_F(SessionTable, AnOwnSessionCallReturnsTheOperationsResultWhateverTheClose) {
    ASSERT_TRUE(handler_.initialize().IsSuccessful());
    // The operation closes its own session, so the close after it fails; the caller still sees
    // the operation's error.
    const CConsolidatedError result = runWithNewSession(handler_, [&](Session&, int id) {
        EXPECT_EQ(id, 1);
        EXPECT_TRUE(handler_.closeSession(id).IsSuccessful());
        return CConsolidatedError(CConsolidatedError::UVI_TIMEOUT);
    });
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::UVI_TIMEOUT);
    EXPECT_EQ(deleted_, 1);

    for (int i = 0; i < 10; ++i)
        Open();
    EXPECT_EQ(runWithNewSession(handler_, [](Session&) { return CConsolidatedError(); }).GetErrorCode(),
              CConsolidatedError::UVI_INSUFFICIENTRESOURCES);
}

TEST_F(SessionTable, ASessionIsGivenBackWhenTheOperationThrows) {
    ASSERT_TRUE(handler_.initialize().IsSuccessful());
    const int id = static_cast<int>(Open());
    EXPECT_THROW(static_cast<void>(runWithSession(handler_, id, SessionOperation())), std::bad_function_call);
    EXPECT_THROW(static_cast<void>(runWithSession(
                     handler_, 0,
                     [](Session&) -> CConsolidatedError { throw std::runtime_error("operation failed"); })),
                 std::runtime_error);
    EXPECT_EQ(deleted_, 1) << "the temporary session is deleted";
    EXPECT_TRUE(handler_.closeSession(id).IsSuccessful());
    EXPECT_EQ(deleted_, 2) << "no lock was left on the table's session";
}

} // namespace
