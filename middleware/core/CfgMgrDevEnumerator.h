#pragma once
// Turns every entry of a paths getter's list into a device through the caller's factory.
#include <cstdint>
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

// Devices of the configuration manager as the product makes them: every call makes a CfgMgrDev for
// the interface path or the instance id (one of them empty), located with locateFlag, with the
// listed properties read at once.
MoxCfgMgr::DevFactory MakeCfgMgrDeviceFactory(int32_t locateFlag, std::vector<int32_t> propertyIds);
