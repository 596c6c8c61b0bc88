#pragma once
// Turns every entry of a paths getter's list into a device through the caller's factory.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "middleware/core/CfgMgrInterfaces.h"

namespace MoxCfgMgr {

// Called with (interface path, empty id) for interface lists and (empty path, instance id) for
// instance id lists.
using DevFactory =
    std::function<std::unique_ptr<IDev>(const std::wstring& interfacePath, const std::wstring& instanceId)>;

class DevEnumerator : public IDevEnumerator {
public:
    DevEnumerator(std::unique_ptr<IDevPathsGetter> pathsGetter, DevFactory factory);
    // Devices in list order; the factory's null results are kept. A failure of the factory ends the
    // enumeration and passes on.
    std::vector<std::unique_ptr<IDev>> enumerate() override;

private:
    std::unique_ptr<IDevPathsGetter> pathsGetter_;
    DevFactory factory_;
};

} // namespace MoxCfgMgr
