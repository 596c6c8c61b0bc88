#include "middleware/core/CfgMgrDev.h"

#include <stdexcept>

#include "middleware/core/CfgMgrException.h"
#include "platform/win/Trace.h"

namespace MoxCfgMgr {

CfgMgrDev::CfgMgrDev(std::wstring interfacePath, std::wstring instanceId, int locateFlag,
                     std::vector<int> propertyIds, std::unique_ptr<IDevHandleGetter> handleGetter,
                     std::unique_ptr<IDevInstancePathResolver> resolver,
                     std::unique_ptr<IDevPropGetter> propertyGetter)
    : handleGetter_(std::move(handleGetter)), resolver_(std::move(resolver)), locateFlag_(locateFlag),
      propertyGetter_(std::move(propertyGetter)), interfacePath_(std::move(interfacePath)),
      instanceId_(std::move(instanceId)) {
    if (instanceId_.empty() && resolver_)
        instanceId_ = resolver_->resolve(interfacePath_);
    if (handleGetter_)
        devNode_ = handleGetter_->getDevNode(instanceId_, locateFlag_);
    if (!propertyGetter_)
        return;
    // A property the device does not have is common (a disk has no bus number): it stays out of the
    // cache and fails only when asked for.
    for (int id : propertyIds) {
        try {
            DevPropertyValue value = propertyGetter_->getProperty(*this, id);
            properties_.emplace(id, std::move(value));
        } catch (const CfgMgrException& e) {
            MOX_TRACE(TRACE_LEVEL_VERBOSE, "property %d not read: %s", id, e.what());
        }
    }
}

std::wstring CfgMgrDev::getInterfacePath() const {
    return interfacePath_;
}

std::wstring CfgMgrDev::getInstanceId() const {
    return instanceId_;
}

DEVINST CfgMgrDev::getDevNode() const {
    return devNode_;
}

IDev& CfgMgrDev::updateProperty(int id) {
    if (!propertyGetter_)
        throw CfgMgrException("dev prop getter not set");
    properties_[id] = propertyGetter_->getProperty(*this, id);
    return *this;
}

DevPropertyValue CfgMgrDev::getProperty(int id) const {
    try {
        return properties_.at(id);
    } catch (const std::out_of_range& e) {
        throw CfgMgrException("Device failed while getting property [" + std::to_string(id) +
                              "] with exception: " + e.what());
    }
}

} // namespace MoxCfgMgr
