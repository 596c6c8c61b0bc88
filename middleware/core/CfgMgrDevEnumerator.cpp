#include "middleware/core/CfgMgrDevEnumerator.h"

#include "middleware/core/CfgMgrDev.h"
#include "middleware/core/CfgMgrDevNodeGetters.h"
#include "middleware/core/CfgMgrException.h"
#include "middleware/core/TextConversions.h"

namespace MoxCfgMgr {

DevEnumerator::DevEnumerator(std::unique_ptr<IDevPathsGetter> pathsGetter, DevFactory factory)
    : pathsGetter_(std::move(pathsGetter)), factory_(std::move(factory)) {}

std::vector<std::unique_ptr<IDev>> DevEnumerator::enumerate() {
    if (!pathsGetter_)
        throw CfgMgrException("device getter factory not set");
    const DevPaths paths = pathsGetter_->getPaths();
    std::vector<std::unique_ptr<IDev>> devices;
    for (const std::wstring& text : MultiSzToStrings(paths.list)) {
        if (paths.kind == DevPaths::kInterfacePaths)
            devices.push_back(factory_(text, std::wstring()));
        else if (paths.kind == DevPaths::kInstanceIds)
            devices.push_back(factory_(std::wstring(), text));
        else
            devices.push_back(factory_(std::wstring(), std::wstring()));
    }
    return devices;
}

} // namespace MoxCfgMgr

MoxCfgMgr::DevFactory MakeCfgMgrDeviceFactory(int32_t locateFlag, std::vector<int32_t> propertyIds) {
    return [locateFlag, propertyIds = std::move(propertyIds)](
               const std::wstring& interfacePath,
               const std::wstring& instanceId) -> std::unique_ptr<MoxCfgMgr::IDev> {
        return std::make_unique<MoxCfgMgr::CfgMgrDev>(
            interfacePath, instanceId, locateFlag, std::vector<int>(propertyIds.begin(), propertyIds.end()),
            std::make_unique<MoxCfgMgr::DevInstanceGetter>(),
            std::make_unique<MoxCfgMgr::DevInstancePathResolver>(),
            std::make_unique<MoxCfgMgr::DevPropGetterDevNode>());
    };
}
