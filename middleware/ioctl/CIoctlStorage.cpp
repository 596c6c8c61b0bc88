#include "middleware/ioctl/CIoctlStorage.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/win/WinDeviceIo.h"

namespace {

// A record read from the start of an answer buffer; zeros without a buffer.
template <class T> T ReadRecord(const BYTE* buffer, DWORD size) {
    T record{};
    if (buffer)
        std::memcpy(&record, buffer, size < sizeof(T) ? size : sizeof(T));
    return record;
}

[[noreturn]] void ThrowOutsideAnswer(const char* what, uint64_t offset, DWORD answerLength,
                                     const char* where) {
    char message[256];
    std::snprintf(message, sizeof(message), "%s at offset %" PRIu64 " lies outside the %u-byte answer in %s",
                  what, offset, answerLength, where);
    CConsolidatedError error;
    error.SetError(CConsolidatedError::DRIVER_UNEXPECTED, message);
    throw error;
}

constexpr DWORD kIdentifyWordRotationRate = 217;

} // namespace

CIoctlDiskGetDiskAddress::CIoctlDiskGetDiskAddress(HANDLE target)
    : CIoctl(target, IOCTL_SCSI_GET_ADDRESS, 0, sizeof(SCSI_ADDRESS), sizeof(SCSI_ADDRESS)) {}

PackedScsiAddress CIoctlDiskGetDiskAddress::GetScsiAddress() const {
    if (!m_OutBuffer)
        return kNoScsiAddress;
    const auto a = ReadRecord<SCSI_ADDRESS>(m_OutBuffer.get(), m_OutBufferSize);
    return PackScsiAddress(a.PortNumber, a.PathId, a.TargetId, a.Lun);
}

CIoctlDiskGetDriveGeometryEx::CIoctlDiskGetDriveGeometryEx(HANDLE target)
    : CIoctl(target, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, 0, sizeof(DISK_GEOMETRY_EX),
             sizeof(DISK_GEOMETRY_EX)) {}

DISK_GEOMETRY_EX CIoctlDiskGetDriveGeometryEx::GetGeometry() const {
    return ReadRecord<DISK_GEOMETRY_EX>(m_OutBuffer.get(), m_OutBufferSize);
}

CIoctlDiskUpdateProperties::CIoctlDiskUpdateProperties(HANDLE target)
    : CIoctl(target, IOCTL_DISK_UPDATE_PROPERTIES, 0, 0, 0) {
    SetVerifyOnInvoke(false);
}

CIoctlStorageGetAtaIndentify::CIoctlStorageGetAtaIndentify(HANDLE target)
    : CIoctl(target, IOCTL_ATA_PASS_THROUGH, kSize, kSize, kSize) {}

CConsolidatedError CIoctlStorageGetAtaIndentify::_realFormatInputBuffer() {
    CConsolidatedError result = CIoctl::_realFormatInputBuffer();
    if (result.IsError())
        return result;
    ATA_PASS_THROUGH_EX header{};
    header.Length = sizeof(ATA_PASS_THROUGH_EX);
    header.AtaFlags = ATA_FLAGS_DRDY_REQUIRED | ATA_FLAGS_DATA_IN;
    header.DataTransferLength = 512;
    header.TimeOutValue = 2;
    header.DataBufferOffset = sizeof(ATA_PASS_THROUGH_EX);
    header.CurrentTaskFile[6] = ATA_COMMAND_IDENTIFY_DEVICE;
    std::memcpy(m_InBuffer.get(), &header, sizeof(header));
    return result;
}

uint16_t CIoctlStorageGetAtaIndentify::GetRotationRate() const {
    if (!m_OutBuffer)
        return 0;
    const auto header = ReadRecord<ATA_PASS_THROUGH_EX>(m_OutBuffer.get(), m_OutBufferSize);
    const DWORD length = AnswerLength();
    const uint64_t offset = header.DataBufferOffset;
    const uint64_t word = 2 * uint64_t{kIdentifyWordRotationRate};
    if (offset > length || word + 2 > length - offset)
        ThrowOutsideAnswer("ATA identify data", offset, length,
                           "CIoctlStorageGetAtaIndentify::GetRotationRate");
    const BYTE* p = m_OutBuffer.get() + offset + word;
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

CIoctlStorageGetCapacity::CIoctlStorageGetCapacity(HANDLE target)
    : CIoctl(target, IOCTL_STORAGE_READ_CAPACITY, 0, sizeof(STORAGE_READ_CAPACITY),
             sizeof(STORAGE_READ_CAPACITY)) {}

STORAGE_READ_CAPACITY CIoctlStorageGetCapacity::GetCapacity() const {
    return ReadRecord<STORAGE_READ_CAPACITY>(m_OutBuffer.get(), m_OutBufferSize);
}

CIoctlStorageGetNvmeIdentifyController::CIoctlStorageGetNvmeIdentifyController(HANDLE target)
    : CIoctl(target, IOCTL_STORAGE_QUERY_PROPERTY, kSize, kSize, kSize) {}

CConsolidatedError CIoctlStorageGetNvmeIdentifyController::_realFormatInputBuffer() {
    CConsolidatedError result = CIoctl::_realFormatInputBuffer();
    if (result.IsError())
        return result;
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageAdapterProtocolSpecificProperty;
    query.QueryType = PropertyStandardQuery;
    STORAGE_PROTOCOL_SPECIFIC_DATA data{};
    data.ProtocolType = ProtocolTypeNvme;
    data.DataType = NVMeDataTypeIdentify;
    data.ProtocolDataRequestValue = NVME_IDENTIFY_CNS_CONTROLLER;
    data.ProtocolDataRequestSubValue = 0;
    data.ProtocolDataOffset = sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA);
    data.ProtocolDataLength = kIdentifySize;
    std::memcpy(m_InBuffer.get(), &query, offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters));
    std::memcpy(m_InBuffer.get() + offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters), &data,
                sizeof(data));
    return result;
}

const BYTE* CIoctlStorageGetNvmeIdentifyController::GetIdentifyData() const {
    if (!m_OutBuffer)
        return nullptr;
    const auto descriptor = ReadRecord<STORAGE_PROTOCOL_DATA_DESCRIPTOR>(m_OutBuffer.get(), m_OutBufferSize);
    const DWORD length = AnswerLength();
    const uint64_t offset = offsetof(STORAGE_PROTOCOL_DATA_DESCRIPTOR, ProtocolSpecificData) +
                            uint64_t{descriptor.ProtocolSpecificData.ProtocolDataOffset};
    if (offset > length || kIdentifySize > length - offset)
        ThrowOutsideAnswer("NVMe identify data", offset, length,
                           "CIoctlStorageGetNvmeIdentifyController::GetIdentifyData");
    return m_OutBuffer.get() + offset;
}

CIoctlStorageGetProperty::CIoctlStorageGetProperty(HANDLE target, DWORD answerSize, DWORD propertyId)
    : CIoctl(target, IOCTL_STORAGE_QUERY_PROPERTY, sizeof(STORAGE_PROPERTY_QUERY), answerSize, answerSize),
      m_PropertyId(propertyId) {}

CConsolidatedError CIoctlStorageGetProperty::_realFormatInputBuffer() {
    CConsolidatedError result = CIoctl::_realFormatInputBuffer();
    if (result.IsError())
        return result;
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = static_cast<STORAGE_PROPERTY_ID>(m_PropertyId);
    query.QueryType = PropertyStandardQuery;
    std::memcpy(m_InBuffer.get(), &query, sizeof(query));
    return result;
}

DWORD CIoctlStorageGetPropertyOutputSize::GetSize() const {
    if (!m_OutBuffer || m_OutBufferSize < sizeof(STORAGE_DESCRIPTOR_HEADER))
        return 0;
    return ReadRecord<STORAGE_DESCRIPTOR_HEADER>(m_OutBuffer.get(), m_OutBufferSize).Size;
}

CIoctlStorageGetSeekPenalty::CIoctlStorageGetSeekPenalty(HANDLE target)
    : CIoctlStorageGetProperty(target, sizeof(DEVICE_SEEK_PENALTY_DESCRIPTOR),
                               StorageDeviceSeekPenaltyProperty) {}

DEVICE_SEEK_PENALTY_DESCRIPTOR CIoctlStorageGetSeekPenalty::GetSeekPenalty() const {
    return ReadRecord<DEVICE_SEEK_PENALTY_DESCRIPTOR>(m_OutBuffer.get(), m_OutBufferSize);
}

CIoctlStrorageGetDeviceNumber::CIoctlStrorageGetDeviceNumber(HANDLE target)
    : CIoctl(target, IOCTL_STORAGE_GET_DEVICE_NUMBER, 0, sizeof(STORAGE_DEVICE_NUMBER),
             sizeof(STORAGE_DEVICE_NUMBER)) {}

STORAGE_DEVICE_NUMBER CIoctlStrorageGetDeviceNumber::GetDeviceNumber() const {
    return ReadRecord<STORAGE_DEVICE_NUMBER>(m_OutBuffer.get(), m_OutBufferSize);
}

CIoctlWindowsGetCacheInformation::CIoctlWindowsGetCacheInformation(HANDLE target)
    : CIoctl(target, IOCTL_DISK_GET_CACHE_INFORMATION, 0, sizeof(DISK_CACHE_INFORMATION),
             sizeof(DISK_CACHE_INFORMATION)) {}

DISK_CACHE_INFORMATION CIoctlWindowsGetCacheInformation::GetCacheInformation() const {
    return ReadRecord<DISK_CACHE_INFORMATION>(m_OutBuffer.get(), m_OutBufferSize);
}

CIoctlWindowsGetCachePolicy::CIoctlWindowsGetCachePolicy(HANDLE target)
    : CIoctl(target, IOCTL_DISK_GET_CACHE_SETTING, 0, sizeof(DISK_CACHE_SETTING),
             sizeof(DISK_CACHE_SETTING)) {}

DISK_CACHE_SETTING CIoctlWindowsGetCachePolicy::GetCacheSetting() const {
    return ReadRecord<DISK_CACHE_SETTING>(m_OutBuffer.get(), m_OutBufferSize);
}

CIoctlWindowsSetCacheInformation::CIoctlWindowsSetCacheInformation(HANDLE target,
                                                                   const DISK_CACHE_INFORMATION& information)
    : CIoctl(target, IOCTL_DISK_SET_CACHE_INFORMATION, sizeof(DISK_CACHE_INFORMATION), 0, 0),
      m_Information(information) {}

CConsolidatedError CIoctlWindowsSetCacheInformation::_realFormatInputBuffer() {
    CConsolidatedError result = CIoctl::_realFormatInputBuffer();
    if (result.IsSuccessful())
        std::memcpy(m_InBuffer.get(), &m_Information, sizeof(m_Information));
    return result;
}

CIoctlWindowsSetCachePolicy::CIoctlWindowsSetCachePolicy(HANDLE target, const DISK_CACHE_SETTING& setting)
    : CIoctl(target, IOCTL_DISK_SET_CACHE_SETTING, sizeof(DISK_CACHE_SETTING), 0, 0), m_Setting(setting) {}

CConsolidatedError CIoctlWindowsSetCachePolicy::_realFormatInputBuffer() {
    CConsolidatedError result = CIoctl::_realFormatInputBuffer();
    if (result.IsSuccessful())
        std::memcpy(m_InBuffer.get(), &m_Setting, sizeof(m_Setting));
    return result;
}

CioctlWindowsGetDriveLayoutEx::CioctlWindowsGetDriveLayoutEx(HANDLE target)
    : CIoctl(target, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, 0, kSize, kSize) {}

int32_t CioctlWindowsGetDriveLayoutEx::CopyPartitionEntries(void* destination,
                                                            size_t destinationLength) const {
    if (!m_OutBuffer)
        return -1;
    if (destinationLength < kEntriesSize)
        return static_cast<int32_t>(kEntriesSize);
    std::memcpy(destination, m_OutBuffer.get() + kEntriesOffset, kEntriesSize);
    return 0;
}
