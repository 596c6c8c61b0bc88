#include "cli/tasks/AccelerateTask.h"

#include <stdexcept>
#include <utility>

#include "cli/Options.h"
#include "middleware/accelerate/UVIAccelerateAction.h"
#include "middleware/api/UviOperations.h"

namespace MOX {

std::string PercentToText(uint32_t percent) {
    if (percent > 100)
        return "N/A";
    return std::to_string(percent) + "%";
}

// ---- the task ----

AccelerateTask::AccelerateTask(std::shared_ptr<Printer> printer_) : printer(std::move(printer_)) {
    if (!printer)
        throw std::runtime_error("Null pointer provided as printer to accelerate task.");
    makeFacade = [] { return std::make_shared<UVIAccelerateAction>(); };
    // Acceleration changes what the partitions look like; a failed refresh only leaves them as they were.
    (void)QuietConversion(CallUvi(UviRefreshPartitionInfo));
}

// The session member closes its handle once more, quietly, also after run closed it itself.
AccelerateTask::~AccelerateTask() = default;

void AccelerateTask::addAction(int32_t kind) {
    actions.push_back({kind, {}});
}

void AccelerateTask::addAction(int32_t kind, std::string arg) {
    actions.push_back({kind, {std::move(arg)}});
}

void AccelerateTask::addAction(int32_t kind, std::string first, std::string second) {
    actions.push_back({kind, {std::move(first), std::move(second)}});
}

void AccelerateTask::addLoadCacheAction(const std::vector<std::string>& args) {
    actions.push_back({LOAD_CACHE, args});
}

namespace {

// Each character widened on its own, as the preloading takes its texts.
std::wstring Widened(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

} // namespace

Error AccelerateTask::run() {
    Error result = session.OpenSession();
    if (result.isError())
        return result;
    for (const Action& action : actions) {
        auto arg = [&](size_t i) { return i < action.args.size() ? action.args[i] : std::string(); };
        switch (action.kind) {
        case CONFIGURE_VOLUME_ACCELERATION:
            result = configureVolumeAcceleration(arg(0), arg(1));
            break;
        case CONFIGURE_DISK_ACCELERATION:
            result = configureDiskAcceleration(arg(0), arg(1));
            break;
        case DISASSOCIATE:
            result = disassociate(arg(0));
            break;
        case RESET_TO_AVAILABLE:
            result = resetToAvailable(arg(0));
            break;
        case ACCELERATION_INFO:
            result = printAccelInfo();
            break;
        case LOAD_CACHE:
            result = loadCache(Widened(arg(0)), Widened(arg(1)), Widened(arg(2)));
            break;
        case STATS:
            result = printStats();
            break;
        case DUMP_STATS:
            result = dumpStats();
            break;
        case CLEAR_STATS:
            result = clearStatistics();
            break;
        case HALVEX_ENABLE:
            result = enableHalvex();
            if (result.isError()) {
                if (rebootRequired)
                    result.addDetail("Reboot is required");
                return result;
            }
            result = waitEnable();
            if (result.isError())
                return result;
            result = verifyEnabled();
            break;
        case HALVEX_START_TOOLS:
            result = startTools();
            break;
        case HALVEX_DISABLE:
            result = disableHalvex();
            break;
        case HALVEX_PROGRESS:
            result = printProgress();
            break;
        case HALVEX_INFO:
            result = printHalvexInfo(false);
            break;
        case HALVEX_INFO_VERBOSE:
            result = printHalvexInfo(true);
            break;
        case HALVEX_CLEAR_CACHE:
            result = clearCache();
            break;
        default:
            result.set(2, "Request invalid");
            break;
        }
    }
    // The feature is missing on this PC: the report says which part of the platform lacks it.
    if (result.getType() == 52)
        (void)printHalvexInfo(false);
    (void)session.CloseSession();
    return result;
}

} // namespace MOX
