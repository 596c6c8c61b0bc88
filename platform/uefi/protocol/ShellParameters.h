// EFI_SHELL_PARAMETERS_PROTOCOL: the command line a UEFI Shell 2 installs on the image it starts.
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define EFI_SHELL_PARAMETERS_PROTOCOL_GUID                                                                   \
    {                                                                                                        \
        0x752f3136, 0x4e16, 0x4fdc, {                                                                        \
            0xa2, 0x2a, 0xe5, 0xf4, 0x68, 0x12, 0xf4, 0xca                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiShellParametersProtocolGuid = EFI_SHELL_PARAMETERS_PROTOCOL_GUID;

typedef VOID* SHELL_FILE_HANDLE;

typedef struct {
    // Argv[0] is the program as the shell found it; the arguments follow.
    CHAR16** Argv;
    UINTN Argc;
    SHELL_FILE_HANDLE StdIn;
    SHELL_FILE_HANDLE StdOut;
    SHELL_FILE_HANDLE StdErr;
} EFI_SHELL_PARAMETERS_PROTOCOL;
static_assert(sizeof(EFI_SHELL_PARAMETERS_PROTOCOL) == EFI_LAYOUT(40, 20),
              "EFI_SHELL_PARAMETERS_PROTOCOL size");
static_assert(offsetof(EFI_SHELL_PARAMETERS_PROTOCOL, Argc) == EFI_LAYOUT(8, 4),
              "EFI_SHELL_PARAMETERS_PROTOCOL.Argc");
