#pragma once
// Small services the queries and operations of the C interface share: the handle names of phys,
// ports and RAID information records, the volume flush-policy registry values, the refresh of a
// Windows disk's properties and the tri-state of two flags.
#include <cstdint>

#include "middleware/core/ConsolidatedError.h"

// Handles of the C interface's phy, port and RAID information objects (process-wide, stable).
uint32_t PhyHandleOfDisk(uint32_t diskHandle);
uint32_t PortHandleOfDisk(uint32_t diskHandle);
uint32_t PhyHandleOfPort(uint32_t portHandle);
uint32_t PortHandleOfPort(uint32_t portHandle);
uint32_t RaidInfoHandle(uint32_t controllerHandle);

// The value under "SOFTWARE\Orvex\Bexl\VolumeFlushPolicies" named by the caller: the Win32 result
// of the registry access, 1 when the access threw.
int SetVolumeFlushPolicy(const char* valueName, bool enabled);
int DeleteVolumeFlushPolicy(const char* valueName);

// Makes Windows read "\\.\PhysicalDrive<driveNumber>" again; the outcome goes into `error`.
void callDiskUpdatePropertiesIoctl(int driveNumber, CConsolidatedError& error);

// 0 when the first flag is 0, 1 when both are set, 2 when only the first is.
int FlagPairToTriState(uint8_t first, uint8_t second);
