#include <algorithm>
#include <cstring>
#include <memory>

#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/api/VolumeQueries.h"
#include "middleware/api/WorstStatus.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"

namespace {

// The cache state word of the NV cache information.
constexpr size_t kNvCacheStateWord = 0x08;

// One of the disk's volumes is the controller's accelerated volume.
bool IsAcceleratedMember(const Controller& controller, const std::shared_ptr<Disk>& disk) {
    if (!controller.getNvCacheInfo())
        return false;
    const int32_t accelerated = controller.getNvCacheWord(Controller::kNvCacheAcceleratedIndex);
    for (const auto& volume : controller.getVolumesOfDisk(disk))
        if (volume && static_cast<int32_t>(volume->getIndex()) == accelerated)
            return true;
    return false;
}

} // namespace

CConsolidatedError computeWorstStatus(Session& session, int& worstStatus) {
    uint32_t worst = 0;
    for (const auto& controller : session.getControllers()) {
        if (!controller)
            continue;
        for (const auto& disk : controller->getDisks()) {
            if (!disk)
                continue;
            _UVI_EndDeviceInfo record{};
            CConsolidatedError error = internalUviGetEndDeviceInfo(session, disk->getHandle(), &record);
            if (error.IsError())
                return error;
            worst = std::max(worst, worst_status::DiskContribution(record.state, record.usage,
                                                                   IsAcceleratedMember(*controller, disk)));
        }
        for (const auto& volume : controller->getVolumes()) {
            if (!volume)
                continue;
            _UVI_VolumeInfo record{};
            CConsolidatedError error = internalUviGetVolumeInfo(session, volume->getHandle(), &record);
            if (error.IsError())
                return error;
            worst =
                std::max(worst, worst_status::VolumeContribution(record.state, record.isBlockCacheVolume != 0,
                                                                 record.arrayHasBlockCacheVolume != 0,
                                                                 record.raidLevelSupported != 0));
        }
        if (controller->getNvCacheInfo()) {
            uint32_t cacheState = 0;
            std::memcpy(&cacheState, controller->getNvCacheInfo() + kNvCacheStateWord, sizeof cacheState);
            worst = std::max(worst, worst_status::CacheContribution(cacheState));
        }
    }
    worstStatus = static_cast<int>(worst);
    return CConsolidatedError();
}
