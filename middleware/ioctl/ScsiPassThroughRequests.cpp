#include "middleware/ioctl/ScsiPassThroughRequests.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "middleware/ioctl/AtaRequestFormat.h"
#include "platform/win/Trace.h"
#include "platform/win/WinDeviceIo.h"
#include "platform/win/WinError.h"

namespace {

struct ScsiOperationName {
    UCHAR code;
    const char* name;
};

constexpr ScsiOperationName kScsiOperationNames[] = {
    {0x00, "SCSI_TEST_UNIT_READY"},
    {0x01, "SCSI_SEEK_6"},
    {0x02, "SCSI_SEEK_10"},
    {0x03, "SCSI_REQUEST_SENSE"},
    {0x04, "SCSI_FORMAT_UNIT"},
    {0x07, "SCSI_REASSIGN_BLOCKS"},
    {0x08, "SCSI_READ_6"},
    {0x0A, "SCSI_WRITE_6"},
    {0x12, "SCSI_INQUIRY"},
    {0x15, "SCSI_MODE_SELECT_6"},
    {0x16, "SCSI_RESERVE_6"},
    {0x17, "SCSI_RELEASE_6"},
    {0x1A, "SCSI_MODE_SENSE_6"},
    {0x1B, "SCSI_START_STOP_UNIT"},
    {0x1C, "SCSI_RECEIVE_DIAGNOSTIC"},
    {0x1D, "SCSI_SEND_DIAGNOSTIC"},
    {0x25, "SCSI_READ_CAPACITY_10"},
    {0x28, "SCSI_READ_10"},
    {0x2A, "SCSI_WRITE_10"},
    {0x2E, "SCSI_WRITE_VERIFY"},
    {0x2F, "SCSI_VERIFY_10"},
    {0x35, "SCSI_SYNCHRONIZE_CACHE_10"},
    {0x3B, "SCSI_WRITE_BUFFER"},
    {0x3C, "SCSI_READ_BUFFER"},
    {0x3F, "SCSI_WRITE_LONG_10"},
    {0x42, "SCSI_UNMAP"},
    {0x4C, "SCSI_LOG_SELECT"},
    {0x4D, "SCSI_LOG_SENSE"},
    {0x55, "SCSI_MODE_SELECT_10"},
    {0x56, "SCSI_RESERVE_10"},
    {0x57, "SCSI_RELEASE_10"},
    {0x5A, "SCSI_MODE_SENSE_10"},
    {0x5E, "SCSI_PERSISTENT_RESERVE_IN"},
    {0x5F, "SCSI_PERSISTENT_RESERVE_OUT"},
    {0x85, "SCSI_ATA_PASSTHRU_16"},
    {0x88, "SCSI_READ_16"},
    {0x89, "SCSI_COMPARE_AND_WRITE"},
    {0x8A, "SCSI_WRITE_16"},
    {0x8E, "SCSI_WRITE_AND_VERIFY_16"},
    {0x8F, "SCSI_VERIFY_16"},
    {0x91, "SCSI_SYNCHRONIZE_CACHE_16"},
    {0x9E, "SCSI_READ_CAPACITY_16"},
    {0x9F, "SCSI_WRITE_LONG_16"},
    {0xA0, "SCSI_REPORT_LUNS"},
    {0xA1, "SCSI_ATA_PASSTHRU_12"},
    {0xA2, "SCSI_SECURITY_PROTOCOL_IN"},
    {0xA3, "SCSI_MAINTENANCE_IN"},
    {0xA8, "SCSI_READ_12"},
    {0xAA, "SCSI_WRITE_12"},
    {0xAE, "SCSI_WRITE_AND_VERIFY_12"},
    {0xAF, "SCSI_VERIFY_12"},
    {0xB5, "SCSI_SECURITY_PROTOCOL_OUT"},
};

// Level 0 Discovery: a 48-byte header whose first four bytes give the length of what follows them.
constexpr size_t kDiscoveryHeaderSize = 48;
constexpr size_t kDescriptorHeaderSize = 4;

uint32_t BigEndian32(const BYTE* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

} // namespace

const char* GetScsiOperationName(UCHAR operationCode) {
    for (const auto& entry : kScsiOperationNames)
        if (entry.code == operationCode)
            return entry.name;
    return "Unknown";
}

// ---- the general request ----

CIoctlScsiPassThroughDirect::CIoctlScsiPassThroughDirect(HANDLE device, UCHAR operationCode,
                                                         UCHAR dataDirection, DWORD inputSize,
                                                         DWORD outputSize, DWORD minimumAnswer)
    : CIoctl(device, IOCTL_SCSI_PASS_THROUGH_DIRECT, inputSize, outputSize, minimumAnswer),
      m_OperationCode(operationCode), m_DataDirection(dataDirection) {}

CIoctlScsiPassThroughDirect::~CIoctlScsiPassThroughDirect() {
    // The output buffer is the input buffer: the base frees that one once.
    (void)m_OutBuffer.release();
}

void CIoctlScsiPassThroughDirect::_realFreeInputBuffer() {
    if (m_OutBuffer.get() == m_InBuffer.get())
        (void)m_OutBuffer.release();
    CIoctl::_realFreeInputBuffer();
}

CConsolidatedError CIoctlScsiPassThroughDirect::_realAllocateOutputBuffer() {
    _realFreeOutputBuffer();
    CConsolidatedError result;
    // The driver answers into the input buffer; an output larger than it would be written past it.
    if (m_OutBufferSize > m_InBufferSize || !m_InBuffer) {
        result.SetError(CConsolidatedError::IOCTL_OUT_BUFFER_SIZE,
                        "OutBufferSize is larger than InBufferSize in "
                        "CIoctlScsiPassThroughDirect::_realAllocateOutputBuffer");
        result.AddDebugInformation("OutBufferSize = %d", static_cast<int>(m_OutBufferSize));
        return result;
    }
    m_DataBuffer.reset(static_cast<BYTE*>(std::calloc(m_OutBufferSize, 1)));
    if (!m_DataBuffer) {
        result.SetError(KEDO2_ERROR_TYPE_WIN32, ERROR_OUTOFMEMORY,
                        "malloc returned null in CIoctlScsiPassThroughDirect::_realAllocateOutputBuffer");
        result.AddDebugInformation("OutBufferSize = %d", static_cast<int>(m_OutBufferSize));
        return result;
    }
    m_OutBuffer.reset(m_InBuffer.get());
    if (m_InBufferSize >= sizeof(SCSI_PASS_THROUGH_DIRECT))
        reinterpret_cast<SCSI_PASS_THROUGH_DIRECT*>(m_InBuffer.get())->DataBuffer = m_DataBuffer.get();
    return result;
}

void CIoctlScsiPassThroughDirect::_realFreeOutputBuffer() {
    (void)m_OutBuffer.release();
    m_DataBuffer.reset();
    m_Verified = false;
}

CConsolidatedError CIoctlScsiPassThroughDirect::_realInvoke() {
    CConsolidatedError result = CIoctl::_realInvoke();
    if (result.IsSuccessful())
        _realAfterInvoke();
    return result;
}

void CIoctlScsiPassThroughDirect::_realTraceBefore() {
    if (platform::TraceEnabled(TRACE_LEVEL_VERBOSE, kTraceFlag))
        platform::TraceWrite("moxcli", TRACE_LEVEL_VERBOSE, kTraceFlag,
                             "port %u %s (0x%02X) direction %u: sending", m_PortNumber,
                             GetScsiOperationName(m_OperationCode), m_OperationCode, m_DataDirection);
}

void CIoctlScsiPassThroughDirect::_realTraceAfter() {
    if (m_LastError.IsError()) {
        if (platform::TraceEnabled(TRACE_LEVEL_ERROR, kTraceFlag))
            platform::TraceWrite("moxcli", TRACE_LEVEL_ERROR, kTraceFlag,
                                 "port %u %s (0x%02X) direction %u: error 0x%X, Win32 error %u: %s",
                                 m_PortNumber, GetScsiOperationName(m_OperationCode), m_OperationCode,
                                 m_DataDirection, m_LastError.GetErrorCode(), m_LastError.GetWin32Error(),
                                 m_LastError.GetErrorMessage());
        return;
    }
    if (platform::TraceEnabled(TRACE_LEVEL_VERBOSE, kTraceFlag))
        platform::TraceWrite("moxcli", TRACE_LEVEL_VERBOSE, kTraceFlag,
                             "port %u %s (0x%02X) direction %u: done", m_PortNumber,
                             GetScsiOperationName(m_OperationCode), m_OperationCode, m_DataDirection);
}

// ---- SECURITY PROTOCOL IN, Level 0 Discovery ----

CIoctlScsiSecurityProtocolIn::CIoctlScsiSecurityProtocolIn(HANDLE device, DWORD minimumAnswer)
    : CIoctlScsiPassThroughDirect(device, SCSIOP_SECURITY_PROTOCOL_IN, SCSI_IOCTL_DATA_IN, kBufferSize,
                                  kBufferSize, minimumAnswer) {
    SetVerifyOnInvoke(true);
}

CConsolidatedError CIoctlScsiSecurityProtocolIn::_realFormatInputBuffer() {
    CConsolidatedError result =
        CheckRequestInBufferSize(m_InBufferSize, sizeof(SCSI_PASS_THROUGH_DIRECT), "SCSI_PASS_THROUGH_DIRECT",
                                 "CIoctlScsiSecurityProtocolIn", false);
    if (result.IsError())
        return result;
    result = NameAllocationFailure(CIoctlScsiPassThroughDirect::_realFormatInputBuffer(),
                                   "CIoctlScsiSecurityProtocolIn", m_InBufferSize);
    if (result.IsError())
        return result;
    auto* request = reinterpret_cast<SCSI_PASS_THROUGH_DIRECT*>(m_InBuffer.get());
    request->Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    request->PathId = 2;
    request->CdbLength = 12;
    request->SenseInfoLength = 32;
    request->DataIn = SCSI_IOCTL_DATA_IN;
    request->DataTransferLength = kBufferSize;
    request->TimeOutValue = 1000;
    request->SenseInfoOffset = 60;
    // Security protocol 1, protocol specific 0x0001 (Level 0 Discovery), INC_512 with one unit.
    const UCHAR cdb[12] = {SCSIOP_SECURITY_PROTOCOL_IN, 0x01, 0x00, 0x01, 0x80, 0, 0, 0, 0, 0x01, 0, 0};
    std::memcpy(request->Cdb, cdb, sizeof(cdb));
    return result;
}

const BYTE* CIoctlScsiSecurityProtocolIn::FindLockingFeature() const {
    const BYTE* data = m_DataBuffer.get();
    if (!m_Verified || !data || m_OutBufferSize < kDiscoveryHeaderSize)
        return nullptr;
    const uint64_t length = BigEndian32(data);
    if (length == 0 || length + 4 <= kDiscoveryHeaderSize)
        return nullptr;
    uint64_t remaining =
        std::min<uint64_t>(length + 4 - kDiscoveryHeaderSize, m_OutBufferSize - kDiscoveryHeaderSize);
    const BYTE* descriptor = data + kDiscoveryHeaderSize;
    while (remaining > kDescriptorHeaderSize) {
        const uint64_t size = kDescriptorHeaderSize + descriptor[3];
        if (size > remaining)
            return nullptr;
        const USHORT code = static_cast<USHORT>(descriptor[0] << 8 | descriptor[1]);
        if (code == kLockingFeature)
            return descriptor;
        descriptor += size;
        remaining -= size;
    }
    return nullptr;
}
