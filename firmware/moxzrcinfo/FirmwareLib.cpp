#include "firmware/moxzrcinfo/FirmwareLib.h"

EFI_HANDLE gImageHandle = nullptr;
EFI_SYSTEM_TABLE* gST = nullptr;
EFI_BOOT_SERVICES* gBS = nullptr;
EFI_RUNTIME_SERVICES* gRT = nullptr;

void InitializeFirmwareGlobals(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
    gImageHandle = ImageHandle;
    gST = SystemTable;
    gBS = SystemTable ? SystemTable->BootServices : nullptr;
    gRT = SystemTable ? SystemTable->RuntimeServices : nullptr;
}

VOID* AllocateBootPool(UINTN Size) {
    VOID* buffer = nullptr;
    if (!gBS || EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, Size, &buffer)))
        return nullptr;
    return buffer;
}

void FreeBootPool(VOID* Buffer) {
    if (Buffer && gBS)
        gBS->FreePool(Buffer);
}

void FillBytes(VOID* Buffer, UINTN Size, UINT8 Value) {
    UINT8* bytes = (UINT8*)Buffer;
    for (UINTN i = 0; i < Size; ++i)
        bytes[i] = Value;
}

INTN CompareBytes(const VOID* A, const VOID* B, UINTN Size) {
    const UINT8* a = (const UINT8*)A;
    const UINT8* b = (const UINT8*)B;
    for (UINTN i = 0; i < Size; ++i)
        if (a[i] != b[i])
            return (INTN)a[i] - (INTN)b[i];
    return 0;
}

UINTN WideStringLength(const CHAR16* Text) {
    UINTN length = 0;
    while (Text && Text[length] != 0)
        ++length;
    return length;
}

UINTN NarrowStringLength(const CHAR8* Text) {
    UINTN length = 0;
    while (Text && Text[length] != '\0')
        ++length;
    return length;
}

namespace {

CHAR8 LowerAscii(CHAR8 c) {
    return (c >= 'A' && c <= 'Z') ? (CHAR8)(c - 'A' + 'a') : c;
}

INTN CompareN(const CHAR8* A, const CHAR8* B, UINTN Count, BOOLEAN IgnoreCase) {
    for (UINTN i = 0; i < Count; ++i) {
        const CHAR8 a = IgnoreCase ? LowerAscii(A[i]) : A[i];
        const CHAR8 b = IgnoreCase ? LowerAscii(B[i]) : B[i];
        if (a != b)
            return (INTN)(UINT8)a - (INTN)(UINT8)b;
        if (a == '\0')
            return 0;
    }
    return 0;
}

} // namespace

INTN CompareNarrowN(const CHAR8* A, const CHAR8* B, UINTN Count) {
    return CompareN(A, B, Count, FALSE);
}

INTN CompareNarrowNoCaseN(const CHAR8* A, const CHAR8* B, UINTN Count) {
    return CompareN(A, B, Count, TRUE);
}

CHAR8* FindNarrowChar(CHAR8* Text, CHAR8 Character) {
    for (; Text && *Text != '\0'; ++Text)
        if (*Text == Character)
            return Text;
    return nullptr;
}

CHAR8* FindFirstOf(CHAR8* Text, const CHAR8* Set) {
    for (; Text && *Text != '\0'; ++Text)
        for (const CHAR8* s = Set; s && *s != '\0'; ++s)
            if (*Text == *s)
                return Text;
    return nullptr;
}

CHAR8* TrimSpaces(CHAR8* Text) {
    if (!Text)
        return Text;
    UINTN start = 0;
    while (Text[start] == ' ')
        ++start;
    UINTN end = NarrowStringLength(Text);
    while (end > start && Text[end - 1] == ' ')
        --end;
    for (UINTN i = start; i < end; ++i)
        Text[i - start] = Text[i];
    Text[end - start] = '\0';
    return Text;
}

UINTN NarrowFromWide(CHAR8* Destination, const CHAR16* Source, UINTN Count) {
    UINTN copied = 0;
    while (Source && copied < Count && Source[copied] != 0) {
        Destination[copied] = (CHAR8)(Source[copied] & 0xFF);
        ++copied;
    }
    Destination[copied] = '\0';
    return copied;
}

UINT8 ByteSum(const VOID* Data, UINTN Size) {
    const UINT8* bytes = (const UINT8*)Data;
    UINT8 sum = 0;
    for (UINTN i = 0; i < Size; ++i)
        sum = (UINT8)(sum + bytes[i]);
    return sum;
}
