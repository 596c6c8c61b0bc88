#pragma once
// What the pairing tests share: a machine ready for a pairing, and how a failure and the driver's
// changes are told.
#include <cstdio>
#include <string>

#include "middleware/core/ConsolidatedError.h"
#include "sim/CallLog.h"
#include "sim/MachineBuilder.h"
#include "tests/support/MachineParts.h"

namespace pairingtest {

// The default machine with a cache-memory module of this size behind its SATA controller, which
// Windows sees (disk 4, with an old partition); with the pass-through hard disk ZA1B2C3D, which gets an EFI
// system partition in front of its data, it makes the one valid pair.
inline sim::MachineBuilder EnableMachine(uint64_t moduleBytes = uint64_t{32} << 30) {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    const std::string id = R"(SCSI\\Disk&Ven_Halvex&Prod_M10\\4&3a7b2c10&0&040000)";
    moxtest::DriverDisk module = moxtest::SataSsd("HVX-MOD-0001");
    module.model = "Halvex M10";
    module.target = 4;
    module.sectors = moduleBytes / 512;
    // A partition left from earlier use: the enable cleans the module.
    module.diskFacts =
        R"(, "device_number": 4, "instance_id": ")" + id +
        R"(", "layout": {"style": "gpt", "partitions": [{"type": "basic", "offset": 1048576, "length": 1073741824}]})";
    module.raidFacts = R"(, "metadata_sectors": 2048)";
    moxtest::AddDriverDisk(b, module);
    b.Append("/devices/nodes",
             R"({"id": ")" + id +
                 R"(", "parent": "PCI\\VEN_1F4A&DEV_2826&SUBSYS_7A211F4A&REV_11\\3&11583659&0&B8", )"
                 R"("class": "{4d36e967-e325-11ce-bfc1-08002be10318}", )"
                 R"("interfaces": [{"class": "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"}]})");
    b.Set("/disks/1/layout/partitions",
          R"([{"type": "efi", "offset": 1048576, "length": 104857600},
              {"type": "msr", "offset": 105906176, "length": 16777216},
              {"type": "basic", "offset": 122683392, "length": 2000000000000, "name": "Data"}])");
    b.Set("/volumes/3/partition", "3");
    return b;
}

inline std::string Describe(const _UVI_Error& result) {
    const CConsolidatedError logged = GetLoggedError(result);
    char code[16];
    std::snprintf(code, sizeof code, "%#X", static_cast<unsigned>(result.code));
    return std::string(code) + " " + logged.GetErrorMessage() + " | " + logged.GetDebugInformation();
}

// RAID configuration requests that change something: their parameter block (after the 28-byte SRB
// header) says set (word 36).
inline size_t RaidWrites(const sim::CallLog& calls) {
    constexpr size_t kDirection = 28 + 36;
    size_t writes = 0;
    for (const sim::Call& c : calls.Of("DeviceIoControl"))
        if (c.selectors.value("signature", std::string()) == "OrvexRdp" && c.input.size() > kDirection &&
            c.input[kDirection] == 1)
            ++writes;
    return writes;
}

} // namespace pairingtest
