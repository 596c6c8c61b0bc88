#pragma once
// The 16-bit word that names one controller in the remap request: bits 0-7 the bus number (for a
// controller behind an ACPI "RP" root port, that port's number instead), bits 8-12 the PCI device
// number, bits 13-15 the function number. Two words name the same controller when they are equal.
#include <cstddef>
#include <cstdint>

struct ControllerLocator;

// The PCI location a controller record keeps: the kind of ACPI element the location walk ended on
// (2 for a root port "RPnn"), the function, device and bus number of the controller's bus-0 device,
// and the element's number (0xFF when it has none).
struct ZrcPciLocation {
    uint32_t kind;
    uint8_t function;
    uint8_t device;
    uint8_t bus;
    uint8_t elementNumber;
};
static_assert(sizeof(ZrcPciLocation) == 8);
static_assert(offsetof(ZrcPciLocation, function) == 4);
static_assert(offsetof(ZrcPciLocation, device) == 5);
static_assert(offsetof(ZrcPciLocation, bus) == 6);
static_assert(offsetof(ZrcPciLocation, elementNumber) == 7);

ZrcPciLocation ZrcPciLocationOf(const ControllerLocator& controller);

uint16_t MakeZrcRemapAddress(const ZrcPciLocation& location);
uint16_t MakeZrcRemapAddress(const ControllerLocator& controller);

inline int ZrcRemapAddressBus(uint16_t address) {
    return address & 0xFF;
}
inline int ZrcRemapAddressDevice(uint16_t address) {
    return (address >> 8) & 0x1F;
}
inline int ZrcRemapAddressFunction(uint16_t address) {
    return (address >> 13) & 0x07;
}
