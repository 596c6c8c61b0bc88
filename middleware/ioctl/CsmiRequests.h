#pragma once
// CSMI SAS requests (records in middleware/ioctl/CsmiRecords.h), the STP pass-through carrying
// CHECK POWER MODE. Each request's buffer is exactly its structure; the header's ReturnCode word is
// 0 on input. Their users read the answers after a successful send
// without verifying them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "middleware/ioctl/CIoctlTemplate.h"
#include "middleware/ioctl/CsmiRecords.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "platform/win/WinStorage.h"

// The input writers of the two requests that carry one: after the SRB header of the formatted
// buffer, the phy number of the SATA signature request, and the CHECK POWER MODE command for the
// disk at a packed SCSI address (target id byte 1, path id byte 2) of the STP pass-through.
void FillCsmiSataSignatureRequest(BYTE* buffer, UCHAR phyIdentifier);
void FillCsmiStpCheckPowerMode(BYTE* buffer, PackedScsiAddress address);

template <> struct CIoctlTemplateInputWriter<CSMI_SAS_SATA_SIGNATURE_BUFFER, UCHAR> {
    static void Write(BYTE* buffer, const UCHAR& phy) { FillCsmiSataSignatureRequest(buffer, phy); }
    static std::string Describe(const UCHAR& phy);
};

template <> struct CIoctlTemplateInputWriter<CSMI_SAS_STP_PASSTHRU_BUFFER, PackedScsiAddress> {
    static void Write(BYTE* buffer, const PackedScsiAddress& address) {
        FillCsmiStpCheckPowerMode(buffer, address);
    }
    static std::string Describe(const PackedScsiAddress& address);
};

using CIoctlCsmiGetDriverInfo =
    CIoctlTemplate<CSMI_SAS_DRIVER_INFO_BUFFER, CSMI_SAS_DRIVER_INFO_BUFFER, CC_CSMI_SAS_GET_DRIVER_INFO>;
using CIoctlCsmiGetControllerConfig =
    CIoctlTemplate<CSMI_SAS_CNTLR_CONFIG_BUFFER, CSMI_SAS_CNTLR_CONFIG_BUFFER, CC_CSMI_SAS_GET_CNTLR_CONFIG>;
using CIoctlCsmiGetControllerStatus =
    CIoctlTemplate<CSMI_SAS_CNTLR_STATUS_BUFFER, CSMI_SAS_CNTLR_STATUS_BUFFER, CC_CSMI_SAS_GET_CNTLR_STATUS>;
using CIoctlCsmiGetPhyInfo =
    CIoctlTemplate<CSMI_SAS_PHY_INFO_BUFFER, CSMI_SAS_PHY_INFO_BUFFER, CC_CSMI_SAS_GET_PHY_INFO>;
using CIoctlCsmiGetSataSignature =
    CIoctlTemplateInput<CSMI_SAS_SATA_SIGNATURE_BUFFER, CSMI_SAS_SATA_SIGNATURE_BUFFER, UCHAR,
                        CC_CSMI_SAS_GET_SATA_SIGNATURE>;
using CIoctlCsmiStpPassThrough =
    CIoctlTemplateInput<CSMI_SAS_STP_PASSTHRU_BUFFER, CSMI_SAS_STP_PASSTHRU_BUFFER, PackedScsiAddress,
                        CC_CSMI_SAS_STP_PASSTHRU>;

// The power mode the disk returned: the count register (byte 12) of the answer's status FIS,
// buffer byte 88; 0 without an answer. Not verified.
UCHAR GetCsmiStpStatusCount(const CIoctlCsmiStpPassThrough& request);
