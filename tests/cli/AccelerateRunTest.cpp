// The accelerate mode's actions run as the program runs them (a level-0 parse, the factory, the task)
// on machines whose controller has an NV cache volume, and the cache preloading over the simulated
// file store and the NTFS image of C:.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/ConsoleOutput.h"
#include "cli/tasks/AccelerateStats.h"
#include "cli/tasks/AccelerateTask.h"
#include "cli/tasks/LoadCache.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/cli/CaptureStdout.h"
#include "tests/cli/UviFaults.h"
#include "tests/cli/VolumeModesFixture.h"
#include "tests/support/MachineParts.h"

namespace {

using clitest::ModeRun;
using clitest::VolumeModes;

// An SSD (0-0-6-0) whose one-disk array holds the cache volume "NvCache", accelerating the volume of
// that index (-1: none).
sim::MachineBuilder& AddCache(sim::MachineBuilder& pc, int acceleratedVolume) {
    moxtest::DriverDisk ssd = moxtest::SataSsd("TS-CACHE");
    ssd.target = 6;
    moxtest::AddDriverDisk(pc, ssd);
    moxtest::CacheVolume cache;
    cache.volume.name = "NvCache";
    cache.volume.array = static_cast<int>(moxtest::AddRaidArray(pc, {6}, 2));
    cache.acceleratedVolume = acceleratedVolume;
    moxtest::AddCacheVolume(pc, cache);
    return pc;
}

// The default PC with the RAID 1 volume "Data" and the cache.
sim::MachineBuilder CacheMachine(int acceleratedVolume) {
    sim::MachineBuilder pc = moxtest::DataVolumeMachine();
    return AddCache(pc, acceleratedVolume);
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(AccelerateRun, TheReportShowsTheAcceleratedVolumeTheFastDriveAndItsVolumes) {
    VolumeModes modes(CacheMachine(1));
    const ModeRun run = modes.Run({"--accelerate", "--accel-info"});
    EXPECT_EQ(run.result.getType(), 0) << clitest::LastDetail(run.result);
    EXPECT_TRUE(Has(run.text, "\nController: "));
    EXPECT_TRUE(Has(run.text, " --\n\n-- ACCELERATION CONFIGURATION --\n\nAccelerated Device: Volume: Data\n"
                              "Acceleration Mode : "))
        << run.text;
    EXPECT_TRUE(Has(run.text, "\n-- FAST DRIVE CONFIGURATION -- \n\nFAST DRIVE (0-0-6-0):  Normal\n"
                              "Usage:          Cache Device\nSerial number:  TS-CACHE\n"))
        << run.text;
    EXPECT_TRUE(Has(run.text, "VOLUMES IN FAST DRIVE [Array ")) << run.text;
    EXPECT_TRUE(Has(run.text, "NvCache")) << run.text;
}

TEST(AccelerateRun, TheReportOfACacheWithNothingAcceleratedAndOfAnUnknownDriveState) {
    VolumeModes modes(CacheMachine(-1));
    // The fast drive's record (and only that one is printed with its state) in state 5.
    clitest::ScopedUviFaults faults{{UviGetEndDeviceInfo, 0, -1, [](void* record) {
                                         static_cast<_UVI_EndDeviceInfo*>(record)->state = 5;
                                     }}};
    const ModeRun run = modes.Run({"--accelerate", "--accel-info"});
    EXPECT_EQ(run.result.getType(), 0);
    EXPECT_TRUE(Has(run.text, "\nAccelerated Device: None\nAcceleration Mode : None\n")) << run.text;
    EXPECT_TRUE(Has(run.text, "FAST DRIVE (0-0-6-0):  Unknown disk state\n")) << run.text;
}

TEST(AccelerateRun, TheReportStopsAtTheFirstControllerWithoutSupportAndPassesOverOnesWithoutCache) {
    {
        VolumeModes modes(moxtest::DataVolumeMachine());
        clitest::ScopedUviFaults faults{
            {UviGetControllerInfo, 0, -1, [](void* record) {
                 static_cast<_UVI_ControllerInfo*>(record)->capabilities[MOX::SSD_CACHING_FLAG] = 0;
             }}};
        const ModeRun run = modes.Run({"--accelerate", "--accel-info"});
        EXPECT_EQ(run.result.getType(), 0);
        EXPECT_EQ(std::count(run.text.begin(), run.text.end(), '\n'), 3) << run.text;
        EXPECT_TRUE(Has(run.text, " --\nAcceleration is not supported by this Controller.\n")) << run.text;
    }
    {
        VolumeModes modes(moxtest::DataVolumeMachine());
        const ModeRun run = modes.Run({"--accelerate", "--accel-info"});
        EXPECT_EQ(run.result.getType(), 0);
        EXPECT_TRUE(Has(run.text, "Acceleration is not enabled on this Controller\n")) << run.text;
        EXPECT_FALSE(Has(run.text, "ACCELERATION CONFIGURATION")) << run.text;
    }
}

// A cache volume that no volume of the session carries has no fast drive: the configuration is the
// report, and the result a success rather than the failed read of array 0 after it.
TEST(AccelerateRun, WithoutAFastDriveTheReportEndsAfterTheConfiguration) {
    VolumeModes modes(CacheMachine(1));
    clitest::ScopedUviFaults faults{{UviGetNvcInfo, 0, -1, [](void* record) {
                                         static_cast<_UVI_NvcInfo*>(record)->cacheVolumeHandle = 0x7FFF;
                                     }}};
    const ModeRun run = modes.Run({"--accelerate", "--accel-info"});
    EXPECT_EQ(run.result.getType(), 0) << clitest::LastDetail(run.result);
    EXPECT_TRUE(Has(run.text, "Accelerated Device: Volume: Data\n")) << run.text;
    EXPECT_FALSE(Has(run.text, "FAST DRIVE")) << run.text;
}

TEST(AccelerateRun, StatisticsShowTheFilledShareAndDumpBothBlocks) {
    const struct {
        uint32_t total, free;
        const char* line;
    } cases[] = {{1000, 250, "NV Cache Full: 75%\n"},
                 {1000, 1000, "NV Cache Full: 0%\n"},
                 {0, 0, "NV Cache Full: 0%\n"},
                 {1000, 1200, "NV Cache Full: 0%\n"}};
    for (const auto& c : cases) {
        VolumeModes modes(CacheMachine(1));
        clitest::ScopedUviFaults faults{
            {UviGetNvCacheStatInfo, 0, 1,
             [&](void* record) { static_cast<NvCacheStatInfo*>(record)->values[28] = c.total; }},
            {UviGetNvCachePolicyStatInfo, 0, 1,
             [&](void* record) { static_cast<NvCachePolicyStatInfo*>(record)->value4 = c.free; }}};
        const ModeRun run = modes.Run({"--accelerate", "--stats"});
        EXPECT_EQ(run.result.getType(), 0);
        EXPECT_EQ(run.text, c.line) << c.total << " " << c.free;
    }
    VolumeModes modes(CacheMachine(1));
    const ModeRun dump = modes.Run({"--accelerate", "--dumpStats"});
    EXPECT_EQ(dump.result.getType(), 0);
    ASSERT_FALSE(dump.text.empty());
    EXPECT_EQ(std::count(dump.text.begin(), dump.text.end(), ' '), 1543);
    EXPECT_EQ(dump.text.rfind("0x", 0), 0u);
}

TEST(AccelerateRun, StatisticsWithoutAnAcceleratingControllerOrCacheVolume) {
    {
        VolumeModes modes(moxtest::DataVolumeMachine());
        clitest::ScopedUviFaults faults{{UviGetControllerInfo, 0, -1, [](void* record) {
                                             auto* info = static_cast<_UVI_ControllerInfo*>(record);
                                             info->capabilities[MOX::SSD_CACHING_FLAG] = 0;
                                             info->capabilities[MOX::SECOND_SSD_CACHING_FLAG] = 0;
                                         }}};
        const ModeRun stats = modes.Run({"--accelerate", "--stats"});
        EXPECT_EQ(stats.result.getType(), 2);
        EXPECT_EQ(stats.text, "No WYN volume detected\n");
        const ModeRun dump = modes.Run({"--accelerate", "--dumpStats"});
        EXPECT_EQ(dump.result.getType(), 2);
        EXPECT_EQ(dump.text, "No WYN volume detected\nUnable to create stats dump\n");
    }
    VolumeModes modes(moxtest::DataVolumeMachine());
    const ModeRun stats = modes.Run({"--accelerate", "--stats"});
    EXPECT_EQ(stats.result.getType(), 0);
    EXPECT_EQ(stats.text, "");
}

TEST(AccelerateRun, TurningOffAVolumesAccelerationWaitsWhenAsked) {
    VolumeModes modes(CacheMachine(1));
    modes.machine()->SetValue("/adapters/0/raid/nv_cache/transition_ms", sim::Value(4000));
    const ModeRun run = modes.Run(
        {"--accelerate", "--setAccelConfig", "--volume-to-accel", "Data", "--mode", "off", "--wait"});
    EXPECT_EQ(run.result.getType(), 0) << clitest::LastDetail(run.result);
    EXPECT_EQ(modes.machine()->At("/adapters/0/raid/nv_cache/mode").get<int>(), 0);
    EXPECT_EQ(modes.machine()->At("/adapters/0/raid/nv_cache/accelerated_volume").get<int>(), -1);
}

bool HasDetail(const MOX::Error& result, const std::string& line) {
    for (const std::string& detail : result.getDetails())
        if (Has(detail, line))
            return true;
    return false;
}

TEST(AccelerateRun, TheCachingActionsOnTheTasksSession) {
    VolumeModes modes(CacheMachine(1));
    MOX::AccelerateTask task(std::make_shared<MOX::ConsolePrinter>());
    ASSERT_FALSE(task.session.OpenSession().isError());
    // Only off can be set, in any capitalisation; the refusal asks nothing of the library.
    {
        clitest::CaptureStdout out;
        const MOX::Error on = task.configureVolumeAcceleration("Data", "enhanced");
        EXPECT_EQ(on.getType(), 1);
        EXPECT_EQ(on.getDetails(), std::vector<std::string>{MOX::WYN_END_OF_LIFE_TEXT});
    }
    EXPECT_TRUE(HasDetail(task.disassociate("Data"), "Volume not used as Cache Volume"));
    // Any volume of the cache's controller names it; it is still accelerating.
    EXPECT_TRUE(HasDetail(
        task.resetToAvailable("Data"),
        "Cache is currently being used to accelerate disk or volume, Turn off acceleration to reset."));
    EXPECT_EQ(task.configureVolumeAcceleration("Nope", "off").getType(), 3);
    const MOX::Error off = task.configureVolumeAcceleration("Data", "OFF");
    EXPECT_EQ(off.getType(), 0) << clitest::LastDetail(off);
    EXPECT_EQ(modes.machine()->At("/adapters/0/raid/nv_cache/accelerated_volume").get<int>(), -1);
    const MOX::Error reset = task.resetToAvailable("Volume0");
    EXPECT_EQ(reset.getType(), 0) << clitest::LastDetail(reset);
    EXPECT_EQ(modes.machine()->At("/adapters/0/raid/nv_cache/cache_volume").get<int>(), -1);
}

} // namespace

namespace {

// ---- cache preloading ----

// The default PC whose NVMe controller (device node 4) offers no storage port interface, so the
// SATA RAID controller is its one controller of the vendor's driver; an NTFS image on C: and a few
// files.
sim::MachineBuilder PreloadMachine() {
    sim::MachineBuilder pc = moxtest::DataVolumeMachine();
    pc.Set("/devices/nodes/4/interfaces", "[]");
    pc.Set("/volumes/1/ntfs", R"({"mft_runs": [{"lcn": 16, "clusters": 4}]})");
    pc.Set("/files", R"({"entries": [
        {"path": "C:\\Data\\a.txt", "size": 100},
        {"path": "C:\\Data\\empty.txt", "size": 0},
        {"path": "C:\\Data\\Sub\\big.bin", "size": 20000000},
        {"path": "C:\\Data\\more.txt\\inner.bin", "size": 10},
        {"path": "C:\\Other\\x.txt", "size": 5}]})");
    return pc;
}

sim::MachineBuilder PreloadMachineWithCache() {
    sim::MachineBuilder pc = PreloadMachine();
    return AddCache(pc, -1);
}

// The process keeps its controller table from the first session on: a machine with another set of
// controllers needs it built anew, and the next test the usual one.
struct FreshControllerTable {
    FreshControllerTable() { DeviceLocator::ResetForTests(); }
    ~FreshControllerTable() { DeviceLocator::ResetForTests(); }
};

// How often each file of the store was read, and how often the raw volume was opened.
std::map<std::string, int> Reads(sim::ScopedMachine& machine) {
    std::map<std::string, int> reads;
    for (const sim::Call& call : machine->calls().Of("ReadFile"))
        if (call.selectors["object"].get<std::string>() == "file")
            ++reads[call.selectors["path"].get<std::string>()];
    for (const sim::Call& call : machine->calls().Of("CreateFile"))
        if (call.selectors["path"].get<std::string>() == "\\\\.\\c:")
            ++reads["volume opened"];
    return reads;
}

struct Walk {
    std::string text;
    std::map<std::string, int> reads;
};

Walk RunWalk(sim::ScopedMachine& machine, const std::wstring& quiet, const std::wstring& recurse,
             const std::wstring& pattern) {
    MOX::AccelerateTask task(std::make_shared<MOX::ConsolePrinter>());
    Walk walk;
    clitest::CaptureStdout out;
    MOX::LoadFilesRecursively(task, quiet, recurse, pattern, nullptr);
    walk.text = out.text();
    walk.reads = Reads(machine);
    return walk;
}

TEST(LoadCache, TheWalkReadsWhatThePatternAndTheRecurseFlagName) {
    const std::string a = "C:\\Data\\a.txt", empty = "C:\\Data\\empty.txt", big = "C:\\Data\\Sub\\big.bin",
                      inner = "C:\\Data\\more.txt\\inner.bin";
    const struct {
        std::wstring quiet, recurse, pattern;
        std::string text;
        std::map<std::string, int> reads;
    } cases[] = {
        // Only what lies directly in the folder; an empty file is read once.
        {L"FALSE",
         L"FALSE",
         L"C:\\Data\\*",
         "Loading: " + a + "\nLoading: " + empty + "\n",
         {{a, 1}, {empty, 1}}},
        // Every folder below too, each searched with "\*"; a file above 16 MiB takes two reads.
        {L"FALSE",
         L"TRUE",
         L"C:\\Data\\*",
         "Loading: " + a + "\nLoading: " + empty + "\nLoading: " + inner + "\nLoading: " + big + "\n",
         {{a, 1}, {empty, 1}, {inner, 1}, {big, 2}}},
        // The name part filters the top folder only: "Sub" is not entered, "more.txt" is, wholly.
        {L"FALSE",
         L"TRUE",
         L"C:\\Data\\*.txt",
         "Loading: " + a + "\nLoading: " + empty + "\nLoading: " + inner + "\n",
         {{a, 1}, {empty, 1}, {inner, 1}}},
        {L"TRUE", L"TRUE", L"C:\\Data\\*", "", {{a, 1}, {empty, 1}, {inner, 1}, {big, 2}}},
        {L"FALSE", L"TRUE", L"C:\\Nowhere\\*", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern.begin(), c.pattern.end()));
        sim::ScopedMachine machine(PreloadMachine());
        const Walk walk = RunWalk(machine, c.quiet, c.recurse, c.pattern);
        EXPECT_EQ(walk.text, c.text);
        EXPECT_EQ(walk.reads, c.reads);
    }
}

TEST(LoadCache, AShrinkingFileEndsAndAFailedReadIsToldUnlessQuiet) {
    sim::ScopedMachine machine(PreloadMachine());
    machine->faults().Add(R"({"kind": "ReadFile", "match": {"path": "C:\\Data\\Sub\\big.bin"},
                              "outcome": {"bytes_read": 0}})");
    machine->faults().Add(R"({"kind": "ReadFile", "match": {"path": "C:\\Data\\a.txt"}, "times": 2,
                              "outcome": {"win32_error": 23}})");
    const Walk loud = RunWalk(machine, L"FALSE", L"TRUE", L"C:\\Data\\*");
    EXPECT_TRUE(Has(loud.text, "Loading: C:\\Data\\a.txt\nERROR: Could not read file: a.txt\n")) << loud.text;
    EXPECT_EQ(loud.reads.at("C:\\Data\\Sub\\big.bin"), 1);
    const Walk quiet = RunWalk(machine, L"TRUE", L"FALSE", L"C:\\Data\\*");
    EXPECT_EQ(quiet.text, "");
}

TEST(LoadCache, TheActionNeedsOneControllerWithACacheVolumeOrAHybridDrive) {
    {
        const FreshControllerTable table;
        VolumeModes modes(moxtest::DataVolumeMachine());
        const ModeRun run = modes.Run({"--accelerate", "--loadCache", "C:\\Data\\*"});
        EXPECT_EQ(run.result.getType(), 2);
        EXPECT_EQ(run.text, "No WYN volume detected\n");
    }
    {
        const FreshControllerTable table;
        VolumeModes modes(PreloadMachine());
        const ModeRun run = modes.Run({"--accelerate", "--loadCache", "C:\\Data\\*"});
        EXPECT_EQ(run.result.getType(), 2);
        EXPECT_EQ(run.text, "No WYN volume or SSHD disk detected\n") << clitest::LastDetail(run.result);
        EXPECT_TRUE(Reads(modes.machine()).empty());
    }
    {
        const FreshControllerTable table;
        VolumeModes modes(PreloadMachineWithCache());
        const ModeRun run = modes.Run({"--accelerate", "--loadCache", "C:\\Data\\*", "-q"});
        EXPECT_EQ(run.result.getType(), 0) << clitest::LastDetail(run.result);
        EXPECT_EQ(run.text, "");
        EXPECT_EQ(Reads(modes.machine()),
                  (std::map<std::string, int>{
                      {"C:\\Data\\a.txt", 1}, {"C:\\Data\\empty.txt", 1}, {"volume opened", 1}}));
    }
    // A cache volume and a hybrid drive with its caching on: files and table are read twice.
    const FreshControllerTable table;
    VolumeModes modes(PreloadMachineWithCache());
    clitest::ScopedUviFaults faults{{UviGetEndDeviceInfo, 0, -1, [](void* record) {
                                         auto* info = static_cast<_UVI_EndDeviceInfo*>(record);
                                         info->hybridInfoSupported = 1;
                                         info->hybridInfoEnabled = 1;
                                     }}};
    const ModeRun run = modes.Run({"--accelerate", "--loadCache", "C:\\Data\\*", "-q"});
    EXPECT_EQ(run.result.getType(), 0) << clitest::LastDetail(run.result);
    EXPECT_EQ(Reads(modes.machine()),
              (std::map<std::string, int>{
                  {"C:\\Data\\a.txt", 2}, {"C:\\Data\\empty.txt", 2}, {"volume opened", 2}}));
}

} // namespace
