#include "middleware/accelerate/UVIAccelerateBaseAction.h"

#include <memory>

#include "middleware/api/ActionValidator.h"
#include "middleware/api/CacheOperations.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/NvcDisassociate.h"
#include "middleware/api/NvcInfo.h"
#include "middleware/api/VolumeOperations.h"
#include "middleware/api/VolumeQueries.h"
#include "middleware/core/CfgMgrPathsGetters.h"
#include "middleware/core/RegistrySettings.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/DiskShrinkExtension.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidDiskConfig.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "platform/win/Trace.h"
#include "platform/win/WinBase.h"

namespace {

using Code = CConsolidatedError::KEDO2_ERRORS;

CConsolidatedError Refusal(Code code, const char* message) {
    CConsolidatedError error;
    error.SetError(code, message);
    return error;
}

CConsolidatedError StatusRefusal(_UVI_Status status, const char* message) {
    CConsolidatedError error;
    error.SetError(status, message, nullptr);
    return error;
}

CConsolidatedError ModeRefusal(const char* message) {
    return Refusal(CConsolidatedError::HALVEX_SET_BLOCKCACHE_ACCELERATEMODEFAILED, message);
}

// The modes the driver rests in; a change is asked for only from one of them.
bool SteadyMode(_UVI_NvcMode mode) {
    return mode == UVI_NVC_MODE_OFF || mode == UVI_NVC_MODE_SAFE || mode == UVI_NVC_MODE_PERFORMANCE;
}

} // namespace

UVIAccelerateBaseAction::UVIAccelerateBaseAction() {
    const CConsolidatedError error =
        SessionHolder::acquire(m_Holder, static_cast<int>(m_SessionHandle), m_Session);
    if (error.IsError())
        throw error;
    if (!m_Session)
        throw Refusal(CConsolidatedError::GENERAL_NULL_PARAMETER,
                      "Session creation failed in Accelerate action");
}

UVIAccelerateBaseAction::~UVIAccelerateBaseAction() {
    static_cast<void>(SessionHolder::release(m_Holder)); // nothing is left to tell
}

void UVIAccelerateBaseAction::pause(uint32_t milliseconds) {
    Sleep(milliseconds);
}

CConsolidatedError UVIAccelerateBaseAction::refreshSession() {
    if (m_SessionHandle != 0)
        return Refusal(CConsolidatedError::UVI_INVALIDSESSION, "Cannot refresh external session");
    CConsolidatedError error = SessionHolder::release(m_Holder);
    if (error.IsError()) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "refreshSession: release failed: %#X %s", error.GetErrorCode(),
                  error.GetErrorMessage());
        return error;
    }
    m_Session = nullptr;
    error = SessionHolder::acquire(m_Holder, 0, m_Session);
    if (error.IsSuccessful() && !m_Session)
        error = Refusal(CConsolidatedError::GENERAL_NULL_PARAMETER,
                        "Session creation failed in Accelerate action");
    if (error.IsError())
        MOX_TRACE(TRACE_LEVEL_ERROR, "refreshSession: acquire failed: %#X %s", error.GetErrorCode(),
                  error.GetErrorMessage());
    return error;
}

CConsolidatedError UVIAccelerateBaseAction::configVolumeAcceleration(uint32_t volumeHandle,
                                                                     _UVI_NvcMode mode) {
    _UVI_VolumeInfo volume{};
    CConsolidatedError error = internalUviGetVolumeInfo(*m_Session, volumeHandle, &volume);
    if (error.IsError())
        return error;
    if (!isSupported(volume.controllerHandle, error))
        return error;
    _UVI_NvcInfo nvc{};
    error = internalUviGetNvcInfo(*m_Session, volume.controllerHandle, &nvc);
    if (error.IsError())
        return error;
    if (nvc.cacheVolumeHandle == 0)
        return ModeRefusal("There is no cache volume in this system!");
    if (nvc.acceleratedVolumeHandle != 0 && nvc.acceleratedVolumeHandle != volumeHandle)
        return ModeRefusal("There is already a volume or disk being accelerated currently!");
    if (nvc.acceleratedDiskHandle != 0)
        return ModeRefusal("There is already a disk being accelerated currently!");
    if (volume.isBlockCacheVolume || volume.arrayHasBlockCacheVolume)
        return ModeRefusal("Cannot accelerate the Cache or Extra space volume!");
    if (mode != nvc.mode && SteadyMode(nvc.mode))
        return internalUviVolumeSetCacheMode(*m_Session, volumeHandle, mode);
    return ModeRefusal("Cache is already in that mode or is transitioning!");
}

CConsolidatedError UVIAccelerateBaseAction::configDiskAcceleration(uint32_t diskHandle, _UVI_NvcMode mode) {
    _UVI_EndDeviceInfo disk{};
    CConsolidatedError error = internalUviGetEndDeviceInfo(*m_Session, diskHandle, &disk);
    if (error.IsError())
        return error;
    if (!isSupported(disk.controllerHandle, error))
        return error;
    _UVI_NvcInfo nvc{};
    error = internalUviGetNvcInfo(*m_Session, disk.controllerHandle, &nvc);
    if (error.IsError())
        return error;
    if (mode != UVI_NVC_MODE_OFF && nvc.mode == UVI_NVC_MODE_OFF) {
        error = checkDiskCanBeAccelerated(nvc, disk);
        if (error.IsError())
            return error;
    }
    // A cache in state 2 can always be switched off, whatever mode it reports.
    if ((nvc.cacheState == 2 && mode == UVI_NVC_MODE_OFF) || (mode != nvc.mode && SteadyMode(nvc.mode)))
        return validateAndSetDiskMode(diskHandle, mode);
    return ModeRefusal("Cache is already in that mode or is transitioning!");
}

CConsolidatedError UVIAccelerateBaseAction::validateAndSetDiskMode(uint32_t diskHandle, _UVI_NvcMode mode) {
    ActionValidator::Validate(*m_Session, UviActionValidator::RulesForVezkAccelerate(
                                              diskHandle, static_cast<int>(getCacheVolumeKind())));
    return internalUviDiskSetCacheMode(*m_Session, diskHandle, mode, static_cast<int>(getCacheVolumeKind()));
}

CConsolidatedError UVIAccelerateBaseAction::switchAcceleratedObject(_UVI_NvcMode mode,
                                                                    const _UVI_NvcInfo& nvc) {
    if (nvc.acceleratedVolumeHandle != 0)
        return configVolumeAcceleration(nvc.acceleratedVolumeHandle, mode);
    if (nvc.acceleratedDiskHandle != 0)
        return configDiskAcceleration(nvc.acceleratedDiskHandle, mode);
    return Refusal(CConsolidatedError::GENERAL_INVALID_VALUE,
                   "Nvc info does not contain accelerated volume or disk info.");
}

CConsolidatedError UVIAccelerateBaseAction::turnOffAcceleration(uint32_t controllerHandle) {
    _UVI_NvcInfo nvc{};
    CConsolidatedError error = internalUviGetNvcInfo(*m_Session, controllerHandle, &nvc);
    if (error.IsError())
        return error;
    if (!isSupported(nvc.controllerHandle, error))
        return error;
    return switchAcceleratedObject(UVI_NVC_MODE_OFF, nvc);
}

CConsolidatedError UVIAccelerateBaseAction::disassociate(const _UVI_VolumeInfo& volume) {
    _UVI_NvcInfo nvc{};
    CConsolidatedError error = internalUviGetNvcInfo(*m_Session, volume.controllerHandle, &nvc);
    if (error.IsError())
        return error;
    if (!isSupported(nvc.controllerHandle, error))
        return error;
    if (volume.handle == nvc.cacheVolumeHandle)
        return internalUviNvcDisassociate(*m_Session, volume.handle);
    return StatusRefusal(UVI_STATUS_INVALID_PARAMETER, "Volume not used as Cache Volume");
}

CConsolidatedError UVIAccelerateBaseAction::resetCacheToAvailable(uint32_t controllerHandle) {
    _UVI_NvcInfo nvc{};
    CConsolidatedError error = internalUviGetNvcInfo(*m_Session, controllerHandle, &nvc);
    if (error.IsError())
        return error;
    if (!isSupported(controllerHandle, error))
        return error;
    if (nvc.acceleratedDiskHandle != 0 || nvc.acceleratedVolumeHandle != 0)
        return StatusRefusal(
            UVI_STATUS_INVALID_STATE,
            "Cache is currently being used to accelerate disk or volume, Turn off acceleration to reset.");
    _UVI_VolumeInfo cache{};
    error = internalUviGetVolumeInfo(*m_Session, nvc.cacheVolumeHandle, &cache);
    if (error.IsError())
        return error;
    const uint32_t cacheArray = cache.arrayHandle;
    uint32_t deleted = 0;
    for (;;) {
        std::shared_ptr<RaidVolume> found;
        if (const auto controller = m_Session->getControllerByHandle(controllerHandle))
            for (const auto& volume : controller->getVolumes()) {
                const auto array = volume->getArray();
                if (cacheArray != 0 && array && array->getHandle() == cacheArray) {
                    found = volume;
                    break;
                }
            }
        if (found) {
            // A driver that reports a delete done and keeps the volume would hold us here for ever.
            if (found->getHandle() == deleted) {
                CConsolidatedError kept(CConsolidatedError::UVI_INTERNALERROR);
                kept.AddDebugInformation("Volume %s is still present after its deletion",
                                         found->getName().c_str());
                return kept;
            }
            MOX_TRACE(TRACE_LEVEL_INFORMATION, "resetCacheToAvailable: deleting volume %s",
                      found->getName().c_str());
            error = internalUviVolumeDelete(*m_Session, found->getHandle());
            if (error.IsError())
                return error;
            deleted = found->getHandle();
        }
        error = refreshSession();
        if (error.IsError())
            return error;
        if (!found) {
            IsHalvexEnabledSetting().setBool(false);
            return error;
        }
    }
}

CConsolidatedError UVIAccelerateBaseAction::checkDiskCanBeAccelerated(const _UVI_NvcInfo& nvc,
                                                                      const _UVI_EndDeviceInfo& disk) {
    if (nvc.cacheVolumeHandle == 0)
        return ModeRefusal("There is no cache volume in this system!");
    if (nvc.acceleratedVolumeHandle != 0)
        return ModeRefusal("There is already a volume or disk being accelerated currently!");
    if (nvc.acceleratedDiskHandle != 0 && nvc.acceleratedDiskHandle != disk.endDeviceHandle)
        return ModeRefusal("There is already a disk being accelerated currently!");
    // A pass-through disk (usage 2) in the normal state (6).
    if (disk.usage != 2 || disk.state != 6)
        return ModeRefusal("This is not available or not in normal state");
    const auto found = m_Session->getEndDeviceByHandle(disk.endDeviceHandle);
    if (!found || !found->getRaidDiskConfig())
        return CConsolidatedError(CConsolidatedError::UVI_INTERNALERROR);
    const RaidDiskConfig& config = *found->getRaidDiskConfig();
    const uint64_t needed = DiskShrinkExtension::getMetadataSpaceSize(
        config.getMetadataSectors(), config.getSectorSize(), getCacheVolumeKind());
    const uint64_t available = disk.capacity - disk.bytesInUse + found->getLastPartitionFreeBytes();
    if (disk.hasPartitions && available < needed)
        return Refusal(CConsolidatedError::UVI_SHRINK_NOT_ENOUGH_SPACE, "Disk has no space for metadata");
    return CConsolidatedError();
}

CConsolidatedError UVIAccelerateBaseAction::checkFastDisk(const _UVI_EndDeviceInfo& disk) {
    _UVI_NvcInfo nvc{};
    CConsolidatedError error = internalUviGetNvcInfo(*m_Session, disk.controllerHandle, &nvc);
    if (error.IsError())
        return error;
    if (nvc.cacheVolumeHandle != 0)
        return Refusal(CConsolidatedError::HALVEX_BLOCK_CACHEVOLUMEALREADYPRESENT,
                       "There is already a cache volume on this controller!");
    if (!disk.solidState)
        return Refusal(CConsolidatedError::HALVEX_FASTMEDIAINVALIDFORCACHE,
                       "Only SSDs can be used for acceleration!");
    if (disk.capacity < getMinCacheSize()) {
        const float gib = static_cast<float>(getMinCacheSize()) / static_cast<float>(1u << 30);
        CConsolidatedError small(CConsolidatedError::HALVEX_FASTMEDIATOOSMALLFORCACHE);
        small.AddErrorMessage("Fast Disk of at least %f GB is needed for Cache Volume",
                              static_cast<double>(gib));
        return small;
    }
    return error;
}

CConsolidatedError UVIAccelerateBaseAction::getBlockCacheVolumeInfo(_UVI_VolumeInfo& volume) {
    for (const auto& controller : m_Session->getControllers())
        if (const auto blockCache = controller->getBlockCacheVolume())
            return internalUviGetVolumeInfo(*m_Session, blockCache->getHandle(), &volume);
    return StatusRefusal(UVI_STATUS_INVALID_STATE, "BC volume not found");
}

void UVIAccelerateBaseAction::undoHalvexEnabledFlag() {
    IsHalvexEnabledSetting().setBool(false);
}

void UVIAccelerateBaseAction::undoResetCacheToAvailable(uint32_t controllerHandle) {
    try {
        static_cast<void>(resetCacheToAvailable(controllerHandle)); // an undo step reports nothing
    } catch (const CConsolidatedError&) {
    } catch (const std::exception&) {
    }
}

void UVIAccelerateBaseAction::undoTurnOffAcceleration(uint32_t controllerHandle) {
    try {
        static_cast<void>(turnOffAcceleration(controllerHandle)); // an undo step reports nothing
        static_cast<void>(waitForNvcMode(controllerHandle, UVI_NVC_MODE_OFF));
    } catch (const CConsolidatedError&) {
    } catch (const std::exception&) {
    }
}

std::unique_ptr<MoxCfgMgr::IDevPathsGetter> UVIAccelerateBaseAction::makeSoftwareDeviceLister() {
    return std::make_unique<MoxCfgMgr::DevNodePathsGetter>(MoxCfgMgr::DevNodePathsGetter::kByEnumerator, 2,
                                                           GUID{}, L"SWD");
}
