// The shared services of the C interface: the RAID level table and its two computations, the
// per-thread debug log file, the refresh of a Windows disk's properties, handle names and the
// tri-state of two flags.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <unistd.h>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/DebugLog.h"
#include "middleware/api/RaidLevelTable.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace {

TEST(RaidLevelTable, RowsByLevelCode) {
    struct Case {
        uint32_t level;
        uint32_t driverLevel, minDisks, maxDisks, levelClass, migration, strip;
        uint8_t redundant;
    };
    const Case cases[] = {
        {0x1, 0, 2, 32, 0, 0x9, 0x7E, 0},   {0x2, 1, 2, 2, 1, 0x9, 0x20, 1},
        {0x4, 1, 4, 4, 1, 0x8, 0x3E, 1},    {0x8, 5, 3, 32, 2, 0x8, 0x78, 1},
        {0x1000, 1, 2, 2, 1, 0x2, 0x20, 1}, {0x40000, 0, 1, 1, 0, 0, 0x7E, 0},
        {0x20, 0, 2, 2, 0, 0, 0x7E, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        const RaidLevelRow* row = GetRaidLevelDescriptor(c.level);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->driverLevel, c.driverLevel);
        EXPECT_EQ(row->minDisks, c.minDisks);
        EXPECT_EQ(row->maxDisks, c.maxDisks);
        EXPECT_EQ(row->levelClass, c.levelClass);
        EXPECT_EQ(row->migrationMask, c.migration);
        EXPECT_EQ(row->stripMask, c.strip);
        EXPECT_EQ(row->redundant, c.redundant);
        EXPECT_EQ(row->zeroFlag, 0);
    }
    const RaidLevelRow* raid10 = GetRaidLevelDescriptor(0x4);
    EXPECT_EQ(raid10->evenDiskCount, 1);
    EXPECT_EQ(raid10->stripValues2[3], 16u);
    EXPECT_EQ(GetRaidLevelDescriptor(0x8)->stripValues1[2], 64u);
    for (uint32_t level : {0u, 0x3u, 0x10u, 0x2000u})
        EXPECT_EQ(GetRaidLevelDescriptor(level), nullptr) << level;
    EXPECT_EQ(findRaidLevelRow(0x8), GetRaidLevelDescriptor(0x8));
}

TEST(RaidLevelTable, MigrationAndCapacity) {
    struct Migration {
        uint32_t current, disks, target;
        int added;
    };
    const Migration migrations[] = {
        {0, 3, 1, 3}, {2, 5, 1, 3},  {1, 2, 3, 1}, {4, 2, 0, -1}, {0, 2, 2, 1}, {0, 2, 3, 2},
        {1, 1, 3, 2}, {1, 3, 3, 1},  {1, 4, 3, 0}, {1, 2, 1, 0},  {3, 6, 1, 2}, {3, 6, 3, 0},
        {2, 3, 3, 1}, {0, 2, 4, -1}, {2, 3, 0, 0}, {3, 4, 2, 0},
    };
    for (const Migration& m : migrations)
        EXPECT_EQ(MinDisksToAddForMigration(m.current, m.disks, m.target), m.added)
            << m.current << " " << m.disks << " " << m.target;

    const uint64_t s = 1000204886016ull;
    struct Capacity {
        uint32_t level, disks;
        uint64_t bytes;
    };
    const Capacity capacities[] = {{8, 4, 3 * s},  {4, 4, 2 * s}, {16, 4, 0}, {1, 3, 3 * s},  {2, 2, s},
                                   {0x1000, 2, s}, {1, 0, 0},     {8, 0, 0},  {0x40000, 1, 0}};
    for (const Capacity& c : capacities)
        EXPECT_EQ(VolumeCapacityForLevel(c.level, c.disks, s), c.bytes) << c.level << " " << c.disks;
}

TEST(ApiHelpers, FlagPairAndHandleNames) {
    EXPECT_EQ(FlagPairToTriState(0, 0), 0);
    EXPECT_EQ(FlagPairToTriState(0, 1), 0);
    EXPECT_EQ(FlagPairToTriState(1, 1), 1);
    EXPECT_EQ(FlagPairToTriState(7, 0), 2);

    // Each name is its own key: the phy and port of a disk and of a port differ, and a name asked
    // again gives the same handle.
    const uint32_t handles[] = {PhyHandleOfDisk(5), PortHandleOfDisk(5), PhyHandleOfPort(5),
                                PortHandleOfPort(5), RaidInfoHandle(5)};
    for (size_t i = 0; i < std::size(handles); ++i)
        for (size_t j = i + 1; j < std::size(handles); ++j)
            EXPECT_NE(handles[i], handles[j]);
    EXPECT_EQ(RaidInfoHandle(5), handles[4]);
    EXPECT_EQ(PhyHandleOfDisk(5), handles[0]);
}

TEST(ApiHelpers, DiskUpdatePropertiesGoesToTheDrive) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    machine->calls().Keep(1000);
    CConsolidatedError error;
    callDiskUpdatePropertiesIoctl(1, error);
    EXPECT_TRUE(error.IsSuccessful()) << error.GetErrorMessage();
    EXPECT_EQ(machine->calls().CountMatching("DeviceIoControl",
                                             R"({"path": "\\\\.\\PhysicalDrive1", "code": "0x70140"})"),
              1u);

    CConsolidatedError missing;
    callDiskUpdatePropertiesIoctl(77, missing);
    EXPECT_EQ(missing.GetErrorCode(), 0xA0000004u);
    EXPECT_STREQ(missing.GetErrorMessage(),
                 "Received invalid handle for disk update properties IOCTL in callDiskUpdatePropertiesIoctl");

    machine->faults().Add(R"({"kind": "DeviceIoControl", "match": {"code": "0x70140"}, "times": 1,
                              "outcome": {"win32_error": 31}})");
    CConsolidatedError failed;
    callDiskUpdatePropertiesIoctl(1, failed);
    EXPECT_TRUE(failed.IsError());
    EXPECT_EQ(failed.GetWin32Error(), 31u);
}

// Runs each test in a fresh current directory, where the debug log files go.
class DebugLog : public ::testing::Test {
protected:
    DebugLog() : previous_(std::filesystem::current_path()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "moxlog-XXXXXX").string();
        EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        std::filesystem::current_path(dir_);
    }
    ~DebugLog() override {
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string Read(const char* name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    bool Exists(const char* name) const { return std::filesystem::exists(dir_ / name); }

    sim::ScopedMachine machine_{sim::MachineBuilder::Default()};
    std::filesystem::path previous_;
    std::filesystem::path dir_;
};

TEST_F(DebugLog, EachThreadWritesItsOwnFile) {
    std::string firstThreadDone;
    std::thread first([&] {
        writeDebugLog("first %d", 1);
        // The second thread writes while this one still holds MW_DEBUG_LOG_0000.txt.
        std::thread second([] { writeDebugLog("second %s", "thread"); });
        second.join();
        writeDebugLog("first again");
    });
    first.join();

    const std::string log0 = Read("MW_DEBUG_LOG_0000.txt");
    const std::string log1 = Read("MW_DEBUG_LOG_0001.txt");
    EXPECT_TRUE(
        std::regex_match(log0, std::regex(R"(\r\n[-0-9 :]{19}\t======== Log start ========\r\n)"
                                          R"([-0-9 :]{19}\tfirst 1\r\n[-0-9 :]{19}\tfirst again\r\n)")))
        << log0;
    EXPECT_TRUE(std::regex_match(
        log1,
        std::regex(R"(\r\n[-0-9 :]{19}\t======== Log start ========\r\n[-0-9 :]{19}\tsecond thread\r\n)")))
        << log1;

    // A later thread (as a later run) appends to the first free file, beginning a new log there.
    std::thread later([] { writeDebugLog("later"); });
    later.join();
    const std::string again = Read("MW_DEBUG_LOG_0000.txt");
    ASSERT_GT(again.size(), log0.size());
    EXPECT_EQ(again.substr(0, log0.size()), log0);
    EXPECT_TRUE(std::regex_match(again.substr(log0.size()),
                                 std::regex(R"(\r\n[-0-9 :]{19}\t======== Log start ========\r\n)"
                                            R"([-0-9 :]{19}\tlater\r\n)")));
}

TEST_F(DebugLog, LongTextIsCutAndAFailedWriteSwitchesTheThreadOff) {
    std::thread writer([] {
        writeDebugLog("%s", std::string(3000, 'x').c_str());
        writeDebugLog("kept");
    });
    writer.join();
    const std::string log = Read("MW_DEBUG_LOG_0000.txt");
    EXPECT_NE(log.find(std::string(1023, 'x') + "\r\n"), std::string::npos);
    EXPECT_EQ(log.find(std::string(1024, 'x')), std::string::npos);
    EXPECT_NE(log.find("\tkept\r\n"), std::string::npos);

    machine_->faults().Add(R"({"kind": "WriteFile", "match": {"path": "MW_DEBUG_LOG_0000.txt"}, "times": 1,
                               "outcome": {"win32_error": 112}})");
    std::thread failing([] {
        writeDebugLog("lost");
        writeDebugLog("lost too");
    });
    failing.join();
    const std::string after = Read("MW_DEBUG_LOG_0000.txt");
    EXPECT_EQ(after.find("lost"), std::string::npos);
    EXPECT_FALSE(Exists("MW_DEBUG_LOG_0001.txt"));
}

TEST_F(DebugLog, NoFileToOpenSwitchesTheThreadOff) {
    machine_->faults().Add(R"({"kind": "CreateFile", "match": {"disposition": 4, "flags": 128}, "times": 100,
                               "outcome": {"win32_error": 32}})");
    std::thread writer([] {
        writeDebugLog("nowhere");
        writeDebugLog("still nowhere");
    });
    writer.join();
    EXPECT_FALSE(Exists("MW_DEBUG_LOG_0000.txt"));
    EXPECT_FALSE(Exists("MW_DEBUG_LOG_0099.txt"));
}

} // namespace
