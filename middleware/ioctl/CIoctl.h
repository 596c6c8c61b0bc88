#pragma once
// One driver request: target, device control code, the two buffers it owns, the answer's length
// and the outcome of the last send. A request is built on the caller's stack, sent with Invoke,
// read through its subclass's accessors (which verify the answer and throw the verification's
// error) and dropped; Reset makes it sendable again.
//
// The target is one pointer-sized value: an open device handle or a record of the controller table
// (DeviceLocator::Contains tells them apart). A request to a record holds that controller's named
// mutex around the device call.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/RuntimeClassName.h"
#include "middleware/ioctl/IoctlLock.h"
#include "platform/win/WinTypes.h"

// Where request buffers come from (zeroed blocks); replaceable so that a failed allocation can be
// tested. Null restores the default.
using IoctlBufferAllocator = void* (*)(size_t size);
void SetIoctlBufferAllocator(IoctlBufferAllocator allocator);

class CIoctl {
    MOX_RUNTIME_CLASS_ROOT("class CIoctl")

public:
    // The longest time Invoke, Verify and Reset wait for the request's lock.
    static constexpr uint64_t kLockTimeoutMs = 10000;
    // Trace flag of the driver request layer.
    static constexpr ULONG kTraceFlag = 0x40;

    CIoctl(HANDLE target, DWORD controlCode, DWORD inBufferSize, DWORD outBufferSize, DWORD bytesExpected);
    virtual ~CIoctl();
    CIoctl(const CIoctl&) = delete;
    CIoctl& operator=(const CIoctl&) = delete;

    // Sends the request once. Never throws.
    CConsolidatedError Invoke();
    // Checks the answer; a verified request answers success at once. Never throws.
    CConsolidatedError Verify();
    // Back to the unsent state; the subclass's inputs and the verify-on-invoke flag stay.
    CConsolidatedError Reset();
    // Invoke, sent again every period while the driver answers busy, until the total has passed.
    CConsolidatedError InvokeBusyRetry(uint64_t totalMilliseconds, uint32_t periodMilliseconds);

    // The answer buffer, unchecked (null before it is allocated).
    BYTE* GetOutBuffer() const { return m_OutBuffer.get(); }
    // The answer buffer once the answer passed its checks; throws the verification's error.
    BYTE* GetVerifiedOutBuffer();
    const BYTE* GetInBuffer() const { return m_InBuffer.get(); }

    HANDLE GetTarget() const { return m_Target; }
    DWORD GetControlCode() const { return m_ControlCode; }
    DWORD GetInBufferSize() const { return m_InBufferSize; }
    DWORD GetOutBufferSize() const { return m_OutBufferSize; }
    DWORD GetBytesReturned() const { return m_BytesReturned; }
    DWORD GetBytesExpected() const { return m_BytesExpected; }
    // The outcome of the last send; 0xA003012E until the first one and after a reset.
    const CConsolidatedError& GetLastResult() const { return m_LastError; }
    bool IsVerified() const { return m_Verified; }
    bool GetVerifyOnInvoke() const { return m_VerifyOnInvoke; }
    // When set, a successful device call is verified inside the send and the send's result is the
    // verification's.
    void SetVerifyOnInvoke(bool verify) { m_VerifyOnInvoke = verify; }
    // 255 unless the target is a controller record; only used in trace lines.
    uint8_t GetPortNumber() const { return m_PortNumber; }

protected:
    struct FreeDeleter {
        void operator()(BYTE* p) const { std::free(p); }
    };
    using Buffer = std::unique_ptr<BYTE, FreeDeleter>;

    // The virtual operations every request has; subclasses override and call the base.
    virtual CConsolidatedError _realFormatInputBuffer();
    virtual void _realFreeInputBuffer();
    virtual CConsolidatedError _realAllocateOutputBuffer();
    virtual void _realFreeOutputBuffer();
    virtual CConsolidatedError _realInvoke();
    virtual CConsolidatedError _realVerify();
    virtual CConsolidatedError _realReset();
    virtual void _realTraceBefore();
    virtual void _realTraceAfter();

    // The answer's length as far as the buffer holds it: the smaller of BytesReturned and the size.
    DWORD AnswerLength() const {
        return m_BytesReturned < m_OutBufferSize ? m_BytesReturned : m_OutBufferSize;
    }

    HANDLE m_Target;
    DWORD m_ControlCode;
    Buffer m_InBuffer;
    DWORD m_InBufferSize;
    Buffer m_OutBuffer;
    DWORD m_OutBufferSize;
    DWORD m_BytesReturned = 0;
    DWORD m_BytesExpected;
    CConsolidatedError m_LastError;
    bool m_VerifyOnInvoke = false;
    bool m_Verified = false;
    uint8_t m_PortNumber = 255;
    IoctlLock m_Lock;
};
