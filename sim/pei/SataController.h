#pragma once
// The registers behind the BAR5 of a SATA controller in AHCI or RAID mode (64 KB): the AHCI host bus
// adapter, and on the platform vendor's controllers the remap register block, which shows up to three
// PCIe NVMe controllers hidden behind the SATA controller in windows at BAR5 + 0x4000, + 0x8000 and
// + 0xC000:
//
//   0xA4                        bit 0 remapping enabled; bits 27:16 the remap capability's offset / 128
//   0xC0                        bits 15:0 the controller's remap id
//   capability                  64 bits: bit s set when slot s holds a device
//   capability + 128 * (s + 1)  the slot's class register: base class 23:16, sub-class 15:8, interface 7:0
//
// The machine description gives them on the SATA controller's device node:
//
//   "pci": { "bars": [...], "remap": { "id": "0xA0D3", "enabled": true,
//            "slots": [ { "slot": 0, "node": "PCI\\VEN_1C8F&DEV_5012&...\\4&2a1b3c4d&0&00E8" } ] } }
//
// A slot names the device node of the function it hides; an NVMe function there is an NvmeController
// whose disk is the NVMe "disks" entry of the adapter with that node's instance id.
#include <array>
#include <cstdint>
#include <memory>

#include "sim/pei/AhciHba.h"
#include "sim/pei/NvmeController.h"
#include "sim/pei/PciBus.h"

namespace sim::pei {

class SataController : public MmioDevice {
public:
    static constexpr uint64_t kBarSize = 0x10000;
    static constexpr uint32_t kWindowSize = 0x4000;

    struct Slot {
        bool present = false;
        // Base class << 16 | sub-class << 8 | programming interface.
        uint32_t classCode = 0;
        std::unique_ptr<NvmeController> nvme;
    };

    AhciHba ahci;
    bool remapBlock = false;
    uint16_t remapId = 0;
    bool remapEnabled = false;
    // Offset of the remap capability, a multiple of 128.
    uint32_t capability = 0x1800;
    std::array<Slot, 3> slots;

    // Remap registers read, by offset, for tests of what the firmware looked at.
    std::vector<uint32_t> remapReads;

    uint64_t Read(uint64_t offset, unsigned bytes) override;
    void Write(uint64_t offset, unsigned bytes, uint64_t value) override;

private:
    bool RemapRegister(uint32_t offset, uint64_t& value) const;
};

class Environment;
// The SATA controllers of the machine's PCI functions (class 0x0104, or 0x0106 with interface 1, with
// a memory BAR5), each mapped at its BAR5 behind its function's memory decoding; and each NVMe
// function with a memory BAR0, mapped there. A remap slot naming no device node is refused
// (std::runtime_error).
void LoadStorageDevices(Environment& env);

} // namespace sim::pei
