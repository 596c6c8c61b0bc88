#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/Error.h"
#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/GlobalLogger.h"
#include "tests/cli/CaptureStdout.h"

namespace {

using MOX::Error;

_UVI_Error Result(uint32_t status, uint32_t code = 0xA0010010) {
    _UVI_Error result{};
    result.status = static_cast<_UVI_Status>(status);
    result.code = code;
    return result;
}

TEST(ErrorRecord, LibraryStatusesMapToReturnCodes) {
    struct Case {
        std::vector<int32_t> statuses;
        int32_t returnCode;
    };
    const std::vector<Case> cases = {
        {{0}, 0},
        {{24}, 2},
        {{21}, 4},
        {{18, 30, 38, 39, 40, 41, 42, 49, 53, 54, 55, 58, 59, 62, 67, 68, 69, 70, 71, 72, 82}, 5},
        {{4}, 20},
        {{5}, 21},
        {{6, 44, 48}, 22},
        {{7}, 24},
        {{20}, 32},
        {{19}, 33},
        {{12}, 40},
        {{1}, 41},
        {{2, 52}, 42},
        {{22}, 44},
        {{50}, 51},
        {{51}, 52},
        {{9}, 53},
        {{3,
          8,
          10,
          11,
          13,
          14,
          15,
          16,
          17,
          23,
          25,
          26,
          27,
          28,
          29,
          31,
          37,
          43,
          45,
          46,
          47,
          56,
          57,
          60,
          61,
          63,
          66,
          73,
          74,
          75,
          79,
          80,
          81,
          83,
          94,
          -1,
          -2147483647 - 1},
         1},
    };
    for (const auto& c : cases)
        for (int32_t status : c.statuses) {
            EXPECT_EQ(MOX::ReturnCodeFromUviStatus(status), c.returnCode) << "status " << status;
            const Error record(Result(static_cast<uint32_t>(status)));
            EXPECT_EQ(record.getType(), c.returnCode) << "status " << status;
        }
}

TEST(ErrorRecord, ReturnCodesCarryTheirTexts) {
    const std::vector<std::pair<int32_t, std::string>> cases = {
        {0, ""},
        {1, "REQUEST_FAILED: Request is formatted correctly but failed to execute."},
        {2, "INVALID_REQUEST: Unrecognized command, request was formatted incorrectly."},
        {3, "INVALID_DEVICE: Request not formatted correctly, device does not exist."},
        {7, "Unknown Error"},
        {-5, "Unknown Error"},
        {32, "The password was incorrect."},
        {33, "The maximum number of unlock attempts has been exceeded for this disk"},
        {44, "User has insufficient privileges to perform operation."},
        {51, "More than 1 valid disk pair found.\nTo specify disks please use: --HalvexMemory --enable "
             "--fast-drive <diskId> --drive-to-accel <diskId>"},
        {53, "Timeout on waiting for events"},
    };
    for (const auto& [type, text] : cases) {
        const Error record(type);
        EXPECT_EQ(record.getMessage(), text) << type;
        EXPECT_EQ(record.getCode(), -1);
        EXPECT_TRUE(record.getDetails().empty());
        EXPECT_EQ(record.isError(), type != 0);
    }
}

TEST(ErrorRecord, FailureOfTheLibraryBringsItsTextsAndReleasesThem) {
    CConsolidatedError failure;
    failure.SetError(CConsolidatedError::UVI_INVALIDHANDLE, "Invalid Handle passed in", "Controller::find");
    const _UVI_Error result = failure;
    ASSERT_EQ(result.status, 3u);
    ASSERT_NE(result.errorId, 0u);

    const Error record(result);
    EXPECT_EQ(record.getType(), 1);
    EXPECT_EQ(record.getMessage(), "REQUEST_FAILED: Request is formatted correctly but failed to execute.");
    EXPECT_EQ(record.getCode(), static_cast<int32_t>(0xA0010003));
    EXPECT_EQ(record.getDetails(),
              (std::vector<std::string>{"Invalid Handle passed in", "Controller::find"}));
    // Released: a second translation finds no texts.
    EXPECT_EQ(UviGetErrorMessage(result.errorId, nullptr, 0), 0u);
    EXPECT_TRUE(Error(result).getDetails().empty());
}

TEST(ErrorRecord, SuccessKeepsTheLibraryCode) {
    const Error record(Result(0, 0x20000000));
    EXPECT_EQ(record.getType(), 0);
    EXPECT_EQ(record.getMessage(), "");
    EXPECT_TRUE(record.getDetails().empty());
    EXPECT_EQ(record.getCode(), 0x20000000);
}

TEST(ErrorRecord, TimeoutAndPasswordStatusesGetTheirOwnTexts) {
    EXPECT_EQ(Error(Result(9)).getMessage(), "Timeout on waiting for events");
    EXPECT_EQ(Error(Result(20)).getMessage(), "The password was incorrect.");
    EXPECT_EQ(Error(Result(19)).getType(), 33);
    EXPECT_EQ(Error(Result(22)).getType(), 44);
}

TEST(ErrorRecord, MergeTakesTheTypeAndAppendsDetailsNewestFirst) {
    Error into(3);
    into.addDetail("X");
    Error other(5);
    other.addDetail("A");
    other.addDetail("B");
    into.merge(other);
    EXPECT_EQ(into.getType(), 5);
    EXPECT_EQ(into.getDetails(), (std::vector<std::string>{"X", "B", "A"}));
    // Message and code stay until the message is looked up again.
    EXPECT_EQ(into.getMessage(), "INVALID_DEVICE: Request not formatted correctly, device does not exist.");
    EXPECT_EQ(into.getCode(), -1);

    Error success;
    into.merge(success);
    EXPECT_EQ(into.getType(), 0);
}

TEST(ErrorRecord, SetLooksTheMessageUpAgainAndKeepsTheCode) {
    Error record(Result(0, 0x20000000));
    record.set(1, "Could not get system information.");
    EXPECT_EQ(record.getType(), 1);
    EXPECT_EQ(record.getCode(), 0x20000000);
    EXPECT_EQ(record.getMessage(), "REQUEST_FAILED: Request is formatted correctly but failed to execute.");
    EXPECT_EQ(record.getDetails(), std::vector<std::string>{"Could not get system information."});
}

TEST(ErrorRecord, PrintsMessageAndDetailsEachAfterAnEmptyLine) {
    Error record(42);
    record.addDetail("first");
    record.addDetail("second");
    clitest::CaptureStdout out;
    record.printMessage();
    record.printDetails();
    EXPECT_EQ(out.text(), "\nInvalid Parameters.\n\nfirst\n\nsecond\n");
}

TEST(ErrorRecord, ExceptionTextIsFixedAndTheRecordTravels) {
    Error record(21);
    record.addDetail("name");
    const MOX::MoxErrorException e(record);
    const MOX::MoxErrorException copy = e;
    EXPECT_STREQ(copy.what(), "MOX CLI specific exception. See error structure for more information.");
    EXPECT_EQ(copy.getError().getType(), 21);
    EXPECT_EQ(copy.getError().getDetails(), std::vector<std::string>{"name"});
}

} // namespace
