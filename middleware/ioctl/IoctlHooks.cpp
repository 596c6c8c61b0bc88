#include "middleware/ioctl/IoctlHooks.h"

#include "platform/win/WinBase.h"

namespace {

BOOL DeviceIoControlWithClearedError(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                                     LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned,
                                     LPOVERLAPPED overlapped) {
    SetLastError(ERROR_SUCCESS);
    return DeviceIoControl(device, ioControlCode, inBuffer, inBufferSize, outBuffer, outBufferSize,
                           bytesReturned, overlapped);
}

} // namespace

// Constant-initialised, so they hold their functions before any code of the process runs.
const CreateFileAFunction CreateFileAHook = &CreateFileA;
const CreateFileWFunction CreateFileWHook = &CreateFileW;
const DeviceIoControlFunction DeviceIoControlHook = &DeviceIoControlWithClearedError;
