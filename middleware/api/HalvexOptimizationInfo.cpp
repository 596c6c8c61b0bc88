// The cache service's optimisation schedule, read without a session.
#include <cstring>
#include <ctime>

#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviVezkRecords.h"
#include "middleware/pairing/MigrationStatusCommand.h"
#include "platform/win/WinFiles.h"

namespace {

// Seconds since 1970 of a FILETIME as the runtime's local-time conversion gives them; a time the
// conversion refuses (the service's all-ones "unknown") gives -1.
int64_t ToSeconds(const FILETIME& time) {
    SYSTEMTIME parts{};
    if (!FileTimeToSystemTime(&time, &parts))
        return -1;
    std::tm broken{};
    broken.tm_year = parts.wYear - 1900;
    broken.tm_mon = parts.wMonth - 1;
    broken.tm_mday = parts.wDay;
    broken.tm_hour = parts.wHour;
    broken.tm_min = parts.wMinute;
    broken.tm_sec = parts.wSecond;
    broken.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&broken));
}

} // namespace

extern "C" MOX_EXPORT _UVI_Error UviGetHalvexOptimizationInfo(_UVI_HalvexOptimizationInfo* info) {
    return RunExportedCall([info] {
        CConsolidatedError error;
        if (!info) {
            error.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, nullptr);
            error.AddDebugInformation("Get optimization info: info is null");
            return error;
        }
        MigrationStatusWithReplyCommand command;
        const unsigned long result = command.Execute(0, nullptr);
        std::memset(info, 0, sizeof *info);
        if (result != 0) {
            info->lastOptimizationStart = info->lastOptimizationEnd = info->nextOptimizationStart = -1;
            error.SetError(KEDO2_ERROR_TYPE_WIN32, result, static_cast<const char*>(nullptr));
            return error;
        }
        info->lastOptimizationStart = ToSeconds(command.lastOptimizationStart);
        info->lastOptimizationEnd = ToSeconds(command.lastOptimizationEnd);
        info->nextOptimizationStart = ToSeconds(command.currentOrNextOptimizationStart);
        info->optimizationRunning = command.running;
        return error;
    });
}
