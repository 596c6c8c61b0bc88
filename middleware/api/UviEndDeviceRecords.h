#pragma once
// The end-device records of the C interface: the disk record of the vendor's own controllers,
// the record of another vendor's disk, the identify summary and the zero-power optical drive
// status. Plain little-endian records; texts are zero-terminated in fixed fields; bytes without a
// field name are reserved and read 0.
#include <stddef.h>
#include <stdint.h>

#ifndef __cplusplus
#include <assert.h>
typedef struct _UVI_EndDeviceInfo _UVI_EndDeviceInfo;
typedef struct _UVI_ThirdPartyEndDeviceInfo _UVI_ThirdPartyEndDeviceInfo;
typedef struct _UVI_DiskIdentifyData _UVI_DiskIdentifyData;
typedef struct _UVI_ZpoddInfo _UVI_ZpoddInfo;
#endif

// End-device states (state of _UVI_EndDeviceInfo and _UVI_ThirdPartyEndDeviceInfo).
enum _UVI_DiskState {
    UVI_DISK_STATE_OFFLINE = 1,
    UVI_DISK_STATE_MISSING = 2,
    UVI_DISK_STATE_FAILED = 3,
    UVI_DISK_STATE_SMART_EVENT = 4,
    UVI_DISK_STATE_FLAGGED_10000 = 5, // the RAID record's state flag 0x10000
    UVI_DISK_STATE_NORMAL = 6,
    UVI_DISK_STATE_LOCKED = 7,
    UVI_DISK_STATE_OFFLINE_BY_REQUEST = 8,
    UVI_DISK_STATE_FLAGGED_800 = 9, // the RAID record's state flag 0x800
};

// End-device usages (usage).
enum _UVI_DiskUsage {
    UVI_DISK_USAGE_UNKNOWN = 0,
    UVI_DISK_USAGE_ARRAY_MEMBER = 1,
    UVI_DISK_USAGE_PASS_THROUGH = 2,
    UVI_DISK_USAGE_OFFLINE_ARRAY = 3,
    UVI_DISK_USAGE_SPARE = 4,
    UVI_DISK_USAGE_ARRAY_MEMBER_READ_ONLY = 5,
    UVI_DISK_USAGE_PASS_THROUGH_READ_ONLY = 6,
    UVI_DISK_USAGE_ACCELERATED = 7,
};

struct _UVI_EndDeviceInfo {
    uint32_t endDeviceHandle;
    uint32_t reserved4;
    // port << 24 | path << 16 | target << 8 | lun
    uint32_t scsiAddress;
    uint8_t reserved12[12];
    // 1 disk, 2 ATAPI device, 3 non-storage.
    uint32_t deviceType;
    uint32_t raidInfoHandle;
    uint32_t arrayHandle;
    uint32_t reserved36;
    char serialNumber[65];
    char nvmeSerialNumber[21];
    char modelNumber[41];
    char firmwareRevision[21];
    uint8_t oldFirmware;
    uint8_t reserved189[3];
    // 1 SATA, 2 SAS, 3 PCIe.
    uint32_t busType;
    uint32_t reserved196;
    uint64_t capacity;
    uint64_t sectorSize;
    uint64_t sectorCount;
    uint64_t freeSectorCount;
    // 2 when the RAID record's word at 128 is set, else 1.
    uint32_t recordKind;
    uint8_t systemDisk;
    uint8_t reserved237[7];
    // An AHCI disk or an NVMe disk of the vendor's driver.
    uint8_t ownDriverDisk;
    uint8_t reserved245[3];
    uint32_t state; // _UVI_DiskState
    uint32_t usage; // _UVI_DiskUsage
    uint32_t vezkDiskKind;
    uint32_t controllerHandle;
    uint32_t capabilities;
    uint8_t ncqSupported;
    uint8_t reserved269[3];
    uint32_t queueDepth;
    uint8_t hasPartitions;
    uint8_t raidDetailsFilled;
    uint8_t reserved278[2];
    uint32_t recordByte178;
    uint32_t logicalSectorSize;
    uint32_t physicalSectorSize;
    uint8_t solidState;
    uint8_t masterDisk;
    uint8_t reserved294[2];
    // 1 not enabled or unknown, 2 enabled (master password high), 3 enabled (maximum).
    uint32_t ataSecurity;
    int32_t deviceNumber;
    int32_t windowsDeviceType;
    // Tri-states: 0 unknown, 1 and 2 as their names say first and second.
    uint32_t cacheSettingState;
    uint32_t seekPenaltyState;
    uint32_t writeCacheState;
    uint64_t bytesInUse;
    uint64_t spaceAvailable;
    uint8_t hybridInfoSupported;
    uint8_t hybridInfoEnabled;
    uint8_t raidConfigFlag;
    uint8_t reserved339;
    int32_t deviceNumberCopy;
    uint32_t stateFlags;
    int32_t arrayIndex;
    char raidSerialNumber[65];
    uint8_t reserved417[3];
    uint32_t recordWord136;
    uint8_t smartEvent;
    char raidFirmwareRevision[17];
    char raidModelNumber[17];
    uint8_t identifyWord77Flag;
    uint32_t dictionaryPeripheralType;
    uint8_t dictionarySerialNumber[68];
    uint32_t dictionarySerialNumberLength;
    uint8_t dictionaryModelNumber[68];
    uint8_t reserved604[4];
    uint64_t dictionaryLbaCount;
    uint32_t dictionaryQueueDepth;
    uint8_t dictionaryFirmwareVersion[68];
    uint32_t powerModeIndex;
    uint8_t pcieAhciPort;
    uint8_t hmbSupported;
    uint8_t hmbEnabled;
    uint8_t reserved695;
    uint64_t hmbSizeMiB;
    // 0 not checked, 1 valid, 2 not valid.
    uint32_t pairingCheck;
    uint8_t ownNvmeDisk;
    uint8_t reserved709[3];
    // 0 not a hybrid disk; 3, 1, 2 for member kinds 0, 1, 2.
    uint32_t hybridMemberKind;
    uint16_t hybridVendorId;
    uint16_t hybridDeviceId;
};
static_assert(sizeof(_UVI_EndDeviceInfo) == 720, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, scsiAddress) == 8, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, reserved12) == 12, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, deviceType) == 24, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, raidInfoHandle) == 28, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, arrayHandle) == 32, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, reserved36) == 36, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, serialNumber) == 40, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, nvmeSerialNumber) == 105, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, modelNumber) == 126, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, firmwareRevision) == 167, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, oldFirmware) == 188, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, busType) == 192, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, capacity) == 200, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, sectorSize) == 208, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, sectorCount) == 216, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, freeSectorCount) == 224, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, recordKind) == 232, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, systemDisk) == 236, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, ownDriverDisk) == 244, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, state) == 248, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, usage) == 252, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, vezkDiskKind) == 256, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, controllerHandle) == 260, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, capabilities) == 264, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, ncqSupported) == 268, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, queueDepth) == 272, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, hasPartitions) == 276, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, raidDetailsFilled) == 277, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, recordByte178) == 280, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, logicalSectorSize) == 284, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, physicalSectorSize) == 288, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, solidState) == 292, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, masterDisk) == 293, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, ataSecurity) == 296, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, deviceNumber) == 300, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, windowsDeviceType) == 304, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, cacheSettingState) == 308, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, seekPenaltyState) == 312, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, writeCacheState) == 316, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, bytesInUse) == 320, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, spaceAvailable) == 328, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, hybridInfoSupported) == 336, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, hybridInfoEnabled) == 337, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, raidConfigFlag) == 338, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, deviceNumberCopy) == 340, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, stateFlags) == 344, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, arrayIndex) == 348, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, raidSerialNumber) == 352, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, recordWord136) == 420, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, smartEvent) == 424, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, raidFirmwareRevision) == 425, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, raidModelNumber) == 442, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, identifyWord77Flag) == 459, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, dictionaryPeripheralType) == 460, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, dictionarySerialNumber) == 464, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, dictionarySerialNumberLength) == 532, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, dictionaryModelNumber) == 536, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, dictionaryLbaCount) == 608, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, dictionaryQueueDepth) == 616, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, dictionaryFirmwareVersion) == 620, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, powerModeIndex) == 688, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, pcieAhciPort) == 692, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, hmbSupported) == 693, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, hmbEnabled) == 694, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, hmbSizeMiB) == 696, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, pairingCheck) == 704, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, ownNvmeDisk) == 708, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, hybridMemberKind) == 712, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, hybridVendorId) == 716, "record layout");
static_assert(offsetof(_UVI_EndDeviceInfo, hybridDeviceId) == 718, "record layout");

// A disk behind another vendor's controller. The fill leaves unnamed bytes as the caller gave them.
struct _UVI_ThirdPartyEndDeviceInfo {
    uint32_t endDeviceHandle;
    uint32_t reserved4;
    uint32_t scsiAddress;
    uint8_t reserved12[12];
    // Always 1 (disk).
    uint32_t deviceType;
    char serialNumber[65];
    char nvmeSerialNumber[21];
    char modelNumber[41];
    char firmwareRevision[21];
    uint8_t oldFirmware;
    uint8_t reserved177[3];
    // 1 SATA, 3 PCIe.
    uint32_t busType;
    uint64_t diskLength;
    uint64_t blockLength;
    uint64_t numberOfBlocks;
    uint8_t systemDisk;
    uint8_t reserved209[3];
    // Always 6 (normal) and 2 (pass through).
    uint32_t state; // _UVI_DiskState
    uint32_t usage; // _UVI_DiskUsage
    uint32_t controllerHandle;
    uint8_t hasPartitions;
    uint8_t reserved225[3];
    // 2 MBR, 1 GPT, 0 RAW.
    uint32_t partitionStyle;
    uint32_t logicalSectorSize;
    uint32_t physicalSectorSize;
    uint8_t solidState;
    uint8_t reserved241[3];
    int32_t deviceNumber;
    int32_t windowsDeviceType;
    uint32_t cacheSettingState;
    uint32_t seekPenaltyState;
    uint32_t writeCacheState;
    uint32_t partitionCount;
    uint32_t hybridMemberKind;
};
static_assert(sizeof(_UVI_ThirdPartyEndDeviceInfo) == 272, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, scsiAddress) == 8, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, deviceType) == 24, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, serialNumber) == 28, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, nvmeSerialNumber) == 93, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, modelNumber) == 114, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, firmwareRevision) == 155, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, oldFirmware) == 176, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, busType) == 180, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, diskLength) == 184, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, blockLength) == 192, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, numberOfBlocks) == 200, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, systemDisk) == 208, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, state) == 212, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, usage) == 216, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, controllerHandle) == 220, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, hasPartitions) == 224, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, partitionStyle) == 228, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, logicalSectorSize) == 232, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, physicalSectorSize) == 236, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, solidState) == 240, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, deviceNumber) == 244, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, windowsDeviceType) == 248, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, cacheSettingState) == 252, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, seekPenaltyState) == 256, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, writeCacheState) == 260, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, partitionCount) == 264, "record layout");
static_assert(offsetof(_UVI_ThirdPartyEndDeviceInfo, hybridMemberKind) == 268, "record layout");

// A summary of a SATA disk's ATA IDENTIFY DEVICE data; flag bytes are 0 or 1.
struct _UVI_DiskIdentifyData {
    uint32_t diskHandle;
    uint8_t apmEnabled;
    uint8_t reserved5;
    uint16_t apmLevel;
    uint8_t apmSupported;
    uint8_t hardwareFeatureControlSupported;
    uint8_t deterministicReadAfterTrim;
    uint8_t deviceSleepSupported;
    uint8_t deviceSleepEnabled;
    uint8_t dipmEnabled;
    uint8_t dipmSupported;
    uint8_t fuaSupported;
    uint8_t hipmSupported;
    uint8_t hpaSupported;
    uint8_t hybridInfoSupported;
    uint8_t hybridInfoEnabled;
    uint8_t ieee1667Supported;
    uint8_t lba48Supported;
    uint8_t reserved22[2];
    uint64_t userAddressableSectors;
    uint8_t securityEnabled;
    uint8_t puisEnabled;
    uint8_t puisSupported;
    uint8_t zeroesAfterTrim;
    uint8_t trimSupported;
    uint8_t deterministicZeroesAfterTrim;
    uint8_t trustedComputingSupported;
    uint8_t writeUncorrectableSupported;
    uint8_t ncqSupported;
    uint8_t reserved41[7];
};
static_assert(sizeof(_UVI_DiskIdentifyData) == 48, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, apmEnabled) == 4, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, apmLevel) == 6, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, apmSupported) == 8, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, hardwareFeatureControlSupported) == 9, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, deterministicReadAfterTrim) == 10, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, deviceSleepSupported) == 11, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, deviceSleepEnabled) == 12, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, dipmEnabled) == 13, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, dipmSupported) == 14, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, fuaSupported) == 15, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, hipmSupported) == 16, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, hpaSupported) == 17, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, hybridInfoSupported) == 18, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, hybridInfoEnabled) == 19, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, ieee1667Supported) == 20, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, lba48Supported) == 21, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, userAddressableSectors) == 24, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, securityEnabled) == 32, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, puisEnabled) == 33, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, puisSupported) == 34, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, zeroesAfterTrim) == 35, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, trimSupported) == 36, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, deterministicZeroesAfterTrim) == 37, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, trustedComputingSupported) == 38, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, writeUncorrectableSupported) == 39, "record layout");
static_assert(offsetof(_UVI_DiskIdentifyData, ncqSupported) == 40, "record layout");

// The zero-power optical drive status: words of the driver's status block copied by position.
struct _UVI_ZpoddInfo {
    // 0 when the device gave no zero-power status.
    uint32_t deviceHandle;
    uint32_t status;
    uint32_t word12;
    uint32_t word16;
    uint32_t word20;
    uint32_t word24;
    uint32_t reserved24;
    uint32_t word44;
};
static_assert(sizeof(_UVI_ZpoddInfo) == 32, "record layout");
static_assert(offsetof(_UVI_ZpoddInfo, status) == 4, "record layout");
static_assert(offsetof(_UVI_ZpoddInfo, word12) == 8, "record layout");
static_assert(offsetof(_UVI_ZpoddInfo, word16) == 12, "record layout");
static_assert(offsetof(_UVI_ZpoddInfo, word20) == 16, "record layout");
static_assert(offsetof(_UVI_ZpoddInfo, word24) == 20, "record layout");
static_assert(offsetof(_UVI_ZpoddInfo, reserved24) == 24, "record layout");
static_assert(offsetof(_UVI_ZpoddInfo, word44) == 28, "record layout");
