#pragma once
// PCI as the PEI phase reaches it: a configuration space of 4 KB per bus/device/function, answered
// through the PCI configuration PPI, and memory-mapped registers dispatched by address range to the
// device models behind the CPU I/O PPI. A function missing from the bus reads all ones, as does an
// address no model claims; a model behind a function's BAR answers only while the function decodes
// memory (command register bit 1).
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim::pei {

// A device model's registers.
class MmioDevice {
public:
    virtual ~MmioDevice() = default;
    // `bytes` is 1, 2, 4 or 8; offset is from the start of the model's range.
    virtual uint64_t Read(uint64_t offset, unsigned bytes) = 0;
    virtual void Write(uint64_t offset, unsigned bytes, uint64_t value) = 0;
};

class PciBus {
public:
    struct Function {
        uint8_t bus = 0, device = 0, function = 0;
        // Where it comes from, for messages: the device node's instance id.
        std::string source;
        std::array<uint8_t, 4096> config{};

        uint64_t Get(uint32_t offset, unsigned bytes) const;
        void Set(uint32_t offset, unsigned bytes, uint64_t value);
        bool DecodesMemory() const { return (config[4] & 0x02) != 0; }
    };

    // A function with an empty configuration space; one that exists already is refused
    // (std::invalid_argument).
    Function& Add(uint8_t bus, uint8_t device, uint8_t function, std::string source = {});
    Function* Find(uint8_t bus, uint8_t device, uint8_t function);
    void Remove(uint8_t bus, uint8_t device, uint8_t function);

    // The PPI's accesses: `address` as the PCI configuration PPI takes it, `bytes` 1, 2 or 4 on a
    // matching boundary (false otherwise). A write keeps the identity, class, header type and
    // subsystem registers as they are.
    bool ConfigRead(uint64_t address, unsigned bytes, uint64_t& value);
    bool ConfigWrite(uint64_t address, unsigned bytes, uint64_t value);

    // Registers of `device` at [base, base + size); `decoder`, when given, gates them on its memory
    // decoding. The bus does not own the model.
    void MapMmio(uint64_t base, uint64_t size, MmioDevice* device, const Function* decoder = nullptr);
    void UnmapMmio(const MmioDevice* device);
    uint64_t MemRead(uint64_t address, unsigned bytes);
    void MemWrite(uint64_t address, unsigned bytes, uint64_t value);
    // Called on every memory write (the environment restarts its counter's steps).
    void OnMemWrite(std::function<void()> hook) { onWrite_ = std::move(hook); }

private:
    struct Region {
        uint64_t base, size;
        MmioDevice* device;
        const Function* decoder;
    };
    Region* RegionAt(uint64_t address, unsigned bytes);
    std::map<uint32_t, std::unique_ptr<Function>> functions_;
    std::vector<Region> regions_;
    std::function<void()> onWrite_;
};

} // namespace sim::pei
