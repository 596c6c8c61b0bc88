// EFI_SIMPLE_TEXT_INPUT_PROTOCOL: the console's keyboard.
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define EFI_SIMPLE_TEXT_INPUT_PROTOCOL_GUID                                                                  \
    {                                                                                                        \
        0x387477c1, 0x69c7, 0x11d2, {                                                                        \
            0x8e, 0x39, 0x00, 0xa0, 0xc9, 0x69, 0x72, 0x3b                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiSimpleTextInProtocolGuid = EFI_SIMPLE_TEXT_INPUT_PROTOCOL_GUID;

typedef struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL EFI_SIMPLE_TEXT_INPUT_PROTOCOL;

typedef struct {
    UINT16 ScanCode;
    CHAR16 UnicodeChar;
} EFI_INPUT_KEY;
static_assert(sizeof(EFI_INPUT_KEY) == 4, "EFI_INPUT_KEY is 4 bytes");

#define SCAN_NULL 0x0000
#define SCAN_ESC 0x0017

typedef EFI_STATUS(EFIAPI* EFI_INPUT_RESET)(EFI_SIMPLE_TEXT_INPUT_PROTOCOL* This,
                                            BOOLEAN ExtendedVerification);
typedef EFI_STATUS(EFIAPI* EFI_INPUT_READ_KEY)(EFI_SIMPLE_TEXT_INPUT_PROTOCOL* This, EFI_INPUT_KEY* Key);

struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL {
    EFI_INPUT_RESET Reset;
    EFI_INPUT_READ_KEY ReadKeyStroke;
    // Signalled while a key is waiting; used with WaitForEvent.
    EFI_EVENT WaitForKey;
};
static_assert(sizeof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL) == EFI_LAYOUT(24, 12),
              "EFI_SIMPLE_TEXT_INPUT_PROTOCOL size");
static_assert(offsetof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL, WaitForKey) == EFI_LAYOUT(16, 8),
              "EFI_SIMPLE_TEXT_INPUT_PROTOCOL.WaitForKey");
