// EFI_COMPONENT_NAME_PROTOCOL: the EFI 1.1 form of the component name protocol. Its record has the
// same shape as EFI_COMPONENT_NAME2_PROTOCOL; only the language codes differ (ISO 639-2, "eng").
#pragma once

#include "platform/uefi/protocol/ComponentName2.h"

#define EFI_COMPONENT_NAME_PROTOCOL_GUID                                                                     \
    {                                                                                                        \
        0x107a772c, 0xd5e1, 0x11d4, {                                                                        \
            0x9a, 0x46, 0x00, 0x90, 0x27, 0x3f, 0xc1, 0x4d                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiComponentNameProtocolGuid = EFI_COMPONENT_NAME_PROTOCOL_GUID;

typedef EFI_COMPONENT_NAME2_PROTOCOL EFI_COMPONENT_NAME_PROTOCOL;
