#include "firmware/moxzrcinfo/Console.h"
#include "firmware/moxzrcinfo/FirmwareLib.h"
#include "firmware/moxzrcinfo/Options.h"

namespace {

const CHAR8 kProgramName[] = "MoxZrcInfo.efi";

// One screen line being filled, in the usage screen's buffer of columns + 1 bytes.
struct Line {
    CHAR8* Text;
    UINTN Columns;
    UINTN Length;

    void Start(UINTN Indent) {
        Length = 0;
        while (Length < Indent && Length < Columns)
            Text[Length++] = ' ';
        Text[Length] = '\0';
    }

    // Appends what fits of the text.
    void Add(const CHAR8* Part, UINTN PartLength) {
        for (UINTN i = 0; i < PartLength && Length < Columns; ++i)
            Text[Length++] = Part[i];
        Text[Length] = '\0';
    }

    void Print() { ConsolePrint("%s\n", Text); }
};

BOOLEAN IsHidden(const MOX_OPTION* Row) {
    return Row->Help && CompareNarrowN(Row->Help, OPTION_HIDDEN_HELP, sizeof(OPTION_HIDDEN_HELP)) == 0;
}

// "/" and the name, or the usage text of a positional slot; 0 when the row has neither.
UINTN LabelLength(const MOX_OPTION* Row) {
    if (Row->Name && Row->Name[0] != '\0')
        return 1 + NarrowStringLength(Row->Name);
    return NarrowStringLength(Row->Usage);
}

UINTN CountLineBreaks(const CHAR8* Text) {
    UINTN breaks = 0;
    for (; *Text != '\0'; ++Text)
        if (*Text == '\n')
            ++breaks;
    return breaks;
}

// The help text word by word after the label; returns the screen lines the row took.
UINTN PrintRow(Line* Out, const MOX_OPTION* Row, UINTN LabelWidth) {
    Out->Start(0);
    if (Row->Name && Row->Name[0] != '\0') {
        Out->Add("/", 1);
        Out->Add(Row->Name, NarrowStringLength(Row->Name));
    } else {
        Out->Add(Row->Usage, NarrowStringLength(Row->Usage));
    }
    while (Out->Length < LabelWidth && Out->Length < Out->Columns)
        Out->Add(" ", 1);

    UINTN lines = 1;
    BOOLEAN lineHasWords = FALSE;
    BOOLEAN breakBeforeNext = FALSE;
    const CHAR8* help = Row->Help ? Row->Help : "";
    while (*help != '\0') {
        if (*help == ' ') {
            ++help;
            continue;
        }
        if (*help == '\n') {
            breakBeforeNext = TRUE;
            ++help;
            continue;
        }
        UINTN wordLength = 0;
        while (help[wordLength] != '\0' && help[wordLength] != ' ' && help[wordLength] != '\n')
            ++wordLength;
        const UINTN separator = lineHasWords ? 1 : 0;
        if (lineHasWords && (breakBeforeNext || Out->Length + separator + wordLength > Out->Columns)) {
            Out->Print();
            Out->Start(LabelWidth);
            ++lines;
            lineHasWords = FALSE;
        }
        breakBeforeNext = FALSE;
        if (lineHasWords)
            Out->Add(" ", 1);
        Out->Add(help, wordLength);
        lineHasWords = TRUE;
        help += wordLength;
    }
    Out->Print();
    return lines;
}

} // namespace

BOOLEAN ConsoleHasNoSize() {
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out = ConsoleOutput();
    if (!out || !out->Mode)
        return TRUE;
    UINTN columns = 0;
    UINTN rows = 0;
    if (EFI_ERROR(out->QueryMode(out, (UINTN)out->Mode->Mode, &columns, &rows)))
        return TRUE;
    return columns == 0 && rows == 0;
}

UINT32 WaitForKey() {
    if (!gBS || !gST || !gST->ConIn)
        return 0;
    UINTN index = 0;
    gBS->WaitForEvent(1, &gST->ConIn->WaitForKey, &index);
    EFI_INPUT_KEY key;
    key.ScanCode = 0;
    key.UnicodeChar = 0;
    if (EFI_ERROR(gST->ConIn->ReadKeyStroke(gST->ConIn, &key)))
        return 0;
    return ((UINT32)key.ScanCode << 16) | key.UnicodeChar;
}

void PrintUsage() {
    const UINTN columns = gScreenColumns;
    const UINTN rows = gScreenRows;
    CHAR8* buffer = (CHAR8*)AllocateBootPool(columns + 1);
    if (!buffer) {
        ConsolePrint(" tmp_buf is NULL. Cannot allocate memory. Exit from function.\n");
        return;
    }
    Line line = {buffer, columns, 0};

    ConsolePrint("%s\n\n", gMoxZrcInfoBanner);
    UINTN lines = 3 + CountLineBreaks(gMoxZrcInfoBanner);

    // The synopsis: the program name and every shown row's usage text, wrapped under the name.
    const UINTN nameWidth = sizeof(kProgramName) - 1;
    line.Start(0);
    line.Add(kProgramName, nameWidth);
    for (UINTN i = 0; i < gOptionCount; ++i) {
        if (IsHidden(&gOptions[i]) || !gOptions[i].Usage)
            continue;
        const UINTN usageLength = NarrowStringLength(gOptions[i].Usage);
        if (line.Length > nameWidth && line.Length + 1 + usageLength > columns) {
            line.Print();
            line.Start(nameWidth);
        }
        line.Add(" ", 1);
        line.Add(gOptions[i].Usage, usageLength);
    }
    ConsolePrint("%s\n\n", line.Text);

    UINTN labelWidth = 0;
    for (UINTN i = 0; i < gOptionCount; ++i)
        if (!IsHidden(&gOptions[i]) && LabelLength(&gOptions[i]) > labelWidth)
            labelWidth = LabelLength(&gOptions[i]);
    ++labelWidth;

    for (UINTN i = 0; i < gOptionCount; ++i) {
        const MOX_OPTION* row = &gOptions[i];
        if (IsHidden(row) || LabelLength(row) == 0)
            continue;
        lines += PrintRow(&line, row, labelWidth);
        if (rows >= 2 && lines > rows - 2 && !ConsoleHasNoSize()) {
            ConsolePrint("   - Press any key to continue -");
            WaitForKey();
            ConsolePrint("\r                                \r");
            lines = 0;
        }
    }
    FreeBootPool(buffer);
}
