// Groups 7 and 8: the block devices the driver exports, and the functions remapped behind the
// controller as its configuration window shows them.
#include "firmware/common/FirmwarePrint.h"
#include "firmware/moxzrcinfo/Console.h"
#include "firmware/moxzrcinfo/FirmwareLib.h"
#include "firmware/moxzrcinfo/Groups.h"
#include "firmware/moxzrcinfo/Report.h"
#include "firmware/moxzrcinfo/ZrcController.h"
#include "platform/uefi/BaseIoLib.h"
#include "platform/uefi/protocol/BlockIo.h"
#include "platform/uefi/protocol/ComponentName2.h"

namespace {

#define MESSAGING_DEVICE_PATH 0x03
#define MSG_SATA_DP 0x12
#define MSG_NVME_NAMESPACE_DP 0x17

// The widest window a configuration window register can describe: 256 buses of 1 MiB.
#define ZRC_WINDOW_MAX_EXPONENT 28
#define ZRC_WINDOW_BUSES 255

UINT16 NodeLength(const EFI_DEVICE_PATH_PROTOCOL* Node) {
    return (UINT16)(Node->Length[0] | (Node->Length[1] << 8));
}

BOOLEAN IsEndNode(const EFI_DEVICE_PATH_PROTOCOL* Node) {
    return Node->Type == END_DEVICE_PATH_TYPE && Node->SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE;
}

// The "Port Bitmap" of a child: its SATA port or its NVMe namespace.
UINT32 PortOfPath(EFI_DEVICE_PATH_PROTOCOL* Path) {
    const EFI_DEVICE_PATH_PROTOCOL* node = LastDevicePathNode(Path);
    if (!node || node->Type != MESSAGING_DEVICE_PATH)
        return 0;
    const UINT8* bytes = (const UINT8*)node;
    if (node->SubType == MSG_SATA_DP && NodeLength(node) >= 6)
        return (UINT32)(bytes[4] | (bytes[5] << 8));
    if (node->SubType == MSG_NVME_NAMESPACE_DP && NodeLength(node) >= 8)
        return (UINT32)bytes[4] | ((UINT32)bytes[5] << 8) | ((UINT32)bytes[6] << 16) |
               ((UINT32)bytes[7] << 24);
    return 0;
}

// Prints one child of the driver, or nothing when what it needs cannot be had.
void PrintChild(EFI_HANDLE Child) {
    VOID* interface = nullptr;
    if (EFI_ERROR(gBS->OpenProtocol(Child, &gEfiBlockIoProtocolGuid, &interface, gImageHandle, nullptr,
                                    EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL)))
        return;
    EFI_BLOCK_IO_PROTOCOL* blockIo = (EFI_BLOCK_IO_PROTOCOL*)interface;
    if (EFI_ERROR(gBS->OpenProtocol(gZrcDriverHandle, &gEfiComponentName2ProtocolGuid, &interface,
                                    gImageHandle, nullptr, EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL))) {
        gBS->CloseProtocol(Child, &gEfiBlockIoProtocolGuid, gImageHandle, nullptr);
        return;
    }
    EFI_COMPONENT_NAME2_PROTOCOL* names = (EFI_COMPONENT_NAME2_PROTOCOL*)interface;
    UINT32 port = 0;
    if (!EFI_ERROR(gBS->OpenProtocol(Child, &gEfiDevicePathProtocolGuid, &interface, gImageHandle, nullptr,
                                     EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL))) {
        port = PortOfPath((EFI_DEVICE_PATH_PROTOCOL*)interface);
        gBS->CloseProtocol(Child, &gEfiDevicePathProtocolGuid, gImageHandle, nullptr);
    }
    CHAR16* name = nullptr;
    CHAR8 language[] = "en-US";
    if (!EFI_ERROR(names->GetControllerName(names, gZrcPciHandle, Child, language, &name)) && name) {
        CHAR8 model[41];
        NarrowFromWide(model, name, 40);
        const EFI_BLOCK_IO_MEDIA* media = blockIo->Media;
        CHAR8 size[10];
        FormatSize(media->LastBlock + 1, size);
        ConsolePrint("\n");
        PrintLabelValue("Model Number", "%s", model);
        PrintLabelValue("Port Bitmap", "0x%x", (UINTN)port);
        PrintLabelValue("Size", "%s", size);
        PrintLabelValue("MediaId", "%d", (UINTN)media->MediaId);
        PrintLabelValue("Last Block", "0x%x", (UINTN)(UINT32)media->LastBlock);
        PrintLabelValue("Block Size", "%d bytes", (UINTN)media->BlockSize);
        PrintLabelValue("BlockIo Rev", "0x%lX%lX", (UINTN)(UINT32)(blockIo->Revision >> 32),
                        (UINTN)(UINT32)blockIo->Revision);
    }
    gBS->CloseProtocol(Child, &gEfiBlockIoProtocolGuid, gImageHandle, nullptr);
    gBS->CloseProtocol(gZrcDriverHandle, &gEfiComponentName2ProtocolGuid, gImageHandle, nullptr);
}

void PrintLocation(UINTN Bus, UINTN Device, UINTN Function, UINT64 Address) {
    PrintLabelValue("CFGSPC Segment", "%02X/%02X/%02X", Bus, Device, Function);
    PrintLabelValue("MMIO offset", "0x%08X_%08X", (UINTN)(UINT32)(Address >> 32), (UINTN)(UINT32)Address);
}

void PrintIdentity(UINT64 Address) {
    PrintLabelValue("Device ID", "0x%04X", (UINTN)MmioRead16((UINTN)Address + 2));
    PrintLabelValue("Vendor ID", "0x%04X", (UINTN)MmioRead16((UINTN)Address));
    PrintLabelValue("Class Code", "0x%04X", (UINTN)MmioRead16((UINTN)Address + 10));
    PrintLabelValue("Prog Intf", "0x%02X", (UINTN)MmioRead8((UINTN)Address + 9));
}

} // namespace

EFI_DEVICE_PATH_PROTOCOL* LastDevicePathNode(EFI_DEVICE_PATH_PROTOCOL* Path) {
    if (!Path || IsEndNode(Path))
        return nullptr;
    EFI_DEVICE_PATH_PROTOCOL* last = Path;
    for (EFI_DEVICE_PATH_PROTOCOL* node = Path; !IsEndNode(node);) {
        const UINT16 length = NodeLength(node);
        // A node shorter than its header would never end the walk: the path ends there.
        if (length < sizeof(EFI_DEVICE_PATH_PROTOCOL))
            break;
        last = node;
        node = (EFI_DEVICE_PATH_PROTOCOL*)((UINT8*)node + length);
    }
    return last;
}

UINTN FormatSize(UINT64 BlockCount, CHAR8* Text) {
    const UINT64 tenths = (((BlockCount >> 11) * 100 >> 10) + 5) / 10;
    if (tenths < 10240)
        FormatString(Text, 10, "%ld.%ldGB", (UINTN)(tenths / 10), (UINTN)(tenths % 10));
    else
        FormatString(Text, 10, "%ld.%ldTB", (UINTN)(tenths / 10240), (UINTN)((tenths / 1024) % 10));
    return (UINTN)tenths;
}

BOOLEAN RunExportedLogicalDevices(EFI_PCI_IO_PROTOCOL*) {
    PrintGroupHeader(7);
    if (!gZrcDriverHandle) {
        ConsolePrint("ERROR: Global ZRC driver handle is NULL.\n");
        return FALSE;
    }
    gZrcPciHandle = FindZrcControllerHandle();
    if (!gZrcPciHandle) {
        ConsolePrint("ERROR: Global ZRC controller handle is NULL.\n");
        return FALSE;
    }
    UINTN count = 0;
    EFI_HANDLE* handles = nullptr;
    if (EFI_ERROR(
            gBS->LocateHandleBuffer(ByProtocol, &gEfiDevicePathProtocolGuid, nullptr, &count, &handles))) {
        FreeBootPool(handles);
        ConsolePrint("ERROR: Cannot locate any of Device Path protocols.\n");
        return FALSE;
    }
    for (UINTN i = 0; i < count; ++i) {
        VOID* path = nullptr;
        const EFI_STATUS status =
            gBS->OpenProtocol(handles[i], &gEfiDevicePathProtocolGuid, &path, gImageHandle, nullptr,
                              EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL);
        if (EFI_ERROR(status)) {
            ConsolePrint("WARNING: Cannot open Device Path protocol for handle %d (status %r)\n", i, status);
            continue;
        }
        EFI_OPEN_PROTOCOL_INFORMATION_ENTRY* entries = nullptr;
        UINTN entryCount = 0;
        if (EFI_ERROR(
                gBS->OpenProtocolInformation(handles[i], &gEfiPciIoProtocolGuid, &entries, &entryCount))) {
            gBS->CloseProtocol(handles[i], &gEfiDevicePathProtocolGuid, gImageHandle, nullptr);
            continue;
        }
        for (UINTN e = 0; e < entryCount; ++e)
            if (entries[e].AgentHandle == gZrcDriverHandle)
                PrintChild(entries[e].ControllerHandle);
        FreeBootPool(entries);
        gBS->CloseProtocol(handles[i], &gEfiDevicePathProtocolGuid, gImageHandle, nullptr);
    }
    FreeBootPool(handles);
    return TRUE;
}

BOOLEAN RunMappedDevicesInformation(EFI_PCI_IO_PROTOCOL* ZrcPciIo) {
    PrintGroupHeader(8);
    if (!ZrcPciIo) {
        ConsolePrint("Orvex ZRC controller not found, exiting...\n");
        return FALSE;
    }
    const UINT8 exponent = ReadPciConfig8(ZrcPciIo, ZRC_CONFIG_SIZE_REGISTER);
    const UINT64 base = ReadPciConfig64(ZrcPciIo, ZRC_CONFIG_BASE_REGISTER) & ~(UINT64)0xF;
    ReportTestResult(TestMappedDevices, TRUE);
    // The register describes the window; a window that cannot be one is not walked.
    if (base == 0 || exponent > ZRC_WINDOW_MAX_EXPONENT) {
        ConsolePrint("ERROR: Invalid ZRC configuration window (base 0x%X_%08X, size exponent %d).\n",
                     (UINTN)(UINT32)(base >> 32), (UINTN)(UINT32)base, (UINTN)exponent);
        return FALSE;
    }
    const UINT64 end = base + ((UINT64)1 << exponent);
    UINTN bridges = 0, controllers = 0;
    for (UINTN bus = 0; bus < ZRC_WINDOW_BUSES; ++bus) {
        for (UINTN device = 0; device < 32; ++device) {
            for (UINTN function = 0; function < 8; ++function) {
                const UINT64 address =
                    base + ((UINT64)bus << 20) + ((UINT64)device << 15) + ((UINT64)function << 12);
                if (address >= end)
                    break;
                const UINT16 vendor = MmioRead16((UINTN)address);
                if (vendor == 0 || vendor == 0xFFFF)
                    continue;
                const UINTN a = (UINTN)address;
                if ((MmioRead8(a + 14) & 0x7F) == 1) {
                    PrintLabelValue("Controller Types", "%s #%d", "PCI BRIDGE", bridges);
                    PrintIdentity(address);
                    PrintLocation(bus, device, function, address);
                    PrintLabelValue("Primary Bus Number", "0x%02X", (UINTN)MmioRead8(a + 24));
                    PrintLabelValue("Secondary Bus Number", "0x%02X", (UINTN)MmioRead8(a + 25));
                    PrintLabelValue("Subordinate Bus Number", "0x%02X", (UINTN)MmioRead8(a + 26));
                    PrintLabelValue("Memory Base address", "0x%04X", (UINTN)MmioRead16(a + 32));
                    PrintLabelValue("Memory Limit address", "0x%04X", (UINTN)MmioRead16(a + 34));
                    ConsolePrint("\n");
                    ++bridges;
                    continue;
                }
                const UINT16 classCode = MmioRead16(a + 10);
                const UINT8 progIf = MmioRead8(a + 9);
                const CHAR8* kind = classCode == 0x0106 && progIf == 1   ? "SATA CONTROLLER"
                                    : classCode == 0x0108 && progIf == 2 ? "NVME CONTROLLER"
                                                                         : nullptr;
                if (!kind)
                    continue;
                PrintLabelValue("Controller Type", "%s #%d", kind, controllers);
                PrintIdentity(address);
                static const CHAR8* const kBars[6] = {"BAR 0", "BAR 1", "BAR 2", "BAR 3", "BAR 4", "BAR 5"};
                for (UINTN n = 0; n < 6; ++n)
                    PrintLabelValue(kBars[n], "0x%08X", (UINTN)MmioRead32(a + 16 + 4 * n));
                PrintLocation(bus, device, function, address);
                ConsolePrint("\n");
                ++controllers;
            }
        }
    }
    return TRUE;
}
