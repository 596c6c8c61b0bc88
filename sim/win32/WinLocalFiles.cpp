// Plain files of the process's current directory ("MW_DEBUG_LOG_0000.txt"): real files, because
// the product leaves them for people to read. An open without sharing holds an exclusive flock, so
// a second open of the same name fails with ERROR_SHARING_VIOLATION, from this process or another,
// as on Windows.
#include "sim/win32/WinLocalFiles.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/time.h>
#include <unistd.h>

#include "platform/win/WinBase.h"
#include "platform/win/WinFiles.h"
#include "sim/Schema.h"
#include "sim/win32/HandleTable.h"
#include "sim/win32/ReadableObject.h"
#include "sim/win32/SimCall.h"

namespace {

const sim::schema::FaultKind kWriteFaults("WriteFile", {"path"},
                                          sim::schema::Object({{"win32_error", sim::schema::Uint32()}}));

class LocalFile : public platform::ReadableObject {
public:
    LocalFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~LocalFile() override { ::close(fd_); }
    bool Read(void* buffer, DWORD size, DWORD& bytesRead, DWORD& error) override {
        if (auto outcome =
                platform::SimCall("ReadFile", {{"path", path_}, {"object", "file"}, {"size", size}})) {
            bytesRead = 0;
            error = platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE);
            return false;
        }
        const ssize_t got = ::read(fd_, buffer, size);
        if (got < 0) {
            bytesRead = 0;
            error = ERROR_GEN_FAILURE;
            return false;
        }
        bytesRead = static_cast<DWORD>(got);
        return true;
    }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

DWORD Win32ErrorOfErrno(int error) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    default:
        return ERROR_GEN_FAILURE;
    }
}

} // namespace

namespace platform {

bool IsLocalFileName(const std::string& path) {
    return !path.empty() && path.find_first_of("\\/:") == std::string::npos;
}

HANDLE OpenLocalFile(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    if (auto outcome = SimCall("CreateFile", {{"path", path},
                                              {"access", access},
                                              {"share", share},
                                              {"disposition", disposition},
                                              {"flags", flags}});
        outcome && outcome->contains("win32_error")) {
        SetLastError(OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE));
        return INVALID_HANDLE_VALUE;
    }
    int mode = (access & (GENERIC_WRITE | FILE_APPEND_DATA)) ? O_WRONLY : O_RDONLY;
    if (access & FILE_APPEND_DATA)
        mode |= O_APPEND;
    switch (disposition) {
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        mode |= O_CREAT;
        break;
    case CREATE_NEW:
        mode |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        mode |= O_CREAT | O_TRUNC;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ::open(path.c_str(), mode | O_CLOEXEC, 0644);
    if (fd < 0) {
        SetLastError(Win32ErrorOfErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    const bool exclusive = (share & (FILE_SHARE_READ | FILE_SHARE_WRITE)) == 0;
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        ::close(fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(std::make_shared<LocalFile>(fd, path));
}

} // namespace platform

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD numberOfBytesToWrite, LPDWORD numberOfBytesWritten,
               LPOVERLAPPED) {
    auto object = platform::LookupHandleAs<LocalFile>(file);
    if (numberOfBytesWritten)
        *numberOfBytesWritten = 0;
    if (!object || (!buffer && numberOfBytesToWrite != 0)) {
        SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (auto outcome = platform::SimCall("WriteFile", {{"path", object->path()}});
        outcome && outcome->contains("win32_error")) {
        SetLastError(platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE));
        return FALSE;
    }
    const auto* bytes = static_cast<const char*>(buffer);
    DWORD written = 0;
    while (written < numberOfBytesToWrite) {
        const ssize_t n = ::write(object->fd(), bytes + written, numberOfBytesToWrite - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SetLastError(Win32ErrorOfErrno(errno));
            return FALSE;
        }
        written += static_cast<DWORD>(n);
    }
    if (numberOfBytesWritten)
        *numberOfBytesWritten = written;
    return TRUE;
}

void GetLocalTime(LPSYSTEMTIME systemTime) {
    if (!systemTime)
        return;
    timeval now{};
    ::gettimeofday(&now, nullptr);
    std::tm local{};
    const time_t seconds = now.tv_sec;
    ::localtime_r(&seconds, &local);
    systemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
    systemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
    systemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    systemTime->wDay = static_cast<WORD>(local.tm_mday);
    systemTime->wHour = static_cast<WORD>(local.tm_hour);
    systemTime->wMinute = static_cast<WORD>(local.tm_min);
    systemTime->wSecond = static_cast<WORD>(local.tm_sec);
    systemTime->wMilliseconds = static_cast<WORD>(now.tv_usec / 1000);
}
