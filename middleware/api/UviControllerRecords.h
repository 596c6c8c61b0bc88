#pragma once
// The controller records of the C interface: one for a controller of the vendor's own RAID driver,
// one for another vendor's controller. Plain little-endian records, zero-filled by the library
// before it writes them; bytes without a field name are reserved and read 0.
#include <stddef.h>
#include <stdint.h>

#ifndef __cplusplus
#include <assert.h>
typedef struct _UVI_ControllerInfo _UVI_ControllerInfo;
typedef struct _UVI_ThirdPartyControllerInfo _UVI_ThirdPartyControllerInfo;
#endif

// Number of capability flag bytes both controller records carry.
#define UVI_CAPABILITY_FLAG_COUNT 66

struct _UVI_ControllerInfo {
    uint32_t controllerHandle;
    uint8_t reserved4[7];
    // Storage (SCSI) port number, low 8 bits.
    uint8_t portNumber;
    uint8_t reserved12[12];
    // "<name> \\Scsi<port>", cut to 255 characters.
    char name[256];
    // 1 AHCI, 3 NVMe, 4 remapping controller, 0 other.
    uint32_t type;
    uint32_t raidInfoHandle;
    char driverVersion[32];
    char optionRomVersion[32];
    uint16_t vendorId;
    uint16_t deviceId;
    uint16_t subsystemId;
    uint8_t revisionId;
    uint8_t subClass;
    uint16_t subsystemVendorId;
    uint8_t safeMode;
    uint8_t reserved363;
    uint32_t driverVersionNumbers[4];
    uint32_t optionRomVersionNumbers[4];
    uint32_t portCount;
    uint32_t maxDisksTotal;
    uint32_t maxVolumesPerController;
    uint32_t maxDisksPerArray;
    uint32_t maxVolumesPerArray;
    // Volumes that can still be created on the controller.
    uint32_t volumesCreatable;
    // Always 3.
    uint32_t constantThree;
    // One byte per capability, 0 or 1; packed into capabilityMask.
    uint8_t capabilities[UVI_CAPABILITY_FLAG_COUNT];
    uint8_t rohiPolicy;
    // Bit 6 of capability word C of the "features enabled table" block.
    uint8_t featuresTableBit6OfC;
    // Bit 3 of capability word B, in both capability blocks.
    uint8_t capabilityBit3OfB;
    // 1 when the dictionary's "fua enabled" is 0.
    uint8_t fuaDisabled;
    uint8_t reserved494[2];
    uint32_t volumeCount;
    uint32_t arrayCount;
    uint32_t memberDiskCount;
    // AHCI controllers only: CAP bits 12:8, CAP bits 4:0 plus one, ports implemented.
    uint32_t ahciCommandSlots;
    uint32_t ahciPortCount;
    uint32_t ahciPortsImplemented;
    uint32_t remapPathMask;
    uint32_t reserved524;
    // AHCI: CAP bits 23:20.
    uint32_t ahciInterfaceSpeed;
    uint32_t prebootDriverType;
    uint32_t dictionaryControllerType;
    uint32_t maxPhysPerPort;
    uint32_t buildType;
    uint8_t interfaceNotSupported;
    // Request families the driver supports.
    uint8_t ataSupported;
    uint8_t ataSupportedCopy;
    uint8_t raidSupported;
    uint8_t remapPortSupported;
    uint8_t nvmeSupported;
    uint8_t volumePortSupported;
    uint8_t reserved555[2];
    uint8_t csmiSupported;
    uint8_t csmiSasSupported;
    uint8_t reserved559;
    // CSMI controller configuration and status (AHCI controllers only).
    uint32_t csmiBiosRevision[4];
    uint32_t csmiBoardId;
    uint32_t csmiIoBusType;
    uint32_t csmiControllerClass;
    uint32_t csmiControllerFlags;
    uint32_t csmiRevision[4];
    uint32_t csmiRromBiosRevision[4];
    uint32_t csmiRromRevision[4];
    uint8_t csmiSerialNumber[81];
    uint8_t reserved721[3];
    uint32_t csmiSlotNumber;
    uint32_t csmiOfflineReason;
    uint32_t csmiStatus;
    // Bit n: a strip of 2^(n+1) KB.
    uint64_t stripSizeMask;
    uint64_t raidLevelMask;
    uint64_t capabilityMask;
    uint8_t rootPortBus;
    uint8_t rootPortDevice;
    uint8_t rootPortFunction;
    uint8_t scheduledForRemap;
    uint8_t reserved764[4];
};
static_assert(sizeof(_UVI_ControllerInfo) == 768, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, portNumber) == 11, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, reserved12) == 12, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, name) == 24, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, type) == 280, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, raidInfoHandle) == 284, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, driverVersion) == 288, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, optionRomVersion) == 320, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, vendorId) == 352, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, deviceId) == 354, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, subsystemId) == 356, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, revisionId) == 358, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, subClass) == 359, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, subsystemVendorId) == 360, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, safeMode) == 362, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, driverVersionNumbers) == 364, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, optionRomVersionNumbers) == 380, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, portCount) == 396, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, maxDisksTotal) == 400, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, maxVolumesPerController) == 404, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, maxDisksPerArray) == 408, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, maxVolumesPerArray) == 412, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, volumesCreatable) == 416, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, constantThree) == 420, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, capabilities) == 424, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, rohiPolicy) == 490, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, featuresTableBit6OfC) == 491, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, capabilityBit3OfB) == 492, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, fuaDisabled) == 493, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, volumeCount) == 496, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, arrayCount) == 500, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, memberDiskCount) == 504, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, ahciCommandSlots) == 508, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, ahciPortCount) == 512, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, ahciPortsImplemented) == 516, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, remapPathMask) == 520, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, reserved524) == 524, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, ahciInterfaceSpeed) == 528, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, prebootDriverType) == 532, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, dictionaryControllerType) == 536, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, maxPhysPerPort) == 540, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, buildType) == 544, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, interfaceNotSupported) == 548, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, ataSupported) == 549, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, ataSupportedCopy) == 550, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, raidSupported) == 551, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, remapPortSupported) == 552, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, nvmeSupported) == 553, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, volumePortSupported) == 554, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiSupported) == 557, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiSasSupported) == 558, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiBiosRevision) == 560, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiBoardId) == 576, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiIoBusType) == 580, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiControllerClass) == 584, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiControllerFlags) == 588, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiRevision) == 592, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiRromBiosRevision) == 608, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiRromRevision) == 624, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiSerialNumber) == 640, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiSlotNumber) == 724, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiOfflineReason) == 728, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, csmiStatus) == 732, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, stripSizeMask) == 736, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, raidLevelMask) == 744, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, capabilityMask) == 752, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, rootPortBus) == 760, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, rootPortDevice) == 761, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, rootPortFunction) == 762, "record layout");
static_assert(offsetof(_UVI_ControllerInfo, scheduledForRemap) == 763, "record layout");

struct _UVI_ThirdPartyControllerInfo {
    uint32_t controllerHandle;
    uint8_t reserved4[7];
    uint8_t portNumber;
    uint8_t reserved12[12];
    char name[256];
    // As the other vendor's controller reports it.
    uint32_t type;
    char driverVersion[32];
    uint16_t vendorId;
    uint16_t deviceId;
    uint16_t subsystemId;
    uint8_t revisionId;
    uint8_t subClass;
    uint16_t subsystemVendorId;
    uint8_t reserved326[2];
    uint32_t driverVersionNumbers[4];
    // All 0 but the last (remap possible).
    uint8_t capabilities[UVI_CAPABILITY_FLAG_COUNT];
    uint8_t reserved410[6];
    uint64_t capabilityMask;
    uint8_t rootPortBus;
    uint8_t rootPortDevice;
    uint8_t rootPortFunction;
    uint8_t scheduledForRemap;
    uint8_t reserved428[4];
};
static_assert(sizeof(_UVI_ThirdPartyControllerInfo) == 432, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, portNumber) == 11, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, name) == 24, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, type) == 280, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, driverVersion) == 284, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, vendorId) == 316, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, deviceId) == 318, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, subsystemId) == 320, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, revisionId) == 322, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, subClass) == 323, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, subsystemVendorId) == 324, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, driverVersionNumbers) == 328, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, capabilities) == 344, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, capabilityMask) == 416, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, rootPortBus) == 424, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, rootPortDevice) == 425, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, rootPortFunction) == 426, "record layout");
static_assert(offsetof(_UVI_ThirdPartyControllerInfo, scheduledForRemap) == 427, "record layout");
