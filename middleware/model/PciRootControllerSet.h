#pragma once
// The controllers that sit behind one PCI root port or switch (the same PCI location): the remap
// rules treat them as one unit.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "middleware/core/ConsolidatedError.h"

class Controller;

class PciRootControllerSet {
public:
    PciRootControllerSet(uint64_t pciLocation, std::vector<uint32_t> controllerHandles)
        : m_PciLocation(pciLocation), m_ControllerHandles(std::move(controllerHandles)) {}

    // One set per PCI location value of the controllers, handles in controller order.
    static std::vector<std::unique_ptr<PciRootControllerSet>>
    build(const std::vector<std::shared_ptr<Controller>>& controllers);
    // The handle key: bytes 6, 5 and 4 of the location (bus, device, function) as decimal numbers
    // joined by ":".
    static std::string keyOf(uint64_t pciLocation);

    // Fewer than 2 controllers fail with 0xA0010010 "Same PCI RootPort Controller set must contain at
    // least 2 controllers"; else takes the handle of the location's key.
    CConsolidatedError Populate();

    uint32_t getHandle() const { return m_Handle; }
    uint64_t getPciLocation() const { return m_PciLocation; }
    std::vector<uint32_t> getControllerHandles() const { return m_ControllerHandles; }

private:
    uint32_t m_Handle = 0;
    uint64_t m_PciLocation;
    std::vector<uint32_t> m_ControllerHandles;
};
