// The volume and array records as the volume and array operations read them. The queries fill them
// when they are linked in (the references are weak so that the operations build before them); until
// then the operations read the few fields they decide on from the session's records themselves.
#include <cstring>
#include <memory>

#include "middleware/api/UviArrayRecords.h"
#include "middleware/api/UviVolumeRecords.h"
#include "middleware/api/VolumeOperations.h"
#include "middleware/api/VolumeStateRules.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"

__attribute__((weak)) CConsolidatedError internalUviGetVolumeInfo(Session& session, uint32_t volumeHandle,
                                                                  _UVI_VolumeInfo& info);
__attribute__((weak)) CConsolidatedError fillArrayInfo(Session& session, uint32_t arrayHandle,
                                                       _UVI_ArrayInfo* info);

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
// Array record: bit 0 of this byte is the write cache.
constexpr size_t kArrayFlagByte = 28;

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

// Handle, write cache and volume count.
CConsolidatedError ArrayFromSession(Session& session, uint32_t arrayHandle, _UVI_ArrayInfo& info) {
    const std::shared_ptr<RaidArray> array = session.getArrayByHandle(arrayHandle);
    if (!array)
        return UnknownHandle("Invalid Handle passed in internalUviArrayInfo");
    info = _UVI_ArrayInfo{};
    info.handle = arrayHandle;
    info.controllerHandle = array->getControllerHandle();
    if (!array->getRecord()) {
        CConsolidatedError error;
        error.SetError(CConsolidatedError::UVI_INTERNALERROR, "No Valid RaidArrayGroup inside fillArrayInfo");
        return error;
    }
    info.writeCache = (array->getRecord()[kArrayFlagByte] & 1) + 1u;
    info.numDisks = array->getRecordWord(RaidArray::kNumDisks);
    info.numVolumes = array->getRecordWord(RaidArray::kNumRaidDevs);
    return CConsolidatedError();
}

} // namespace

CConsolidatedError ReadVolumeRecord(Session& session, uint32_t volumeHandle, _UVI_VolumeInfo& info) {
    return internalUviGetVolumeInfo ? internalUviGetVolumeInfo(session, volumeHandle, info)
                                    : VolumeFromSession(session, volumeHandle, info);
}

CConsolidatedError ReadArrayRecord(Session& session, uint32_t arrayHandle, _UVI_ArrayInfo& info) {
    return fillArrayInfo ? fillArrayInfo(session, arrayHandle, &info)
                         : ArrayFromSession(session, arrayHandle, info);
}
