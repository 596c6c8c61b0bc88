#include "firmware/moxzrcinfo/Console.h"

#include "firmware/common/FirmwarePrint.h"
#include "firmware/moxzrcinfo/FirmwareLib.h"

EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* gConOut = nullptr;
UINTN gTextAttribute = CONSOLE_DEFAULT_ATTRIBUTE;

EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* ConsoleOutput() {
    if (gConOut)
        return gConOut;
    if (gST && gST->ConOut) {
        gConOut = gST->ConOut;
    } else if (gBS) {
        VOID* found = nullptr;
        if (!EFI_ERROR(gBS->LocateProtocol(&gEfiSimpleTextOutProtocolGuid, nullptr, &found)))
            gConOut = (EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*)found;
    }
    return gConOut;
}

namespace {

// Writes the characters gathered so far in the attribute in force.
void Flush(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* Out, CHAR16* Text, UINTN* Length) {
    if (*Length == 0)
        return;
    Text[*Length] = 0;
    Out->SetAttribute(Out, gTextAttribute);
    Out->OutputString(Out, Text);
    *Length = 0;
}

} // namespace

UINTN ConsolePrintV(const CHAR8* Format, VA_LIST Arguments) {
    CHAR8 text[CONSOLE_PRINT_BUFFER_SIZE];
    const UINTN length = FormatStringV(text, sizeof(text), Format, Arguments);
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out = ConsoleOutput();
    if (!out)
        return length;

    CHAR16 wide[CONSOLE_PRINT_BUFFER_SIZE];
    UINTN count = 0;
    for (UINTN i = 0; i < length; ++i) {
        const UINT8 byte = (UINT8)text[i];
        if (byte == CONSOLE_ATTRIBUTE_ESCAPE) {
            Flush(out, wide, &count);
            if (i + 1 < length) {
                const UINT8 attribute = (UINT8)text[++i];
                gTextAttribute = (attribute & 0xF0) == CONSOLE_FOREGROUND_ONLY
                                     ? (gTextAttribute & 0xF0) | (attribute & 0x0F)
                                     : attribute;
            }
            continue;
        }
        wide[count++] = byte;
    }
    Flush(out, wide, &count);
    gTextAttribute = CONSOLE_DEFAULT_ATTRIBUTE;
    out->SetAttribute(out, CONSOLE_DEFAULT_ATTRIBUTE);
    return length;
}

UINTN ConsolePrint(const CHAR8* Format, ...) {
    VA_LIST arguments;
    VA_START(arguments, Format);
    const UINTN length = ConsolePrintV(Format, arguments);
    VA_END(arguments);
    return length;
}
