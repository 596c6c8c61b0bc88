#include "middleware/model/ZrcRemapAddress.h"

#include "middleware/ioctl/ControllerLocator.h"

namespace {

// Behind an ACPI root port "RPnn" the port's number names the controller instead of the bus.
constexpr uint32_t kLocationRootPort = kRootPortRp;

} // namespace

ZrcPciLocation ZrcPciLocationOf(const ControllerLocator& controller) {
    return ZrcPciLocation{controller.rootPortKind, controller.pciFunction, controller.pciDevice,
                          controller.pciBus, controller.rootPortNumber};
}

uint16_t MakeZrcRemapAddress(const ZrcPciLocation& location) {
    const uint8_t low = location.kind == kLocationRootPort ? location.elementNumber : location.bus;
    return static_cast<uint16_t>(low | (location.device & 0x1F) << 8 | (location.function & 0x07) << 13);
}

uint16_t MakeZrcRemapAddress(const ControllerLocator& controller) {
    return MakeZrcRemapAddress(ZrcPciLocationOf(controller));
}
