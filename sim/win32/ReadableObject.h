#pragma once
// What ReadFile and CreateFile share with the services that add objects of their own (files).
#include <string>

#include "platform/win/WinDeviceIo.h"
#include "sim/win32/HandleTable.h"

namespace platform {

// Kernel objects that ReadFile reads: opened devices, and the objects of other services (files)
// that derive from this.
class ReadableObject : public KernelObject {
public:
    // Returns false with the Win32 error in `error` (0: failed without one).
    virtual bool Read(void* buffer, DWORD size, DWORD& bytesRead, DWORD& error) = 0;
};

// The service that opens paths which do not name a device (files). It returns a handle it
// registered, or INVALID_HANDLE_VALUE with the last error set.
using FileOpener = HANDLE (*)(const std::wstring& path, DWORD desiredAccess, DWORD shareMode,
                              DWORD creationDisposition, DWORD flagsAndAttributes);
void RegisterFileOpener(FileOpener opener);

} // namespace platform
