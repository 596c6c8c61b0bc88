// The accelerate mode: its factory, the SSD caching actions, the report and the statistics, run on
// a machine whose controller has an NV cache volume.
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/ConsoleOutput.h"
#include "cli/UviWrapper.h"
#include "cli/tasks/AccelerateStats.h"
#include "cli/tasks/AccelerateTask.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/cli/CaptureStdout.h"
#include "tests/cli/ParsedCommandLine.h"
#include "tests/cli/UviFaults.h"
#include "tests/cli/VolumeModesFixture.h"
#include "tests/support/MachineParts.h"

namespace {

using MOX::AccelerateTask;
using MOX::Error;

const std::string END_OF_LIFE = "WYN is not supported in this version of the MOX Driver. Note: Booting from "
                                "previously existing WYN volumes is allowed.";

// ---- the factory ----

struct Built {
    int32_t returnCode = 0;
    std::vector<std::string> details;
    std::vector<AccelerateTask::Action> actions;
    double blockCacheSizeGb = 0;
    bool wait = false;
};

Built Build(const std::vector<std::string>& args) {
    clitest::Parsed parsed(args, 0);
    EXPECT_FALSE(parsed.result.isError()) << args.back();
    Built built;
    try {
        std::unique_ptr<MOX::ITask> task = MOX::AccelerateTaskFactory().createTask(parsed.parser);
        const auto& made = dynamic_cast<AccelerateTask&>(*task);
        built.actions = made.getActions();
        built.blockCacheSizeGb = made.blockCacheSizeGb;
        built.wait = made.waitForCompletion;
    } catch (const MOX::MoxErrorException& e) {
        built.returnCode = e.getError().getType();
        built.details = e.getError().getDetails();
    }
    return built;
}

struct OnDefaultMachine : ::testing::Test {
    sim::ScopedMachine machine{sim::MachineBuilder::Default()};
    MOX::UviWrapper library;
};

TEST_F(OnDefaultMachine, TheFactoryBuildsOneActionAndRefusesWhatCannotBeDone) {
    const std::string usage42 = "Usage: --accelerate --setAccelConfig --volume-to-accel volName or "
                                "--drive-to-accel driveId --mode off";
    const std::string usageMode = "Usage: --accelerate --setAccelConfig --volume-to-accel volName or "
                                  "--drive-to-accel <driveId> --mode off";
    const std::string bounds =
        "Cache size cannot be less than 14.9 GB or more than the disk size up to 64 GB.";
    const std::string tooMany = "Too many sub options set. See Accelerate task help for mor information.";
    const struct {
        std::vector<std::string> args;
        int32_t returnCode;
        std::vector<std::string> details;
        int32_t kind;
        std::vector<std::string> actionArgs;
    } cases[] = {
        // dumpStats is not counted, and stats is asked first.
        {{"--accelerate", "--stats", "--dumpStats"}, 0, {}, 7, {}},
        {{"--accelerate", "--dumpStats"}, 0, {}, 8, {}},
        {{"--accelerate", "--clear-stats"}, 0, {}, 9, {}},
        {{"--accelerate", "--accel-info", "--stats"}, 2, {tooMany}, 0, {}},
        {{"--accelerate", "--setAccelConfig", "--volume-to-accel", "V", "--mode", "Off"},
         42,
         {usageMode, END_OF_LIFE},
         0,
         {}},
        {{"--accelerate", "--setAccelConfig", "--volume-to-accel", "V", "--mode", "enhanced"},
         1,
         {usageMode, END_OF_LIFE},
         0,
         {}},
        {{"--accelerate", "--setAccelConfig", "--volume-to-accel", "V", "--mode", "off"},
         0,
         {},
         1,
         {"V", "off"}},
        {{"--accelerate", "--setAccelConfig", "--drive-to-accel", "0-5-0-0", "--disk-to-accel", "0-3-0-0",
          "--mode", "off"},
         0,
         {},
         2,
         {"0-3-0-0", "off"}},
        {{"--accelerate", "--setAccelConfig", "--volume-to-accel", "V", "--drive-to-accel", "0-5-0-0",
          "--mode", "off"},
         2,
         {"Only Drive or Volume mode can be changed"},
         0,
         {}},
        {{"--accelerate", "--setAccelConfig", "--volume-to-accel", "V"}, 42, {usage42, END_OF_LIFE}, 0, {}},
        {{"--accelerate", "--accel-info", "--cache-size", "14"}, 42, {bounds}, 0, {}},
        {{"--accelerate", "--accel-info", "--cache-size", "15"}, 0, {}, 5, {}},
        {{"--accelerate", "--accel-info", "--cache-size", "64"}, 0, {}, 5, {}},
        {{"--accelerate", "--accel-info", "--cache-size", "65"}, 42, {bounds}, 0, {}},
        {{"--accelerate", "--loadCache", "C:\\data\\*", "-q"}, 0, {}, 6, {"TRUE", "FALSE", "C:\\data\\*"}},
        {{"--accelerate", "--loadCache", "C:\\*", "--recurse"}, 0, {}, 6, {"FALSE", "TRUE", "C:\\*"}},
        {{"--accelerate", "--createCache", "--wait"}, 1, {END_OF_LIFE}, 0, {}},
        {{"--accelerate", "--createCache", "--stats"}, 2, {tooMany}, 0, {}},
        {{"--accelerate", "--disassociate"},
         2,
         {"Usage: --accelerate --disassociate --cache-volume [volume_name]"},
         0,
         {}},
        {{"--accelerate", "--reset-to-available", "--cache-volume", "C"}, 0, {}, 4, {"C"}},
        {{"--accelerate", "--reset-to-available"},
         2,
         {"Usage: --accelerate --reset-to-available --cache-volume [volume_name]"},
         0,
         {}},
        {{"--accelerate", "--disassociate", "--cache-volume", "C"}, 0, {}, 3, {"C"}},
        {{"--accelerate"}, 2, {"Accelerate parameters are incorrect or missing"}, 0, {}},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& a : c.args)
            line += a + " ";
        SCOPED_TRACE(line);
        const Built built = Build(c.args);
        EXPECT_EQ(built.returnCode, c.returnCode);
        EXPECT_EQ(built.details, c.details);
        if (c.kind == 0) {
            EXPECT_TRUE(built.actions.empty());
            continue;
        }
        ASSERT_EQ(built.actions.size(), 1u);
        EXPECT_EQ(built.actions[0].kind, c.kind);
        EXPECT_EQ(built.actions[0].args, c.actionArgs);
    }
    EXPECT_EQ(Build({"--accelerate", "--accel-info", "--cache-size", "20"}).blockCacheSizeGb, 20.0);
    EXPECT_TRUE(
        Build({"--accelerate", "--setAccelConfig", "--volume-to-accel", "V", "--mode", "off", "--wait"})
            .wait);
}

// ---- the statistics texts ----

TEST(AccelerateStatsTexts, TheFillShareAndTheDumpLine) {
    const struct {
        uint32_t total, free;
        int32_t percent;
    } shares[] = {{0, 0, 0}, {1000, 250, 75}, {1000, 1000, 0}, {1000, 0, 100}, {1000, 1500, 0}, {3, 1, 66}};
    for (const auto& s : shares)
        EXPECT_EQ(MOX::CacheFullPercent(s.total, s.free), s.percent) << s.total << " " << s.free;

    const uint8_t three[] = {0x00, 0x1F, 0x0A};
    EXPECT_EQ(MOX::StatsToHexText(three), "0x0 0x1f 0xa");
    std::vector<uint8_t> block(MOX::STATS_DUMP_SIZE, 0xFF);
    const std::string line = MOX::StatsToHexText(block);
    EXPECT_EQ(std::count(line.begin(), line.end(), ' '), 1543);
    EXPECT_EQ(line.find('\n'), std::string::npos);
}

} // namespace
