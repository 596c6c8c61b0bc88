// The firmware programs' own text formatting: a printf-like formatter writing narrow text into the
// caller's buffer, the integer formatter beneath it, and the names of UEFI statuses and RAID levels.
// It uses no allocation, no services and no writable globals, and assumes nothing of the word
// size, so the same source builds into a 64-bit application and a 32-bit pre-memory module.
//
// Directives: %% %c %d %u %x %X %s %r (a UEFI status by name) %R (a RAID level bit by name), with
// the flags "-" (left-justify integers), "0" (zero fill), "." (the next number is the precision),
// a width or precision number, and "l" (accepted, ignored). Every argument is one machine word:
// integers use its low 32 bits, %R the low 16, %r the whole word. A line feed is written as carriage
// return and line feed. An unknown directive ends the output where it stands.
#pragma once

#include "platform/uefi/UefiBaseType.h"

// Flags of FormatInteger.
#define FORMAT_LEFT_JUSTIFY 0x01u
#define FORMAT_ZERO_FILL 0x02u
#define FORMAT_PRECISION 0x04u
#define FORMAT_UNSIGNED 0x08u

// Formats into Buffer (Size bytes, the terminating zero included); returns the characters written
// without the terminator. The text is always zero-terminated when Size is at least 1.
UINTN FormatString(CHAR8* Buffer, UINTN Size, const CHAR8* Format, ...);
UINTN FormatStringV(CHAR8* Buffer, UINTN Size, const CHAR8* Format, VA_LIST Arguments);

// Writes one integer of base 2 to 16 (another base writes nothing and returns 0): at most Room
// characters, then a terminating zero (Buffer holds Room + 1 bytes). Returns the characters written.
UINTN FormatInteger(CHAR8* Buffer, UINT32 Value, UINTN Flags, UINTN Width, UINTN Precision, UINTN Room,
                    UINTN Base);

// Writes the status's name, or the upper-case hexadecimal of its low 32 bits when it has none, into
// Buffer (Size bytes, the terminator included); returns the characters written.
UINTN StatusToString(EFI_STATUS Status, CHAR8* Buffer, UINTN Size);

// The name of one RAID level bit; "RaidInvalidLevel" for any other value.
const CHAR8* RaidLevelToString(UINT16 Level);
