#include "middleware/model/RaidVolume.h"

#include <cstdio>
#include <cstring>

#include "middleware/core/HandleRegistry.h"
#include "middleware/ioctl/RaidConfig.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RecordBytes.h"
#include "middleware/model/VezkPairingInfo.h"
#include "middleware/model/WinDiskList.h"

namespace {

// The longest key text; longer keys are cut.
constexpr size_t kKeyCharacters = 39;
constexpr char kCacheMemoryVolumeName[] = "Halvex_Volume";

// Reads one group of the volume with its answer checked; on success copies `size` bytes of its data.
template <class Request> CConsolidatedError ReadGroup(Request&& request, uint8_t* into, size_t size) {
    request.SetVerifyOnInvoke(true);
    CConsolidatedError result = request.Invoke();
    if (result.IsSuccessful())
        std::memcpy(into, request.GetGroupData(), size);
    return result;
}

PackedScsiAddress VolumeAddress(int32_t storagePort, uint32_t addressWord) {
    return static_cast<uint32_t>(storagePort) << 24 | (addressWord & 0x00FFFFFF);
}

} // namespace

RaidVolume::~RaidVolume() = default;

CConsolidatedError RaidVolume::Populate(HANDLE target, uint32_t index, uint32_t controllerHandle,
                                        int32_t storagePort, const WinDiskList& winDisks) {
    m_Index = index;
    m_ControllerHandle = controllerHandle;

    auto record = std::make_unique<uint8_t[]>(kRecordSize);
    CConsolidatedError result = ReadGroup(CIoctlRaidVolumeGroup(target, index), record.get(), kRecordSize);
    if (result.IsError()) {
        result.AddDebugInformation("Could not get volume group info in RaidVolume::Populate");
        return result;
    }
    m_Record = std::move(record);

    auto info = std::make_unique<uint8_t[]>(kDeviceInfoSize);
    result = ReadGroup(CIoctlRaidDeviceInfo(target, index), info.get(), kDeviceInfoSize);
    if (result.IsError()) {
        result.SetError(CConsolidatedError::IOCTL_FAULT, static_cast<const char*>(nullptr));
        result.AddDebugInformation("Could not get device info in RaidVolume::Populate");
        return result;
    }
    m_DeviceInfo = std::move(info);

    auto config = std::make_unique<RaidVolumeDeviceConfig>();
    result =
        ReadGroup(CIoctlRaidDeviceCfg(target, index), config->record, RaidVolumeDeviceConfig::kRecordSize);
    if (result.IsError()) {
        result.AddDebugInformation("Could not get volume device config info in RaidVolume::Populate");
        return result;
    }
    if (controllerHandle == 0) {
        result.SetError(CConsolidatedError::UVI_INTERNALERROR,
                        "Controller cannot be null for RaidVolume Populate");
        return result;
    }
    config->address = VolumeAddress(storagePort, model::Read32(config->record, kAddressWord));
    m_DeviceConfig = std::move(config);

    try {
        updateNameAndHandle();
    } catch (const CConsolidatedError& e) {
        return e;
    }
    m_WinDisk = winDisks.find(m_Name, m_ScsiAddress);
    return CConsolidatedError();
}

CConsolidatedError RaidVolume::populateCacheMemoryVolume(const VezkPairingInfo& info, uint32_t index,
                                                         uint32_t controllerHandle, int32_t storagePort,
                                                         const WinDiskList& winDisks) {
    m_Index = index;
    m_ControllerHandle = controllerHandle;
    const uint32_t state = info.pairState();
    const uint32_t volumeAddress = info.volumeAddress();
    const uint64_t totalBytes = static_cast<uint64_t>(info.blockSize()) * info.blockCount();
    const uint32_t totalMb = static_cast<uint32_t>(totalBytes >> 20);
    const uint32_t flag84 = state == 2 || state == 3 ? 1 : 0;
    uint8_t name[kNameSize] = {};
    std::memcpy(name, kCacheMemoryVolumeName, sizeof(kCacheMemoryVolumeName) - 1);

    m_Record = std::make_unique<uint8_t[]>(kRecordSize);
    uint8_t* v = m_Record.get();
    std::memset(v, 0, kRecordSize);
    model::WriteField<uint32_t>(v, 0, kRecordSize);
    std::memcpy(v + kName, name, kNameSize);
    model::WriteField<uint32_t>(v, kAddressWord, volumeAddress);
    model::WriteField<uint32_t>(v, 28, info.blockSize());
    model::WriteField<uint32_t>(v, 32, totalMb);
    model::WriteField<uint32_t>(v, 36, 256);
    model::WriteField<uint32_t>(v, 40, 2);
    std::memcpy(v + 44, name, kNameSize);
    model::WriteField<uint32_t>(v, 84, flag84);
    model::WriteField<uint32_t>(v, kArrayOrd, index);
    model::WriteField<uint32_t>(v, 116, info.physicalBlockSize());
    model::WriteField<uint32_t>(v, 128, 1);

    m_DeviceInfo = std::make_unique<uint8_t[]>(kDeviceInfoSize);
    std::memset(m_DeviceInfo.get(), 0, kDeviceInfoSize);
    model::WriteField<uint32_t>(m_DeviceInfo.get(), 0, kDeviceInfoSize);
    model::WriteField<uint32_t>(m_DeviceInfo.get(), 4, 512);
    model::WriteField<uint64_t>(m_DeviceInfo.get(), 8, info.blockCount());

    m_DeviceConfig = std::make_unique<RaidVolumeDeviceConfig>();
    uint8_t* c = m_DeviceConfig->record;
    std::memset(c, 0, RaidVolumeDeviceConfig::kRecordSize);
    m_DeviceConfig->address = VolumeAddress(storagePort, volumeAddress);
    model::WriteField<uint32_t>(c, 0, RaidVolumeDeviceConfig::kRecordSize);
    std::memcpy(c + 4, name, kNameSize);
    model::WriteField<uint32_t>(c, 20, volumeAddress);
    std::memcpy(c + 28, name, kNameSize);
    model::WriteField<uint32_t>(c, 96, flag84);
    model::WriteField<uint32_t>(c, 100, state == 3 ? 3 : (state == 2 ? 1 : 0));
    model::WriteField<uint32_t>(c, 112, totalMb);

    updateNameAndHandle();
    m_WinDisk = winDisks.find(m_Name, m_ScsiAddress);
    return CConsolidatedError();
}

uint32_t RaidVolume::updateNameAndHandle() {
    m_ScsiAddress = m_DeviceConfig ? m_DeviceConfig->address : kNoScsiAddress;
    m_Name = m_Record ? std::string(reinterpret_cast<const char*>(m_Record.get() + kName),
                                    strnlen(reinterpret_cast<const char*>(m_Record.get() + kName), kNameSize))
                      : std::string();
    char key[kKeyCharacters + 1];
    std::snprintf(key, sizeof(key), "Volume_%s_%4.4d_%4.4d", m_Name.c_str(),
                  static_cast<int>(getRecordWord(kAddressWord)), static_cast<int>(m_ControllerHandle));
    m_Handle = HandleRegistry::instance().getHandle(HandleKindVolume, key);
    return m_Handle;
}

CConsolidatedError RaidVolume::setArrayPtr(std::shared_ptr<RaidArray> array) {
    CConsolidatedError result;
    if (!array) {
        result.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER,
                        "Invalid parameter passed in to RaidVolume::setArrayPtr");
        return result;
    }
    m_Array = std::move(array);
    return result;
}

uint32_t RaidVolume::getRecordWord(size_t offset) const {
    return m_Record && offset + 4 <= kRecordSize ? model::Read32(m_Record.get(), offset) : 0;
}
