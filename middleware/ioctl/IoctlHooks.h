#pragma once
// The three process-wide entries through which the library does all its device I/O. They hold the
// operating system's functions from before main on and are never changed.
#include "platform/win/WinDeviceIo.h"

using CreateFileAFunction = HANDLE (*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
using CreateFileWFunction = HANDLE (*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
using DeviceIoControlFunction = BOOL (*)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);

extern const CreateFileAFunction CreateFileAHook;
extern const CreateFileWFunction CreateFileWHook;
// Clears the thread's last error before the call, so that a failure the driver reports without an
// error number reads as 0.
extern const DeviceIoControlFunction DeviceIoControlHook;
