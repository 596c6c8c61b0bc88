#pragma once
// A machine for the port request tests: the vendor's RAID controller on port 0 with its remap port
// (SATA disks, one locked and one self-encrypting, an optical drive, an empty port, an NVMe device
// and one of another kind) and a controller on port 4 whose remap port reports fixed masks.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "middleware/ioctl/CIoctl.h"
#include "middleware/ioctl/ControllerLocator.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/IoctlHooks.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinSync.h"
#include "sim/Machine.h"
#include "tests/middleware/ioctl/IoctlTestSupport.h"

namespace porttest {

using json = sim::Value;

inline json Machine() {
    return json::parse(R"({
      "name": "ports",
      "adapters": [
        { "port": 0, "driver": "moxraid", "bus_type": 8,
          "ahci": { "cap": "0xE734FF05", "pi": "0x1B", "cap2": "0x3C" },
          "csmi": { "driver": { "name": "OrvexRaid", "description": "Orvex RAID driver", "version": "20.1.7.1007" },
                    "config": { "bus": 0, "device": 23, "function": 0, "serial": "CTRL-0001",
                                "version": "20.1.7.1007", "bios_version": "20.1.0.5" },
                    "status": { "status": 1, "offline_reason": 0 } },
          "classifier": { "counters": [11, 12, 13] },
          "ports": [
            { "path": 0, "target": 0, "speed": 3, "cmd": "0x00240016", "registers": { "0x44": "0x1FFE0B8D" },
              "location": { "type": 2, "bus": 5, "device": 10, "function": 1 } },
            { "path": 0, "target": 1, "speed": 2 },
            { "path": 0, "target": 3 },
            { "path": 0, "target": 4 },
            { "path": 1, "target": 0, "device_info": { "subsystem": "0x0011" },
              "location": { "type": 3, "socket": 1, "controller": 2, "slot": 7, "bus": 3 } },
            { "path": 2, "target": 5, "connection": "other" }
          ] },
        { "port": 4, "driver": "moxraid", "bus_type": 8,
          "remap_port": { "path_mask": 5, "target_masks": { "0": 3, "2": 0 } },
          "ports": [ { "path": 0, "target": 0 }, { "path": 0, "target": 1 } ] },
        { "port": 5, "driver": "stornvme", "bus_type": 17 }
      ],
      "disks": [
        { "port": 0, "path": 0, "target": 0, "model": "Kelvar KV2000DM", "serial": "ZA1B2C3D", "firmware": "CC43",
          "sectors": 3907029168, "rotation_rate": 7200, "power_mode": "idle",
          "security": { "enabled": true, "locked": true, "attempts_left": 5,
                        "user_password": "letmein", "master_password": "master" } },
        { "device_number": 0, "port": 0, "path": 0, "target": 1, "lun": 0, "model": "Tessel TS512S3",
          "serial": "TS-77", "firmware": "S3F1", "sectors": 1000215216,
          "tcg": { "locking_enabled": true, "locked": true } },
        { "port": 0, "path": 0, "target": 3, "protocol": "atapi", "model": "DVD-RW DS8A", "serial": "ODD1",
          "firmware": "1.00", "zpodd": { "power_state": "dozing", "media": true, "tray_open": false } },
        { "port": 0, "path": 1, "target": 0, "protocol": "nvme", "model": "Virel NV2 1TB", "serial": "NV2-0042",
          "firmware": "5B2QGXA7", "pci_vendor": "0x1D79", "pci_device": "0x2263", "sectors": 1953525168,
          "nvme": { "hmb": { "preferred_size": 8192, "enabled": true, "descriptors": 4 } },
          "health": { "temperature": 313, "percentage_used": 3, "power_on_hours": 1234, "unsafe_shutdowns": 9 } },
        { "device_number": 1, "port": 5, "protocol": "nvme", "model": "Plain NVMe", "serial": "P1",
          "firmware": "1", "sectors": 1000 }
      ]
    })");
}

// Addresses of the machine's ports on controller 0.
constexpr uint32_t kLockedDisk = 0x00000000;
constexpr uint32_t kOpalDisk = 0x00000100;
constexpr uint32_t kOpticalDrive = 0x00000300;
constexpr uint32_t kEmptyPort = 0x00000400;
constexpr uint32_t kNvmeDevice = 0x00010000;
constexpr uint32_t kOtherDevice = 0x00020500;

class PortTest : public ioctltest::IoctlTest {
protected:
    PortTest() : IoctlTest(Machine()) {}

    HANDLE Controller() {
        if (!controller_)
            controller_ = Open("\\\\.\\Scsi0:");
        return controller_;
    }

    // The input bytes of the last request that reached the simulator.
    std::vector<uint8_t> LastInput() {
        auto sends = Sends();
        return sends.empty() ? std::vector<uint8_t>() : sends.back().input;
    }

    // A controller record whose driver reports the given interfaces (all others failed their query),
    // with the table complete, so that checked requests meet the version gate.
    ControllerLocator* RecordSupporting(std::vector<std::string> supported) {
        ControllerLocator r{};
        r.signature = kControllerLocatorSignature;
        r.flags = kControllerSataRaid;
        r.deviceHandle = Controller();
        r.mutex = CreateMutexA(nullptr, FALSE, "Scsi0:_RO");
        r.portNumber = 0;
        ControllerLocator* record = DeviceLocator::AppendRecord(r);
        std::vector<InterfaceVersionEntry> entries;
        for (const auto& e : IoctlInterfaceVersionStore::EntryTable()) {
            InterfaceVersionEntry entry = e;
            const bool ok = std::find(supported.begin(), supported.end(), e.signature) != supported.end();
            entry.state = ok ? kInterfaceQueried : kInterfaceQueryFailed;
            entry.reportedMajor = ok ? e.expectedMajor : 0;
            entry.reportedMinor = ok ? e.expectedMinor : 0;
            entries.push_back(entry);
        }
        IoctlInterfaceVersionStore::SetControllerVersions(*record, entries);
        IoctlInterfaceVersionStore::EndBuildBypass();
        handles_.push_back(r.mutex);
        return record;
    }

    HANDLE controller_ = nullptr;
};

inline uint32_t U32(const std::vector<uint8_t>& bytes, size_t offset) {
    uint32_t v = 0;
    if (offset + 4 <= bytes.size())
        std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

inline uint32_t U32(const void* bytes, size_t offset) {
    uint32_t v = 0;
    std::memcpy(&v, static_cast<const uint8_t*>(bytes) + offset, 4);
    return v;
}

inline uint16_t U16(const void* bytes, size_t offset) {
    uint16_t v = 0;
    std::memcpy(&v, static_cast<const uint8_t*>(bytes) + offset, 2);
    return v;
}

// The SRB_IO_CONTROL header a request must carry.
inline std::vector<uint8_t> Header(const char* signature, uint32_t controlCode, uint32_t returnCode,
                                   uint32_t length, uint32_t timeout = 500) {
    std::vector<uint8_t> h(28);
    auto put = [&](size_t at, uint32_t v) { std::memcpy(h.data() + at, &v, 4); };
    put(0, 28);
    std::memcpy(h.data() + 4, signature, std::min<size_t>(std::strlen(signature), 8));
    put(12, timeout);
    put(16, controlCode);
    put(20, returnCode);
    put(24, length);
    return h;
}

// A request of `size` bytes: the header, then zeros with the given 32-bit words and bytes.
struct Expected {
    std::vector<uint8_t> bytes;
    Expected(std::vector<uint8_t> header, size_t size) : bytes(std::move(header)) { bytes.resize(size); }
    Expected& Word(size_t at, uint32_t v) {
        std::memcpy(bytes.data() + at, &v, 4);
        return *this;
    }
    Expected& Byte(size_t at, uint8_t v) {
        bytes[at] = v;
        return *this;
    }
};

} // namespace porttest
