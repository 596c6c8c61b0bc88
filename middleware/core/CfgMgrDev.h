#pragma once
// A device found through the configuration manager: its interface path and instance id, its device
// node, and a cache of the properties read so far.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "middleware/core/CfgMgrInterfaces.h"

namespace MoxCfgMgr {

class CfgMgrDev : public IDev {
public:
    // One of interfacePath and instanceId is usually empty. An empty instance id is resolved from the
    // path; the node is located with locateFlag; the listed properties are read now, and one that
    // cannot be read is left out of the cache. Any getter may be null.
    CfgMgrDev(std::wstring interfacePath, std::wstring instanceId, int locateFlag,
              std::vector<int> propertyIds, std::unique_ptr<IDevHandleGetter> handleGetter,
              std::unique_ptr<IDevInstancePathResolver> resolver,
              std::unique_ptr<IDevPropGetter> propertyGetter);

    std::wstring getInterfacePath() const override;
    std::wstring getInstanceId() const override;
    DEVINST getDevNode() const override;
    IDev& updateProperty(int id) override;
    DevPropertyValue getProperty(int id) const override;

private:
    std::unique_ptr<IDevHandleGetter> handleGetter_;
    std::unique_ptr<IDevInstancePathResolver> resolver_;
    int locateFlag_;
    std::unique_ptr<IDevPropGetter> propertyGetter_;
    std::wstring interfacePath_;
    std::wstring instanceId_;
    DEVINST devNode_ = 0;
    std::map<int, DevPropertyValue> properties_;
};

} // namespace MoxCfgMgr
