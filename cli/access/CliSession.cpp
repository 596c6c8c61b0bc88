#include "cli/access/CliSession.h"

#include "middleware/core/GlobalLogger.h"

namespace MOX {

Error FullConversion(const _UVI_Error& result) {
    Error converted;
    converted.assignFromUviError(result);
    return converted;
}

Error QuietConversion(const _UVI_Error& result) {
    if (result.status != 0)
        GlobalLogger::get().clean(result.errorId);
    return FullConversion(result);
}

CliSession::~CliSession() {
    CloseSessionQuietly();
}

Error CliSession::OpenSession() {
    return FullConversion(CallUvi(UviSessionOpen, &session_));
}

Error CliSession::CloseSession() {
    return FullConversion(CallUvi(UviSessionClose, session_));
}

void CliSession::CloseSessionQuietly() {
    // The conversion still releases the failure's texts from the thread's store.
    (void)FullConversion(CallUvi(UviSessionClose, session_));
}

Error CliSession::GetRaidLevelInfo(uint32_t raidInfoHandle, uint32_t raidLevel, _UVI_RaidLevelInfo& info) {
    return FullConversion(CallUvi(UviGetRaidLevelInfo, session_, raidInfoHandle, raidLevel, &info));
}

Error CliSession::GetEndDeviceInfo(_UVI_EndDeviceInfo& info, uint32_t handle) {
    return FullConversion(CallUvi(UviGetEndDeviceInfo, session_, handle, &info));
}

Error CliSession::GetVolumeInfo(_UVI_VolumeInfo& info, uint32_t handle) {
    return FullConversion(CallUvi(UviGetVolumeInfo, session_, handle, &info));
}

Error CliSession::GetArrayInfo(_UVI_ArrayInfo& info, uint32_t handle) {
    return FullConversion(CallUvi(UviGetArrayInfo, session_, handle, &info));
}

Error CliSession::GetNvcInfo(_UVI_NvcInfo& info, uint32_t controllerHandle) {
    return QuietConversion(CallUvi(UviGetNvcInfo, session_, controllerHandle, &info));
}

Error CliSession::GetVezkInfoEx(_UVI_VezkInfo& info, uint32_t controllerHandle) {
    _UVI_Error result{};
    const _UVI_VezkInfo read = CallUvi(UviGetVezkInfoEx, session_, controllerHandle, &result);
    if (result.status == 0)
        info = read;
    return QuietConversion(result);
}

Error CliSession::GetNvCachePolicyStatInfo(NvCachePolicyStatInfo& info) {
    return QuietConversion(CallUvi(UviGetNvCachePolicyStatInfo, session_, &info));
}

Error CliSession::GetNvCacheUnifiedStats(NvCacheUnifiedStats& info) {
    return QuietConversion(CallUvi(UviGetNvCacheUnifiedStats, session_, &info));
}

Error CliSession::GetNvCacheStatInfo(NvCacheStatInfo& info) {
    return QuietConversion(CallUvi(UviGetNvCacheStatInfo, session_, &info));
}

Error CliSession::GetVolportPerformanceCounters(_UVI_VolportPerformanceCounters& counters) {
    return QuietConversion(CallUvi(UviGetVolportPerformanceCounters, session_, &counters));
}

} // namespace MOX
