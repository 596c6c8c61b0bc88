// The platform vendor's UEFI RAID driver's own configuration protocol. Outside this system; what is
// declared is what a program may read of it: its second pointer-sized field points to the narrow,
// zero-terminated name of the controller family the driver instance runs ("ZRC" for the remapping
// controller).
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define RAID_CONFIG_PROTOCOL_GUID                                                                            \
    {                                                                                                        \
        0x089b17f4, 0x0cbe, 0x4387, {                                                                        \
            0xad, 0x55, 0xf3, 0xc1, 0x57, 0xb8, 0x13, 0xef                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gRaidConfigProtocolGuid = RAID_CONFIG_PROTOCOL_GUID;

typedef struct {
    VOID* DriverContext; // the driver's own
    CHAR8* Name;
} RaidConfigProtocol;
static_assert(sizeof(RaidConfigProtocol) == EFI_LAYOUT(16, 8), "RaidConfigProtocol size");
static_assert(offsetof(RaidConfigProtocol, Name) == sizeof(VOID*), "RaidConfigProtocol.Name");
