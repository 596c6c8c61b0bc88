#include "firmware/moxsecpeim/StorageSecurity.h"

#include "firmware/moxsecpeim/Ahci.h"
#include "firmware/moxsecpeim/MemoryHelpers.h"
#include "firmware/moxsecpeim/ModuleState.h"
#include "firmware/moxsecpeim/MoxSecPeim.h"
#include "firmware/moxsecpeim/Nvme.h"
#include "firmware/moxsecpeim/RecordList.h"
#include "firmware/moxsecpeim/Timer.h"

namespace {

// ACPI PNP0A03 UID 0, PCI device 0x17 function 0, SATA (port filled in), end.
CONST UINT8 mPchnPath[MOX_PCHN_PATH_BYTES] = {
    0x02, 0x01, 0x0C, 0x00, 0xD0, 0x41, 0x03, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x06, 0x00,
    0x00, 0x17, 0x03, 0x12, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x80, 0x05, 0x00, 0x7F, 0xFF, 0x04, 0x00};
#define MOX_PCHN_PORT_OFFSET 22

VOID WriteSataNode(UINT8* Node, UINT16 HbaPort) {
    Node[0] = 0x03;
    Node[1] = 0x12;
    Node[2] = MOX_SATA_NODE_BYTES;
    Node[3] = 0;
    Node[4] = (UINT8)HbaPort;
    Node[5] = (UINT8)(HbaPort >> 8);
    // No port multiplier; logical unit 5.
    Node[6] = 0x00;
    Node[7] = 0x80;
    Node[8] = 0x05;
    Node[9] = 0x00;
}

VOID WriteEndNode(UINT8* Node) {
    Node[0] = 0x7F;
    Node[1] = 0xFF;
    Node[2] = MOX_END_NODE_BYTES;
    Node[3] = 0;
}

StorageSecurityRecord* RecordOf(EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This) {
    for (StorageSecurityRecord* Record = gMoxSecPeim.StorageSecurityList; Record != nullptr;
         Record = Record->Next)
        if (&Record->Ppi == This)
            return Record;
    return nullptr;
}

EFI_STATUS Transfer(EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This, UINTN DeviceIndex, UINT64 Timeout,
                    BOOLEAN Receive, UINT8 Protocol, UINT16 Specific, UINTN Size, VOID* Buffer,
                    UINTN* Transferred) {
    if (This == nullptr || DeviceIndex != 1)
        return EFI_INVALID_PARAMETER;
    StorageSecurityRecord* Record = RecordOf(This);
    if (Record == nullptr)
        return EFI_NOT_FOUND;
    if (Transferred != nullptr)
        *Transferred = 0;
    UINT64 TimeoutUs = TimeoutToMicroseconds(Timeout);
    // The caller gives the value as the security protocols print it; the commands carry it byte-swapped.
    UINT16 Swapped = (UINT16)((Specific >> 8) | (Specific << 8));
    BOOLEAN Ok;
    if (Record->Kind == MOX_STORAGE_KIND_NVME)
        Ok = NvmeSecurityCommand(Record->Nvme, Receive, Protocol, Swapped, Buffer, (UINT32)Size, TimeoutUs) ==
             1;
    else if (Record->Kind == MOX_STORAGE_KIND_ATA)
        Ok = AhciTrustedCommandChecked(gMoxSecPeim.SataController->Ahci, Record->Port, Receive, Protocol,
                                       Swapped, Buffer, (UINT32)Size, TimeoutUs) == AHCI_SUCCESS;
    else
        return EFI_DEVICE_ERROR;
    if (Transferred != nullptr)
        *Transferred = Size;
    return Ok ? EFI_SUCCESS : EFI_DEVICE_ERROR;
}

} // namespace

EFI_STATUS InstallStorageSecurity(UINT32 Kind, UINT8 Port, NvmeDevice* Nvme, EFI_DEVICE_PATH_PROTOCOL* Path,
                                  UINT32 Length) {
    StorageSecurityRecord* Record = (StorageSecurityRecord*)AllocateBootPages(sizeof(StorageSecurityRecord));
    if (Record == nullptr)
        return EFI_OUT_OF_RESOURCES;
    SetMemBytes(Record, 0, sizeof(*Record));
    Record->Descriptor.Flags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
    Record->Descriptor.Guid = &gEdkiiPeiStorageSecurityCommandPpiGuid;
    Record->Descriptor.Ppi = &Record->Ppi;
    Record->Ppi.Revision = EDKII_STORAGE_SECURITY_PPI_REVISION;
    Record->Ppi.GetNumberofDevices = StorSecGetNumberofDevices;
    Record->Ppi.GetDevicePath = StorSecGetDevicePath;
    Record->Ppi.ReceiveData = StorSecReceiveData;
    Record->Ppi.SendData = StorSecSendData;
    Record->Kind = Kind;
    Record->Port = Port;
    Record->Nvme = Nvme;
    Record->DevicePath = Path;
    Record->DevicePathLength = Length;
    AppendRecord(&gMoxSecPeim.StorageSecurityList, Record);
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    if (Services == nullptr) {
        UnlinkRecord(&gMoxSecPeim.StorageSecurityList, Record);
        return EFI_NOT_FOUND;
    }
    EFI_STATUS Status = (*Services)->InstallPpi(Services, &Record->Descriptor);
    if (EFI_ERROR(Status))
        UnlinkRecord(&gMoxSecPeim.StorageSecurityList, Record);
    return Status;
}

VOID InstallNvmeStorageSecurity(NvmeDevice* Nvme, DevicePathRecord* Record, UINTN Unused3, UINTN Unused4,
                                UINTN Unused5, UINTN Unused6, UINTN Unused7, UINTN Unused8,
                                UINT8 SecuritySupported) {
    (VOID) Unused3;
    (VOID) Unused4;
    (VOID) Unused5;
    (VOID) Unused6;
    (VOID) Unused7;
    (VOID) Unused8;
    if (!SecuritySupported)
        return;
    EFI_DEVICE_PATH_PROTOCOL* Path = nullptr;
    UINT32 Length = 0;
    if (Record->HasPath) {
        Path = Record->Path;
        Length = Record->Length;
    } else {
        BuildPortDevicePath((UINT16)(1u << (Record->Slot + 8)), &Length, &Path);
    }
    InstallStorageSecurity(MOX_STORAGE_KIND_NVME, 0xFF, Nvme, Path, Length);
}

VOID BuildSataDevicePath(UINT32 Index, DevicePathRecord* Record) {
    if (Index == 0)
        return;
    UINT8* Path = (UINT8*)AllocateBootPages(MOX_PCHN_PATH_BYTES);
    if (Path == nullptr)
        return;
    for (UINTN Offset = 0; Offset < MOX_PCHN_PATH_BYTES; ++Offset)
        Path[Offset] = mPchnPath[Offset];
    UINT16 Port = (UINT16)(Index | 0x8000);
    Path[MOX_PCHN_PORT_OFFSET] = (UINT8)Port;
    Path[MOX_PCHN_PORT_OFFSET + 1] = (UINT8)(Port >> 8);
    Record->Path = (EFI_DEVICE_PATH_PROTOCOL*)Path;
    Record->Length = MOX_PCHN_PATH_BYTES;
    Record->HasPath = 1;
}

VOID BuildPortDevicePath(UINT16 Value, UINT32* Length, EFI_DEVICE_PATH_PROTOCOL** Path) {
    if (Value == 0)
        return;
    SataControllerRecord* Controller = gMoxSecPeim.SataController;
    UINT32 ControllerLength = Controller->DevicePathLength;
    // A platform path shorter than its end node would have the copy below run off its start.
    UINT8* Bytes = ControllerLength < MOX_END_NODE_BYTES
                       ? nullptr
                       : (UINT8*)AllocateBootPages(ControllerLength + MOX_SATA_NODE_BYTES);
    if (Bytes == nullptr) {
        *Length = 0;
        return;
    }
    UINT32 Prefix = ControllerLength - MOX_END_NODE_BYTES;
    CONST UINT8* Source = (CONST UINT8*)Controller->DevicePath;
    for (UINT32 Offset = 0; Offset < Prefix; ++Offset)
        Bytes[Offset] = Source[Offset];
    WriteSataNode(Bytes + Prefix, Value);
    WriteEndNode(Bytes + Prefix + MOX_SATA_NODE_BYTES);
    *Path = (EFI_DEVICE_PATH_PROTOCOL*)Bytes;
    *Length = ControllerLength + MOX_SATA_NODE_BYTES;
}

EFI_STATUS EFIAPI StorSecGetNumberofDevices(IN EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This,
                                            OUT UINTN* NumberofDevices) {
    if (This == nullptr || NumberofDevices == nullptr)
        return EFI_INVALID_PARAMETER;
    *NumberofDevices = 1;
    return EFI_SUCCESS;
}

EFI_STATUS EFIAPI StorSecGetDevicePath(IN EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This, IN UINTN DeviceIndex,
                                       OUT UINTN* DevicePathLength,
                                       OUT EFI_DEVICE_PATH_PROTOCOL** DevicePath) {
    if (This == nullptr || DevicePathLength == nullptr || DevicePath == nullptr || DeviceIndex != 1)
        return EFI_INVALID_PARAMETER;
    StorageSecurityRecord* Record = RecordOf(This);
    if (Record == nullptr)
        return EFI_NOT_FOUND;
    *DevicePathLength = Record->DevicePathLength;
    *DevicePath = Record->DevicePath;
    return EFI_SUCCESS;
}

EFI_STATUS EFIAPI StorSecReceiveData(IN EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This, IN UINTN DeviceIndex,
                                     IN UINT64 Timeout, IN UINT8 SecurityProtocolId,
                                     IN UINT16 SecurityProtocolSpecificData, IN UINTN PayloadBufferSize,
                                     OUT VOID* PayloadBuffer, OUT UINTN* PayloadTransferSize) {
    return Transfer(This, DeviceIndex, Timeout, TRUE, SecurityProtocolId, SecurityProtocolSpecificData,
                    PayloadBufferSize, PayloadBuffer, PayloadTransferSize);
}

EFI_STATUS EFIAPI StorSecSendData(IN EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This, IN UINTN DeviceIndex,
                                  IN UINT64 Timeout, IN UINT8 SecurityProtocolId,
                                  IN UINT16 SecurityProtocolSpecificData, IN UINTN PayloadBufferSize,
                                  IN VOID* PayloadBuffer) {
    return Transfer(This, DeviceIndex, Timeout, FALSE, SecurityProtocolId, SecurityProtocolSpecificData,
                    PayloadBufferSize, PayloadBuffer, nullptr);
}
