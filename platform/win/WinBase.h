#pragma once
// Thread error state, handles, time and the system message table.
#include <cstdarg>

#include "platform/win/WinError.h"
#include "platform/win/WinTypes.h"

DWORD GetLastError();
void SetLastError(DWORD error);

// Closes any handle of the kernel handle table (device, mutex, event, token, ...).
BOOL CloseHandle(HANDLE handle);

// Sleeps on the simulated machine's clock (virtual in tests: returns at once, time moves on).
void Sleep(DWORD milliseconds);
DWORD GetTickCount();
ULONGLONG GetTickCount64();

// System metrics; only SM_CLEANBOOT (0 normal start, 1 safe mode) is answered, every other index 0.
constexpr int SM_CLEANBOOT = 67;
int GetSystemMetrics(int index);
BOOL QueryPerformanceCounter(LARGE_INTEGER* counter);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);

DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

constexpr WORD LANG_NEUTRAL = 0x00;
constexpr WORD SUBLANG_DEFAULT = 0x01;
constexpr DWORD MAKELANGID(WORD primary, WORD sub) {
    return (static_cast<DWORD>(sub) << 10) | primary;
}

// Only system-table lookups are supported (FORMAT_MESSAGE_FROM_SYSTEM, inserts ignored). With
// FORMAT_MESSAGE_ALLOCATE_BUFFER, buffer is really a wchar_t** and the text is freed with LocalFree.
// Returns the characters stored without the terminator, or 0 with the thread's last error set.
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list* arguments);

// Local and global memory blocks. A fixed block's handle is its address; a movable global block is
// reached through GlobalLock. Allocations fail (null, the thread's last error set) as the machine's
// fault rules say.
constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
using HGLOBAL = void*;

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
// Null on success, the block back when it is not one of LocalAlloc's.
HLOCAL LocalFree(HLOCAL memory);
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID GlobalLock(HGLOBAL memory);
// TRUE while the block stays locked; FALSE with last error 0 once it is unlocked.
BOOL GlobalUnlock(HGLOBAL memory);
// Null on success, the handle back (last error set) for a handle that is not a block.
HGLOBAL GlobalFree(HGLOBAL memory);

// Pages of memory, aligned to a page (4096 bytes) as unbuffered I/O needs its buffers. Only a new
// region (address null, commit and reserve) is made; VirtualFree releases a whole region
// (size 0, MEM_RELEASE).
constexpr DWORD MEM_COMMIT = 0x1000;
constexpr DWORD MEM_RESERVE = 0x2000;
constexpr DWORD MEM_RELEASE = 0x8000;
constexpr DWORD PAGE_READWRITE = 0x04;
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);
