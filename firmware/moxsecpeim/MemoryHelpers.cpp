#include "firmware/moxsecpeim/MemoryHelpers.h"

#include "firmware/moxsecpeim/ModuleState.h"

UINTN SizeToPages(UINTN Size) {
    return Size / EFI_PAGE_SIZE + ((Size % EFI_PAGE_SIZE) != 0 ? 1 : 0);
}

VOID* AllocateBootPages(UINTN Size) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    EFI_PHYSICAL_ADDRESS Memory = 0;
    if (EFI_ERROR((*Services)->AllocatePages(Services, EfiBootServicesData, SizeToPages(Size), &Memory)))
        return nullptr;
    return (VOID*)(UINTN)Memory;
}

VOID FreeBootPages(VOID* Buffer, UINTN Size) {
    (VOID) Buffer;
    (VOID) Size;
}

VOID SetMemBytes(VOID* Buffer, UINT8 Value, UINTN Length) {
    UINT8* Bytes = (UINT8*)Buffer;
    for (UINTN Index = 0; Index < Length; ++Index)
        Bytes[Index] = Value;
}

EFI_STATUS CopyMemChecked(VOID* Destination, UINTN DestinationSize, CONST VOID* Source, UINTN SourceSize) {
    if (SourceSize == 0 || Destination == nullptr)
        return EFI_INVALID_PARAMETER;
    if (Source != nullptr && SourceSize <= DestinationSize) {
        UINT8* To = (UINT8*)Destination;
        CONST UINT8* From = (CONST UINT8*)Source;
        for (UINTN Index = 0; Index < SourceSize; ++Index)
            To[Index] = From[Index];
        return EFI_SUCCESS;
    }
    SetMemBytes(Destination, 0, DestinationSize);
    return EFI_INVALID_PARAMETER;
}
