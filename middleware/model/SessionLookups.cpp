// The lookups of a built session: linear scans in list order, first match wins.
#include "middleware/model/Session.h"

#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/HybridDiskSet.h"
#include "middleware/model/PciRootControllerSet.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/WinDiskInterface.h"

namespace {

template <class Item>
std::shared_ptr<Item> FindByHandle(const std::vector<std::shared_ptr<Item>>& items, uint32_t handle) {
    for (const auto& item : items)
        if (item && item->getHandle() == handle)
            return item;
    return nullptr;
}

template <class Item, class Children>
std::shared_ptr<Item> FindInControllers(const Session::ControllerList& controllers, uint32_t handle,
                                        const Children& childrenOf) {
    for (const auto& controller : controllers)
        if (auto found = FindByHandle(childrenOf(*controller), handle))
            return found;
    return nullptr;
}

} // namespace

std::shared_ptr<Controller> Session::getControllerByHandle(uint32_t handle) const {
    return FindByHandle(m_Controllers, handle);
}

std::shared_ptr<Controller> Session::getThirdPartyControllerByHandle(uint32_t handle) const {
    return FindByHandle(m_ThirdPartyControllers, handle);
}

std::shared_ptr<Controller> Session::getAnyControllerByHandle(uint32_t handle) const {
    return FindByHandle(getAllControllers(), handle);
}

std::shared_ptr<RaidArray> Session::getArrayByHandle(uint32_t handle) const {
    return FindInControllers<RaidArray>(
        m_Controllers, handle, [](const Controller& c) -> const auto& { return c.getArrays(); });
}

std::shared_ptr<RaidVolume> Session::getVolumeByHandle(uint32_t handle) const {
    return FindInControllers<RaidVolume>(
        m_Controllers, handle, [](const Controller& c) -> const auto& { return c.getVolumes(); });
}

std::shared_ptr<Disk> Session::getEndDeviceByHandle(uint32_t handle) const {
    return FindInControllers<Disk>(
        m_Controllers, handle, [](const Controller& c) -> const auto& { return c.getDisks(); });
}

std::shared_ptr<Disk> Session::getThirdPartyEndDeviceByHandle(uint32_t handle) const {
    return FindInControllers<Disk>(
        m_ThirdPartyControllers, handle, [](const Controller& c) -> const auto& { return c.getDisks(); });
}

Session::ControllerList Session::getAllControllers() const {
    ControllerList all = m_Controllers;
    all.insert(all.end(), m_ThirdPartyControllers.begin(), m_ThirdPartyControllers.end());
    return all;
}

const std::unique_ptr<WinDiskInterface>&
Session::findWinDiskInterface(const std::function<bool(const WinDiskInterface&)>& predicate) const {
    static const std::unique_ptr<WinDiskInterface> none;
    for (const auto& controller : m_Controllers) {
        for (const auto& disk : controller->getDisks())
            if (disk && disk->getWinDiskInterface() && predicate(*disk->getWinDiskInterface()))
                return disk->getWinDiskInterface();
        for (const auto& volume : controller->getVolumes())
            if (volume && volume->getWinDiskInterface() && predicate(*volume->getWinDiskInterface()))
                return volume->getWinDiskInterface();
    }
    return none;
}

const std::unique_ptr<WinDiskInterface>& Session::findWinDiskInterfaceByDeviceNumber(int deviceNumber) const {
    return findWinDiskInterface([deviceNumber](const WinDiskInterface& view) {
        return static_cast<int>(view.getDeviceNumber()) == deviceNumber;
    });
}

const std::unique_ptr<WinDiskInterface>& Session::findWinDiskInterfaceByScsiAddress(int address) const {
    return findWinDiskInterface([address](const WinDiskInterface& view) {
        return static_cast<int>(view.getScsiAddress()) == address;
    });
}

CConsolidatedError Session::getControllerLocator(uint32_t controllerHandle,
                                                 ControllerLocator*& locator) const {
    if (auto controller = getControllerByHandle(controllerHandle)) {
        locator = controller->getControllerLocator();
        return CConsolidatedError();
    }
    return CConsolidatedError(CConsolidatedError::UVI_INVALIDSESSION);
}
