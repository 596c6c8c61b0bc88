#include "middleware/model/WinDiskInterface.h"

#include <algorithm>
#include <cstring>

#include "middleware/core/ScopedHandle.h"
#include "middleware/ioctl/CIoctlStorage.h"
#include "middleware/ioctl/IoctlHooks.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinDeviceIo.h"

namespace {

// Offsets of one entry of the master boot record's partition table.
constexpr size_t kMbrTableOffset = 446;
constexpr size_t kMbrEntrySize = 16;
constexpr size_t kMbrEntryStatus = 0;
constexpr size_t kMbrEntryType = 4;
constexpr size_t kMbrEntrySectorCount = 12;
// The logical sector sizes of disks.
constexpr DWORD kMinSectorSize = 512;
constexpr DWORD kMaxSectorSize = 4096;
constexpr uint8_t kMbrActive = 0x80;

// A device descriptor is a few hundred bytes; a size above this is a broken answer, not a disk.
constexpr DWORD kMaxDescriptorSize = 0x10000;

CConsolidatedError CannotOpen() {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::GENERAL_INVALID_VALUE, nullptr,
                   "Could not get handle for disk interface");
    return error;
}

bool IsGuidOneOf(const GUID& type, std::initializer_list<GUID> types) {
    return std::any_of(types.begin(), types.end(), [&](const GUID& t) { return t == type; });
}

uint32_t LittleEndian32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Sends a request whose answer is mandatory for the item: a success without an answer is a failure
// naming the item. `take` stores the answer.
template <class Request, class Take>
CConsolidatedError ReadAnswer(Request& request, const CConsolidatedError& missing, Take take) {
    CConsolidatedError result = request.Invoke();
    if (result.IsError())
        return result;
    if (!request.GetOutBuffer())
        return missing;
    take(request);
    return result;
}

// Sends a set request; on success the record sent becomes the stored one.
template <class Request, class Record>
CConsolidatedError WriteRecord(HANDLE device, const Record& wanted, Record& stored, bool& valid) {
    Request request(device, wanted);
    CConsolidatedError result = request.Invoke();
    if (result.IsError())
        return result;
    stored = wanted;
    valid = true;
    return result;
}

// Runs f on the disk opened for this one call.
template <class F> CConsolidatedError WithOpenDevice(const WinDiskInterface& disk, F f) {
    ScopedHandle device(disk.openHandle());
    if (!device.get() || device.get() == INVALID_HANDLE_VALUE)
        return CannotOpen();
    return f(device.get());
}

} // namespace

WinDiskInterface::WinDiskInterface(std::wstring devicePath) : m_DevicePath(std::move(devicePath)) {}

HANDLE WinDiskInterface::openHandle() const {
    return CreateFileWHook(m_DevicePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

CConsolidatedError WinDiskInterface::missingAnswer(const wchar_t* item) const {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::GENERAL_FAULT, nullptr);
    error.AddErrorMessage(L"%ls for disk [%ls] is null", item, m_DevicePath.c_str());
    return error;
}

CConsolidatedError WinDiskInterface::Populate() {
    return WithOpenDevice(*this, [this](HANDLE device) { return populate(device); });
}

CConsolidatedError WinDiskInterface::populate(HANDLE device) {
    CConsolidatedError result = readDeviceDescriptor(device);
    if (result.IsError())
        return result;

    CIoctlDiskGetDiskAddress address(device);
    result = address.Invoke();
    if (result.IsError())
        return result;
    m_ScsiAddress = address.GetOutBuffer() ? address.GetScsiAddress() : kNoScsiAddress;

    result = readDeviceNumber(device);
    if (result.IsError())
        return result;
    result = readDriveLayout(device);
    if (result.IsError())
        return result;

    CIoctlStorageGetCapacity capacity(device);
    result = capacity.Invoke();
    if (result.IsError())
        return result;
    if (capacity.GetOutBuffer())
        m_Capacity = capacity.GetCapacity();

    // What follows only adds detail: a disk that cannot tell it is still a disk.
    static_cast<void>(readCachePolicy(device));
    static_cast<void>(readCacheInformation(device));
    static_cast<void>(readSeekPenalty(device));
    CIoctlStorageGetProperty alignment(device, sizeof(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR),
                                       StorageAccessAlignmentProperty);
    if (alignment.Invoke().IsSuccessful() && alignment.GetOutBuffer())
        std::memcpy(&m_AccessAlignment, alignment.GetOutBuffer(), sizeof(m_AccessAlignment));
    return CConsolidatedError();
}

CConsolidatedError WinDiskInterface::readDeviceDescriptor(HANDLE device) {
    CIoctlStorageGetPropertyOutputSize head(device, sizeof(STORAGE_DEVICE_DESCRIPTOR), StorageDeviceProperty);
    CConsolidatedError result = head.Invoke();
    if (result.IsError())
        return result;
    if (!head.GetOutBuffer())
        return missingAnswer(L"Device descriptor");
    const DWORD size =
        std::clamp<DWORD>(head.GetSize(), sizeof(STORAGE_DEVICE_DESCRIPTOR), kMaxDescriptorSize);

    CIoctlStorageGetProperty whole(device, size, StorageDeviceProperty);
    result = whole.Invoke();
    if (result.IsError())
        return result;
    const BYTE* answer = whole.GetOutBuffer();
    if (!answer)
        return missingAnswer(L"Device descriptor");
    STORAGE_DEVICE_DESCRIPTOR descriptor{};
    std::memcpy(&descriptor, answer, sizeof(descriptor));
    if (descriptor.BusType == BusTypeUsb) {
        CConsolidatedError usb;
        usb.SetError(CConsolidatedError::GENERAL_INVALID_VALUE, nullptr);
        return usb;
    }
    m_BusType = descriptor.BusType;
    m_SerialNumber.clear();
    // The text must lie within what the device answered; an offset beyond it gives no serial.
    const DWORD length = std::min(whole.GetBytesReturned(), size);
    if (descriptor.SerialNumberOffset != 0 && descriptor.SerialNumberOffset < length) {
        const char* text = reinterpret_cast<const char*>(answer) + descriptor.SerialNumberOffset;
        m_SerialNumber.assign(text, strnlen(text, length - descriptor.SerialNumberOffset));
    }
    return CConsolidatedError();
}

CConsolidatedError WinDiskInterface::readDeviceNumber(HANDLE device) {
    CIoctlStrorageGetDeviceNumber request(device);
    return ReadAnswer(request, missingAnswer(L"Device number"), [&](CIoctlStrorageGetDeviceNumber& answer) {
        m_DeviceNumber = answer.GetDeviceNumber();
    });
}

CConsolidatedError WinDiskInterface::readDriveLayout(HANDLE device) {
    CioctlWindowsGetDriveLayoutEx layout(device);
    CConsolidatedError result = layout.Invoke();
    if (result.IsError())
        return result;
    if (!layout.GetOutBuffer())
        return missingAnswer(L"Drive layout");
    std::memcpy(&m_DriveLayout, layout.GetOutBuffer(), sizeof(m_DriveLayout));
    if (m_DriveLayout.PartitionStyle == PARTITION_STYLE_MBR && m_DriveLayout.PartitionCount != 0) {
        // The table of the first sector tells which of the four MBR entries are in use; without it
        // the disk is still listed, with no MBR entries.
        static_cast<void>(readGeometryAndMbr(device));
    } else if (layout.CopyPartitionEntries(m_PartitionEntries.data(),
                                           m_PartitionEntries.size() * sizeof(PARTITION_INFORMATION_EX)) !=
               0) {
        std::fill(m_PartitionEntries.begin(), m_PartitionEntries.end(), PARTITION_INFORMATION_EX{});
    }
    buildPartitionInfos();
    return result;
}

CConsolidatedError WinDiskInterface::readGeometryAndMbr(HANDLE device) {
    CIoctlDiskGetDriveGeometryEx geometry(device);
    CConsolidatedError result = geometry.Invoke();
    if (result.IsError())
        return result;
    if (!geometry.GetOutBuffer())
        return missingAnswer(L"Geometry");
    const DISK_GEOMETRY_EX answered = geometry.GetGeometry();
    // The sector is read, and every MBR length scaled, at the answer's sector size: only the sizes
    // disks have are taken.
    const DWORD bytesPerSector = answered.Geometry.BytesPerSector;
    if (bytesPerSector < kMinSectorSize || bytesPerSector > kMaxSectorSize) {
        result.SetError(CConsolidatedError::GENERAL_INVALID_VALUE,
                        "MBR record not read: unusable sector size");
        return result;
    }
    m_Geometry = answered;

    std::vector<uint8_t> sector(bytesPerSector);
    DWORD read = 0;
    if (!ReadFile(device, sector.data(), static_cast<DWORD>(sector.size()), &read, nullptr)) {
        result.SetError(KEDO2_ERROR_TYPE_WIN32, GetLastError(), nullptr);
        result.AddErrorMessage("Error while reading MBR record");
        return result;
    }
    if (read < kMbrSize || sector.size() < kMbrSize) {
        // The code says what went wrong; the Win32 number the read left goes with it.
        result.SetError(KEDO2_ERROR_TYPE_WIN32, GetLastError(), nullptr);
        result.SetError(CConsolidatedError::GENERAL_FAULT, "MBR record read returned too few bytes");
        return result;
    }
    std::copy_n(sector.begin(), kMbrSize, m_Mbr.begin());
    return result;
}

void WinDiskInterface::buildPartitionInfos() {
    m_PartitionInfos.clear();
    const uint32_t diskNumber = m_DeviceNumber.DeviceNumber;
    if (m_DriveLayout.PartitionStyle == PARTITION_STYLE_MBR && m_DriveLayout.PartitionCount != 0) {
        const size_t entries = std::min<size_t>(m_DriveLayout.PartitionCount, 4);
        for (size_t i = 0; i < entries; ++i) {
            const uint8_t* entry = m_Mbr.data() + kMbrTableOffset + i * kMbrEntrySize;
            if (entry[kMbrEntryType] == 0)
                continue;
            PartitionInfos info;
            info.diskNumber = diskNumber;
            info.kind = entry[kMbrEntryStatus] == kMbrActive ? PartitionInfos::kMbrActive
                                                             : PartitionInfos::kMbrInactive;
            info.partitionStyle = PARTITION_STYLE_MBR;
            info.length =
                uint64_t{m_Geometry.Geometry.BytesPerSector} * LittleEndian32(entry + kMbrEntrySectorCount);
            info.partitionType = entry[kMbrEntryType];
            info.partitionNumber = static_cast<uint32_t>(i);
            m_PartitionInfos.push_back(info);
        }
        return;
    }
    for (size_t i = 0; i < usedEntryCount(); ++i) {
        const PARTITION_INFORMATION_EX& entry = m_PartitionEntries[i];
        PartitionInfos info;
        info.diskNumber = diskNumber;
        info.kind =
            entry.PartitionStyle == PARTITION_STYLE_GPT ? PartitionInfos::kGpt : entry.Mbr.BootIndicator;
        info.partitionStyle = entry.PartitionStyle;
        info.length = static_cast<uint64_t>(entry.PartitionLength.QuadPart);
        info.partitionType = entry.PartitionStyle == PARTITION_STYLE_MBR ? entry.Mbr.PartitionType
                                                                         : PartitionInfos::kNoMbrType;
        info.partitionNumber = entry.PartitionNumber;
        m_PartitionInfos.push_back(info);
    }
}

size_t WinDiskInterface::usedEntryCount() const {
    return std::min<size_t>(m_DriveLayout.PartitionCount, kMaxPartitionEntries);
}

std::vector<std::shared_ptr<PartitionInfos>> WinDiskInterface::getPartitionInfos() const {
    std::vector<std::shared_ptr<PartitionInfos>> list;
    list.reserve(m_PartitionInfos.size());
    for (const PartitionInfos& info : m_PartitionInfos)
        list.push_back(std::make_shared<PartitionInfos>(info));
    return list;
}

bool WinDiskInterface::hasEfiSystemPartition() const {
    for (size_t i = 0; i < usedEntryCount(); ++i) {
        const PARTITION_INFORMATION_EX& entry = m_PartitionEntries[i];
        if (entry.PartitionStyle == PARTITION_STYLE_GPT && entry.Gpt.PartitionType == PARTITION_SYSTEM_GUID)
            return true;
    }
    return false;
}

bool WinDiskInterface::hasDynamicDiskPartitions() const {
    for (size_t i = 0; i < usedEntryCount(); ++i)
        if (IsGuidOneOf(m_PartitionEntries[i].Gpt.PartitionType,
                        {PARTITION_LDM_METADATA_GUID, PARTITION_LDM_DATA_GUID}))
            return true;
    return false;
}

bool WinDiskInterface::getCachePolicy(DISK_CACHE_SETTING& setting) const {
    setting = m_CachePolicy;
    return m_CachePolicyValid;
}

bool WinDiskInterface::getCacheInformation(DISK_CACHE_INFORMATION& information) const {
    information = m_CacheInformation;
    return m_CacheInformationValid;
}

bool WinDiskInterface::getSeekPenalty(bool& incursSeekPenalty) const {
    incursSeekPenalty = m_IncursSeekPenalty;
    return m_SeekPenaltyValid;
}

CConsolidatedError WinDiskInterface::readCachePolicy(HANDLE device) {
    CIoctlWindowsGetCachePolicy request(device);
    return ReadAnswer(request, missingAnswer(L"Cache policy"), [&](CIoctlWindowsGetCachePolicy& answer) {
        m_CachePolicy = answer.GetCacheSetting();
        m_CachePolicyValid = true;
    });
}

CConsolidatedError WinDiskInterface::readCacheInformation(HANDLE device) {
    CIoctlWindowsGetCacheInformation request(device);
    return ReadAnswer(request, missingAnswer(L"Cache information"),
                      [&](CIoctlWindowsGetCacheInformation& answer) {
                          m_CacheInformation = answer.GetCacheInformation();
                          m_CacheInformationValid = true;
                      });
}

CConsolidatedError WinDiskInterface::readSeekPenalty(HANDLE device) {
    CIoctlStorageGetSeekPenalty request(device);
    return ReadAnswer(request, missingAnswer(L"Seek penalty"), [&](CIoctlStorageGetSeekPenalty& answer) {
        m_IncursSeekPenalty = answer.GetSeekPenalty().IncursSeekPenalty != 0;
        m_SeekPenaltyValid = true;
    });
}

CConsolidatedError WinDiskInterface::writeCachePolicy(HANDLE device, bool powerProtected) {
    DISK_CACHE_SETTING setting = m_CachePolicy;
    setting.IsPowerProtected = powerProtected ? TRUE : FALSE;
    return WriteRecord<CIoctlWindowsSetCachePolicy>(device, setting, m_CachePolicy, m_CachePolicyValid);
}

CConsolidatedError WinDiskInterface::writeCacheInformation(HANDLE device, bool writeCacheEnabled) {
    DISK_CACHE_INFORMATION information = m_CacheInformation;
    information.WriteCacheEnabled = writeCacheEnabled ? TRUE : FALSE;
    return WriteRecord<CIoctlWindowsSetCacheInformation>(device, information, m_CacheInformation,
                                                         m_CacheInformationValid);
}

CConsolidatedError WinDiskInterface::setCacheBufferFlush(bool powerProtected) {
    return WithOpenDevice(*this, [&](HANDLE device) { return writeCachePolicy(device, powerProtected); });
}

CConsolidatedError WinDiskInterface::setVolumeBufferFlush(bool powerProtected) {
    return WithOpenDevice(*this, [&](HANDLE device) {
        CConsolidatedError result = readCacheInformation(device);
        if (result.IsError())
            return result;
        if (!m_CacheInformation.WriteCacheEnabled) {
            // The power-protected setting means nothing while the disk does not cache writes.
            result = writeCacheInformation(device, true);
            if (result.IsError())
                return result;
        }
        return writeCachePolicy(device, powerProtected);
    });
}

CConsolidatedError WinDiskInterface::setWriteCachingPolicy(bool enabled) {
    return WithOpenDevice(*this, [&](HANDLE device) {
        // Without the current values the request would also switch off what it does not mean to.
        CConsolidatedError result = readCacheInformation(device);
        if (result.IsError())
            return result;
        return writeCacheInformation(device, enabled);
    });
}

bool IsSystemDriveAtScsiAddress(PackedScsiAddress address) {
    ScopedHandle drive(CreateFileAHook("\\\\.\\C:", GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!drive.get() || drive.get() == INVALID_HANDLE_VALUE)
        return false;
    CIoctlDiskGetDiskAddress request(drive.get());
    if (request.Invoke().IsError() || !request.GetOutBuffer())
        return false;
    return request.GetScsiAddress() == address;
}
