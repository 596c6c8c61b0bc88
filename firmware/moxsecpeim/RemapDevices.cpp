#include "firmware/moxsecpeim/RemapDevices.h"

#include "firmware/moxsecpeim/MemoryHelpers.h"
#include "firmware/moxsecpeim/ModuleState.h"
#include "firmware/moxsecpeim/MoxSecPeim.h"
#include "firmware/moxsecpeim/Nvme.h"
#include "firmware/moxsecpeim/PciAccess.h"
#include "firmware/moxsecpeim/StorageSecurity.h"

namespace {

#define REMAP_CONTROL 0xA4
#define REMAP_ID 0xC0
#define REMAP_BAR5_REGISTER 0x24
#define REMAP_CLASS_NVME 0x0108

// The platform vendor's controllers with the remap register block.
CONST UINT16 mRemapIds[] = {0xA0D3, 0x9A0B, 0x7AE2, 0x467E};

BOOLEAN IsRemapEnabled(VOID) {
    return (RemapRead32(REMAP_CONTROL) & 0x1) ? TRUE : FALSE;
}

VOID ResetRemapState(VOID) {
    SetMemBytes(&gMoxSecPeim.Remap, 0, sizeof(gMoxSecPeim.Remap));
    gMoxSecPeim.Remap.PciAddress = MOX_PCI_ADDRESS_NONE;
}

// Offsets into the capability wrap at 64 KB.
UINT32 CapabilityOffset(UINT32 Control, UINT32 Add) {
    return ((((Control >> 16) & 0xFFF) * 128) + Add) & 0xFFFF;
}

VOID AddRemappedDevice(UINT8 Slot, UINT16 ClassWord) {
    RemappedDeviceRecord* Record = &gMoxSecPeim.Remap.Table[gMoxSecPeim.Remap.Count++];
    Record->Slot = Slot;
    Record->ClassWord = ClassWord;
    AddRemappedNvmeDevice(Record);
}

VOID EnumerateRemappedDevices(VOID) {
    UINT32 Control = RemapRead32(REMAP_CONTROL);
    UINT32 MapAt = CapabilityOffset(Control, 0);
    UINT64 Map = MmioRead64(gMoxSecPeim.Remap.Base + MapAt) & 0x7;
    for (UINT8 Slot = 0; Slot < MOX_REMAP_SLOTS && (Map >> Slot) != 0; ++Slot) {
        if (!(Map & (1u << Slot)))
            continue;
        UINT32 ClassAt = CapabilityOffset(Control, 128 * ((UINT32)Slot + 1));
        UINT32 Class = RemapRead32(ClassAt);
        RemapRead32((ClassAt + 4) & 0xFFFF);
        AddRemappedDevice(Slot, (UINT16)(Class >> 8));
    }
}

} // namespace

UINT32 RemapRead32(UINT32 Offset) {
    return MmioRead32(gMoxSecPeim.Remap.Base + Offset);
}

BOOLEAN IsRemapCapableId(UINT16 Id) {
    for (UINTN Index = 0; Index < sizeof(mRemapIds) / sizeof(mRemapIds[0]); ++Index)
        if (mRemapIds[Index] == Id)
            return TRUE;
    return FALSE;
}

VOID DiscoverRemappedDevices(UINT64 SataPciAddress) {
    SetMemBytes(gMoxSecPeim.Remap.Table, 0, sizeof(gMoxSecPeim.Remap.Table));
    gMoxSecPeim.Remap.Count = 0;
    gMoxSecPeim.Remap.PciAddress = SataPciAddress;
    gMoxSecPeim.Remap.Base = PciRead32(SataPciAddress, REMAP_BAR5_REGISTER) & ~0xFu;
    gMoxSecPeim.Remap.Supported = IsRemapCapableId((UINT16)RemapRead32(REMAP_ID)) ? 1 : 0;
    if (!gMoxSecPeim.Remap.Supported || !IsRemapEnabled()) {
        ResetRemapState();
        return;
    }
    EnumerateRemappedDevices();
}

VOID AddRemappedNvmeDevice(RemappedDeviceRecord* Record) {
    if (Record->ClassWord != REMAP_CLASS_NVME)
        return;
    UINT64 SataAddress = GetPciAddress(MOX_SATA_BUS, MOX_SATA_DEVICE, MOX_SATA_FUNCTION);
    // The window is formed by setting its bit in BAR5, which names it only on a BAR5 aligned to 64 KB.
    UINT32 Window = GetBarAddress(SataAddress, 5) | (0x4000u * ((UINT32)Record->Slot + 1));
    NvmeDevice* Device = NvmeCreateDevice(gMoxSecPeim.Remap.PciAddress, Window);
    if (Device == nullptr)
        return;
    InstallNvmePassThru(Device);
    DevicePathRecord PathRecord;
    SetMemBytes(&PathRecord, 0, sizeof(PathRecord));
    PathRecord.Slot = Record->Slot;
    NvmeEnumerateNamespaces(Device, &PathRecord, 0);
}
