// Groups 1 and 2: the services the firmware offers and the protocols the remapping controller's
// UEFI RAID driver installs.
#include "firmware/common/FirmwarePrint.h"
#include "firmware/moxzrcinfo/Console.h"
#include "firmware/moxzrcinfo/FirmwareLib.h"
#include "firmware/moxzrcinfo/Groups.h"
#include "firmware/moxzrcinfo/Report.h"
#include "firmware/moxzrcinfo/ZrcController.h"
#include "platform/uefi/protocol/AcpiTable.h"
#include "platform/uefi/protocol/AtaPassThru.h"
#include "platform/uefi/protocol/ComponentName.h"
#include "platform/uefi/protocol/DriverBinding.h"
#include "platform/uefi/protocol/DriverSupportedEfiVersion.h"
#include "platform/uefi/protocol/HiiConfigAccess.h"
#include "platform/uefi/protocol/NvmExpressPassThru.h"
#include "platform/uefi/protocol/RaidConfig.h"

namespace {

// The name the driver's configuration protocol gives an instance that runs the remapping controller.
const CHAR8 kZrcDriverName[] = "ZRC";

struct SERVICE {
    const CHAR8* Name;
    BOOLEAN Present;
};

// One label line per service; TRUE when all are there.
BOOLEAN PrintServices(const SERVICE* Services, UINTN Count) {
    BOOLEAN all = TRUE;
    for (UINTN i = 0; i < Count; ++i) {
        PrintLabelValue(Services[i].Name, "%s", Services[i].Present ? "Valid" : "Invalid");
        all = all && Services[i].Present;
    }
    return all;
}

struct DRIVER_PROTOCOL {
    EFI_GUID* Guid;
    const CHAR8* Label;
    // The device path and HII protocols only warn: the driver works without a setup page.
    BOOLEAN WarnOnly;
};

const DRIVER_PROTOCOL kDriverProtocols[] = {
    {&gEfiDriverBindingProtocolGuid, "Driver Binding", FALSE},
    {&gEfiComponentNameProtocolGuid, "Component Name", FALSE},
    {&gEfiComponentName2ProtocolGuid, "Component Name 2", FALSE},
    {&gEfiDriverSupportedEfiVersionProtocolGuid, "Driver Supported EFI Version", FALSE},
    {&gRaidConfigProtocolGuid, "RAID Config", FALSE},
    {&gEfiDevicePathProtocolGuid, "Device Path", TRUE},
    {&gEfiHiiConfigAccessProtocolGuid, "Config Access", TRUE},
};

BOOLEAN IsZrcName(const CHAR8* Name) {
    return Name && CompareNarrowN(Name, kZrcDriverName, sizeof(kZrcDriverName)) == 0;
}

} // namespace

BOOLEAN CheckUefiServices() {
    BOOLEAN all = TRUE;
    PrintSectionTitle("Efi Boot Services");
    if (!gBS) {
        all = FALSE;
    } else {
        const SERVICE boot[] = {
            {"LocateHandleBuffer", gBS->LocateHandleBuffer != nullptr},
            {"OpenProtocol", gBS->OpenProtocol != nullptr},
            {"CloseProtocol", gBS->CloseProtocol != nullptr},
            {"WaitForEvent", gBS->WaitForEvent != nullptr},
            {"HandleProtocol", gBS->HandleProtocol != nullptr},
            {"FreePool", gBS->FreePool != nullptr},
            {"AllocatePages", gBS->AllocatePages != nullptr},
            {"AllocatePool", gBS->AllocatePool != nullptr},
            {"InstallMultipleProtocolInterfaces", gBS->InstallMultipleProtocolInterfaces != nullptr},
            {"UninstallMultipleProtocolInterfaces", gBS->UninstallMultipleProtocolInterfaces != nullptr},
            {"Stall", gBS->Stall != nullptr},
        };
        all = PrintServices(boot, sizeof(boot) / sizeof(boot[0]));
    }
    PrintSectionTitle("Efi Runtime Services");
    if (!gRT) {
        all = FALSE;
    } else {
        const SERVICE runtime[] = {
            {"SetVariable", gRT->SetVariable != nullptr},
            {"GetVariable", gRT->GetVariable != nullptr},
            {"GetTime", gRT->GetTime != nullptr},
        };
        all = PrintServices(runtime, sizeof(runtime) / sizeof(runtime[0])) && all;
    }
    return all;
}

EFI_STATUS LocateAcpiTableProtocol() {
    VOID* found = nullptr;
    const EFI_STATUS status =
        gBS ? gBS->LocateProtocol(&gEfiAcpiTableProtocolGuid, nullptr, &found) : EFI_NOT_FOUND;
    if (!EFI_ERROR(status) && found)
        gAcpiTableProtocol = (EFI_ACPI_TABLE_PROTOCOL*)found;
    return found ? status : EFI_NOT_FOUND;
}

BOOLEAN RunSystemProvidedProtocolsAndTables(EFI_PCI_IO_PROTOCOL*) {
    PrintGroupHeader(1);
    ReportTestResult(TestUefiServices, CheckUefiServices());
    ReportTestResult(TestAcpiTableProtocol, !EFI_ERROR(LocateAcpiTableProtocol()));
    return TRUE;
}

BOOLEAN CheckProtocol(EFI_HANDLE Handle, EFI_GUID* Protocol, const CHAR8* Label, BOOLEAN WarnOnly) {
    const BOOLEAN present = gBS && !EFI_ERROR(gBS->OpenProtocol(Handle, Protocol, nullptr, gImageHandle,
                                                                nullptr, EFI_OPEN_PROTOCOL_TEST_PROTOCOL));
    CHAR8 label[81];
    FormatString(label, sizeof(label), "%s Protocol", Label);
    PrintLabelValue(label, "%s", present ? "PASS" : WarnOnly ? "WARN" : "FAIL");
    return present;
}

BOOLEAN CheckPassThruOnController(EFI_GUID* Protocol, const CHAR8* Label) {
    UINTN count = 0;
    EFI_HANDLE* handles = nullptr;
    if (EFI_ERROR(gBS->LocateHandleBuffer(ByProtocol, Protocol, nullptr, &count, &handles)))
        return FALSE;
    UINTN counted = 0, passed = 0;
    for (UINTN i = 0; i < count; ++i) {
        VOID* interface = nullptr;
        if (EFI_ERROR(gBS->OpenProtocol(handles[i], &gEfiPciIoProtocolGuid, &interface, gImageHandle, nullptr,
                                        EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL)))
            continue;
        EFI_PCI_IO_PROTOCOL* pciIo = (EFI_PCI_IO_PROTOCOL*)interface;
        if (IsSupportedZrcController(gZrcControllerIds, ReadPciConfig16(pciIo, 0),
                                     ReadPciConfig16(pciIo, 2))) {
            ++counted;
            if (CheckProtocol(handles[i], Protocol, Label, FALSE)) {
                ++passed;
                gZrcPciHandle = handles[i];
            }
        }
        gBS->CloseProtocol(handles[i], &gEfiPciIoProtocolGuid, gImageHandle, nullptr);
    }
    FreeBootPool(handles);
    return counted > 0 && counted == passed;
}

void PrintDriverNameAndVersion(EFI_HANDLE DriverHandle) {
    VOID* interface = nullptr;
    if (!EFI_ERROR(gBS->OpenProtocol(DriverHandle, &gEfiComponentName2ProtocolGuid, &interface, gImageHandle,
                                     nullptr, EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL))) {
        EFI_COMPONENT_NAME2_PROTOCOL* names = (EFI_COMPONENT_NAME2_PROTOCOL*)interface;
        CHAR16* name = nullptr;
        CHAR8 language[] = "en-US";
        if (!EFI_ERROR(names->GetDriverName(names, language, &name)) && name) {
            CHAR8 narrow[81];
            NarrowFromWide(narrow, name, 80);
            PrintLabelValue("EFI Driver Name", "%s", narrow);
        }
        gBS->CloseProtocol(DriverHandle, &gEfiComponentName2ProtocolGuid, gImageHandle, nullptr);
    }
    if (!EFI_ERROR(gBS->OpenProtocol(DriverHandle, &gEfiDriverBindingProtocolGuid, &interface, gImageHandle,
                                     nullptr, EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL))) {
        PrintLabelValue("EFI Driver Version", "0x%x",
                        (UINTN)((EFI_DRIVER_BINDING_PROTOCOL*)interface)->Version);
        gBS->CloseProtocol(DriverHandle, &gEfiDriverBindingProtocolGuid, gImageHandle, nullptr);
    }
}

BOOLEAN RunDriverProvidedProtocolsAndTables(EFI_PCI_IO_PROTOCOL*) {
    PrintGroupHeader(2);
    UINTN count = 0;
    EFI_HANDLE* handles = nullptr;
    if (EFI_ERROR(gBS->LocateHandleBuffer(ByProtocol, &gRaidConfigProtocolGuid, nullptr, &count, &handles)) ||
        count == 0) {
        FreeBootPool(handles);
        ConsolePrint("ERROR: Failed to locate any handle with required RAID config protocol.\n");
        return FALSE;
    }
    BOOLEAN driverResult = FALSE;
    BOOLEAN hiiResult = TRUE;
    for (UINTN i = 0; i < count; ++i) {
        VOID* interface = nullptr;
        if (EFI_ERROR(gBS->OpenProtocol(handles[i], &gRaidConfigProtocolGuid, &interface, gImageHandle,
                                        nullptr, EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL))) {
            FreeBootPool(handles);
            ConsolePrint("ERROR: Failed to open required protocol: RAID config Protocol.\n");
            return FALSE;
        }
        if (interface && IsZrcName(((RaidConfigProtocol*)interface)->Name)) {
            if (!gZrcDriverHandle)
                gZrcDriverHandle = handles[i];
            PrintDriverNameAndVersion(gZrcDriverHandle);
            ConsolePrint("\nProtocols Supported:\n");
            // A later instance named "ZRC" decides the result: the checks are of the last one seen.
            driverResult = TRUE;
            for (const DRIVER_PROTOCOL& protocol : kDriverProtocols) {
                const BOOLEAN present =
                    CheckProtocol(handles[i], protocol.Guid, protocol.Label, protocol.WarnOnly);
                if (protocol.WarnOnly)
                    hiiResult = hiiResult && present;
                else
                    driverResult = driverResult && present;
            }
        }
        gBS->CloseProtocol(handles[i], &gRaidConfigProtocolGuid, gImageHandle, nullptr);
    }
    FreeBootPool(handles);
    const BOOLEAN ata = CheckPassThruOnController(&gEfiAtaPassThruProtocolGuid, "ATA Pass Thru");
    const BOOLEAN nvme =
        CheckPassThruOnController(&gEfiNvmExpressPassThruProtocolGuid, "NVM Express Pass Thru");
    ReportTestResult(TestDriverProtocols, driverResult && ata && nvme);
    ReportTestResult(TestDriverHiiProtocols, hiiResult);
    return TRUE;
}
