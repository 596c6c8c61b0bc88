#include "platform/win/WinBase.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string_view>
#include <sys/syscall.h>
#include <unistd.h>
#include <unordered_map>

#include "sim/Clock.h"
#include "sim/win32/HandleTable.h"

namespace {

thread_local DWORD t_lastError = 0;

// The system message table: the texts Windows gives for these numbers, each ending in CR LF.
const std::unordered_map<DWORD, std::wstring_view>& MessageTable() {
    static const std::unordered_map<DWORD, std::wstring_view> table = {
        {0, L"The operation completed successfully.\r\n"},
        {1, L"Incorrect function.\r\n"},
        {2, L"The system cannot find the file specified.\r\n"},
        {3, L"The system cannot find the path specified.\r\n"},
        {5, L"Access is denied.\r\n"},
        {6, L"The handle is invalid.\r\n"},
        {8, L"Not enough memory resources are available to process this command.\r\n"},
        {13, L"The data is invalid.\r\n"},
        {14, L"Not enough memory resources are available to complete this operation.\r\n"},
        {15, L"The system cannot find the drive specified.\r\n"},
        {21, L"The device is not ready.\r\n"},
        {31, L"A device attached to the system is not functioning.\r\n"},
        {32, L"The process cannot access the file because it is being used by another process.\r\n"},
        {50, L"The request is not supported.\r\n"},
        {87, L"The parameter is incorrect.\r\n"},
        {110, L"The system cannot open the device or file specified.\r\n"},
        {122, L"The data area passed to a system call is too small.\r\n"},
        {170, L"The requested resource is in use.\r\n"},
        {183, L"Cannot create a file when that file already exists.\r\n"},
        {203, L"The system could not find the environment option that was entered.\r\n"},
        {234, L"More data is available.\r\n"},
        {258, L"The wait operation timed out.\r\n"},
        {259, L"No more data is available.\r\n"},
        {288, L"Attempt to release mutex not owned by caller.\r\n"},
        {997, L"Overlapped I/O operation is in progress.\r\n"},
        {998, L"Invalid access to memory location.\r\n"},
        {1004, L"Invalid flags.\r\n"},
        {1008, L"An attempt was made to reference a token that does not exist.\r\n"},
        {1051,
         L"A stop control has been sent to a service that other running services are dependent on.\r\n"},
        {1053, L"The service did not respond to the start or control request in a timely fashion.\r\n"},
        {1056, L"An instance of the service is already running.\r\n"},
        {1058, L"The service cannot be started, either because it is disabled or because it has no enabled "
               L"devices associated with it.\r\n"},
        {1060, L"The specified service does not exist as an installed service.\r\n"},
        {1061, L"The service cannot accept control messages at this time.\r\n"},
        {1062, L"The service has not been started.\r\n"},
        {1072, L"The specified service has been marked for deletion.\r\n"},
        {1073, L"The specified service already exists.\r\n"},
        {1117, L"The request could not be performed because of an I/O device error.\r\n"},
        {1167, L"The device is not connected.\r\n"},
        {1168, L"Element not found.\r\n"},
        {1223, L"The operation was canceled by the user.\r\n"},
        {1300, L"Not all privileges or groups referenced are assigned to the caller.\r\n"},
        {1313, L"A specified privilege does not exist.\r\n"},
        {1314, L"A required privilege is not held by the client.\r\n"},
        {1359, L"An internal error occurred.\r\n"},
        {1450, L"Insufficient system resources exist to complete the requested service.\r\n"},
        {1460, L"This operation returned because the timeout period expired.\r\n"},
        {1702, L"The binding handle is invalid.\r\n"},
        {1722, L"The RPC server is unavailable.\r\n"},
        {1726, L"The remote procedure call failed.\r\n"},
        {1727, L"The remote procedure call failed and did not execute.\r\n"},
        {1784, L"The supplied user buffer is not valid for the requested operation.\r\n"},
    };
    return table;
}

} // namespace

DWORD GetLastError() {
    return t_lastError;
}
void SetLastError(DWORD error) {
    t_lastError = error;
}

BOOL CloseHandle(HANDLE handle) {
    if (!platform::RemoveHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    sim::Clock::SleepMs(milliseconds);
}

ULONGLONG GetTickCount64() {
    return sim::Clock::NowMs();
}
DWORD GetTickCount() {
    return static_cast<DWORD>(sim::Clock::NowMs());
}

// The counter ticks at 10 MHz, the frequency Windows reports on current machines.
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = 10000000;
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* counter) {
    counter->QuadPart = static_cast<LONGLONG>(sim::Clock::NowNs() / 100u);
    return TRUE;
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(::getpid());
}
DWORD GetCurrentThreadId() {
    return static_cast<DWORD>(::syscall(SYS_gettid));
}

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPWSTR buffer, DWORD size, va_list*) {
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) ||
        (flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto it = MessageTable().find(messageId);
    if (it == MessageTable().end()) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::wstring_view text = it->second;
    const DWORD length = static_cast<DWORD>(text.size());
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        auto* block = static_cast<wchar_t*>(std::calloc(std::max<DWORD>(size, length + 1), sizeof(wchar_t)));
        if (!block) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::wmemcpy(block, text.data(), length);
        *reinterpret_cast<wchar_t**>(buffer) = block;
        return length;
    }
    if (!buffer || size < length + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::wmemcpy(buffer, text.data(), length);
    buffer[length] = L'\0';
    return length;
}
