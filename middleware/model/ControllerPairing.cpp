// The cache-memory pairing steps of a controller's populate: the driver's pairing information, the
// synthetic pairing array and volume, the pairing state, the disk pairs and the optimisation state.
#include <cstring>
#include <new>
#include <span>

#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/ioctl/VezkRequests.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/RecordBytes.h"
#include "middleware/model/VezkDiskPair.h"
#include "middleware/model/WinDiskInterface.h"
#include "middleware/pairing/BootMigration.h"
#include "middleware/pairing/HalvexModuleSize.h"
#include "middleware/pairing/PairingState.h"
#include "platform/win/Trace.h"

namespace {

// The extended answer's kinds and payload.
constexpr uint32_t kExtendedAddress = 1;
constexpr uint32_t kExtendedFlagKind = 2;
constexpr size_t kPayload = 28;

// Volume record byte whose bit 0 marks the pairing volume.
constexpr size_t kVolumePairingFlagByte = 110;

// Optimisation state limits.
constexpr uint64_t kSmallModuleBytes = 0x500000000ull; // 20 GiB
constexpr uint64_t kSmallCacheBytes = 0x1C0000000ull;  // 7 GiB

// A failed pairing request, traced on its way back to the caller.
CConsolidatedError Traced(const char* what, const CConsolidatedError& result) {
    MOX_TRACE(TRACE_LEVEL_ERROR, "%s failed: 0x%X", what, static_cast<unsigned>(result.GetErrorCode()));
    return result;
}

int32_t ArrayIndexOf(const std::shared_ptr<RaidVolume>& volume) {
    if (!volume)
        return -1;
    return volume->getArray() ? volume->getArray()->getIndex() : -1;
}

uint64_t WindowsCapacity(const Disk& disk) {
    const auto& view = disk.getWinDiskInterface();
    return view ? view->getNumberOfBlocks() * view->getBlockLength() : 0;
}

uint64_t DictionaryCapacity(const Disk& disk) {
    const CDictionaryEndDevice* entry = disk.getDictionaryEntry();
    return entry ? entry->GetValues().lbaCount * entry->GetValues().logicalSectorSize : 0;
}

} // namespace

CConsolidatedError Controller::populateVezkInfo(RaidDiskConfigList& records, const WinDiskList& winDisks) {
    {
        CIoctlVezkDisksInfo request(m_Locator);
        if (request.Invoke().IsSuccessful()) {
            m_VezkDiskRecords = request.GetDisks();
            for (VOLPORT_DISK_RECORD& record : m_VezkDiskRecords) {
                const uint32_t address = model::Read32(record.Bytes, 0);
                model::WriteField<uint32_t>(
                    record.Bytes, 0, (address & 0x00FFFFFFu) | (static_cast<uint32_t>(m_PortNumber) << 24));
            }
        }
    }

    CConsolidatedError result;
    m_VezkInfo.reset(new (std::nothrow) VezkPairingInfo{});
    if (!m_VezkInfo) {
        result.SetError(CConsolidatedError::GENERAL_INSUFF_MEM, nullptr);
        return result;
    }
    VezkPairingInfo& info = *m_VezkInfo;
    result = readVezkInfo(m_Locator, info, m_VezkSupportCode, m_VezkPlatformWord);
    if (result.IsError())
        return result;

    if (info.isEnabled()) {
        result = populateVezkVolume(winDisks, info);
        if (result.IsError())
            return result;
        const std::shared_ptr<RaidVolume> volume = getVolumeByIndex(info.volumeIndex());
        const std::shared_ptr<RaidArray> array = volume ? volume->getArray() : nullptr;
        if (!volume || !array) {
            result.SetError(CConsolidatedError::UVI_INTERNALERROR, nullptr);
            return result;
        }
        const PackedScsiAddress fast = info.fastMember();
        const PackedScsiAddress slow = info.slowMember();
        std::shared_ptr<RaidVolume> fastVolume;
        std::shared_ptr<RaidVolume> slowVolume;
        for (const auto& v : m_Volumes) {
            const PackedScsiAddress address =
                v->getDeviceConfig() ? v->getDeviceConfig()->address : kNoScsiAddress;
            if (!fastVolume && address == fast)
                fastVolume = v;
            if (!slowVolume && address == slow)
                slowVolume = v;
        }
        const int32_t memberArrayIndex = ArrayIndexOf(fastVolume ? fastVolume : slowVolume);
        for (RaidDiskConfig& record : records) {
            const int32_t own = record.getArrayIndex();
            if (record.getPackedAddress() == fast || record.getPackedAddress() == slow ||
                (own != -1 && own == memberArrayIndex)) {
                // A record without an array keeps no original one.
                static_cast<void>(record.setOriginalArray(record.getArray()));
                static_cast<void>(record.setArray(array));
            }
        }
    } else {
        info.setArrayIndex(-1);
        info.setVolumeIndex(-1);
    }

    info.setStatus(computeVezkState(info, m_NvCacheInfo.get(), m_Volumes));
    UpdateHalvexRegistryValues(std::span<const uint8_t>(info.Bytes, sizeof info.Bytes));
    return CConsolidatedError();
}

CConsolidatedError Controller::readVezkInfo(ControllerLocator* locator, VezkPairingInfo& info,
                                            uint32_t& supportCode, uint32_t& platformWord) {
    supportCode = 0;
    platformWord = 0;
    std::memset(info.Bytes, 0, sizeof info.Bytes);
    info.setVolumeAddress(kNoScsiAddress);
    info.setBlockProgress(-1);
    info.setBootProgress(-1);
    info.setOverallProgress(-1);

    CIoctlVezkSupported supported(locator);
    CConsolidatedError result = supported.Invoke();
    if (result.IsError())
        return Traced("Pairing platform support request", result);
    supportCode = supported.GetSrbReturnCode();
    platformWord = supported.GetPlatformSupport();

    CIoctlVezkGetInfo getInfo(locator);
    result = getInfo.Invoke();
    if (result.IsError())
        return Traced("Pairing information request", result);
    std::memcpy(info.Bytes, getInfo.GetOutBuffer(), pairing_answer::kAnswerSize);

    CIoctlVezkGetInfoExt extended(locator);
    const CConsolidatedError extendedResult = extended.Invoke();
    if (extendedResult.IsSuccessful()) {
        const std::span<const uint8_t> answer(extended.GetOutBuffer(), extended.GetOutBufferSize());
        const uint32_t kind = model::Read32(extended.GetOutBuffer(), kPayload);
        if (kind == kExtendedAddress)
            SetVezkVolumeAddressFromExtendedInfo(answer, std::span<uint8_t>(info.Bytes, sizeof info.Bytes));
        else if (kind == kExtendedFlagKind)
            SetVezkExtendedFlag(std::span<uint8_t>(info.Bytes, sizeof info.Bytes));
    } else {
        MOX_TRACE(TRACE_LEVEL_WARNING, "Extended pairing information request failed: 0x%X",
                  static_cast<unsigned>(extendedResult.GetErrorCode()));
        if (info.isEnabled())
            info.setVolumeAddress(info.volumeOnSlow() != 0 ? info.slowMember() : getDefaultVolumeAddress());
    }

    info.setMemberPorts(m_PortNumber);

    if (info.isEnabled()) {
        CIoctlVezkMigration migration(locator);
        result = migration.Invoke();
        if (result.IsError())
            return Traced("Pairing migration status request", result);
        int32_t progress = -1;
        try {
            progress = migration.GetProgress();
        } catch (const CConsolidatedError& e) {
            return e;
        }
        const int32_t boot = GetBootMigrationProgress();
        info.setBlockProgress(progress);
        info.setBootProgress(boot);
        // A boot migration whose progress is unknown (-1) does not count.
        info.setOverallProgress(boot >= 0 && boot <= 100 ? (progress + boot) / 2 : progress);
    }
    return CConsolidatedError();
}

CConsolidatedError Controller::populateVezkVolume(const WinDiskList& winDisks, VezkPairingInfo& info) {
    CConsolidatedError result;
    std::shared_ptr<RaidArray> array(new (std::nothrow) RaidArray());
    std::shared_ptr<RaidVolume> volume(new (std::nothrow) RaidVolume());
    if (!array || !volume) {
        result.SetError(CConsolidatedError::GENERAL_INSUFF_MEM, nullptr);
        return result;
    }
    result = array->populateCacheMemoryArray(info, m_ArrayCount, m_Handle);
    if (result.IsError())
        return result;
    result = volume->populateCacheMemoryVolume(info, static_cast<uint32_t>(m_VolumeCount), m_Handle,
                                               m_PortNumber, winDisks);
    if (result.IsError())
        return result;
    static_cast<void>(volume->setArrayPtr(array)); // a non-empty array always links
    info.setArrayIndex(m_ArrayCount);
    info.setVolumeIndex(m_VolumeCount);
    m_Arrays.push_back(std::move(array));
    m_Volumes.push_back(std::move(volume));
    return result;
}

int32_t Controller::computeVezkState(const VezkPairingInfo& info, const uint8_t* nvCacheInfo,
                                     const std::vector<std::shared_ptr<RaidVolume>>& volumes) const {
    bool volumeFlag = false;
    for (const auto& volume : volumes)
        if (volume && volume->getRecord() && (volume->getRecord()[kVolumePairingFlagByte] & 1) != 0)
            volumeFlag = true;

    std::vector<std::shared_ptr<RaidVolume>> pairingVolumes = {getAcceleratedVolume(), getBlockCacheVolume()};
    if (info.isEnabled())
        pairingVolumes.push_back(getVolumeByIndex(info.volumeIndex()));
    bool memberFlag = false;
    for (const auto& volume : pairingVolumes)
        for (const auto& disk : getDisksOfVolume(volume))
            if (disk->getRaidDiskConfig() && disk->getRaidDiskConfig()->isFlag9Set())
                memberFlag = true;

    const std::span<const uint8_t> nvc =
        nvCacheInfo ? std::span<const uint8_t>(nvCacheInfo, kNvCacheInfoSize) : std::span<const uint8_t>();
    return ComputeVezkOperationStatus(std::span<const uint8_t>(info.Bytes, sizeof info.Bytes), nvc,
                                      volumeFlag, memberFlag, static_cast<uint32_t>(info.bootProgress()));
}

CConsolidatedError Controller::populateVezkPairCandidates() {
    for (const auto& fast : m_Disks) {
        bool fastUnsupported = false;
        bool fastSystem = false;
        for (const auto& slow : m_Disks) {
            if (slow == fast)
                continue;
            auto pair = std::make_shared<VezkDiskPair>(slow, fast);
            if (fastUnsupported) {
                pair->markFastDriveUnsupported();
            } else if (fastSystem) {
                pair->markFastDiskSystem();
            } else {
                // A pair that cannot be checked is left out, as the populate's other optional reads.
                const CConsolidatedError result = pair->Populate(m_Locator);
                if (result.IsError()) {
                    static_cast<void>(Traced("Disk pair check", result));
                    continue;
                }
                fastUnsupported = pair->getStatus() == VezkDiskPair::kStatusFastUnsupported;
                fastSystem = pair->getStatus() == VezkDiskPair::kStatusFastSystem;
            }
            m_Pairs.push_back(std::move(pair));
        }
    }
    return CConsolidatedError();
}

CConsolidatedError Controller::populateConcatenatedVezkPair() {
    CConsolidatedError result;
    const auto [slow, fast] = getVezkMemberDisks();
    if (!slow || !fast) {
        char message[160];
        std::snprintf(message, sizeof message,
                      "Attempted to populate concatenated disk pair with invalid disk set slow: %s, fast:%s",
                      slow ? "valid" : "invalid", fast ? "valid" : "invalid");
        result.SetError(CConsolidatedError::UVI_INTERNALERROR, message);
        return result;
    }
    if (!m_VezkInfo) {
        result.SetError(CConsolidatedError::UVI_INTERNALERROR,
                        "Attempted to populate concatenated disk pair without vezk info");
        return result;
    }
    bool fileCache = true;
    if (isFeatureSupported(kFeatureFileCacheSupport)) {
        CIoctlIsFileCacheSupported request(m_Locator, m_VezkInfo->slowMember(), m_VezkInfo->fastMember());
        result = request.Invoke();
        if (result.IsError())
            return result;
        fileCache = (request.IsSupported() & 0xFF) != 0;
    }
    // Slow first, as every candidate: the roles, the handle key and the member handles agree.
    auto pair = std::make_shared<VezkDiskPair>(slow, fast);
    result = pair->populateJoined(fileCache, m_VezkInfo->valueC());
    if (result.IsError())
        return result;
    m_Pairs.push_back(std::move(pair));
    return result;
}

int32_t Controller::computeOptimizationState() const {
    if (!isVezkSupported() || !m_VezkInfo)
        return 0;
    const VezkPairingInfo& info = *m_VezkInfo;

    HalvexModuleController module;
    module.pairingAnswer = std::span<const uint8_t>(info.Bytes, sizeof info.Bytes);
    for (const auto& disk : m_Disks) {
        HalvexModuleDisk entry;
        if (const RaidDiskConfig* record = disk->getRaidDiskConfig().get()) {
            entry.isMemberOfArrayIndex = [record](uint32_t index) {
                return record->isMemberOfArrayIndex(static_cast<int32_t>(index));
            };
            entry.memberFlag = record->isNvCacheArrayMember();
        }
        entry.windowsCapacity = WindowsCapacity(*disk);
        entry.validForPairing = disk->isValidForPairing();
        entry.capacity = DictionaryCapacity(*disk);
        module.disks.push_back(std::move(entry));
    }
    uint64_t moduleBytes = 0;
    if (GetHalvexModuleSize(&module, &moduleBytes).IsError())
        moduleBytes = 0;
    if (moduleBytes < kSmallModuleBytes)
        return 1;
    if (info.status() != 0)
        return 2;
    if (info.pairState() != 1)
        return 3;
    const PackedScsiAddress volume =
        (info.volumeAddress() & 0x00FFFFFFu) | (static_cast<uint32_t>(m_PortNumber) << 24);
    if (!IsSystemDriveAtScsiAddress(volume))
        return 6;
    if (static_cast<uint64_t>(info.blockSize()) * info.valueC() < kSmallCacheBytes)
        return 4;
    return 5;
}
