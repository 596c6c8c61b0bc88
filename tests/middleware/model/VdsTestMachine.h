#pragma once
// Disks for the disk-service tests, with sizes in MiB that the tests can reason about.
//   0  GPT system disk: ESP (the system volume), MSR, C: (boot volume), Windows recovery partition
//      ending where the disk's usable space ends
//   1  GPT data disk: MSR, D:, then free space at the end
//   2  MBR disk: E:, then 8 MiB free
//   3  blank disk without partition table
//   4  GPT dynamic disk (LDM metadata and data)
//   5  GPT disk whose only volume holds a page file
//   6  GPT disk whose last used partition is an MSR after its data volume
//   7  GPT disk whose only partition starts where its usable space starts
#include <cstdint>
#include <string>

#include "sim/MachineBuilder.h"

namespace vdstest {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kSector = 512;
// GPT keeps its backup table in the last 34 sectors; the usable space ends before them.
constexpr uint64_t kGptTail = 34 * kSector;

inline std::string N(uint64_t v) {
    return std::to_string(v);
}

// Sectors of a GPT disk whose usable space ends at `usableEnd` bytes.
inline std::string GptSectors(uint64_t usableEnd) {
    return N((usableEnd + kGptTail) / kSector);
}

struct Sizes {
    uint64_t recoveryMiB = 500;
    uint64_t recoveryFreeMiB = 100;
    uint64_t dataFreeAtEnd = 2 * kMiB; // disk 1
};

inline sim::MachineBuilder Machine(const Sizes& s = {}) {
    const uint64_t recoveryAt = 10117 * kMiB;
    const uint64_t systemEnd = recoveryAt + s.recoveryMiB * kMiB;
    const uint64_t dataEnd = 17 * kMiB + 1000 * kMiB;
    std::string text = R"({
      "name": "vds",
      "adapters": [ { "port": 0, "driver": "stornvme", "bus_type": 8 } ],
      "disks": [
        { "device_number": 0, "port": 0, "path": 0, "target": 0, "model": "System", "serial": "SYS-0",
          "firmware": "1", "sectors": @SYS_SECTORS@,
          "layout": { "style": "gpt", "disk_id": "{00000000-0000-0000-0000-0000000000A0}", "partitions": [
            { "type": "efi", "offset": 1048576, "length": 104857600, "id": "{00000000-0000-0000-0000-0000000000E0}" },
            { "type": "msr", "offset": 105906176, "length": 16777216 },
            { "type": "basic", "offset": 122683392, "length": 10485760000,
              "id": "{00000000-0000-0000-0000-0000000000C0}" },
            { "type": "recovery", "offset": @REC_AT@, "length": @REC_LEN@, "attributes": "0x8000000000000001",
              "id": "{00000000-0000-0000-0000-0000000000F0}" } ] } },
        { "device_number": 1, "port": 0, "path": 0, "target": 1, "model": "Data", "serial": "DATA-1",
          "firmware": "1", "sectors": @DATA_SECTORS@,
          "layout": { "style": "gpt", "disk_id": "{00000000-0000-0000-0000-0000000000A1}", "partitions": [
            { "type": "msr", "offset": 1048576, "length": 16777216 },
            { "type": "basic", "offset": 17825792, "length": 1048576000,
              "id": "{00000000-0000-0000-0000-0000000000D1}" } ] } },
        { "device_number": 2, "port": 0, "path": 0, "target": 2, "model": "Mbr", "serial": "MBR-2",
          "firmware": "1", "sectors": @MBR_SECTORS@,
          "layout": { "style": "mbr", "signature": "0x12345678", "partitions": [
            { "type": 7, "offset": 1048576, "length": 1048576000 } ] } },
        { "device_number": 3, "port": 0, "path": 0, "target": 3, "model": "Blank", "serial": "BLANK-3",
          "firmware": "1", "sectors": 2097152 },
        { "device_number": 4, "port": 0, "path": 0, "target": 4, "model": "Dynamic", "serial": "DYN-4",
          "firmware": "1", "sectors": 2097152,
          "layout": { "style": "gpt", "disk_id": "{00000000-0000-0000-0000-0000000000A4}", "partitions": [
            { "type": "ldm_metadata", "offset": 1048576, "length": 1048576 },
            { "type": "ldm_data", "offset": 2097152, "length": 104857600 } ] } },
        { "device_number": 5, "port": 0, "path": 0, "target": 5, "model": "Paging", "serial": "PAGE-5",
          "firmware": "1", "sectors": 2097152,
          "layout": { "style": "gpt", "disk_id": "{00000000-0000-0000-0000-0000000000A5}", "partitions": [
            { "type": "basic", "offset": 1048576, "length": 104857600 } ] } },
        { "device_number": 6, "port": 0, "path": 0, "target": 6, "model": "MsrLast", "serial": "MSR-6",
          "firmware": "1", "sectors": 2097152,
          "layout": { "style": "gpt", "disk_id": "{00000000-0000-0000-0000-0000000000A6}", "partitions": [
            { "type": "basic", "offset": 1048576, "length": 104857600 },
            { "type": "msr", "offset": 105906176, "length": 16777216 } ] } },
        { "device_number": 7, "port": 0, "path": 0, "target": 7, "model": "First", "serial": "FIRST-7",
          "firmware": "1", "sectors": 2097152,
          "layout": { "style": "gpt", "disk_id": "{00000000-0000-0000-0000-0000000000A7}", "partitions": [
            { "type": "basic", "offset": 17408, "length": 104857600 } ] } }
      ],
      "volumes": [
        { "disk": 0, "partition": 1, "flags": ["system"] },
        { "letter": "C", "disk": 0, "partition": 3, "free": 5242880000, "flags": ["boot", "pagefile", "crashdump"] },
        { "disk": 0, "partition": 4, "free": @REC_FREE@ },
        { "letter": "D", "disk": 1, "partition": 2, "free": 524288000 },
        { "letter": "E", "disk": 2, "partition": 1, "free": 524288000 },
        { "disk": 5, "partition": 1, "flags": ["pagefile"] }
      ]
    })";
    auto put = [&](const std::string& key, const std::string& value) {
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key))
            text.replace(at, key.size(), value);
    };
    put("@SYS_SECTORS@", GptSectors(systemEnd));
    put("@REC_AT@", N(recoveryAt));
    put("@REC_LEN@", N(s.recoveryMiB * kMiB));
    put("@REC_FREE@", N(s.recoveryFreeMiB * kMiB));
    put("@DATA_SECTORS@", GptSectors(dataEnd + s.dataFreeAtEnd));
    put("@MBR_SECTORS@", N((1048576 + 1048576000 + 8 * kMiB) / kSector));
    return sim::MachineBuilder::FromText(text);
}

} // namespace vdstest
