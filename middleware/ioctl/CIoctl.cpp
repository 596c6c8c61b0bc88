#include "middleware/ioctl/CIoctl.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "middleware/core/DeadlineTimer.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/ControllerTable.h"
#include "middleware/ioctl/IoctlCodeNames.h"
#include "middleware/ioctl/IoctlHooks.h"
#include "platform/win/Trace.h"
#include "platform/win/WinBase.h"

namespace {

void* DefaultAllocate(size_t size) {
    return std::calloc(size, 1);
}

std::atomic<IoctlBufferAllocator> g_allocator{nullptr};

BYTE* AllocateZeroed(size_t size) {
    IoctlBufferAllocator allocate = g_allocator.load();
    return static_cast<BYTE*>((allocate ? allocate : DefaultAllocate)(size));
}

CConsolidatedError Error(KEDO2_ERRORS code, const char* message) {
    CConsolidatedError e;
    e.SetError(code, message);
    return e;
}

CConsolidatedError OutOfMemory(const char* where, const char* sizeFormat, DWORD size) {
    CConsolidatedError e;
    e.SetError(KEDO2_ERROR_TYPE_WIN32, ERROR_OUTOFMEMORY, where);
    e.AddDebugInformation(sizeFormat, static_cast<int>(size));
    return e;
}

// "Driver Buffer Overrun in %s, ..." and its short-answer twin, formatted as one message.
CConsolidatedError LengthError(KEDO2_ERRORS code, const char* format, DWORD returned, DWORD limit) {
    char message[1025];
    std::snprintf(message, sizeof(message), format, "CIoctl::_realVerify", static_cast<int>(returned),
                  static_cast<int>(limit));
    return Error(code, message);
}

} // namespace

void SetIoctlBufferAllocator(IoctlBufferAllocator allocator) {
    g_allocator.store(allocator);
}

CIoctl::CIoctl(HANDLE target, DWORD controlCode, DWORD inBufferSize, DWORD outBufferSize, DWORD bytesExpected)
    : m_Target(target), m_ControlCode(controlCode), m_InBufferSize(inBufferSize),
      m_OutBufferSize(outBufferSize), m_BytesExpected(bytesExpected),
      m_LastError(CConsolidatedError::IOCTL_NOT_PERFORMED) {
    if (ControllerTable::Contains(target))
        m_PortNumber = static_cast<uint8_t>(static_cast<const ControllerLocator*>(target)->portNumber);
}

CIoctl::~CIoctl() = default;

CConsolidatedError CIoctl::Invoke() {
    IoctlLockGuard lock(m_Lock, kLockTimeoutMs);
    if (!lock.taken())
        return Error(CConsolidatedError::IOCTL_LOCK_TIMEOUT, "CIoctl::Invoke");
    if (m_Verified)
        return Error(CConsolidatedError::IOCTL_PREVIOUSLY_PERFORMED, "CIoctl::Invoke");
    try {
        return _realInvoke();
    } catch (...) {
        return Error(CConsolidatedError::IOCTL_FAULT, "CIoctl::Invoke");
    }
}

BYTE* CIoctl::GetVerifiedOutBuffer() {
    CConsolidatedError result = Verify();
    if (result.IsError())
        throw result;
    return m_OutBuffer.get();
}

CConsolidatedError CIoctl::Verify() {
    if (m_Verified)
        return CConsolidatedError();
    IoctlLockGuard lock(m_Lock, kLockTimeoutMs);
    if (!lock.taken())
        return Error(CConsolidatedError::IOCTL_LOCK_TIMEOUT, "CIoctl::Verify");
    try {
        return _realVerify();
    } catch (...) {
        return Error(CConsolidatedError::IOCTL_FAULT, "CIoctl::Verify");
    }
}

CConsolidatedError CIoctl::Reset() {
    IoctlLockGuard lock(m_Lock, kLockTimeoutMs);
    if (!lock.taken())
        return Error(CConsolidatedError::IOCTL_LOCK_TIMEOUT, "CIoctl::Reset");
    try {
        return _realReset();
    } catch (...) {
        return Error(CConsolidatedError::IOCTL_FAULT, "CIoctl::Reset");
    }
}

CConsolidatedError CIoctl::InvokeBusyRetry(uint64_t totalMilliseconds, uint32_t periodMilliseconds) {
    DeadlineTimer timer(totalMilliseconds);
    const bool started = timer.start();
    CConsolidatedError result = Invoke();
    while (result.GetErrorCode() == CConsolidatedError::DRIVER_BUSY) {
        if (!timer.wait(periodMilliseconds)) {
            result.AddDebugInformation("Timed out on busy retry after [%lld ms] timer setup succeeded [%s]",
                                       static_cast<long long>(totalMilliseconds), started ? "True" : "False");
            break;
        }
        CConsolidatedError reset = Reset();
        if (reset.IsError()) {
            result = reset;
            result.AddDebugInformation("Ioctl reset failed");
            break;
        }
        result = Invoke();
    }
    result.AddDebugInformation("%s CIoctl::InvokeBusyRetry", RuntimeClassName());
    return result;
}

CConsolidatedError CIoctl::_realFormatInputBuffer() {
    if (m_InBuffer || m_InBufferSize == 0)
        return CConsolidatedError();
    m_InBuffer.reset(AllocateZeroed(m_InBufferSize));
    if (!m_InBuffer)
        return OutOfMemory("malloc returned null in CIoctl::_realFormatInputBuffer", "InBufferSize = %d",
                           m_InBufferSize);
    return CConsolidatedError();
}

void CIoctl::_realFreeInputBuffer() {
    m_InBuffer.reset();
}

CConsolidatedError CIoctl::_realAllocateOutputBuffer() {
    _realFreeOutputBuffer();
    m_OutBuffer.reset(AllocateZeroed(m_OutBufferSize));
    if (!m_OutBuffer)
        return OutOfMemory("malloc returned null in CIoctl::_realAllocateOutputBuffer", "OutBufferSize = %d",
                           m_OutBufferSize);
    return CConsolidatedError();
}

void CIoctl::_realFreeOutputBuffer() {
    m_OutBuffer.reset();
    m_Verified = false;
}

CConsolidatedError CIoctl::_realInvoke() {
    CConsolidatedError result;
    if (m_InBufferSize != 0 && !m_InBuffer) {
        result = _realFormatInputBuffer();
        if (result.IsError()) {
            result.AddDebugInformation("real_FormatInputBuffer() returned an error in CIoctl::_realInvoke");
            m_LastError = result;
            return result;
        }
    }
    if (m_OutBufferSize != 0 && !m_OutBuffer) {
        result = _realAllocateOutputBuffer();
        if (result.IsError()) {
            result.AddDebugInformation(
                "real_FormatAllocateOutputBuffer() returned an error in CIoctl::_realInvoke");
            m_LastError = result;
            return result;
        }
    }

    _realTraceBefore();
    BOOL ok = FALSE;
    DWORD lastError = 0;
    if (ControllerTable::Contains(m_Target)) {
        ControllerLocatorLock lock(m_Target);
        ok = DeviceIoControlHook(lock.GetDeviceHandle(), m_ControlCode, m_InBuffer.get(), m_InBufferSize,
                                 m_OutBuffer.get(), m_OutBufferSize, &m_BytesReturned, nullptr);
        // Read before the mutex is released, which may set an error of its own.
        lastError = GetLastError();
    } else {
        ok = DeviceIoControlHook(m_Target, m_ControlCode, m_InBuffer.get(), m_InBufferSize, m_OutBuffer.get(),
                                 m_OutBufferSize, &m_BytesReturned, nullptr);
        lastError = GetLastError();
    }

    result = CConsolidatedError();
    if (ok) {
        m_LastError = CConsolidatedError();
        if (m_VerifyOnInvoke)
            result = _realVerify();
    } else if (lastError == ERROR_SUCCESS) {
        // The driver failed the call without saying why: taken as done, and not verified.
    } else if (lastError == ERROR_BUSY) {
        result.SetError(CConsolidatedError::DRIVER_BUSY, "Driver is Busy enumerating hardware");
    } else if (lastError == ERROR_IO_PENDING) {
        result.SetError(CConsolidatedError::IOCTL_PENDING, nullptr);
    } else {
        std::string debug = "Error calling DeviceIoControl() in CIoctl::_realInvoke IOCTL class ";
        debug += RuntimeClassName();
        result.SetError(KEDO2_ERROR_TYPE_WIN32, lastError, debug.c_str());
    }
    m_LastError = result;
    _realTraceAfter();
    return result;
}

CConsolidatedError CIoctl::_realVerify() {
    if (m_LastError.IsError()) {
        CConsolidatedError result = m_LastError;
        result.AddDebugInformation("Error while validating IOCTLCIoctl::_realVerify");
        return result;
    }
    if (m_BytesReturned > m_OutBufferSize)
        return LengthError(CConsolidatedError::DRIVER_BUFFER_OVERRUN,
                           "Driver Buffer Overrun in %s, BytesReturned: %d, OutBufferSize: %d",
                           m_BytesReturned, m_OutBufferSize);
    if (m_BytesReturned < m_BytesExpected)
        return LengthError(CConsolidatedError::DRIVER_SHORT_RESPONSE,
                           "Short driver response in %s, BytesReturned: %d, BytesExpected: %d",
                           m_BytesReturned, m_BytesExpected);
    m_Verified = true;
    return CConsolidatedError();
}

CConsolidatedError CIoctl::_realReset() {
    _realFreeInputBuffer();
    _realFreeOutputBuffer();
    m_BytesReturned = 0;
    m_Verified = false;
    m_LastError.ClearError();
    m_LastError.SetError(CConsolidatedError::IOCTL_NOT_PERFORMED, nullptr);
    return CConsolidatedError();
}

void CIoctl::_realTraceBefore() {
    if (!platform::TraceEnabled(TRACE_LEVEL_VERBOSE, kTraceFlag))
        return;
    platform::TraceWrite("moxcli", TRACE_LEVEL_VERBOSE, kTraceFlag, "%s (0x%X) port %u target %p: sending",
                         GetWindowsIoctlName(m_ControlCode), m_ControlCode, m_PortNumber, m_Target);
}

void CIoctl::_realTraceAfter() {
    if (m_LastError.IsError()) {
        if (platform::TraceEnabled(TRACE_LEVEL_ERROR, kTraceFlag))
            platform::TraceWrite("moxcli", TRACE_LEVEL_ERROR, kTraceFlag,
                                 "%s (0x%X) port %u target %p: error 0x%X, Win32 error %u: %s",
                                 GetWindowsIoctlName(m_ControlCode), m_ControlCode, m_PortNumber, m_Target,
                                 m_LastError.GetErrorCode(), m_LastError.GetWin32Error(),
                                 m_LastError.GetErrorMessage());
        return;
    }
    if (platform::TraceEnabled(TRACE_LEVEL_VERBOSE, kTraceFlag))
        platform::TraceWrite("moxcli", TRACE_LEVEL_VERBOSE, kTraceFlag, "%s (0x%X) port %u target %p: done",
                             GetWindowsIoctlName(m_ControlCode), m_ControlCode, m_PortNumber, m_Target);
}
