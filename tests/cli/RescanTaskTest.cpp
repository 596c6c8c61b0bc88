// The rescan mode: its four lines, and a rescan of another process making it busy.
#include <gtest/gtest.h>

#include "middleware/api/SystemOperations.h"
#include "tests/cli/VolumeModesFixture.h"

namespace {

TEST(RescanTask, PrintsItsFourLinesOrEndsWithTheBusyRescan) {
    clitest::VolumeModes pc(0);
    const clitest::ModeRun done = pc.Run({"--rescan"});
    EXPECT_EQ(done.result.getType(), 0);
    EXPECT_EQ(done.text, "\n--RESCAN--\n\nRescan the system for hardware changes. \n");

    moxtest::Child other({"semaphore-hold", kRescanSemaphoreName});
    ASSERT_EQ(other.ReadLine(), "ready 0");
    const clitest::ModeRun busy = pc.Run({"--rescan"});
    other.WriteLine("done");
    EXPECT_EQ(other.Wait(), 0);
    EXPECT_TRUE(busy.result.isError());
    EXPECT_EQ(static_cast<uint32_t>(busy.result.getCode()), 0xA0010009u);
    ASSERT_GE(busy.result.getDetails().size(), 2u);
    EXPECT_EQ(busy.result.getDetails().front(), "System Rescan Busy");
    EXPECT_EQ(clitest::LastDetail(busy.result), "Cannot Rescan the system.");
    EXPECT_EQ(busy.text, "");
}

} // namespace
