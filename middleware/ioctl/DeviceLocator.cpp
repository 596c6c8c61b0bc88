#include "middleware/ioctl/DeviceLocator.h"

#include <atomic>

#include "middleware/ioctl/IoctlInterfaceVersionStore.h"

namespace {

// Static storage: zero at start, never cleared or shrunk; records are only read after the build.
ControllerLocator g_records[DeviceLocator::kMaxControllers];
std::atomic<int> g_count{0};

} // namespace

DeviceLocator::DeviceLocator() {
    if (g_count.load() == 0)
        Build();
}

int DeviceLocator::Build() {
    if (int count = g_count.load(); count != 0)
        return count;
    // The storage-port interfaces are not enumerated and classified here yet: controllers enter
    // the table through AppendRecord. A table nobody filled holds the placeholder record.
    ControllerLocator placeholder{};
    placeholder.signature = kControllerLocatorSignature;
    placeholder.flags = kControllerPlaceholder;
    AppendRecord(placeholder);
    IoctlInterfaceVersionStore::EndBuildBypass();
    return g_count.load();
}

int DeviceLocator::GetCount() {
    return g_count.load();
}

bool DeviceLocator::Contains(const void* value) {
    if (value == nullptr || value == INVALID_HANDLE_VALUE)
        return false;
    const int count = g_count.load();
    for (int i = 0; i < count; ++i)
        if (value == &g_records[i])
            return true;
    return false;
}

ControllerLocator* DeviceLocator::FindByHandle(const void* value) {
    if (Contains(value))
        return static_cast<ControllerLocator*>(const_cast<void*>(value));
    const int count = g_count.load();
    for (int i = 0; i < count; ++i)
        if (g_records[i].deviceHandle == value)
            return &g_records[i];
    return nullptr;
}

ControllerLocator* DeviceLocator::FindByPort(int32_t port) {
    const int count = g_count.load();
    for (int i = 0; i < count; ++i)
        if (g_records[i].portNumber == port)
            return &g_records[i];
    return nullptr;
}

uint32_t DeviceLocator::GetFlags(const void* value) {
    return Contains(value) ? static_cast<const ControllerLocator*>(value)->flags : 0;
}

ControllerLocator* DeviceLocator::GetByIndex(int index) {
    return index >= 0 && index < g_count.load() ? &g_records[index] : nullptr;
}

int DeviceLocator::FindNextByFlags(uint32_t mask, int index) {
    if (mask != kControllerPlaceholder)
        Build();
    const int count = g_count.load();
    for (int i = index < -1 ? 0 : index + 1; i < count; ++i)
        if (g_records[i].flags & mask)
            return i;
    return -1;
}

ControllerLocator* DeviceLocator::AppendRecord(const ControllerLocator& record) {
    const int count = g_count.load();
    if (count >= kMaxControllers)
        return nullptr;
    g_records[count] = record;
    g_count.store(count + 1);
    return &g_records[count];
}
