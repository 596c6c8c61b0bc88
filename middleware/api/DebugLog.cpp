#include "middleware/api/DebugLog.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "middleware/core/ScopedHandle.h"
#include "platform/win/WinDeviceIo.h"
#include "platform/win/WinFiles.h"

namespace {

// Empty until the first line; INVALID_HANDLE_VALUE once the thread's log is switched off.
thread_local ScopedHandle DebugLogFileHandle;

// The names tried before the log is given up for the thread.
constexpr int kLastFileNumber = 99;

std::string TimeStamp() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
    return stamp;
}

bool WriteAll(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

void SwitchOff() {
    DebugLogFileHandle.reset(INVALID_HANDLE_VALUE);
}

// Opens the first free name; false (log switched off) when none could be opened.
bool OpenLogFile(const std::string& stamp) {
    for (int n = 0; n <= kLastFileNumber; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "MW_DEBUG_LOG_%04d.txt", n);
        HANDLE file =
            CreateFileA(name, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        DebugLogFileHandle.reset(file);
        if (!WriteAll(file, "\r\n" + stamp + "\t======== Log start ========\r\n")) {
            SwitchOff();
            return false;
        }
        return true;
    }
    SwitchOff();
    return false;
}

} // namespace

void writeDebugLog(const char* format, ...) {
    if (DebugLogFileHandle.get() == INVALID_HANDLE_VALUE || !format)
        return;
    const std::string stamp = TimeStamp();
    if (!DebugLogFileHandle.get() && !OpenLogFile(stamp))
        return;
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (!WriteAll(DebugLogFileHandle.get(), stamp + "\t" + text + "\r\n"))
        SwitchOff();
}
