#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/UviWrapper.h"
#include "cli/tasks/AccelerateTask.h"
#include "cli/tasks/HalvexMemoryTask.h"
#include "middleware/accelerate/UVIAccelerateAction.h"
#include "middleware/api/UviApi.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/cli/CaptureStdout.h"
#include "tests/cli/ParsedCommandLine.h"
#include "tests/cli/UviFaults.h"
#include "tests/support/MachineParts.h"

namespace {

using MOX::AccelerateTask;
using MOX::Error;

// A library on a machine with a cache-memory pairing controller, for the tasks that need a session.
struct OnPairingMachine : ::testing::Test {
    sim::ScopedMachine machine{moxtest::PairingMachine()};
    MOX::UviWrapper library;
};

// ---- the factory ----

struct Built {
    int32_t returnCode = 0;
    std::vector<std::string> details;
    std::vector<AccelerateTask::Action> actions;
    std::string fastDriveId, accelDriveId;
    double blockCacheSizeGb = 0;
    int32_t fileCacheSizeMb = 0;
    int32_t fileCacheOffset = 0;
};

Built Build(const std::vector<std::string>& args) {
    clitest::Parsed parsed(args, 0);
    EXPECT_FALSE(parsed.result.isError()) << args.back();
    Built built;
    try {
        std::unique_ptr<MOX::ITask> task = MOX::HalvexMemoryTaskFactory().createTask(parsed.parser);
        const auto& made = dynamic_cast<AccelerateTask&>(*task);
        built.actions = made.getActions();
        built.fastDriveId = made.fastDriveId;
        built.accelDriveId = made.accelDriveId;
        built.blockCacheSizeGb = made.blockCacheSizeGb;
        built.fileCacheSizeMb = made.fileCacheSizeMb;
        built.fileCacheOffset = made.fileCacheOffset;
    } catch (const MOX::MoxErrorException& e) {
        built.returnCode = e.getError().getType();
        built.details = e.getError().getDetails();
    }
    return built;
}

TEST_F(OnPairingMachine, TheFactoryAllowsExactlyOneActionAndChecksItsDrivesAndSizes) {
    const std::string tooFew =
        "Too few HalvexMemory options.\nFor complete USAGE and HELP, type: moxcli --help";
    const std::string tooMany = "Too many sub options set.\nFor complete USAGE and HELP, type: moxcli --help";
    const std::string usage =
        "Usage: --HalvexMemory --enable --fast-drive <diskId> --drive-to-accel <diskId>";
    const std::string bounds = "Cache size cannot be less than 2 GB or more than the disk size up to 64 GB.";
    const struct {
        std::vector<std::string> args;
        int32_t returnCode;
        std::vector<std::string> details;
        int32_t kind;
    } cases[] = {
        {{"--HalvexMemory"}, 2, {tooFew}, 0},
        {{"--HalvexMemory", "--fast-drive", "0-1-0-0"}, 2, {tooFew}, 0},
        {{"--HalvexMemory", "--enable", "--disable"}, 2, {tooMany}, 0},
        {{"--HalvexMemory", "--enable", "--fast-drive", "0-1-0-0"}, 2, {usage}, 0},
        {{"--HalvexMemory", "--enable", "--drive-to-accel", "0-2-0-0"}, 2, {usage}, 0},
        {{"--HalvexMemory", "--enable"}, 0, {}, AccelerateTask::HALVEX_ENABLE},
        {{"--HalvexMemory", "--enable", "--fast-drive", "0-1-0-0", "--drive-to-accel", "0-2-0-0"},
         0,
         {},
         AccelerateTask::HALVEX_ENABLE},
        {{"--HalvexMemory", "--info"}, 0, {}, AccelerateTask::HALVEX_INFO},
        {{"--HalvexMemory", "--info", "--verbose"}, 0, {}, AccelerateTask::HALVEX_INFO_VERBOSE},
        {{"--HalvexMemory", "--start"}, 0, {}, AccelerateTask::HALVEX_START_TOOLS},
        {{"--HalvexMemory", "--disable"}, 0, {}, AccelerateTask::HALVEX_DISABLE},
        {{"--HalvexMemory", "--progress"}, 0, {}, AccelerateTask::HALVEX_PROGRESS},
        {{"--HalvexMemory", "--clear-cache"}, 0, {}, AccelerateTask::HALVEX_CLEAR_CACHE},
        // The size bounds hold whatever the action.
        {{"--HalvexMemory", "--info", "--cache-size", "1"}, 42, {bounds}, 0},
        {{"--HalvexMemory", "--disable", "--block-cache-size", "65"}, 42, {bounds}, 0},
        {{"--HalvexMemory", "--enable", "--cache-size", "2"}, 0, {}, AccelerateTask::HALVEX_ENABLE},
        {{"--HalvexMemory", "--enable", "--cache-size", "64"}, 0, {}, AccelerateTask::HALVEX_ENABLE},
    };
    for (const auto& c : cases) {
        const Built got = Build(c.args);
        const std::string what = c.args.size() > 1 ? c.args[1] + " " + c.args.back() : c.args[0];
        EXPECT_EQ(got.returnCode, c.returnCode) << what;
        EXPECT_EQ(got.details, c.details) << what;
        if (c.returnCode != 0)
            continue;
        ASSERT_EQ(got.actions.size(), 1u) << what;
        EXPECT_EQ(got.actions[0].kind, c.kind) << what;
        EXPECT_TRUE(got.actions[0].args.empty()) << what;
    }
}

TEST_F(OnPairingMachine, TheFactoryCopiesTheParametersTheFirstOfEachPairWinning) {
    const Built both = Build({"--HalvexMemory", "--enable", "--fast-drive", "0-1-0-0", "--disk-to-accel",
                              "0-2-0-0", "--drive-to-accel", "0-9-0-0", "--file-cache-size", "3",
                              "--migration-size", "5", "--migration-start", "468000", "--cache-size", "16"});
    EXPECT_EQ(both.returnCode, 0);
    EXPECT_EQ(both.fastDriveId, "0-1-0-0");
    EXPECT_EQ(both.accelDriveId, "0-2-0-0");
    EXPECT_EQ(both.fileCacheSizeMb, 3072);
    EXPECT_EQ(both.fileCacheOffset, 468000);
    EXPECT_EQ(both.blockCacheSizeGb, 16.0);

    const Built none = Build({"--HalvexMemory", "--enable"});
    EXPECT_EQ(none.fastDriveId, "");
    EXPECT_EQ(none.fileCacheSizeMb, -1);
    EXPECT_EQ(none.fileCacheOffset, -1);
    EXPECT_TRUE(std::isinf(none.blockCacheSizeGb) && none.blockCacheSizeGb < 0);
}

// ---- texts ----

TEST(PercentToText, DigitsAndPercentUpToAHundredElseNotAvailable) {
    const struct {
        uint32_t value;
        const char* text;
    } cases[] = {{0, "0%"}, {42, "42%"}, {100, "100%"}, {101, "N/A"}, {0xFFFFFFFFu, "N/A"}};
    for (const auto& c : cases)
        EXPECT_EQ(MOX::PercentToText(c.value), c.text) << c.value;
}

} // namespace
