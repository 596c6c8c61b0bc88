#pragma once
// The operating system version test. The simulated machine's version is set in its "os" section.
#include <cstddef>

#include "platform/win/WinBase.h"
#include "platform/win/WinTypes.h"

using DWORDLONG = ULONGLONG;

struct OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};
static_assert(sizeof(OSVERSIONINFOEXA) == 156);
static_assert(offsetof(OSVERSIONINFOEXA, dwPlatformId) == 16);
static_assert(offsetof(OSVERSIONINFOEXA, szCSDVersion) == 20);
static_assert(offsetof(OSVERSIONINFOEXA, wServicePackMajor) == 148);
static_assert(offsetof(OSVERSIONINFOEXA, wSuiteMask) == 152);
static_assert(offsetof(OSVERSIONINFOEXA, wProductType) == 154);
using POSVERSIONINFOEXA = OSVERSIONINFOEXA*;
using LPOSVERSIONINFOEXA = OSVERSIONINFOEXA*;

// Fields a test compares (type mask bits).
constexpr DWORD VER_MINORVERSION = 0x0000001;
constexpr DWORD VER_MAJORVERSION = 0x0000002;
constexpr DWORD VER_BUILDNUMBER = 0x0000004;
constexpr DWORD VER_PLATFORMID = 0x0000008;
constexpr DWORD VER_SERVICEPACKMINOR = 0x0000010;
constexpr DWORD VER_SERVICEPACKMAJOR = 0x0000020;
constexpr DWORD VER_SUITENAME = 0x0000040;
constexpr DWORD VER_PRODUCT_TYPE = 0x0000080;

// Conditions.
constexpr BYTE VER_EQUAL = 1;
constexpr BYTE VER_GREATER = 2;
constexpr BYTE VER_GREATER_EQUAL = 3;
constexpr BYTE VER_LESS = 4;
constexpr BYTE VER_LESS_EQUAL = 5;
constexpr BYTE VER_AND = 6;
constexpr BYTE VER_OR = 7;

constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
constexpr BYTE VER_NT_WORKSTATION = 1;
constexpr BYTE VER_NT_DOMAIN_CONTROLLER = 2;
constexpr BYTE VER_NT_SERVER = 3;

// Sets the condition of one field (the highest of the type mask's bits) in the condition mask, three
// bits per field.
ULONGLONG VerSetConditionMask(ULONGLONG conditionMask, DWORD typeMask, BYTE condition);

// TRUE when the machine's version meets every requested comparison. FALSE with ERROR_OLD_WIN_VERSION
// when it does not, ERROR_BAD_ARGUMENTS for an empty type mask or a field without a condition. Major,
// minor and service pack numbers compare as one version, highest field first.
BOOL VerifyVersionInfoA(LPOSVERSIONINFOEXA versionInfo, DWORD typeMask, DWORDLONG conditionMask);
