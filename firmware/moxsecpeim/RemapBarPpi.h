// The module's own PPI: the address of one of the three 16 KB windows of the SATA controller's BAR5
// behind which a remapped NVMe device's registers appear. Installed on every boot when the controller
// is supported, so other PEI modules find it on a normal boot too.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

// The caller's request.
typedef struct {
    UINT8 Bus;
    UINT8 Device;
    UINT8 Function;
    UINT8 Reserved;
    // 0x100, 0x200 or 0x400: the window of slot 0, 1 or 2.
    UINT16 WindowId;
} RemapBarRequest;
static_assert(sizeof(RemapBarRequest) == 6, "RemapBarRequest");
static_assert(offsetof(RemapBarRequest, WindowId) == 4, "RemapBarRequest.WindowId");

#define MOX_REMAP_WINDOW_SLOT0 0x100
#define MOX_REMAP_WINDOW_SLOT1 0x200
#define MOX_REMAP_WINDOW_SLOT2 0x400

// Caller: the caller's PEI services or PPI, which must not be null. Outputs are written on success
// only: the window's address and 0 for its upper half.
typedef EFI_STATUS(EFIAPI* MOX_GET_REMAPPED_DEVICE_BAR)(IN CONST VOID* Caller,
                                                        IN CONST RemapBarRequest* Request,
                                                        OUT UINT32* Address, OUT UINT32* AddressHigh);

typedef struct {
    MOX_GET_REMAPPED_DEVICE_BAR GetRemappedDeviceBar;
} MoxRemapBarPpi;

inline EFI_GUID gMoxRemapBarPpiGuid = {
    0x35e19da5, 0xf946, 0x4ec5, {0xb8, 0xcc, 0x97, 0xf5, 0x7f, 0xd8, 0xc9, 0x3c}};

EFI_STATUS EFIAPI GetRemappedDeviceBar(IN CONST VOID* Caller, IN CONST RemapBarRequest* Request,
                                       OUT UINT32* Address, OUT UINT32* AddressHigh);
// EFI_UNSUPPORTED, nothing installed, when the controller at 0:23.0 is missing or not supported.
EFI_STATUS InstallRemapBarPpi(CONST EFI_PEI_SERVICES** PeiServices);
