#pragma once
// The controller dictionary's values as the library keeps them: a fixed 984-byte record filled
// field by field from the driver's controller dictionary, copied whole into each controller locator
// record.
#include <cstddef>
#include <cstdint>

struct ControllerDictionaryValues {
    uint32_t valid; // 0 while reading, 1 after a successful read
    uint8_t pciCommonConfig[256];
    char oromVersion[64];
    char driverVersion[64];
    uint8_t featuresEnabled[64];
    uint8_t reserved[512];
    uint32_t maxPhysPerPort;
    uint8_t controllerType;
    uint8_t buildType;
    uint8_t reserved2[2];
    uint32_t hwXorType;
    uint32_t fuaEnabled;
    uint8_t prebootDriverType;
    uint8_t reserved3[3];
};
static_assert(sizeof(ControllerDictionaryValues) == 984);
static_assert(offsetof(ControllerDictionaryValues, pciCommonConfig) == 4);
static_assert(offsetof(ControllerDictionaryValues, oromVersion) == 260);
static_assert(offsetof(ControllerDictionaryValues, driverVersion) == 324);
static_assert(offsetof(ControllerDictionaryValues, featuresEnabled) == 388);
static_assert(offsetof(ControllerDictionaryValues, maxPhysPerPort) == 964);
static_assert(offsetof(ControllerDictionaryValues, controllerType) == 968);
static_assert(offsetof(ControllerDictionaryValues, buildType) == 969);
static_assert(offsetof(ControllerDictionaryValues, hwXorType) == 972);
static_assert(offsetof(ControllerDictionaryValues, fuaEnabled) == 976);
static_assert(offsetof(ControllerDictionaryValues, prebootDriverType) == 980);
