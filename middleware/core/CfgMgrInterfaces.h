#pragma once
// The device enumeration framework: a paths getter lists interface paths or instance ids, an
// enumerator turns each entry into a device through a factory, and a device resolves its instance
// id, locates its node and caches the properties it was asked for.
#include <memory>
#include <string>
#include <vector>

#include "middleware/core/CfgMgrDevPropertyValue.h"
#include "platform/win/WinCfgMgr.h"

namespace MoxCfgMgr {

// Property ids and the device property keys they read (DevPropGetterDevNode).
namespace DevProperty {
constexpr int IsPresent = 0;
constexpr int Service = 1;
constexpr int Address = 2;
constexpr int BusNumber = 3;
constexpr int Parent = 4;
constexpr int LocationPaths = 5;
constexpr int DeviceDesc = 6;
constexpr int DriverVersion = 7;
constexpr int PciDevice4 = 8;
constexpr int PciDevice9 = 9;
constexpr int PciDevice10 = 10;
constexpr int HardwareIds = 11;
constexpr int FriendlyName = 12;
constexpr int CompatibleIds = 13;
constexpr int ContainerId = 14;
constexpr int Capabilities = 15;
} // namespace DevProperty

// How a device node is located.
constexpr int kLocateNormal = 1;
constexpr int kLocatePhantom = 2;

class IDev {
public:
    virtual ~IDev() = default;
    virtual std::wstring getInterfacePath() const = 0;
    virtual std::wstring getInstanceId() const = 0;
    virtual DEVINST getDevNode() const = 0;
    // Reads the property again and caches it.
    virtual IDev& updateProperty(int id) = 0;
    // The cached value.
    virtual DevPropertyValue getProperty(int id) const = 0;
};

class IDevEnumerator {
public:
    virtual ~IDevEnumerator() = default;
    virtual std::vector<std::unique_ptr<IDev>> enumerate() = 0;
};

struct DevPaths {
    static constexpr int kInterfacePaths = 0;
    static constexpr int kInstanceIds = 1;

    int kind = kInterfacePaths;
    // The configuration manager's multi-string, ending in two zero characters.
    std::vector<wchar_t> list;
};

class IDevPathsGetter {
public:
    virtual DevPaths getPaths() const = 0;
    // Owners delete getters through this interface.
    virtual ~IDevPathsGetter() = default;
};

class IDevInstancePathResolver {
public:
    // The device instance id behind a device interface path.
    virtual std::wstring resolve(const std::wstring& interfacePath) const = 0;
    // Owners delete resolvers through this interface.
    virtual ~IDevInstancePathResolver() = default;
};

class IDevHandleGetter {
public:
    virtual DEVINST getDevNode(const std::wstring& instanceId, int locateFlag) const = 0;
    virtual ~IDevHandleGetter() = default;
};

class IDevPropGetter {
public:
    virtual ~IDevPropGetter() = default;
    virtual DevPropertyValue getProperty(const IDev& device, int id) const = 0;
};

} // namespace MoxCfgMgr
