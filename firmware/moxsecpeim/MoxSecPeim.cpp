#include "firmware/moxsecpeim/MoxSecPeim.h"

#include "platform/uefi/pi/PlatformStoragePpis.h"

#include "firmware/moxsecpeim/Ahci.h"
#include "firmware/moxsecpeim/DmaBuffers.h"
#include "firmware/moxsecpeim/MemoryHelpers.h"
#include "firmware/moxsecpeim/ModuleState.h"
#include "firmware/moxsecpeim/Nvme.h"
#include "firmware/moxsecpeim/PciAccess.h"
#include "firmware/moxsecpeim/RemapBarPpi.h"
#include "firmware/moxsecpeim/RemapDevices.h"
#include "firmware/moxsecpeim/SmmHandoff.h"
#include "firmware/moxsecpeim/StorageSecurity.h"
#include "firmware/moxsecpeim/Timer.h"

MoxSecPeimGlobals gMoxSecPeim;

namespace {

CONST EFI_PEI_NOTIFY_DESCRIPTOR mControllerPathNotify = {EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK |
                                                             EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
                                                         &gControllerPathPpiGuid, OnControllerPathPpi};
CONST EFI_PEI_NOTIFY_DESCRIPTOR mPchnStorageNotify = {EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK |
                                                          EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
                                                      &gPchnStoragePpiGuid, OnPchnStoragePpi};

// Device IDs of the platform vendor's SATA controllers, and bases that each stand for 16 of them.
CONST UINT16 mSataDeviceIds[] = {0x2822, 0x2826, 0x2827, 0x282A, 0x282E, 0x282F};
CONST UINT16 mSataDeviceIdBases[] = {0x43D0, 0x4B60, 0x7AE0, 0x9A00, 0xA0D0, 0xA350};

#define PCI_CLASS_WORD_RAID 0x0104

BOOLEAN IsListed(CONST UINT16* List, UINTN Count, UINT16 Value) {
    for (UINTN Index = 0; Index < Count; ++Index)
        if (List[Index] == Value)
            return TRUE;
    return FALSE;
}

EFI_STATUS Locate(CONST EFI_PEI_SERVICES** Services, EFI_GUID* Guid, VOID** Ppi) {
    return (*Services)->LocatePpi(Services, Guid, 0, nullptr, Ppi);
}

// The platform storage PPI's private record starts 4 bytes before its interface.
CONST UINT8* PchnRecordOf(PchnStoragePpi* Ppi) {
    return (CONST UINT8*)Ppi - PCHN_STORAGE_INTERFACE_OFFSET;
}

UINT32 PchnSignature(CONST UINT8* Record) {
    return (UINT32)Record[0] | ((UINT32)Record[1] << 8) | ((UINT32)Record[2] << 16) |
           ((UINT32)Record[3] << 24);
}

UINT8 PchnEntryByte(CONST UINT8* Record, UINT32 Index, UINT32 Field) {
    return Record[PCHN_STORAGE_ENTRY_OFFSET + PCHN_STORAGE_ENTRY_SIZE * Index + Field];
}

} // namespace

CONST EFI_PEI_SERVICES** GetPeiServices(VOID) {
    if (gMoxSecPeim.PeiServices != nullptr)
        return gMoxSecPeim.PeiServices;
    IA32_DESCRIPTOR Idtr;
    AsmReadIdtr(&Idtr);
    return *(CONST EFI_PEI_SERVICES***)(Idtr.Base - sizeof(UINTN));
}

extern "C" EFI_STATUS EFIAPI MoxSecPeimEntry(IN EFI_PEI_FILE_HANDLE FileHandle,
                                             IN CONST EFI_PEI_SERVICES** PeiServices) {
    (VOID) FileHandle;
    if (PeiServices == nullptr || *PeiServices == nullptr ||
        (*PeiServices)->Hdr.Signature != PEI_SERVICES_SIGNATURE)
        return EFI_UNSUPPORTED;
    gMoxSecPeim.PeiServices = PeiServices;
    StartTimer();
    LocateIommu(PeiServices);
    return MoxSecPeimMain();
}

EFI_STATUS MoxSecPeimMain(VOID) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    EFI_STATUS Status = InstallRemapBarPpi(Services);
    if (EFI_ERROR(Status))
        return Status;
    EFI_BOOT_MODE BootMode = 0;
    Status = (*Services)->GetBootMode(Services, &BootMode);
    if (EFI_ERROR(Status))
        return Status;
    if (BootMode != BOOT_ON_S3_RESUME)
        return EFI_SUCCESS;

    EFI_STATUS Kept = RegisterSmmHandoff(Services);
    if (EFI_ERROR(Kept))
        return Kept;

    VOID* Ppi = nullptr;
    if (EFI_ERROR(Locate(Services, &gControllerPathPpiGuid, &Ppi))) {
        Status = (*Services)->NotifyPpi(Services, &mControllerPathNotify);
        if (EFI_ERROR(Status))
            return Status;
    } else {
        Status = SetupSataController();
        if (EFI_ERROR(Status))
            return Status;
        Status = SetupRemappedDevices();
        if (EFI_ERROR(Status))
            return Status;
    }

    if (EFI_ERROR(Locate(Services, &gPchnStoragePpiGuid, &Ppi))) {
        Status = (*Services)->NotifyPpi(Services, &mPchnStorageNotify);
        if (EFI_ERROR(Status))
            return Status;
    } else {
        ProcessPchnDevices();
    }
    return Kept;
}

EFI_STATUS EFIAPI OnControllerPathPpi(IN EFI_PEI_SERVICES** PeiServices,
                                      IN EFI_PEI_NOTIFY_DESCRIPTOR* NotifyDescriptor, IN VOID* Ppi) {
    (VOID) PeiServices;
    (VOID) NotifyDescriptor;
    (VOID) Ppi;
    EFI_STATUS Status = SetupSataController();
    if (EFI_ERROR(Status))
        return Status;
    return SetupRemappedDevices();
}

EFI_STATUS EFIAPI OnPchnStoragePpi(IN EFI_PEI_SERVICES** PeiServices,
                                   IN EFI_PEI_NOTIFY_DESCRIPTOR* NotifyDescriptor, IN VOID* Ppi) {
    (VOID) PeiServices;
    (VOID) NotifyDescriptor;
    (VOID) Ppi;
    EFI_STATUS Status = ProcessPchnDevices();
    return EFI_ERROR(Status) ? EFI_SUCCESS : Status;
}

BOOLEAN IsSupportedSataController(UINT64 PciAddress) {
    if (PciRead16(PciAddress, PCI_VENDOR_ID_OFFSET) != MOX_PLATFORM_VENDOR_ID)
        return FALSE;
    UINT16 DeviceId = PciRead16(PciAddress, PCI_DEVICE_ID_OFFSET);
    if (!IsListed(mSataDeviceIds, sizeof(mSataDeviceIds) / sizeof(mSataDeviceIds[0]), DeviceId) &&
        !IsListed(mSataDeviceIdBases, sizeof(mSataDeviceIdBases) / sizeof(mSataDeviceIdBases[0]),
                  (UINT16)(DeviceId & 0xFFF0)))
        return FALSE;
    return PciRead16(PciAddress, PCI_CLASS_WORD_OFFSET) == PCI_CLASS_WORD_RAID ? TRUE : FALSE;
}

EFI_STATUS SetupSataController(VOID) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    ControllerPathPpi* PathPpi = nullptr;
    EFI_STATUS Status = Locate(Services, &gControllerPathPpiGuid, (VOID**)&PathPpi);
    if (EFI_ERROR(Status))
        return Status;
    SataControllerRecord* Record = (SataControllerRecord*)AllocateBootPages(sizeof(SataControllerRecord));
    if (Record == nullptr)
        return EFI_OUT_OF_RESOURCES;
    SetMemBytes(Record, 0, sizeof(SataControllerRecord));
    gMoxSecPeim.SataController = Record;
    Record->PciAddress = GetPciAddress(MOX_SATA_BUS, MOX_SATA_DEVICE, MOX_SATA_FUNCTION);
    if (Record->PciAddress == MOX_PCI_ADDRESS_NONE)
        return EFI_NOT_FOUND;
    Record->Ahci = AhciCreateController(Record->PciAddress);
    if (Record->Ahci == nullptr)
        return EFI_OUT_OF_RESOURCES;
    Status = PathPpi->GetControllerPath(PathPpi, 0, &Record->DevicePathLength, &Record->DevicePath);
    if (EFI_ERROR(Status))
        return Status;
    EnablePciDevice(Record->PciAddress);
    AhciEnumeratePorts(Record->Ahci, 0);
    return InstallAtaPassThru();
}

EFI_STATUS SetupRemappedDevices(VOID) {
    SataControllerRecord* Record = gMoxSecPeim.SataController;
    if (Record == nullptr)
        return EFI_DEVICE_ERROR;
    EnablePciDevice(Record->PciAddress);
    DiscoverRemappedDevices(Record->PciAddress);
    return EFI_SUCCESS;
}

EFI_STATUS ProcessPchnDevices(VOID) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    PchnStoragePpi* Ppi = nullptr;
    EFI_STATUS Status = Locate(Services, &gPchnStoragePpiGuid, (VOID**)&Ppi);
    if (EFI_ERROR(Status))
        return Status;
    UINT32 Index = 0;
    UINT32 Handled = 0;
    UINT32 MmioBase = 0;
    EFI_STATUS BaseStatus = Ppi->GetDeviceBase(Ppi, Index, &MmioBase);
    while (!EFI_ERROR(BaseStatus)) {
        UINT32 Info0 = 0;
        UINT32 Info1 = 0;
        EFI_STATUS InfoStatus = Ppi->GetDeviceInfo(Ppi, Index, &Info0, &Info1);
        if (EFI_ERROR(InfoStatus))
            return InfoStatus;
        // A record with another signature is reported; its entries are read all the same, there being
        // no other record to read them from.
        CONST UINT8* Record = PchnRecordOf(Ppi);
        MOX_ASSERT_TEXT(PchnSignature(Record) == PCHN_STORAGE_SIGNATURE, "CR has Bad Signature");
        UINT64 PciAddress = GetPciAddress(PchnEntryByte(Record, Index, PCHN_STORAGE_ENTRY_BUS),
                                          PchnEntryByte(Record, Index, PCHN_STORAGE_ENTRY_DEVICE),
                                          PchnEntryByte(Record, Index, PCHN_STORAGE_ENTRY_FUNCTION));
        if (PciAddress == MOX_PCI_ADDRESS_NONE)
            return EFI_NOT_FOUND;
        if (++Handled > 2)
            return InfoStatus;
        NvmeDevice* Device = NvmeCreateDevice(PciAddress, MmioBase);
        if (Device != nullptr && !EFI_ERROR(InstallNvmePassThru(Device))) {
            DevicePathRecord PathRecord;
            SetMemBytes(&PathRecord, 0, sizeof(PathRecord));
            BuildSataDevicePath(Handled, &PathRecord);
            NvmeEnumerateNamespaces(Device, &PathRecord, 0);
        }
        ++Index;
        BaseStatus = Ppi->GetDeviceBase(Ppi, Index, &MmioBase);
    }
    return BaseStatus;
}
