#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win/WinService.h"
#include "sim/Clock.h"
#include "sim/Files.h"
#include "sim/Machine.h"
#include "tests/tools/Ostrel/ServiceCommands/ServiceTestMachine.h"
#include "tools/Ostrel/ServiceCommands/ClearHalvexDataCommand.h"
#include "tools/Ostrel/ServiceCommands/ServiceCommandFactories.h"

namespace {

const std::string kDatabase = "C:\\Orvex\\OrvexHalvexData\\usage_stats.db";

std::string File(const std::string& suffix, const std::string& extra = "") {
    std::string path = kDatabase + suffix;
    std::string escaped;
    for (char c : path)
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return R"({"path": ")" + escaped + R"(", "id": 1)" + extra + "}";
}

// The cache service stopped, and the database folder with the given files.
sim::MachineBuilder Machine(const std::vector<std::string>& files,
                            const std::string& serviceState = "stopped") {
    sim::MachineBuilder builder = servicetest::With(servicetest::kCacheService, "state", "\"" + serviceState + "\"");
    builder.Set("/files/folders", R"(["C:\\Orvex\\OrvexHalvexData"])").Set("/files/entries", "[]");
    for (const auto& f : files)
        builder.Append("/files/entries", f);
    return builder;
}

std::vector<bool> Left() {
    std::vector<bool> left;
    for (const char* suffix : {"", "-shm", "-wal"})
        left.push_back(sim::files::Exists(kDatabase + suffix));
    return left;
}

TEST(DeleteServiceDatabase, DeletesWhatThereIsAndStopsAtTheFirstFailure) {
    struct Case {
        const char* what;
        sim::MachineBuilder machine;
        DWORD result;
        std::vector<bool> left;
    } cases[] = {
        {"no files at all", Machine({}), ERROR_SUCCESS, {false, false, false}},
        {"all three", Machine({File(""), File("-shm"), File("-wal")}), ERROR_SUCCESS, {false, false, false}},
        {"no -shm but a -wal", Machine({File(""), File("-wal")}), ERROR_SUCCESS, {false, false, false}},
        {"database locked",
         Machine({File("", R"(, "locked": true)"), File("-shm"), File("-wal")}),
         ERROR_SHARING_VIOLATION,
         {true, true, true}},
        {"-shm locked",
         Machine({File(""), File("-shm", R"(, "locked": true)"), File("-wal")}),
         ERROR_SHARING_VIOLATION,
         {false, true, true}},
        {"folder missing", servicetest::Machine(), ERROR_PATH_NOT_FOUND, {false, false, false}},
        {"-wal refused",
         Machine({File(""), File("-shm"), File("-wal")}).Append("/faults", R"(
            {"kind": "DeleteFile", "match": {"path": "\\\\.\\c:\\Orvex\\OrvexHalvexData\\usage_stats.db-wal"},
             "outcome": {"win32_error": 5}})"),
         ERROR_ACCESS_DENIED,
         {false, false, true}},
    };
    for (auto& c : cases) {
        sim::ScopedMachine machine(c.machine);
        EXPECT_EQ(DeleteServiceDatabase(), c.result) << c.what;
        EXPECT_EQ(Left(), c.left) << c.what;
        EXPECT_EQ(machine->faults().Pending(), 0u) << c.what;
    }
}

TEST(ClearHalvexDataCommand, DeletesOnlyWhileTheCacheServiceCannotHoldTheDatabase) {
    const std::vector<std::string> all{File(""), File("-shm"), File("-wal")};
    struct Case {
        const char* what;
        sim::MachineBuilder machine;
        DWORD result;
        bool deleted;
    } cases[] = {
        {"service stopped", Machine(all), ERROR_SUCCESS, true},
        {"service running", Machine(all, "running"), ERROR_INVALID_STATE, false},
        {"service stopping", Machine(all, "stop_pending").Set("/services/KeplinAfsService/never_stops", "true"),
         ERROR_INVALID_STATE, false},
        {"service not installed", Machine(all).Remove("/services").Remove("/registry"), ERROR_SUCCESS, true},
        {"service refused", Machine(all).Set("/services/KeplinAfsService/deny_access", "true"), ERROR_ACCESS_DENIED, false},
        {"state unreadable",
         Machine(all).Append("/faults", R"({"kind": "QueryServiceStatusEx", "outcome": {"win32_error": 6}})"),
         ERROR_INVALID_HANDLE, false},
    };
    for (auto& c : cases) {
        sim::ScopedMachine machine(c.machine);
        CommandPtr command = CreateClearHalvexDataCommand(0, nullptr);
        ASSERT_NE(command, nullptr);
        EXPECT_EQ(command->Execute(0, nullptr), c.result) << c.what;
        EXPECT_EQ(Left(), std::vector<bool>(3, !c.deleted)) << c.what;
    }
}

TEST(ClearHalvexDataCommand, ReportsTheFailedDeletionWithItsCode) {
    sim::ScopedMachine machine(servicetest::With(servicetest::kCacheService, "state", "\"stopped\""));
    CommandPtr command = CreateClearHalvexDataCommand(0, nullptr);
    EXPECT_EQ(command->Execute(0, nullptr), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(command->Help(),
              L"Removes Halvex database files (file cache information). Service must be stopped.\n");
}

} // namespace
