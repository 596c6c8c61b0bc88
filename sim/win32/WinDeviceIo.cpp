#include "platform/win/WinDeviceIo.h"

#include <atomic>
#include <span>

#include "platform/win/WinBase.h"
#include "sim/WideText.h"
#include "sim/devio/DeviceIo.h"
#include "sim/win32/ReadableObject.h"
#include "sim/win32/SimCall.h"
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

    bool Seek(int64_t distance, DWORD method, uint64_t& position, DWORD& error) override {
        auto r = sim::devio::Seek(*device_, distance, method, position);
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
        if (platform::IsLocalFileName(path))
            return platform::OpenLocalFile(path, access, share, disposition, flags);
        if (platform::FileOpener opener = g_fileOpener.load())
            return opener(widePath, access, share, disposition, flags);
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    sim::devio::OpenResult r =
        platform::Guarded([&] { return sim::devio::Open(path, access, share, disposition, flags); },
                          [](DWORD error) {
                              return sim::devio::OpenResult{nullptr, error};
                          });
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
    auto r = platform::Guarded(
        [&] {
            return sim::devio::Control(
                object->device(), ioControlCode,
                std::span<const uint8_t>(static_cast<const uint8_t*>(inBuffer), inBufferSize),
                std::span<uint8_t>(static_cast<uint8_t*>(outBuffer), outBufferSize));
        },
        [](DWORD error) {
            sim::devio::IoResult failed;
            failed.error = error;
            return failed;
        });
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
    bool ok = platform::Guarded([&] { return object->Read(buffer, numberOfBytesToRead, read, error); },
                                [&](DWORD e) {
                                    read = 0;
                                    error = e;
                                    return false;
                                });
    if (numberOfBytesRead)
        *numberOfBytesRead = read;
    if (!ok) {
        if (error != 0)
            SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distanceLow, LONG* distanceHigh, DWORD moveMethod) {
    auto object = platform::LookupHandleAs<platform::ReadableObject>(file);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    // Without a high half the distance is the signed 32-bit low half alone.
    const int64_t distance =
        distanceHigh
            ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                   static_cast<uint32_t>(distanceLow))
            : distanceLow;
    uint64_t position = 0;
    DWORD error = 0;
    const bool ok = platform::Guarded([&] { return object->Seek(distance, moveMethod, position, error); },
                                      [&](DWORD e) {
                                          error = e;
                                          return false;
                                      });
    if (!ok) {
        SetLastError(error ? error : ERROR_GEN_FAILURE);
        return INVALID_SET_FILE_POINTER;
    }
    if (!distanceHigh && position > 0x7FFFFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh)
        *distanceHigh = static_cast<LONG>(position >> 32);
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(position);
}

namespace platform {

void RegisterFileOpener(FileOpener opener) {
    g_fileOpener.store(opener);
}

} // namespace platform
