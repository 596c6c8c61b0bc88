#pragma once
// The runtime D3 information of one port ("OrvexATA", IOCTL_RTD3_INFO): two words after the header,
// the first 1 when runtime D3 hot is enabled for the device. Addressed by the port's packed SCSI
// address; its readers take the answer after a successful send without verifying it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "middleware/ioctl/CIoctlTemplate.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "middleware/ioctl/ZpoddInfo.h"

constexpr DWORD IOCTL_RTD3_INFO = 0x80000F00;

struct _RTD3_INFO_WITH_HEADER {
    static constexpr const char* kRuntimeClassName = "struct _RTD3_INFO_WITH_HEADER";
    SRB_IO_CONTROL Header;
    ULONG Info[2];
};
static_assert(sizeof(_RTD3_INFO_WITH_HEADER) == 36);
static_assert(offsetof(_RTD3_INFO_WITH_HEADER, Info) == 28);

class CIoctlRtd3Info
    : public CIoctlTemplate<_RTD3_INFO_WITH_HEADER, _RTD3_INFO_WITH_HEADER, IOCTL_RTD3_INFO> {
public:
    CIoctlRtd3Info(HANDLE target, PackedScsiAddress address)
        : CIoctlTemplate(target, kAtaSignature, address) {}

    // The 8 bytes after the header as one value (zero before an answer).
    uint64_t GetInfo() const {
        const _RTD3_INFO_WITH_HEADER record = GetOutputRecordUnverified();
        uint64_t value = 0;
        std::memcpy(&value, record.Info, sizeof(value));
        return value;
    }
};
