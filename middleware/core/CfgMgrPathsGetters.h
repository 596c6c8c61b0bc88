#pragma once
// Paths getters: each reads one list from the configuration manager when it is built and hands out
// copies of that snapshot; a new enumeration needs a new getter.
#include <string>
#include <vector>

#include "middleware/core/CfgMgrInterfaces.h"

namespace MoxCfgMgr {

// Device instance ids, by enumerator or by setup class.
class DevNodePathsGetter : public IDevPathsGetter {
public:
    static constexpr int kByEnumerator = 0;
    static constexpr int kBySetupClass = 1;

    // kByEnumerator: filter is the enumerator name ("SWD"); presentOnly does not apply. kBySetupClass:
    // the ids of setupClass, present ones only when presentOnly is 1. Any other mode: the filter as
    // given, without a filter flag.
    DevNodePathsGetter(int mode, int presentOnly, const GUID& setupClass, std::wstring filter);
    DevPaths getPaths() const override;

private:
    ULONG flags_ = 0;
    GUID setupClass_{};
    std::wstring filter_;
    std::vector<wchar_t> list_;
};

// The paths of the present device interfaces of one interface class.
class DevInterfacePathsGetter : public IDevPathsGetter {
public:
    explicit DevInterfacePathsGetter(const GUID& interfaceClass);
    DevPaths getPaths() const override;

private:
    ULONG flags_ = CM_GET_DEVICE_INTERFACE_LIST_PRESENT;
    GUID interfaceClass_{};
    std::vector<wchar_t> list_;
};

} // namespace MoxCfgMgr
