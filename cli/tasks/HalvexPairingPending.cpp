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
Error AccelerateTask::waitEnable() {
    return NotAvailable();
}
Error AccelerateTask::verifyEnabled() {
    return NotAvailable();
}
Error AccelerateTask::refreshStatus(bool&) {
    return NotAvailable();
}
Error AccelerateTask::printOperationStatus(CliSession&, bool&) {
    return NotAvailable();
}
Error AccelerateTask::disableHalvex() {
    return NotAvailable();
}
Error AccelerateTask::runDisableStep() {
    return NotAvailable();
}
Error AccelerateTask::printProgress() {
    return NotAvailable();
}
Error AccelerateTask::clearCache() {
    return NotAvailable();
}
void AccelerateTask::showClearCacheProgress(ConsoleRegion&) {}
Error AccelerateTask::printHalvexInfo(bool) {
    return NotAvailable();
}
Error AccelerateTask::printSystemConfiguration(const _UVI_VezkInfo&, bool) {
    return NotAvailable();
}
void AccelerateTask::printDrive(const EndDevice&, PropertyFormatter&) {}
Error AccelerateTask::clearStatistics() {
    return NotAvailable();
}
Error AccelerateTask::startTools() {
    return NotAvailable();
}

} // namespace MOX
