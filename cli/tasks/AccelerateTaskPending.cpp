// Stand-ins for the SSD acceleration actions until they are built; each answers that the request is
// not available yet.
#include "cli/tasks/AccelerateTask.h"

namespace MOX {

namespace {

Error NotAvailable() {
    Error result;
    result.set(4, "Not available in this build");
    return result;
}

} // namespace

Error AccelerateTask::configureVolumeAcceleration(const std::string&, const std::string&) {
    return NotAvailable();
}

Error AccelerateTask::configureDiskAcceleration(const std::string&, const std::string&) {
    return NotAvailable();
}

Error AccelerateTask::disassociate(const std::string&) {
    return NotAvailable();
}

Error AccelerateTask::resetToAvailable(const std::string&) {
    return NotAvailable();
}

Error AccelerateTask::printAccelInfo() {
    return NotAvailable();
}

Error AccelerateTask::printAccelConfiguration(const _UVI_NvcInfo&, const Controller&) {
    return NotAvailable();
}

Error AccelerateTask::loadCache(const std::wstring&, const std::wstring&, const std::wstring&) {
    return NotAvailable();
}

Error AccelerateTask::findAcceleratedController(uint32_t&) {
    return NotAvailable();
}

Error AccelerateTask::printStats() {
    return NotAvailable();
}

Error AccelerateTask::dumpStats() {
    return NotAvailable();
}

} // namespace MOX
