#pragma once
// Memory the simulated firmware hands out (pool and pages), counted until it is freed, so a test can
// see what a program forgot. What is left when the firmware goes is released then.
#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace sim::uefi {

class Pool {
public:
    Pool() = default;
    ~Pool();
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    // Null when the host has no memory left.
    void* Allocate(size_t size, uint32_t memoryType);
    // False for memory the pool did not hand out (or handed out as pages).
    bool Free(void* memory);
    // Page-aligned.
    void* AllocatePages(size_t pages, uint32_t memoryType);
    // False unless memory and pages are those of one page allocation.
    bool FreePages(void* memory, size_t pages);

    size_t Count() const { return blocks_.size(); }
    size_t Bytes() const;

private:
    struct Block {
        size_t size;
        uint32_t memoryType;
        bool pages;
    };
    std::unordered_map<void*, Block> blocks_;
};

} // namespace sim::uefi
