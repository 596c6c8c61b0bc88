#pragma once
// SCSI pass-through with a separate data buffer (IOCTL_SCSI_PASS_THROUGH_DIRECT) on an opened
// disk: CIoctlScsiPassThroughDirect owns the data buffer and names operation codes in traces;
// CIoctlScsiSecurityProtocolIn reads the TCG Level 0 Discovery data of a self-encrypting disk and
// finds its Locking feature.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "middleware/ioctl/CIoctl.h"
#include "platform/win/WinStorage.h"
#include "platform/win/WinTypes.h"

constexpr UCHAR SCSIOP_SECURITY_PROTOCOL_IN = 0xA2;

// "SCSI_" and the operation's name for the operation codes of the SCSI command set this layer
// names; "Unknown" for any other.
const char* GetScsiOperationName(UCHAR operationCode);

class CIoctlScsiPassThroughDirect : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctlScsiPassThroughDirect")

public:
    // outputSize is the size of the data buffer; the device call answers into the input buffer,
    // so it may not exceed inputSize.
    CIoctlScsiPassThroughDirect(HANDLE device, UCHAR operationCode, UCHAR dataDirection, DWORD inputSize,
                                DWORD outputSize, DWORD minimumAnswer);
    ~CIoctlScsiPassThroughDirect() override;

    // The data the command moved (output-size bytes); null before the send.
    const BYTE* GetDataBuffer() const { return m_DataBuffer.get(); }
    UCHAR GetOperationCode() const { return m_OperationCode; }
    UCHAR GetDataDirection() const { return m_DataDirection; }

protected:
    void _realFreeInputBuffer() override;
    CConsolidatedError _realAllocateOutputBuffer() override;
    void _realFreeOutputBuffer() override;
    CConsolidatedError _realInvoke() override;
    void _realTraceBefore() override;
    void _realTraceAfter() override;
    // Runs after a successful device call.
    virtual void _realAfterInvoke() {}

    Buffer m_DataBuffer;
    UCHAR m_OperationCode;
    UCHAR m_DataDirection;
};

class CIoctlScsiSecurityProtocolIn : public CIoctlScsiPassThroughDirect {
    MOX_RUNTIME_CLASS("class CIoctlScsiSecurityProtocolIn")

public:
    static constexpr DWORD kBufferSize = 512;
    static constexpr USHORT kLockingFeature = 0x0002;

    CIoctlScsiSecurityProtocolIn(HANDLE device, DWORD minimumAnswer);

    // The Locking feature descriptor of the discovery data, or null: not verified, no data, no
    // descriptors, or none with that feature code within the buffer.
    const BYTE* FindLockingFeature() const;

protected:
    CConsolidatedError _realFormatInputBuffer() override;
};
