#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/GlobalLogger.h"
#include "middleware/core/UviError.h"

struct GlobalLoggerTestPeer {
    static void SetCounter(uint64_t value) { GlobalLogger::get().m_state->idCounter = value; }
    // The calling thread's store as a new thread finds it.
    static void Reset() { *GlobalLogger::get().m_state = GlobalLogger::State(); }
};

namespace {

using E = CConsolidatedError;

E Failure(KEDO2_ERRORS code, const char* message, const char* debug = nullptr) {
    E e;
    e.SetError(code, message, debug);
    return e;
}

_UVI_Error Convert(const E& e) {
    return e;
}

std::string LastMessage() {
    char buffer[256] = {};
    UviGetLastErrorMessage(buffer, sizeof buffer);
    return buffer;
}

// Logging is process-wide: never leave it off. The thread's store starts fresh for each test, also
// when all tests run in one process.
class GlobalLoggerTest : public testing::Test {
protected:
    void SetUp() override { GlobalLoggerTestPeer::Reset(); }
    void TearDown() override { GlobalLogger::SetLoggingOn(); }
};

TEST(UviStatusTable, EachCodeHasItsStatus) {
    struct Case {
        uint32_t code;
        uint32_t status;
    };
    const Case cases[] = {
        {0x20000000, 0},
        {0x20000001, 16},
        {0x200B0000, 16},
        {0xA0010001, 1},
        {0xA0010008, 8},
        {0xA001000B, 11},
        {0xA001000D, 13},
        {0xA0010016, 22},
        {0xA0010017, 16},
        {0xA0010018, 24},
        {0xA0000002, 15},
        {0xA0000003, 15},
        {0xA00100C9, 15},
        {0xA0000004, 2},
        {0xA0000006, 2},
        {0xA0000008, 18},
        {0xA000000E, 13},
        {0xA0000032, 10},
        {0xA00000AA, 23},
        {0xA0010061, 9},
        {0xA0010009, 9},
        {0xA0010060, 16},
        {0xA001004B, 75},
        {0xA001004C, 76},
        {0xA001004D, 77},
        {0xA001004E, 78},
        {0xA0010050, 16},
        {0xA0010051, 81},
        {0xA0030142, 94},
        {0xA0030131, 16},
        {0xA0070000, 26},
        {0xA007000C, 38},
        {0xA0070030, 74},
        {0xA0070031, 79},
        {0xA0070032, 82},
        // The busy and re-entry codes of the cross-process sections reach the C interface as the
        // generic status 16: the mapping table stands where the sections' own description names
        // statuses 81 and 82 (81 and 82 belong to 0xA0010051 and 0xA0070032 in the table).
        {0xA0070033, 16},
        {0xA0070037, 16},
        {0xA0070038, 16},
        {0xA0060001, 16},
        {0xA0020001, 16},
        {0xA0000001, 16},
        {0xA0010000, 16},
        {0xA0080000, 16},
        {0xFFFFFFFF, 16},
        {0x00000000, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code);
        EXPECT_EQ(UviStatusFromCode(c.code), c.status);
    }
}

TEST_F(GlobalLoggerTest, ConversionCopiesTheNumbersAndTheStatusDependsOnTheCodeAlone) {
    E win32;
    win32.SetError(KEDO2_ERROR_TYPE_WIN32, 5ul, "open");
    win32.SetError(KEDO2_ERROR_TYPE_DRIVER, 77ul, static_cast<const char*>(nullptr));
    _UVI_Error record{};
    ConvertToUviError(record, win32);
    EXPECT_EQ(record.status, UVI_STATUS_INTERNAL_ERROR);
    EXPECT_EQ(record.errorType, KEDO2_ERROR_TYPE_DRIVER);
    EXPECT_EQ(record.code, E::WIN32_ERROR);
    EXPECT_EQ(record.win32Error, 5u);
    EXPECT_EQ(record.errorId, 1u);

    // A driver-type error whose code is still the success code reads as status 0.
    E driver;
    driver.SetError(KEDO2_ERROR_TYPE_DRIVER, 3ul, static_cast<const char*>(nullptr));
    EXPECT_EQ(Convert(driver).status, UVI_STATUS_SUCCESS);
}

TEST_F(GlobalLoggerTest, IdsCountFromOneAndLoggingOffRegistersNothing) {
    EXPECT_EQ(GlobalLogger::get().getLastId(), GlobalLogger::NO_ID);
    EXPECT_EQ(Convert(E()).errorId, 1u); // a success registers too while nothing failed
    EXPECT_EQ(Convert(Failure(E::UVI_FAILED, "first")).errorId, 2u);

    GlobalLogger::SetLoggingOff();
    EXPECT_EQ(Convert(Failure(E::UVI_TIMEOUT, "second")).errorId, 0u);
    EXPECT_EQ(GlobalLogger::get().setError(Failure(E::UVI_TIMEOUT, "second")), GlobalLogger::NO_ID);
    EXPECT_EQ(GlobalLogger::get().getLastId(), 2u);
    EXPECT_EQ(LastMessage(), "first");

    GlobalLogger::SetLoggingOn();
    EXPECT_EQ(Convert(Failure(E::UVI_TIMEOUT, "third")).errorId, 3u);
    EXPECT_EQ(LastMessage(), "third");
}

TEST_F(GlobalLoggerTest, ASuccessNeverReplacesAStoredFailure) {
    const _UVI_Error failure = Failure(E::UVI_INVALIDHANDLE, "bad handle");
    EXPECT_EQ(failure.errorId, 1u);
    EXPECT_EQ(Convert(E()).errorId, 0u);
    EXPECT_EQ(LastMessage(), "bad handle");

    // A failure replaces a failure, and then one fetched late yields nothing.
    const _UVI_Error second = Failure(E::UVI_TIMEOUT, "timed out");
    EXPECT_EQ(second.errorId, 2u);
    EXPECT_EQ(UviGetErrorMessage(failure.errorId, nullptr, 0), 0u);

    CleanupUviError(second.errorId);
    EXPECT_EQ(LastMessage(), "");
    EXPECT_EQ(Convert(E()).errorId, 3u);
    EXPECT_EQ(Convert(E()).errorId, 4u); // a success replaces a success
}

TEST_F(GlobalLoggerTest, IdsSkipZeroWhenTheCounterWraps) {
    GlobalLoggerTestPeer::SetCounter(UINT64_MAX - 1);
    EXPECT_EQ(GlobalLogger::get().setError(Failure(E::UVI_FAILED, "a")), UINT64_MAX);
    EXPECT_EQ(GlobalLogger::get().setError(Failure(E::UVI_FAILED, "b")), 1u);
}

TEST_F(GlobalLoggerTest, OnlyTheLow32BitsTravelInTheRecord) {
    GlobalLoggerTestPeer::SetCounter(0x100000000ull);
    const _UVI_Error record = Failure(E::UVI_FAILED, "wide id");
    EXPECT_EQ(record.errorId, 1u);
    EXPECT_EQ(GlobalLogger::get().getLastId(), 0x100000001ull);
    // The short id no longer names the stored error.
    EXPECT_EQ(UviGetErrorMessage(record.errorId, nullptr, 0), 0u);
    EXPECT_TRUE(GetLoggedError(record).IsSuccessful());
}

TEST_F(GlobalLoggerTest, MessageGetterSizeProtocol) {
    const _UVI_Error record = Failure(E::UVI_FAILED, "abc", "debug text");
    EXPECT_EQ(UviGetErrorMessage(record.errorId, nullptr, 0), 4u);

    char small[3] = {'x', 'y', 'z'};
    EXPECT_EQ(UviGetErrorMessage(record.errorId, small, sizeof small), 4u);
    EXPECT_EQ(std::string(small, 3), "xyz");

    char big[8];
    std::memset(big, 'q', sizeof big);
    EXPECT_EQ(UviGetErrorMessage(record.errorId, big, sizeof big), 4u);
    EXPECT_EQ(std::string(big, sizeof big), std::string("abc\0\0\0\0\0", 8));

    EXPECT_EQ(UviGetErrorMessage(record.errorId + 1, big, sizeof big), 0u);
    EXPECT_EQ(UviGetErrorMessage(0, big, sizeof big), 0u);

    char debug[32] = {};
    EXPECT_EQ(UviGetErrorDebugMessage(record.errorId, debug, sizeof debug), 11u);
    EXPECT_STREQ(debug, "debug text");
    EXPECT_EQ(UviGetLastErrorDebugMessage(nullptr, 0), 11u);
    EXPECT_EQ(UviGetLastErrorMessage(nullptr, 0), 4u);

    // Reading never cleans.
    EXPECT_EQ(UviGetErrorMessage(record.errorId, nullptr, 0), 4u);
}

TEST_F(GlobalLoggerTest, DebugOnlyFailureHasNoMessage) {
    E e(E::IOCTL_BAD_RESULTS);
    e.AddDebugInformation("Session::build %d", 3);
    const _UVI_Error record = e;
    char buffer[64] = {};
    EXPECT_EQ(UviGetErrorMessage(record.errorId, buffer, sizeof buffer), 0u);
    EXPECT_EQ(UviGetErrorDebugMessage(record.errorId, buffer, sizeof buffer), 17u);
    EXPECT_STREQ(buffer, "Session::build 3");
}

TEST_F(GlobalLoggerTest, AStoredSuccessGivesNoMessageButItsDebugText) {
    E success;
    success.SetError(E::SUCCESS, "informational", "trace");
    const _UVI_Error record = success;
    EXPECT_EQ(record.errorId, 1u);
    EXPECT_EQ(UviGetErrorMessage(record.errorId, nullptr, 0), 0u);
    EXPECT_EQ(UviGetLastErrorMessage(nullptr, 0), 0u);
    EXPECT_EQ(UviGetErrorDebugMessage(record.errorId, nullptr, 0), 6u);
}

TEST_F(GlobalLoggerTest, CleanupAndLoggedErrorRoundTrip) {
    const _UVI_Error record = Failure(E::CFG_DISK_NOT_FOUND, "no disk", "dbg");
    const E logged = GetLoggedError(record);
    EXPECT_EQ(logged.GetErrorCode(), E::CFG_DISK_NOT_FOUND);
    EXPECT_STREQ(logged.GetErrorMessage(), "no disk");
    EXPECT_EQ(GlobalLogger::get().getLastId(), record.errorId); // still stored

    CleanupUviError(static_cast<_UVI_Error*>(nullptr));
    _UVI_Error stale = record;
    stale.errorId += 5;
    CleanupUviError(&stale);
    EXPECT_EQ(GlobalLogger::get().getLastId(), record.errorId);

    _UVI_Error copy = record;
    CleanupUviError(&copy);
    EXPECT_EQ(GlobalLogger::get().getLastId(), GlobalLogger::NO_ID);
    EXPECT_TRUE(GetLoggedError(record).IsSuccessful());
    EXPECT_STREQ(GlobalLogger::get().getLastError(false).GetErrorCodeString(), "No Error");
}

TEST_F(GlobalLoggerTest, GettersWithCleanForgetTheEntryAfterCopying) {
    GlobalLogger& logger = GlobalLogger::get();
    const uint64_t id = logger.setError(Failure(E::UVI_FAILED, "m"));
    EXPECT_TRUE(logger.getError(id + 1, true).IsSuccessful());
    EXPECT_EQ(logger.getLastId(), id);
    EXPECT_STREQ(logger.getError(id, true).GetErrorMessage(), "m");
    EXPECT_EQ(logger.getLastId(), GlobalLogger::NO_ID);

    const uint64_t next = logger.setError(Failure(E::UVI_FAILED, "n"));
    EXPECT_EQ(next, id + 1);
    EXPECT_STREQ(logger.getLastError(true).GetErrorMessage(), "n");
    EXPECT_TRUE(logger.getLastError(false).IsSuccessful());
}

TEST_F(GlobalLoggerTest, EachThreadHasItsOwnStoreAndIds) {
    GlobalLoggerTestPeer::SetCounter(6);
    const _UVI_Error mine = Failure(E::UVI_FAILED, "thread A");
    ASSERT_EQ(mine.errorId, 7u);

    std::string otherFirst;
    std::string otherAfterCleanup;
    uint32_t otherId = 0;
    std::thread other([&] {
        EXPECT_EQ(UviGetErrorMessage(7, nullptr, 0), 0u); // A's id means nothing here
        GlobalLoggerTestPeer::SetCounter(6);
        otherId = Convert(Failure(E::UVI_TIMEOUT, "thread B")).errorId;
        char buffer[32] = {};
        UviGetErrorMessage(7, buffer, sizeof buffer);
        otherFirst = buffer;
        CleanupUviError(7u);
        otherAfterCleanup = LastMessage();
    });
    other.join();
    EXPECT_EQ(otherId, 7u);
    EXPECT_EQ(otherFirst, "thread B");
    EXPECT_EQ(otherAfterCleanup, "");

    char buffer[32] = {};
    EXPECT_EQ(UviGetErrorMessage(7, buffer, sizeof buffer), 9u);
    EXPECT_STREQ(buffer, "thread A");
}

TEST_F(GlobalLoggerTest, LoggingOffOnOneThreadStopsRegistrationOnOthers) {
    GlobalLogger::SetLoggingOff();
    uint32_t id = 99;
    std::thread other([&] { id = Convert(Failure(E::UVI_FAILED, "x")).errorId; });
    other.join();
    EXPECT_EQ(id, 0u);
}

} // namespace
