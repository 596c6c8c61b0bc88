#pragma once
// The RAID get/set configuration request (signature "OrvexRdp", control code 0xC3512010): one
// group of the driver's RAID metadata, one instance of it, one field or the whole group, get or
// set. The group data follows the 52-byte GET_SET_RAID_PARAMS block; the driver answers in the
// same buffer with a status.
//
// Framed form: SRB_IO_CONTROL at 0, the block at 28, the group data at 80. Direct form (the
// process-wide direct mode, set when the driver refuses the framed request with Win32 error 87):
// the block at 0 and the group data at 52, sent as device control code 0xC3512010; the buffer
// keeps its framed size.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "middleware/ioctl/CIoctScsiMiniport.h"
#include "platform/win/WinDeviceIo.h"

static_assert(IOCTL_RAID_GET_SET_CONFIG == 0xC3512010);
inline constexpr const char kRaidPortSignature[] = "OrvexRdp";

struct GET_SET_RAID_PARAMS {
    uint32_t Length;
    uint32_t GroupId;
    uint32_t InstanceId[4];
    uint32_t Reserved[2];
    uint32_t FieldIndex;
    uint32_t Direction;
    uint32_t DataOffset;
    uint32_t DataTransferLength;
    uint32_t Status;
};
static_assert(sizeof(GET_SET_RAID_PARAMS) == 52);
static_assert(offsetof(GET_SET_RAID_PARAMS, GroupId) == 4);
static_assert(offsetof(GET_SET_RAID_PARAMS, InstanceId) == 8);
static_assert(offsetof(GET_SET_RAID_PARAMS, FieldIndex) == 32);
static_assert(offsetof(GET_SET_RAID_PARAMS, Direction) == 36);
static_assert(offsetof(GET_SET_RAID_PARAMS, DataOffset) == 40);
static_assert(offsetof(GET_SET_RAID_PARAMS, DataTransferLength) == 44);
static_assert(offsetof(GET_SET_RAID_PARAMS, Status) == 48);

enum RaidDirection : uint32_t {
    GET_DIRECTION = 0,
    SET_DIRECTION = 1,
};

// GroupId and Direction before a request sets them.
constexpr uint32_t kRaidValueNotSet = 0xFFFF;
// FieldIndex of a whole-group request.
constexpr uint32_t kRaidAllFields = 0xFFFFFFFF;

enum RaidGroupId : uint32_t {
    RIXO_VERSION_GROUP_NO = 0,
    RIXO_CFG_GROUP_NO = 1,
    RIXO_VOLUME_TABLE_GROUP_NO = 2,
    RIXO_DISK_TABLE_GROUP_NO = 3,
    RIXO_NEW_VOLUME_GROUP_NO = 4,
    RIXO_ARRAY_TABLE_GROUP_NO = 5,
    RIXO_ARRAY_DISK_TABLE_GROUP_NO = 6,
    RIXO_ARRAY_RDEV_TABLE_GROUP_NO = 7,
    DISK_PARTITION_TABLE_GROUP_NO = 8,
    RDEV_IDENTITY_GROUP_NO = 9,
    RDEV_DEVICE_INFO_GROUP_NO = 10,
    RDEV_OPERATIONAL_CONTROL_GROUP_NO = 11,
    RDEV_ERROR_LOG_TABLE_GROUP_NO = 12,
    RDEV_CFG_GROUP_NO = 13,
    RDEV_RVOL_TABLE_GROUP_NO = 14,
    RDEV_RMAP_TABLE_GROUP_NO = 15,
    RDEV_MEM_DISK_TABLE_GROUP_NO = 16,
    RDEV_NV_CACHE_POLICY_STATS_GROUP_NO = 17,
    RDEV_NV_CACHE_STATS_GROUP_NO = 18,
    RIXO_NV_CACHE_INFO_GROUP_NO = 19,
    RDEV_NV_CACHE_INFO_GROUP_NO = 20,
    RDEV_REFRESH_PARTITION_INFO_NO = 22,
    RDEV_NV_CACHE_STATS2_GROUP_NO = 23,
    RIXO_AOAC_INFO_GROUP_NO = 24,
    RDEV_NV_CACHE_UNIFIED_STATS_GROUP_NO = 25,
};

// Requests of the driver's RAID interface: signature "OrvexRdp", expected ReturnCode 0.
class CIoctlRaidPort : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlRaidPort")

public:
    CIoctlRaidPort(HANDLE target, DWORD srbControlCode, DWORD size, DWORD minimumAnswer);
};

class CIoctlRaidGetSetConfig : public CIoctlRaidPort {
    MOX_RUNTIME_CLASS("class CIoctlRaidGetSetConfig")

public:
    static constexpr DWORD kParamsOffset = 28;
    static constexpr DWORD kFramedDataOffset = 80;
    static constexpr DWORD kDirectDataOffset = 52;

    CIoctlRaidGetSetConfig(HANDLE target, uint32_t groupId, uint32_t instance0, uint32_t instance1,
                           uint32_t instance2, uint32_t instance3, uint32_t fieldIndex, uint32_t direction,
                           DWORD bufferSize, uint32_t dataTransferLength, DWORD minimumAnswer);

    // The group data inside the answer; verifies first and throws the verification's error. Valid
    // while the request lives.
    BYTE* GetGroupData();
    // Copies the first 132 bytes of the group data (a volume record); verifies and throws.
    void GetGroupRecord(void* record132);
    // The 16-character text at group-data offset 4 (a volume's name, an array member's serial
    // number), by the copy rule of CopyIxoSerialNumber; verifies and throws.
    uint32_t CopyGroupSerialNumber(char* buffer, uint32_t length);

    uint32_t GetGroupId() const { return m_GroupId; }
    const uint32_t* GetInstanceId() const { return m_InstanceId; }
    uint32_t GetFieldIndex() const { return m_FieldIndex; }
    uint32_t GetDirection() const { return m_Direction; }
    uint32_t GetDataTransferLength() const { return m_DataTransferLength; }
    // Whether the request was formatted in the direct form (the answer's data then starts at 52).
    bool IsDirectForm() const { return m_DirectForm; }
    // Offset of the group data in the buffers, as the request was formatted.
    DWORD GroupDataOffset() const { return m_DirectForm ? kDirectDataOffset : kFramedDataOffset; }

    std::string Describe() const override;

protected:
    CConsolidatedError _realFormatInputBuffer() override;
    CConsolidatedError _realInvoke() override;
    CConsolidatedError _realVerify() override;
    // Writes the data of a set request at the start of the group data; the base has none.
    virtual CConsolidatedError _realFormatSetData(BYTE* groupData);

    // The answer's group data without verification, for the group checks; null when the answer
    // buffer cannot hold the group.
    const BYTE* AnswerGroupData() const;
    // Reads a 32-bit word of the answer's group data (the group checks only read inside the group).
    uint32_t GroupWord(size_t offset) const;
    // The group's own checks, run after the base checks when m_GroupChecks is set.
    virtual CConsolidatedError CheckGroup() const { return CConsolidatedError(); }
    // A failed group check: 0xA0040405 with the message.
    static CConsolidatedError GroupCheckFailure(const char* format, ...)
        __attribute__((format(printf, 1, 2)));
    // An upper bound of one group word and the message of its failure, whose format takes the
    // group's name (when one is given), the bound and the reported value.
    struct GroupLimit {
        size_t offset;
        uint32_t max;
        const char* format;
    };
    // The first bound the answer exceeds, as a group check failure; success when none.
    CConsolidatedError CheckGroupLimits(std::initializer_list<GroupLimit> limits,
                                        const char* where = nullptr) const;

    uint32_t m_GroupId;
    uint32_t m_InstanceId[4];
    uint32_t m_FieldIndex;
    uint32_t m_Direction;
    uint32_t m_DataTransferLength;
    // A non-zero status in the answer is an error.
    bool m_CheckStatus = true;
    bool m_GroupChecks = false;
    bool m_DirectForm = false;
};

// ---- group reads ----
// A group class built by index checks its record after the base checks; its general constructor
// (used by the setters and the single-field get) keeps the base checks only.

class CIoctlRaidCfgGroup : public CIoctlRaidGetSetConfig {
    MOX_RUNTIME_CLASS("class CIoctlRaidCfgGroup")

public:
    static constexpr uint32_t kDataLength = 220;
    explicit CIoctlRaidCfgGroup(HANDLE target);
    CIoctlRaidCfgGroup(HANDLE target, uint32_t fieldIndex, uint32_t direction, DWORD bufferSize,
                       uint32_t dataTransferLength, DWORD minimumAnswer);

protected:
    CConsolidatedError CheckGroup() const override;
};

class CIoctlRaidVolumeGroup : public CIoctlRaidGetSetConfig {
    MOX_RUNTIME_CLASS("class CIoctlRaidVolumeGroup")

public:
    static constexpr uint32_t kDataLength = 132;
    CIoctlRaidVolumeGroup(HANDLE target, uint32_t volumeIndex);
    CIoctlRaidVolumeGroup(HANDLE target, uint32_t volumeIndex, uint32_t fieldIndex, uint32_t direction,
                          DWORD bufferSize, uint32_t dataTransferLength, DWORD minimumAnswer);

protected:
    CConsolidatedError CheckGroup() const override;
};

class CIoctlRaidDiskGroup : public CIoctlRaidGetSetConfig {
    MOX_RUNTIME_CLASS("class CIoctlRaidDiskGroup")

public:
    static constexpr uint32_t kDataLength = 192;
    CIoctlRaidDiskGroup(HANDLE target, uint32_t diskIndex);
    CIoctlRaidDiskGroup(HANDLE target, uint32_t diskIndex, uint32_t fieldIndex, uint32_t direction,
                        DWORD bufferSize, uint32_t dataTransferLength, DWORD minimumAnswer);

protected:
    CConsolidatedError CheckGroup() const override;
};

class CIoctlRaidNewVolumeGroup : public CIoctlRaidGetSetConfig {
    MOX_RUNTIME_CLASS("class CIoctlRaidNewVolumeGroup")

public:
    static constexpr uint32_t kDataLength = 44;
    explicit CIoctlRaidNewVolumeGroup(HANDLE target);
    CIoctlRaidNewVolumeGroup(HANDLE target, uint32_t fieldIndex, uint32_t direction, DWORD bufferSize,
                             uint32_t dataTransferLength, DWORD minimumAnswer);

protected:
    CConsolidatedError CheckGroup() const override;
};

class CIoctlRaidArrayGroup : public CIoctlRaidGetSetConfig {
    MOX_RUNTIME_CLASS("class CIoctlRaidArrayGroup")

public:
    static constexpr uint32_t kDataLength = 48;
    CIoctlRaidArrayGroup(HANDLE target, uint32_t arrayIndex);
    CIoctlRaidArrayGroup(HANDLE target, uint32_t arrayIndex, uint32_t fieldIndex, uint32_t direction,
                         DWORD bufferSize, uint32_t dataTransferLength, DWORD minimumAnswer);

protected:
    CConsolidatedError CheckGroup() const override;
};

class CIoctlRaidArrayDiskGroup : public CIoctlRaidGetSetConfig {
    MOX_RUNTIME_CLASS("class CIoctlRaidArrayDiskGroup")

public:
    static constexpr uint32_t kDataLength = 20;
    CIoctlRaidArrayDiskGroup(HANDLE target, uint32_t arrayIndex, uint32_t memberOrdinal);

protected:
    CConsolidatedError CheckGroup() const override;
};

class CIoctlRaidDeviceInfo : public CIoctlRaidGetSetConfig {
    MOX_RUNTIME_CLASS("class CIoctlRaidDeviceInfo")

public:
    static constexpr uint32_t kDataLength = 24;
    CIoctlRaidDeviceInfo(HANDLE target, uint32_t volumeIndex);
    CIoctlRaidDeviceInfo(HANDLE target, uint32_t volumeIndex, uint32_t fieldIndex, uint32_t direction,
                         DWORD bufferSize, uint32_t dataTransferLength, DWORD minimumAnswer);

protected:
    CConsolidatedError CheckGroup() const override;
};

class CIoctlRaidDeviceCfg : public CIoctlRaidGetSetConfig {
    MOX_RUNTIME_CLASS("class CIoctlRaidDeviceCfg")

public:
    static constexpr uint32_t kDataLength = 168;
    CIoctlRaidDeviceCfg(HANDLE target, uint32_t volumeIndex);
    CIoctlRaidDeviceCfg(HANDLE target, uint32_t volumeIndex, uint32_t fieldIndex, uint32_t direction,
                        DWORD bufferSize, uint32_t dataTransferLength, DWORD minimumAnswer);

protected:
    CConsolidatedError CheckGroup() const override;
};

class CIoctlNvCacheInfoGroup : public CIoctlRaidGetSetConfig {
    MOX_RUNTIME_CLASS("class CIoctlNvCacheInfoGroup")

public:
    static constexpr uint32_t kDataLength = 56;
    explicit CIoctlNvCacheInfoGroup(HANDLE target);

protected:
    CConsolidatedError CheckGroup() const override;
};

class CIoctlRaidDeviceRefreshPartitionInfoGroup : public CIoctlRaidGetSetConfig {
    MOX_RUNTIME_CLASS("class CIoctlRaidDeviceRefreshPartitionInfoGroup")

public:
    static constexpr uint32_t kDataLength = 8;
    explicit CIoctlRaidDeviceRefreshPartitionInfoGroup(HANDLE target);
};
