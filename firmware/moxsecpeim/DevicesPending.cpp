// The device layer's entry points as the module's flow reaches them. The AHCI ports, the NVMe
// devices, their storage security PPIs and the remapped devices are not brought up here: every call
// answers that no device came up, so the flow around them runs as on a controller without drives.
#include "firmware/moxsecpeim/Ahci.h"
#include "firmware/moxsecpeim/MoxSecPeim.h"
#include "firmware/moxsecpeim/Nvme.h"
#include "firmware/moxsecpeim/RemapDevices.h"
#include "firmware/moxsecpeim/StorageSecurity.h"

UINT8 AhciEnumeratePorts(AhciContext* Context, UINTN Unused) {
    (VOID) Unused;
    return Context == nullptr ? 1 : 0;
}

EFI_STATUS EFIAPI AtaPassThru(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, IN UINT16 Port,
                              IN UINT16 PortMultiplierPort, IN OUT EFI_ATA_PASS_THRU_COMMAND_PACKET* Packet) {
    (VOID) This;
    (VOID) Port;
    (VOID) PortMultiplierPort;
    (VOID) Packet;
    // No port is in the bitmap.
    return EFI_INVALID_PARAMETER;
}

NvmeDevice* NvmeCreateDevice(UINT64 PciAddress, UINT32 RegisterBase) {
    (VOID) PciAddress;
    (VOID) RegisterBase;
    return nullptr;
}

EFI_STATUS InstallNvmePassThru(NvmeDevice* Device) {
    (VOID) Device;
    return EFI_INVALID_PARAMETER;
}

UINT8 NvmeEnumerateNamespaces(NvmeDevice* Device, DevicePathRecord* PathRecord, UINTN Unused) {
    (VOID) Device;
    (VOID) PathRecord;
    (VOID) Unused;
    return 0;
}

VOID BuildSataDevicePath(UINT32 Index, DevicePathRecord* Record) {
    (VOID) Index;
    (VOID) Record;
}

VOID DiscoverRemappedDevices(UINT64 SataPciAddress) {
    (VOID) SataPciAddress;
}
