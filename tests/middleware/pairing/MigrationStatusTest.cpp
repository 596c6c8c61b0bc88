#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/pairing/MigrationStatusCommand.h"
#include "sim/CacheService.h"
#include "sim/Machine.h"
#include "tests/middleware/pairing/CacheServiceTestMachine.h"

namespace {

struct Outcome {
    unsigned long code;
    std::string printed;
};

Outcome Execute(std::vector<std::wstring> args, MigrationStatusCommand* keep = nullptr) {
    std::vector<wchar_t*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    CommandPtr command = CreateMigrationStatusCommand(0, nullptr);
    testing::internal::CaptureStdout();
    const unsigned long code = command->Execute(static_cast<int>(args.size()), argv.data());
    Outcome run{code, testing::internal::GetCapturedStdout()};
    if (keep)
        *keep = *static_cast<MigrationStatusCommand*>(command.get());
    return run;
}

// 1.1.2020 09:05:03 and 10:15:00 as FILETIMEs.
constexpr const char* kStart = "132223431030000000";
constexpr const char* kEnd = "132223473000000000";

TEST(MigrationStatusCommand, AnIdleServiceWithoutTimesSaysNotAvailableThreeTimes) {
    sim::ScopedMachine machine(cachetest::Machine(R"({"state": 0})"));
    const Outcome run = Execute({});
    EXPECT_EQ(run.code, 0u);
    EXPECT_EQ(run.printed, "Migration state: IDLE\n"
                           "Last optimization start time: Not available\n"
                           "Last optimization ended: Not available\n"
                           "Next optimization starts at: Not available\n"
                           "Battery level: unknown\n"
                           "AC Power: ON\n"
                           "High Power: FALSE\n"
                           "Scheduler task running: FALSE\n");
    EXPECT_EQ(sim::cacheservice::OpenContexts(), 0u);
    EXPECT_EQ(sim::cacheservice::MessagesAnswered(), 1u);
}

TEST(MigrationStatusCommand, OnlySilentExactlyKeepsTheReportQuiet) {
    sim::ScopedMachine machine(cachetest::Machine(R"({"state": 0})"));
    struct Case {
        std::vector<std::wstring> args;
        bool printed;
    } cases[] = {
        {{L"silent"}, false}, {{L"Silent"}, true}, {{L"SILENT"}, true}, {{L"silently"}, true}, {{}, true},
    };
    for (const auto& c : cases) {
        const Outcome run = Execute(c.args);
        EXPECT_EQ(run.code, 0u);
        EXPECT_EQ(!run.printed.empty(), c.printed) << (c.args.empty() ? "no argument" : "an argument");
    }
    EXPECT_EQ(sim::cacheservice::OpenContexts(), 0u);
}

TEST(MigrationStatusCommand, TimesOfAnEarlierOptimizationAndTheRunningOne) {
    sim::ScopedMachine machine(
        cachetest::Machine(std::string(R"({"state": 3, "battery": 80, "ac_power": false,
        "high_power": true, "scheduler_task_running": true, "last_start": )") +
                           kStart + R"(, "last_end": )" + kEnd + R"(, "next_start": )" + kEnd + "}"));
    EXPECT_EQ(Execute({}).printed, "Migration state: RESTARTING\n"
                                   "Last optimization start time: 1.1.2020; 09:05:03\n"
                                   "Last optimization ended: 1.1.2020; 10:15:00\n"
                                   "Optimization in progress... Started at: 1.1.2020; 10:15:00\n"
                                   "Battery level (percent): 80\n"
                                   "AC Power: OFF\n"
                                   "High Power: TRUE\n"
                                   "Scheduler task running: TRUE\n");
}

TEST(MigrationStatusCommand, AStartWithoutAnEndPrintsNoEndLine) {
    // Only the upper half of the end time is all ones: it is not available either.
    sim::ScopedMachine machine(cachetest::Machine(std::string(R"({"state": 0, "last_start": )") + kStart +
                                                  R"(, "last_end": "0xFFFFFFFF00000000"})"));
    const std::string printed = Execute({}).printed;
    EXPECT_NE(printed.find("Last optimization start time: 1.1.2020; 09:05:03\nNext optimization starts at: "
                           "Not available\n"),
              std::string::npos)
        << printed;
}

TEST(MigrationStatusCommand, ABootTimeMigrationPrintsAndKeepsItsCounters) {
    sim::ScopedMachine machine(cachetest::Machine(
        R"({"state": 4, "boot": {"clusters_total": 100, "clusters_left": 0, "records_total": 100, "records_left": 50}})"));
    MigrationStatusCommand kept;
    const Outcome run = Execute({}, &kept);
    EXPECT_EQ(run.printed, "Migration state: BOOT TIME MIGRATION\n"
                           "Battery level: unknown\n"
                           "AC Power: ON\n"
                           "High Power: FALSE\n"
                           "Scheduler task running: FALSE\n"
                           "Total clusters to move: 100\n"
                           "Clusters left to move: 0\n"
                           "Total records to scan: 100\n"
                           "Records left to scan: 50\n");
    EXPECT_EQ(kept.state(), 4u);
    EXPECT_EQ(kept.clustersTotal(), 100u);
    EXPECT_EQ(kept.recordsLeft(), 50u);
}

TEST(MigrationStatusCommand, CandidatesOfARunningMigrationWithTheirProgress) {
    sim::ScopedMachine machine(
        cachetest::Machine(R"({"state": 1, "next_start": 0,
            "insertion": {"file_id": 4242, "size": 1000, "left": 1000},
            "eviction": {"file_id": 4243, "size": 1000, "left": 1500},
            "total_size": 4096, "size_left": 0})")
            .Set("/files/entries", R"([{"path": "C:\\Users\\Ada\\big.vhdx", "id": 4242}])"));
    const std::string printed = Execute({}).printed;
    const std::string expected = "Migration phase ongoing \n"
                                 "Cache insertion candidate:\n"
                                 "\tName: C:\\Users\\Ada\\big.vhdx\n"
                                 "\tCandidate size: 1000 B\n"
                                 "\tCandidate size left: 1000 B\n"
                                 "\tProgress: 0 %\n"
                                 "Cache eviction candidate:\n"
                                 "\tName: File with file id 0x1093 cannot be opened \n"
                                 "\tCandidate size: 1000 B\n"
                                 "\tCandidate size left: 1500 B\n"
                                 "\tProgress: 100 %\n"
                                 "Total files' size to migrate: 4096 B\n"
                                 "Files' size left to migrate: 0 B\n"
                                 "Progress: 100 %\n";
    ASSERT_GE(printed.size(), expected.size());
    EXPECT_EQ(printed.substr(printed.size() - expected.size()), expected);
}

TEST(MigrationStatusCommand, StatesBeyondTheKnownOnesAreUnknownWithoutCandidates) {
    sim::ScopedMachine machine(cachetest::Machine(R"({"state": 5, "insertion": {"file_id": 1, "size": 1}})"));
    const std::string printed = Execute({}).printed;
    EXPECT_EQ(printed.rfind("Migration state: UNKNOWN\n", 0), 0u);
    EXPECT_EQ(printed.find("candidate"), std::string::npos);
    EXPECT_EQ(printed.find("Total clusters"), std::string::npos);
}

TEST(MigrationStatusCommand, AnUnreachableServicePrintsNothingAndLeavesNoContext) {
    struct Case {
        const char* what;
        sim::MachineBuilder machine;
        unsigned long code;
    } cases[] = {
        {"service stopped", cachetest::Machine().Set("/services/KeplinAfsService/state", "\"stopped\""),
         RPC_S_INVALID_BINDING},
        {"access refused", cachetest::Machine().Set("/cache_service/refuse_access", "true"),
         RPC_S_INVALID_BINDING},
        {"server gone during the message", cachetest::Machine().Append("/faults", R"(
            {"kind": "RpcCall", "match": {"interface": "83926e07-4438-4162-818d-e8d9acae0813"},
             "outcome": {"exception": 1722}})"),
         RPC_S_SERVER_UNAVAILABLE},
        {"service status", cachetest::Machine().Set("/cache_service/status", "1359"), ERROR_INTERNAL_ERROR},
    };
    for (auto& c : cases) {
        sim::ScopedMachine machine(c.machine);
        const Outcome run = Execute({});
        EXPECT_EQ(run.code, c.code) << c.what;
        EXPECT_EQ(run.printed, "") << c.what;
        EXPECT_EQ(sim::cacheservice::OpenContexts(), 0u) << c.what;
        EXPECT_EQ(machine->faults().Pending(), 0u) << c.what;
    }
}

TEST(MigrationStatusWithReplyCommand, CopiesTheTimesAndRunsOnlyForRunning) {
    for (int state : {1, 2}) {
        sim::ScopedMachine machine(cachetest::Machine(std::string(R"({"state": )") + std::to_string(state) +
                                                      R"(, "last_start": )" + kStart + "}"));
        MigrationStatusWithReplyCommand command;
        EXPECT_EQ(command.Execute(0, nullptr), 0u);
        EXPECT_EQ(command.running, state == 1);
        const uint64_t start = (uint64_t{command.lastOptimizationStart.dwHighDateTime} << 32) |
                               command.lastOptimizationStart.dwLowDateTime;
        EXPECT_EQ(start, 132223431030000000ull);
        EXPECT_EQ(command.lastOptimizationEnd.dwLowDateTime, 0xFFFFFFFFu);
        EXPECT_EQ(sim::cacheservice::OpenContexts(), 0u);
    }
    sim::ScopedMachine down(cachetest::Machine().Set("/cache_service/listening", "false"));
    MigrationStatusWithReplyCommand command;
    EXPECT_EQ(command.Execute(0, nullptr), RPC_S_INVALID_BINDING);
    EXPECT_FALSE(command.running);
}

TEST(MigrationProgress, EdgesOfTheCandidateProgress) {
    EXPECT_EQ(MigrationProgress(1500, 1000), 100u);
    EXPECT_EQ(MigrationProgress(1000, 1000), 0u);
    EXPECT_EQ(MigrationProgress(0, 1000), 100u);
    EXPECT_EQ(MigrationProgress(250, 1000), 75u);
    EXPECT_EQ(MigrationProgress(~0ull, ~0ull), 0u);
}

} // namespace
