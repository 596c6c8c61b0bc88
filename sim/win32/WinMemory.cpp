// Local and global memory blocks, and page regions (VirtualAlloc, fault kind "VirtualAlloc" with
// selector `size`, same outcome). Blocks come from the C heap, so a local block of the system's own
// (FormatMessageW's) and one of LocalAlloc are freed alike.
//
// Fault kinds "LocalAlloc" and "GlobalAlloc", selectors `flags` and `size`: outcome
// {"win32_error": n} makes the allocation fail with that last error (ERROR_NOT_ENOUGH_MEMORY by
// default), as it does on a machine out of memory.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/win/WinBase.h"
#include "sim/Schema.h"
#include "sim/win32/SimCall.h"

namespace {

namespace schema = sim::schema;

const schema::FaultKind kFaults({"LocalAlloc", "GlobalAlloc"}, {"flags", "size"},
                                schema::Object({{"win32_error", schema::Uint32()}}));
const schema::FaultKind kVirtualFaults("VirtualAlloc", {"size"},
                                       schema::Object({{"win32_error", schema::Uint32()}}));

constexpr SIZE_T kPage = 4096;
// More than this machine hands out at once: refused as on a machine out of address space, before
// the C heap is asked.
constexpr SIZE_T kLargestRegion = SIZE_T{1} << 36;

// A zero-byte request still gets a block of its own, as on Windows.
void* Allocate(const char* kind, UINT flags, SIZE_T bytes, bool zero) {
    if (auto outcome = platform::SimCall(kind, {{"flags", flags}, {"size", bytes}})) {
        SetLastError(platform::OutcomeNumber(*outcome, "win32_error", ERROR_NOT_ENOUGH_MEMORY));
        return nullptr;
    }
    const SIZE_T size = bytes ? bytes : 1;
    void* block = zero ? std::calloc(size, 1) : std::malloc(size);
    if (!block)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

// Movable global blocks: the handle names a record that holds the block and its lock count.
struct MovableBlock {
    void* memory;
    DWORD locks = 0;
};
std::mutex g_mutex;
std::unordered_map<HGLOBAL, MovableBlock*> g_movable;

MovableBlock* Movable(HGLOBAL handle) {
    auto it = g_movable.find(handle);
    return it == g_movable.end() ? nullptr : it->second;
}

} // namespace

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    return Allocate("LocalAlloc", flags, bytes, (flags & LMEM_ZEROINIT) != 0);
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    void* memory = Allocate("GlobalAlloc", flags, bytes, (flags & GMEM_ZEROINIT) != 0);
    if (!memory || !(flags & GMEM_MOVEABLE))
        return memory;
    auto* block = new MovableBlock{memory};
    std::lock_guard lock(g_mutex);
    g_movable[block] = block;
    return block;
}

LPVOID GlobalLock(HGLOBAL memory) {
    std::lock_guard lock(g_mutex);
    MovableBlock* block = Movable(memory);
    if (!block)
        return memory;
    ++block->locks;
    return block->memory;
}

BOOL GlobalUnlock(HGLOBAL memory) {
    std::lock_guard lock(g_mutex);
    MovableBlock* block = Movable(memory);
    if (!block || block->locks == 0) {
        SetLastError(block ? ERROR_NOT_LOCKED : ERROR_SUCCESS);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return --block->locks != 0;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    MovableBlock* block = nullptr;
    {
        std::lock_guard lock(g_mutex);
        block = Movable(memory);
        g_movable.erase(memory);
    }
    if (block) {
        std::free(block->memory);
        delete block;
    } else {
        std::free(memory);
    }
    return nullptr;
}

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
    if (address || size == 0 || (allocationType & MEM_COMMIT) == 0 || protect != PAGE_READWRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (auto outcome = platform::SimCall("VirtualAlloc", {{"size", size}})) {
        SetLastError(platform::OutcomeNumber(*outcome, "win32_error", ERROR_NOT_ENOUGH_MEMORY));
        return nullptr;
    }
    if (size > kLargestRegion) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Regions are whole pages, zero-filled.
    const SIZE_T rounded = (size + kPage - 1) / kPage * kPage;
    void* region = std::aligned_alloc(kPage, rounded);
    if (!region) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::memset(region, 0, rounded);
    return region;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    if (!address || size != 0 || freeType != MEM_RELEASE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::free(address);
    return TRUE;
}
