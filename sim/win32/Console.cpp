// The console over this machine: a terminal on standard output answers through its escape sequences,
// a pipe or a file is not a console, and tests bind a simulated screen buffer instead.
#include "platform/win/WinConsole.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "sim/ConsoleScreen.h"
#include "sim/Schema.h"
#include "sim/win32/SimCall.h"

namespace {

const sim::schema::FaultKind kFaults({"GetConsoleMode", "GetConsoleScreenBufferInfo",
                                      "FillConsoleOutputCharacter", "SetConsoleCursorPosition"},
                                     {}, sim::schema::Object({{"win32_error", sim::schema::Uint32()}}));

HANDLE StdHandleValue(DWORD which) {
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7E000000u - which));
}

// What a console call on `handle` talks to; only standard output can be a console here.
struct Target {
    sim::console::Binding binding = sim::console::Binding::NotConsole;
    std::shared_ptr<sim::ConsoleScreen> screen;
};

// The seam comes after the handle checks: a pipe or a file never reaches the machine.
bool ResolveConsole(HANDLE handle, Target& target, const char* call) {
    if (handle != StdHandleValue(STD_OUTPUT_HANDLE)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    target.binding = sim::console::CurrentBinding(&target.screen);
    if (target.binding == sim::console::Binding::Process && !::isatty(STDOUT_FILENO))
        target.binding = sim::console::Binding::NotConsole;
    if (target.binding == sim::console::Binding::NotConsole) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (auto outcome = platform::SimCall(call, nlohmann::json::object())) {
        SetLastError(platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE));
        return false;
    }
    return true;
}

void WriteTerminal(const std::string& bytes) {
    std::fflush(stdout);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// Asks the terminal where its cursor is (a device status report), waiting briefly for the answer.
bool TerminalCursor(SHORT& x, SHORT& y) {
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY);
    if (tty < 0)
        return false;
    bool ok = false;
    termios saved{};
    if (::tcgetattr(tty, &saved) == 0) {
        termios raw = saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        ::tcsetattr(tty, TCSANOW, &raw);
        std::fflush(stdout);
        if (::write(tty, "\x1b[6n", 4) == 4) {
            std::string answer;
            pollfd pfd{tty, POLLIN, 0};
            char c = 0;
            while (answer.size() < 32 && ::poll(&pfd, 1, 200) > 0 && ::read(tty, &c, 1) == 1) {
                answer += c;
                if (c == 'R')
                    break;
            }
            int row = 0, column = 0;
            const auto start = answer.find("\x1b[");
            if (start != std::string::npos &&
                std::sscanf(answer.c_str() + start, "\x1b[%d;%dR", &row, &column) == 2 && row > 0 &&
                column > 0) {
                x = static_cast<SHORT>(column - 1);
                y = static_cast<SHORT>(row - 1);
                ok = true;
            }
        }
        ::tcsetattr(tty, TCSANOW, &saved);
    }
    ::close(tty);
    return ok;
}

void TerminalSize(SHORT& width, SHORT& height) {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
        width = static_cast<SHORT>(size.ws_col);
        height = static_cast<SHORT>(size.ws_row);
        return;
    }
    width = 80;
    height = 25;
}

std::string MoveTo(COORD position) {
    return "\x1b[" + std::to_string(position.Y + 1) + ";" + std::to_string(position.X + 1) + "H";
}

} // namespace

HANDLE GetStdHandle(DWORD stdHandle) {
    if (stdHandle != STD_INPUT_HANDLE && stdHandle != STD_OUTPUT_HANDLE && stdHandle != STD_ERROR_HANDLE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return StdHandleValue(stdHandle);
}

BOOL GetConsoleMode(HANDLE console, LPDWORD mode) {
    Target target;
    if (!ResolveConsole(console, target, "GetConsoleMode"))
        return FALSE;
    if (!mode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A terminal that does not tell where its cursor is cannot be repainted: treated like a pipe.
    SHORT x = 0, y = 0;
    if (target.binding == sim::console::Binding::Process && !TerminalCursor(x, y)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *mode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
    return TRUE;
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info) {
    Target target;
    if (!ResolveConsole(console, target, "GetConsoleScreenBufferInfo"))
        return FALSE;
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    CONSOLE_SCREEN_BUFFER_INFO answer{};
    if (target.binding == sim::console::Binding::Screen) {
        answer.dwSize = {target.screen->width(), target.screen->height()};
        answer.dwCursorPosition = {target.screen->cursorX(), target.screen->cursorY()};
    } else {
        TerminalSize(answer.dwSize.X, answer.dwSize.Y);
        if (!TerminalCursor(answer.dwCursorPosition.X, answer.dwCursorPosition.Y)) {
            SetLastError(ERROR_GEN_FAILURE);
            return FALSE;
        }
    }
    answer.wAttributes = 0x07;
    answer.srWindow = {0, 0, static_cast<SHORT>(answer.dwSize.X - 1),
                       static_cast<SHORT>(answer.dwSize.Y - 1)};
    answer.dwMaximumWindowSize = answer.dwSize;
    *info = answer;
    return TRUE;
}

BOOL FillConsoleOutputCharacterW(HANDLE console, WCHAR character, DWORD length, COORD start,
                                 LPDWORD written) {
    Target target;
    if (!ResolveConsole(console, target, "FillConsoleOutputCharacter"))
        return FALSE;
    if (!written) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Only the blanks and text the product repaints with: one byte per cell.
    const char c = character >= 0x20 && character < 0x7F ? static_cast<char>(character) : '?';
    if (target.binding == sim::console::Binding::Screen) {
        const int64_t count = target.screen->fill(c, length, start.X, start.Y);
        if (count < 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *written = static_cast<DWORD>(count);
        return TRUE;
    }
    SHORT width = 0, height = 0;
    TerminalSize(width, height);
    if (start.X < 0 || start.Y < 0 || start.X >= width || start.Y >= height) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    length = std::min<DWORD>(length, static_cast<DWORD>((height - start.Y) * width - start.X));
    // Save the cursor, write from the start position, put the cursor back.
    WriteTerminal("\x1b"
                  "7" +
                  MoveTo(start) + std::string(length, c) +
                  "\x1b"
                  "8");
    *written = length;
    return TRUE;
}

BOOL SetConsoleCursorPosition(HANDLE console, COORD position) {
    Target target;
    if (!ResolveConsole(console, target, "SetConsoleCursorPosition"))
        return FALSE;
    if (target.binding == sim::console::Binding::Screen) {
        if (!target.screen->setCursor(position.X, position.Y)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        return TRUE;
    }
    if (position.X < 0 || position.Y < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WriteTerminal(MoveTo(position));
    return TRUE;
}
