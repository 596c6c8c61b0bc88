#include "firmware/moxzrcinfo/ZrcController.h"

#include "firmware/moxzrcinfo/FirmwareLib.h"

// The platform vendor's remapping controllers: one device ID per chipset generation.
const MOX_ZRC_CONTROLLER_ID gZrcControllerIds[] = {
    {0x1F4A, 0x09AB}, {0x1F4A, 0x09AC}, {0x1F4A, 0x09AD}, {0x1F4A, 0x09AE}, {0xFFFF, 0xFFFF},
};

namespace {

typedef BOOLEAN (*PCI_IO_MATCH)(EFI_PCI_IO_PROTOCOL* PciIo, const VOID* Context);

// Walks every handle with PCI I/O, each opened for the look and closed again; the first interface the
// match accepts, or null.
EFI_PCI_IO_PROTOCOL* FindPciIo(PCI_IO_MATCH Match, const VOID* Context) {
    if (!gBS)
        return nullptr;
    UINTN count = 0;
    EFI_HANDLE* handles = nullptr;
    if (EFI_ERROR(gBS->LocateHandleBuffer(ByProtocol, &gEfiPciIoProtocolGuid, nullptr, &count, &handles)))
        return nullptr;
    EFI_PCI_IO_PROTOCOL* found = nullptr;
    for (UINTN i = 0; i < count && !found; ++i) {
        VOID* interface = nullptr;
        if (EFI_ERROR(gBS->OpenProtocol(handles[i], &gEfiPciIoProtocolGuid, &interface, gImageHandle, nullptr,
                                        EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL)))
            continue;
        EFI_PCI_IO_PROTOCOL* pciIo = (EFI_PCI_IO_PROTOCOL*)interface;
        if (Match(pciIo, Context))
            found = pciIo;
        gBS->CloseProtocol(handles[i], &gEfiPciIoProtocolGuid, gImageHandle, nullptr);
    }
    FreeBootPool(handles);
    return found;
}

BOOLEAN MatchesIdTable(EFI_PCI_IO_PROTOCOL* PciIo, const VOID* Context) {
    UINT16 vendor = 0xFFFF;
    UINT16 device = 0xFFFF;
    if (EFI_ERROR(PciIo->Pci.Read(PciIo, EfiPciIoWidthUint16, 0, 1, &vendor)) ||
        EFI_ERROR(PciIo->Pci.Read(PciIo, EfiPciIoWidthUint16, 2, 1, &device)))
        return FALSE;
    return IsSupportedZrcController((const MOX_ZRC_CONTROLLER_ID*)Context, vendor, device);
}

struct PCI_LOCATION {
    UINTN Bus;
    UINTN Device;
    UINTN Function;
};

BOOLEAN MatchesLocation(EFI_PCI_IO_PROTOCOL* PciIo, const VOID* Context) {
    const PCI_LOCATION* wanted = (const PCI_LOCATION*)Context;
    UINTN segment = 0, bus = 0, device = 0, function = 0;
    if (EFI_ERROR(PciIo->GetLocation(PciIo, &segment, &bus, &device, &function)))
        return FALSE;
    return bus == wanted->Bus && device == wanted->Device && function == wanted->Function;
}

} // namespace

BOOLEAN IsSupportedZrcController(const MOX_ZRC_CONTROLLER_ID* Table, UINT16 VendorId, UINT16 DeviceId) {
    for (; Table && Table->VendorId != 0xFFFF && Table->DeviceId != 0xFFFF; ++Table)
        if (Table->VendorId == VendorId && Table->DeviceId == DeviceId)
            return TRUE;
    return FALSE;
}

EFI_PCI_IO_PROTOCOL* FindZrcController(const MOX_ZRC_CONTROLLER_ID* Table) {
    return FindPciIo(MatchesIdTable, Table);
}

EFI_PCI_IO_PROTOCOL* FindPciIoByLocation(UINTN Bus, UINTN Device, UINTN Function) {
    const PCI_LOCATION wanted = {Bus, Device, Function};
    return FindPciIo(MatchesLocation, &wanted);
}

BOOLEAN SetZrcPciAttributes(EFI_PCI_IO_PROTOCOL* PciIo, UINT64* Saved, UINTN Mode) {
    if (!PciIo || !Saved)
        return FALSE;
    if (Mode == ZRC_ATTRIBUTES_ENABLE) {
        UINT64 supported = 0;
        if (EFI_ERROR(PciIo->Attributes(PciIo, EfiPciIoAttributeOperationGet, 0, Saved)) ||
            EFI_ERROR(PciIo->Attributes(PciIo, EfiPciIoAttributeOperationSupported, 0, &supported)))
            return FALSE;
        if ((supported & ZRC_PCI_ATTRIBUTES) != ZRC_PCI_ATTRIBUTES)
            return FALSE;
        return !EFI_ERROR(
            PciIo->Attributes(PciIo, EfiPciIoAttributeOperationEnable, ZRC_PCI_ATTRIBUTES, nullptr));
    }
    if (Mode == ZRC_ATTRIBUTES_RESTORE)
        return !EFI_ERROR(PciIo->Attributes(PciIo, EfiPciIoAttributeOperationSet, *Saved, nullptr));
    return FALSE;
}
