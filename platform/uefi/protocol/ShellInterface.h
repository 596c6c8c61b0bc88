// EFI_SHELL_INTERFACE: the command line the EFI 1.1 shell installs on the image it starts.
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define EFI_SHELL_INTERFACE_GUID                                                                             \
    {                                                                                                        \
        0x47c7b223, 0xc42a, 0x11d2, {                                                                        \
            0x8e, 0x57, 0x00, 0xa0, 0xc9, 0x69, 0x72, 0x3b                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiShellInterfaceGuid = EFI_SHELL_INTERFACE_GUID;

// Only pointed to here.
struct EFI_LOADED_IMAGE_PROTOCOL;
struct EFI_FILE_PROTOCOL;

typedef struct {
    UINT32 Attributes;
} EFI_SHELL_ARG_INFO;

typedef struct {
    EFI_HANDLE ImageHandle;
    struct EFI_LOADED_IMAGE_PROTOCOL* Info;
    // Argv[0] is the program as the shell found it; the arguments follow.
    CHAR16** Argv;
    UINTN Argc;
    CHAR16** RedirArgv;
    UINTN RedirArgc;
    struct EFI_FILE_PROTOCOL* StdIn;
    struct EFI_FILE_PROTOCOL* StdOut;
    struct EFI_FILE_PROTOCOL* StdErr;
    EFI_SHELL_ARG_INFO* ArgInfo;
    BOOLEAN EchoOn;
} EFI_SHELL_INTERFACE;
static_assert(sizeof(EFI_SHELL_INTERFACE) == EFI_LAYOUT(88, 44), "EFI_SHELL_INTERFACE size");
static_assert(offsetof(EFI_SHELL_INTERFACE, Argv) == EFI_LAYOUT(16, 8) &&
                  offsetof(EFI_SHELL_INTERFACE, Argc) == EFI_LAYOUT(24, 12) &&
                  offsetof(EFI_SHELL_INTERFACE, EchoOn) == EFI_LAYOUT(80, 40),
              "EFI_SHELL_INTERFACE field offsets");
