#include "middleware/ioctl/ControllerTable.h"

#include <atomic>

#include "platform/win/WinBase.h"

namespace {

// Static storage: zero at start; records are only read once they are added.
ControllerLocator g_records[ControllerTable::kMaxControllers];
std::atomic<int> g_count{0};

} // namespace

std::recursive_mutex& ControllerTable::ChangeLock() {
    static std::recursive_mutex lock;
    return lock;
}

int ControllerTable::GetCount() {
    return g_count.load();
}

bool ControllerTable::Contains(const void* value) {
    if (value == nullptr || value == INVALID_HANDLE_VALUE)
        return false;
    const int count = g_count.load();
    for (int i = 0; i < count; ++i)
        if (value == &g_records[i])
            return true;
    return false;
}

ControllerLocator* ControllerTable::FindByHandle(const void* value) {
    if (Contains(value))
        return static_cast<ControllerLocator*>(const_cast<void*>(value));
    const int count = g_count.load();
    for (int i = 0; i < count; ++i)
        if (g_records[i].deviceHandle == value)
            return &g_records[i];
    return nullptr;
}

ControllerLocator* ControllerTable::FindByPort(int32_t port) {
    const int count = g_count.load();
    for (int i = 0; i < count; ++i)
        if (g_records[i].portNumber == port)
            return &g_records[i];
    return nullptr;
}

uint32_t ControllerTable::GetFlags(const void* value) {
    return Contains(value) ? static_cast<const ControllerLocator*>(value)->flags : 0;
}

ControllerLocator* ControllerTable::GetByIndex(int index) {
    return index >= 0 && index < g_count.load() ? &g_records[index] : nullptr;
}

ControllerLocator* ControllerTable::AppendRecord(const ControllerLocator& record) {
    std::lock_guard<std::recursive_mutex> lock(ChangeLock());
    const int count = g_count.load();
    if (count >= kMaxControllers)
        return nullptr;
    g_records[count] = record;
    g_count.store(count + 1);
    return &g_records[count];
}

void ControllerTable::Clear() {
    std::lock_guard<std::recursive_mutex> lock(ChangeLock());
    for (auto& record : g_records) {
        // A handle a test closed itself is refused harmlessly; handle values are never reused.
        for (HANDLE h : {record.deviceHandle, record.mutex})
            if (h && h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
        record = ControllerLocator{};
    }
    g_count.store(0);
}
