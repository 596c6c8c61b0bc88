// What the application keeps of the firmware it runs on, and the small routines it uses in place
// of a C library: pool memory, byte and string helpers.
#pragma once

#include "platform/uefi/UefiSystemTable.h"

extern EFI_HANDLE gImageHandle;
extern EFI_SYSTEM_TABLE* gST;
extern EFI_BOOT_SERVICES* gBS;
extern EFI_RUNTIME_SERVICES* gRT;

// Keeps the image handle and the service tables for the run.
void InitializeFirmwareGlobals(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);

// Boot-services data pool; null when the firmware has none to give.
VOID* AllocateBootPool(UINTN Size);
// Null is ignored.
void FreeBootPool(VOID* Buffer);

void FillBytes(VOID* Buffer, UINTN Size, UINT8 Value);
// Negative, zero or positive as the first differing byte of A is below, equal to or above B's.
INTN CompareBytes(const VOID* A, const VOID* B, UINTN Size);
UINTN WideStringLength(const CHAR16* Text);
UINTN NarrowStringLength(const CHAR8* Text);
// Compare at most Count characters, stopping at the end of either string.
INTN CompareNarrowN(const CHAR8* A, const CHAR8* B, UINTN Count);
INTN CompareNarrowNoCaseN(const CHAR8* A, const CHAR8* B, UINTN Count);
// The first occurrence of a character, or null.
CHAR8* FindNarrowChar(CHAR8* Text, CHAR8 Character);
// The first character of Text that is in Set, or null.
CHAR8* FindFirstOf(CHAR8* Text, const CHAR8* Set);
// Removes leading and trailing spaces in place; returns Text.
CHAR8* TrimSpaces(CHAR8* Text);
// Copies the low byte of each character, up to Count characters or the terminator, and ends the
// copy with a zero (Destination holds Count + 1 bytes); returns the characters copied.
UINTN NarrowFromWide(CHAR8* Destination, const CHAR16* Source, UINTN Count);
UINT8 ByteSum(const VOID* Data, UINTN Size);
