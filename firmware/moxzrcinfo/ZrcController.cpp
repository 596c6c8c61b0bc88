#include "firmware/moxzrcinfo/ZrcController.h"

#include "firmware/moxzrcinfo/FirmwareLib.h"
#include "platform/uefi/BaseCpuId.h"
#include "platform/uefi/protocol/PciRootBridgeIo.h"

// The platform vendor's remapping controllers: one device ID per chipset generation, the vendor ID
// being the platform vendor's (0x1F4A). The simulated machines use the same values.
const MOX_ZRC_CONTROLLER_ID gZrcControllerIds[] = {
    {0x1F4A, 0x09AB}, {0x1F4A, 0x09AC}, {0x1F4A, 0x09AD}, {0x1F4A, 0x09AE}, {0xFFFF, 0xFFFF},
};

namespace {

typedef BOOLEAN (*PCI_IO_MATCH)(EFI_PCI_IO_PROTOCOL* PciIo, const VOID* Context);

// Walks every handle with PCI I/O, each opened for the look and closed again; the first interface the
// match accepts, or null (its handle in *Handle).
EFI_PCI_IO_PROTOCOL* FindPciIo(PCI_IO_MATCH Match, const VOID* Context, EFI_HANDLE* Handle = nullptr) {
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
        if (Match(pciIo, Context)) {
            found = pciIo;
            if (Handle)
                *Handle = handles[i];
        }
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

EFI_HANDLE FindZrcControllerHandle() {
    EFI_HANDLE handle = nullptr;
    FindPciIo(MatchesIdTable, gZrcControllerIds, &handle);
    return handle;
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

namespace {

// One configuration read of 1 << Width bytes into Value (zeroed first, so a failed read gives 0).
void ReadConfig(EFI_PCI_IO_PROTOCOL* PciIo, EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT32 Offset, VOID* Value) {
    FillBytes(Value, (UINTN)1 << Width, 0);
    if (!PciIo)
        return;
    if (Offset < 256) {
        if (EFI_ERROR(PciIo->Pci.Read(PciIo, Width, Offset, 1, Value)))
            FillBytes(Value, (UINTN)1 << Width, 0);
        return;
    }
    // The extended registers are out of PCI I/O's reach: the root bridge addresses them.
    UINTN segment = 0, bus = 0, device = 0, function = 0;
    VOID* found = nullptr;
    if (!gBS || EFI_ERROR(PciIo->GetLocation(PciIo, &segment, &bus, &device, &function)) ||
        EFI_ERROR(gBS->LocateProtocol(&gEfiPciRootBridgeIoProtocolGuid, nullptr, &found)) || !found)
        return;
    EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL* rootBridge = (EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL*)found;
    if (EFI_ERROR(rootBridge->Pci.Read(rootBridge, Width, EFI_PCI_ADDRESS(bus, device, function, Offset), 1,
                                       Value)))
        FillBytes(Value, (UINTN)1 << Width, 0);
}

} // namespace

UINT8 ReadPciConfig8(EFI_PCI_IO_PROTOCOL* PciIo, UINT32 Offset) {
    UINT8 value;
    ReadConfig(PciIo, EfiPciIoWidthUint8, Offset, &value);
    return value;
}

UINT16 ReadPciConfig16(EFI_PCI_IO_PROTOCOL* PciIo, UINT32 Offset) {
    UINT16 value;
    ReadConfig(PciIo, EfiPciIoWidthUint16, Offset, &value);
    return value;
}

UINT32 ReadPciConfig32(EFI_PCI_IO_PROTOCOL* PciIo, UINT32 Offset) {
    UINT32 value;
    ReadConfig(PciIo, EfiPciIoWidthUint32, Offset, &value);
    return value;
}

UINT64 ReadPciConfig64(EFI_PCI_IO_PROTOCOL* PciIo, UINT32 Offset) {
    UINT64 value;
    ReadConfig(PciIo, EfiPciIoWidthUint64, Offset, &value);
    return value;
}

void ReadCpuBrandString(CHAR8* Brand) {
    UINT32 registers[12];
    for (UINT32 leaf = 0; leaf < 3; ++leaf)
        AsmCpuid(0x80000002 + leaf, &registers[leaf * 4], &registers[leaf * 4 + 1], &registers[leaf * 4 + 2],
                 &registers[leaf * 4 + 3]);
    const UINT8* bytes = (const UINT8*)registers;
    for (UINTN i = 0; i < CPU_BRAND_STRING_SIZE; ++i)
        Brand[i] = (CHAR8)bytes[i];
    Brand[CPU_BRAND_STRING_SIZE] = '\0';
    TrimSpaces(Brand);
}

UINT32 ReadCpuSignature() {
    UINT32 eax = 0;
    AsmCpuid(1, &eax, nullptr, nullptr, nullptr);
    return eax;
}
