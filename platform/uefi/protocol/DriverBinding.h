// EFI_DRIVER_BINDING_PROTOCOL: how a UEFI driver binds to controllers, and the driver's version.
#pragma once

#include "platform/uefi/protocol/DevicePath.h"

#define EFI_DRIVER_BINDING_PROTOCOL_GUID                                                                     \
    {                                                                                                        \
        0x18a031ab, 0xb443, 0x4d1a, {                                                                        \
            0xa5, 0xc0, 0x0c, 0x09, 0x26, 0x1e, 0x9f, 0x71                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiDriverBindingProtocolGuid = EFI_DRIVER_BINDING_PROTOCOL_GUID;

struct EFI_DRIVER_BINDING_PROTOCOL;

typedef EFI_STATUS(EFIAPI* EFI_DRIVER_BINDING_SUPPORTED)(EFI_DRIVER_BINDING_PROTOCOL* This,
                                                         EFI_HANDLE ControllerHandle,
                                                         EFI_DEVICE_PATH_PROTOCOL* RemainingDevicePath);
typedef EFI_STATUS(EFIAPI* EFI_DRIVER_BINDING_START)(EFI_DRIVER_BINDING_PROTOCOL* This,
                                                     EFI_HANDLE ControllerHandle,
                                                     EFI_DEVICE_PATH_PROTOCOL* RemainingDevicePath);
typedef EFI_STATUS(EFIAPI* EFI_DRIVER_BINDING_STOP)(EFI_DRIVER_BINDING_PROTOCOL* This,
                                                    EFI_HANDLE ControllerHandle, UINTN NumberOfChildren,
                                                    EFI_HANDLE* ChildHandleBuffer);

struct EFI_DRIVER_BINDING_PROTOCOL {
    EFI_DRIVER_BINDING_SUPPORTED Supported;
    EFI_DRIVER_BINDING_START Start;
    EFI_DRIVER_BINDING_STOP Stop;
    UINT32 Version;
    EFI_HANDLE ImageHandle;
    EFI_HANDLE DriverBindingHandle;
};
static_assert(sizeof(EFI_DRIVER_BINDING_PROTOCOL) == EFI_LAYOUT(48, 24), "EFI_DRIVER_BINDING_PROTOCOL size");
static_assert(offsetof(EFI_DRIVER_BINDING_PROTOCOL, Version) == EFI_LAYOUT(24, 12) &&
                  offsetof(EFI_DRIVER_BINDING_PROTOCOL, ImageHandle) == EFI_LAYOUT(32, 16) &&
                  offsetof(EFI_DRIVER_BINDING_PROTOCOL, DriverBindingHandle) == EFI_LAYOUT(40, 20),
              "EFI_DRIVER_BINDING_PROTOCOL field offsets");
