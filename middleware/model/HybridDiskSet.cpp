#include "middleware/model/HybridDiskSet.h"

#include <regex>
#include <unordered_map>

#include "middleware/core/HandleRegistry.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"

namespace {

const std::regex& SerialPattern() {
    static const std::regex pattern(R"((\w+?)-\d)", std::regex::ECMAScript);
    return pattern;
}

} // namespace

std::string HybridDiskSet::serialPrefix(const Disk& disk) {
    const char* serial = disk.getNvmeSerialNumber();
    if (!serial)
        return {};
    const std::string text(serial);
    std::smatch match;
    if (std::regex_search(text, match, SerialPattern()) && match[1].matched)
        return match[1].str();
    return {};
}

std::vector<std::unique_ptr<HybridDiskSet>>
HybridDiskSet::build(const std::vector<std::shared_ptr<Controller>>& controllers) {
    std::vector<std::unique_ptr<HybridDiskSet>> sets;
    std::unordered_map<std::string, size_t> byPrefix;
    for (const auto& controller : controllers) {
        if (!controller)
            continue;
        for (const auto& disk : controller->getDisks()) {
            if (!disk || !disk->getHybridDiskExtension() || !disk->getHybridDiskExtension()->isHybridDisk())
                continue;
            const std::string prefix = serialPrefix(*disk);
            auto [it, added] = byPrefix.try_emplace(prefix, sets.size());
            if (added)
                sets.push_back(std::make_unique<HybridDiskSet>(prefix));
            sets[it->second]->addMember(disk->getHandle(), controller->getHandle());
        }
    }
    return sets;
}

void HybridDiskSet::addMember(uint32_t diskHandle, uint32_t controllerHandle) {
    m_Members.emplace_back(diskHandle, controllerHandle);
    m_ControllerHandles.insert(controllerHandle);
}

CConsolidatedError HybridDiskSet::Populate() {
    CConsolidatedError result;
    if (m_MasterSerial.empty()) {
        result.SetError(CConsolidatedError::GENERAL_INVALID_VALUE, "Master serial cannot be empty");
        return result;
    }
    m_Handle = HandleRegistry::instance().getHandle(HandleKindHybridDiskSet, m_MasterSerial.c_str());
    return result;
}

std::vector<uint32_t> HybridDiskSet::getDiskHandles() const {
    std::vector<uint32_t> handles;
    for (const auto& member : m_Members)
        handles.push_back(member.first);
    return handles;
}

std::vector<uint32_t> HybridDiskSet::getControllerHandles() const {
    return std::vector<uint32_t>(m_ControllerHandles.begin(), m_ControllerHandles.end());
}
