#include "middleware/ioctl/SharedEvent.h"

#include <cstddef>

namespace {

constexpr DWORD kSize = 80;
constexpr DWORD kMinimumAnswer = CIoctScsiMiniportUnchecked::kHeaderLength;

} // namespace

CIoctlSharedEvent::CIoctlSharedEvent(HANDLE target, const char* name)
    : CIoctScsiMiniport(target, kVolumePortSignature, IOCTL_VOLPORT_REGISTER_SHARED_EVENT, 0, kSize,
                        kMinimumAnswer) {
    SetExpectedReturnCode(0);
    if (name)
        std::memcpy(m_Name, name, strnlen(name, kNameBytes));
}

CConsolidatedError CIoctlSharedEvent::_realFormatInputBuffer() {
    CConsolidatedError result = CIoctScsiMiniportUnchecked::_realFormatInputBuffer();
    if (result.IsError())
        return result;
    VOLPORT_IOCTL_REGISTER_SHARED_EVENT record;
    std::memcpy(&record, m_InBuffer.get(), sizeof(record));
    std::memcpy(record.Name, m_Name, sizeof(record.Name));
    record.Terminator = 0;
    record.Value = UINT64_MAX;
    std::memcpy(m_InBuffer.get(), &record, sizeof(record));
    return result;
}

CIoctlSharedEventStatus::CIoctlSharedEventStatus(HANDLE target)
    : CIoctScsiMiniport(target, kVolumePortSignature, IOCTL_VOLPORT_GET_AEN_STATUS, 0, kSize,
                        kMinimumAnswer) {
    SetExpectedReturnCode(0);
}

void CIoctlSharedEventStatus::GetEventData(uint8_t data[16]) const {
    std::memset(data, 0, 16);
    if (m_OutBuffer && m_OutBufferSize >= sizeof(VOLPORT_IOCTL_AEN_STATUS))
        std::memcpy(data, m_OutBuffer.get() + offsetof(VOLPORT_IOCTL_AEN_STATUS, EventData), 16);
}

uint64_t CIoctlSharedEventStatus::GetEventCounter() const {
    uint8_t data[16];
    GetEventData(data);
    uint64_t counter = 0;
    std::memcpy(&counter, data, sizeof(counter));
    return counter;
}

uint64_t CIoctlSharedEventStatus::GetEventValue() const {
    uint64_t value = 0;
    if (m_OutBuffer && m_OutBufferSize >= sizeof(VOLPORT_IOCTL_AEN_STATUS))
        std::memcpy(&value, m_OutBuffer.get() + offsetof(VOLPORT_IOCTL_AEN_STATUS, Value), sizeof(value));
    return value;
}
