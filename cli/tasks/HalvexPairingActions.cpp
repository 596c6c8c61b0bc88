// The cache-memory actions that change the pairing: disable (separation) and clear cache; the enable
// is shown by the display of the pairing operation's status.
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "cli/ConsoleRegion.h"
#include "cli/EventListener.h"
#include "cli/PeriodicTimer.h"
#include "cli/ValueTexts.h"
#include "cli/tasks/AccelerateTask.h"
#include "middleware/accelerate/UVIAccelerateAction.h"
#include "platform/win/WinBase.h"

namespace MOX {

namespace {

constexpr DWORD kDisablePollMs = 2000;

const char* const kSeparationErrorEvent =
    "Error occured while separating. Please check Windows Event Log for details.";

// The automation step of the separation could not take the pairing operation's lock: another process
// is already taking the step.
constexpr int32_t kPairingLockHeldElsewhere = static_cast<int32_t>(0xA0070037);

std::string CodeText(int32_t code) {
    std::ostringstream text;
    text << "Error code: 0x" << std::uppercase << std::hex << static_cast<uint32_t>(code);
    return text.str();
}

} // namespace

Error AccelerateTask::clearStatistics() {
    const std::shared_ptr<UVIAccelerateAction> facade = makeFacade();
    Error result = FullConversion(facade->doResetVolportPerformanceCounters());
    if (!result.isError())
        printer->printWrapped("Clear completed", 0, 0);
    return result;
}

Error AccelerateTask::startTools() {
    return FullConversion(makeFacade()->doVezkStartTools());
}

Error AccelerateTask::enableHalvex() {
    _UVI_VezkInfo pairing{};
    Error result = session.GetVezkInfoEx(pairing, 0);
    if (result.isError())
        return result;
    rebootRequired = pairing.extendedFlag != 0;
    const std::shared_ptr<UVIAccelerateAction> facade = makeFacade();
    if (fastDriveId != unsetText) {
        _UVI_EndDeviceInfo fast{};
        result = session.FindEndDeviceById(fast, fastDriveId);
        if (result.isError())
            return result;
        facade->setFastDisk(fast.endDeviceHandle);
        _UVI_VezkDiskValidForConcatenationStatus status = UVI_VEZK_DISK_VALID;
        result = FullConversion(facade->checkIfDiskValid(fast.endDeviceHandle, UVI_VEZK_MEMBER_FAST, status));
        if (result.isError()) {
            if (status != UVI_VEZK_DISK_VALID)
                result.set(3, "Fast disk " + fastDriveId + " is not valid halvex disk, reason: " +
                                  UVI_VezkDiskValidForConcatenationStatusToDescription(status));
            return result;
        }
    }
    if (accelDriveId != unsetText) {
        _UVI_EndDeviceInfo slow{};
        result = session.FindEndDeviceById(slow, accelDriveId);
        if (result.isError())
            return result;
        facade->setSlowDisk(slow.endDeviceHandle);
    }
    if (blockCacheSizeGb != unsetSize)
        facade->setCacheVolSize(static_cast<uint64_t>(std::ceil(blockCacheSizeGb * 1024 * 1024 * 1024)));
    if (fileCacheSizeMb != unsetNumber)
        facade->setFileCacheSize(static_cast<uint32_t>(fileCacheSizeMb));
    if (fileCacheOffset != unsetNumber)
        facade->setMigrationStart(static_cast<uint64_t>(static_cast<int64_t>(fileCacheOffset)));
    facade->setSeparationSafe(true);
    return FullConversion(facade->doVezkEnableOneStep());
}

Error AccelerateTask::runDisableStep() {
    Error result(1);
    const std::shared_ptr<UVIAccelerateAction> facade = makeFacade();
    _UVI_VezkInfo pairing{};
    result = session.GetVezkInfoEx(pairing, 0);
    if (result.isError())
        return result;
    switch (pairing.halvexStatus) {
    case 0:
        return FullConversion(facade->doSeparateConcatenation(pairing.controllerHandle));
    case 2:
    case 4:
    case 9: {
        uint32_t performed = 0;
        result = FullConversion(facade->doVezkAutomation(performed));
        if (!result.isError())
            return result;
        if (result.getCode() == kPairingLockHeldElsewhere)
            return Error(0);
        // The step may have gone through in spite of its error: a fresh snapshot tells.
        CliSession fresh;
        _UVI_VezkInfo now{};
        Error verification = fresh.OpenSession();
        if (!verification.isError())
            verification = fresh.GetVezkInfoEx(now, pairing.controllerHandle);
        if (!verification.isError()) {
            if (now.halvexStatus != pairing.halvexStatus)
                return Error(0);
            return result;
        }
        result.addDetail("Failed while verifying automation error with code [" + CodeText(result.getCode()) +
                         "] and message:");
        for (const std::string& line : verification.getDetails())
            result.addDetail("  " + line);
        result.addDetail("  [end of message]");
        return result;
    }
    case 5:
    case 6:
    case 7:
    case 10:
        result.set(5, std::string("Cannot perform action. Orvex Halvex Storage current operation state: ") +
                          UVI_VezkOperationStatusToDescription(pairing.halvexStatus));
        return result;
    default:
        return result;
    }
}

Error AccelerateTask::clearCache() {
    std::optional<ConsoleRegion> region;
    try {
        region.emplace();
    } catch (const Error& failure) {
        return failure;
    }
    Error result;
    {
        PeriodicTimer display(2000, [this, &region] { showClearCacheProgress(*region); });
        result = FullConversion(makeFacade()->doClearBlockCache());
    }
    return result;
}

Error AccelerateTask::disableHalvex() {
    _UVI_VezkInfo pairing{};
    Error result = session.GetVezkInfoEx(pairing, 0);
    if (result.isError())
        return result;
    if (pairing.pairType == 0 && pairing.halvexStatus == 0) {
        result.set(5, "There is no Orvex Halvex Storage");
        return result;
    }
    EventListener listener(static_cast<int32_t>(pairing.extendedAddress >> 24));
    result = runDisableStep();
    if (result.isError())
        return result;
    std::optional<ConsoleRegion> region;
    try {
        region.emplace();
    } catch (const Error& failure) {
        return failure;
    }
    bool inProgress = true;
    for (;;) {
        result = refreshStatus(inProgress);
        bool repainted = true;
        try {
            region->update();
        } catch (const Error&) {
            // The console would not repaint: later displays are written below instead.
            region->restore();
            repainted = false;
        }
        if (repainted && (!inProgress || result.isError()))
            break;
        Sleep(kDisablePollMs);
        result = runDisableStep();
        if (result.isError() || !inProgress)
            break;
    }
    if (!result.isError())
        printer->printWrapped("Disable completed", 0, 0);
    // Joined first: an event the driver raised before the end is latched by then.
    listener.stop();
    if (listener.secondEventSeen()) {
        result.addDetail(kSeparationErrorEvent);
        // A successful command prints no detail lines: the user hears of it here.
        PrintLine(kSeparationErrorEvent);
    }
    return result;
}

void AccelerateTask::showClearCacheProgress(ConsoleRegion& region) {
    printer->printWrapped("Clear cache in progress - do not interrupt!", 0, 0);
    NvCacheStatInfo statistics{};
    if (session.GetNvCacheStatInfo(statistics).isError())
        return;
    // The driver counts in 8 KiB units; a cache of at most 64 GiB keeps the 32-bit product from wrapping.
    const uint32_t left = statistics.values[std::size(statistics.values) - 1];
    const uint32_t megabytes = static_cast<uint32_t>(left * 8u) / 1024u;
    printer->printWrapped("Total data left in cache: " + std::to_string(megabytes) + "MB", 0, 0);
    try {
        region.update();
    } catch (...) {
        region.restore();
    }
}

} // namespace MOX
