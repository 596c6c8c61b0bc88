#include "firmware/common/FirmwarePrint.h"

namespace {

// Success and the warnings, by their value.
const CHAR8* const kSuccessAndWarnings[] = {"EFI_SUCCESS", "EFI_WARN_UNKNOWN_GLYPH",
                                            "EFI_WARN_DELETE_FAILURE", "EFI_WARN_WRITE_FAILURE",
                                            "EFI_WARN_BUFFER_TOO_SMALL"};

// The errors 1 to 24, by their code without the error bit.
const CHAR8* const kErrors[] = {
    "EFI_LOAD_ERROR",       "EFI_INVALID_PARAMETER", "EFI_UNSUPPORTED",   "EFI_BAD_BUFFER_SIZE",
    "EFI_BUFFER_TOO_SMALL", "EFI_NOT_READY",         "EFI_DEVICE_ERROR",  "EFI_WRITE_PROTECTED",
    "EFI_OUT_OF_RESOURCES", "EFI_VOLUME_CORRUPTED",  "EFI_VOLUME_FULL",   "EFI_NO_MEDIA",
    "EFI_MEDIA_CHANGED",    "EFI_NOT_FOUND",         "EFI_ACCESS_DENIED", "EFI_NO_RESPONSE",
    "EFI_NO_MAPPING",       "EFI_TIMEOUT",           "EFI_NOT_STARTED",   "EFI_ALREADY_STARTED",
    "EFI_ABORTED",          "EFI_ICMP_ERROR",        "EFI_TFTP_ERROR",    "EFI_PROTOCOL_ERROR"};

const CHAR8* StatusName(EFI_STATUS Status) {
    const UINTN count = sizeof(kSuccessAndWarnings) / sizeof(kSuccessAndWarnings[0]);
    if (Status < count)
        return kSuccessAndWarnings[Status];
    if ((Status & EFI_MAX_BIT) != 0) {
        const UINTN code = Status & ~EFI_MAX_BIT;
        if (code >= 1 && code <= sizeof(kErrors) / sizeof(kErrors[0]))
            return kErrors[code - 1];
    }
    return nullptr;
}

} // namespace

UINTN StatusToString(EFI_STATUS Status, CHAR8* Buffer, UINTN Size) {
    if (!Buffer || Size == 0)
        return 0;
    const CHAR8* name = StatusName(Status);
    if (!name)
        return FormatInteger(Buffer, (UINT32)Status, 0, 0, 0, Size - 1, 16);
    UINTN written = 0;
    while (name[written] != '\0' && written < Size - 1) {
        Buffer[written] = name[written];
        ++written;
    }
    Buffer[written] = '\0';
    return written;
}

const CHAR8* RaidLevelToString(UINT16 Level) {
    switch (Level) {
    case 1:
        return "Raid0";
    case 2:
        return "Raid1";
    case 4:
        return "Raid5";
    case 8:
        return "Raid10";
    case 16:
        return "RaidYQR";
    case 32:
        return "RaidSDR0";
    default:
        return "RaidInvalidLevel";
    }
}
