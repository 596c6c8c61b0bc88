#pragma once
// Small services the queries and operations of the C interface share: the handle names of phys,
// ports and RAID information records, the volume flush-policy registry values, the refresh of a
// Windows disk's properties and the tri-state of two flags.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "middleware/api/UviVolumeRecords.h"
#include "middleware/core/ConsolidatedError.h"

class Controller;
class Session;

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
// Reads the value into `value`; the Win32 result, 1 when the access threw.
int ReadVolumeFlushPolicy(const char* valueName, uint32_t* value);

// Makes Windows read "\\.\PhysicalDrive<driveNumber>" again; the outcome goes into `error`.
void callDiskUpdatePropertiesIoctl(int driveNumber, CConsolidatedError& error);

// 0 when the first flag is 0, 1 when both are set, 2 when only the first is.
int FlagPairToTriState(uint8_t first, uint8_t second);
// States 1 (normal) and 17 (normal, recovery volume in manual update mode).
bool VolumeStateIsNormal(const _UVI_VolumeInfo& volume);

// 0xA0000006 with the message: a pointer the caller had to pass was null.
CConsolidatedError NullParameterError(const char* message);
// 0xA0000004 with the message formatted with the handle (signed decimal).
CConsolidatedError InvalidHandleError(const char* format, uint32_t handle);
// The handle lists of other vendors' objects: a null list with a non-zero capacity is refused with
// "Input buffer can't be null"; *count becomes the number of handles; a capacity below it answers
// 0xA001000D and writes nothing; otherwise every non-zero handle is written at its position.
CConsolidatedError FillHandlesWhenAllFit(const std::vector<uint32_t>& handles, uint32_t* list,
                                         uint32_t* count);

// A collection's scratch list holds no more than this: the objects `of` gives over the session's
// controllers, or over the one of that handle (0: every controller), whatever count the caller gives.
size_t ScratchRoom(const Session& session, uint32_t controllerHandle, uint32_t capacity,
                   const std::function<size_t(const Controller&)>& of);
