#pragma once
// Fixed texts for control codes and small enumerations of the driver protocol, for trace lines and
// request descriptions. Every lookup answers a constant text, never null.
#include <cstdint>

// Windows device control codes; "unknown" for others.
const char* GetWindowsIoctlName(uint32_t ioControlCode);
// SRB_IO_CONTROL control codes of the miniport interfaces; "Unknown" for others. Codes that two
// families share name both.
const char* GetMiniportIoctlName(uint32_t controlCode);
// RAID configuration groups; "Unknown" for others.
const char* GetRaidGroupName(uint32_t groupId);
// Status of the ATA/AHCI capabilities requests; "Unknown" for others.
const char* GetCapabilitiesStatusName(uint32_t status);
// Direction of a RAID configuration request; "Not provided" for others.
const char* GetDirectionName(uint32_t direction);
// Sub-functions of the ATA/AHCI capabilities requests; "" for others.
const char* GetCapabilitiesSubFunctionName(uint32_t subFunction);
