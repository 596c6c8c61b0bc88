#pragma once
// One device property value as the configuration manager returned it, with typed readers.
#include <cstdint>
#include <string>
#include <vector>

namespace MoxCfgMgr {

struct DevPropertyValue {
    static constexpr int kString = 1;
    static constexpr int kUint32 = 2;
    static constexpr int kStringList = 3;
    static constexpr int kBoolean = 4;
    static constexpr int kGuid = 5;

    int kind = 0;
    std::vector<uint8_t> bytes;

    // Each reader throws CfgMgrException for a value of another kind or without enough bytes.
    std::wstring asString() const;
    uint32_t asUint32() const;
    std::vector<std::wstring> asStringList() const;
    bool asBool() const;
};

} // namespace MoxCfgMgr
