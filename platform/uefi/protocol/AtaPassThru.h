// EFI_ATA_PASS_THRU_PROTOCOL, as the programs of this system reach it: they look for it on a
// controller and call none of its functions, so only its GUID is declared.
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define EFI_ATA_PASS_THRU_PROTOCOL_GUID                                                                      \
    {                                                                                                        \
        0x1d3de7f0, 0x0807, 0x424f, {                                                                        \
            0xaa, 0x69, 0x11, 0xa5, 0x4e, 0x19, 0xa4, 0x6f                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiAtaPassThruProtocolGuid = EFI_ATA_PASS_THRU_PROTOCOL_GUID;
