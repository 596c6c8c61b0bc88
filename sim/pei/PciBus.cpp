#include "sim/pei/PciBus.h"

#include <stdexcept>

#include "sim/pei/PeiCall.h"

namespace sim::pei {
namespace {

uint32_t Key(uint8_t bus, uint8_t device, uint8_t function) {
    return (uint32_t{bus} << 16) | (uint32_t{device} << 8) | function;
}

uint64_t AllOnes(unsigned bytes) {
    return bytes >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * bytes)) - 1;
}

// Identity (vendor, device), status, revision and class, header type, subsystem: fixed by the device.
bool ReadOnly(uint32_t offset) {
    return offset < 0x04 || (offset >= 0x06 && offset < 0x0C) || offset == 0x0E ||
           (offset >= 0x2C && offset < 0x30);
}

} // namespace

uint64_t PciBus::Function::Get(uint32_t offset, unsigned bytes) const {
    uint64_t value = 0;
    for (unsigned i = 0; i < bytes && offset + i < config.size(); ++i)
        value |= uint64_t{config[offset + i]} << (8 * i);
    return value;
}

void PciBus::Function::Set(uint32_t offset, unsigned bytes, uint64_t value) {
    for (unsigned i = 0; i < bytes && offset + i < config.size(); ++i)
        config[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

PciBus::Function& PciBus::Add(uint8_t bus, uint8_t device, uint8_t function, std::string source) {
    auto& slot = functions_[Key(bus, device, function)];
    if (slot)
        throw std::runtime_error("PCI " + std::to_string(bus) + ":" + std::to_string(device) + "." +
                                 std::to_string(function) + " of " + source + " is taken by " + slot->source);
    slot = std::make_unique<Function>();
    slot->bus = bus;
    slot->device = device;
    slot->function = function;
    slot->source = std::move(source);
    return *slot;
}

PciBus::Function* PciBus::Find(uint8_t bus, uint8_t device, uint8_t function) {
    auto it = functions_.find(Key(bus, device, function));
    return it == functions_.end() ? nullptr : it->second.get();
}

void PciBus::Remove(uint8_t bus, uint8_t device, uint8_t function) {
    functions_.erase(Key(bus, device, function));
}

namespace {

struct ConfigTarget {
    uint8_t bus, device, function;
    uint32_t offset;
};

// Bits 7:0 register, 15:8 function, 23:16 device, 31:24 bus; a non-zero upper half is the register.
ConfigTarget Decode(uint64_t address) {
    const auto upper = static_cast<uint32_t>(address >> 32);
    return ConfigTarget{static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                        static_cast<uint8_t>(address >> 8),
                        upper != 0 ? upper : static_cast<uint32_t>(address & 0xFF)};
}

bool Aligned(uint32_t offset, unsigned bytes) {
    return (bytes == 1 || bytes == 2 || bytes == 4) && offset % bytes == 0 && offset + bytes <= 4096;
}

nlohmann::json ConfigSelectors(const ConfigTarget& t, unsigned bytes) {
    return {{"bus", t.bus},
            {"device", t.device},
            {"function", t.function},
            {"register", t.offset},
            {"width", bytes}};
}

} // namespace

bool PciBus::ConfigRead(uint64_t address, unsigned bytes, uint64_t& value) {
    const ConfigTarget t = Decode(address);
    PeiCall("PeiPciCfgRead", ConfigSelectors(t, bytes));
    if (!Aligned(t.offset, bytes))
        return false;
    const Function* f = Find(t.bus, t.device, t.function);
    value = f ? f->Get(t.offset, bytes) : AllOnes(bytes);
    return true;
}

bool PciBus::ConfigWrite(uint64_t address, unsigned bytes, uint64_t value) {
    const ConfigTarget t = Decode(address);
    auto selectors = ConfigSelectors(t, bytes);
    selectors["value"] = value;
    PeiCall("PeiPciCfgWrite", selectors);
    if (!Aligned(t.offset, bytes))
        return false;
    if (Function* f = Find(t.bus, t.device, t.function))
        for (unsigned i = 0; i < bytes; ++i)
            if (!ReadOnly(t.offset + i))
                f->Set(t.offset + i, 1, value >> (8 * i));
    return true;
}

void PciBus::MapMmio(uint64_t base, uint64_t size, MmioDevice* device, const Function* decoder) {
    regions_.push_back(Region{base, size, device, decoder});
}

void PciBus::UnmapMmio(const MmioDevice* device) {
    std::erase_if(regions_, [&](const Region& r) { return r.device == device; });
}

PciBus::Region* PciBus::RegionAt(uint64_t address, unsigned bytes) {
    for (auto& r : regions_)
        if (address >= r.base && address - r.base < r.size && bytes <= r.size - (address - r.base))
            return (!r.decoder || r.decoder->DecodesMemory()) ? &r : nullptr;
    return nullptr;
}

uint64_t PciBus::MemRead(uint64_t address, unsigned bytes) {
    PeiCall("PeiMemRead", {{"address", address}, {"width", bytes}});
    Region* r = RegionAt(address, bytes);
    return r ? r->device->Read(address - r->base, bytes) & AllOnes(bytes) : AllOnes(bytes);
}

void PciBus::MemWrite(uint64_t address, unsigned bytes, uint64_t value) {
    PeiCall("PeiMemWrite", {{"address", address}, {"width", bytes}, {"value", value}});
    if (onWrite_)
        onWrite_();
    if (Region* r = RegionAt(address, bytes))
        r->device->Write(address - r->base, bytes, value & AllOnes(bytes));
}

} // namespace sim::pei
