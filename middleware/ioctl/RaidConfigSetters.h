#pragma once
// Requests that change one field of the driver's RAID metadata (Direction 1), the whole-record set
// of the new-volume group, and the single-field get of the ROHI policy. Each sends the framed buffer
// of 80 bytes plus its data and is checked like every RAID get/set request, without group checks.
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "middleware/ioctl/RaidConfig.h"

// Field keys of the driver's RAID metadata interface that the library writes.
enum RaidFieldIndex : uint32_t {
    RAID_FIELD_ERROR_NUMBER = 37,
    RAID_FIELD_DISK_INDEX = 40,
    RAID_FIELD_TRIGGER = 42,
    RAID_FIELD_ARRAY_INDEX = 44,
    RAID_FIELD_ROHI_POLICY = 54,
    RAID_FIELD_VOLUME_ACTION = 77,
    RAID_FIELD_DISK_CHECKBOX = 102,
    RAID_FIELD_DISK_ACTION = 107,
    RAID_FIELD_DISK_ACTION_ARG = 122,
    RAID_FIELD_ARRAY_CACHE_POLICY = 169,
    RAID_FIELD_DEVICE_SERIAL_NUMBER = 418,
    RAID_FIELD_DEVICE_ACTION = 434,
    RAID_FIELD_DEVICE_WIDE_VALUE = 440,
    RAID_FIELD_NV_CACHE_DISABLE_BCD = 620,
};

// The 4-byte setters: the value goes to the start of the group data. Base is the group class.
template <class Base> class CIoctlRaidSetValue : public Base {
public:
    uint32_t GetValueToSet() const { return m_Value; }

protected:
    template <class... Args>
    CIoctlRaidSetValue(uint32_t value, Args&&... args) : Base(std::forward<Args>(args)...), m_Value(value) {}

    CConsolidatedError _realFormatSetData(BYTE* groupData) override {
        std::memcpy(groupData, &m_Value, sizeof(m_Value));
        return CConsolidatedError();
    }

    uint32_t m_Value;
};

class CIoctlRaidCfg_ClearErrorNum : public CIoctlRaidSetValue<CIoctlRaidCfgGroup> {
    MOX_RUNTIME_CLASS("class CIoctlRaidCfg_ClearErrorNum")

public:
    explicit CIoctlRaidCfg_ClearErrorNum(HANDLE target);
};

class CIoctlRaidCfg_SetDiskIndex : public CIoctlRaidSetValue<CIoctlRaidCfgGroup> {
    MOX_RUNTIME_CLASS("class CIoctlRaidCfg_SetDiskIndex")

public:
    CIoctlRaidCfg_SetDiskIndex(HANDLE target, uint32_t diskIndex);
};

class CIoctlRaidCfg_SetTrigger : public CIoctlRaidSetValue<CIoctlRaidCfgGroup> {
    MOX_RUNTIME_CLASS("class CIoctlRaidCfg_SetTrigger")

public:
    CIoctlRaidCfg_SetTrigger(HANDLE target, uint32_t triggerKind);
};

class CIoctlRaidCfg_SetArrayIndex : public CIoctlRaidSetValue<CIoctlRaidCfgGroup> {
    MOX_RUNTIME_CLASS("class CIoctlRaidCfg_SetArrayIndex")

public:
    CIoctlRaidCfg_SetArrayIndex(HANDLE target, uint32_t arrayIndex);
};

class CIoctlRaidVolume_SetAction : public CIoctlRaidSetValue<CIoctlRaidVolumeGroup> {
    MOX_RUNTIME_CLASS("class CIoctlRaidVolume_SetAction")

public:
    CIoctlRaidVolume_SetAction(HANDLE target, uint32_t volumeIndex, uint32_t action);
};

class CIoctlRaidDisk_SetCheckbox : public CIoctlRaidSetValue<CIoctlRaidDiskGroup> {
    MOX_RUNTIME_CLASS("class CIoctlRaidDisk_SetCheckbox")

public:
    // The mark travels as one byte, zero-extended to the field's 32 bits.
    CIoctlRaidDisk_SetCheckbox(HANDLE target, uint32_t diskIndex, uint8_t checked);
};

class CIoctlRaidDisk_SetAction : public CIoctlRaidSetValue<CIoctlRaidDiskGroup> {
    MOX_RUNTIME_CLASS("class CIoctlRaidDisk_SetAction")

public:
    CIoctlRaidDisk_SetAction(HANDLE target, uint32_t diskIndex, uint32_t action);
};

class CIoctlRaidDeviceCfg_SetActionArg : public CIoctlRaidSetValue<CIoctlRaidDiskGroup> {
    MOX_RUNTIME_CLASS("class CIoctlRaidDeviceCfg_SetActionArg")

public:
    CIoctlRaidDeviceCfg_SetActionArg(HANDLE target, uint32_t diskIndex, uint32_t argument);
};

class CIoctlRaidArray_SetCachePolicy : public CIoctlRaidSetValue<CIoctlRaidArrayGroup> {
    MOX_RUNTIME_CLASS("class CIoctlRaidArray_SetCachePolicy")

public:
    // The policy travels as one byte, zero-extended.
    CIoctlRaidArray_SetCachePolicy(HANDLE target, uint32_t arrayIndex, uint8_t policy);
};

class CIoctlRaidDeviceCfg_SetAction : public CIoctlRaidSetValue<CIoctlRaidDeviceCfg> {
    MOX_RUNTIME_CLASS("class CIoctlRaidDeviceCfg_SetAction")

public:
    CIoctlRaidDeviceCfg_SetAction(HANDLE target, uint32_t volumeIndex, uint32_t action);
};

// A volume's new name (field 418 of its device configuration).
class CIoctlRaidDeviceCfg_SetSerialNumber : public CIoctlRaidDeviceCfg {
    MOX_RUNTIME_CLASS("class CIoctlRaidDeviceCfg_SetSerialNumber")

public:
    CIoctlRaidDeviceCfg_SetSerialNumber(HANDLE target, uint32_t volumeIndex);
    // Checks the name (ValidateSerialNumber) and keeps it zero-padded to 16 bytes; throws the
    // check's error and keeps nothing then.
    void ValueToSet(const char* text, uint32_t length);

protected:
    CConsolidatedError _realFormatSetData(BYTE* groupData) override;

private:
    std::vector<uint8_t> m_ValueToSet;
};

// The whole new-volume record: GroupLength 44, the name, then SizeInMB, StripSizeInKB, RaidLevel,
// NumMemberDisks, NumDomainsOrMirrors and the option word.
class CIoctlRaidNewVolumeGroup_SetGroup : public CIoctlRaidNewVolumeGroup {
    MOX_RUNTIME_CLASS("class CIoctlRaidNewVolumeGroup_SetGroup")

public:
    explicit CIoctlRaidNewVolumeGroup_SetGroup(HANDLE target);
    // Checks the name and keeps it with the six values; throws the check's error and keeps nothing.
    void ValuesToSet(const char* name, uint32_t length, uint32_t sizeInMB, uint32_t stripSizeInKB,
                     uint32_t raidLevel, uint32_t numMemberDisks, uint32_t numDomainsOrMirrors,
                     uint32_t optionWord);

protected:
    CConsolidatedError _realFormatSetData(BYTE* groupData) override;

private:
    std::vector<uint8_t> m_SerialNumber;
    uint32_t m_Values[6] = {};
};

// The caller's 4 or 8 bytes, copied as they stand into a field of a volume's device configuration
// (field 434 or 440). The bytes must stay valid until the request is invoked.
class CIoctlRaidSetField : public CIoctlRaidGetSetConfig {
    MOX_RUNTIME_CLASS("class CIoctlRaidSetField")

public:
    CIoctlRaidSetField(HANDLE target, uint32_t volumeIndex, uint32_t fieldIndex, const void* bytes,
                       uint32_t count);

protected:
    CConsolidatedError _realFormatSetData(BYTE* groupData) override;

private:
    const void* m_Bytes;
};

// Turns the NV cache's boot-time cache off (field 620 of the NV cache information, value 0).
class CIoctlNvCacheDisableBCD : public CIoctlRaidGetSetConfig {
    MOX_RUNTIME_CLASS("class CIoctlNvCacheDisableBCD")

public:
    explicit CIoctlNvCacheDisableBCD(HANDLE target);
    // 1 disables the boot-critical-data option, 0 enables it again; 0 until set.
    void SetDisable(uint32_t disable) { m_Disable = disable; }

protected:
    CConsolidatedError _realFormatSetData(BYTE* groupData) override;

private:
    uint32_t m_Disable = 0;
};

// The ROHI policy field alone (a get of field 54 in an 84-byte buffer).
class CIoctlRaidCfg_GetROHIPolicy : public CIoctlRaidCfgGroup {
    MOX_RUNTIME_CLASS("class CIoctlRaidCfg_GetROHIPolicy")

public:
    explicit CIoctlRaidCfg_GetROHIPolicy(HANDLE target);
    // The field's value at the start of the answer's group data; verifies and throws.
    uint32_t GetPolicy();
};
