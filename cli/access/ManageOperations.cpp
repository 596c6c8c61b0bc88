#include "cli/access/ManageOperations.h"

#include "middleware/accelerate/UVIAccelerateAction.h"
#include "platform/win/WinRegistry.h"

namespace MOX {

_UVI_Error SeparationNotAvailable(bool) {
    _UVI_Error answer{};
    answer.status = UVI_STATUS_NOT_IMPLEMENTED;
    return answer;
}

_UVI_Error SeparatePairsThroughFacade(bool noSync) {
    UVIAccelerateAction facade;
    return noSync ? facade.doSeparateConcatenationNoSync() : facade.doVezkDisableOneStep();
}

Error ManageOperations::MarkAsSpare(uint32_t disk) {
    return FullConversion(CallUvi(UviDiskMarkAsSpare, disk));
}

Error ManageOperations::UnmarkSpare(uint32_t disk) {
    return FullConversion(CallUvi(UviDiskUnmarkAsSpare, disk));
}

Error ManageOperations::Unlock(uint32_t disk, const _UVI_DiskUnlockInfo& info) {
    return FullConversion(CallUvi(UviDiskUnlock, disk, &info));
}

Error ManageOperations::ResetSmartEvent(uint32_t disk) {
    return FullConversion(CallUvi(UviDiskResetSmartEvent, disk));
}

Error ManageOperations::MarkDiskNormal(uint32_t disk) {
    return FullConversion(CallUvi(UviDiskMarkAsNormal, disk));
}

Error ManageOperations::ClearMetadata(uint32_t disk) {
    return FullConversion(CallUvi(UviDiskClearMetadata, disk));
}

Error ManageOperations::GetControllerInfo(uint32_t controller, _UVI_ControllerInfo& info) {
    return FullConversion(CallUvi(UviGetControllerInfo, session_.getHandle(), controller, &info));
}

Error ManageOperations::RebuildVolume(uint32_t volume, uint32_t disk) {
    return FullConversion(CallUvi(UviVolumeRebuild, volume, disk));
}

Error ManageOperations::SetVolumeCachePolicy(uint32_t volume, uint32_t policy) {
    return FullConversion(CallUvi(UviVolumeSetCachePolicy, volume, static_cast<int>(policy)));
}

Error ManageOperations::SetArrayWriteCache(uint32_t array, bool enabled) {
    return FullConversion(CallUvi(UviArraySetWriteCacheState, array, enabled ? 1 : 0));
}

Error ManageOperations::MarkVolumeNormal(uint32_t volume) {
    return FullConversion(CallUvi(UviVolumeMarkAsNormal, volume));
}

Error ManageOperations::DeleteVolume(uint32_t volume) {
    return FullConversion(CallUvi(UviVolumeDelete, volume));
}

Error ManageOperations::InitializeVolume(uint32_t volume) {
    return FullConversion(CallUvi(UviVolumeInitialize, volume));
}

Error ManageOperations::VerifyVolume(uint32_t volume, bool repair) {
    return FullConversion(CallUvi(UviVolumeVerify, volume, repair));
}

Error ManageOperations::CancelVerify(uint32_t volume) {
    return FullConversion(CallUvi(UviVolumeCancelVerify, volume));
}

_UVI_Error ManageOperations::DiskSetCacheModeOff(uint32_t disk) {
    return CallUvi(UviDiskSetCacheMode, disk, UVI_NVC_MODE_OFF);
}

_UVI_Error ManageOperations::DiskDestroyCache(uint32_t disk) {
    return CallUvi(UviDiskDestroyCache, disk);
}

_UVI_Error ManageOperations::VolumeSetCacheModeOff(uint32_t volume) {
    return CallUvi(UviVolumeSetCacheMode, volume, UVI_NVC_MODE_OFF);
}

_UVI_Error ManageOperations::VolumeDestroyCache(uint32_t volume) {
    return CallUvi(UviVolumeDestroyCache, volume);
}

_UVI_Error ManageOperations::NvcDisassociate(uint32_t cacheVolume) {
    return CallUvi(UviNvcDisassociate, cacheVolume);
}

bool ManageOperations::IsPreinstallationEnvironment() {
    HKEY key = nullptr;
    if (RegOpenKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\MiniNT", &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

} // namespace MOX
