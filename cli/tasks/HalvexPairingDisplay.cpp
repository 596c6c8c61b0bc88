// The pairing operation's status as the enable and the disable show it while they wait, and the
// progress report.
#include <iomanip>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/ConsoleLock.h"
#include "cli/ConsoleRegion.h"
#include "cli/ValueTexts.h"
#include "cli/tasks/AccelerateTask.h"
#include "middleware/core/ConsolidatedError.h"
#include "platform/win/WinBase.h"

namespace MOX {

namespace {

constexpr DWORD kStatusPollMs = 2000;

// The migration lines of a creating or separating pairing; a separation has no block or boot phase.
std::vector<std::string> MigrationLines(const _UVI_VezkInfo& pairing, int padding) {
    auto percent = [&](int32_t value) {
        std::ostringstream text;
        text << std::setw(padding) << PercentToText(static_cast<uint32_t>(value));
        return text.str();
    };
    std::vector<std::string> lines{"Migration type: " + MigrationStateToText(pairing.migrationType),
                                   "Overall migrations status: " + percent(pairing.overallMigrationProgress)};
    if (pairing.migrationType != 2) {
        lines.push_back("Initial block migration status: " + percent(pairing.blockMigrationProgress));
        lines.push_back("Boot optimization (page file preparation) status: " +
                        percent(pairing.bootMigrationProgress));
    }
    return lines;
}

std::string OperationText(uint32_t status) {
    return UVI_VezkOperationStatusToDescription(status);
}

} // namespace

Error AccelerateTask::printOperationStatus(CliSession& on, bool& inProgress) {
    _UVI_VezkInfo pairing{};
    Error read = on.GetVezkInfoEx(pairing, 0);
    if (read.isError())
        return read;
    inProgress = pairing.halvexStatus != 0;
    std::vector<std::string> lines;
    switch (pairing.halvexStatus) {
    case 1:
    case 5:
    case 6:
        lines = MigrationLines(pairing, 3);
        break;
    case 3:
    case 8:
        lines.push_back("Performing operation: " + OperationText(pairing.halvexStatus));
        if (pairing.cacheRemainingPercent >= 1 && pairing.cacheRemainingPercent <= 99)
            lines.push_back("Block cache synchronization progress: " +
                            PercentToText(static_cast<uint32_t>(pairing.cacheRemainingPercent)));
        break;
    case 7:
        lines.push_back("Initializing block cache operation...");
        break;
    case 2:
    case 4:
    case 9:
    case 10:
        lines.push_back("Operation status: " + OperationText(pairing.halvexStatus));
        break;
    default:
        break;
    }
    // The event listener's thread may print meanwhile; the console lock keeps the lines whole.
    std::lock_guard<std::recursive_mutex> lock(ConsoleLock());
    for (const std::string& line : lines)
        std::cout << line << '\n' << std::flush;
    return Error();
}

Error AccelerateTask::refreshStatus(bool& inProgress) {
    // A session is a snapshot: only a new one shows how far the driver has come.
    Error result = session.CloseSession();
    if (result.isError())
        return result;
    result = session.OpenSession();
    session.ForgetGathered();
    if (result.isError())
        return result;
    return printOperationStatus(session, inProgress);
}

Error AccelerateTask::waitEnable() {
    Error result(0);
    std::optional<ConsoleRegion> region;
    try {
        region.emplace();
    } catch (const Error& failure) {
        return failure;
    }
    bool inProgress = true;
    while (inProgress && !result.isError()) {
        result = refreshStatus(inProgress);
        try {
            region->update();
        } catch (const Error&) {
            // The console would not repaint: later displays are written below instead.
            region->restore();
            continue;
        }
        if (!inProgress)
            break;
        Sleep(kStatusPollMs);
    }
    if (!result.isError())
        printer->printWrapped("Enable completed", 0, 0);
    return result;
}

Error AccelerateTask::verifyEnabled() {
    _UVI_VezkInfo pairing{};
    Error result = session.GetVezkInfoEx(pairing, 0);
    if (result.isError())
        return result;
    if (pairing.pairType != 0)
        return Error(0);
    result.set(5, "Halvex not enabled");
    return result;
}

Error AccelerateTask::printProgress() {
    Error result(0);
    try {
        _UVI_VezkInfo pairing{};
        result = session.GetVezkInfoEx(pairing, 0);
        if (result.isError())
            return result;
        if (pairing.halvexStatus == 7) {
            printer->printWrapped("Initializing block cache operation...", 0, 0);
            return result;
        }
        if (pairing.halvexStatus >= 2 && pairing.halvexStatus <= 4) {
            printer->printWrapped("Finalizing block cache operation...", 0, 0);
            return result;
        }
        if (pairing.pairType != 0) {
            for (const std::string& line : MigrationLines(pairing, 0))
                printer->printWrapped(line, 0, 0);
            return result;
        }
        result.set(5, "There is no Halvex Volume");
    } catch (const CConsolidatedError& failure) {
        result = Error();
        result.assignFromUviError(static_cast<_UVI_Error>(failure));
    }
    return result;
}

} // namespace MOX
