// EFI_DEVICE_PATH_PROTOCOL: the generic header every device path node starts with. The node types
// the programs build or read are declared beside the code that needs them.
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define EFI_DEVICE_PATH_PROTOCOL_GUID                                                                        \
    {                                                                                                        \
        0x09576e91, 0x6d3f, 0x11d2, {                                                                        \
            0x8e, 0x39, 0x00, 0xa0, 0xc9, 0x69, 0x72, 0x3b                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiDevicePathProtocolGuid = EFI_DEVICE_PATH_PROTOCOL_GUID;

typedef struct {
    UINT8 Type;
    UINT8 SubType;
    UINT8 Length[2]; // little-endian length of the whole node, this header included
} EFI_DEVICE_PATH_PROTOCOL;
static_assert(sizeof(EFI_DEVICE_PATH_PROTOCOL) == 4, "a device path node header is 4 bytes");

#define END_DEVICE_PATH_TYPE 0x7F
#define END_ENTIRE_DEVICE_PATH_SUBTYPE 0xFF
#define END_INSTANCE_DEVICE_PATH_SUBTYPE 0x01
