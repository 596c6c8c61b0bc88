#pragma once
// The configuration manager behind a device: instance id of an interface, device node of an instance
// id, and device node properties by property id.
#include "middleware/core/CfgMgrInterfaces.h"

namespace MoxCfgMgr {

class DevInstancePathResolver : public IDevInstancePathResolver {
public:
    std::wstring resolve(const std::wstring& interfacePath) const override;
};

class DevInstanceGetter : public IDevHandleGetter {
public:
    // locateFlag: kLocateNormal or kLocatePhantom.
    DEVINST getDevNode(const std::wstring& instanceId, int locateFlag) const override;
};

class DevPropGetterDevNode : public IDevPropGetter {
public:
    DevPropertyValue getProperty(const IDev& device, int id) const override;
};

} // namespace MoxCfgMgr
