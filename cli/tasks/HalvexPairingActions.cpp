// The cache-memory actions that change the pairing: disable (separation) and clear cache; the enable
// is shown by the display of the pairing operation's status.
#include <iterator>
#include <optional>
#include <string>

#include "cli/ConsoleRegion.h"
#include "cli/EventListener.h"
#include "cli/PeriodicTimer.h"
#include "cli/tasks/AccelerateTask.h"
#include "platform/win/WinBase.h"

namespace MOX {

namespace {

constexpr DWORD kDisablePollMs = 2000;

const char* const kSeparationErrorEvent =
    "Error occured while separating. Please check Windows Event Log for details.";

} // namespace

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
    // The driver counts in 8 KiB units; the product wraps at 32 bits as the driver's own tools do.
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
