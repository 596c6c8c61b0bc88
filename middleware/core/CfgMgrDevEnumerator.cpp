#include "middleware/core/CfgMgrDevEnumerator.h"

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
