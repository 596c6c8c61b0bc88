#include "middleware/core/HandleRegistry.h"

namespace {

const char* KindPrefix(unsigned kind) {
    switch (kind) {
    case HandleKindDisk:
        return "Disk";
    case HandleKindController:
        return "Controller";
    case HandleKindPort:
        return "Port";
    case HandleKindPhy:
        return "Phy";
    case HandleKindArray:
        return "Array";
    case HandleKindVolume:
        return "Volume";
    case HandleKindRaidInfo:
        return "RaidInfo";
    case HandleKindVezkDiskPair:
        return "VezkDiskPair";
    case HandleKindHybridDiskSet:
        return "HybridDiskSet";
    default:
        return "Other";
    }
}

} // namespace

HandleRegistry& HandleRegistry::instance() {
    static HandleRegistry registry;
    return registry;
}

uint32_t HandleRegistry::getHandle(unsigned kind, const char* name) {
    std::string key = KindPrefix(kind);
    if (name)
        key += name;
    std::lock_guard<std::mutex> guard(m_lock);
    const auto [it, inserted] = m_handles.try_emplace(std::move(key), m_nextHandle);
    if (inserted)
        ++m_nextHandle;
    return it->second;
}

void HandleRegistry::resetForTests() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_handles.clear();
    m_nextHandle = 1;
}
