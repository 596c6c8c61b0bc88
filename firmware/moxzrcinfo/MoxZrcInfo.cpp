#include "firmware/moxzrcinfo/MoxZrcInfo.h"

#include "firmware/moxzrcinfo/Console.h"
#include "firmware/moxzrcinfo/FirmwareLib.h"
#include "firmware/moxzrcinfo/Options.h"
#include "firmware/moxzrcinfo/Report.h"
#include "firmware/moxzrcinfo/ZrcController.h"
#include "platform/uefi/protocol/ShellInterface.h"
#include "platform/uefi/protocol/ShellParameters.h"

const CHAR8 gMoxZrcInfoBanner[] = "Orvex(R) ZRC Information Utility, Version 1.0.0.0\n"
                                  "Copyright (C) Orvex Corporation. All rights reserved.";

EFI_PCI_IO_PROTOCOL* gZrcPciIo = nullptr;
EFI_HANDLE gZrcDriverHandle = nullptr;
EFI_HANDLE gZrcPciHandle = nullptr;
struct EFI_ACPI_TABLE_PROTOCOL* gAcpiTableProtocol = nullptr;

void ResetRunState() {
    gSuccessCount = 0;
    gWarningCount = 0;
    gFailureCount = 0;
    gTestCount = 0;
    gConOut = nullptr;
    gTextAttribute = CONSOLE_DEFAULT_ATTRIBUTE;
    gZrcPciIo = nullptr;
    gZrcDriverHandle = nullptr;
    gZrcPciHandle = nullptr;
    gAcpiTableProtocol = nullptr;
    gOptions = gMoxZrcInfoOptions;
    gOptionCount = gMoxZrcInfoOptionCount;
}

EFI_STATUS RunOutcomeStatus(UINTN Outcome) {
    switch (Outcome) {
    case RunPassed:
    case RunUsageShown:
        return EFI_SUCCESS;
    case RunNoController:
    case RunBadCommandLine:
        return EFI_INVALID_PARAMETER;
    case RunAttributesFailed:
        return EFI_UNSUPPORTED;
    default:
        return EFI_DEVICE_ERROR;
    }
}

UINTN MoxZrcInfoMain(UINTN Argc, CHAR8** Argv) {
    NumberTestRows();
    if (ParseOptionTable(Argc, Argv) == OPTIONS_BAD_COMMAND_LINE) {
        ConsolePrint("Bad Command Line!!\n");
        PrintUsage();
        return RunBadCommandLine;
    }
    if (IsOptionSet("?")) {
        PrintUsage();
        ConsolePrint("Exit: Found ?\n");
        return RunUsageShown;
    }

    if (gGroups[0].Handler)
        gGroups[0].Handler(nullptr);

    gZrcPciIo = FindZrcController(gZrcControllerIds);
    if (!gZrcPciIo) {
        ConsolePrint("Orvex ZRC controller not found, exiting...\n");
        return RunNoController;
    }
    UINT64 savedAttributes = 0;
    if (!SetZrcPciAttributes(gZrcPciIo, &savedAttributes, ZRC_ATTRIBUTES_ENABLE))
        return RunAttributesFailed;

    // Group 2 finds the driver the later groups look at; its own result changes no outcome.
    if (gGroups[1].Handler)
        gGroups[1].Handler(gZrcPciIo);
    BOOLEAN groupsPassed = TRUE;
    for (UINTN group = 3; group <= MOX_GROUP_COUNT; ++group) {
        const MOX_GROUP* entry = &gGroups[group - 1];
        if (!entry->Enabled)
            continue;
        if (!entry->Handler || !entry->Handler(gZrcPciIo))
            groupsPassed = FALSE;
    }
    PrintTestSummary();

    const BOOLEAN restored = SetZrcPciAttributes(gZrcPciIo, &savedAttributes, ZRC_ATTRIBUTES_RESTORE);
    return groupsPassed && restored ? RunPassed : RunFailed;
}

namespace {

// The command line as narrow strings in pool memory; null when memory ran out (nothing is left over).
CHAR8** CopyArguments(CHAR16** Argv, UINTN Argc) {
    CHAR8** copies = (CHAR8**)AllocateBootPool((Argc + 1) * sizeof(CHAR8*));
    if (!copies)
        return nullptr;
    FillBytes(copies, (Argc + 1) * sizeof(CHAR8*), 0);
    for (UINTN i = 0; i < Argc; ++i) {
        const UINTN length = WideStringLength(Argv[i]);
        copies[i] = (CHAR8*)AllocateBootPool(length + 1);
        if (!copies[i]) {
            for (UINTN k = 0; k < i; ++k)
                FreeBootPool(copies[k]);
            FreeBootPool(copies);
            return nullptr;
        }
        NarrowFromWide(copies[i], Argv[i], length);
    }
    return copies;
}

void FreeArguments(CHAR8** Copies, UINTN Argc) {
    for (UINTN i = 0; i < Argc; ++i)
        FreeBootPool(Copies[i]);
    FreeBootPool(Copies);
}

} // namespace

extern "C" EFI_STATUS EFIAPI MoxZrcInfoEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
    InitializeFirmwareGlobals(ImageHandle, SystemTable);
    ResetRunState();
    if (!gBS)
        return EFI_INVALID_PARAMETER;

    // The EFI 1.1 shell's interface first, then the UEFI Shell's parameters.
    EFI_GUID* opened = &gEfiShellInterfaceGuid;
    CHAR16** argv = nullptr;
    UINTN argc = 0;
    VOID* interface = nullptr;
    EFI_STATUS status = gBS->OpenProtocol(ImageHandle, opened, &interface, ImageHandle, nullptr,
                                          EFI_OPEN_PROTOCOL_GET_PROTOCOL);
    if (!EFI_ERROR(status) && interface) {
        argv = ((EFI_SHELL_INTERFACE*)interface)->Argv;
        argc = ((EFI_SHELL_INTERFACE*)interface)->Argc;
    } else {
        if (!EFI_ERROR(status))
            gBS->CloseProtocol(ImageHandle, opened, ImageHandle, nullptr);
        opened = &gEfiShellParametersProtocolGuid;
        interface = nullptr;
        status = gBS->OpenProtocol(ImageHandle, opened, &interface, ImageHandle, nullptr,
                                   EFI_OPEN_PROTOCOL_GET_PROTOCOL);
        if (EFI_ERROR(status) || !interface) {
            if (!EFI_ERROR(status))
                status = EFI_NOT_FOUND;
            ConsolePrint(
                "ERROR: Failed to open Shell Interface AND Shell Parameters protocol (%r);exiting...\n",
                status);
            return status;
        }
        argv = ((EFI_SHELL_PARAMETERS_PROTOCOL*)interface)->Argv;
        argc = ((EFI_SHELL_PARAMETERS_PROTOCOL*)interface)->Argc;
    }
    if (!argv)
        argc = 0;

    CHAR8** arguments = CopyArguments(argv, argc);
    if (!arguments) {
        gBS->CloseProtocol(ImageHandle, opened, ImageHandle, nullptr);
        return EFI_OUT_OF_RESOURCES;
    }
    const UINTN outcome = MoxZrcInfoMain(argc, arguments);
    FreeArguments(arguments, argc);
    gBS->CloseProtocol(ImageHandle, opened, ImageHandle, nullptr);
    return RunOutcomeStatus(outcome);
}
