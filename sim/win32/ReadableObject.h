#pragma once
// What ReadFile and CreateFile share with the services that add objects of their own (files).
#include <cstdint>
#include <string>

#include "platform/win/WinDeviceIo.h"
#include "platform/win/WinError.h"
#include "sim/win32/HandleTable.h"

namespace platform {

// Kernel objects that ReadFile reads: opened devices, and the objects of other services (files)
// that derive from this.
class ReadableObject : public KernelObject {
public:
    // Returns false with the Win32 error in `error` (0: failed without one).
    virtual bool Read(void* buffer, DWORD size, DWORD& bytesRead, DWORD& error) = 0;
    // Moves the read position (FILE_BEGIN, FILE_CURRENT, FILE_END); false with the Win32 error.
    virtual bool Seek(int64_t distance, DWORD method, uint64_t& position, DWORD& error) {
        (void)distance, (void)method, (void)position;
        error = ERROR_INVALID_FUNCTION;
        return false;
    }
};

// The service that opens paths which do not name a device (files). It returns a handle it
// registered, or INVALID_HANDLE_VALUE with the last error set.
using FileOpener = HANDLE (*)(const std::wstring& path, DWORD desiredAccess, DWORD shareMode,
                              DWORD creationDisposition, DWORD flagsAndAttributes);
void RegisterFileOpener(FileOpener opener);

} // namespace platform
