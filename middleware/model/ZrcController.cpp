#include "middleware/model/ZrcController.h"

#include "middleware/ioctl/RemapPortRequests.h"

namespace {

constexpr int kPathIds = 32;
// The remapping controller's own path ids.
constexpr uint32_t kFirstRemappedPath = 2;

} // namespace

CConsolidatedError ZrcRemappedController::Populate(HANDLE target, int& type) {
    const DWORD address = static_cast<DWORD>(m_PathId & 0xFF) << 16;
    CIoctlReMapPortGetConnectionInfo request(target, address);
    CConsolidatedError result = request.Invoke();
    if (result.IsError())
        return result;
    uint32_t connection = 0;
    const BYTE* answer = request.GetOutBuffer();
    if (answer && request.GetOutBufferSize() >= 36)
        std::memcpy(&connection, answer + 32, sizeof connection);
    switch (connection) {
    case 0:
    case 1:
        type = kTypeUnknown;
        break;
    case 2:
        type = kTypeAhci;
        break;
    case 3:
        type = kTypeNvme;
        break;
    default:
        break;
    }
    m_Type = type;
    return result;
}

ZrcController::~ZrcController() {
    m_Remapped.clear();
}

bool ZrcController::isEndDeviceAddress(PackedScsiAddress address) const {
    return ((address >> 16) & 0xFF) >= kFirstRemappedPath;
}

std::vector<int> ZrcController::getLpmControllerNumbers() const {
    std::vector<int> numbers;
    for (const ZrcRemappedController& remapped : m_Remapped)
        if (remapped.getType() == ZrcRemappedController::kTypeAhci)
            numbers.push_back(remapped.getPathId());
    return numbers;
}

CConsolidatedError ZrcController::Populate(const WinDiskList& winDisks) {
    CConsolidatedError result = Controller::Populate(winDisks);
    if (result.IsError())
        return result;
    for (int path = 0; path < kPathIds; ++path) {
        if ((m_ImplementedPathMask & (1u << path)) == 0)
            continue;
        ZrcRemappedController remapped(path);
        int type = ZrcRemappedController::kTypeUnknown;
        if (remapped.Populate(m_Locator, type).IsSuccessful())
            m_Remapped.push_back(remapped);
    }
    return CConsolidatedError();
}
