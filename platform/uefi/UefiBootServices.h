// EFI_BOOT_SERVICES: the boot services table, with the types its services take. Every slot of the
// table is declared, in the specification's order, so the offsets of the ones the programs call are
// those of real firmware.
#pragma once

#include "platform/uefi/UefiBaseType.h"
#include "platform/uefi/protocol/DevicePath.h"

#define EFI_BOOT_SERVICES_SIGNATURE 0x56524553544f4f42ULL // "BOOTSERV"

// Task priority levels.
#define TPL_APPLICATION 4
#define TPL_CALLBACK 8
#define TPL_NOTIFY 16
#define TPL_HIGH_LEVEL 31

typedef enum { AllocateAnyPages, AllocateMaxAddress, AllocateAddress, MaxAllocateType } EFI_ALLOCATE_TYPE;

typedef struct {
    UINT32 Type;
    alignas(8) EFI_PHYSICAL_ADDRESS PhysicalStart;
    EFI_VIRTUAL_ADDRESS VirtualStart;
    UINT64 NumberOfPages;
    UINT64 Attribute;
} EFI_MEMORY_DESCRIPTOR;
static_assert(sizeof(EFI_MEMORY_DESCRIPTOR) == 40, "EFI_MEMORY_DESCRIPTOR is 40 bytes");
static_assert(offsetof(EFI_MEMORY_DESCRIPTOR, PhysicalStart) == 8, "EFI_MEMORY_DESCRIPTOR.PhysicalStart");

// Event types.
#define EVT_TIMER 0x80000000u
#define EVT_RUNTIME 0x40000000u
#define EVT_NOTIFY_WAIT 0x00000100u
#define EVT_NOTIFY_SIGNAL 0x00000200u
#define EVT_SIGNAL_EXIT_BOOT_SERVICES 0x00000201u
#define EVT_SIGNAL_VIRTUAL_ADDRESS_CHANGE 0x60000202u

typedef enum { TimerCancel, TimerPeriodic, TimerRelative } EFI_TIMER_DELAY;

typedef enum { EFI_NATIVE_INTERFACE } EFI_INTERFACE_TYPE;

typedef enum { AllHandles, ByRegisterNotify, ByProtocol } EFI_LOCATE_SEARCH_TYPE;

// OpenProtocol attributes.
#define EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL 0x00000001u
#define EFI_OPEN_PROTOCOL_GET_PROTOCOL 0x00000002u
#define EFI_OPEN_PROTOCOL_TEST_PROTOCOL 0x00000004u
#define EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER 0x00000008u
#define EFI_OPEN_PROTOCOL_BY_DRIVER 0x00000010u
#define EFI_OPEN_PROTOCOL_EXCLUSIVE 0x00000020u

typedef struct {
    EFI_HANDLE AgentHandle;
    EFI_HANDLE ControllerHandle;
    UINT32 Attributes;
    UINT32 OpenCount;
} EFI_OPEN_PROTOCOL_INFORMATION_ENTRY;
static_assert(sizeof(EFI_OPEN_PROTOCOL_INFORMATION_ENTRY) == EFI_LAYOUT(24, 16),
              "EFI_OPEN_PROTOCOL_INFORMATION_ENTRY size");
static_assert(offsetof(EFI_OPEN_PROTOCOL_INFORMATION_ENTRY, Attributes) == EFI_LAYOUT(16, 8) &&
                  offsetof(EFI_OPEN_PROTOCOL_INFORMATION_ENTRY, OpenCount) == EFI_LAYOUT(20, 12),
              "EFI_OPEN_PROTOCOL_INFORMATION_ENTRY field offsets");

typedef VOID(EFIAPI* EFI_EVENT_NOTIFY)(EFI_EVENT Event, VOID* Context);

typedef EFI_TPL(EFIAPI* EFI_RAISE_TPL)(EFI_TPL NewTpl);
typedef VOID(EFIAPI* EFI_RESTORE_TPL)(EFI_TPL OldTpl);
typedef EFI_STATUS(EFIAPI* EFI_ALLOCATE_PAGES)(EFI_ALLOCATE_TYPE Type, EFI_MEMORY_TYPE MemoryType,
                                               UINTN Pages, EFI_PHYSICAL_ADDRESS* Memory);
typedef EFI_STATUS(EFIAPI* EFI_FREE_PAGES)(EFI_PHYSICAL_ADDRESS Memory, UINTN Pages);
typedef EFI_STATUS(EFIAPI* EFI_GET_MEMORY_MAP)(UINTN* MemoryMapSize, EFI_MEMORY_DESCRIPTOR* MemoryMap,
                                               UINTN* MapKey, UINTN* DescriptorSize,
                                               UINT32* DescriptorVersion);
typedef EFI_STATUS(EFIAPI* EFI_ALLOCATE_POOL)(EFI_MEMORY_TYPE PoolType, UINTN Size, VOID** Buffer);
typedef EFI_STATUS(EFIAPI* EFI_FREE_POOL)(VOID* Buffer);
typedef EFI_STATUS(EFIAPI* EFI_CREATE_EVENT)(UINT32 Type, EFI_TPL NotifyTpl, EFI_EVENT_NOTIFY NotifyFunction,
                                             VOID* NotifyContext, EFI_EVENT* Event);
typedef EFI_STATUS(EFIAPI* EFI_SET_TIMER)(EFI_EVENT Event, EFI_TIMER_DELAY Type, UINT64 TriggerTime);
typedef EFI_STATUS(EFIAPI* EFI_WAIT_FOR_EVENT)(UINTN NumberOfEvents, EFI_EVENT* Event, UINTN* Index);
typedef EFI_STATUS(EFIAPI* EFI_SIGNAL_EVENT)(EFI_EVENT Event);
typedef EFI_STATUS(EFIAPI* EFI_CLOSE_EVENT)(EFI_EVENT Event);
typedef EFI_STATUS(EFIAPI* EFI_CHECK_EVENT)(EFI_EVENT Event);
typedef EFI_STATUS(EFIAPI* EFI_INSTALL_PROTOCOL_INTERFACE)(EFI_HANDLE* Handle, EFI_GUID* Protocol,
                                                           EFI_INTERFACE_TYPE InterfaceType, VOID* Interface);
typedef EFI_STATUS(EFIAPI* EFI_REINSTALL_PROTOCOL_INTERFACE)(EFI_HANDLE Handle, EFI_GUID* Protocol,
                                                             VOID* OldInterface, VOID* NewInterface);
typedef EFI_STATUS(EFIAPI* EFI_UNINSTALL_PROTOCOL_INTERFACE)(EFI_HANDLE Handle, EFI_GUID* Protocol,
                                                             VOID* Interface);
typedef EFI_STATUS(EFIAPI* EFI_HANDLE_PROTOCOL)(EFI_HANDLE Handle, EFI_GUID* Protocol, VOID** Interface);
typedef EFI_STATUS(EFIAPI* EFI_REGISTER_PROTOCOL_NOTIFY)(EFI_GUID* Protocol, EFI_EVENT Event,
                                                         VOID** Registration);
typedef EFI_STATUS(EFIAPI* EFI_LOCATE_HANDLE)(EFI_LOCATE_SEARCH_TYPE SearchType, EFI_GUID* Protocol,
                                              VOID* SearchKey, UINTN* BufferSize, EFI_HANDLE* Buffer);
typedef EFI_STATUS(EFIAPI* EFI_LOCATE_DEVICE_PATH)(EFI_GUID* Protocol, EFI_DEVICE_PATH_PROTOCOL** DevicePath,
                                                   EFI_HANDLE* Device);
typedef EFI_STATUS(EFIAPI* EFI_INSTALL_CONFIGURATION_TABLE)(EFI_GUID* Guid, VOID* Table);
typedef EFI_STATUS(EFIAPI* EFI_IMAGE_LOAD)(BOOLEAN BootPolicy, EFI_HANDLE ParentImageHandle,
                                           EFI_DEVICE_PATH_PROTOCOL* DevicePath, VOID* SourceBuffer,
                                           UINTN SourceSize, EFI_HANDLE* ImageHandle);
typedef EFI_STATUS(EFIAPI* EFI_IMAGE_START)(EFI_HANDLE ImageHandle, UINTN* ExitDataSize, CHAR16** ExitData);
typedef EFI_STATUS(EFIAPI* EFI_EXIT)(EFI_HANDLE ImageHandle, EFI_STATUS ExitStatus, UINTN ExitDataSize,
                                     CHAR16* ExitData);
typedef EFI_STATUS(EFIAPI* EFI_IMAGE_UNLOAD)(EFI_HANDLE ImageHandle);
typedef EFI_STATUS(EFIAPI* EFI_EXIT_BOOT_SERVICES)(EFI_HANDLE ImageHandle, UINTN MapKey);
typedef EFI_STATUS(EFIAPI* EFI_GET_NEXT_MONOTONIC_COUNT)(UINT64* Count);
typedef EFI_STATUS(EFIAPI* EFI_STALL)(UINTN Microseconds);
typedef EFI_STATUS(EFIAPI* EFI_SET_WATCHDOG_TIMER)(UINTN Timeout, UINT64 WatchdogCode, UINTN DataSize,
                                                   CHAR16* WatchdogData);
typedef EFI_STATUS(EFIAPI* EFI_CONNECT_CONTROLLER)(EFI_HANDLE ControllerHandle, EFI_HANDLE* DriverImageHandle,
                                                   EFI_DEVICE_PATH_PROTOCOL* RemainingDevicePath,
                                                   BOOLEAN Recursive);
typedef EFI_STATUS(EFIAPI* EFI_DISCONNECT_CONTROLLER)(EFI_HANDLE ControllerHandle,
                                                      EFI_HANDLE DriverImageHandle, EFI_HANDLE ChildHandle);
typedef EFI_STATUS(EFIAPI* EFI_OPEN_PROTOCOL)(EFI_HANDLE Handle, EFI_GUID* Protocol, VOID** Interface,
                                              EFI_HANDLE AgentHandle, EFI_HANDLE ControllerHandle,
                                              UINT32 Attributes);
typedef EFI_STATUS(EFIAPI* EFI_CLOSE_PROTOCOL)(EFI_HANDLE Handle, EFI_GUID* Protocol, EFI_HANDLE AgentHandle,
                                               EFI_HANDLE ControllerHandle);
typedef EFI_STATUS(EFIAPI* EFI_OPEN_PROTOCOL_INFORMATION)(EFI_HANDLE Handle, EFI_GUID* Protocol,
                                                          EFI_OPEN_PROTOCOL_INFORMATION_ENTRY** EntryBuffer,
                                                          UINTN* EntryCount);
typedef EFI_STATUS(EFIAPI* EFI_PROTOCOLS_PER_HANDLE)(EFI_HANDLE Handle, EFI_GUID*** ProtocolBuffer,
                                                     UINTN* ProtocolBufferCount);
typedef EFI_STATUS(EFIAPI* EFI_LOCATE_HANDLE_BUFFER)(EFI_LOCATE_SEARCH_TYPE SearchType, EFI_GUID* Protocol,
                                                     VOID* SearchKey, UINTN* NoHandles, EFI_HANDLE** Buffer);
typedef EFI_STATUS(EFIAPI* EFI_LOCATE_PROTOCOL)(EFI_GUID* Protocol, VOID* Registration, VOID** Interface);
// Pairs of (EFI_GUID*, VOID*) ended by a null GUID pointer.
typedef EFI_STATUS(EFIAPI* EFI_INSTALL_MULTIPLE_PROTOCOL_INTERFACES)(EFI_HANDLE* Handle, ...);
typedef EFI_STATUS(EFIAPI* EFI_UNINSTALL_MULTIPLE_PROTOCOL_INTERFACES)(EFI_HANDLE Handle, ...);
typedef EFI_STATUS(EFIAPI* EFI_CALCULATE_CRC32)(VOID* Data, UINTN DataSize, UINT32* Crc32);
typedef VOID(EFIAPI* EFI_COPY_MEM)(VOID* Destination, VOID* Source, UINTN Length);
typedef VOID(EFIAPI* EFI_SET_MEM)(VOID* Buffer, UINTN Size, UINT8 Value);
typedef EFI_STATUS(EFIAPI* EFI_CREATE_EVENT_EX)(UINT32 Type, EFI_TPL NotifyTpl,
                                                EFI_EVENT_NOTIFY NotifyFunction, CONST VOID* NotifyContext,
                                                CONST EFI_GUID* EventGroup, EFI_EVENT* Event);

typedef struct {
    EFI_TABLE_HEADER Hdr;
    EFI_RAISE_TPL RaiseTPL;
    EFI_RESTORE_TPL RestoreTPL;
    EFI_ALLOCATE_PAGES AllocatePages;
    EFI_FREE_PAGES FreePages;
    EFI_GET_MEMORY_MAP GetMemoryMap;
    EFI_ALLOCATE_POOL AllocatePool;
    EFI_FREE_POOL FreePool;
    EFI_CREATE_EVENT CreateEvent;
    EFI_SET_TIMER SetTimer;
    EFI_WAIT_FOR_EVENT WaitForEvent;
    EFI_SIGNAL_EVENT SignalEvent;
    EFI_CLOSE_EVENT CloseEvent;
    EFI_CHECK_EVENT CheckEvent;
    EFI_INSTALL_PROTOCOL_INTERFACE InstallProtocolInterface;
    EFI_REINSTALL_PROTOCOL_INTERFACE ReinstallProtocolInterface;
    EFI_UNINSTALL_PROTOCOL_INTERFACE UninstallProtocolInterface;
    EFI_HANDLE_PROTOCOL HandleProtocol;
    VOID* Reserved;
    EFI_REGISTER_PROTOCOL_NOTIFY RegisterProtocolNotify;
    EFI_LOCATE_HANDLE LocateHandle;
    EFI_LOCATE_DEVICE_PATH LocateDevicePath;
    EFI_INSTALL_CONFIGURATION_TABLE InstallConfigurationTable;
    EFI_IMAGE_LOAD LoadImage;
    EFI_IMAGE_START StartImage;
    EFI_EXIT Exit;
    EFI_IMAGE_UNLOAD UnloadImage;
    EFI_EXIT_BOOT_SERVICES ExitBootServices;
    EFI_GET_NEXT_MONOTONIC_COUNT GetNextMonotonicCount;
    EFI_STALL Stall;
    EFI_SET_WATCHDOG_TIMER SetWatchdogTimer;
    EFI_CONNECT_CONTROLLER ConnectController;
    EFI_DISCONNECT_CONTROLLER DisconnectController;
    EFI_OPEN_PROTOCOL OpenProtocol;
    EFI_CLOSE_PROTOCOL CloseProtocol;
    EFI_OPEN_PROTOCOL_INFORMATION OpenProtocolInformation;
    EFI_PROTOCOLS_PER_HANDLE ProtocolsPerHandle;
    EFI_LOCATE_HANDLE_BUFFER LocateHandleBuffer;
    EFI_LOCATE_PROTOCOL LocateProtocol;
    EFI_INSTALL_MULTIPLE_PROTOCOL_INTERFACES InstallMultipleProtocolInterfaces;
    EFI_UNINSTALL_MULTIPLE_PROTOCOL_INTERFACES UninstallMultipleProtocolInterfaces;
    EFI_CALCULATE_CRC32 CalculateCrc32;
    EFI_COPY_MEM CopyMem;
    EFI_SET_MEM SetMem;
    EFI_CREATE_EVENT_EX CreateEventEx;
} EFI_BOOT_SERVICES;
static_assert(sizeof(EFI_BOOT_SERVICES) == EFI_LAYOUT(376, 200), "EFI_BOOT_SERVICES size");
static_assert(offsetof(EFI_BOOT_SERVICES, RaiseTPL) == 24, "EFI_BOOT_SERVICES.RaiseTPL");
static_assert(offsetof(EFI_BOOT_SERVICES, AllocatePool) == EFI_LAYOUT(64, 44) &&
                  offsetof(EFI_BOOT_SERVICES, FreePool) == EFI_LAYOUT(72, 48) &&
                  offsetof(EFI_BOOT_SERVICES, WaitForEvent) == EFI_LAYOUT(96, 60) &&
                  offsetof(EFI_BOOT_SERVICES, HandleProtocol) == EFI_LAYOUT(152, 88) &&
                  offsetof(EFI_BOOT_SERVICES, LocateHandle) == EFI_LAYOUT(176, 100) &&
                  offsetof(EFI_BOOT_SERVICES, Stall) == EFI_LAYOUT(248, 136) &&
                  offsetof(EFI_BOOT_SERVICES, OpenProtocol) == EFI_LAYOUT(280, 152) &&
                  offsetof(EFI_BOOT_SERVICES, CloseProtocol) == EFI_LAYOUT(288, 156) &&
                  offsetof(EFI_BOOT_SERVICES, LocateHandleBuffer) == EFI_LAYOUT(312, 168) &&
                  offsetof(EFI_BOOT_SERVICES, LocateProtocol) == EFI_LAYOUT(320, 172) &&
                  offsetof(EFI_BOOT_SERVICES, InstallMultipleProtocolInterfaces) == EFI_LAYOUT(328, 176) &&
                  offsetof(EFI_BOOT_SERVICES, CreateEventEx) == EFI_LAYOUT(368, 196),
              "EFI_BOOT_SERVICES slot offsets");
