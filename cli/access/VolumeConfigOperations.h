#pragma once
// What the create and modify modes ask of the library beyond the session's reads and views: the
// volume changes, the first view of a look-up, and the RAID level codes and limits both check.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/access/CliSession.h"
#include "middleware/api/UviVolumeCreation.h"
#include "middleware/api/UviVolumeOperations.h"

namespace MOX {

// The level code of a RAID level number (0, 1, 5, 10); 0 for any other number.
uint32_t RaidLevelCodeOfNumber(int32_t level);
// The strip size code of a size in KB (4 to 128); 0 for any other size.
uint32_t StripSizeCodeOfKb(int32_t kilobytes);

// The level's default strip size code for a volume of `disks` members. The record's tables cover
// one to six members; larger volumes take the six-member default, and the maximum below refuses
// them when that default is what the volume would get.
uint32_t DefaultStripSize(const _UVI_RaidLevelInfo& limits, bool allSsd, size_t disks);
size_t MaxDisksForStrip(const _UVI_RaidLevelInfo& limits, bool defaultStrip);

// The first view a look-up by id or name gives; a look-up that finds nothing is "does not exist".
Error FirstEndDevice(CliSession& session, const std::string& id, EndDevice& view);
Error FirstVolume(CliSession& session, const std::string& name, _UVI_VolumeInfo& info);

Error CreateVolumeOnArray(const _UVI_VolumeCreateParams& params);
Error CreateVolumeFromDisks(const _UVI_VolumeCreateFromDisksParams& params);
Error AddDisksToArray(uint32_t arrayHandle, const std::vector<uint32_t>& diskHandles);
Error ExpandVolume(uint32_t volumeHandle);
Error RenameVolume(uint32_t volumeHandle, const std::string& newName);
Error ModifyRaidLevel(uint32_t volumeHandle, const _UVI_RaidLevelModifyParams& params);

} // namespace MOX
