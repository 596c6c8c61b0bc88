#include "cli/access/Volume.h"

#include <utility>

#include "cli/Serializable.h"
#include "cli/ValueTexts.h"

namespace MOX {

namespace {

std::string CachePolicyText(uint32_t policy) {
    static const char* const texts[] = {nullptr, "Off", "WT", "WB", "R"};
    return policy >= 1 && policy <= 4 ? texts[policy] : "Unknown";
}

} // namespace

Volume::Volume(const _UVI_VolumeInfo& info, const _UVI_NvcInfo& nvc, std::string name)
    : info_(info), nvc_(nvc), name_(std::move(name)) {}

PropertyList Volume::getProperties() const {
    // A pairing volume has no RAID level, strip or cache policy of its own to show.
    const bool levelShown = info_.raidLevel != UVI_RAID_LEVEL_PAIRING;
    PropertyList properties = {{"Name", name_}};
    if (levelShown)
        properties.emplace_back("Raid Level", RaidLevelToText(info_.raidLevel));
    properties.emplace_back("Size", SizeToText(info_.sizeInBytes) + " GB");
    if (levelShown)
        properties.emplace_back("StripeSize", StripeSizeToText(info_.stripSizeCode));
    properties.emplace_back("Num Disks", UIntToText(info_.numDisks));
    properties.emplace_back("State", VolumeStateToText(info_.state));
    const bool cacheVolume = info_.isBlockCacheVolume != 0;
    const bool dataVolume = info_.isPairingVolume != 0;
    if (cacheVolume || dataVolume) {
        std::string usage = "Unknown";
        if (info_.raidLevel == UVI_RAID_LEVEL_0_SINGLE)
            usage = dataVolume ? "Data volume" : "Cache volume";
        properties.emplace_back("Usage", usage);
    }
    if (info_.isAcceleratedVolume != 0)
        properties.emplace_back("Acceleration Mode",
                                AccelerationModeToText(static_cast<uint32_t>(nvc_.mode)));
    properties.emplace_back("System", BoolText(info_.systemVolume != 0));
    properties.emplace_back("Initialized", BoolText(info_.initialized != 0));
    if (levelShown)
        properties.emplace_back("Cache Policy", CachePolicyText(info_.cachePolicy));
    return properties;
}

} // namespace MOX
