// The PEI foundation as a PEI module sees it: the PEI services table, PPI and notify descriptors,
// boot modes and the module entry point. Written from the PI specification's PEI chapters; only the
// services a module of this product calls carry their full types, the others keep their slot in the
// table as plain pointers.
#pragma once

#include "platform/uefi/UefiBaseType.h"

typedef struct _EFI_PEI_SERVICES EFI_PEI_SERVICES;
typedef struct _EFI_PEI_CPU_IO_PPI EFI_PEI_CPU_IO_PPI;
typedef struct _EFI_PEI_PCI_CFG2_PPI EFI_PEI_PCI_CFG2_PPI;
typedef struct _EFI_PEI_NOTIFY_DESCRIPTOR EFI_PEI_NOTIFY_DESCRIPTOR;

typedef VOID* EFI_PEI_FILE_HANDLE;

typedef UINT32 EFI_BOOT_MODE;
#define BOOT_WITH_FULL_CONFIGURATION 0x00
#define BOOT_WITH_MINIMAL_CONFIGURATION 0x01
#define BOOT_ASSUMING_NO_CONFIGURATION_CHANGES 0x02
#define BOOT_ON_S4_RESUME 0x05
#define BOOT_ON_S5_RESUME 0x06
#define BOOT_ON_S2_RESUME 0x10
#define BOOT_ON_S3_RESUME 0x11
#define BOOT_ON_FLASH_UPDATE 0x12
#define BOOT_IN_RECOVERY_MODE 0x20

// "PEI SERV" read as a little-endian 64-bit number.
#define PEI_SERVICES_SIGNATURE 0x5652455320494550ULL

// PPI and notify descriptor flags.
#define EFI_PEI_PPI_DESCRIPTOR_PIC 0x00000001
#define EFI_PEI_PPI_DESCRIPTOR_PPI 0x00000010
#define EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK 0x00000020
#define EFI_PEI_PPI_DESCRIPTOR_NOTIFY_DISPATCH 0x00000040
#define EFI_PEI_PPI_DESCRIPTOR_NOTIFY_TYPES 0x00000060
#define EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST 0x80000000

typedef struct {
    UINTN Flags;
    EFI_GUID* Guid;
    VOID* Ppi;
} EFI_PEI_PPI_DESCRIPTOR;

typedef EFI_STATUS(EFIAPI* EFI_PEIM_NOTIFY_ENTRY_POINT)(IN EFI_PEI_SERVICES** PeiServices,
                                                        IN EFI_PEI_NOTIFY_DESCRIPTOR* NotifyDescriptor,
                                                        IN VOID* Ppi);

struct _EFI_PEI_NOTIFY_DESCRIPTOR {
    UINTN Flags;
    EFI_GUID* Guid;
    EFI_PEIM_NOTIFY_ENTRY_POINT Notify;
};

typedef EFI_STATUS(EFIAPI* EFI_PEIM_ENTRY_POINT2)(IN EFI_PEI_FILE_HANDLE FileHandle,
                                                  IN CONST EFI_PEI_SERVICES** PeiServices);

typedef EFI_STATUS(EFIAPI* EFI_PEI_INSTALL_PPI)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                IN CONST EFI_PEI_PPI_DESCRIPTOR* PpiList);
typedef EFI_STATUS(EFIAPI* EFI_PEI_REINSTALL_PPI)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                  IN CONST EFI_PEI_PPI_DESCRIPTOR* OldPpi,
                                                  IN CONST EFI_PEI_PPI_DESCRIPTOR* NewPpi);
typedef EFI_STATUS(EFIAPI* EFI_PEI_LOCATE_PPI)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                               IN CONST EFI_GUID* Guid, IN UINTN Instance,
                                               IN OUT EFI_PEI_PPI_DESCRIPTOR** PpiDescriptor OPTIONAL,
                                               IN OUT VOID** Ppi);
typedef EFI_STATUS(EFIAPI* EFI_PEI_NOTIFY_PPI)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                               IN CONST EFI_PEI_NOTIFY_DESCRIPTOR* NotifyList);
typedef EFI_STATUS(EFIAPI* EFI_PEI_GET_BOOT_MODE)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                  OUT EFI_BOOT_MODE* BootMode);
typedef EFI_STATUS(EFIAPI* EFI_PEI_SET_BOOT_MODE)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                  IN EFI_BOOT_MODE BootMode);
typedef EFI_STATUS(EFIAPI* EFI_PEI_ALLOCATE_PAGES)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                   IN EFI_MEMORY_TYPE MemoryType, IN UINTN Pages,
                                                   OUT EFI_PHYSICAL_ADDRESS* Memory);
typedef EFI_STATUS(EFIAPI* EFI_PEI_ALLOCATE_POOL)(IN CONST EFI_PEI_SERVICES** PeiServices, IN UINTN Size,
                                                  OUT VOID** Buffer);
typedef VOID(EFIAPI* EFI_PEI_COPY_MEM)(IN VOID* Destination, IN VOID* Source, IN UINTN Length);
typedef VOID(EFIAPI* EFI_PEI_SET_MEM)(IN VOID* Buffer, IN UINTN Size, IN UINT8 Value);
typedef EFI_STATUS(EFIAPI* EFI_PEI_FREE_PAGES)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                               IN EFI_PHYSICAL_ADDRESS Memory, IN UINTN Pages);

struct _EFI_PEI_SERVICES {
    EFI_TABLE_HEADER Hdr;
    EFI_PEI_INSTALL_PPI InstallPpi;
    EFI_PEI_REINSTALL_PPI ReInstallPpi;
    EFI_PEI_LOCATE_PPI LocatePpi;
    EFI_PEI_NOTIFY_PPI NotifyPpi;
    EFI_PEI_GET_BOOT_MODE GetBootMode;
    EFI_PEI_SET_BOOT_MODE SetBootMode;
    VOID* GetHobList;
    VOID* CreateHob;
    VOID* FfsFindNextVolume;
    VOID* FfsFindNextFile;
    VOID* FfsFindSectionData;
    VOID* InstallPeiMemory;
    EFI_PEI_ALLOCATE_PAGES AllocatePages;
    EFI_PEI_ALLOCATE_POOL AllocatePool;
    EFI_PEI_COPY_MEM CopyMem;
    EFI_PEI_SET_MEM SetMem;
    VOID* ReportStatusCode;
    VOID* ResetSystem;
    EFI_PEI_CPU_IO_PPI* CpuIo;
    EFI_PEI_PCI_CFG2_PPI* PciCfg;
    VOID* FfsFindFileByName;
    VOID* FfsGetFileInfo;
    VOID* FfsGetVolumeInfo;
    VOID* RegisterForShadow;
    VOID* FindSectionData3;
    VOID* FfsGetFileInfo2;
    VOID* ResetSystem2;
    EFI_PEI_FREE_PAGES FreePages;
};

#if defined(__x86_64__)
static_assert(sizeof(EFI_PEI_PPI_DESCRIPTOR) == 24, "EFI_PEI_PPI_DESCRIPTOR (X64)");
static_assert(sizeof(EFI_PEI_NOTIFY_DESCRIPTOR) == 24, "EFI_PEI_NOTIFY_DESCRIPTOR (X64)");
static_assert(offsetof(EFI_PEI_SERVICES, InstallPpi) == 24, "EFI_PEI_SERVICES.InstallPpi (X64)");
static_assert(offsetof(EFI_PEI_SERVICES, AllocatePages) == 120, "EFI_PEI_SERVICES.AllocatePages (X64)");
static_assert(offsetof(EFI_PEI_SERVICES, CpuIo) == 168, "EFI_PEI_SERVICES.CpuIo (X64)");
static_assert(offsetof(EFI_PEI_SERVICES, PciCfg) == 176, "EFI_PEI_SERVICES.PciCfg (X64)");
static_assert(sizeof(EFI_PEI_SERVICES) == 248, "EFI_PEI_SERVICES (X64)");
#else
static_assert(sizeof(EFI_PEI_PPI_DESCRIPTOR) == 12, "EFI_PEI_PPI_DESCRIPTOR (IA32)");
static_assert(sizeof(EFI_PEI_NOTIFY_DESCRIPTOR) == 12, "EFI_PEI_NOTIFY_DESCRIPTOR (IA32)");
static_assert(offsetof(EFI_PEI_SERVICES, InstallPpi) == 24, "EFI_PEI_SERVICES.InstallPpi (IA32)");
static_assert(offsetof(EFI_PEI_SERVICES, LocatePpi) == 32, "EFI_PEI_SERVICES.LocatePpi (IA32)");
static_assert(offsetof(EFI_PEI_SERVICES, GetBootMode) == 40, "EFI_PEI_SERVICES.GetBootMode (IA32)");
static_assert(offsetof(EFI_PEI_SERVICES, AllocatePages) == 72, "EFI_PEI_SERVICES.AllocatePages (IA32)");
static_assert(offsetof(EFI_PEI_SERVICES, CpuIo) == 96, "EFI_PEI_SERVICES.CpuIo (IA32)");
static_assert(offsetof(EFI_PEI_SERVICES, PciCfg) == 100, "EFI_PEI_SERVICES.PciCfg (IA32)");
static_assert(sizeof(EFI_PEI_SERVICES) == 136, "EFI_PEI_SERVICES (IA32)");
#endif
