#include "cli/access/VolumeConfigOperations.h"

#include <algorithm>

namespace MOX {

namespace {

constexpr size_t kDefaultStripTableSize = 6;

Error DoesNotExist(const char* word, const std::string& key) {
    Error missing;
    missing.set(3, std::string(word) + " does not exist! Id: " + key);
    return missing;
}

} // namespace

uint32_t RaidLevelCodeOfNumber(int32_t level) {
    switch (level) {
    case 0:
        return UVI_RAID_LEVEL_0;
    case 1:
        return UVI_RAID_LEVEL_1;
    case 5:
        return UVI_RAID_LEVEL_5;
    case 10:
        return UVI_RAID_LEVEL_10;
    default:
        return 0;
    }
}

uint32_t StripSizeCodeOfKb(int32_t kilobytes) {
    switch (kilobytes) {
    case 4:
        return 2;
    case 8:
        return 4;
    case 16:
        return 8;
    case 32:
        return 16;
    case 64:
        return 32;
    case 128:
        return 64;
    default:
        return 0;
    }
}

uint32_t DefaultStripSize(const _UVI_RaidLevelInfo& limits, bool allSsd, size_t disks) {
    const uint32_t* table = allSsd ? limits.stripValues2 : limits.stripValues1;
    const size_t row = std::clamp<size_t>(disks, 1, kDefaultStripTableSize) - 1;
    return table[row];
}

size_t MaxDisksForStrip(const _UVI_RaidLevelInfo& limits, bool defaultStrip) {
    return defaultStrip ? std::min<size_t>(limits.maxDisks, kDefaultStripTableSize) : limits.maxDisks;
}

Error FirstEndDevice(CliSession& session, const std::string& id, EndDevice& view) {
    std::vector<EndDevice> views;
    Error result = session.GetEndDevices(views, id);
    if (result.isError())
        return result;
    if (views.empty())
        return DoesNotExist("End Device", id);
    view = views.front();
    return result;
}

Error FirstVolume(CliSession& session, const std::string& name, _UVI_VolumeInfo& info) {
    std::vector<Volume> views;
    Error result = session.GetVolumes(views, name);
    if (result.isError())
        return result;
    if (views.empty())
        return DoesNotExist("Volume", name);
    info = views.front().getInfo();
    return result;
}

Error CreateVolumeOnArray(const _UVI_VolumeCreateParams& params) {
    return FullConversion(CallUvi(UviVolumeCreate, &params));
}

Error CreateVolumeFromDisks(const _UVI_VolumeCreateFromDisksParams& params) {
    return FullConversion(CallUvi(UviVolumeCreateFromDisks, params));
}

Error AddDisksToArray(uint32_t arrayHandle, const std::vector<uint32_t>& diskHandles) {
    return FullConversion(CallUvi(UviAddDisksToArray, arrayHandle, diskHandles.data(),
                                  static_cast<unsigned int>(diskHandles.size())));
}

Error ExpandVolume(uint32_t volumeHandle) {
    return FullConversion(CallUvi(UviExpandVolume, volumeHandle));
}

Error RenameVolume(uint32_t volumeHandle, const std::string& newName) {
    return FullConversion(CallUvi(UviVolumeRename, volumeHandle, newName.c_str()));
}

Error ModifyRaidLevel(uint32_t volumeHandle, const _UVI_RaidLevelModifyParams& params) {
    return FullConversion(CallUvi(UviRaidLevelModify, volumeHandle, &params));
}

} // namespace MOX
