#include "middleware/ioctl/RaidConfig.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "middleware/ioctl/IoctlCodeNames.h"
#include "middleware/ioctl/IoctlDirectMode.h"
#include "middleware/ioctl/RaidConfigText.h"
#include "platform/win/WinDeviceIo.h"
#include "platform/win/WinError.h"
#include "platform/win/WinStorage.h"

namespace {

constexpr DWORD kWholeGroupMinimumExtra = 52;

CConsolidatedError Failure(KEDO2_ERRORS code, const char* message) {
    CConsolidatedError e;
    e.SetError(code, message);
    return e;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%X", value);
    return text;
}

// The consolidated code of a driver status: 2 to 12 have codes of their own, 1 and everything
// above 12 are the general error.
KEDO2_ERRORS StatusCode(uint32_t status) {
    if (status >= 2 && status <= 12)
        return static_cast<KEDO2_ERRORS>(CConsolidatedError::RAID_IXO_STS_OK + status);
    return CConsolidatedError::RAID_IXO_STS_ERROR;
}

} // namespace

CIoctlRaidPort::CIoctlRaidPort(HANDLE target, DWORD srbControlCode, DWORD size, DWORD minimumAnswer)
    : CIoctScsiMiniport(target, kRaidPortSignature, srbControlCode, 0, size, minimumAnswer) {
    SetExpectedReturnCode(0);
    SetCheckReturnCode(true);
}

CIoctlRaidGetSetConfig::CIoctlRaidGetSetConfig(HANDLE target, uint32_t groupId, uint32_t instance0,
                                               uint32_t instance1, uint32_t instance2, uint32_t instance3,
                                               uint32_t fieldIndex, uint32_t direction, DWORD bufferSize,
                                               uint32_t dataTransferLength, DWORD minimumAnswer)
    : CIoctlRaidPort(target, IOCTL_RAID_GET_SET_CONFIG, bufferSize, minimumAnswer),
      m_GroupId(groupId), m_InstanceId{instance0, instance1, instance2, instance3}, m_FieldIndex(fieldIndex),
      m_Direction(direction), m_DataTransferLength(dataTransferLength) {}

CConsolidatedError CIoctlRaidGetSetConfig::_realFormatInputBuffer() {
    if (m_GroupId == kRaidValueNotSet)
        return Failure(CConsolidatedError::IOCTL_BAD_RAID_CONFIG_GROUP, nullptr);
    if (m_Direction == kRaidValueNotSet)
        return Failure(CConsolidatedError::IOCTL_BAD_RAID_DIRECTION, nullptr);
    // The framed size is needed in both forms; computed wide so that no length wraps around.
    if (uint64_t{m_InBufferSize} < uint64_t{m_DataTransferLength} + kFramedDataOffset ||
        m_OutBufferSize < m_InBufferSize) {
        CConsolidatedError e = Failure(CConsolidatedError::IOCTL_IN_BUFFER_SIZE,
                                       "InBufferSize is too small, must be >= sizeof(SRB_IO_CONTROL) + "
                                       "sizeof(GET_SET_RAID_PARAMS) + DataTransferLength "
                                       "CIoctlRaidGetSetConfig::_realFormatInputBuffer");
        e.AddDebugInformation("InBufferSize = %d", static_cast<int>(m_InBufferSize));
        e.AddDebugInformation(", sizeof(SRB_IO_CONTROL)= %d", static_cast<int>(sizeof(SRB_IO_CONTROL)));
        e.AddDebugInformation(", sizeof(GET_SET_RAID_PARAMS)= %d",
                              static_cast<int>(sizeof(GET_SET_RAID_PARAMS)));
        e.AddDebugInformation(", DataTransferLength = %d", static_cast<int>(m_DataTransferLength));
        e.AddDebugInformation(", GroupId = %d ", static_cast<int>(m_GroupId));
        return e;
    }

    // The form is decided once per formatting; the answer is read the way it was asked.
    m_DirectForm = IsIoctlDirectMode();
    CConsolidatedError result = CIoctScsiMiniportUnchecked::_realFormatInputBuffer();
    if (!m_InBuffer && result.IsError()) {
        CConsolidatedError e;
        e.SetError(KEDO2_ERROR_TYPE_WIN32, ERROR_OUTOFMEMORY,
                   "malloc returned null in CIoctlRaidGetSetConfig::_realFormatInputBuffer");
        e.AddDebugInformation("InBufferSize = %d", static_cast<int>(m_InBufferSize));
        return e;
    }
    if (result.IsError())
        return result;

    GET_SET_RAID_PARAMS params{};
    params.Length = sizeof(GET_SET_RAID_PARAMS);
    params.GroupId = m_GroupId;
    std::memcpy(params.InstanceId, m_InstanceId, sizeof(params.InstanceId));
    params.FieldIndex = m_FieldIndex;
    params.Direction = m_Direction;
    params.DataOffset = sizeof(GET_SET_RAID_PARAMS);
    params.DataTransferLength = m_DataTransferLength;
    params.Status = 0;
    // The direct form has no header: the block takes its place.
    std::memcpy(m_InBuffer.get() + (m_DirectForm ? 0 : kParamsOffset), &params, sizeof(params));

    if (m_Direction == SET_DIRECTION) {
        if (m_DataTransferLength == 0) {
            CConsolidatedError e = Failure(CConsolidatedError::IOCTL_CONFIG_BUFFER_SIZE,
                                           "DataTransferLength must be > 0 "
                                           "CIoctlRaidGetSetConfig::_realFormatInputBuffer");
            e.AddDebugInformation(", GroupId = %d ", static_cast<int>(m_GroupId));
            _realFreeInputBuffer();
            return e;
        }
        // A buffer left half-formatted would be sent as it is by the next invoke.
        try {
            result = _realFormatSetData(m_InBuffer.get() + GroupDataOffset());
        } catch (...) {
            _realFreeInputBuffer();
            throw;
        }
        if (result.IsError()) {
            _realFreeInputBuffer();
            return result;
        }
    }
    m_ControlCode = m_DirectForm ? IOCTL_RAID_GET_SET_CONFIG : IOCTL_SCSI_MINIPORT;
    return result;
}

CConsolidatedError CIoctlRaidGetSetConfig::_realFormatSetData(BYTE*) {
    return CConsolidatedError();
}

CConsolidatedError CIoctlRaidGetSetConfig::_realInvoke() {
    CConsolidatedError result = CIoctScsiMiniport::_realInvoke();
    // A driver that refuses the framed form takes the request directly; from now on every RAID
    // get/set request of the process goes that way.
    if (!m_DirectForm && m_InBuffer && result.GetErrorType() == KEDO2_ERROR_TYPE_WIN32 &&
        result.GetWin32Error() == ERROR_INVALID_PARAMETER) {
        SetIoctlDirectMode();
        _realFreeInputBuffer();
        _realFreeOutputBuffer();
        result = CIoctScsiMiniport::_realInvoke();
    }
    return result;
}

const BYTE* CIoctlRaidGetSetConfig::AnswerGroupData() const {
    if (!m_OutBuffer || uint64_t{GroupDataOffset()} + m_DataTransferLength > m_OutBufferSize)
        return nullptr;
    return m_OutBuffer.get() + GroupDataOffset();
}

uint32_t CIoctlRaidGetSetConfig::GroupWord(size_t offset) const {
    const BYTE* data = AnswerGroupData();
    uint32_t value = 0;
    if (data && offset + sizeof(value) <= m_DataTransferLength)
        std::memcpy(&value, data + offset, sizeof(value));
    return value;
}

CConsolidatedError CIoctlRaidGetSetConfig::GroupCheckFailure(const char* format, ...) {
    char message[1025];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof(message), format, args);
    va_end(args);
    return Failure(CConsolidatedError::DRIVER_IXO_VALIDATION_ERR, message);
}

CConsolidatedError CIoctlRaidGetSetConfig::CheckGroupLimits(std::initializer_list<GroupLimit> limits,
                                                            const char* where) const {
    for (const auto& l : limits) {
        const uint32_t value = GroupWord(l.offset);
        if (value <= l.max)
            continue;
        char message[1025];
        if (where)
            std::snprintf(message, sizeof(message), l.format, where, static_cast<int>(l.max),
                          static_cast<int>(value));
        else
            std::snprintf(message, sizeof(message), l.format, static_cast<int>(l.max),
                          static_cast<int>(value));
        return GroupCheckFailure("%s", message);
    }
    return CConsolidatedError();
}

CConsolidatedError CIoctlRaidGetSetConfig::_realVerify() {
    CConsolidatedError result =
        m_DirectForm ? CIoctl::_realVerify() : CIoctScsiMiniportUnchecked::_realVerify();
    if (result.IsError()) {
        m_Verified = false;
        return result;
    }
    const DWORD paramsAt = m_DirectForm ? 0 : kParamsOffset;
    // The minimum answer counts from the parameter block; a framed answer carries the header before
    // it, so it must be that much longer (else the group checks would read the buffer's zero fill).
    if (!m_DirectForm && m_BytesExpected != 0 &&
        uint64_t{m_BytesReturned} < uint64_t{paramsAt} + m_BytesExpected) {
        result.SetError(CConsolidatedError::DRIVER_SHORT_RESPONSE, static_cast<const char*>(nullptr));
        result.AddErrorMessage("Short driver response in %s, BytesReturned: %d, BytesExpected: %d",
                               "CIoctlRaidGetSetConfig::_realVerify", static_cast<int>(m_BytesReturned),
                               static_cast<int>(paramsAt + m_BytesExpected));
        m_Verified = false;
        return result;
    }
    GET_SET_RAID_PARAMS params{};
    if (m_OutBuffer && uint64_t{paramsAt} + sizeof(params) <= m_OutBufferSize)
        std::memcpy(&params, m_OutBuffer.get() + paramsAt, sizeof(params));
    if (params.Length != sizeof(GET_SET_RAID_PARAMS)) {
        result.AddErrorMessage("Invalid GET_SET_RAID_PARAMS.Length, expected: %d, actual: %d",
                               static_cast<int>(sizeof(GET_SET_RAID_PARAMS)),
                               static_cast<int>(params.Length));
        result.SetError(CConsolidatedError::DRIVER_UNEXPECTED, static_cast<const char*>(nullptr));
        m_Verified = false;
        return result;
    }
    if (m_CheckStatus && params.Status != 0) {
        result.SetError(StatusCode(params.Status),
                        "GET_SET_RAID_PARAMS.Status indicates an error CIoctlRaidGetSetConfig::_realVerify");
        m_Verified = false;
        return result;
    }
    if (m_GroupChecks) {
        if (!AnswerGroupData()) {
            m_Verified = false;
            return Failure(CConsolidatedError::DRIVER_SHORT_RESPONSE, "CIoctlRaidGetSetConfig::_realVerify");
        }
        CConsolidatedError check = CheckGroup();
        if (check.IsError()) {
            m_Verified = false;
            return check;
        }
    }
    return result;
}

BYTE* CIoctlRaidGetSetConfig::GetGroupData() {
    GetVerifiedOutBuffer();
    const BYTE* data = AnswerGroupData();
    if (!data)
        throw Failure(CConsolidatedError::DRIVER_SHORT_RESPONSE, "CIoctlRaidGetSetConfig::GetGroupData");
    return m_OutBuffer.get() + GroupDataOffset();
}

void CIoctlRaidGetSetConfig::GetGroupRecord(void* record132) {
    BYTE* data = GetGroupData();
    std::memset(record132, 0, 132);
    std::memcpy(record132, data, m_DataTransferLength < 132 ? m_DataTransferLength : 132);
}

uint32_t CIoctlRaidGetSetConfig::CopyGroupSerialNumber(char* buffer, uint32_t length) {
    const BYTE* data = GetGroupData();
    if (m_DataTransferLength < 20)
        throw Failure(CConsolidatedError::DRIVER_SHORT_RESPONSE,
                      "CIoctlRaidGetSetConfig::CopyGroupSerialNumber");
    return CopyIxoText16(data + 4, buffer, length);
}

std::string CIoctlRaidGetSetConfig::Describe() const {
    const std::string direction = GetDirectionName(m_Direction);
    return std::string("groupId: ") + GetRaidGroupName(m_GroupId) + "(" + std::to_string(m_GroupId) +
           "), InstanceId: 0x" + Hex(m_InstanceId[0]) + ", FieldIndex: 0x" + Hex(m_FieldIndex) +
           ", Direction: " + direction + ", DataTransferLength: 0x" + Hex(m_DataTransferLength);
}

// ---- group classes ----

#define MOX_RAID_GROUP_READ(Class, group, bufferSize)                                                        \
    Class::Class(HANDLE target, uint32_t index)                                                              \
        : CIoctlRaidGetSetConfig(target, group, index, 0, 0, 0, kRaidAllFields, GET_DIRECTION, bufferSize,   \
                                 kDataLength, kWholeGroupMinimumExtra + kDataLength) {                       \
        m_GroupChecks = true;                                                                                \
    }                                                                                                        \
    Class::Class(HANDLE target, uint32_t index, uint32_t fieldIndex, uint32_t direction, DWORD bufferSize_,  \
                 uint32_t dataTransferLength, DWORD minimumAnswer)                                           \
        : CIoctlRaidGetSetConfig(target, group, index, 0, 0, 0, fieldIndex, direction, bufferSize_,          \
                                 dataTransferLength, minimumAnswer) {}

MOX_RAID_GROUP_READ(CIoctlRaidVolumeGroup, RIXO_VOLUME_TABLE_GROUP_NO, 212)
MOX_RAID_GROUP_READ(CIoctlRaidDiskGroup, RIXO_DISK_TABLE_GROUP_NO, 512)
MOX_RAID_GROUP_READ(CIoctlRaidArrayGroup, RIXO_ARRAY_TABLE_GROUP_NO, 128)
MOX_RAID_GROUP_READ(CIoctlRaidDeviceInfo, RDEV_DEVICE_INFO_GROUP_NO, 512)
MOX_RAID_GROUP_READ(CIoctlRaidDeviceCfg, RDEV_CFG_GROUP_NO, 512)
#undef MOX_RAID_GROUP_READ

CIoctlRaidCfgGroup::CIoctlRaidCfgGroup(HANDLE target)
    : CIoctlRaidGetSetConfig(target, RIXO_CFG_GROUP_NO, 0, 0, 0, 0, kRaidAllFields, GET_DIRECTION, 300,
                             kDataLength, kWholeGroupMinimumExtra + kDataLength) {
    m_GroupChecks = true;
}

CIoctlRaidCfgGroup::CIoctlRaidCfgGroup(HANDLE target, uint32_t fieldIndex, uint32_t direction,
                                       DWORD bufferSize, uint32_t dataTransferLength, DWORD minimumAnswer)
    : CIoctlRaidGetSetConfig(target, RIXO_CFG_GROUP_NO, 0, 0, 0, 0, fieldIndex, direction, bufferSize,
                             dataTransferLength, minimumAnswer) {}

CIoctlRaidNewVolumeGroup::CIoctlRaidNewVolumeGroup(HANDLE target)
    : CIoctlRaidGetSetConfig(target, RIXO_NEW_VOLUME_GROUP_NO, 0, 0, 0, 0, kRaidAllFields, GET_DIRECTION, 124,
                             kDataLength, kWholeGroupMinimumExtra + kDataLength) {
    m_GroupChecks = true;
}

CIoctlRaidNewVolumeGroup::CIoctlRaidNewVolumeGroup(HANDLE target, uint32_t fieldIndex, uint32_t direction,
                                                   DWORD bufferSize, uint32_t dataTransferLength,
                                                   DWORD minimumAnswer)
    : CIoctlRaidGetSetConfig(target, RIXO_NEW_VOLUME_GROUP_NO, 0, 0, 0, 0, fieldIndex, direction, bufferSize,
                             dataTransferLength, minimumAnswer) {}

CIoctlRaidArrayDiskGroup::CIoctlRaidArrayDiskGroup(HANDLE target, uint32_t arrayIndex, uint32_t memberOrdinal)
    : CIoctlRaidGetSetConfig(target, RIXO_ARRAY_DISK_TABLE_GROUP_NO, arrayIndex, memberOrdinal, 0, 0,
                             kRaidAllFields, GET_DIRECTION, 1024, kDataLength,
                             kWholeGroupMinimumExtra + kDataLength) {
    m_GroupChecks = true;
}

CIoctlNvCacheInfoGroup::CIoctlNvCacheInfoGroup(HANDLE target)
    : CIoctlRaidGetSetConfig(target, RIXO_NV_CACHE_INFO_GROUP_NO, 0, 0, 0, 0, kRaidAllFields, GET_DIRECTION,
                             136, kDataLength, kWholeGroupMinimumExtra + kDataLength) {
    m_GroupChecks = true;
}

CIoctlRaidDeviceRefreshPartitionInfoGroup::CIoctlRaidDeviceRefreshPartitionInfoGroup(HANDLE target)
    : CIoctlRaidGetSetConfig(target, RDEV_REFRESH_PARTITION_INFO_NO, 0, 0, 0, 0, kRaidAllFields,
                             GET_DIRECTION, 512, kDataLength, kWholeGroupMinimumExtra + kDataLength) {}

// ---- group checks, in the order the driver's records are checked; the first failure wins ----

CConsolidatedError CIoctlRaidCfgGroup::CheckGroup() const {
    if (GroupWord(0) != kDataLength)
        return GroupCheckFailure("Invalid GroupLength in CIoctlRaidCfgGroup, expected size: %d, actual: %d",
                                 static_cast<int>(kDataLength), static_cast<int>(GroupWord(0)));
    if (GroupWord(4) > 8)
        return GroupCheckFailure("Invalid NumRaidDevs in CIoctlRaidCfgGroup, expected max: %d, reported: %d",
                                 8, static_cast<int>(GroupWord(4)));
    if (GroupWord(8) > 1024)
        return GroupCheckFailure("Invalid NumDisks in CIoctlRaidCfgGroup, expected max: %d, reported: %d",
                                 1024, static_cast<int>(GroupWord(8)));
    if (GroupWord(176) > 8)
        return GroupCheckFailure("Invalid NumArrays in CIoctlRaidCfgGroup, expected max: %d, reported: %d", 8,
                                 static_cast<int>(GroupWord(176)));
    if (static_cast<int32_t>(GroupWord(188)) < 0)
        return GroupCheckFailure("Negative NumVolActionsInProgress in CIoctlRaidCfgGroup, reported: %d",
                                 static_cast<int32_t>(GroupWord(188)));
    if (static_cast<int32_t>(GroupWord(192)) < 0)
        return GroupCheckFailure("Negatvie NumDiskActionsInProgress in CIoctlRaidCfgGroup, reported: %d",
                                 static_cast<int32_t>(GroupWord(192)));
    return CConsolidatedError();
}

CConsolidatedError CIoctlRaidVolumeGroup::CheckGroup() const {
    if (GroupWord(0) != kDataLength)
        return GroupCheckFailure(
            "Invalid GroupLength in CIoctlRaidVolumeGroup, expected size: %d, actual: %d",
            static_cast<int>(kDataLength), static_cast<int>(GroupWord(0)));
    const uint32_t level = GroupWord(24);
    if (level != 0 && level != 1 && level != 3 && level != 5 && level != 10)
        return GroupCheckFailure("Invalid RaidLevel in CIoctlRaidVolumeGroup actual: %d",
                                 static_cast<int>(level));
    return CheckGroupLimits({
        {28, 102400, "Invalid BytesPerBlock in CIoctlRaidVolumeGroup, expected size: %d, actual: %d"},
        {32, 0x40000000, "Invalid SizeInMB in CIoctlRaidVolumeGroup, expected size: %d, actual: %d"},
        {36, 1024, "Invalid StripSizeInKB in CIoctlRaidVolumeGroup, expected max size: %d, actual: %d"},
        {40, 255, "Invalid NumMemberDisks in CIoctlRaidVolumeGroup, expected max size: %d, actual: %d"},
        {80, 255, "Invalid NumDomainsOrMirrors in CIoctlRaidVolumeGroup, expected max size: %d, actual: %d"},
        {96, 8, "Invalid ArrayOrd in CIoctlRaidVolumeGroup, expected max size: %d, actual: %d"},
        {116, 0x100000,
         "Invalid BytesPerPhysBlock in CIoctlRaidVolumeGroup, expected max size: %d, actual: %d"},
        {128, 100000, "Invalid VolumeRpm in CIoctlRaidVolumeGroup, expected max size: %d, actual: %d"},
    });
}

CConsolidatedError CIoctlRaidDiskGroup::CheckGroup() const {
    if (GroupWord(0) != kDataLength)
        return GroupCheckFailure("Invalid GroupLength in CIoctlRaidDiskGroup, expected size: %d, actual: %d",
                                 static_cast<int>(kDataLength), static_cast<int>(GroupWord(0)));
    if (GroupWord(136) > 255)
        return GroupCheckFailure(
            "Invalid NumPartitions in CIoctlRaidDiskGroup expected value max: %d actual: %d", 255,
            static_cast<int>(GroupWord(136)));
    const auto arrayOrd = static_cast<int32_t>(GroupWord(140));
    if (arrayOrd < -1 || arrayOrd > 8)
        return GroupCheckFailure("Invalid ArrayOrd in CIoctlRaidDiskGroup expected max value: %d actual: %d",
                                 8, arrayOrd);
    if (GroupWord(156) > 0x1FFFFFFF)
        return GroupCheckFailure(
            "Invalid LogBlockOffset in CIoctlRaidDiskGroup expected max value: %d actual: %d", 0x1FFFFFFF,
            static_cast<int>(GroupWord(156)));
    return CConsolidatedError();
}

CConsolidatedError CIoctlRaidNewVolumeGroup::CheckGroup() const {
    static const char* const where = "CIoctlRaidNewVolumeGroup::_realVerify";
    if (GroupWord(0) != kDataLength)
        return GroupCheckFailure("Invalid GroupLength in %s, expected size: %d, actual: %d", where,
                                 static_cast<int>(kDataLength), static_cast<int>(GroupWord(0)));
    return CheckGroupLimits(
        {
            {20, 0x40000000, "Invalid SizeInMB in %s, expected max: %d actual: %d"},
            {24, 128, "Invalid StripSizeInKB, in %s, expected max: %d actual: %d"},
            {28, 10, "Invalid RaidLevel in %s, expected max: %d actual: %d"},
            {32, 255, "Invalid NumMemberDisks in %s, expected max: %d actual: %d"},
            {36, 3, "Invalid NumDomainsOrMirrors in %s, expected max: %d actual: %d"},
        },
        where);
}

CConsolidatedError CIoctlRaidArrayGroup::CheckGroup() const {
    static const char* const where = "CIoctlRaidArrayGroup::_realVerify";
    if (GroupWord(0) != kDataLength)
        return GroupCheckFailure("Invalid GroupLength in %s, expected size: %d, actual: %d", where,
                                 static_cast<int>(kDataLength), static_cast<int>(GroupWord(0)));
    return CheckGroupLimits(
        {
            {8, 1024, "Invalid NumDisks in %s, expected max: %d actual: %d"},
            {12, 1024, "Invalid NumRaidDevs, in %s, expected max: %d actual: %d"},
            {16, 0x40000000, "Invalid FreeMB in %s, expected max: %d actual: %d"},
            {24, 0x40000000, "Invalid TotalMB in %s, expected max: %d actual: %d"},
        },
        where);
}

CConsolidatedError CIoctlRaidArrayDiskGroup::CheckGroup() const {
    if (GroupWord(0) != kDataLength)
        return GroupCheckFailure("Invalid GroupLength in %s, expected size: %d, actual: %d",
                                 "CIoctlRaidArrayDiskGroup::_realVerify", static_cast<int>(kDataLength),
                                 static_cast<int>(GroupWord(0)));
    return CConsolidatedError();
}

CConsolidatedError CIoctlRaidDeviceInfo::CheckGroup() const {
    if (GroupWord(0) != kDataLength)
        return GroupCheckFailure("Invalid GroupLength in CIoctlRaidDeviceInfo, expected size: %d, actual: %d",
                                 static_cast<int>(kDataLength), static_cast<int>(GroupWord(0)));
    if (GroupWord(4) > 0x1FFFFFFF)
        return GroupCheckFailure(
            "Invalid BlockSize in CIoctlRaidDeviceInfo, expected max size: %d, actual: %d", 0x1FFFFFFF,
            static_cast<int>(GroupWord(4)));
    return CConsolidatedError();
}

CConsolidatedError CIoctlRaidDeviceCfg::CheckGroup() const {
    if (GroupWord(0) != kDataLength)
        return GroupCheckFailure("Invalid GroupLength in CIoctlRaidDeviceCfg, expected size: %d, actual: %d",
                                 static_cast<int>(kDataLength), static_cast<int>(GroupWord(0)));
    if (GroupWord(104) > 10000)
        return GroupCheckFailure(
            "Invalid MigrPercent in CIoctlRaidDeviceCfg, expected max size: %d, actual: %d", 10000,
            static_cast<int>(GroupWord(104)));
    if (GroupWord(112) > 0x40000000)
        return GroupCheckFailure("Invalid SizeInMB in CIoctlRaidDeviceCfg, expected max size: %d, actual: %d",
                                 0x40000000, static_cast<int>(GroupWord(112)));
    return CConsolidatedError();
}

CConsolidatedError CIoctlNvCacheInfoGroup::CheckGroup() const {
    if (GroupWord(0) != kDataLength)
        return GroupCheckFailure(
            "Invalid GroupLength in CIoctlNvCacheInfoGroup, expected size: %d, actual: %d",
            static_cast<int>(kDataLength), static_cast<int>(GroupWord(0)));
    return CConsolidatedError();
}
