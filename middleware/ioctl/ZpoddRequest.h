#pragma once
// moxcli's zero-power optical drive request: a miniport template request whose one input value is
// the marker 0x1234, addressed by the drive's packed SCSI address. Its answer is taken after a
// successful device call without verification; the markers are not looked at.
#include "middleware/ioctl/CIoctlTemplate.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "middleware/ioctl/ZpoddInfo.h"

using CIoctlZpoddInfo =
    CIoctlTemplateInput<_ZPODD_INFO_WITH_HEADER, _ZPODD_INFO_WITH_HEADER, int, IOCTL_ZERO_POWER_ODD>;

class CIoctlZeroPowerOdd : public CIoctlZpoddInfo {
public:
    CIoctlZeroPowerOdd(HANDLE target, PackedScsiAddress address)
        : CIoctlZpoddInfo(target, kAtaSignature, address, static_cast<int>(kZpoddMarker)) {}

    // The 212-byte information block as the answer holds it (zeros before an answer).
    _ZPODD_INFO GetInfo() const { return GetOutputRecordUnverified().Info; }
};
