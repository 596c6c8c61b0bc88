#include "middleware/model/NonOrvexController.h"

#include <cstring>

#include "middleware/ioctl/CIoctlStorage.h"
#include "middleware/model/NonOrvexDisk.h"

namespace {

// Bus types of the adapter descriptor.
constexpr BYTE kBusTypeRaid = 8;
constexpr BYTE kBusTypeSata = 11;
constexpr BYTE kBusTypeNvme = 17;
// Disk kinds (bus codes) handed to the disks.
constexpr int32_t kDiskKindSata = 2;
constexpr int32_t kDiskKindNvme = 3;

} // namespace

CConsolidatedError NonOrvexController::Populate(const WinDiskList& winDisks) {
    CConsolidatedError result = Controller::Populate(winDisks);
    if (result.IsError())
        return result;
    CIoctlStorageGetProperty request(m_Locator, sizeof(STORAGE_ADAPTER_DESCRIPTOR), StorageAdapterProperty);
    result = request.Invoke();
    if (result.IsError())
        return result;
    m_AdapterDescriptor = {};
    if (const BYTE* answer = request.GetOutBuffer()) {
        const DWORD length = std::min<DWORD>(request.GetBytesReturned(), sizeof m_AdapterDescriptor);
        std::memcpy(&m_AdapterDescriptor, answer, std::min<DWORD>(length, request.GetOutBufferSize()));
    }
    int32_t diskKind = 0;
    switch (m_AdapterDescriptor.BusType) {
    case kBusTypeRaid:
    case kBusTypeSata:
        m_KindCode = kNonOrvexKindSata;
        diskKind = kDiskKindSata;
        break;
    case kBusTypeNvme:
        m_KindCode = kNonOrvexKindNvme;
        diskKind = kDiskKindNvme;
        break;
    default:
        m_KindCode = 0;
        break;
    }
    populateDisks(winDisks, diskKind);
    return CConsolidatedError();
}

void NonOrvexController::populateDisks(const WinDiskList& winDisks, int32_t diskKind) {
    for (auto& disk : PopulateNonOrvexDisks(winDisks, m_Locator, m_PortNumber, m_KindCode, m_Handle,
                                            static_cast<uint32_t>(diskKind)))
        m_Disks.push_back(std::move(disk));
}
