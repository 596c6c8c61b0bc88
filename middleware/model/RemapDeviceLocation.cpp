#include "middleware/model/RemapDeviceLocation.h"

#include "middleware/ioctl/RemapPortRequests.h"
#include "middleware/model/RecordBytes.h"

namespace {

// Answer bytes, counted from the start of the answer.
constexpr size_t kLocationType = 33;
constexpr size_t kData = 37;

// A 16-bit PCI address: bus in bits 0-7, device in 8-12, function in 13-15.
void SetRootPort(RemapDeviceLocation& location, uint16_t pciAddress) {
    location.rootPortBus = static_cast<uint8_t>(pciAddress & 0xFF);
    location.rootPortDevice = static_cast<uint8_t>((pciAddress >> 8) & 0x1F);
    location.rootPortFunction = static_cast<uint8_t>((pciAddress >> 13) & 0x07);
}

} // namespace

CConsolidatedError ReadRemapDeviceLocation(RemapDeviceLocation& location, HANDLE target,
                                           uint32_t remapTargetId) {
    CIoctlReMapPortGetDeviceLocation request(target, remapTargetId);
    CConsolidatedError result = request.Invoke();
    if (result.IsError())
        return result;
    const auto* answer = reinterpret_cast<const uint8_t*>(request.GetLocation());
    if (!answer)
        return result;
    static_assert(kData + 8 <= sizeof(REMAPPORT_IOCTL_GET_DEVICE_LOCATION));

    const uint32_t type = model::Read32(answer, kLocationType);
    location.kind = type <= 3 ? type + 1 : 0;
    switch (type) {
    case 0:
        location.portNumber = answer[kData];
        break;
    case 1:
        location.cycleRouterNumber = answer[kData];
        break;
    case 2:
        SetRootPort(location, model::Read16(answer, kData));
        break;
    case 3:
        location.socket = model::Read16(answer, kData);
        location.controller = model::Read16(answer, kData + 2);
        SetRootPort(location, model::Read16(answer, kData + 4));
        location.physicalSlot = model::Read16(answer, kData + 6);
        break;
    default:
        break;
    }
    return result;
}
