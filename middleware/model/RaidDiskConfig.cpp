#include "middleware/model/RaidDiskConfig.h"

#include <cstring>

#include "middleware/ioctl/RaidConfig.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RecordBytes.h"

namespace {

// Positions in the 192-byte disk group record.
constexpr size_t kSerialNumber = 0x04;
constexpr size_t kWide14Low = 0x14;
constexpr size_t kAvailableLow = 0x18;
constexpr size_t kStateFlags = 0x30;
constexpr size_t kPathId = 0x34;
constexpr size_t kTargetId = 0x38;
constexpr size_t kLun = 0x3C;
constexpr size_t kFirmwareRevision = 0x48;
constexpr size_t kModelNumber = 0x58;
constexpr size_t kValue80 = 0x80;
constexpr size_t kNumPartitions = 0x88;
constexpr size_t kArrayOrd = 0x8C;
constexpr size_t kUsage = 0x90;
constexpr size_t kSectorSize = 0x94;
constexpr size_t kMetadataSectors = 0xAA; // u16
constexpr size_t kValueAC = 0xAC;
constexpr size_t kValueB2 = 0xB2; // byte
constexpr size_t kSolidState = 0xB4;
constexpr size_t kWide14High = 0xB8;
constexpr size_t kAvailableHigh = 0xBC;
static_assert(kAvailableHigh + 4 <= CIoctlRaidDiskGroup::kDataLength);

void CopyText(char (&field)[RaidDiskConfig::kTextSize], const uint8_t* record, size_t offset) {
    std::memcpy(field, record + offset, RaidDiskConfig::kTextSize - 1);
    field[RaidDiskConfig::kTextSize - 1] = '\0';
}

uint32_t CopyOut(const char (&field)[RaidDiskConfig::kTextSize], char* buffer, uint32_t size) {
    if (!buffer)
        return RaidDiskConfig::kTextSize;
    const uint32_t length = static_cast<uint32_t>(strnlen(field, RaidDiskConfig::kTextSize - 1));
    if (size < length + 1)
        return 0;
    std::memcpy(buffer, field, length);
    buffer[length] = '\0';
    return length + 1;
}

uint64_t Wide(const uint8_t* record, size_t low, size_t high) {
    return static_cast<uint64_t>(model::Read32(record, high)) << 32 | model::Read32(record, low);
}

CConsolidatedError NullArray(const char* debug) {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, nullptr, debug);
    return error;
}

} // namespace

CConsolidatedError RaidDiskConfig::Populate(HANDLE target, uint32_t diskIndex, uint32_t controllerHandle,
                                            int32_t storagePort) {
    m_DiskIndex = diskIndex;
    CIoctlRaidDiskGroup request(target, diskIndex);
    request.SetVerifyOnInvoke(true);
    CConsolidatedError result = request.Invoke();
    if (result.IsError()) {
        result.AddDebugInformation("Could not get raidDiskGroup in RaidDiskConfig::Populate");
        return result;
    }
    SetFromRecord(request.GetGroupData(), controllerHandle, storagePort);
    return result;
}

void RaidDiskConfig::SetFromRecord(const uint8_t* r, uint32_t controllerHandle, int32_t storagePort) {
    m_StateFlags = model::Read32(r, kStateFlags);
    m_ScsiAddress = PackScsiAddress(static_cast<uint32_t>(storagePort), model::Read32(r, kPathId),
                                    model::Read32(r, kTargetId), model::Read32(r, kLun));
    m_ArrayOrd = static_cast<int32_t>(model::Read32(r, kArrayOrd));
    m_ControllerHandle = controllerHandle;
    CopyText(m_SerialNumber, r, kSerialNumber);
    CopyText(m_FirmwareRevision, r, kFirmwareRevision);
    CopyText(m_ModelNumber, r, kModelNumber);
    m_MetadataSectors = model::Read16(r, kMetadataSectors);
    m_SectorSize = model::Read32(r, kSectorSize);
    m_SolidState = model::Read32(r, kSolidState) == 1;
    m_Usage = model::Read32(r, kUsage);
    m_ValueAC = model::Read32(r, kValueAC);
    m_ValueB2 = r[kValueB2];
    m_Value80Set = model::Read32(r, kValue80) != 0;
    m_WideValue14 = Wide(r, kWide14Low, kWide14High);
    m_AvailableSectors = Wide(r, kAvailableLow, kAvailableHigh);
    m_NumPartitions = model::Read32(r, kNumPartitions);
}

CConsolidatedError RaidDiskConfig::setArray(std::shared_ptr<RaidArray> array) {
    if (!array)
        return NullArray("Set array pointer - null value provided");
    m_Array = std::move(array);
    return CConsolidatedError();
}

CConsolidatedError RaidDiskConfig::setOriginalArray(std::shared_ptr<RaidArray> array) {
    if (!array)
        return NullArray("Set original array pointer - null value provided");
    m_OriginalArray = std::move(array);
    return CConsolidatedError();
}

int32_t RaidDiskConfig::getArrayIndex() const {
    return m_Array ? m_Array->getIndex() : -1;
}

int32_t RaidDiskConfig::getOriginalArrayIndex() const {
    return m_OriginalArray ? m_OriginalArray->getIndex() : -1;
}

uint32_t RaidDiskConfig::getArrayHandle() const {
    return m_Array ? m_Array->getHandle() : 0;
}

uint32_t RaidDiskConfig::getOriginalArrayHandle() const {
    return m_OriginalArray ? m_OriginalArray->getHandle() : 0;
}

bool RaidDiskConfig::isMemberOfArrayIndex(int32_t index) const {
    return m_Array && m_Array->getIndex() != -1 && m_Array->getIndex() == index;
}

bool RaidDiskConfig::wasMemberOfArrayIndex(int32_t index) const {
    return m_OriginalArray && m_OriginalArray->getIndex() != -1 && m_OriginalArray->getIndex() == index;
}

bool RaidDiskConfig::isMemberOfArray(uint32_t handle) const {
    return m_Array && m_Array->getHandle() != 0 && m_Array->getHandle() == handle;
}

bool RaidDiskConfig::wasMemberOfArray(uint32_t handle) const {
    return m_OriginalArray && m_OriginalArray->getHandle() != 0 && m_OriginalArray->getHandle() == handle;
}

bool RaidDiskConfig::isSyntheticArrayMember() const {
    return m_Array && m_Array->isSynthetic();
}

uint32_t RaidDiskConfig::copySerialNumber(char* buffer, uint32_t size) const {
    return CopyOut(m_SerialNumber, buffer, size);
}

uint32_t RaidDiskConfig::copyFirmwareRevision(char* buffer, uint32_t size) const {
    return CopyOut(m_FirmwareRevision, buffer, size);
}

uint32_t RaidDiskConfig::copyModelNumber(char* buffer, uint32_t size) const {
    return CopyOut(m_ModelNumber, buffer, size);
}
