#include "firmware/moxsecpeim/RemapBarPpi.h"

#include "firmware/moxsecpeim/ModuleState.h"
#include "firmware/moxsecpeim/MoxSecPeim.h"
#include "firmware/moxsecpeim/PciAccess.h"

EFI_STATUS EFIAPI GetRemappedDeviceBar(IN CONST VOID* Caller, IN CONST RemapBarRequest* Request,
                                       OUT UINT32* Address, OUT UINT32* AddressHigh) {
    if (Caller == nullptr)
        return EFI_INVALID_PARAMETER;
    if (Request == nullptr || Request->Bus != MOX_SATA_BUS || Request->Device != MOX_SATA_DEVICE ||
        Request->Function != MOX_SATA_FUNCTION)
        return EFI_INVALID_PARAMETER;
    // The answer goes there; a caller without them would have it written through a null pointer.
    if (Address == nullptr || AddressHigh == nullptr)
        return EFI_INVALID_PARAMETER;
    UINT64 PciAddress = GetPciAddress(MOX_SATA_BUS, MOX_SATA_DEVICE, MOX_SATA_FUNCTION);
    if (PciAddress == MOX_PCI_ADDRESS_NONE)
        return EFI_NOT_FOUND;
    UINT32 Bar5 = GetBarAddress(PciAddress, 5);
    if (Bar5 == 0)
        return EFI_DEVICE_ERROR;
    UINT32 Offset = 0;
    switch (Request->WindowId) {
    case MOX_REMAP_WINDOW_SLOT0:
        Offset = 0x4000;
        break;
    case MOX_REMAP_WINDOW_SLOT1:
        Offset = 0x8000;
        break;
    case MOX_REMAP_WINDOW_SLOT2:
        Offset = 0xC000;
        break;
    default:
        return EFI_INVALID_PARAMETER;
    }
    *Address = Bar5 + Offset;
    *AddressHigh = 0;
    return EFI_SUCCESS;
}

EFI_STATUS InstallRemapBarPpi(CONST EFI_PEI_SERVICES** PeiServices) {
    UINT64 PciAddress = GetPciAddress(MOX_SATA_BUS, MOX_SATA_DEVICE, MOX_SATA_FUNCTION);
    if (PciAddress == MOX_PCI_ADDRESS_NONE || !IsSupportedSataController(PciAddress))
        return EFI_UNSUPPORTED;
    gMoxSecPeim.RemapBarPpi.GetRemappedDeviceBar = GetRemappedDeviceBar;
    gMoxSecPeim.RemapBarDescriptor.Flags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
    gMoxSecPeim.RemapBarDescriptor.Guid = &gMoxRemapBarPpiGuid;
    gMoxSecPeim.RemapBarDescriptor.Ppi = &gMoxSecPeim.RemapBarPpi;
    return (*PeiServices)->InstallPpi(PeiServices, &gMoxSecPeim.RemapBarDescriptor);
}
