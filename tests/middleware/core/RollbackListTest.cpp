#include <stdexcept>
#include <string>

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
