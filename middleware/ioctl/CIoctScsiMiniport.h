#pragma once
// Miniport requests: IOCTL_SCSI_MINIPORT with one buffer that starts with the SRB_IO_CONTROL header
// and goes on with the family's payload at offset 28. The header's signature names the driver
// interface, its control code the operation, and its ReturnCode carries the target address word
// in and the driver's return code back. Input and output buffers have the same size.
//
// CIoctScsiMiniportUnchecked frames and checks the answer; CIoctScsiMiniport also asks the
// interface version store whether the controller supports the interface before it sends.
#include <cstdint>
#include <string>

#include "middleware/ioctl/CIoctl.h"

class CIoctScsiMiniportUnchecked : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctScsiMiniportUnchecked")

public:
    static constexpr DWORD kHeaderLength = 28;
    static constexpr DWORD kDefaultTimeout = 500;

    // signature: up to 8 bytes, copied without terminator (a shorter one is zero-padded).
    CIoctScsiMiniportUnchecked(HANDLE target, const char* signature, DWORD controlCode, DWORD targetAddress,
                               DWORD size, DWORD minimumAnswer);

    // The answer's SRB_IO_CONTROL.ReturnCode, unverified; 0 without an answer buffer.
    DWORD GetSrbReturnCode() const;
    // Verifies the answer and gives the payload after the header; throws the verification's error.
    BYTE* GetVerifiedPayload();

    // The signature up to its first zero byte.
    std::string GetSignature() const;
    DWORD GetSrbControlCode() const { return m_SrbControlCode; }
    DWORD GetTargetAddress() const { return m_TargetAddress; }

    void SetExpectedReturnCode(DWORD returnCode) { m_ExpectedReturnCode = returnCode; }
    DWORD GetExpectedReturnCode() const { return m_ExpectedReturnCode; }
    void SetCheckReturnCode(bool check) { m_CheckReturnCode = check; }
    bool GetCheckReturnCode() const { return m_CheckReturnCode; }

    // Text for a driver ReturnCode value; null when the family names none.
    virtual const char* GetReturnCodeName(DWORD returnCode) const;
    // Put before the ReturnCode failure message; null for none.
    virtual const char* GetErrorPrefix() const;
    // The request's parameters, for traces.
    virtual std::string Describe() const;

protected:
    CConsolidatedError _realFormatInputBuffer() override;
    CConsolidatedError _realVerify() override;
    void _realTraceBefore() override;
    void _realTraceAfter() override;
    // Writes the header at offset 0 of the (zeroed) input buffer.
    virtual CConsolidatedError _realFormatSrbHeader();

    DWORD m_HeaderLength = kHeaderLength;
    char m_Signature[8] = {};
    DWORD m_Timeout = kDefaultTimeout;
    DWORD m_SrbControlCode;
    // A family that writes its own header may send this instead of the target address word.
    DWORD m_AlternateReturnCode = 0;
    DWORD m_TargetAddress;
    DWORD m_BufferSize;
    bool m_CheckReturnCode = true;
    DWORD m_ExpectedReturnCode = 0xFFFFFFFF;
};

class CIoctScsiMiniport : public CIoctScsiMiniportUnchecked {
    MOX_RUNTIME_CLASS("class CIoctScsiMiniport")

public:
    using CIoctScsiMiniportUnchecked::CIoctScsiMiniportUnchecked;

protected:
    // Refuses with 0xA0030142, sending nothing, when the controller lacks the interface.
    CConsolidatedError _realInvoke() override;
};
