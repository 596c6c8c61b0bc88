#include "firmware/moxsecpeim/Ahci.h"

#include "firmware/moxsecpeim/DmaBuffers.h"
#include "firmware/moxsecpeim/MemoryHelpers.h"
#include "firmware/moxsecpeim/ModuleState.h"
#include "firmware/moxsecpeim/MoxSecPeim.h"
#include "firmware/moxsecpeim/PciAccess.h"

namespace {

BOOLEAN MakeBuffer(AhciDmaBuffer* Buffer, UINT32 Size) {
    EFI_PHYSICAL_ADDRESS DeviceAddress = 0;
    Buffer->Host =
        DmaAllocateMapped(EdkiiIoMmuOperationBusMasterCommonBuffer, Size, &DeviceAddress, &Buffer->Mapping);
    Buffer->Size = Size;
    return Buffer->Host != nullptr ? TRUE : FALSE;
}

SataControllerRecord* RecordOf(EDKII_PEI_ATA_PASS_THRU_PPI* This) {
    return (SataControllerRecord*)((UINT8*)This - offsetof(SataControllerRecord, AtaPassThru));
}

} // namespace

AhciContext* AhciCreateController(UINT64 PciAddress) {
    UINT16 ClassWord = PciRead16(PciAddress, PCI_CLASS_WORD_OFFSET);
    BOOLEAN Raid = ClassWord == 0x0104 ? TRUE : FALSE;
    BOOLEAN Ahci = (ClassWord == 0x0106 && PciRead8(PciAddress, PCI_PROG_IF_OFFSET) == 0x01) ? TRUE : FALSE;
    if (!Raid && !Ahci)
        return nullptr;
    UINT32 Abar = GetBarAddress(PciAddress, 5);
    if (Abar == 0)
        return nullptr;
    AhciContext* Context = (AhciContext*)AllocateBootPages(sizeof(AhciContext));
    if (Context == nullptr)
        return nullptr;
    SetMemBytes(Context, 0, sizeof(AhciContext));
    Context->PciAddress = PciAddress;
    Context->Abar = Abar;
    if (!MakeBuffer(&Context->ReceivedFis, MOX_AHCI_RECEIVED_FIS_BYTES) ||
        !MakeBuffer(&Context->CommandTable, MOX_AHCI_COMMAND_TABLE_BYTES) ||
        !MakeBuffer(&Context->CommandList, MOX_AHCI_COMMAND_LIST_BYTES))
        return nullptr;
    return Context;
}

EFI_STATUS InstallAtaPassThru(VOID) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    if (Services == nullptr)
        return EFI_NOT_FOUND;
    EFI_ATA_PASS_THRU_MODE* Mode = (EFI_ATA_PASS_THRU_MODE*)AllocateBootPages(sizeof(EFI_ATA_PASS_THRU_MODE));
    if (Mode == nullptr)
        return EFI_OUT_OF_RESOURCES;
    Mode->Attributes = EFI_ATA_PASS_THRU_ATTRIBUTES_PHYSICAL;
    Mode->IoAlign = 0;
    SataControllerRecord* Record = gMoxSecPeim.SataController;
    Record->AtaPassThru.Revision = EDKII_PEI_ATA_PASS_THRU_PPI_REVISION;
    Record->AtaPassThru.Mode = Mode;
    Record->AtaPassThru.PassThru = AtaPassThru;
    Record->AtaPassThru.GetNextPort = AtaGetNextPort;
    Record->AtaPassThru.GetNextDevice = AtaGetNextDevice;
    Record->AtaPassThru.GetDevicePath = AtaGetDevicePath;
    Record->Descriptor.Flags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
    Record->Descriptor.Guid = &gEdkiiPeiAtaPassThruPpiGuid;
    Record->Descriptor.Ppi = &Record->AtaPassThru;
    return (*Services)->InstallPpi(Services, &Record->Descriptor);
}

EFI_STATUS EFIAPI AtaGetNextPort(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, IN OUT UINT16* Port) {
    if (This == nullptr || Port == nullptr)
        return EFI_INVALID_PARAMETER;
    UINT32 First = 0;
    if (*Port != 0xFFFF) {
        // Port 0xFF is the last one there can be; starting over from 0 would never end a caller's walk.
        if ((*Port & 0xFF) == 0xFF)
            return EFI_NOT_FOUND;
        First = (*Port & 0xFF) + 1;
    }
    UINT8 Bitmap = RecordOf(This)->PortBitmap;
    for (UINT32 Candidate = First; Candidate < MOX_AHCI_PORT_COUNT; ++Candidate) {
        if (Bitmap & (1u << Candidate)) {
            *Port = (UINT16)Candidate;
            return EFI_SUCCESS;
        }
    }
    return EFI_NOT_FOUND;
}

EFI_STATUS EFIAPI AtaGetNextDevice(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, IN UINT16 Port,
                                   IN OUT UINT16* PortMultiplierPort) {
    (VOID) This;
    (VOID) Port;
    if (PortMultiplierPort == nullptr)
        return EFI_INVALID_PARAMETER;
    UINT16 Previous = *PortMultiplierPort;
    *PortMultiplierPort = 0;
    if (Previous == 0xFFFF)
        return EFI_SUCCESS;
    if (Previous == 0)
        return EFI_NOT_FOUND;
    return EFI_INVALID_PARAMETER;
}

EFI_STATUS EFIAPI AtaGetDevicePath(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, OUT UINTN* DevicePathLength,
                                   OUT EFI_DEVICE_PATH_PROTOCOL** DevicePath) {
    if (This == nullptr)
        return EFI_NOT_FOUND;
    if (DevicePathLength == nullptr || DevicePath == nullptr)
        return EFI_INVALID_PARAMETER;
    SataControllerRecord* Record = RecordOf(This);
    *DevicePathLength = Record->DevicePathLength;
    *DevicePath = Record->DevicePath;
    return EFI_SUCCESS;
}
