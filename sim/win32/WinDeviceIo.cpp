#include "platform/win/WinDeviceIo.h"

#include <atomic>
#include <span>

#include "platform/win/WinBase.h"
#include "sim/WideText.h"
#include "sim/devio/DeviceIo.h"
#include "sim/win32/ReadableObject.h"
#include "sim/win32/WinLocalFiles.h"

namespace {

class DeviceObject : public platform::ReadableObject {
public:
    explicit DeviceObject(std::shared_ptr<sim::devio::OpenDevice> device) : device_(std::move(device)) {}

    sim::devio::OpenDevice& device() { return *device_; }

    bool Read(void* buffer, DWORD size, DWORD& bytesRead, DWORD& error) override {
        auto r = sim::devio::Read(*device_, std::span<uint8_t>(static_cast<uint8_t*>(buffer), size));
        bytesRead = r.bytes;
        error = r.error;
        return r.ok;
    }

private:
    std::shared_ptr<sim::devio::OpenDevice> device_;
};

std::atomic<platform::FileOpener> g_fileOpener{nullptr};

HANDLE OpenPath(const std::string& path, const std::wstring& widePath, DWORD access, DWORD share,
                DWORD disposition, DWORD flags) {
    if (!sim::devio::IsDevicePath(path)) {
        if (platform::FileOpener opener = g_fileOpener.load())
            return opener(widePath, access, share, disposition, flags);
        if (platform::IsLocalFileName(path))
            return platform::OpenLocalFile(path, access, share, disposition, flags);
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    sim::devio::OpenResult r = sim::devio::Open(path, access, share, disposition, flags);
    if (!r.device) {
        SetLastError(r.error);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return platform::InsertHandle(std::make_shared<DeviceObject>(std::move(r.device)));
}

} // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::wstring wide;
    for (const char* p = fileName; *p; ++p)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return OpenPath(fileName, wide, desiredAccess, shareMode, creationDisposition, flagsAndAttributes);
}

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return OpenPath(sim::ToUtf8(fileName), fileName, desiredAccess, shareMode, creationDisposition,
                    flagsAndAttributes);
}

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
    auto object = platform::LookupHandleAs<DeviceObject>(device);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((!inBuffer && inBufferSize != 0) || (!outBuffer && outBufferSize != 0) ||
        (!bytesReturned && !overlapped)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto r =
        sim::devio::Control(object->device(), ioControlCode,
                            std::span<const uint8_t>(static_cast<const uint8_t*>(inBuffer), inBufferSize),
                            std::span<uint8_t>(static_cast<uint8_t*>(outBuffer), outBufferSize));
    if (bytesReturned)
        *bytesReturned = r.bytes;
    if (!r.ok) {
        if (!r.keepLastError)
            SetLastError(r.error);
        return FALSE;
    }
    return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD numberOfBytesToRead, LPDWORD numberOfBytesRead,
              LPOVERLAPPED overlapped) {
    auto object = platform::LookupHandleAs<platform::ReadableObject>(file);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((!buffer && numberOfBytesToRead != 0) || (!numberOfBytesRead && !overlapped)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD read = 0, error = 0;
    bool ok = object->Read(buffer, numberOfBytesToRead, read, error);
    if (numberOfBytesRead)
        *numberOfBytesRead = read;
    if (!ok) {
        if (error != 0)
            SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

namespace platform {

void RegisterFileOpener(FileOpener opener) {
    g_fileOpener.store(opener);
}

} // namespace platform
