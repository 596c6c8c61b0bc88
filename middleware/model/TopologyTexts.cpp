#include "middleware/model/TopologyTexts.h"

std::string BusTypeToString(uint32_t busType) {
    switch (busType) {
    case 0:
        return "None";
    case 1:
        return "Unsupported";
    case 2:
        return "SATA";
    case 3:
        return "PCIe";
    case 4:
        return "NVMe";
    default:
        return "Invalid value";
    }
}

std::string RaidLevelName(uint32_t raidLevel) {
    switch (raidLevel) {
    case 0:
        return "Invalid";
    case 0x1:
        return "Raid 0";
    case 0x2:
        return "Raid 1";
    case 0x4:
        return "Raid 10";
    case 0x8:
        return "Raid 5";
    case 0x10:
        return "Raid 6";
    case 0x20:
    case 0x40000:
        return "";
    case 0x1000:
        return "Raid Kvqr";
    case 0x2000:
        return "Raid 1E";
    case 0x4000:
        return "Raid 3";
    case 0x8000:
        return "Raid 30";
    case 0x10000:
        return "Raid 50";
    case 0x20000:
        return "Raid 60";
    case 0x80000000:
        return "Unknown";
    default:
        return "Unidentified";
    }
}
