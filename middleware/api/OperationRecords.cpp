// The volume record as the volume operations read it. The volume query fills it when it is linked in
// (the reference is weak so that the operations build before it); until then the operations read the
// few fields they decide on from the session's records themselves.
#include <cstring>
#include <memory>

#include "middleware/api/UviVolumeRecords.h"
#include "middleware/api/VolumeOperations.h"
#include "middleware/api/VolumeStateRules.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"

__attribute__((weak)) CConsolidatedError internalUviGetVolumeInfo(Session& session, uint32_t volumeHandle,
                                                                  _UVI_VolumeInfo& info);

namespace {

// Volume record words.
constexpr size_t kRawLevel = 24;
constexpr size_t kDiskCount = 40;
constexpr size_t kDomains = 80;
constexpr size_t kRawState = 100;
constexpr size_t kInitWord = 104;
constexpr size_t kFlags = 108;
// Device information: bit 0 of this byte marks the system volume.
constexpr size_t kSystemByte = 16;

CConsolidatedError UnknownHandle(const char* what) {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::GENERAL_INVALID_VALUE, what);
    return error;
}

// Name, handles, state (recovery volumes aside), initialised and system flags, level.
CConsolidatedError VolumeFromSession(Session& session, uint32_t volumeHandle, _UVI_VolumeInfo& info) {
    const std::shared_ptr<RaidVolume> volume = session.getVolumeByHandle(volumeHandle);
    if (!volume)
        return UnknownHandle("Invalid Handle passed in to internalUviGetVolumeInfo");
    info = _UVI_VolumeInfo{};
    info.handle = volumeHandle;
    info.controllerHandle = volume->getControllerHandle();
    if (const auto array = volume->getArray())
        info.arrayHandle = array->getHandle();
    if (!volume->getRecord())
        return CConsolidatedError();
    std::memcpy(info.name, volume->getRecord() + RaidVolume::kName, RaidVolume::kNameSize);
    const uint32_t flags = volume->getRecordWord(kFlags);
    info.state = volume_rules::BaseVolumeState(volume->getRecordWord(kRawState), flags);
    info.initialized =
        (flags & volume_rules::kFlagNotInitialized) == 0 && volume->getRecordWord(kInitWord) != 1;
    info.raidLevel =
        volume_rules::ComputeRaidLevel(volume->getRecordWord(kRawLevel), volume->getRecordWord(kDomains),
                                       volume->getRecordWord(kDiskCount), flags, false)
            .code;
    if (volume->getDeviceInfo())
        info.systemVolume = volume->getDeviceInfo()[kSystemByte] & 1;
    return CConsolidatedError();
}

} // namespace

CConsolidatedError ReadVolumeRecord(Session& session, uint32_t volumeHandle, _UVI_VolumeInfo& info) {
    return internalUviGetVolumeInfo ? internalUviGetVolumeInfo(session, volumeHandle, info)
                                    : VolumeFromSession(session, volumeHandle, info);
}
