#include "middleware/model/DeviceNvmeDisk.h"

#include <vector>

#include "middleware/ioctl/NvmeRequests.h"

namespace UviEvents {

namespace {

constexpr uint32_t kAddressBelowPort = 0x00FFFFFF;
// Asynchronous Event Type (bits 2:0) of a SMART / health status event.
constexpr uint32_t kEventTypeMask = 0x7;
constexpr uint32_t kEventTypeHealth = 1;

} // namespace

CConsolidatedError DeviceNvmeDisk::createEvent() {
    return createRegisteredEvent([this](ControllerLocator& record, const std::string& name) {
        m_EventName = name;
        CIoctlNvmeRegisterAer request(&record, m_Id & kAddressBelowPort, m_EventName.c_str());
        return request.Invoke();
    });
}

DeviceStatus DeviceNvmeDisk::getStatus() {
    DeviceStatus status{m_Id, DEVICE_TYPE_NVME_DISK, 0, 0};
    CIoctlNvmeGetAerData request(&requireRecord(), m_Id & kAddressBelowPort, m_EventName.c_str());
    CConsolidatedError result = request.Invoke();
    if (result.IsError())
        throw result;
    std::vector<ULONG> words;
    request.GetEvents(words);
    for (ULONG word : words) {
        if ((word & kEventTypeMask) == kEventTypeHealth) {
            status.secondData = (word >> 8) & 0xFF;
            break;
        }
    }
    return status;
}

} // namespace UviEvents
