#include "middleware/ioctl/CIoctScsiMiniport.h"

#include <cstdio>
#include <cstring>

#include "middleware/ioctl/IoctlCodeNames.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "platform/win/Trace.h"
#include "platform/win/WinDeviceIo.h"
#include "platform/win/WinStorage.h"

namespace {

// Puts a driver's return code into the error's driver error field without changing its kind.
void SetDriverError(CConsolidatedError& error, uint32_t returnCode) {
    const KEDO2_ERRORS code = error.GetErrorCode();
    error.SetError(KEDO2_ERROR_TYPE_DRIVER, returnCode, static_cast<const char*>(nullptr));
    error.SetError(code, static_cast<const char*>(nullptr));
}

SRB_IO_CONTROL ReadHeader(const BYTE* buffer, DWORD size) {
    SRB_IO_CONTROL header{};
    if (buffer && size >= sizeof(header))
        std::memcpy(&header, buffer, sizeof(header));
    return header;
}

} // namespace

CIoctScsiMiniportUnchecked::CIoctScsiMiniportUnchecked(HANDLE target, const char* signature,
                                                       DWORD controlCode, DWORD targetAddress, DWORD size,
                                                       DWORD minimumAnswer)
    : CIoctl(target, IOCTL_SCSI_MINIPORT, size, size, minimumAnswer), m_SrbControlCode(controlCode),
      m_TargetAddress(targetAddress), m_BufferSize(size) {
    if (signature)
        std::memcpy(m_Signature, signature, strnlen(signature, sizeof(m_Signature)));
}

std::string CIoctScsiMiniportUnchecked::GetSignature() const {
    return std::string(m_Signature, strnlen(m_Signature, sizeof(m_Signature)));
}

DWORD CIoctScsiMiniportUnchecked::GetSrbReturnCode() const {
    return ReadHeader(m_OutBuffer.get(), m_OutBufferSize).ReturnCode;
}

BYTE* CIoctScsiMiniportUnchecked::GetVerifiedPayload() {
    return GetVerifiedOutBuffer() + kHeaderLength;
}

const char* CIoctScsiMiniportUnchecked::GetReturnCodeName(DWORD) const {
    return nullptr;
}

const char* CIoctScsiMiniportUnchecked::GetErrorPrefix() const {
    return nullptr;
}

std::string CIoctScsiMiniportUnchecked::Describe() const {
    return std::string();
}

CConsolidatedError CIoctScsiMiniportUnchecked::_realFormatInputBuffer() {
    CConsolidatedError result = CIoctl::_realFormatInputBuffer();
    if (result.IsError())
        return result;
    return _realFormatSrbHeader();
}

CConsolidatedError CIoctScsiMiniportUnchecked::_realFormatSrbHeader() {
    CConsolidatedError result;
    // The header must fit; nothing is written outside the buffer.
    if (!m_InBuffer || m_InBufferSize < kHeaderLength) {
        result.SetError(CConsolidatedError::IOCTL_IN_BUFFER_SIZE,
                        "InBufferSize is too small, must be >= sizeof(SRB_IO_CONTROL) "
                        "CIoctScsiMiniportUnchecked::_realFormatSrbHeader");
        result.AddDebugInformation("InBufferSize = %d", static_cast<int>(m_InBufferSize));
        return result;
    }
    SRB_IO_CONTROL header{};
    header.HeaderLength = m_HeaderLength;
    std::memcpy(header.Signature, m_Signature, sizeof(header.Signature));
    header.Timeout = m_Timeout;
    header.ControlCode = m_SrbControlCode;
    header.ReturnCode = m_TargetAddress;
    header.Length = m_InBufferSize - m_HeaderLength;
    std::memcpy(m_InBuffer.get(), &header, sizeof(header));
    return result;
}

CConsolidatedError CIoctScsiMiniportUnchecked::_realVerify() {
    CConsolidatedError result = CIoctl::_realVerify();
    if (result.IsError())
        return result;
    const SRB_IO_CONTROL header = ReadHeader(m_OutBuffer.get(), m_OutBufferSize);
    if (header.HeaderLength != kHeaderLength) {
        result.AddErrorMessage("Invalid SRB_IO_CONTROL.HeaderLength, expected: %d, actual: %d",
                               static_cast<int>(kHeaderLength), static_cast<int>(header.HeaderLength));
        result.SetError(CConsolidatedError::DRIVER_UNEXPECTED, static_cast<const char*>(nullptr));
        m_Verified = false;
    } else if (m_CheckReturnCode && header.ReturnCode != m_ExpectedReturnCode) {
        char text[1100];
        if (const char* name = GetReturnCodeName(header.ReturnCode))
            std::snprintf(text, sizeof(text), "ReturnCode: [%d] - %s", static_cast<int>(header.ReturnCode),
                          name);
        else
            std::snprintf(text, sizeof(text), "ReturnCode: %d", static_cast<int>(header.ReturnCode));
        std::string message = text;
        if (const char* prefix = GetErrorPrefix())
            message = std::string(prefix) + ". " + text;
        result.SetError(CConsolidatedError::DRIVER_SRB_IO_RESPONSE, message.c_str());
        m_Verified = false;
    }
    SetDriverError(result, header.ReturnCode);
    return result;
}

void CIoctScsiMiniportUnchecked::_realTraceBefore() {
    if (!platform::TraceEnabled(TRACE_LEVEL_VERBOSE, kTraceFlag))
        return;
    platform::TraceWrite("moxcli", TRACE_LEVEL_VERBOSE, kTraceFlag, "port %u %s %s target 0x%08X: sending",
                         m_PortNumber, GetSignature().c_str(), GetMiniportIoctlName(m_SrbControlCode),
                         m_TargetAddress);
}

void CIoctScsiMiniportUnchecked::_realTraceAfter() {
    if (m_LastError.IsError()) {
        if (platform::TraceEnabled(TRACE_LEVEL_ERROR, kTraceFlag))
            platform::TraceWrite(
                "moxcli", TRACE_LEVEL_ERROR, kTraceFlag,
                "port %u %s %s target 0x%08X alternate 0x%08X: error 0x%X, Win32 error %u: %s", m_PortNumber,
                GetSignature().c_str(), GetMiniportIoctlName(m_SrbControlCode), m_TargetAddress,
                m_AlternateReturnCode, m_LastError.GetErrorCode(), m_LastError.GetWin32Error(),
                m_LastError.GetErrorMessage());
        return;
    }
    if (platform::TraceEnabled(TRACE_LEVEL_VERBOSE, kTraceFlag))
        platform::TraceWrite("moxcli", TRACE_LEVEL_VERBOSE, kTraceFlag,
                             "port %u %s %s target 0x%08X alternate 0x%08X: done", m_PortNumber,
                             GetSignature().c_str(), GetMiniportIoctlName(m_SrbControlCode), m_TargetAddress,
                             m_AlternateReturnCode);
}

CConsolidatedError CIoctScsiMiniport::_realInvoke() {
    if (!IoctlInterfaceVersionStore::CheckInterfaceSupport(m_Target, m_Signature)) {
        CConsolidatedError result;
        result.SetError(CConsolidatedError::IOCTL_INTERFACE_NOT_SUPPORTED, static_cast<const char*>(nullptr));
        result.AddErrorMessage("Interface version not supported: %s", GetSignature().c_str());
        return result;
    }
    return CIoctScsiMiniportUnchecked::_realInvoke();
}
