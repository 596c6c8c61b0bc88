#pragma once
// Disks for the tests of the Windows disk view: a GPT system disk with drive C:, an MBR disk whose
// table has unused entries, a blank disk and a disk without serial number, all behind port 0.
#include <string>

#include "sim/MachineBuilder.h"

namespace windisktest {

inline sim::MachineBuilder Machine() {
    return sim::MachineBuilder::FromText(R"({
      "name": "windisk",
      "adapters": [ { "port": 0, "driver": "stornvme", "bus_type": 8 } ],
      "disks": [
        { "device_number": 0, "port": 0, "path": 0, "target": 1, "lun": 0,
          "model": "KV2000DM", "serial": "ZA1B2C3D", "firmware": "CC43", "bus_type": 11,
          "sectors": 3907029168, "physical_sector_size": 4096, "rotation_rate": 7200,
          "cache": { "read": true, "write": true, "power_protected": true, "state": 0 },
          "layout": { "style": "gpt", "disk_id": "{11111111-2222-3333-4444-555555555555}", "partitions": [
            { "type": "efi", "offset": 1048576, "length": 104857600 },
            { "type": "msr", "offset": 105906176, "length": 16777216 },
            { "type": "basic", "offset": 122683392, "length": 2000000000000 } ] } },
        { "device_number": 1, "port": 0, "path": 0, "target": 2, "lun": 0,
          "model": "TS512S3", "serial": "TS-77", "firmware": "S3F1", "sectors": 1000215216,
          "cache": { "read": true, "write": false, "power_protected": false },
          "layout": { "style": "mbr", "signature": 305419896, "partitions": [
            { "type": 7, "offset": 1048576, "length": 524288000, "active": true },
            { "type": 0, "offset": 0, "length": 0 },
            { "type": 12, "offset": 525336576, "length": 1048576000 },
            { "type": 0, "offset": 0, "length": 0 } ] } },
        { "device_number": 2, "port": 0, "path": 0, "target": 3, "lun": 0,
          "model": "Blank", "serial": "BLANK-1", "firmware": "1", "sectors": 2000000,
          "layout": { "style": "mbr", "signature": 1 } },
        { "device_number": 3, "port": 0, "path": 1, "target": 0, "lun": 0,
          "model": "NoSerial", "firmware": "1", "sectors": 2000000 }
      ],
      "volumes": [ { "letter": "C", "disk": 0, "partition": 3 } ]
    })");
}

inline std::wstring DrivePath(int number) {
    return L"\\\\.\\PhysicalDrive" + std::to_wstring(number);
}

} // namespace windisktest
