// EFI_NVM_EXPRESS_PASS_THRU_PROTOCOL, as the programs of this system reach it: they look for it on a
// controller and call none of its functions, so only its GUID is declared.
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define EFI_NVM_EXPRESS_PASS_THRU_PROTOCOL_GUID                                                              \
    {                                                                                                        \
        0x52c78312, 0x8edc, 0x4233, {                                                                        \
            0x98, 0xf2, 0x1a, 0x1a, 0xa5, 0xe3, 0x88, 0xa5                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiNvmExpressPassThruProtocolGuid = EFI_NVM_EXPRESS_PASS_THRU_PROTOCOL_GUID;
