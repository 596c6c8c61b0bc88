#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/BoostCommandParser.h"
#include "cli/ParseCommandLine.h"
#include "cli/RunCommandLine.h"
#include "cli/TaskFactory.h"
#include "tests/cli/CaptureStdout.h"
#include "tests/cli/ParsedCommandLine.h"

namespace {

using clitest::Parsed;

TEST(RunCommandLine, DriverVersionRuleIsMajorAndMinorOrMinorPlusThirty) {
    struct Case {
        uint32_t major, minor;
        bool fits;
    };
    const Case cases[] = {{20, 1, true},  {20, 31, true},  {20, 30, false}, {20, 32, false},
                          {19, 1, false}, {21, 31, false}, {20, 0, false}};
    for (const Case& c : cases)
        EXPECT_EQ(MOX::IsDriverVersionCompatible(20, 1, c.major, c.minor), c.fits)
            << c.major << "." << c.minor;
    // No wrap-around at the top of the minor numbers.
    EXPECT_FALSE(MOX::IsDriverVersionCompatible(1, 0xFFFFFFF0u, 1, 14));
    EXPECT_TRUE(MOX::IsDriverVersionCompatible(1, 0xFFFFFFF0u, 1, 0xFFFFFFF0u));
}

TEST(RunCommandLine, DispatcherNeedsExactlyOneMode) {
    struct Case {
        std::vector<std::string> args;
        int32_t type;
        const char* detail;
    };
    const Case cases[] = {
        {{}, 1, "Not enough mode options provided"},
        {{"-I", "-V"}, 1, "Too many mode options provided"},
        // The one mode set reaches its factory, which checks the mode's own options.
        {{"--accelerate"}, 2, "Accelerate parameters are incorrect or missing"},
    };
    for (const Case& c : cases) {
        Parsed parsed(c.args, 0);
        ASSERT_FALSE(parsed.result.isError());
        const MOX::Error result = MOX::RunTask(parsed.parser);
        EXPECT_EQ(result.getType(), c.type);
        EXPECT_EQ(result.getDetails(), std::vector<std::string>{c.detail});
        EXPECT_EQ(result.getCode(), MOX::Error::NO_CODE);
    }
}

TEST(RunCommandLine, ParseErrorsAndHelpNeedNoSession) {
    clitest::CaptureStdout out;
    const char* hidden[] = {"moxcli", "--create"};
    const MOX::Error parseError = MOX::RunCommandLine(2, hidden);
    EXPECT_EQ(parseError.getType(), 2);
    ASSERT_EQ(parseError.getDetails().size(), 2u);
    EXPECT_EQ(parseError.getDetails()[1], "Failed to parse command parameters.");
    EXPECT_EQ(out.text(), "");

    const char* help[] = {"moxcli", "--help"};
    EXPECT_FALSE(MOX::RunCommandLine(2, help).isError());
    EXPECT_NE(out.text().find("--information"), std::string::npos);
}

TEST(RunCommandLine, ResultPrintingGoesToBothStreams) {
    struct Case {
        int32_t type;
        int32_t code;
        std::string out, err;
    };
    const Case cases[] = {
        {0, 0x20000000, "", ""},
        {1, -1,
         "\nREQUEST_FAILED: Request is formatted correctly but failed to execute.\n\nfirst\n\nsecond\n", ""},
        {1, static_cast<int32_t>(0xA0010050u),
         "\nREQUEST_FAILED: Request is formatted correctly but failed to execute.\n\nfirst\n\nsecond\n",
         "\nError code: 0xA0010050\n"},
        {2, 0x2A,
         "\nINVALID_REQUEST: Unrecognized command, request was formatted incorrectly.\n\nfirst\n\nsecond\n",
         "\nError code: 0x2A\n"},
    };
    for (const Case& c : cases) {
        MOX::Error result;
        if (c.code != -1) {
            _UVI_Error library{};
            library.code = static_cast<uint32_t>(c.code);
            result.assignFromUviError(library);
        }
        if (c.type != 0) {
            result.set(c.type, "first");
            result.addDetail("second");
        }
        std::ostringstream err;
        std::streambuf* saved = std::cerr.rdbuf(err.rdbuf());
        {
            clitest::CaptureStdout out;
            MOX::PrintResult(result);
            EXPECT_EQ(out.text(), c.out) << c.type;
        }
        std::cerr.rdbuf(saved);
        EXPECT_EQ(err.str(), c.err) << c.type;
    }
}

} // namespace
