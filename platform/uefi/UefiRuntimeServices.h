// EFI_RUNTIME_SERVICES: the runtime services table, with the types its services take.
#pragma once

#include "platform/uefi/UefiBootServices.h"

#define EFI_RUNTIME_SERVICES_SIGNATURE 0x56524553544e5552ULL // "RUNTSERV"

// The namespace of the variables the specification defines (BootOrder, Boot####, ...).
#define EFI_GLOBAL_VARIABLE_GUID                                                                             \
    {                                                                                                        \
        0x8be4df61, 0x93ca, 0x11d2, {                                                                        \
            0xaa, 0x0d, 0x00, 0xe0, 0x98, 0x03, 0x2b, 0x8c                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiGlobalVariableGuid = EFI_GLOBAL_VARIABLE_GUID;

// Variable attributes.
#define EFI_VARIABLE_NON_VOLATILE 0x00000001u
#define EFI_VARIABLE_BOOTSERVICE_ACCESS 0x00000002u
#define EFI_VARIABLE_RUNTIME_ACCESS 0x00000004u
#define EFI_VARIABLE_HARDWARE_ERROR_RECORD 0x00000008u
#define EFI_VARIABLE_AUTHENTICATED_WRITE_ACCESS 0x00000010u
#define EFI_VARIABLE_TIME_BASED_AUTHENTICATED_WRITE_ACCESS 0x00000020u
#define EFI_VARIABLE_APPEND_WRITE 0x00000040u

typedef struct {
    UINT16 Year;
    UINT8 Month;
    UINT8 Day;
    UINT8 Hour;
    UINT8 Minute;
    UINT8 Second;
    UINT8 Pad1;
    UINT32 Nanosecond;
    INT16 TimeZone;
    UINT8 Daylight;
    UINT8 Pad2;
} EFI_TIME;
static_assert(sizeof(EFI_TIME) == 16, "EFI_TIME is 16 bytes");
static_assert(offsetof(EFI_TIME, Nanosecond) == 8 && offsetof(EFI_TIME, TimeZone) == 12,
              "EFI_TIME field offsets");

#define EFI_UNSPECIFIED_TIMEZONE 0x07FF

typedef struct {
    UINT32 Resolution;
    UINT32 Accuracy;
    BOOLEAN SetsToZero;
} EFI_TIME_CAPABILITIES;
static_assert(sizeof(EFI_TIME_CAPABILITIES) == 12, "EFI_TIME_CAPABILITIES is 12 bytes");

typedef enum { EfiResetCold, EfiResetWarm, EfiResetShutdown, EfiResetPlatformSpecific } EFI_RESET_TYPE;

typedef struct {
    EFI_GUID CapsuleGuid;
    UINT32 HeaderSize;
    UINT32 Flags;
    UINT32 CapsuleImageSize;
} EFI_CAPSULE_HEADER;
static_assert(sizeof(EFI_CAPSULE_HEADER) == 28, "EFI_CAPSULE_HEADER is 28 bytes");

typedef EFI_STATUS(EFIAPI* EFI_GET_TIME)(EFI_TIME* Time, EFI_TIME_CAPABILITIES* Capabilities);
typedef EFI_STATUS(EFIAPI* EFI_SET_TIME)(EFI_TIME* Time);
typedef EFI_STATUS(EFIAPI* EFI_GET_WAKEUP_TIME)(BOOLEAN* Enabled, BOOLEAN* Pending, EFI_TIME* Time);
typedef EFI_STATUS(EFIAPI* EFI_SET_WAKEUP_TIME)(BOOLEAN Enable, EFI_TIME* Time);
typedef EFI_STATUS(EFIAPI* EFI_SET_VIRTUAL_ADDRESS_MAP)(UINTN MemoryMapSize, UINTN DescriptorSize,
                                                        UINT32 DescriptorVersion,
                                                        EFI_MEMORY_DESCRIPTOR* VirtualMap);
typedef EFI_STATUS(EFIAPI* EFI_CONVERT_POINTER)(UINTN DebugDisposition, VOID** Address);
typedef EFI_STATUS(EFIAPI* EFI_GET_VARIABLE)(CHAR16* VariableName, EFI_GUID* VendorGuid, UINT32* Attributes,
                                             UINTN* DataSize, VOID* Data);
typedef EFI_STATUS(EFIAPI* EFI_GET_NEXT_VARIABLE_NAME)(UINTN* VariableNameSize, CHAR16* VariableName,
                                                       EFI_GUID* VendorGuid);
typedef EFI_STATUS(EFIAPI* EFI_SET_VARIABLE)(CHAR16* VariableName, EFI_GUID* VendorGuid, UINT32 Attributes,
                                             UINTN DataSize, VOID* Data);
typedef EFI_STATUS(EFIAPI* EFI_GET_NEXT_HIGH_MONO_COUNT)(UINT32* HighCount);
typedef VOID(EFIAPI* EFI_RESET_SYSTEM)(EFI_RESET_TYPE ResetType, EFI_STATUS ResetStatus, UINTN DataSize,
                                       VOID* ResetData);
typedef EFI_STATUS(EFIAPI* EFI_UPDATE_CAPSULE)(EFI_CAPSULE_HEADER** CapsuleHeaderArray, UINTN CapsuleCount,
                                               EFI_PHYSICAL_ADDRESS ScatterGatherList);
typedef EFI_STATUS(EFIAPI* EFI_QUERY_CAPSULE_CAPABILITIES)(EFI_CAPSULE_HEADER** CapsuleHeaderArray,
                                                           UINTN CapsuleCount, UINT64* MaximumCapsuleSize,
                                                           EFI_RESET_TYPE* ResetType);
typedef EFI_STATUS(EFIAPI* EFI_QUERY_VARIABLE_INFO)(UINT32 Attributes, UINT64* MaximumVariableStorageSize,
                                                    UINT64* RemainingVariableStorageSize,
                                                    UINT64* MaximumVariableSize);

typedef struct {
    EFI_TABLE_HEADER Hdr;
    EFI_GET_TIME GetTime;
    EFI_SET_TIME SetTime;
    EFI_GET_WAKEUP_TIME GetWakeupTime;
    EFI_SET_WAKEUP_TIME SetWakeupTime;
    EFI_SET_VIRTUAL_ADDRESS_MAP SetVirtualAddressMap;
    EFI_CONVERT_POINTER ConvertPointer;
    EFI_GET_VARIABLE GetVariable;
    EFI_GET_NEXT_VARIABLE_NAME GetNextVariableName;
    EFI_SET_VARIABLE SetVariable;
    EFI_GET_NEXT_HIGH_MONO_COUNT GetNextHighMonotonicCount;
    EFI_RESET_SYSTEM ResetSystem;
    EFI_UPDATE_CAPSULE UpdateCapsule;
    EFI_QUERY_CAPSULE_CAPABILITIES QueryCapsuleCapabilities;
    EFI_QUERY_VARIABLE_INFO QueryVariableInfo;
} EFI_RUNTIME_SERVICES;
static_assert(sizeof(EFI_RUNTIME_SERVICES) == EFI_LAYOUT(136, 80), "EFI_RUNTIME_SERVICES size");
static_assert(offsetof(EFI_RUNTIME_SERVICES, GetTime) == 24 &&
                  offsetof(EFI_RUNTIME_SERVICES, GetVariable) == EFI_LAYOUT(72, 48) &&
                  offsetof(EFI_RUNTIME_SERVICES, GetNextVariableName) == EFI_LAYOUT(80, 52) &&
                  offsetof(EFI_RUNTIME_SERVICES, SetVariable) == EFI_LAYOUT(88, 56) &&
                  offsetof(EFI_RUNTIME_SERVICES, ResetSystem) == EFI_LAYOUT(104, 64) &&
                  offsetof(EFI_RUNTIME_SERVICES, QueryVariableInfo) == EFI_LAYOUT(128, 76),
              "EFI_RUNTIME_SERVICES slot offsets");
