#include "sim/uefi/Pool.h"

#include <cstdlib>
#include <new>

namespace sim::uefi {

namespace {
constexpr size_t kPageSize = 4096;
}

Pool::~Pool() {
    for (auto& [memory, block] : blocks_)
        std::free(memory);
}

void* Pool::Allocate(size_t size, uint32_t memoryType) {
    // Pool memory is 8-byte aligned; a request of 0 bytes still gets a distinct block.
    void* memory = std::malloc(size ? size : 1);
    if (!memory)
        return nullptr;
    blocks_[memory] = Block{size, memoryType, false};
    return memory;
}

bool Pool::Free(void* memory) {
    auto it = blocks_.find(memory);
    if (it == blocks_.end() || it->second.pages)
        return false;
    std::free(memory);
    blocks_.erase(it);
    return true;
}

void* Pool::AllocatePages(size_t pages, uint32_t memoryType) {
    if (pages == 0 || pages > SIZE_MAX / kPageSize)
        return nullptr;
    void* memory = std::aligned_alloc(kPageSize, pages * kPageSize);
    if (!memory)
        return nullptr;
    blocks_[memory] = Block{pages * kPageSize, memoryType, true};
    return memory;
}

bool Pool::FreePages(void* memory, size_t pages) {
    auto it = blocks_.find(memory);
    if (it == blocks_.end() || !it->second.pages || it->second.size != pages * kPageSize)
        return false;
    std::free(memory);
    blocks_.erase(it);
    return true;
}

size_t Pool::Bytes() const {
    size_t total = 0;
    for (const auto& [memory, block] : blocks_)
        total += block.size;
    return total;
}

} // namespace sim::uefi
