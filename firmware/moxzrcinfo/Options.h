// The application's command line: a table of options, the parser and the usage screen drawn from it.
// The application's table has the one option "?", but parser and usage screen take any table: options
// with values, required options and positional slots (rows without a name).
#pragma once

#include "platform/uefi/UefiBaseType.h"

// Row flags.
#define OPTION_CASE_SENSITIVE 0x0001
#define OPTION_REQUIRED 0x0002
#define OPTION_ENABLED 0x0004
#define OPTION_GIVEN 0x0008

// Help text of a row the usage screen leaves out.
#define OPTION_HIDDEN_HELP "##HIDE##"

typedef struct {
    const CHAR8* Name;
    const CHAR8* Usage;
    const CHAR8* Help;
    UINT16 ValueCount;
    UINT16 Flags;
    // The option's first value (the text after ":" or the argument that follows), or a positional
    // slot's argument.
    CHAR8* Value;
} MOX_OPTION;

// ParseOptionTable's results.
#define OPTIONS_PARSED 0
#define OPTIONS_NONE_GIVEN 1
#define OPTIONS_BAD_COMMAND_LINE 2

// The table the parser and the usage screen work on: the application's own (set at each start of
// the application), or another a test sets.
extern MOX_OPTION* gOptions;
extern UINTN gOptionCount;
extern MOX_OPTION gMoxZrcInfoOptions[];
extern const UINTN gMoxZrcInfoOptionCount;
// What the parser recorded: the arguments, the named rows before the first positional slot, and the
// screen size the usage screen fills.
extern UINTN gArgumentCount;
extern CHAR8** gArguments;
extern UINTN gNamedOptionCount;
extern UINTN gScreenColumns;
extern UINTN gScreenRows;

// The banner at the top of the usage screen.
extern const CHAR8 gMoxZrcInfoBanner[];

// 0 parsed, 1 no argument besides the program name, 2 a bad command line (its message printed).
UINTN ParseOptionTable(UINTN Argc, CHAR8** Argv);
// Handles the option argument at *Cursor and the values it takes (moving *Cursor past them); returns
// the row, or -1 after printing why the argument is refused.
INTN ParseOption(UINTN* Cursor);
// The row of an option name, compared as its row says (case-sensitive or not), or -1.
INTN FindOption(const CHAR8* Name);
BOOLEAN IsOptionSet(const CHAR8* Name);

void PrintUsage();
// Waits for a key and reads it: scan code in the upper 16 bits, character in the lower.
UINT32 WaitForKey();
// True when the console reports 0 columns and 0 rows for its mode (or cannot say).
BOOLEAN ConsoleHasNoSize();
