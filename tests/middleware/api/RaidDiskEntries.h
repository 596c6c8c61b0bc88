#pragma once
// Machine description entries of further disks on storage port 0 of the simulated PC: the disk
// itself and the RAID driver's record (also its port) at the same target.
#include <string>

namespace apitest {

inline std::string DiskEntry(const std::string& serial, int target, const std::string& sectors) {
    return R"({"port": 0, "path": 0, "target": )" + std::to_string(target) +
           R"(, "lun": 0, "model": "Tamsin TS)" + serial + R"(", "serial": ")" + serial +
           R"(", "firmware": "2B7Q", "sectors": )" + sectors + "}";
}

inline std::string RaidRecord(int target) {
    return R"({"path": 0, "target": )" + std::to_string(target) + R"(, "lun": 0})";
}

} // namespace apitest
