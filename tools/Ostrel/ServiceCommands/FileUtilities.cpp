#include "tools/Ostrel/ServiceCommands/FileUtilities.h"

#include <cstdio>
#include <regex>
#include <stdexcept>

#include "platform/win/WinBase.h"

namespace {

constexpr DWORD kPathCapacity = 260;

// Closes a file handle when the scope ends.
struct FileHandle {
    HANDLE handle;
    ~FileHandle() {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

} // namespace

std::wstring FileIdToPath(uint64_t fileId) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE volume =
        CreateFileW(L"\\\\.\\c:", FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE)
        throw std::runtime_error("");

    FILE_ID_DESCRIPTOR descriptor{};
    descriptor.dwSize = sizeof descriptor;
    descriptor.Type = FileIdType;
    descriptor.FileId.QuadPart = static_cast<LONGLONG>(fileId);
    FileHandle file{OpenFileById(volume, &descriptor, 0, share, nullptr, 0)};
    CloseHandle(volume);
    if (file.handle == INVALID_HANDLE_VALUE)
        throw std::runtime_error("Error opening handle to fileId " + std::to_string(fileId));

    wchar_t buffer[kPathCapacity] = {};
    const DWORD length = GetFinalPathNameByHandleW(file.handle, buffer, kPathCapacity, 0);
    // A path that filled the buffer has no room left for its terminator.
    if (length == 0 || length >= kPathCapacity)
        throw std::runtime_error("Error getting path to fileId " + std::to_string(fileId));
    const std::wstring path(buffer, length);

    // The drive path behind the "\\?\" prefix: from a word character on, where nothing that
    // follows is followed by a colon.
    static const std::wregex drivePath(L"\\w(?:.(?!:))+$", std::regex::ECMAScript);
    std::wsmatch match;
    if (std::regex_search(path, match, drivePath))
        return match.str();
    return path;
}

std::string FormatFileTime(const FILETIME& fileTime) {
    SYSTEMTIME time{};
    if (!FileTimeToSystemTime(&fileTime, &time))
        return "Not available";
    char text[48];
    std::snprintf(text, sizeof text, "%u.%u.%u; %02u:%02u:%02u", time.wDay, time.wMonth, time.wYear,
                  time.wHour, time.wMinute, time.wSecond);
    return text;
}
