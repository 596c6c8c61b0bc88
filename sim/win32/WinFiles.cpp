// Files over the simulated machine's file store (sim/Files.h): deleting, opening by id, the final
// path, opening and reading by path (CreateFile's file service), and folder searches.
#include "platform/win/WinFiles.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/win/WinBase.h"
#include "sim/Files.h"
#include "sim/Schema.h"
#include "sim/WideText.h"
#include "sim/win32/HandleTable.h"
#include "sim/win32/ReadableObject.h"
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

const sim::schema::FaultKind kFindFaults("FindFirstFile", {"pattern"},
                                         sim::schema::Object({{"win32_error", sim::schema::Uint32()}}));

// Unbuffered reads take whole sectors into a buffer aligned to one.
constexpr uintptr_t kSector = 512;

// A file of the store opened by path, for reading. Its size is read anew at each read, so a file
// that shrinks while it is read ends early.
class StoreFile : public platform::ReadableObject {
public:
    StoreFile(std::string path, bool unbuffered) : path_(std::move(path)), unbuffered_(unbuffered) {}

    bool Read(void* buffer, DWORD size, DWORD& bytesRead, DWORD& error) override {
        bytesRead = 0;
        auto outcome = platform::SimCall(
            "ReadFile", {{"path", path_}, {"object", "file"}, {"offset", position_}, {"size", size}});
        if (outcome && outcome->contains("win32_error")) {
            error = platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE);
            return false;
        }
        uint64_t fileSize = 0;
        if (DWORD gone = sim::files::SizeOf(path_, &fileSize)) {
            error = gone;
            return false;
        }
        // At the end there is nothing to read, wherever the position stands.
        if (position_ >= fileSize)
            return true;
        if (unbuffered_ && (reinterpret_cast<uintptr_t>(buffer) % kSector != 0 || size % kSector != 0 ||
                            position_ % kSector != 0)) {
            error = ERROR_INVALID_PARAMETER;
            return false;
        }
        uint64_t got = position_ < fileSize ? std::min<uint64_t>(size, fileSize - position_) : 0;
        if (outcome && outcome->contains("bytes_read"))
            got = std::min<uint64_t>(got, platform::OutcomeNumber(*outcome, "bytes_read", 0));
        std::memset(buffer, 0, got);
        position_ += got;
        bytesRead = static_cast<DWORD>(got);
        return true;
    }

    bool Seek(int64_t distance, DWORD method, uint64_t& position, DWORD& error) override {
        uint64_t fileSize = 0;
        (void)sim::files::SizeOf(path_, &fileSize);
        const int64_t base = method == FILE_CURRENT ? static_cast<int64_t>(position_)
                             : method == FILE_END   ? static_cast<int64_t>(fileSize)
                                                    : 0;
        if (method > FILE_END) {
            error = ERROR_INVALID_PARAMETER;
            return false;
        }
        if (base + distance < 0) {
            error = ERROR_NEGATIVE_SEEK;
            return false;
        }
        position_ = static_cast<uint64_t>(base + distance);
        position = position_;
        return true;
    }

private:
    std::string path_;
    bool unbuffered_;
    uint64_t position_ = 0;
};

// CreateFile for paths on drive C: that name a file of the store. The store is read-only here:
// only existing files open.
HANDLE OpenStoreFile(const std::wstring& widePath, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags) {
    return platform::Guarded(
        [&]() -> HANDLE {
            const std::string path = sim::ToUtf8(widePath);
            DWORD error = Injected("CreateFile", {{"path", path},
                                                  {"access", access},
                                                  {"share", share},
                                                  {"disposition", disposition},
                                                  {"flags", flags}});
            uint64_t size = 0;
            if (!error && disposition != OPEN_EXISTING)
                error = ERROR_ACCESS_DENIED;
            if (!error)
                error = sim::files::SizeOf(path, &size);
            if (error) {
                SetLastError(error);
                return INVALID_HANDLE_VALUE;
            }
            SetLastError(ERROR_SUCCESS);
            return platform::InsertHandle(
                std::make_shared<StoreFile>(path, (flags & FILE_FLAG_NO_BUFFERING) != 0));
        },
        platform::LastErrorAnd<HANDLE>(INVALID_HANDLE_VALUE));
}

const bool kRegistered = (platform::RegisterFileOpener(OpenStoreFile), true);

wchar_t Folded(wchar_t c) {
    return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
}

bool Matches(const wchar_t* pattern, const wchar_t* name) {
    for (; *pattern; ++pattern, ++name) {
        if (*pattern == L'*') {
            for (const wchar_t* rest = name;; ++rest) {
                if (Matches(pattern + 1, rest))
                    return true;
                if (!*rest)
                    return false;
            }
        }
        if (!*name || (*pattern != L'?' && Folded(*pattern) != Folded(*name)))
            return false;
    }
    return *name == 0;
}

// The wildcard rules of a folder search: "*.*" is every name, and a trailing "." asks for names
// without extension.
bool NameMatches(std::wstring pattern, const std::wstring& name) {
    if (pattern == L"*.*")
        pattern = L"*";
    if (pattern.size() > 1 && pattern.back() == L'.') {
        if (name.find(L'.') != std::wstring::npos && name != L"." && name != L"..")
            return false;
        pattern.pop_back();
    }
    return Matches(pattern.c_str(), name.c_str());
}

class FolderSearch : public platform::KernelObject {
public:
    std::vector<sim::files::FolderEntry> matches;
    size_t next = 0;
};

void Fill(const sim::files::FolderEntry& entry, WIN32_FIND_DATAW& data) {
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = entry.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    data.nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(entry.size);
    const std::wstring name = sim::FromUtf8(entry.name).substr(0, MAX_PATH - 1);
    std::copy(name.begin(), name.end(), data.cFileName);
}

// A bare pattern searches the process's current directory, whose files CreateFile opens by their bare
// names.
uint32_t ListCurrentDirectory(std::vector<sim::files::FolderEntry>& entries) {
    std::error_code failed;
    std::filesystem::directory_iterator it(std::filesystem::current_path(), failed);
    if (failed)
        return ERROR_PATH_NOT_FOUND;
    for (const auto& item : it) {
        std::error_code sizeFailed;
        const bool folder = item.is_directory(sizeFailed);
        const uint64_t size = folder ? 0 : item.file_size(sizeFailed);
        entries.push_back({item.path().filename().string(), folder, sizeFailed ? 0 : size});
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return sim::files::PathKey(a.name) < sim::files::PathKey(b.name);
    });
    return ERROR_SUCCESS;
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

HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findFileData) {
    return platform::Guarded(
        [&]() -> HANDLE {
            if (!fileName || !findFileData) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            const std::wstring pattern = fileName;
            if (DWORD error = Injected("FindFirstFile", {{"pattern", sim::ToUtf8(pattern)}})) {
                SetLastError(error);
                return INVALID_HANDLE_VALUE;
            }
            const size_t slash = pattern.rfind(L'\\');
            const std::wstring namePattern =
                slash == std::wstring::npos ? pattern : pattern.substr(slash + 1);
            std::vector<sim::files::FolderEntry> entries;
            DWORD error = 0;
            bool root = false;
            if (slash == std::wstring::npos) {
                error = ListCurrentDirectory(entries);
            } else {
                const std::string folder = sim::ToUtf8(pattern.substr(0, slash));
                root = sim::files::PathKey(folder.size() == 2 ? folder + "\\" : folder).size() == 3;
                error = sim::files::ListFolder(folder.size() == 2 ? folder + "\\" : folder, &entries);
            }
            if (error) {
                SetLastError(error);
                return INVALID_HANDLE_VALUE;
            }
            if (!root)
                entries.insert(entries.begin(), {{".", true, 0}, {"..", true, 0}});
            auto search = std::make_shared<FolderSearch>();
            for (const auto& entry : entries)
                if (NameMatches(namePattern, sim::FromUtf8(entry.name)))
                    search->matches.push_back(entry);
            if (search->matches.empty() || namePattern.empty()) {
                SetLastError(ERROR_FILE_NOT_FOUND);
                return INVALID_HANDLE_VALUE;
            }
            Fill(search->matches[0], *findFileData);
            search->next = 1;
            SetLastError(ERROR_SUCCESS);
            return platform::InsertHandle(search);
        },
        platform::LastErrorAnd<HANDLE>(INVALID_HANDLE_VALUE));
}

BOOL FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findFileData) {
    auto search = platform::LookupHandleAs<FolderSearch>(findFile);
    if (!search || !findFileData) {
        SetLastError(search ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (search->next >= search->matches.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    Fill(search->matches[search->next++], *findFileData);
    return TRUE;
}

BOOL FindClose(HANDLE findFile) {
    if (!platform::LookupHandleAs<FolderSearch>(findFile) || !platform::RemoveHandle(findFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
