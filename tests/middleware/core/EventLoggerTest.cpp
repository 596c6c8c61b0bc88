#include <gtest/gtest.h>

#include "middleware/core/EventLogger.h"
#include "platform/win/WinEventLog.h"
#include "sim/EventLog.h"
#include "sim/Machine.h"

namespace {

class EventLoggerTest : public ::testing::Test {
protected:
    sim::ScopedMachine machine;
};

TEST_F(EventLoggerTest, EntriesCarryTypeCategoryIdAndStrings) {
    struct Case {
        uint32_t kind, flag, index;
        WORD type;
        WORD category;
        DWORD eventId;
    } cases[] = {
        {1, 0, 4, EVENTLOG_INFORMATION_TYPE, 1, 0x40010014},
        {3, 1, 5, EVENTLOG_ERROR_TYPE, 0, 0xC0010015},
        {0, 0, 0, EVENTLOG_SUCCESS, 1, 0x40010010},
        {2, 7, 15, EVENTLOG_WARNING_TYPE, 0, 0x8007001F},
        {4, 0, 24, EVENTLOG_AUDIT_SUCCESS, 1, 0x800B1C89},
        {5, 0, 13, EVENTLOG_AUDIT_FAILURE, 1, 0x4001001D},
        {9, 0, 25, EVENTLOG_INFORMATION_TYPE, 1, 0},
    };
    auto logger = MoxMwEventLogger::create();
    for (const auto& c : cases)
        logger->log(c.kind, c.flag, c.index);
    auto entries = sim::eventlog::Entries();
    ASSERT_EQ(entries.size(), std::size(cases));
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].source, "MOX Middleware");
        EXPECT_EQ(entries[i].type, cases[i].type) << i;
        EXPECT_EQ(entries[i].category, cases[i].category) << i;
        EXPECT_EQ(entries[i].eventId, cases[i].eventId) << i;
        EXPECT_TRUE(entries[i].strings.empty());
    }
}

TEST_F(EventLoggerTest, ProcessNameIsTheLastStringOfEveryLaterEntry) {
    auto logger = MoxMwEventLogger::create();
    logger->log(1, 1, 13, std::vector<std::string>{"Volume_1", "RAID 1"});
    logger->attachProcessName().log(1, 0, 4);
    logger->logStrings(1, 1, 14, std::vector<std::string>{"Caf\xe9"});
    logger->logStrings(1, 1, 14, std::vector<std::wstring>{L"wide"});
    logger->log(1, 1, 14, std::vector<std::wstring>{L"w1", L"w2"});

    auto entries = sim::eventlog::Entries();
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].strings, (std::vector<std::string>{"Volume_1", "RAID 1"}));
    EXPECT_EQ(entries[1].eventId, 0x40010014u);
    EXPECT_EQ(entries[1].category, 1);
    EXPECT_EQ(entries[1].strings, (std::vector<std::string>{"test_core.exe"}));
    // A narrow text is widened character by character.
    EXPECT_EQ(entries[2].strings, (std::vector<std::string>{"Caf\xc3\xa9", "test_core.exe"}));
    EXPECT_EQ(entries[3].strings, (std::vector<std::string>{"wide", "test_core.exe"}));
    EXPECT_EQ(entries[4].strings, (std::vector<std::string>{"w1", "w2", "test_core.exe"}));
}

TEST_F(EventLoggerTest, ALoggerWithoutSourceOrNameWritesNothingOrNoName) {
    machine->faults().Add(
        sim::FaultRule::FromJson({{"kind", "RegisterEventSource"}, {"outcome", {{"win32_error", 5}}}}));
    machine->faults().Add(
        sim::FaultRule::FromJson({{"kind", "K32GetModuleBaseName"}, {"outcome", {{"win32_error", 5}}}}));
    auto silent = MoxMwEventLogger::create();
    silent->attachProcessName().log(3, 0, 1, std::vector<std::string>{"x"});
    silent->log(1, 0, 0);
    EXPECT_TRUE(sim::eventlog::Entries().empty());
    EXPECT_EQ(machine->calls().Count("ReportEvent"), 0u);

    // The name lookup was used up by the silent logger's attach; fail it once more.
    machine->faults().Add(
        sim::FaultRule::FromJson({{"kind", "K32GetModuleBaseName"}, {"outcome", {{"win32_error", 5}}}}));
    auto unnamed = MoxMwEventLogger::create();
    unnamed->attachProcessName().log(1, 0, 4);
    machine->faults().Add(
        sim::FaultRule::FromJson({{"kind", "ReportEvent"}, {"outcome", {{"win32_error", 1502}}}}));
    unnamed->log(1, 0, 4); // a refused report goes unnoticed
    auto entries = sim::eventlog::Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].strings.empty());
}

} // namespace
