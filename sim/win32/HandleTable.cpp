#include "sim/win32/HandleTable.h"

#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

std::mutex g_mutex;
std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> g_table;
// Handle values grow by 4 as on Windows and are never reused within the process, so a stale
// handle is reported as invalid instead of reaching another object.
uintptr_t g_next = 0x100;

} // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    std::lock_guard lock(g_mutex);
    uintptr_t value = g_next;
    g_next += 4;
    g_table.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    std::lock_guard lock(g_mutex);
    auto it = g_table.find(reinterpret_cast<uintptr_t>(handle));
    return it == g_table.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> object;
    {
        std::lock_guard lock(g_mutex);
        auto it = g_table.find(reinterpret_cast<uintptr_t>(handle));
        if (it == g_table.end())
            return false;
        object = std::move(it->second);
        g_table.erase(it);
    }
    // Outside the table lock: closing may take the object's own locks.
    object->OnClose();
    return true;
}

} // namespace platform
