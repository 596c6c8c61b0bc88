#pragma once
// Names the model gives to bus type codes and RAID level bits in texts and event-log entries.
#include <cstdint>
#include <string>

// 0 "None", 1 "Unsupported", 2 "SATA", 3 "PCIe", 4 "NVMe", anything else "Invalid value".
std::string BusTypeToString(uint32_t busType);

// The name of one RAID level bit; "Unidentified" for a value that is not one of the known bits.
std::string RaidLevelName(uint32_t raidLevel);
