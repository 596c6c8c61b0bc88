#include "cli/Array.h"

#include "cli/Serializable.h"
#include "cli/ValueTexts.h"

namespace MOX {

Array::Array(const _UVI_ArrayInfo& info)
    : info_(info), name_(RecordText(info.name)), size_(SizeToText(info.sizeInBytes) + " GB"),
      freeSpace_(SizeToText(info.availableSizeInBytes) + " GB") {
    if (info.state == 1)
        state_ = "Normal";
    else if (info.state >= 2 && info.state <= 7)
        state_ = "Busy";
    else
        state_ = "Unknown";
    writeCache_ = info.writeCache == 1 ? "Off" : info.writeCache == 2 ? "On" : "Unknown";
}

PropertyList Array::getProperties() const {
    PropertyList properties = {
        {"Name", name_},
        {"Size", size_},
        {"Space available for new volumes", freeSpace_},
        {"Number of disks", UIntToText(info_.numDisks)},
    };
    // The array of a cache-memory pair has no volumes of its own to count.
    if (name_.find("Array_Orvex_Halvex") == std::string::npos)
        properties.emplace_back("Number of volumes", UIntToText(info_.numVolumes));
    properties.emplace_back("Write Cache", writeCache_);
    return properties;
}

} // namespace MOX
