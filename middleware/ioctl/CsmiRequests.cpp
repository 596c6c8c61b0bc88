#include "middleware/ioctl/CsmiRequests.h"

#include <cstdio>

namespace {

// Host-to-device register FIS carrying CHECK POWER MODE: the C bit (byte 1, bit 7) makes the
// device run the command register; without it the FIS only updates the device control register.
constexpr UCHAR kHostToDeviceFis = 0x27;
constexpr UCHAR kFisCommandBit = 0x80;
constexpr UCHAR kCheckPowerMode = 0xE5;
// STP pass-through flags of a command that moves no data (CSMI_SAS_STP_UNSPECIFIED): neither a
// direction nor a data protocol.
constexpr ULONG kStpFlags = 0x04;
constexpr size_t kStatusCountOffset = offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, Status.bStatusFIS) + 12;
static_assert(kStatusCountOffset == 88);

} // namespace

void FillCsmiSataSignatureRequest(BYTE* buffer, UCHAR phyIdentifier) {
    reinterpret_cast<CSMI_SAS_SATA_SIGNATURE_BUFFER*>(buffer)->Signature.bPhyIdentifier = phyIdentifier;
}

void FillCsmiStpCheckPowerMode(BYTE* buffer, PackedScsiAddress address) {
    auto* record = reinterpret_cast<CSMI_SAS_STP_PASSTHRU_BUFFER*>(buffer);
    const auto target = static_cast<UCHAR>(address >> 8);
    const auto path = static_cast<UCHAR>(address >> 16);
    record->Parameters.bPortIdentifier = target;
    record->Parameters.bDestinationSASAddress[1] = target;
    record->Parameters.bDestinationSASAddress[2] = path;
    record->Parameters.bCommandFIS[0] = kHostToDeviceFis;
    record->Parameters.bCommandFIS[1] = kFisCommandBit;
    record->Parameters.bCommandFIS[2] = kCheckPowerMode;
    record->Parameters.bCommandFIS[3] = 0; // features: none for this command
    record->Parameters.uFlags = kStpFlags;
    record->Parameters.uDataLength = 0;
}

std::string CIoctlTemplateInputWriter<CSMI_SAS_SATA_SIGNATURE_BUFFER, UCHAR>::Describe(const UCHAR& phy) {
    char text[32];
    std::snprintf(text, sizeof(text), "phyIdentifier: 0x%02X", phy);
    return text;
}

std::string CIoctlTemplateInputWriter<CSMI_SAS_STP_PASSTHRU_BUFFER, PackedScsiAddress>::Describe(
    const PackedScsiAddress& address) {
    char text[32];
    std::snprintf(text, sizeof(text), "scsiId: 0x%08X", address);
    return text;
}

UCHAR GetCsmiStpStatusCount(const CIoctlCsmiStpPassThrough& request) {
    const BYTE* answer = request.GetOutBuffer();
    return answer ? answer[kStatusCountOffset] : 0;
}
