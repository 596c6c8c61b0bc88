// EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL: the console's text screen.
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL_GUID                                                                 \
    {                                                                                                        \
        0x387477c2, 0x69c7, 0x11d2, {                                                                        \
            0x8e, 0x39, 0x00, 0xa0, 0xc9, 0x69, 0x72, 0x3b                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiSimpleTextOutProtocolGuid = EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL_GUID;

typedef struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL;

typedef struct {
    INT32 MaxMode;
    INT32 Mode;
    INT32 Attribute;
    INT32 CursorColumn;
    INT32 CursorRow;
    BOOLEAN CursorVisible;
} SIMPLE_TEXT_OUTPUT_MODE;
static_assert(sizeof(SIMPLE_TEXT_OUTPUT_MODE) == 24, "SIMPLE_TEXT_OUTPUT_MODE is 24 bytes");
static_assert(offsetof(SIMPLE_TEXT_OUTPUT_MODE, CursorVisible) == 20,
              "SIMPLE_TEXT_OUTPUT_MODE.CursorVisible");

// Text attributes: foreground in bits 0-3, background in bits 4-6.
#define EFI_BLACK 0x00
#define EFI_BLUE 0x01
#define EFI_GREEN 0x02
#define EFI_CYAN 0x03
#define EFI_RED 0x04
#define EFI_MAGENTA 0x05
#define EFI_BROWN 0x06
#define EFI_LIGHTGRAY 0x07
#define EFI_BRIGHT 0x08
#define EFI_DARKGRAY 0x08
#define EFI_LIGHTBLUE 0x09
#define EFI_LIGHTGREEN 0x0A
#define EFI_LIGHTCYAN 0x0B
#define EFI_LIGHTRED 0x0C
#define EFI_LIGHTMAGENTA 0x0D
#define EFI_YELLOW 0x0E
#define EFI_WHITE 0x0F
#define EFI_BACKGROUND_BLACK 0x00
#define EFI_BACKGROUND_BLUE 0x10
#define EFI_BACKGROUND_GREEN 0x20
#define EFI_BACKGROUND_CYAN 0x30
#define EFI_BACKGROUND_RED 0x40
#define EFI_BACKGROUND_MAGENTA 0x50
#define EFI_BACKGROUND_BROWN 0x60
#define EFI_BACKGROUND_LIGHTGRAY 0x70
#define EFI_TEXT_ATTR(Foreground, Background) ((Foreground) | ((Background) << 4))

typedef EFI_STATUS(EFIAPI* EFI_TEXT_RESET)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This,
                                           BOOLEAN ExtendedVerification);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_STRING)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, CHAR16* String);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_TEST_STRING)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, CHAR16* String);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_QUERY_MODE)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN ModeNumber,
                                                UINTN* Columns, UINTN* Rows);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_SET_MODE)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN ModeNumber);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_SET_ATTRIBUTE)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Attribute);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_CLEAR_SCREEN)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_SET_CURSOR_POSITION)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Column,
                                                         UINTN Row);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_ENABLE_CURSOR)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, BOOLEAN Visible);

struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL {
    EFI_TEXT_RESET Reset;
    EFI_TEXT_STRING OutputString;
    EFI_TEXT_TEST_STRING TestString;
    EFI_TEXT_QUERY_MODE QueryMode;
    EFI_TEXT_SET_MODE SetMode;
    EFI_TEXT_SET_ATTRIBUTE SetAttribute;
    EFI_TEXT_CLEAR_SCREEN ClearScreen;
    EFI_TEXT_SET_CURSOR_POSITION SetCursorPosition;
    EFI_TEXT_ENABLE_CURSOR EnableCursor;
    SIMPLE_TEXT_OUTPUT_MODE* Mode;
};
static_assert(sizeof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL) == EFI_LAYOUT(80, 40),
              "EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL size");
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, QueryMode) == EFI_LAYOUT(24, 12) &&
                  offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, SetAttribute) == EFI_LAYOUT(40, 20) &&
                  offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, Mode) == EFI_LAYOUT(72, 36),
              "EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL field offsets");
