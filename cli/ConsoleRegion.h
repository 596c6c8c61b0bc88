#pragma once
// A place on the console that a progress display repaints: standard output is captured and, at each
// update, written over what the previous update wrote. Output that is not a console leaves the region
// inactive, so every display is appended instead.
#include <cstdint>
#include <iosfwd>
#include <sstream>

#include "platform/win/WinConsole.h"

namespace MOX {

class ConsoleRegion {
public:
    // Throws an Error of return code 1 when the console's cursor cannot be read.
    ConsoleRegion();
    ~ConsoleRegion();
    ConsoleRegion(const ConsoleRegion&) = delete;
    ConsoleRegion& operator=(const ConsoleRegion&) = delete;

    // Blanks what was shown since the start, puts the cursor back there and shows what was printed
    // since the last update. Throws an Error of return code 1 when a console call fails.
    void update();
    // Stops repainting: standard output goes straight to the console again.
    void restore();
    void restoreStream() { restore(); }

    bool isActive() const { return active_; }

private:
    int16_t startColumn_ = 0;
    int16_t startRow_ = 0;
    HANDLE console_ = nullptr;
    std::streambuf* savedBuffer_ = nullptr;
    std::stringstream capture_;
    bool active_ = false;
    DWORD consoleMode_ = 0;
};

} // namespace MOX
