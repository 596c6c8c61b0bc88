#include "middleware/model/SourceManager.h"

#include "middleware/model/DeviceCustom.h"
#include "middleware/model/SourceNvme.h"

namespace UviEvents {

SourceManager::SourceManager(DeviceFactory* factory) : m_Factory(factory) {}

SourceManager::~SourceManager() {
    std::unordered_map<uint64_t, std::shared_ptr<Source>> sources;
    {
        SharedCriticalSectionLock lock = m_Lock.lock();
        sources.swap(m_Sources);
    }
    sources.clear();
}

SourceList SourceManager::getSourcesForHandle(PackedScsiAddress address) {
    return sourcesFor(m_Factory->createForController(address));
}

SourceList SourceManager::getSourcesForAll() {
    return sourcesFor(m_Factory->createForAll());
}

std::shared_ptr<Source>& SourceManager::sourceFor(std::unique_ptr<Device>& device) {
    std::shared_ptr<Source>& entry = m_Sources[device->getKey()];
    if (entry)
        return entry;
    std::shared_ptr<Source> source = device->getType() == DEVICE_TYPE_NVME_DISK
                                         ? std::make_shared<SourceNvme>(std::move(device))
                                         : std::make_shared<Source>(std::move(device));
    source->start();
    entry = std::move(source);
    return entry;
}

SourceList SourceManager::sourcesFor(DeviceList devices) {
    SourceList result;
    std::unique_ptr<Device> custom = std::make_unique<DeviceCustom>();
    SharedCriticalSectionLock lock = m_Lock.lock();
    for (std::unique_ptr<Device>& device : devices)
        result.push_back(sourceFor(device));
    result.push_back(sourceFor(custom));
    return result;
}

void SourceManager::unsubscribeClient(uint64_t id) {
    SharedCriticalSectionLock lock = m_Lock.lock();
    for (auto& [key, source] : m_Sources)
        if (source)
            source->unsubscribe(id);
}

} // namespace UviEvents
