#pragma once
// The console: standard handles and the screen buffer calls that repaint text in place. Output that
// is not a console (a pipe or a file) fails the console calls with ERROR_INVALID_HANDLE.
#include <cstddef>

#include "platform/win/WinBase.h"
#include "platform/win/WinTypes.h"

constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);

constexpr DWORD ENABLE_PROCESSED_OUTPUT = 0x0001;
constexpr DWORD ENABLE_WRAP_AT_EOL_OUTPUT = 0x0002;

struct COORD {
    SHORT X;
    SHORT Y;
};
static_assert(sizeof(COORD) == 4);

struct SMALL_RECT {
    SHORT Left;
    SHORT Top;
    SHORT Right;
    SHORT Bottom;
};
static_assert(sizeof(SMALL_RECT) == 8);

struct CONSOLE_SCREEN_BUFFER_INFO {
    COORD dwSize;
    COORD dwCursorPosition;
    WORD wAttributes;
    SMALL_RECT srWindow;
    COORD dwMaximumWindowSize;
};
static_assert(sizeof(CONSOLE_SCREEN_BUFFER_INFO) == 22);
static_assert(offsetof(CONSOLE_SCREEN_BUFFER_INFO, dwCursorPosition) == 4);
static_assert(offsetof(CONSOLE_SCREEN_BUFFER_INFO, wAttributes) == 8);
static_assert(offsetof(CONSOLE_SCREEN_BUFFER_INFO, srWindow) == 10);
static_assert(offsetof(CONSOLE_SCREEN_BUFFER_INFO, dwMaximumWindowSize) == 18);

// INVALID_HANDLE_VALUE with ERROR_INVALID_PARAMETER for another number.
HANDLE GetStdHandle(DWORD stdHandle);
BOOL GetConsoleMode(HANDLE console, LPDWORD mode);
BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info);
// Writes `length` copies of the character from `start` on; the cursor stays where it is.
BOOL FillConsoleOutputCharacterW(HANDLE console, WCHAR character, DWORD length, COORD start, LPDWORD written);
BOOL SetConsoleCursorPosition(HANDLE console, COORD position);
