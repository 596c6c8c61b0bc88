// The RAID driver's name and version through the CSMI driver information request.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "lanthe/Lanthe.h"
#include "lanthe/ScsiAdapterPath.h"
#include "middleware/core/ExportGuard.h"
#include "middleware/ioctl/CsmiRecords.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinDeviceIo.h"

namespace {

// Adapters 0 to 14 are asked; the sixteenth never is.
constexpr int kAdapters = 15;
constexpr DWORD kRequestSize = 512;
constexpr ULONG kTimeoutSeconds = 60;
constexpr size_t kMaxText = 88;

void FillRequest(uint8_t* block) {
    std::memset(block, 0, kRequestSize);
    SRB_IO_CONTROL header{};
    header.HeaderLength = sizeof(SRB_IO_CONTROL);
    std::memcpy(header.Signature, kCsmiAllSignature, sizeof header.Signature);
    header.Timeout = kTimeoutSeconds;
    header.ControlCode = CC_CSMI_SAS_GET_DRIVER_INFO;
    header.Length = kRequestSize - sizeof(SRB_IO_CONTROL);
    std::memcpy(block, &header, sizeof header);
}

// "name:major:minor", cut at 88 characters and to the caller's buffer.
void WriteText(const uint8_t* block, char* buffer, int32_t bufferSize) {
    CSMI_SAS_DRIVER_INFO_BUFFER answer;
    std::memcpy(&answer, block, sizeof answer);
    // The longest text (81 name characters and two five-digit numbers) fits; it is cut below.
    char text[128];
    std::snprintf(text, sizeof text, "%.*s:%d:%d", static_cast<int>(sizeof answer.Information.szName),
                  reinterpret_cast<const char*>(answer.Information.szName),
                  answer.Information.usMajorRevision, answer.Information.usMinorRevision);
    if (bufferSize <= 0)
        return;
    const size_t length = std::min({std::strlen(text), kMaxText, static_cast<size_t>(bufferSize) - 1});
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

// The request's memory block: a movable global block, locked while it is used.
class RequestBlock {
public:
    RequestBlock()
        : memory_(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kRequestSize)),
          block_(memory_ ? static_cast<uint8_t*>(GlobalLock(memory_)) : nullptr) {}
    ~RequestBlock() {
        if (block_)
            GlobalUnlock(memory_);
        if (memory_)
            GlobalFree(memory_);
    }
    RequestBlock(const RequestBlock&) = delete;
    RequestBlock& operator=(const RequestBlock&) = delete;
    uint8_t* get() const { return block_; }

private:
    HGLOBAL memory_;
    uint8_t* block_;
};

int32_t AskAdapters(char* buffer, int32_t bufferSize) {
    RequestBlock request;
    uint8_t* block = request.get();
    if (!block)
        return -1;
    int32_t result = -1;
    for (int adapter = 0; adapter < kAdapters; ++adapter) {
        HANDLE device = CreateFileW(ScsiAdapterPath(adapter).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (device == INVALID_HANDLE_VALUE)
            break;
        FillRequest(block);
        DWORD returned = 0;
        SetLastError(ERROR_SUCCESS);
        const bool answered = DeviceIoControl(device, IOCTL_SCSI_MINIPORT, block, kRequestSize, block,
                                              kRequestSize, &returned, nullptr);
        // A driver may fail a request without an error code; that failure must not read as success.
        const DWORD error = GetLastError();
        result = answered ? 0 : static_cast<int32_t>(error ? error : ERROR_GEN_FAILURE);
        CloseHandle(device);
        if (answered) {
            WriteText(block, buffer, bufferSize);
            break;
        }
    }
    return result;
}

} // namespace

extern "C" int32_t GetDriverInfo(char* buffer, int32_t bufferSize) {
    if (!buffer)
        return -1;
    return ExportedOr<int32_t>(-1, [&] { return AskAdapters(buffer, bufferSize); });
}
