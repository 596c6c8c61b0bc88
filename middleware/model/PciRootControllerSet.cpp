#include "middleware/model/PciRootControllerSet.h"

#include <unordered_map>

#include "middleware/core/HandleRegistry.h"
#include "middleware/model/Controller.h"

std::vector<std::unique_ptr<PciRootControllerSet>>
PciRootControllerSet::build(const std::vector<std::shared_ptr<Controller>>& controllers) {
    std::vector<std::unique_ptr<PciRootControllerSet>> sets;
    std::unordered_map<uint64_t, size_t> byLocation;
    for (const auto& controller : controllers) {
        if (!controller)
            continue;
        const uint64_t location = controller->getPciLocationValue();
        auto [it, added] = byLocation.try_emplace(location, sets.size());
        if (added)
            sets.push_back(std::make_unique<PciRootControllerSet>(location, std::vector<uint32_t>{}));
        sets[it->second]->m_ControllerHandles.push_back(controller->getHandle());
    }
    return sets;
}

std::string PciRootControllerSet::keyOf(uint64_t pciLocation) {
    const auto byte = [pciLocation](int n) { return std::to_string((pciLocation >> (8 * n)) & 0xFF); };
    return byte(6) + ":" + byte(5) + ":" + byte(4);
}

CConsolidatedError PciRootControllerSet::Populate() {
    CConsolidatedError result;
    if (m_ControllerHandles.size() < 2) {
        result.SetError(CConsolidatedError::UVI_INTERNALERROR,
                        "Same PCI RootPort Controller set must contain at least 2 controllers");
        return result;
    }
    m_Handle = HandleRegistry::instance().getHandle(HandleKindPciSwitch, keyOf(m_PciLocation).c_str());
    return result;
}
