#pragma once
// Device I/O: opening devices by path, device control requests and reads, with Win32 semantics:
// BOOL results, the thread's last error, bytes returned.
#include <cstddef>
#include <string>

#include "platform/win/WinAccess.h"
#include "platform/win/WinTypes.h"

// Access rights of CreateFile.
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD GENERIC_EXECUTE = 0x20000000;
constexpr DWORD GENERIC_ALL = 0x10000000;

constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD FILE_SHARE_DELETE = 0x00000004;

// Creation dispositions.
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x00000004;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;
constexpr DWORD FILE_FLAG_NO_BUFFERING = 0x20000000;

struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
static_assert(sizeof(OVERLAPPED) == 32);
static_assert(offsetof(OVERLAPPED, Offset) == 16);
static_assert(offsetof(OVERLAPPED, hEvent) == 24);
using LPOVERLAPPED = OVERLAPPED*;

// Device control codes: device type, function, transfer method and required access in one word.
constexpr DWORD CTL_CODE(DWORD deviceType, DWORD function, DWORD method, DWORD access) {
    return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

constexpr DWORD METHOD_BUFFERED = 0;
constexpr DWORD METHOD_IN_DIRECT = 1;
constexpr DWORD METHOD_OUT_DIRECT = 2;
constexpr DWORD METHOD_NEITHER = 3;

constexpr DWORD FILE_ANY_ACCESS = 0;
constexpr DWORD FILE_READ_ACCESS = 1;
constexpr DWORD FILE_WRITE_ACCESS = 2;

constexpr DWORD FILE_DEVICE_CONTROLLER = 0x00000004;
constexpr DWORD FILE_DEVICE_DISK = 0x00000007;
constexpr DWORD FILE_DEVICE_MASS_STORAGE = 0x0000002D;

constexpr DWORD IOCTL_SCSI_BASE = FILE_DEVICE_CONTROLLER;
constexpr DWORD IOCTL_DISK_BASE = FILE_DEVICE_DISK;
constexpr DWORD IOCTL_STORAGE_BASE = FILE_DEVICE_MASS_STORAGE;

constexpr DWORD IOCTL_SCSI_PASS_THROUGH =
    CTL_CODE(IOCTL_SCSI_BASE, 0x0401, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
constexpr DWORD IOCTL_SCSI_MINIPORT =
    CTL_CODE(IOCTL_SCSI_BASE, 0x0402, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
constexpr DWORD IOCTL_SCSI_PASS_THROUGH_DIRECT =
    CTL_CODE(IOCTL_SCSI_BASE, 0x0405, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
constexpr DWORD IOCTL_SCSI_GET_ADDRESS = CTL_CODE(IOCTL_SCSI_BASE, 0x0406, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_ATA_PASS_THROUGH =
    CTL_CODE(IOCTL_SCSI_BASE, 0x040B, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

constexpr DWORD IOCTL_DISK_PERFORMANCE = CTL_CODE(IOCTL_DISK_BASE, 0x0008, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_DISK_GET_DRIVE_LAYOUT_EX =
    CTL_CODE(IOCTL_DISK_BASE, 0x0014, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_DISK_GET_DRIVE_GEOMETRY_EX =
    CTL_CODE(IOCTL_DISK_BASE, 0x0028, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_DISK_GET_LENGTH_INFO =
    CTL_CODE(IOCTL_DISK_BASE, 0x0017, METHOD_BUFFERED, FILE_READ_ACCESS);
constexpr DWORD IOCTL_DISK_GET_CACHE_INFORMATION =
    CTL_CODE(IOCTL_DISK_BASE, 0x0035, METHOD_BUFFERED, FILE_READ_ACCESS);
constexpr DWORD IOCTL_DISK_SET_CACHE_INFORMATION =
    CTL_CODE(IOCTL_DISK_BASE, 0x0036, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
constexpr DWORD IOCTL_DISK_GET_CACHE_SETTING =
    CTL_CODE(IOCTL_DISK_BASE, 0x0038, METHOD_BUFFERED, FILE_READ_ACCESS);
constexpr DWORD IOCTL_DISK_SET_CACHE_SETTING =
    CTL_CODE(IOCTL_DISK_BASE, 0x0039, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
constexpr DWORD IOCTL_DISK_GET_DISK_ATTRIBUTES =
    CTL_CODE(IOCTL_DISK_BASE, 0x003C, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_DISK_SET_DISK_ATTRIBUTES =
    CTL_CODE(IOCTL_DISK_BASE, 0x003D, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
constexpr DWORD IOCTL_DISK_UPDATE_PROPERTIES =
    CTL_CODE(IOCTL_DISK_BASE, 0x0050, METHOD_BUFFERED, FILE_ANY_ACCESS);

constexpr DWORD IOCTL_STORAGE_CHECK_VERIFY =
    CTL_CODE(IOCTL_STORAGE_BASE, 0x0200, METHOD_BUFFERED, FILE_READ_ACCESS);
constexpr DWORD IOCTL_STORAGE_GET_DEVICE_NUMBER =
    CTL_CODE(IOCTL_STORAGE_BASE, 0x0420, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_STORAGE_READ_CAPACITY =
    CTL_CODE(IOCTL_STORAGE_BASE, 0x0450, METHOD_BUFFERED, FILE_READ_ACCESS);
constexpr DWORD IOCTL_STORAGE_QUERY_PROPERTY =
    CTL_CODE(IOCTL_STORAGE_BASE, 0x0500, METHOD_BUFFERED, FILE_ANY_ACCESS);

// The vendor's RAID driver's own device control codes (its device type 0xC351).
constexpr DWORD IOCTL_RAID_GET_SET_CONFIG = CTL_CODE(0xC351, 0x0804, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_RAID_GET_VERSION = CTL_CODE(0xC351, 0x0806, METHOD_BUFFERED, FILE_ANY_ACCESS);

static_assert(IOCTL_SCSI_PASS_THROUGH == 0x4D004);
static_assert(IOCTL_SCSI_MINIPORT == 0x4D008);
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == 0x4D014);
static_assert(IOCTL_SCSI_GET_ADDRESS == 0x41018);
static_assert(IOCTL_ATA_PASS_THROUGH == 0x4D02C);
static_assert(IOCTL_DISK_PERFORMANCE == 0x70020);
static_assert(IOCTL_DISK_GET_DRIVE_LAYOUT_EX == 0x70050);
static_assert(IOCTL_DISK_GET_DRIVE_GEOMETRY_EX == 0x700A0);
static_assert(IOCTL_DISK_GET_LENGTH_INFO == 0x7405C);
static_assert(IOCTL_DISK_GET_CACHE_INFORMATION == 0x740D4);
static_assert(IOCTL_DISK_SET_CACHE_INFORMATION == 0x7C0D8);
static_assert(IOCTL_DISK_GET_CACHE_SETTING == 0x740E0);
static_assert(IOCTL_DISK_SET_CACHE_SETTING == 0x7C0E4);
static_assert(IOCTL_DISK_GET_DISK_ATTRIBUTES == 0x700F0);
static_assert(IOCTL_DISK_SET_DISK_ATTRIBUTES == 0x7C0F4);
static_assert(IOCTL_DISK_UPDATE_PROPERTIES == 0x70140);
static_assert(IOCTL_STORAGE_CHECK_VERIFY == 0x2D4800);
static_assert(IOCTL_STORAGE_GET_DEVICE_NUMBER == 0x2D1080);
static_assert(IOCTL_STORAGE_READ_CAPACITY == 0x2D5140);
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == 0x2D1400);
static_assert(IOCTL_RAID_GET_SET_CONFIG == 0xC3512010);
static_assert(IOCTL_RAID_GET_VERSION == 0xC3512018);

// Opens a device ("\\.\ScsiN:", "\\.\PhysicalDriveN", "\\.\C:", a device-interface path). Other
// paths go to the file service registered below. Failure: INVALID_HANDLE_VALUE and the last error.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

// Sends a device control request. On success the answer is in outBuffer and *bytesReturned tells
// its length; the thread's last error is left as it was. On failure the result is FALSE and the
// last error tells why, except that a driver may fail a request without setting one (the last
// error is then left as the caller had it). Only synchronous requests are supported: an overlapped
// structure is accepted and ignored.
BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped);

// Reads from the current position of a device (whole sectors) or of any other readable object.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD numberOfBytesToRead, LPDWORD numberOfBytesRead,
              LPOVERLAPPED overlapped);

// Moves the read position of a device or file: distanceLow with *distanceHigh (when given) as the
// high half of a signed 64-bit distance from the start, the current position or the end. Returns the
// low half of the new position and writes the high half to *distanceHigh; INVALID_SET_FILE_POINTER
// with the last error set on failure (with a high half, that value can also be a valid low half, so
// callers check the last error: NO_ERROR means success).
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
DWORD SetFilePointer(HANDLE file, LONG distanceLow, LONG* distanceHigh, DWORD moveMethod);
