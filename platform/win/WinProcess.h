#pragma once
// The current process as the product sees it: its pseudo handle and its program's file name.
#include "platform/win/WinBase.h"
#include "platform/win/WinTypes.h"

// The pseudo handle (-1) that stands for the calling process; closing it does nothing.
HANDLE GetCurrentProcess();

// The base name of a module of the process (null module: the program file, e.g. "moxcli.exe").
// Copies at most size - 1 characters and a terminator; returns the characters copied, or 0 with
// the last error set.
DWORD K32GetModuleBaseNameW(HANDLE process, HMODULE module, LPWSTR baseName, DWORD size);
