#pragma once
// The PHY record of the exported interface, the PHY queries and the two runtime power reads.
#include <stddef.h>
#include <stdint.h>

#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

#ifndef __cplusplus
#include <assert.h>
#include <stdbool.h>
typedef struct UVI_PhyInfo UVI_PhyInfo;
typedef struct UVI_PmInterfaceFields UVI_PmInterfaceFields;
#endif

// One attachment point of a controller: a port (kind 1) or a disk (kind 2). Zero-filled before it
// is written.
struct UVI_PhyInfo {
    uint32_t handle;
    uint32_t reserved4;
    // The packed SCSI address: LUN (ports only), target id, path id, storage port number.
    uint8_t lun;
    uint8_t targetId;
    uint8_t pathId;
    uint8_t portNumber;
    uint8_t reserved12[12];
    uint32_t pathIdWord;
    uint32_t one28;
    // The PORT-kind handle: of the port (only while a device is attached) or of the disk.
    uint32_t portHandle;
    // 1 the controller, 2 an end device.
    uint32_t attachedKind;
    uint32_t attachedHandle;
    uint8_t externalPort;
    uint8_t hotPlugCapable;
    uint8_t reserved46[2];
    uint32_t one48;
    uint32_t maximumLinkRate;
    uint32_t one56;
    // 1 is 1.5, 2 is 3, 3 is 6 Gb/s; 0 unknown.
    uint32_t negotiatedLinkRate;
    uint32_t linkRate;
    uint8_t reserved68[48];
    uint32_t controllerHandle;
    uint8_t mechanicalPresenceSwitchSupported;
    uint8_t coldPresenceDetection;
    uint8_t deviceAttached;
    uint8_t portMultiplierAttached;
    // 2 SATA, 3 PCIe; 0 unknown.
    uint32_t connectionKind;
    // 1 unsupported, 2 AHCI, 3 NVMe; 0 unknown.
    uint32_t portInterface;
    // 1 unsupported, 2 x1, 3 x2, 4 x4; 0 unknown.
    uint32_t busWidth;
    // 1 unsupported, 2 to 5 PCIe generation 1 to 4; 0 unknown.
    uint32_t busSpeed;
    uint8_t atapiDevice;
    uint8_t fisBasedSwitchingCapable;
    uint8_t aggressiveSlumberPartial;
    uint8_t aggressiveLinkPowerManagement;
    uint8_t mechanicalPresenceSwitchAttached;
    uint8_t automaticPartialToSlumber;
    uint8_t reserved146[6];
    // The whole AHCI port command and status register.
    uint64_t portCommand;
    uint32_t ahciInfoBits;
    uint8_t rtd3Capable;
    uint8_t aggressiveDeviceSleep;
    uint8_t deviceSleepPresent;
    uint8_t reserved167;
    uint32_t deviceSleepExitTimeout;
    uint32_t minimumDeviceSleepAssertionTime;
    uint32_t deviceSleepIdleTimeout;
    uint32_t deviceSleepIdleTimeoutMultiplier;
    uint32_t csmiPhyIdentifier;
    // 0xFFFFFFFF when the request failed.
    uint32_t csmiReturnCode;
    // The device location block: type 1 to 4 (0 unknown), port, cycle router, root port bus, device,
    // function, then socket, controller and physical slot.
    uint32_t locationType;
    uint8_t locationPort;
    uint8_t locationCycleRouter;
    uint8_t locationBus;
    uint8_t locationDevice;
    uint8_t locationFunction;
    uint8_t reserved201[3];
    uint32_t locationSocket;
    uint32_t locationController;
    uint32_t locationSlot;
};
static_assert(sizeof(UVI_PhyInfo) == 216, "record layout");
static_assert(offsetof(UVI_PhyInfo, lun) == 8, "record layout");
static_assert(offsetof(UVI_PhyInfo, targetId) == 9, "record layout");
static_assert(offsetof(UVI_PhyInfo, pathId) == 10, "record layout");
static_assert(offsetof(UVI_PhyInfo, portNumber) == 11, "record layout");
static_assert(offsetof(UVI_PhyInfo, reserved12) == 12, "record layout");
static_assert(offsetof(UVI_PhyInfo, pathIdWord) == 24, "record layout");
static_assert(offsetof(UVI_PhyInfo, one28) == 28, "record layout");
static_assert(offsetof(UVI_PhyInfo, portHandle) == 32, "record layout");
static_assert(offsetof(UVI_PhyInfo, attachedKind) == 36, "record layout");
static_assert(offsetof(UVI_PhyInfo, attachedHandle) == 40, "record layout");
static_assert(offsetof(UVI_PhyInfo, externalPort) == 44, "record layout");
static_assert(offsetof(UVI_PhyInfo, hotPlugCapable) == 45, "record layout");
static_assert(offsetof(UVI_PhyInfo, one48) == 48, "record layout");
static_assert(offsetof(UVI_PhyInfo, maximumLinkRate) == 52, "record layout");
static_assert(offsetof(UVI_PhyInfo, one56) == 56, "record layout");
static_assert(offsetof(UVI_PhyInfo, negotiatedLinkRate) == 60, "record layout");
static_assert(offsetof(UVI_PhyInfo, linkRate) == 64, "record layout");
static_assert(offsetof(UVI_PhyInfo, reserved68) == 68, "record layout");
static_assert(offsetof(UVI_PhyInfo, controllerHandle) == 116, "record layout");
static_assert(offsetof(UVI_PhyInfo, mechanicalPresenceSwitchSupported) == 120, "record layout");
static_assert(offsetof(UVI_PhyInfo, coldPresenceDetection) == 121, "record layout");
static_assert(offsetof(UVI_PhyInfo, deviceAttached) == 122, "record layout");
static_assert(offsetof(UVI_PhyInfo, portMultiplierAttached) == 123, "record layout");
static_assert(offsetof(UVI_PhyInfo, connectionKind) == 124, "record layout");
static_assert(offsetof(UVI_PhyInfo, portInterface) == 128, "record layout");
static_assert(offsetof(UVI_PhyInfo, busWidth) == 132, "record layout");
static_assert(offsetof(UVI_PhyInfo, busSpeed) == 136, "record layout");
static_assert(offsetof(UVI_PhyInfo, atapiDevice) == 140, "record layout");
static_assert(offsetof(UVI_PhyInfo, automaticPartialToSlumber) == 145, "record layout");
static_assert(offsetof(UVI_PhyInfo, portCommand) == 152, "record layout");
static_assert(offsetof(UVI_PhyInfo, ahciInfoBits) == 160, "record layout");
static_assert(offsetof(UVI_PhyInfo, rtd3Capable) == 164, "record layout");
static_assert(offsetof(UVI_PhyInfo, aggressiveDeviceSleep) == 165, "record layout");
static_assert(offsetof(UVI_PhyInfo, deviceSleepPresent) == 166, "record layout");
static_assert(offsetof(UVI_PhyInfo, deviceSleepExitTimeout) == 168, "record layout");
static_assert(offsetof(UVI_PhyInfo, minimumDeviceSleepAssertionTime) == 172, "record layout");
static_assert(offsetof(UVI_PhyInfo, deviceSleepIdleTimeout) == 176, "record layout");
static_assert(offsetof(UVI_PhyInfo, deviceSleepIdleTimeoutMultiplier) == 180, "record layout");
static_assert(offsetof(UVI_PhyInfo, csmiPhyIdentifier) == 184, "record layout");
static_assert(offsetof(UVI_PhyInfo, csmiReturnCode) == 188, "record layout");
static_assert(offsetof(UVI_PhyInfo, locationType) == 192, "record layout");
static_assert(offsetof(UVI_PhyInfo, locationPort) == 196, "record layout");
static_assert(offsetof(UVI_PhyInfo, locationCycleRouter) == 197, "record layout");
static_assert(offsetof(UVI_PhyInfo, locationBus) == 198, "record layout");
static_assert(offsetof(UVI_PhyInfo, locationDevice) == 199, "record layout");
static_assert(offsetof(UVI_PhyInfo, locationFunction) == 200, "record layout");
static_assert(offsetof(UVI_PhyInfo, locationSocket) == 204, "record layout");
static_assert(offsetof(UVI_PhyInfo, locationController) == 208, "record layout");
static_assert(offsetof(UVI_PhyInfo, locationSlot) == 212, "record layout");

// The input and outputs of UviUpdatePmInterfaceFields.
struct UVI_PmInterfaceFields {
    uint32_t address; // packed SCSI address
    uint32_t field1;  // bits 8 to 11 of the AHCI information's second word
    uint32_t field2;  // bits 8 to 11 of its third word
};
static_assert(sizeof(UVI_PmInterfaceFields) == 12, "record layout");
static_assert(offsetof(UVI_PmInterfaceFields, field1) == 4, "record layout");
static_assert(offsetof(UVI_PmInterfaceFields, field2) == 8, "record layout");

#ifdef __cplusplus
extern "C" {
#endif
MOX_EXPORT _UVI_Error UviGetPhyHandles(unsigned int session, unsigned int* handleList,
                                       unsigned int* handleCount);
MOX_EXPORT _UVI_Error UviGetPhyInfo(unsigned int session, unsigned int phyHandle, UVI_PhyInfo* info);
// Whether runtime D3 hot is enabled for the device at the packed address; false when it cannot be
// read. Needs no initialisation.
MOX_EXPORT bool UviGetIsRTD3HotEnabled(uint32_t address);
// Fills the two outputs from the AHCI information of the address's controller and returns the
// first; 0 with the outputs untouched when it cannot be read. Needs no initialisation.
MOX_EXPORT int32_t UviUpdatePmInterfaceFields(UVI_PmInterfaceFields* record);
#ifdef __cplusplus
}
#endif
