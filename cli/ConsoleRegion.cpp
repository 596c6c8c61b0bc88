#include "cli/ConsoleRegion.h"

#include <iostream>
#include <mutex>

#include "cli/ConsoleLock.h"
#include "cli/Error.h"

namespace MOX {

ConsoleRegion::ConsoleRegion() {
    std::lock_guard<std::recursive_mutex> lock(ConsoleLock());
    console_ = GetStdHandle(STD_OUTPUT_HANDLE);
    savedBuffer_ = std::cout.rdbuf(capture_.rdbuf());
    active_ = console_ != nullptr && console_ != INVALID_HANDLE_VALUE;
    if (!GetConsoleMode(console_, &consoleMode_) || consoleMode_ == 0) {
        std::cout.rdbuf(savedBuffer_);
        active_ = false;
        return;
    }
    if (!active_)
        return;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(console_, &info)) {
        std::cout.rdbuf(savedBuffer_);
        active_ = false;
        throw Error(1);
    }
    startColumn_ = info.dwCursorPosition.X;
    startRow_ = info.dwCursorPosition.Y;
}

ConsoleRegion::~ConsoleRegion() {
    std::lock_guard<std::recursive_mutex> lock(ConsoleLock());
    restore();
    std::cout << capture_.str() << std::flush;
}

void ConsoleRegion::update() {
    std::lock_guard<std::recursive_mutex> lock(ConsoleLock());
    if (!active_)
        return;
    std::cout.rdbuf(savedBuffer_);
    std::cout.flush();
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(console_, &info))
        throw Error(1);
    const COORD start{startColumn_, startRow_};
    // A cursor found before the start (the window scrolled) leaves nothing to blank.
    const int64_t shown = (int64_t{info.dwCursorPosition.Y} - startRow_) * info.dwSize.X +
                          info.dwCursorPosition.X - startColumn_;
    DWORD written = 0;
    if (!FillConsoleOutputCharacterW(console_, L' ', static_cast<DWORD>(shown > 0 ? shown : 0), start,
                                     &written) ||
        !SetConsoleCursorPosition(console_, start))
        throw Error(1);
    std::cout << capture_.str() << std::flush;
    capture_.str(std::string());
    capture_.clear();
    std::cout.rdbuf(capture_.rdbuf());
}

void ConsoleRegion::restore() {
    std::lock_guard<std::recursive_mutex> lock(ConsoleLock());
    active_ = false;
    std::cout.rdbuf(savedBuffer_);
}

} // namespace MOX
