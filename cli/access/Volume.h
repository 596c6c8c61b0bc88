#pragma once
// The view of one RAID volume, with the NV cache of its controller.
#include <string>

#include "cli/PropertyFormatter.h"
#include "middleware/api/UviApi.h"

namespace MOX {

class Volume {
public:
    Volume(const _UVI_VolumeInfo& info, const _UVI_NvcInfo& nvc, std::string name);
    virtual ~Volume() = default;

    PropertyList getProperties() const;
    const std::string& getName() const { return name_; }
    const _UVI_VolumeInfo& getInfo() const { return info_; }

private:
    _UVI_VolumeInfo info_;
    _UVI_NvcInfo nvc_;
    std::string name_;
};

} // namespace MOX
