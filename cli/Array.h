#pragma once
// The view of one RAID array.
#include <string>

#include "cli/PropertyFormatter.h"
#include "middleware/api/UviApi.h"

namespace MOX {

class Array {
public:
    explicit Array(const _UVI_ArrayInfo& info);
    virtual ~Array() = default;

    PropertyList getProperties() const;
    const _UVI_ArrayInfo& getInfo() const { return info_; }
    const std::string& getName() const { return name_; }
    const std::string& getStateText() const { return state_; }

private:
    _UVI_ArrayInfo info_;
    std::string name_, state_, size_, freeSpace_, writeCache_;
};

} // namespace MOX
