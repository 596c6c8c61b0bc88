#pragma once
// Memory of the PEI phase: whole 4096-byte pages below 4 GB, handed out by the PEI services'
// AllocatePages and by the IOMMU double. Each allocation is a block of its own, so the sanitizer sees
// an access past its end; new pages are filled with 0xAF, as memory a firmware gets is not zeroed.
// Everything still allocated is released when the PEI phase ends.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

#include "platform/uefi/pi/PiPeiCis.h"

namespace sim::pei {

class PageArena {
public:
    enum class Owner { PeiServices, Iommu };

    PageArena() = default;
    ~PageArena();
    PageArena(const PageArena&) = delete;
    PageArena& operator=(const PageArena&) = delete;

    // The address of `pages` new pages, or nothing when the arena's bound (64 MB) would be passed or
    // the memory lies above 4 GB.
    std::optional<uintptr_t> Allocate(size_t pages, EFI_MEMORY_TYPE type, Owner owner);
    // Releases an allocation made with the same page count and owner; false when there is none.
    bool Free(uintptr_t address, size_t pages, Owner owner);
    // Whether [address, address + length) lies inside one live allocation.
    bool Contains(uint64_t address, uint64_t length) const;
    size_t Live(Owner owner) const;

    static constexpr size_t kPageSize = 4096;
    static constexpr size_t kMaxPages = 64u * 1024 * 1024 / kPageSize;

private:
    struct Block {
        size_t pages;
        EFI_MEMORY_TYPE type;
        Owner owner;
    };
    std::map<uintptr_t, Block> blocks_;
    size_t pages_ = 0;
};

} // namespace sim::pei
