#include "middleware/api/CacheStatistics.h"

#include <cstring>

#include "middleware/api/ControllerQueries.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/ioctl/AtaRequests.h"
#include "middleware/model/Controller.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHolder.h"

CConsolidatedError CIoctlNvCacheUnifiedStatsGroup::CheckGroup() const {
    const uint64_t length = GroupWord(0) | (static_cast<uint64_t>(GroupWord(4)) << 32);
    if (length != kDataLength)
        return GroupCheckFailure("Invalid GroupLength in %s, expected size: %d, actual: %d",
                                 "CIoctlNvCacheUnifiedStatsGroup", static_cast<int>(kDataLength),
                                 static_cast<int>(length));
    return CConsolidatedError();
}

std::shared_ptr<Controller> FindStatisticsController(const Session& session) {
    return FindDefaultController(session);
}

namespace {

CConsolidatedError NullRecord(const char* debug) {
    CConsolidatedError result;
    result.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, nullptr, debug);
    return result;
}

// Reads one statistics group into the caller's record: zeros after a failed send; a failed
// verification is thrown and leaves the caller's record as it was.
template <class Request, class Record>
CConsolidatedError ReadStatisticsGroup(Session& session, Record* caller, size_t bytes) {
    static_assert(sizeof(Record) <= Request::kDataLength);
    CConsolidatedError result;
    const auto controller = FindStatisticsController(session);
    if (!controller) {
        result.SetError(CConsolidatedError::UVI_INTERNALERROR, "Can't find Ahci controller");
        return result;
    }
    Record local{};
    Request request(controller->getTarget());
    result = request.Invoke();
    if (result.IsSuccessful())
        std::memcpy(&local, request.GetGroupData(), bytes);
    *caller = local;
    return result;
}

template <class Request, class Record>
_UVI_Error StatisticsExport(unsigned int session, Record* info, const char* nullDebug) {
    if (!info)
        return NullRecord(nullDebug);
    return RunSessionCall(session,
                          [&](Session& s) { return ReadStatisticsGroup<Request>(s, info, sizeof(Record)); });
}

CConsolidatedError ReadClassifierStats(Session& session, _UVI_IoClassifierCounters* caller) {
    CConsolidatedError result;
    const auto controller = FindStatisticsController(session);
    if (!controller) {
        result.SetError(CConsolidatedError::UVI_INTERNALERROR, nullptr);
        return result;
    }
    const int32_t accelerated = controller->getNvCacheWord(Controller::kNvCacheAcceleratedIndex);
    const auto volume = controller->getNvCacheInfo() && accelerated != -1
                            ? controller->getVolumeByIndex(accelerated)
                            : nullptr;
    if (!volume) {
        result.SetError(CConsolidatedError::GENERAL_INVALID_STATE, "Invalid call in UviGetIoClassifierStats");
        return result;
    }
    const RaidVolumeDeviceConfig* config = volume->getDeviceConfig();
    const DWORD volumeWord = config ? config->address : 0;
    _UVI_IoClassifierCounters local{};
    CIoctlIOClassifierStats request(controller->getTarget(), volumeWord);
    result = request.Invoke();
    if (result.IsSuccessful())
        std::memcpy(&local, request.GetCounters(), sizeof local);
    *caller = local;
    return result;
}

} // namespace

extern "C" {

_UVI_Error UviGetNvCachePolicyStatInfo(unsigned int session, NvCachePolicyStatInfo* info) {
    return StatisticsExport<CIoctlNvCachePolicyStatsGroup>(
        session, info, "Get NVCache policy stat info: stat structure is null");
}

_UVI_Error UviGetNvCacheStatInfo(unsigned int session, NvCacheStatInfo* info) {
    return StatisticsExport<CIoctlNvCacheStatsGroup>(session, info,
                                                     "Get NVCache stat info: stats structure is null");
}

_UVI_Error UviGetNvCacheStat2Info(unsigned int session, NvCacheStat2Info* info) {
    return StatisticsExport<CIoctlNvCacheStats2Group>(session, info,
                                                      "Get NVCache stat 2 info: stat structure is null");
}

_UVI_Error UviGetNvCacheUnifiedStats(unsigned int session, NvCacheUnifiedStats* info) {
    return StatisticsExport<CIoctlNvCacheUnifiedStatsGroup>(
        session, info, "Get NVCache unified stat info: stat structure is null");
}

_UVI_Error UviGetIoClassifierStats(unsigned int session, _UVI_IoClassifierCounters* counters) {
    if (!counters)
        return NullRecord("Get IO classifiers stat: stats structire is null");
    return RunSessionCall(session, [&](Session& s) { return ReadClassifierStats(s, counters); });
}
}
