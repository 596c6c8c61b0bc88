#include <iostream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "cli/ConsoleRegion.h"
#include "cli/Error.h"
#include "platform/win/WinConsole.h"
#include "sim/ConsoleScreen.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/cli/CaptureStdout.h"

namespace {

// Standard output written into a simulated screen buffer for the life of the object.
struct ScreenOutput {
    std::shared_ptr<sim::ConsoleScreen> screen = std::make_shared<sim::ConsoleScreen>(20, 10);
    sim::ScopedConsole console{screen};
    std::streambuf* saved = std::cout.rdbuf(screen->stream());
    ~ScreenOutput() { std::cout.rdbuf(saved); }
};

TEST(ConsoleRegion, RepaintsInPlaceOnAConsole) {
    ScreenOutput out;
    std::cout << "header\n" << std::flush;
    {
        MOX::ConsoleRegion region;
        EXPECT_TRUE(region.isActive());
        std::cout << "progress 10% of a long line\nstep one\n";
        region.update();
        EXPECT_EQ(out.screen->text(), "header\nprogress 10% of a lo\nng line\nstep one");
        std::cout << "progress 90%\n";
        region.update();
        EXPECT_EQ(out.screen->text(), "header\nprogress 90%");
        std::cout << "done\n";
    }
    // What was printed after the last update comes out when the region ends.
    EXPECT_EQ(out.screen->text(), "header\nprogress 90%\ndone");
}

TEST(ConsoleRegion, OnAPipeEveryDisplayIsAppended) {
    sim::ScopedConsole notConsole(nullptr);
    clitest::CaptureStdout out;
    {
        MOX::ConsoleRegion region;
        EXPECT_FALSE(region.isActive());
        std::cout << "step 1\n";
        region.update();
        std::cout << "step 2\n";
        region.update();
    }
    EXPECT_EQ(out.text(), "step 1\nstep 2\n");
}

TEST(ConsoleRegion, RestoreStopsRepainting) {
    ScreenOutput out;
    {
        MOX::ConsoleRegion region;
        std::cout << "one\n";
        region.update();
        std::cout << "captured\n";
        region.restore();
        std::cout << "direct\n";
        region.update();
    }
    EXPECT_EQ(out.screen->text(), "one\ndirect\ncaptured");
}

TEST(ConsoleBinding, NotAConsoleFailsTheConsoleCalls) {
    sim::ScopedConsole notConsole(nullptr);
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    DWORD mode = 0;
    EXPECT_FALSE(GetConsoleMode(out, &mode));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    EXPECT_FALSE(GetConsoleScreenBufferInfo(out, &info));
    EXPECT_FALSE(SetConsoleCursorPosition(out, {0, 0}));
    EXPECT_EQ(GetStdHandle(12345), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(ConsoleBinding, ScreenAnswersSizeCursorFillAndPosition) {
    ScreenOutput screen;
    std::cout << "abcdefghij" << std::flush;
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    ASSERT_TRUE(GetConsoleMode(out, &mode));
    EXPECT_NE(mode, 0u);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &info));
    EXPECT_EQ(info.dwSize.X, 20);
    EXPECT_EQ(info.dwSize.Y, 10);
    EXPECT_EQ(info.dwCursorPosition.X, 10);
    EXPECT_EQ(info.dwCursorPosition.Y, 0);
    DWORD written = 0;
    ASSERT_TRUE(FillConsoleOutputCharacterW(out, L' ', 5, {2, 0}, &written));
    EXPECT_EQ(written, 5u);
    EXPECT_EQ(screen.screen->text(), "ab     hij");
    // A fill never runs past the buffer's end.
    ASSERT_TRUE(FillConsoleOutputCharacterW(out, L'x', 1000, {18, 9}, &written));
    EXPECT_EQ(written, 2u);
    EXPECT_FALSE(SetConsoleCursorPosition(out, {20, 0}));
    EXPECT_FALSE(FillConsoleOutputCharacterW(out, L' ', 1, {0, 10}, &written));
    ASSERT_TRUE(SetConsoleCursorPosition(out, {1, 2}));
    std::cout << "Z" << std::flush;
    EXPECT_EQ(screen.screen->lines()[2], " Z");
    EXPECT_FALSE(GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode));
}

TEST(ConsoleRegion, ConsoleCallFailureInsideTheRegionIsAFailedRequest) {
    ScreenOutput out;
    MOX::ConsoleRegion region;
    std::cout << "shown\n";
    {
        // The console goes away under the region: standard output is its own again afterwards.
        sim::ScopedConsole gone(nullptr);
        try {
            region.update();
            FAIL() << "update succeeded without a console";
        } catch (const MOX::Error& e) {
            EXPECT_EQ(e.getType(), 1);
            EXPECT_TRUE(e.getDetails().empty());
        }
    }
    EXPECT_EQ(std::cout.rdbuf(), out.screen->stream());
    region.restore();
}

// A machine whose console fails one call once.
sim::MachineBuilder FailingOnce(const char* call) {
    return sim::MachineBuilder("console").Append(
        "/faults", std::string(R"({"kind": ")") + call + R"(", "times": 1, "outcome": {"win32_error": 31}})");
}

TEST(ConsoleRegion, FailedConsoleCallsAreFailedRequests) {
    for (const char* call : {"FillConsoleOutputCharacter", "SetConsoleCursorPosition"}) {
        ScreenOutput out;
        sim::ScopedMachine machine(FailingOnce(call));
        MOX::ConsoleRegion region;
        std::cout << "shown\n";
        try {
            region.update();
            ADD_FAILURE() << call << " failed and the update went on";
        } catch (const MOX::Error& e) {
            EXPECT_EQ(e.getType(), 1) << call;
        }
        EXPECT_EQ(std::cout.rdbuf(), out.screen->stream()) << call;
        region.restore();
    }
}

TEST(ConsoleRegion, UnreadableCursorFailsTheRegionAndGivesStandardOutputBack) {
    ScreenOutput out;
    sim::ScopedMachine machine(FailingOnce("GetConsoleScreenBufferInfo"));
    try {
        MOX::ConsoleRegion region;
        ADD_FAILURE() << "region made without its start position";
    } catch (const MOX::Error& e) {
        EXPECT_EQ(e.getType(), 1);
    }
    EXPECT_EQ(std::cout.rdbuf(), out.screen->stream());
}

TEST(ConsoleRegion, ConsoleModeFailureLeavesTheRegionInactive) {
    ScreenOutput out;
    sim::ScopedMachine machine(FailingOnce("GetConsoleMode"));
    {
        MOX::ConsoleRegion region;
        EXPECT_FALSE(region.isActive());
        std::cout << "first\n";
        region.update();
        std::cout << "second\n";
    }
    EXPECT_EQ(out.screen->text(), "first\nsecond");
}

} // namespace
