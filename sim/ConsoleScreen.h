#pragma once
// The console standard output is bound to. A program's output is a terminal, a pipe or a file; tests
// choose instead between a simulated screen buffer and output that is not a console.
#include <cstdint>
#include <memory>
#include <mutex>
#include <streambuf>
#include <string>
#include <vector>

namespace sim {

// A screen buffer of fixed size: text written through stream() lands in its cells at the cursor,
// wrapping at the right edge and scrolling at the bottom, as a console's output does.
class ConsoleScreen {
public:
    ConsoleScreen(int16_t width, int16_t height);
    ~ConsoleScreen();
    ConsoleScreen(const ConsoleScreen&) = delete;
    ConsoleScreen& operator=(const ConsoleScreen&) = delete;

    std::streambuf* stream();

    int16_t width() const { return width_; }
    int16_t height() const { return height_; }
    int16_t cursorX() const;
    int16_t cursorY() const;
    // False for a position outside the buffer.
    bool setCursor(int16_t x, int16_t y);
    // Writes `count` copies of `c` from (x, y) on, row after row, stopping at the buffer's end; the
    // cursor stays. Returns the cells written, or -1 for a position outside the buffer.
    int64_t fill(char c, uint32_t count, int16_t x, int16_t y);

    // Every row, trailing blanks removed.
    std::vector<std::string> lines() const;
    // The rows up to the last one that holds text, joined with line breaks.
    std::string text() const;

private:
    class Buffer;
    void put(char c);

    int16_t width_;
    int16_t height_;
    mutable std::mutex mutex_;
    std::vector<std::string> rows_;
    int16_t x_ = 0;
    int16_t y_ = 0;
    std::unique_ptr<Buffer> buffer_;
};

namespace console {

enum class Binding { Process, Screen, NotConsole };
// What a ScopedConsole installed; Process when none (the process's own standard output decides).
Binding CurrentBinding(std::shared_ptr<ConsoleScreen>* screen);

} // namespace console

// For the life of the object, standard output answers the console calls from `screen`, or, with a
// null screen, is not a console (a pipe or a file); the binding before it comes back afterwards.
class ScopedConsole {
public:
    explicit ScopedConsole(std::shared_ptr<ConsoleScreen> screen);
    ~ScopedConsole();
    ScopedConsole(const ScopedConsole&) = delete;
    ScopedConsole& operator=(const ScopedConsole&) = delete;

private:
    console::Binding previous_;
    std::shared_ptr<ConsoleScreen> previousScreen_;
};

} // namespace sim
