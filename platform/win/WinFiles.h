#pragma once
// Files and volumes: deleting files by path, opening them by their file id on a volume, the path of
// an open file, searching a folder, the conversion of file times and a volume's free space.
// CreateFileA/W, ReadFile and SetFilePointer are in WinDeviceIo.h. Functions report failure through their
// result and the thread's last error.
#include <cstddef>

#include "platform/win/WinAccess.h"
#include "platform/win/WinDeviceIo.h"
#include "platform/win/WinError.h"
#include "platform/win/WinTypes.h"

constexpr DWORD FILE_READ_DATA = 0x0001;
constexpr DWORD FILE_APPEND_DATA = 0x0004;
constexpr DWORD FILE_READ_ATTRIBUTES = 0x0080;
constexpr DWORD FILE_WRITE_ATTRIBUTES = 0x0100;

// Flags of GetFinalPathNameByHandle (0: normalised, with the drive letter).
constexpr DWORD FILE_NAME_NORMALIZED = 0x0;
constexpr DWORD FILE_NAME_OPENED = 0x8;
constexpr DWORD VOLUME_NAME_DOS = 0x0;
constexpr DWORD VOLUME_NAME_GUID = 0x1;
constexpr DWORD VOLUME_NAME_NT = 0x2;
constexpr DWORD VOLUME_NAME_NONE = 0x4;

// 100-ns intervals since 1 January 1601 (UTC).
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
static_assert(sizeof(FILETIME) == 8);
using LPFILETIME = FILETIME*;

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
static_assert(sizeof(SYSTEMTIME) == 16);
static_assert(offsetof(SYSTEMTIME, wDay) == 6 && offsetof(SYSTEMTIME, wMilliseconds) == 14);
using LPSYSTEMTIME = SYSTEMTIME*;

// The current local time of the machine.
void GetLocalTime(LPSYSTEMTIME systemTime);

// Appends to the file's current position. The handle must come from CreateFileA/W on a plain file
// name of the current directory; FALSE and the last error otherwise or when the write fails.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD numberOfBytesToWrite, LPDWORD numberOfBytesWritten,
               LPOVERLAPPED overlapped);

enum FILE_ID_TYPE : DWORD { FileIdType = 0, ObjectIdType = 1, ExtendedFileIdType = 2 };

struct FILE_ID_128 {
    BYTE Identifier[16];
};

struct FILE_ID_DESCRIPTOR {
    DWORD dwSize;
    FILE_ID_TYPE Type;
    union {
        LARGE_INTEGER FileId;
        GUID ObjectId;
        FILE_ID_128 ExtendedFileId;
    };
};
static_assert(sizeof(FILE_ID_DESCRIPTOR) == 24);
static_assert(offsetof(FILE_ID_DESCRIPTOR, FileId) == 8);
using LPFILE_ID_DESCRIPTOR = FILE_ID_DESCRIPTOR*;

// Deletes a file ("c:\dir\file", also behind the "\\.\" or "\\?\" prefix). ERROR_FILE_NOT_FOUND when
// the folder holds no such file, ERROR_PATH_NOT_FOUND when the folder does not exist,
// ERROR_SHARING_VIOLATION while another program has the file open.
BOOL DeleteFileW(LPCWSTR fileName);

// Opens the file with that id on the volume of the hint handle (any open handle of the volume).
// ERROR_INVALID_PARAMETER for an id no file has or a descriptor that is not a 24-byte FileIdType
// one. The handle is closed with CloseHandle.
HANDLE OpenFileById(HANDLE volumeHint, LPFILE_ID_DESCRIPTOR fileId, DWORD desiredAccess, DWORD shareMode,
                    LPSECURITY_ATTRIBUTES securityAttributes, DWORD flagsAndAttributes);

// The path of an open file ("\\?\C:\dir\file" with the default flags). Returns the characters
// stored without the terminator; when the buffer (size in characters) is too small, the size needed
// with the terminator and nothing stored; 0 on failure.
DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR filePath, DWORD size, DWORD flags);

// FALSE (ERROR_INVALID_PARAMETER) for a time at or above 0x8000000000000000.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);

// The space of the volume that holds a directory ("C:\", or a volume GUID path
// "\\?\Volume{...}\" / "\\.\Volume{...}\"): bytes free to the caller, total bytes, free bytes. Each
// out pointer may be null. FALSE with the last error when the volume cannot be found or read.
BOOL GetDiskFreeSpaceExA(LPCSTR directoryName, ULARGE_INTEGER* freeBytesAvailableToCaller,
                         ULARGE_INTEGER* totalNumberOfBytes, ULARGE_INTEGER* totalNumberOfFreeBytes);

constexpr DWORD MAX_PATH = 260;

// One entry of a folder search. The fixed part has the Windows layout; the names are wide text of
// this platform.
struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};
static_assert(offsetof(WIN32_FIND_DATAW, ftCreationTime) == 4);
static_assert(offsetof(WIN32_FIND_DATAW, nFileSizeHigh) == 28 &&
              offsetof(WIN32_FIND_DATAW, nFileSizeLow) == 32);
static_assert(offsetof(WIN32_FIND_DATAW, cFileName) == 44);
using LPWIN32_FIND_DATAW = WIN32_FIND_DATAW*;

// Searches a folder: "C:\dir\pattern", or a bare pattern for the current directory. The pattern's
// last part may hold the wildcards * and ? and matches names without case ("*.*" matches every name,
// a trailing "." names without extension); a folder other than a drive's root also yields "." and
// "..". The first match is written and a search handle returned; INVALID_HANDLE_VALUE with
// ERROR_FILE_NOT_FOUND when nothing matches, ERROR_PATH_NOT_FOUND when the folder does not exist.
HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findFileData);
// The next match; FALSE with ERROR_NO_MORE_FILES after the last.
BOOL FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findFileData);
BOOL FindClose(HANDLE findFile);
