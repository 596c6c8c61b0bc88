#include "firmware/moxzrcinfo/Options.h"

#include "firmware/moxzrcinfo/Console.h"
#include "firmware/moxzrcinfo/FirmwareLib.h"

MOX_OPTION gMoxZrcInfoOptions[] = {
    {"?", "[/?]", "Display Help", 0, 0, nullptr},
};
const UINTN gMoxZrcInfoOptionCount = sizeof(gMoxZrcInfoOptions) / sizeof(gMoxZrcInfoOptions[0]);

MOX_OPTION* gOptions = gMoxZrcInfoOptions;
UINTN gOptionCount = sizeof(gMoxZrcInfoOptions) / sizeof(gMoxZrcInfoOptions[0]);
UINTN gArgumentCount = 0;
CHAR8** gArguments = nullptr;
UINTN gNamedOptionCount = 0;
UINTN gScreenColumns = 0;
UINTN gScreenRows = 0;

namespace {

const CHAR8 kNameEnd[] = "+-:";

BOOLEAN IsOptionLead(CHAR8 c) {
    return c == '+' || c == '-' || c == '/';
}

BOOLEAN SameName(const MOX_OPTION* Row, const CHAR8* Name) {
    const UINTN length = NarrowStringLength(Row->Name) + 1;
    return (Row->Flags & OPTION_CASE_SENSITIVE) ? CompareNarrowN(Row->Name, Name, length) == 0
                                                : CompareNarrowNoCaseN(Row->Name, Name, length) == 0;
}

BOOLEAN IsPositional(const MOX_OPTION* Row) {
    return !Row->Name || Row->Name[0] == '\0';
}

INTN Unexpected(const CHAR8* Argument) {
    ConsolePrint("%s is an unexpected parameter.\n", Argument);
    return -1;
}

INTN MissingParameter(const MOX_OPTION* Row) {
    ConsolePrint("Missing parameter for %s\n", Row->Usage);
    return -1;
}

} // namespace

INTN FindOption(const CHAR8* Name) {
    for (UINTN i = 0; Name && i < gOptionCount; ++i)
        if (!IsPositional(&gOptions[i]) && SameName(&gOptions[i], Name))
            return (INTN)i;
    return -1;
}

BOOLEAN IsOptionSet(const CHAR8* Name) {
    const INTN row = FindOption(Name);
    return row >= 0 && (gOptions[row].Flags & OPTION_GIVEN) != 0;
}

INTN ParseOption(UINTN* Cursor) {
    CHAR8* argument = gArguments[*Cursor];
    const CHAR8 lead = argument[0];
    // The name runs to the first "+", "-" or ":"; that character is cut off in place and put back
    // whenever the argument is shown to the user.
    CHAR8* end = FindFirstOf(argument + 1, kNameEnd);
    const CHAR8 cut = end ? *end : '\0';
    if (end)
        *end = '\0';
    const INTN row = FindOption(argument + 1);
    if (end)
        *end = cut;
    if (row < 0)
        return Unexpected(argument);

    MOX_OPTION* option = &gOptions[row];
    if (option->Flags & OPTION_GIVEN) {
        ConsolePrint("Warning: Option /%s has already been specified and will be ignored.\n", option->Name);
        return row;
    }
    if (cut == ':' && option->ValueCount == 0)
        return Unexpected(argument);
    option->Flags |= OPTION_GIVEN;
    if (lead == '-')
        option->Flags &= ~OPTION_ENABLED;
    else
        option->Flags |= OPTION_ENABLED;
    if (cut == '+')
        option->Flags |= OPTION_ENABLED;
    else if (cut == '-')
        option->Flags &= ~OPTION_ENABLED;

    UINTN counted = 0;
    if (cut == ':' && end[1] != '\0') {
        option->Value = end + 1;
        counted = 1;
    }
    while (counted < option->ValueCount) {
        if (*Cursor + 1 >= gArgumentCount || IsOptionLead(gArguments[*Cursor + 1][0]))
            return MissingParameter(option);
        ++*Cursor;
        if (counted == 0)
            option->Value = gArguments[*Cursor];
        ++counted;
    }
    return row;
}

UINTN ParseOptionTable(UINTN Argc, CHAR8** Argv) {
    gArgumentCount = Argc;
    gArguments = Argv;
    gScreenColumns = 80;
    gScreenRows = 25;
    gNamedOptionCount = 0;
    while (gNamedOptionCount < gOptionCount && !IsPositional(&gOptions[gNamedOptionCount]))
        ++gNamedOptionCount;
    for (UINTN i = 0; i < gOptionCount; ++i) {
        gOptions[i].Flags &= ~OPTION_GIVEN;
        gOptions[i].Value = nullptr;
    }
    if (Argc <= 1 || !Argv)
        return OPTIONS_NONE_GIVEN;

    for (UINTN cursor = 1; cursor < Argc; ++cursor) {
        CHAR8* argument = Argv[cursor];
        if (IsOptionLead(argument[0])) {
            if (ParseOption(&cursor) < 0)
                return OPTIONS_BAD_COMMAND_LINE;
            continue;
        }
        MOX_OPTION* slot = nullptr;
        for (UINTN i = 0; i < gOptionCount && !slot; ++i)
            if (IsPositional(&gOptions[i]) && !(gOptions[i].Flags & OPTION_GIVEN))
                slot = &gOptions[i];
        if (!slot) {
            Unexpected(argument);
            return OPTIONS_BAD_COMMAND_LINE;
        }
        slot->Flags |= OPTION_GIVEN;
        slot->Value = argument;
    }
    for (UINTN i = 0; i < gOptionCount; ++i) {
        if ((gOptions[i].Flags & OPTION_REQUIRED) && !(gOptions[i].Flags & OPTION_GIVEN)) {
            MissingParameter(&gOptions[i]);
            return OPTIONS_BAD_COMMAND_LINE;
        }
    }
    return OPTIONS_PARSED;
}
