#include "middleware/ioctl/RaidConfigSetters.h"

#include <cstring>

#include "middleware/ioctl/RaidConfigText.h"
#include "platform/win/WinError.h"

namespace {

// A set of one 32-bit field: the framed buffer of 84 bytes, no minimum answer.
constexpr uint32_t kWordLength = 4;
constexpr DWORD kWordBuffer = CIoctlRaidGetSetConfig::kFramedDataOffset + kWordLength;

CConsolidatedError OutOfMemory(const char* where) {
    CConsolidatedError e;
    e.SetError(KEDO2_ERROR_TYPE_WIN32, ERROR_OUTOFMEMORY, where);
    return e;
}

} // namespace

CIoctlRaidCfg_ClearErrorNum::CIoctlRaidCfg_ClearErrorNum(HANDLE target)
    : CIoctlRaidSetValue(0, target, RAID_FIELD_ERROR_NUMBER, SET_DIRECTION, kWordBuffer, kWordLength, 0) {}

CIoctlRaidCfg_SetDiskIndex::CIoctlRaidCfg_SetDiskIndex(HANDLE target, uint32_t diskIndex)
    : CIoctlRaidSetValue(diskIndex, target, RAID_FIELD_DISK_INDEX, SET_DIRECTION, kWordBuffer, kWordLength,
                         0) {}

CIoctlRaidCfg_SetTrigger::CIoctlRaidCfg_SetTrigger(HANDLE target, uint32_t triggerKind)
    : CIoctlRaidSetValue(triggerKind, target, RAID_FIELD_TRIGGER, SET_DIRECTION, kWordBuffer, kWordLength,
                         0) {}

CIoctlRaidCfg_SetArrayIndex::CIoctlRaidCfg_SetArrayIndex(HANDLE target, uint32_t arrayIndex)
    : CIoctlRaidSetValue(arrayIndex, target, RAID_FIELD_ARRAY_INDEX, SET_DIRECTION, kWordBuffer, kWordLength,
                         0) {}

CIoctlRaidVolume_SetAction::CIoctlRaidVolume_SetAction(HANDLE target, uint32_t volumeIndex, uint32_t action)
    : CIoctlRaidSetValue(action, target, volumeIndex, RAID_FIELD_VOLUME_ACTION, SET_DIRECTION, kWordBuffer,
                         kWordLength, 0) {}

CIoctlRaidDisk_SetCheckbox::CIoctlRaidDisk_SetCheckbox(HANDLE target, uint32_t diskIndex, uint8_t checked)
    : CIoctlRaidSetValue(checked, target, diskIndex, RAID_FIELD_DISK_CHECKBOX, SET_DIRECTION, kWordBuffer,
                         kWordLength, 0) {}

CIoctlRaidDisk_SetAction::CIoctlRaidDisk_SetAction(HANDLE target, uint32_t diskIndex, uint32_t action)
    : CIoctlRaidSetValue(action, target, diskIndex, RAID_FIELD_DISK_ACTION, SET_DIRECTION, kWordBuffer,
                         kWordLength, 0) {}

CIoctlRaidDeviceCfg_SetActionArg::CIoctlRaidDeviceCfg_SetActionArg(HANDLE target, uint32_t diskIndex,
                                                                   uint32_t argument)
    : CIoctlRaidSetValue(argument, target, diskIndex, RAID_FIELD_DISK_ACTION_ARG, SET_DIRECTION, kWordBuffer,
                         kWordLength, 0) {}

CIoctlRaidArray_SetCachePolicy::CIoctlRaidArray_SetCachePolicy(HANDLE target, uint32_t arrayIndex,
                                                               uint8_t policy)
    : CIoctlRaidSetValue(policy, target, arrayIndex, RAID_FIELD_ARRAY_CACHE_POLICY, SET_DIRECTION,
                         kWordBuffer, kWordLength, 0) {}

CIoctlRaidDeviceCfg_SetAction::CIoctlRaidDeviceCfg_SetAction(HANDLE target, uint32_t volumeIndex,
                                                             uint32_t action)
    : CIoctlRaidSetValue(action, target, volumeIndex, RAID_FIELD_DEVICE_ACTION, SET_DIRECTION, kWordBuffer,
                         kWordLength, 0) {}

CIoctlRaidDeviceCfg_SetSerialNumber::CIoctlRaidDeviceCfg_SetSerialNumber(HANDLE target, uint32_t volumeIndex)
    : CIoctlRaidDeviceCfg(target, volumeIndex, RAID_FIELD_DEVICE_SERIAL_NUMBER, SET_DIRECTION,
                          kFramedDataOffset + kIxoTextLength, kIxoTextLength, 0) {}

void CIoctlRaidDeviceCfg_SetSerialNumber::ValueToSet(const char* text, uint32_t length) {
    m_ValueToSet.clear();
    CConsolidatedError check = ValidateSerialNumber(text, length);
    if (check.IsError())
        throw check;
    try {
        std::vector<uint8_t> value(kIxoTextLength, 0);
        std::memcpy(value.data(), text, strnlen(text, length));
        m_ValueToSet = std::move(value);
    } catch (const std::bad_alloc&) {
        throw OutOfMemory("Malloc returned null in CIoctlRaidDeviceCfg_SetSerialNumber::ValueToSet");
    }
}

CConsolidatedError CIoctlRaidDeviceCfg_SetSerialNumber::_realFormatSetData(BYTE* groupData) {
    if (m_ValueToSet.empty()) {
        CConsolidatedError e;
        e.SetError(CConsolidatedError::IOCTL_NEW_VALUE_NOT_SET,
                   "_valueToSet is null inCIoctlRaidDeviceCfg_SetSerialNumber::_realFormatSetData");
        throw e;
    }
    std::memcpy(groupData, m_ValueToSet.data(), kIxoTextLength);
    return CConsolidatedError();
}

CIoctlRaidNewVolumeGroup_SetGroup::CIoctlRaidNewVolumeGroup_SetGroup(HANDLE target)
    : CIoctlRaidNewVolumeGroup(target, kRaidAllFields, SET_DIRECTION, kFramedDataOffset + kDataLength,
                               kDataLength, 0) {}

void CIoctlRaidNewVolumeGroup_SetGroup::ValuesToSet(const char* name, uint32_t length, uint32_t sizeInMB,
                                                    uint32_t stripSizeInKB, uint32_t raidLevel,
                                                    uint32_t numMemberDisks, uint32_t numDomainsOrMirrors,
                                                    uint32_t optionWord) {
    m_SerialNumber.clear();
    CConsolidatedError check = ValidateSerialNumber(name, length);
    if (check.IsError())
        throw check;
    try {
        std::vector<uint8_t> value(kIxoTextLength, 0);
        std::memcpy(value.data(), name, strnlen(name, length));
        m_SerialNumber = std::move(value);
    } catch (const std::bad_alloc&) {
        throw OutOfMemory("Malloc returned null in CIoctlRaidNewVolumeGroup_SetGroup::ValuesToSet");
    }
    const uint32_t values[6] = {sizeInMB,       stripSizeInKB,       raidLevel,
                                numMemberDisks, numDomainsOrMirrors, optionWord};
    std::memcpy(m_Values, values, sizeof(m_Values));
}

CConsolidatedError CIoctlRaidNewVolumeGroup_SetGroup::_realFormatSetData(BYTE* groupData) {
    if (m_SerialNumber.empty()) {
        CConsolidatedError e;
        e.SetError(CConsolidatedError::IOCTL_NEW_VALUE_NOT_SET,
                   "_serialNumber is null inCIoctlRaidNewVolumeGroup_SetGroup::_realFormatSetData");
        throw e;
    }
    const uint32_t groupLength = kDataLength;
    std::memcpy(groupData, &groupLength, sizeof(groupLength));
    std::memcpy(groupData + 4, m_SerialNumber.data(), kIxoTextLength);
    std::memcpy(groupData + 4 + kIxoTextLength, m_Values, sizeof(m_Values));
    return CConsolidatedError();
}

CIoctlRaidSetField::CIoctlRaidSetField(HANDLE target, uint32_t volumeIndex, uint32_t fieldIndex,
                                       const void* bytes, uint32_t count)
    : CIoctlRaidGetSetConfig(target, RDEV_CFG_GROUP_NO, volumeIndex, 0, 0, 0, fieldIndex, SET_DIRECTION,
                             kFramedDataOffset + count, count, 0),
      m_Bytes(bytes) {}

CConsolidatedError CIoctlRaidSetField::_realFormatSetData(BYTE* groupData) {
    if (m_DataTransferLength != 0 && m_Bytes)
        std::memcpy(groupData, m_Bytes, m_DataTransferLength);
    return CConsolidatedError();
}

CIoctlNvCacheDisableBCD::CIoctlNvCacheDisableBCD(HANDLE target)
    : CIoctlRaidGetSetConfig(target, RIXO_NV_CACHE_INFO_GROUP_NO, 0, 0, 0, 0, RAID_FIELD_NV_CACHE_DISABLE_BCD,
                             SET_DIRECTION, kWordBuffer, kWordLength, 0) {}

CConsolidatedError CIoctlNvCacheDisableBCD::_realFormatSetData(BYTE* groupData) {
    std::memset(groupData, 0, kWordLength);
    std::memcpy(groupData, &m_Disable, sizeof m_Disable);
    return CConsolidatedError();
}

CIoctlRaidCfg_GetROHIPolicy::CIoctlRaidCfg_GetROHIPolicy(HANDLE target)
    : CIoctlRaidCfgGroup(target, RAID_FIELD_ROHI_POLICY, GET_DIRECTION, kWordBuffer, kWordLength, 0) {}

uint32_t CIoctlRaidCfg_GetROHIPolicy::GetPolicy() {
    uint32_t value = 0;
    std::memcpy(&value, GetGroupData(), sizeof(value));
    return value;
}
