#include "sim/pei/PageArena.h"

#include <cstdlib>
#include <cstring>

namespace sim::pei {

PageArena::~PageArena() {
    for (auto& [address, block] : blocks_)
        std::free(reinterpret_cast<void*>(address));
}

std::optional<uintptr_t> PageArena::Allocate(size_t pages, EFI_MEMORY_TYPE type, Owner owner) {
    if (pages == 0 || pages > kMaxPages - pages_)
        return std::nullopt;
    void* memory = std::aligned_alloc(kPageSize, pages * kPageSize);
    if (!memory)
        return std::nullopt;
    const auto address = reinterpret_cast<uintptr_t>(memory);
    if (static_cast<uint64_t>(address) + pages * kPageSize > 0x100000000ull) {
        std::free(memory);
        return std::nullopt;
    }
    std::memset(memory, 0xAF, pages * kPageSize);
    blocks_[address] = Block{pages, type, owner};
    pages_ += pages;
    return address;
}

bool PageArena::Free(uintptr_t address, size_t pages, Owner owner) {
    auto it = blocks_.find(address);
    if (it == blocks_.end() || it->second.pages != pages || it->second.owner != owner)
        return false;
    std::free(reinterpret_cast<void*>(address));
    pages_ -= pages;
    blocks_.erase(it);
    return true;
}

bool PageArena::Contains(uint64_t address, uint64_t length) const {
    if (address > UINTPTR_MAX)
        return false;
    auto it = blocks_.upper_bound(static_cast<uintptr_t>(address));
    if (it == blocks_.begin())
        return false;
    --it;
    const uint64_t end = static_cast<uint64_t>(it->first) + it->second.pages * kPageSize;
    return address < end && length <= end - address;
}

size_t PageArena::Live(Owner owner) const {
    size_t n = 0;
    for (const auto& [address, block] : blocks_)
        n += block.owner == owner ? 1 : 0;
    return n;
}

} // namespace sim::pei
