// The application's console output: text formatted by the firmware print helpers, written to the
// console with its colour escapes.
#pragma once

#include "platform/uefi/UefiSystemTable.h"

// A byte 0xF0 in printed text is an attribute escape: the byte after it becomes the text attribute,
// or, when its upper four bits are 0xE, replaces only the foreground colour. Neither byte is printed;
// the attribute holds to the end of that print.
#define CONSOLE_ATTRIBUTE_ESCAPE 0xF0
#define CONSOLE_FOREGROUND_ONLY 0xE0
#define CONSOLE_DEFAULT_ATTRIBUTE EFI_LIGHTGRAY
#define CONSOLE_PRINT_BUFFER_SIZE 256

// The console output found for the run (the system table's, else the first simple text output
// protocol), or null.
extern EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* gConOut;
extern UINTN gTextAttribute;

EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* ConsoleOutput();
// Formats into 256 bytes (at most 255 characters) and writes the text; returns its length.
UINTN ConsolePrint(const CHAR8* Format, ...);
UINTN ConsolePrintV(const CHAR8* Format, VA_LIST Arguments);
