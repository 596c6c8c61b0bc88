// EFI_COMPONENT_NAME2_PROTOCOL: a driver's name and the names of the controllers it manages, by
// RFC 4646 language ("en-US").
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define EFI_COMPONENT_NAME2_PROTOCOL_GUID                                                                    \
    {                                                                                                        \
        0x6a7a5cff, 0xe8d9, 0x4f70, {                                                                        \
            0xba, 0xda, 0x75, 0xab, 0x30, 0x25, 0xce, 0x14                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiComponentName2ProtocolGuid = EFI_COMPONENT_NAME2_PROTOCOL_GUID;

struct EFI_COMPONENT_NAME2_PROTOCOL;

typedef EFI_STATUS(EFIAPI* EFI_COMPONENT_NAME2_GET_DRIVER_NAME)(EFI_COMPONENT_NAME2_PROTOCOL* This,
                                                                CHAR8* Language, CHAR16** DriverName);
typedef EFI_STATUS(EFIAPI* EFI_COMPONENT_NAME2_GET_CONTROLLER_NAME)(EFI_COMPONENT_NAME2_PROTOCOL* This,
                                                                    EFI_HANDLE ControllerHandle,
                                                                    EFI_HANDLE ChildHandle, CHAR8* Language,
                                                                    CHAR16** ControllerName);

struct EFI_COMPONENT_NAME2_PROTOCOL {
    EFI_COMPONENT_NAME2_GET_DRIVER_NAME GetDriverName;
    EFI_COMPONENT_NAME2_GET_CONTROLLER_NAME GetControllerName;
    CHAR8* SupportedLanguages;
};
static_assert(sizeof(EFI_COMPONENT_NAME2_PROTOCOL) == EFI_LAYOUT(24, 12),
              "EFI_COMPONENT_NAME2_PROTOCOL size");
static_assert(offsetof(EFI_COMPONENT_NAME2_PROTOCOL, SupportedLanguages) == EFI_LAYOUT(16, 8),
              "EFI_COMPONENT_NAME2_PROTOCOL.SupportedLanguages");
