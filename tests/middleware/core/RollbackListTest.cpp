#include <future>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/GlobalLogger.h"
#include "middleware/core/RollbackList.h"

namespace {

TEST(RollbackList, UncommittedStepsRunNewestFirstAndCommittedOnesNever) {
    std::string ran;
    {
        RollbackList list;
        for (char step : std::string("ABC"))
            list.push([&ran, step] { ran += step; });
    }
    EXPECT_EQ(ran, "CBA");

    ran.clear();
    {
        RollbackList list;
        list.push([&] { ran += 'A'; });
        list.commit();
        list.push([&] { ran += 'B'; });
    }
    EXPECT_EQ(ran, "");
    { RollbackList empty; }
}

TEST(RollbackList, StepsRunWithErrorRegistrationOff) {
    CConsolidatedError failure;
    failure.SetError(CConsolidatedError::UVI_FAILED, "undo failed");
    uint32_t idDuringUndo = 99;
    {
        RollbackList list;
        list.push([&] { idDuringUndo = static_cast<_UVI_Error>(failure).errorId; });
    }
    EXPECT_EQ(idDuringUndo, 0u);
    EXPECT_NE(static_cast<_UVI_Error>(failure).errorId, 0u);
}

uint32_t RegisteredId() {
    CConsolidatedError failure(CConsolidatedError::UVI_FAILED);
    return static_cast<_UVI_Error>(failure).errorId;
}

// A rollback nested in an undo step ends before its outer one: the outer's remaining steps still
// run with registration off, so their failures cannot replace the real one.
TEST(RollbackList, RegistrationStaysOffUntilTheOutermostRollbackEnds) {
    uint32_t afterInner = 99;
    {
        RollbackList outer;
        outer.push([&] { afterInner = RegisteredId(); });
        outer.push([] {
            RollbackList inner;
            inner.push([] {});
        });
    }
    EXPECT_EQ(afterInner, 0u);
    EXPECT_NE(RegisteredId(), 0u);
}

// Another thread's rollback ending meanwhile does not switch registration on under this one.
TEST(RollbackList, RegistrationStaysOffWhileAnotherThreadsRollbackRuns) {
    std::promise<void> go;
    std::shared_future<void> released = go.get_future().share();
    uint32_t idAfterOtherEnded = 99;
    std::thread other([&] {
        RollbackList list;
        list.push([&] { released.wait(); });
    });
    {
        RollbackList list;
        list.push([&] { idAfterOtherEnded = RegisteredId(); });
        list.push([&] {
            go.set_value();
            other.join();
        });
    }
    EXPECT_EQ(idAfterOtherEnded, 0u);
    EXPECT_NE(RegisteredId(), 0u);
}

// Registration that was off before the rollback stays off after it.
TEST(RollbackList, RegistrationOffBeforehandStaysOff) {
    GlobalLogger::SetLoggingOff();
    {
        RollbackList list;
        list.push([] {});
    }
    EXPECT_FALSE(GlobalLogger::IsLoggingOn());
    EXPECT_EQ(RegisteredId(), 0u);
    GlobalLogger::SetLoggingOn();
}

TEST(RollbackList, AFailingOrEmptyStepDoesNotStopTheOthers) {
    std::string ran;
    {
        RollbackList list;
        list.push([&] { ran += 'A'; });
        list.push([] { throw std::runtime_error("undo step"); });
        list.push(std::function<void()>());
        list.push([] { throw 7; });
        list.push([&] { ran += 'E'; });
    }
    EXPECT_EQ(ran, "EA");
    CConsolidatedError failure(CConsolidatedError::UVI_FAILED);
    EXPECT_NE(static_cast<_UVI_Error>(failure).errorId, 0u);
}

} // namespace
