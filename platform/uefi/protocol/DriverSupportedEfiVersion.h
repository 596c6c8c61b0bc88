// EFI_DRIVER_SUPPORTED_EFI_VERSION_PROTOCOL: the UEFI revision a driver was written for.
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define EFI_DRIVER_SUPPORTED_EFI_VERSION_PROTOCOL_GUID                                                       \
    {                                                                                                        \
        0x5c198761, 0x16a8, 0x4e69, {                                                                        \
            0x97, 0x2c, 0x89, 0xd6, 0x79, 0x54, 0xf8, 0x1d                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiDriverSupportedEfiVersionProtocolGuid = EFI_DRIVER_SUPPORTED_EFI_VERSION_PROTOCOL_GUID;

typedef struct {
    UINT32 Length; // the size of this record
    UINT32 FirmwareVersion;
} EFI_DRIVER_SUPPORTED_EFI_VERSION_PROTOCOL;
static_assert(sizeof(EFI_DRIVER_SUPPORTED_EFI_VERSION_PROTOCOL) == 8,
              "EFI_DRIVER_SUPPORTED_EFI_VERSION_PROTOCOL size");
