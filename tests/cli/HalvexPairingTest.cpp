// The cache-memory actions of the acceleration task over scripted pairing records and a facade of the
// test's own: the status displays, the enable, the separation steps and the disable's event listener.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/UviWrapper.h"
#include "cli/tasks/AccelerateTask.h"
#include "middleware/accelerate/UVIAccelerateAction.h"
#include "middleware/api/UviApi.h"
#include "sim/Clock.h"
#include "sim/ConsoleScreen.h"
#include "sim/Machine.h"
#include "tests/cli/CaptureStdout.h"
#include "tests/cli/UviFaults.h"
#include "tests/support/MachineParts.h"

namespace {

using MOX::AccelerateTask;
using MOX::Error;

_UVI_Error Success() {
    _UVI_Error answer{};
    answer.code = 0x20000000;
    return answer;
}

_UVI_Error Failure(uint32_t status, uint32_t code) {
    _UVI_Error answer{};
    answer.status = static_cast<_UVI_Status>(status);
    answer.code = code;
    return answer;
}

_UVI_VezkInfo Pairing(uint32_t operationStatus, uint32_t pairType = 0) {
    _UVI_VezkInfo info{};
    info.controllerHandle = 3;
    info.halvexStatus = operationStatus;
    info.pairType = pairType;
    info.extendedAddress = 0x01000000; // the controller's port is 1
    return info;
}

// The pairing records the library answers, one per read, the last one repeated; a record marked
// failing is read on a session the library does not know, so the failure and its texts are its own.
struct ScriptedPairing {
    struct Read {
        _UVI_VezkInfo info;
        bool fails = false;
    };
    std::deque<Read> reads;
    int count = 0;
    // Instead of the scripted records: the library's own, changed.
    std::function<void(_UVI_VezkInfo&)> edit;
    MOX::ScopedUviStandIn<_UVI_VezkInfo, unsigned int, unsigned int, _UVI_Error*> standIn{
        UviGetVezkInfoEx, [this](unsigned int session, unsigned int controller, _UVI_Error* error) {
            ++count;
            if (edit) {
                _UVI_VezkInfo info = UviGetVezkInfoEx(session, controller, error);
                if (error->status == 0)
                    edit(info);
                return info;
            }
            const Read read = reads.empty() ? Read{Pairing(0)} : reads.front();
            if (reads.size() > 1)
                reads.pop_front();
            if (read.fails)
                return UviGetVezkInfoEx(clitest::UNKNOWN_HANDLE, controller, error);
            (void)session;
            *error = Success();
            return read.info;
        }};

    ScriptedPairing(std::initializer_list<_UVI_VezkInfo> infos) {
        for (const _UVI_VezkInfo& info : infos)
            reads.push_back({info});
    }
};

// What the facade was asked, and what it answers.
struct FacadeScript {
    std::vector<std::string> calls;
    _UVI_Error separate = Success();
    _UVI_Error automation = Success();
    _UVI_Error enable = Success();
    _UVI_Error check = Success();
    _UVI_VezkDiskValidForConcatenationStatus checkStatus = UVI_VEZK_DISK_VALID;
    _UVI_Error resetCounters = Success();
    AccelerateSettings enabledWith;
    uint32_t separatedController = 0;
    std::function<void()> whileClearing;
};

class FakeFacade : public UVIAccelerateAction {
public:
    explicit FakeFacade(FacadeScript& script) : script_(script) {}
    _UVI_Error doSeparateConcatenation(uint32_t controller) override {
        script_.calls.push_back("separate");
        script_.separatedController = controller;
        return script_.separate;
    }
    _UVI_Error doVezkAutomation(uint32_t& performed) override {
        script_.calls.push_back("automation");
        performed = 1;
        return script_.automation;
    }
    _UVI_Error checkIfDiskValid(uint32_t, _UVI_VezkDiskConcatenationMember member,
                                _UVI_VezkDiskValidForConcatenationStatus& status) override {
        script_.calls.push_back("check " + std::to_string(member));
        status = script_.checkStatus;
        return script_.check;
    }
    _UVI_Error doVezkEnableOneStep() override {
        script_.calls.push_back("enable");
        script_.enabledWith = getSettings();
        return script_.enable;
    }
    _UVI_Error doResetVolportPerformanceCounters() override {
        script_.calls.push_back("reset counters");
        return script_.resetCounters;
    }
    _UVI_Error doClearBlockCache() override {
        script_.calls.push_back("clear");
        if (script_.whileClearing)
            script_.whileClearing();
        return Success();
    }

private:
    FacadeScript& script_;
};

struct HalvexPairing : ::testing::Test {
    sim::ScopedMachine machine{moxtest::PairingMachine()};
    MOX::UviWrapper library;
    sim::ScopedVirtualClock clock;
    sim::ScopedConsole notConsole{nullptr};
    FacadeScript script;

    std::unique_ptr<AccelerateTask> Task() {
        auto task = std::make_unique<AccelerateTask>(std::make_shared<MOX::ConsolePrinter>());
        task->makeFacade = [this] { return std::make_shared<FakeFacade>(script); };
        EXPECT_FALSE(task->session.OpenSession().isError());
        return task;
    }
    Error Run(std::vector<int32_t> kinds, std::string& text) {
        auto task = std::make_unique<AccelerateTask>(std::make_shared<MOX::ConsolePrinter>());
        task->makeFacade = [this] { return std::make_shared<FakeFacade>(script); };
        for (int32_t kind : kinds)
            task->addAction(kind);
        clitest::CaptureStdout out;
        Error result = task->run();
        text = out.text();
        return result;
    }
};

// ---- the status display ----

TEST_F(HalvexPairing, TheStatusDisplayShowsWhatEachOperationStatusCallsFor) {
    auto with = [](uint32_t status, uint32_t migration, int32_t overall, int32_t block, int32_t boot,
                   int32_t sync) {
        _UVI_VezkInfo info = Pairing(status, 1);
        info.migrationType = migration;
        info.overallMigrationProgress = overall;
        info.blockMigrationProgress = block;
        info.bootMigrationProgress = boot;
        info.cacheRemainingPercent = sync;
        return info;
    };
    const struct {
        _UVI_VezkInfo info;
        bool inProgress;
        const char* shown;
    } cases[] = {
        {with(5, 1, 5, 101, 100, 0), true,
         "Migration type: Creating\nOverall migrations status:  5%\nInitial block migration status: N/A\n"
         "Boot optimization (page file preparation) status: 100%\n"},
        // A separation has no block or boot phase.
        {with(1, 2, 42, 0, 0, 0), true, "Migration type: Separating\nOverall migrations status: 42%\n"},
        {with(6, 3, -1, 7, 8, 0), true,
         "Migration type: No migration\nOverall migrations status: N/A\nInitial block migration status:  7%\n"
         "Boot optimization (page file preparation) status:  8%\n"},
        {with(3, 0, 0, 0, 0, 50), true,
         "Performing operation: Block cache acceleration disabling\nBlock cache synchronization progress: "
         "50%\n"},
        {with(8, 0, 0, 0, 0, 0), true, "Performing operation: Block cache acceleration switch to WT mode\n"},
        {with(8, 0, 0, 0, 0, 100), true,
         "Performing operation: Block cache acceleration switch to WT mode\n"},
        {with(7, 0, 0, 0, 0, 0), true, "Initializing block cache operation...\n"},
        {with(2, 0, 0, 0, 0, 0), true, "Operation status: Halvex separation Complete\n"},
        {with(4, 0, 0, 0, 0, 0), true, "Operation status: Block cache acceleration disabling complete\n"},
        {with(9, 0, 0, 0, 0, 0), true,
         "Operation status: Block cache acceleration switch to WT mode complete\n"},
        {with(10, 0, 0, 0, 0, 0), true, "Operation status: Clearing Halvex's block cache\n"},
        {with(0, 0, 0, 0, 0, 0), false, ""},
        {with(11, 0, 0, 0, 0, 0), true, ""},
    };
    std::unique_ptr<AccelerateTask> task = Task();
    for (const auto& c : cases) {
        ScriptedPairing pairing{c.info};
        bool inProgress = !c.inProgress;
        clitest::CaptureStdout out;
        EXPECT_FALSE(task->printOperationStatus(task->session, inProgress).isError());
        EXPECT_EQ(out.text(), c.shown) << c.info.halvexStatus;
        EXPECT_EQ(inProgress, c.inProgress) << c.info.halvexStatus;
    }
}

TEST_F(HalvexPairing, AnUnreadableStatusLeavesTheFlagAsItWas) {
    std::unique_ptr<AccelerateTask> task = Task();
    ScriptedPairing pairing{};
    pairing.reads.push_back({Pairing(0), true});
    bool inProgress = true;
    EXPECT_TRUE(task->printOperationStatus(task->session, inProgress).isError());
    EXPECT_TRUE(inProgress);
}

TEST_F(HalvexPairing, TheProgressReport) {
    _UVI_VezkInfo separating = Pairing(0, 1);
    separating.migrationType = 2;
    separating.overallMigrationProgress = 7;
    _UVI_VezkInfo creating = Pairing(5, 1);
    creating.migrationType = 1;
    creating.overallMigrationProgress = 30;
    creating.blockMigrationProgress = 60;
    creating.bootMigrationProgress = 101;
    const struct {
        _UVI_VezkInfo info;
        int32_t returnCode;
        const char* shown;
    } cases[] = {
        {Pairing(7, 1), 0, "Initializing block cache operation...\n"},
        {Pairing(3, 1), 0, "Finalizing block cache operation...\n"},
        {Pairing(2, 0), 0, "Finalizing block cache operation...\n"},
        {separating, 0, "Migration type: Separating\nOverall migrations status: 7%\n"},
        {creating, 0,
         "Migration type: Creating\nOverall migrations status: 30%\nInitial block migration status: 60%\n"
         "Boot optimization (page file preparation) status: N/A\n"},
        {Pairing(0, 0), 5, ""},
    };
    for (const auto& c : cases) {
        ScriptedPairing pairing{c.info};
        std::string text;
        const Error result = Run({AccelerateTask::HALVEX_PROGRESS}, text);
        EXPECT_EQ(result.getType(), c.returnCode) << c.shown;
        EXPECT_EQ(text, c.shown);
        if (c.returnCode == 5) {
            EXPECT_EQ(result.getDetails(), std::vector<std::string>{"There is no Halvex Volume"});
        }
    }
}

// ---- the information report ----

TEST_F(HalvexPairing, TheInformationReportWarnsOfAnUnfinishedOperationButNotOfAnEnable) {
    const std::string pending = "\nAn unfinished Halvex operation is pending\nCurrent operation status: ";
    std::string text;
    for (const uint32_t status : {0u, 5u, 6u, 7u}) {
        ScriptedPairing pairing{Pairing(status)};
        EXPECT_EQ(Run({AccelerateTask::HALVEX_INFO}, text).getType(), 0);
        EXPECT_EQ(text.find(pending), std::string::npos) << status;
    }
    ScriptedPairing pairing{Pairing(1)};
    EXPECT_EQ(Run({AccelerateTask::HALVEX_INFO}, text).getType(), 0);
    EXPECT_NE(text.find(pending + "Halvex separation\nPlease run --HalvexMemory --disable to continue\n"),
              std::string::npos)
        << text;
}

TEST_F(HalvexPairing, TheInformationReportOfAnEnabledPairing) {
    ScriptedPairing pairing{};
    pairing.edit = [](_UVI_VezkInfo& info) {
        info.migrationType = 3;
        info.blockCacheUsedPercent = 37;
    };
    std::string text;
    EXPECT_EQ(Run({AccelerateTask::HALVEX_INFO_VERBOSE}, text).getType(), 0);
    // No migration: the state and, when verbose, the block cache's use.
    EXPECT_NE(text.find("-- HALVEX MEMORY SYSTEM CONFIGURATION --\n            State: Normal\n"
                        "Block Cache usage: 37%\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Migration Progress"), std::string::npos);

    pairing.edit = [](_UVI_VezkInfo& info) {
        if (info.pairType != 0)
            info.pairingVolumeHandle = 0x7FFF;
    };
    EXPECT_EQ(Run({AccelerateTask::HALVEX_INFO}, text).getType(), 0);
    EXPECT_NE(text.find("No Halvex Memory System on Platform\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("-- HALVEX DRIVE CONFIGURATION --"), std::string::npos);
}

// ---- the enable ----

TEST_F(HalvexPairing, AnEnableShowsEachStatusUntilNoneIsInProgressAndChecksThePairing) {
    _UVI_VezkInfo migrating = Pairing(5, 1);
    migrating.migrationType = 1;
    migrating.overallMigrationProgress = 50;
    migrating.blockMigrationProgress = 100;
    migrating.bootMigrationProgress = 0;
    ScriptedPairing pairing{Pairing(0), Pairing(7), migrating, Pairing(0, 1)};
    const uint64_t started = sim::Clock::NowMs();
    std::string text;
    const Error result = Run({AccelerateTask::HALVEX_ENABLE}, text);
    EXPECT_EQ(result.getType(), 0);
    EXPECT_EQ(text,
              "Initializing block cache operation...\n"
              "Migration type: Creating\nOverall migrations status: 50%\n"
              "Initial block migration status: 100%\nBoot optimization (page file preparation) status:  0%\n"
              "Enable completed\n");
    EXPECT_EQ(script.calls, std::vector<std::string>{"enable"});
    // Two pauses: after the two displays that still showed an operation.
    EXPECT_EQ(sim::Clock::NowMs() - started, 4000u);
    // Nothing named: the facade chooses the pair at its own sizes.
    EXPECT_EQ(script.enabledWith.fastDisk, 0u);
    EXPECT_EQ(script.enabledWith.slowDisk, 0u);
    EXPECT_EQ(script.enabledWith.cacheVolumeSize.mode, CacheSizeSpec::kAutomatic);
    EXPECT_EQ(script.enabledWith.migrationStart, UINT64_MAX);
}

TEST_F(HalvexPairing, AnEnableHandsTheNamedDrivesAndSizesToTheFacade) {
    ScriptedPairing pairing{Pairing(0), Pairing(0, 1)};
    std::unique_ptr<AccelerateTask> task = Task();
    task->fastDriveId = "0-0-0-0";
    task->accelDriveId = "0-0-1-0";
    task->blockCacheSizeGb = 16;
    task->fileCacheSizeMb = 3072;
    task->fileCacheOffset = 468000;
    clitest::CaptureStdout out;
    EXPECT_EQ(task->enableHalvex().getType(), 0);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"check 0", "enable"}));
    EXPECT_NE(script.enabledWith.fastDisk, 0u);
    EXPECT_NE(script.enabledWith.slowDisk, 0u);
    EXPECT_NE(script.enabledWith.fastDisk, script.enabledWith.slowDisk);
    EXPECT_EQ(script.enabledWith.cacheVolumeSize.mode, CacheSizeSpec::kExplicit);
    EXPECT_EQ(script.enabledWith.cacheVolumeSize.size, 17179869184u);
    EXPECT_EQ(script.enabledWith.fileCacheSize.size, 3072u);
    EXPECT_EQ(script.enabledWith.migrationStart, 468000u);
    EXPECT_TRUE(script.enabledWith.separationSafe);
}

TEST_F(HalvexPairing, AnEnableStopsAtItsFirstStepWithTheReasonsItKnows) {
    _UVI_VezkInfo rebootPending = Pairing(0);
    rebootPending.extendedFlag = 1;
    const struct {
        const char* what;
        _UVI_VezkInfo info;
        std::string fastDrive;
        _UVI_Error check;
        _UVI_VezkDiskValidForConcatenationStatus status;
        int32_t returnCode;
        std::vector<std::string> details;
    } cases[] = {
        {"refused with a reboot pending",
         rebootPending,
         "",
         Success(),
         UVI_VEZK_DISK_VALID,
         5,
         {"Reboot is required"}},
        {"a fast drive too small",
         Pairing(0),
         "0-0-0-0",
         Failure(15, 0xA0070001),
         UVI_VEZK_DISK_TOO_SMALL,
         3,
         {"Fast disk 0-0-0-0 is not valid halvex disk, reason: Disk too small"}},
        // A check that failed without a status is its own failure.
        {"a check that failed", Pairing(0), "0-0-0-0", Failure(15, 0xA0070001), UVI_VEZK_DISK_VALID, 1, {}},
        {"an unknown drive",
         Pairing(0),
         "9-9-9-9",
         Success(),
         UVI_VEZK_DISK_VALID,
         3,
         {"End Device does not exist! Id: 9-9-9-9"}},
    };
    for (const auto& c : cases) {
        ScriptedPairing pairing{c.info};
        script = FacadeScript();
        script.enable = Failure(18, 0xA007000C);
        script.check = c.check;
        script.checkStatus = c.status;
        auto task = std::make_unique<AccelerateTask>(std::make_shared<MOX::ConsolePrinter>());
        task->makeFacade = [this] { return std::make_shared<FakeFacade>(script); };
        task->fastDriveId = c.fastDrive;
        task->addAction(AccelerateTask::HALVEX_ENABLE);
        clitest::CaptureStdout out;
        const Error result = task->run();
        EXPECT_EQ(result.getType(), c.returnCode) << c.what;
        EXPECT_EQ(result.getDetails(), c.details) << c.what;
        EXPECT_EQ(out.text(), "") << c.what;
    }
}

TEST_F(HalvexPairing, APairingNotReportedAfterTheWaitIsNotEnabled) {
    ScriptedPairing pairing{Pairing(0), Pairing(0)};
    std::string text;
    const Error result = Run({AccelerateTask::HALVEX_ENABLE}, text);
    EXPECT_EQ(result.getType(), 5);
    EXPECT_EQ(result.getDetails(), std::vector<std::string>{"Halvex not enabled"});
    EXPECT_EQ(text, "Enable completed\n");
}

TEST_F(HalvexPairing, TheEnableRepaintsItsStatusInPlaceOnAConsole) {
    auto screen = std::make_shared<sim::ConsoleScreen>(60, 12);
    sim::ScopedConsole console{screen};
    std::streambuf* saved = std::cout.rdbuf(screen->stream());
    _UVI_VezkInfo early = Pairing(5, 1), late = Pairing(5, 1);
    early.migrationType = late.migrationType = 1;
    early.overallMigrationProgress = 10;
    late.overallMigrationProgress = 90;
    ScriptedPairing pairing{Pairing(0), early, late, Pairing(0, 1)};
    auto task = std::make_unique<AccelerateTask>(std::make_shared<MOX::ConsolePrinter>());
    task->makeFacade = [this] { return std::make_shared<FakeFacade>(script); };
    task->addAction(AccelerateTask::HALVEX_ENABLE);
    const Error result = task->run();
    std::cout.rdbuf(saved);
    EXPECT_EQ(result.getType(), 0);
    // Each display replaced the one before; the last, of an operation done, is empty.
    EXPECT_EQ(screen->text(), "Enable completed");
    EXPECT_EQ(pairing.count, 5);
}

// ---- the run ----

TEST_F(HalvexPairing, AnUnknownKindIsAnInvalidRequestAndALaterActionStillRuns) {
    ScriptedPairing pairing{Pairing(7, 1)};
    std::string text;
    Error result = Run({0, 17}, text);
    EXPECT_EQ(result.getType(), 2);
    EXPECT_EQ(result.getDetails(), (std::vector<std::string>{"Request invalid", "Request invalid"}));
    result = Run({0, AccelerateTask::HALVEX_PROGRESS}, text);
    EXPECT_EQ(result.getType(), 0);
    EXPECT_EQ(text, "Initializing block cache operation...\n");
    result = Run({}, text);
    EXPECT_EQ(result.getType(), 0);
}

TEST_F(HalvexPairing, AFeatureMissingOnThisPcEndsWithTheInformationReport) {
    ScriptedPairing pairing{Pairing(0)};
    script.resetCounters = Failure(51, 0xA0070019);
    std::string text;
    const Error result = Run({AccelerateTask::CLEAR_STATS}, text);
    EXPECT_EQ(result.getType(), 52);
    EXPECT_NE(text.find("Equipment is not Orvex Halvex ready because"), std::string::npos) << text;
}

TEST_F(HalvexPairing, ClearingStatisticsSaysSoOnlyWhenItWorked) {
    std::string text;
    EXPECT_EQ(Run({AccelerateTask::CLEAR_STATS}, text).getType(), 0);
    EXPECT_EQ(text, "Clear completed\n");
    script.resetCounters = Failure(15, 0xA0070019);
    EXPECT_NE(Run({AccelerateTask::CLEAR_STATS}, text).getType(), 0);
    EXPECT_EQ(text, "");
}

TEST_F(HalvexPairing, ASessionThatCannotOpenRunsNoAction) {
    MOX::ScopedUviStandIn refused(UviSessionOpen, [](unsigned int*) { return Failure(15, 0xA0010001); });
    std::string text;
    const Error result = Run({AccelerateTask::CLEAR_STATS}, text);
    EXPECT_EQ(result.getType(), 1);
    EXPECT_EQ(static_cast<uint32_t>(result.getCode()), 0xA0010001u);
    EXPECT_TRUE(script.calls.empty());
}

// ---- the separation steps ----

TEST_F(HalvexPairing, EachSeparationStepIsTheOneItsStatusCallsFor) {
    const std::string refused = "Cannot perform action. Orvex Halvex Storage current operation state: ";
    const struct {
        uint32_t status;
        _UVI_Error automation;
        std::vector<std::string> calls;
        int32_t returnCode;
        std::vector<std::string> details;
    } cases[] = {
        {0, Success(), {"separate"}, 0, {}},
        {1, Success(), {}, 0, {}},
        {3, Success(), {}, 0, {}},
        {8, Success(), {}, 0, {}},
        {11, Success(), {}, 0, {}},
        {2, Success(), {"automation"}, 0, {}},
        {4, Success(), {"automation"}, 0, {}},
        {9, Success(), {"automation"}, 0, {}},
        // Another process holds the pairing operation's lock and takes the step.
        {2, Failure(18, 0xA0070037), {"automation"}, 0, {}},
        {5, Success(), {}, 5, {refused + "Halvex concatenation"}},
        {6, Success(), {}, 5, {refused + "Halvex concatenation finalizing"}},
        {7, Success(), {}, 5, {refused + "Halvex creation started"}},
        {10, Success(), {}, 5, {refused + "Clearing Halvex's block cache"}},
    };
    for (const auto& c : cases) {
        ScriptedPairing pairing{Pairing(c.status, 1)};
        script = FacadeScript();
        script.automation = c.automation;
        std::unique_ptr<AccelerateTask> task = Task();
        const Error result = task->runDisableStep();
        EXPECT_EQ(script.calls, c.calls) << c.status;
        EXPECT_EQ(result.getType(), c.returnCode) << c.status;
        EXPECT_EQ(result.getDetails(), c.details) << c.status;
        if (c.status == 0) {
            EXPECT_EQ(script.separatedController, 3u);
        }
    }
}

TEST_F(HalvexPairing, AFailedAutomationStepIsVerifiedOnAFreshSnapshot) {
    script.automation = Failure(18, 0xA0070026);
    std::unique_ptr<AccelerateTask> task = Task();
    {
        // The step went through in spite of its error: the status moved on.
        ScriptedPairing pairing{Pairing(2, 1), Pairing(3, 1)};
        EXPECT_EQ(task->runDisableStep().getType(), 0);
    }
    {
        ScriptedPairing pairing{Pairing(2, 1), Pairing(2, 1)};
        const Error stands = task->runDisableStep();
        EXPECT_EQ(stands.getType(), 5);
        EXPECT_EQ(static_cast<uint32_t>(stands.getCode()), 0xA0070026u);
        EXPECT_TRUE(stands.getDetails().empty());
    }
    {
        ScriptedPairing pairing{Pairing(2, 1)};
        pairing.reads.push_back({Pairing(2, 1), true});
        const Error unverified = task->runDisableStep();
        EXPECT_EQ(unverified.getType(), 5);
        // The pairing read keeps the library's texts to itself: the block has no lines between.
        EXPECT_EQ(
            unverified.getDetails(),
            (std::vector<std::string>{
                "Failed while verifying automation error with code [Error code: 0xA0070026] and message:",
                "  [end of message]"}));
    }
}

// ---- the disable ----

// A subscription that delivers nothing while it is open; its close may bring one event that was on its
// way, as a driver event raised during the last step would.
struct FakeSubscription {
    std::mutex mutex;
    std::condition_variable changed;
    bool closed = false;
    uint32_t inFlight = 0;
    int setUps = 0;
    int kind = -1;
    MOX::ScopedUviStandIn<unsigned long long, int> setUp{UviEventSetUpForKindWithHandle, [this](int k) {
                                                             ++setUps;
                                                             kind = k;
                                                             return 7ull;
                                                         }};
    MOX::ScopedUviStandIn<_UVI_Error, unsigned int, unsigned long long, _UVI_EventRecord*> wait{
        UviEventWaitWithHandle, [this](unsigned int, unsigned long long, _UVI_EventRecord* record) {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return closed; });
            if (inFlight == 0)
                return Failure(15, 0xA0010062);
            record->flags = inFlight;
            inFlight = 0;
            return Success();
        }};
    MOX::ScopedUviStandIn<_UVI_Error, unsigned long long> close{UviEventClose, [this](unsigned long long) {
                                                                    std::lock_guard<std::mutex> lock(mutex);
                                                                    closed = true;
                                                                    changed.notify_all();
                                                                    return Success();
                                                                }};
};

TEST_F(HalvexPairing, ADisableWithoutAPairingStartsNothing) {
    FakeSubscription events;
    ScriptedPairing pairing{Pairing(0, 0)};
    std::string text;
    const Error result = Run({AccelerateTask::HALVEX_DISABLE}, text);
    EXPECT_EQ(result.getType(), 5);
    EXPECT_EQ(result.getDetails(), std::vector<std::string>{"There is no Orvex Halvex Storage"});
    EXPECT_EQ(events.setUps, 0);
    EXPECT_TRUE(script.calls.empty());
}

TEST_F(HalvexPairing, ADisableTakesEachStepItsStatusCallsForUntilNoneIsInProgress) {
    FakeSubscription events;
    _UVI_VezkInfo separating = Pairing(1, 1);
    separating.migrationType = 2;
    separating.overallMigrationProgress = 50;
    // Reads: the disable's, then each step's and each refresh's in turn.
    ScriptedPairing pairing{Pairing(0, 1), Pairing(0, 1), separating,   separating,
                            Pairing(2, 1), Pairing(2, 1), Pairing(0, 0)};
    std::string text;
    const Error result = Run({AccelerateTask::HALVEX_DISABLE}, text);
    EXPECT_EQ(result.getType(), 0);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"separate", "automation"}));
    EXPECT_EQ(text, "Migration type: Separating\nOverall migrations status: 50%\n"
                    "Operation status: Halvex separation Complete\nDisable completed\n");
    EXPECT_EQ(events.kind, 1);
    EXPECT_TRUE(events.closed);
}

TEST_F(HalvexPairing, AnErrorEventDuringTheSeparationIsShownAndTheDisableStillSucceeds) {
    FakeSubscription events;
    events.inFlight = 0x40;
    ScriptedPairing pairing{Pairing(0, 1), Pairing(0, 1), Pairing(0, 0)};
    std::string text;
    const Error result = Run({AccelerateTask::HALVEX_DISABLE}, text);
    const std::string warning = "Error occured while separating. Please check Windows Event Log for details.";
    EXPECT_EQ(result.getType(), 0);
    EXPECT_EQ(result.getDetails(), std::vector<std::string>{warning});
    EXPECT_EQ(text, "Disable completed\n\n" + warning + "\n");
}

TEST_F(HalvexPairing, AFailedFirstStepEndsTheDisable) {
    FakeSubscription events;
    script.separate = Failure(18, 0xA0070031);
    ScriptedPairing pairing{Pairing(0, 1)};
    std::string text;
    const Error result = Run({AccelerateTask::HALVEX_DISABLE}, text);
    EXPECT_EQ(result.getType(), 5);
    EXPECT_EQ(text, "");
    EXPECT_TRUE(events.closed);
}

// ---- the clear cache ----

TEST_F(HalvexPairing, TheClearCacheDisplayShowsWhatIsLeftWhileTheFacadeClears) {
    std::mutex mutex;
    std::condition_variable shown;
    bool displayed = false;
    MOX::ScopedUviStandIn watch(UviGetNvCacheStatInfo, [&](unsigned int, NvCacheStatInfo* info) {
        info->values[29] = 1280;
        std::lock_guard<std::mutex> lock(mutex);
        displayed = true;
        shown.notify_all();
        return Success();
    });
    // The clearing ends once the display has been drawn at least once.
    script.whileClearing = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        shown.wait(lock, [&] { return displayed; });
    };
    std::string text;
    const Error result = Run({AccelerateTask::HALVEX_CLEAR_CACHE}, text);
    EXPECT_EQ(result.getType(), 0);
    EXPECT_EQ(text.rfind("Clear cache in progress - do not interrupt!\nTotal data left in cache: 10MB\n", 0),
              0u)
        << text;
}

} // namespace
