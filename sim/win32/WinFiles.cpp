// Files over the simulated machine's file store (sim/Files.h).
#include "platform/win/WinFiles.h"

#include <cstring>
#include <memory>
#include <string>

#include "platform/win/WinBase.h"
#include "sim/Files.h"
#include "sim/WideText.h"
#include "sim/win32/HandleTable.h"
#include "sim/win32/SimCall.h"

namespace {

class OpenFile : public platform::KernelObject {
public:
    explicit OpenFile(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

DWORD Injected(const char* kind, const nlohmann::json& selectors) {
    auto outcome = platform::SimCall(kind, selectors);
    return outcome ? platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE) : 0;
}

} // namespace

BOOL DeleteFileW(LPCWSTR fileName) {
    return platform::Guarded(
        [&]() -> BOOL {
            if (!fileName) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            const std::string path = sim::ToUtf8(fileName);
            DWORD error = Injected("DeleteFile", {{"path", path}});
            if (!error)
                error = sim::files::Delete(path);
            if (error) {
                SetLastError(error);
                return FALSE;
            }
            return TRUE;
        },
        platform::LastErrorAnd<BOOL>(FALSE));
}

HANDLE OpenFileById(HANDLE volumeHint, LPFILE_ID_DESCRIPTOR fileId, DWORD, DWORD, LPSECURITY_ATTRIBUTES,
                    DWORD) {
    return platform::Guarded(
        [&]() -> HANDLE {
            if (!platform::LookupHandle(volumeHint)) {
                SetLastError(ERROR_INVALID_HANDLE);
                return INVALID_HANDLE_VALUE;
            }
            if (!fileId || fileId->dwSize != sizeof(FILE_ID_DESCRIPTOR) || fileId->Type != FileIdType) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            const uint64_t id = static_cast<uint64_t>(fileId->FileId.QuadPart);
            std::string path;
            DWORD error = Injected("OpenFileById", {{"id", id}});
            if (!error)
                error = sim::files::PathOfId(id, &path);
            if (error) {
                SetLastError(error);
                return INVALID_HANDLE_VALUE;
            }
            SetLastError(ERROR_SUCCESS);
            return platform::InsertHandle(std::make_shared<OpenFile>(path));
        },
        platform::LastErrorAnd<HANDLE>(INVALID_HANDLE_VALUE));
}

DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR filePath, DWORD size, DWORD flags) {
    return platform::Guarded(
        [&]() -> DWORD {
            auto open = platform::LookupHandleAs<OpenFile>(file);
            if (!open) {
                SetLastError(ERROR_INVALID_HANDLE);
                return 0;
            }
            if (flags != (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            if (DWORD error = Injected("GetFinalPathNameByHandle", {{"path", open->path()}})) {
                SetLastError(error);
                return 0;
            }
            const std::wstring path = L"\\\\?\\" + sim::FromUtf8(open->path());
            if (!filePath || size <= path.size())
                return static_cast<DWORD>(path.size() + 1);
            std::memcpy(filePath, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
            return static_cast<DWORD>(path.size());
        },
        platform::LastErrorAnd<DWORD>(0));
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    if (!fileTime || !systemTime || (fileTime->dwHighDateTime & 0x80000000u)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const uint64_t ticks = (static_cast<uint64_t>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
    const uint64_t ms = ticks / 10000;
    uint64_t days = ms / 86400000;
    const uint64_t inDay = ms % 86400000;
    // 1 January 1601 was a Monday.
    systemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);
    // Civil date from the day count (days since 1601-01-01, shifted to an era starting in March 1600).
    int64_t z = static_cast<int64_t>(days) + 306;
    const int64_t era = z / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = 1600 + yoe + era * 400 + (month <= 2 ? 1 : 0);
    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    systemTime->wDay = static_cast<WORD>(day);
    systemTime->wHour = static_cast<WORD>(inDay / 3600000);
    systemTime->wMinute = static_cast<WORD>(inDay / 60000 % 60);
    systemTime->wSecond = static_cast<WORD>(inDay / 1000 % 60);
    systemTime->wMilliseconds = static_cast<WORD>(inDay % 1000);
    return TRUE;
}
