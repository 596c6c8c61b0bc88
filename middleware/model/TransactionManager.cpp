#include "middleware/model/TransactionManager.h"

#include <cstdio>
#include <cstring>

#include "middleware/core/DeadlineTimer.h"
#include "middleware/ioctl/RaidConfig.h"
#include "middleware/ioctl/RaidConfigSetters.h"

namespace {

// What the transactions read of the configuration group.
struct ConfigCounters {
    int32_t errorNumber = 0;
    int32_t volumeActions = 0;
    int32_t diskActions = 0;
    bool busy() const { return volumeActions != 0 || diskActions != 0; }
};

constexpr size_t kErrorNumberOffset = 16;
constexpr size_t kVolumeActionsOffset = 188;
constexpr size_t kDiskActionsOffset = 192;

int32_t SignedWord(const BYTE* group, size_t offset) {
    int32_t value = 0;
    std::memcpy(&value, group + offset, sizeof(value));
    return value;
}

// Reads the configuration group, retrying while the driver is busy for up to `totalMs`.
CConsolidatedError ReadConfig(HANDLE target, uint64_t totalMs, ConfigCounters& out) {
    CIoctlRaidCfgGroup cfg(target);
    cfg.SetVerifyOnInvoke(true);
    CConsolidatedError result = cfg.InvokeBusyRetry(totalMs, TransactionManager::kBusyRetryPeriodMs);
    if (result.IsError())
        return result;
    try {
        const BYTE* group = cfg.GetGroupData();
        out.errorNumber = SignedWord(group, kErrorNumberOffset);
        out.volumeActions = SignedWord(group, kVolumeActionsOffset);
        out.diskActions = SignedWord(group, kDiskActionsOffset);
    } catch (const CConsolidatedError& error) {
        return error;
    }
    return result;
}

} // namespace

const char* TriggerKindName(uint32_t kind) {
    static const char* const kNames[] = {"NoneTrigger",          "VolumeActions", "DiskActions",
                                         "ResetConfiguration",   "ParseCreation", "CreateVolume",
                                         "CreateVolumeFromDisk", "ParseExpand",   "ExpandArray",
                                         "ParseMigration",       "MigrateVolume", "Unknown",
                                         "EnclosureActions",     "Unknown",       "BogusTriggerAction"};
    return kind < sizeof(kNames) / sizeof(kNames[0]) ? kNames[kind] : "Unknown";
}

void TransactionManager::addOperationTrace(CConsolidatedError& error, const char* operation) const {
    error.AddDebugInformation("%s %s", RuntimeClassName(), operation);
}

namespace {

// The configuration group as the trigger reads it first; a driver still busy with earlier actions
// is refused.
CConsolidatedError ReadIdleConfig(HANDLE target, ConfigCounters& config) {
    CConsolidatedError error = ReadConfig(target, TransactionManager::kFirstReadTotalMs, config);
    if (error.IsSuccessful() && config.busy())
        error.SetError(CConsolidatedError::CFG_DISK_ACTIONS_STILL_IN_PROGRESS,
                       "Actions are in progress - won't trigger action");
    return error;
}

} // namespace

CConsolidatedError TransactionManager::refuseWhileBusy(HANDLE target) {
    ConfigCounters config;
    return ReadIdleConfig(target, config);
}

CConsolidatedError TransactionManager::triggerTransaction(HANDLE target, uint32_t kind) {
    CConsolidatedError result = [&] {
        ConfigCounters config;
        CConsolidatedError error = ReadIdleConfig(target, config);
        if (error.IsError())
            return error;
        if (config.errorNumber != 0) {
            CIoctlRaidCfg_ClearErrorNum clear(target);
            clear.SetVerifyOnInvoke(true);
            error = clear.Invoke();
            if (error.IsError()) {
                error.AddDebugInformation("Unable to clear Error. Not going to trigger the action!");
                return error;
            }
        }
        CIoctlRaidCfg_SetTrigger trigger(target, kind);
        trigger.SetVerifyOnInvoke(true);
        error = trigger.Invoke();
        if (error.IsError())
            return error;
        return verifyTrigger(target, kind);
    }();
    addOperationTrace(result, "TransactionManager::triggerTransaction");
    return result;
}

CConsolidatedError TransactionManager::verifyTrigger(HANDLE target, uint32_t kind) {
    DeadlineTimer deadline(kVerifyTotalMs);
    static_cast<void>(deadline.start()); // a timer that cannot start ends the polling at once (traced)
    uint32_t failedReads = 0;
    bool timedOut = false;
    CConsolidatedError result;
    for (;;) {
        ConfigCounters config;
        result = ReadConfig(target, kVerifyTotalMs, config);
        if (result.IsSuccessful() && !config.busy()) {
            mapTriggerStatus(config.errorNumber, kind, result);
            break;
        }
        if (result.IsError() && ++failedReads >= kMaxFailedReads)
            break;
        if (!deadline.wait(kPollPeriodMs)) {
            timedOut = true;
            break;
        }
    }
    if (failedReads != 0)
        result.AddDebugInformation("Failed [%u] calls while waiting for verify", failedReads);
    if (timedOut)
        result.AddDebugInformation("TimedOut waiting for transaction to complete");
    addOperationTrace(result, "TransactionManager::verifyTrigger");
    return result;
}

void TransactionManager::mapTriggerStatus(int32_t status, uint32_t kind, CConsolidatedError& error) {
    if (status == 0)
        return;
    KEDO2_ERRORS code = CConsolidatedError::CFG_UNSPECIFIED_ERROR;
    if (status == 14)
        code = CConsolidatedError::UVI_INVALIDSIZE;
    else if (status >= 1 && status <= 41)
        code = static_cast<KEDO2_ERRORS>(CConsolidatedError::CFG_OK + static_cast<uint32_t>(status));
    char message[CConsolidatedError::MAX_ERROR_STRING_SIZE];
    std::snprintf(message, sizeof(message), "TriggerTransaction operation failed for Trigger: %s",
                  TriggerKindName(kind));
    error.SetError(code, message);
}
