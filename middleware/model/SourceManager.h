#pragma once
// Keeps exactly one started source per device key for the life of the process, so that every
// subscription to a device shares its one worker.
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "middleware/core/SharedCriticalSection.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "middleware/model/DeviceFactory.h"
#include "middleware/model/Source.h"

namespace UviEvents {

using SourceList = std::vector<std::shared_ptr<Source>>;

class SourceManager {
public:
    // The factory is not owned and must outlive the manager.
    explicit SourceManager(DeviceFactory* factory);
    // Destroys every source: each worker delivers code 5 to its clients and is joined.
    ~SourceManager();
    SourceManager(const SourceManager&) = delete;
    SourceManager& operator=(const SourceManager&) = delete;

    // The started sources of the controller's devices, or of every device, each list ending with the
    // software source. Throws CConsolidatedError (and what a thread start throws); sources started
    // before the throw stay.
    SourceList getSourcesForHandle(PackedScsiAddress address);
    SourceList getSourcesForAll();
    // Every source drops the client.
    void unsubscribeClient(uint64_t id);

private:
    SourceList sourcesFor(DeviceList devices);
    std::shared_ptr<Source>& sourceFor(std::unique_ptr<Device>& device);

    SharedCriticalSection m_Lock;
    std::unordered_map<uint64_t, std::shared_ptr<Source>> m_Sources;
    DeviceFactory* m_Factory;
};

} // namespace UviEvents
