#include <cstring>
#include <ctime>

#include <gtest/gtest.h>

#include "middleware/api/UviApi.h"
#include "sim/Machine.h"
#include "tests/middleware/pairing/CacheServiceTestMachine.h"

namespace {

int64_t LocalSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm broken{};
    broken.tm_year = year - 1900;
    broken.tm_mon = month - 1;
    broken.tm_mday = day;
    broken.tm_hour = hour;
    broken.tm_min = minute;
    broken.tm_sec = second;
    broken.tm_isdst = -1;
    return std::mktime(&broken);
}

TEST(UviGetHalvexOptimizationInfo, ThreeTimesAndTheRunningState) {
    for (int state : {1, 2}) {
        sim::ScopedMachine machine(cachetest::Machine(
            R"({"state": )" + std::to_string(state) +
            R"(, "last_start": 132223431030000000, "last_end": 132223432230000000, "next_start": "0xFFFFFFFFFFFFFFFF"})"));
        _UVI_HalvexOptimizationInfo info;
        std::memset(&info, 0x5A, sizeof info);
        const _UVI_Error error = UviGetHalvexOptimizationInfo(&info);
        EXPECT_EQ(error.status, UVI_STATUS_SUCCESS);
        // 2020-01-01 09:05:03 and 09:07:03; the service's all-ones time is unknown.
        EXPECT_EQ(info.lastOptimizationStart, LocalSeconds(2020, 1, 1, 9, 5, 3));
        EXPECT_EQ(info.lastOptimizationEnd, LocalSeconds(2020, 1, 1, 9, 7, 3));
        EXPECT_EQ(info.nextOptimizationStart, -1);
        EXPECT_EQ(info.optimizationRunning, state == 1);
    }
}

TEST(UviGetHalvexOptimizationInfo, ServiceNotListeningGivesItsWin32Code) {
    sim::ScopedMachine machine(cachetest::Machine().Set("/cache_service/listening", "false"));
    _UVI_HalvexOptimizationInfo info{};
    info.optimizationRunning = true;
    const _UVI_Error error = UviGetHalvexOptimizationInfo(&info);
    EXPECT_EQ(error.code, 0x20000001u);
    EXPECT_EQ(error.win32Error, 1702u); // RPC_S_INVALID_BINDING
    EXPECT_EQ(info.lastOptimizationStart, -1);
    EXPECT_EQ(info.lastOptimizationEnd, -1);
    EXPECT_EQ(info.nextOptimizationStart, -1);
    EXPECT_FALSE(info.optimizationRunning);
    CleanupUviError(error.errorId);
    const _UVI_Error refused = UviGetHalvexOptimizationInfo(nullptr);
    EXPECT_EQ(refused.code, 0xA0000006u);
    CleanupUviError(refused.errorId);
}

} // namespace
