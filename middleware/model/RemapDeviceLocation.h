#pragma once
// Where a device behind the remap port sits: a port number, a cycle router, a root port, or a slot
// of a socket's controller, as the driver's device-location answer tells.
#include <cstddef>
#include <cstdint>

#include "middleware/core/ConsolidatedError.h"
#include "platform/win/WinTypes.h"

struct RemapDeviceLocation {
    uint32_t kind; // 1 port, 2 cycle router, 3 root port, 4 slot, 0 unknown
    uint8_t portNumber;
    uint8_t cycleRouterNumber;
    uint8_t rootPortBus;
    uint8_t rootPortDevice;
    uint8_t rootPortFunction;
    uint8_t reserved[3];
    uint32_t socket;
    uint32_t controller;
    uint32_t physicalSlot;
};
static_assert(sizeof(RemapDeviceLocation) == 24);
static_assert(offsetof(RemapDeviceLocation, portNumber) == 4);
static_assert(offsetof(RemapDeviceLocation, rootPortBus) == 6);
static_assert(offsetof(RemapDeviceLocation, rootPortFunction) == 8);
static_assert(offsetof(RemapDeviceLocation, socket) == 12);
static_assert(offsetof(RemapDeviceLocation, physicalSlot) == 20);

// Asks the remap port where the device at remapTargetId (a packed address; its port byte is not
// sent) sits and fills `location` from the answer. The request's failure is returned; a success
// without an answer leaves the record as it was.
CConsolidatedError ReadRemapDeviceLocation(RemapDeviceLocation& location, HANDLE target,
                                           uint32_t remapTargetId);
