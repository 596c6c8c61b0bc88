// Stand-ins for the cache-memory actions that need the acceleration facade, until it is there.
#include "cli/tasks/AccelerateTask.h"

namespace MOX {

namespace {

Error NotAvailable() {
    Error result;
    result.set(4, "Not available in this build");
    return result;
}

} // namespace

Error AccelerateTask::enableHalvex() {
    return NotAvailable();
}
Error AccelerateTask::runDisableStep() {
    return NotAvailable();
}
Error AccelerateTask::clearCache() {
    return NotAvailable();
}
Error AccelerateTask::clearStatistics() {
    return NotAvailable();
}
Error AccelerateTask::startTools() {
    return NotAvailable();
}

} // namespace MOX
