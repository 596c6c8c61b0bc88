#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/HandleList.h"

namespace {

TEST(HandleList, TheTwoCallConventionWritesWhatFitsAndTellsHowManyThereAre) {
    struct Case {
        std::vector<uint32_t> handles;
        unsigned capacity;
        bool nullList;
        uint32_t code;
        unsigned countAfter;
        std::vector<uint32_t> written;
    };
    constexpr uint32_t kOk = CConsolidatedError::SUCCESS;
    constexpr uint32_t kTooSmall = CConsolidatedError::UVI_BUFFERTOOSMALL;
    const uint32_t kNull = MapUviStatusToCode(UVI_STATUS_INVALID_PARAMETER);
    const std::vector<Case> cases = {
        {{}, 0, true, kOk, 0, {}},                   // first call, nothing there
        {{7, 8, 9}, 0, true, kTooSmall, 3, {}},      // first call, three there
        {{7, 8, 9}, 2, false, kTooSmall, 3, {7, 8}}, // too small: what fits is written
        {{7, 8, 9}, 3, false, kOk, 3, {7, 8, 9}},    // second call
        {{7, 8, 9}, 5, false, kOk, 3, {7, 8, 9}},    // room to spare
        {{7, 8, 9}, 2, true, kNull, 2, {}},          // a capacity without a list
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> list(c.capacity, 0xEEEEEEEE);
        unsigned count = c.capacity;
        const CConsolidatedError result =
            FillHandleList(c.handles, c.nullList ? nullptr : list.data(), &count, "null list", "too small");
        EXPECT_EQ(result.GetErrorCode(), c.code) << c.capacity;
        EXPECT_EQ(count, c.countAfter) << c.capacity;
        for (size_t i = 0; i < c.written.size(); ++i)
            EXPECT_EQ(list[i], c.written[i]);
        for (size_t i = c.written.size(); i < list.size(); ++i)
            EXPECT_EQ(list[i], 0xEEEEEEEE) << "written past the handles";
        const char* message = c.code == kTooSmall ? "too small" : c.code == kNull ? "null list" : "";
        EXPECT_STREQ(result.GetErrorMessage(), message);
    }
    int signedList[2] = {};
    EXPECT_EQ(FillHandleList({1, 2}, signedList, nullptr, "null list", "").GetErrorCode(), kNull);
}

} // namespace
