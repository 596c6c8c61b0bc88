// EFI_HII_CONFIG_ACCESS_PROTOCOL: a driver's configuration settings as the forms browser reaches them.
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define EFI_HII_CONFIG_ACCESS_PROTOCOL_GUID                                                                  \
    {                                                                                                        \
        0x330d4706, 0xf2a0, 0x4e4f, {                                                                        \
            0xa3, 0x69, 0xb6, 0x6f, 0xa8, 0xd5, 0x43, 0x85                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiHiiConfigAccessProtocolGuid = EFI_HII_CONFIG_ACCESS_PROTOCOL_GUID;

struct EFI_HII_CONFIG_ACCESS_PROTOCOL;

typedef EFI_STATUS(EFIAPI* EFI_HII_ACCESS_EXTRACT_CONFIG)(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This,
                                                          const CHAR16* Request, CHAR16** Progress,
                                                          CHAR16** Results);
typedef EFI_STATUS(EFIAPI* EFI_HII_ACCESS_ROUTE_CONFIG)(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This,
                                                        const CHAR16* Configuration, CHAR16** Progress);
typedef EFI_STATUS(EFIAPI* EFI_HII_ACCESS_FORM_CALLBACK)(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This,
                                                         UINTN Action, UINT16 QuestionId, UINT8 Type,
                                                         VOID* Value, UINTN* ActionRequest);

struct EFI_HII_CONFIG_ACCESS_PROTOCOL {
    EFI_HII_ACCESS_EXTRACT_CONFIG ExtractConfig;
    EFI_HII_ACCESS_ROUTE_CONFIG RouteConfig;
    EFI_HII_ACCESS_FORM_CALLBACK Callback;
};
static_assert(sizeof(EFI_HII_CONFIG_ACCESS_PROTOCOL) == EFI_LAYOUT(24, 12),
              "EFI_HII_CONFIG_ACCESS_PROTOCOL size");
