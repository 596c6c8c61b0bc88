#include "middleware/api/EndDeviceQueries.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/ControllerQueries.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/api/WindowsDiskView.h"
#include "middleware/model/AhciController.h"
#include "middleware/model/AhciDisk.h"
#include "middleware/model/AhciPort.h"
#include "middleware/model/Controller.h"
#include "middleware/model/HybridDiskExtension.h"
#include "middleware/model/NvmeDisk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/RecordBytes.h"
#include "middleware/model/Session.h"
#include "middleware/model/WinDiskInterface.h"

namespace {

// RAID disk record state flags.
constexpr uint32_t kFlagFailed = 0x4;
constexpr uint32_t kFlagPresent = 0x10;
constexpr uint32_t kFlag80 = 0x80;
constexpr uint32_t kFlagSmart = 0x200;
constexpr uint32_t kFlag800 = 0x800;
constexpr uint32_t kFlagOffline = 0x8000;
constexpr uint32_t kFlag10000 = 0x10000;
constexpr uint32_t kFlagLocked = 0x1000000;

// Volume group record: flag word, recovery sync byte; device configuration: master disk index.
constexpr size_t kVolumeFlags = 108;
constexpr uint32_t kVolumeCacheFlag = 0x10000;
constexpr uint32_t kRecoveryFlags = 0x400 | 0x800;
constexpr size_t kRecoverySync = 112;
constexpr size_t kMasterDiskIndex = 160;

// ATA IDENTIFY DEVICE words.
constexpr size_t kWordGeneral = 0, kWordQueueDepth = 75, kWordSataCapabilities = 76, kWordSataFeatures = 77,
                 kWordSataFeaturesSupported = 78, kWordSataFeaturesEnabled = 79, kWordCommandSet = 82,
                 kWordCommandSetEnabled = 85, kWordSecurity = 128;

uint16_t Word(const uint8_t* identify, size_t word) {
    return model::Read16(identify, 2 * word);
}

void CopyText(char* field, size_t size, const char* text) {
    if (text)
        std::snprintf(field, size, "%s", text);
}

// Copies only when the whole text fits the field.
void CopyTextIfFits(char* field, size_t size, const std::string& text) {
    if (!text.empty() && text.size() < size)
        std::memcpy(field, text.c_str(), text.size() + 1);
}

uint32_t StateOfFlags(uint32_t flags) {
    if (flags & kFlagLocked)
        return UVI_DISK_STATE_LOCKED;
    if (flags & kFlagOffline)
        return UVI_DISK_STATE_OFFLINE;
    if (flags & kFlag80)
        return UVI_DISK_STATE_OFFLINE_BY_REQUEST;
    if (!(flags & kFlagPresent))
        return UVI_DISK_STATE_MISSING;
    if (flags & kFlag800)
        return UVI_DISK_STATE_FLAGGED_800;
    if (flags & kFlagFailed)
        return UVI_DISK_STATE_FAILED;
    if (flags & kFlagSmart)
        return UVI_DISK_STATE_SMART_EVENT;
    if (flags & kFlag10000)
        return UVI_DISK_STATE_FLAGGED_10000;
    return UVI_DISK_STATE_NORMAL;
}

uint32_t UsageOfCode(uint32_t code) {
    switch (code) {
    case RaidDiskConfig::kUsageArrayMember:
        return UVI_DISK_USAGE_ARRAY_MEMBER;
    case RaidDiskConfig::kUsagePassThrough:
        return UVI_DISK_USAGE_PASS_THROUGH;
    case RaidDiskConfig::kUsageOfflineArray:
        return UVI_DISK_USAGE_OFFLINE_ARRAY;
    case RaidDiskConfig::kUsageSpare:
        return UVI_DISK_USAGE_SPARE;
    default:
        return UVI_DISK_USAGE_UNKNOWN;
    }
}

uint32_t PowerModeIndex(uint32_t count) {
    switch (count) {
    case 0x00:
        return 0;
    case 0x01:
        return 1;
    case 0x40:
        return 2;
    case 0x41:
        return 3;
    case 0x80:
        return 4;
    case 0x81:
        return 5;
    case 0x82:
        return 6;
    case 0x83:
        return 7;
    case 0xFF:
        return 8;
    default:
        return 9;
    }
}

uint32_t HybridKind(const Disk& disk) {
    const auto& hybrid = disk.getHybridDiskExtension();
    if (!hybrid || !hybrid->isHybridDisk())
        return 0;
    switch (hybrid->getMemberKind()) {
    case 0:
        return 3;
    case 1:
        return 1;
    case 2:
        return 2;
    default:
        return 0;
    }
}

bool IsRecoveryVolume(const RaidVolume& volume) {
    return volume.getRecord() && (volume.getRecordWord(kVolumeFlags) & kRecoveryFlags) != 0;
}

// The disk sits on a PCIe port of the controller: the port of its address reports a connection of
// kind 3 or 4.
void PcieCheck(const Controller& controller, const Disk& disk, _UVI_EndDeviceInfo& r) {
    const auto port = controller.getPortByNumber(disk.getScsiAddress());
    if (!port || !port->getConnectionInfo())
        return;
    const ULONG kind = port->getConnectionType();
    if (kind != 3 && kind != 4)
        return;
    r.busType = 3;
    const uint32_t path = (disk.getScsiAddress() >> 16) & 0xFF;
    r.pcieAhciPort = path >= 9 && path <= 14 ? 1 : 0;
}

void FillAhciPart(const Controller& controller, AhciDisk& disk, _UVI_EndDeviceInfo& r) {
    r.ownDriverDisk = 1;
    CIoctlMpIdentify* identifyRequest = disk.getIdentify();
    if (identifyRequest) {
        // A kept answer that fails verification throws; the exported framing returns it.
        const uint8_t* identify = identifyRequest->GetVerifiedPayload();
        r.busType = 1;
        const uint16_t word77 = Word(identify, kWordSataFeatures);
        r.identifyWord77Flag = (word77 & 0x30) != 0 ? 1 : 0;
        const char* serial = disk.getSerialNumber();
        std::memset(r.serialNumber, 0, sizeof r.serialNumber);
        if (serial && *serial)
            CopyText(r.serialNumber, sizeof r.serialNumber, serial);
        else
            CopyText(r.serialNumber, sizeof r.serialNumber, disk.getIdentifySerialNumber());
        if (Word(identify, kWordGeneral) & 0x8000) {
            r.deviceType = 2;
            r.state = UVI_DISK_STATE_NORMAL;
            r.usage = UVI_DISK_USAGE_UNKNOWN;
            r.systemDisk = 0;
            r.recordKind = 1;
        } else {
            r.deviceType = 1;
            const uint16_t word76 = Word(identify, kWordSataCapabilities);
            r.ncqSupported = word76 != 0 && word76 != 0xFFFF && (word76 & 0x100) != 0 ? 1 : 0;
            if (r.ncqSupported)
                r.queueDepth = (Word(identify, kWordQueueDepth) & 0x1F) + 1u;
        }
    }
    if (CIoctlMpSpeed* capabilities = disk.getSpeed())
        r.capabilities = model::Read16(capabilities->GetCapabilityData(), 0);
    PcieCheck(controller, disk, r);
}

void FillNvmePart(const Controller& controller, NvmeDisk* nvme, _UVI_EndDeviceInfo& r) {
    r.hmbSupported = 0;
    r.hmbEnabled = 0;
    r.hmbSizeMiB = 0;
    if (!nvme)
        return;
    r.ownNvmeDisk = 1;
    if (!nvme->getRemappedDeviceInfo())
        return;
    r.ownDriverDisk = 1;
    r.busType = 1;
    if (controller.getType() == Controller::kTypeNvme) {
        r.usage = UVI_DISK_USAGE_PASS_THROUGH;
        r.state = UVI_DISK_STATE_NORMAL;
    }
    std::memset(r.serialNumber, 0, sizeof r.serialNumber);
    CopyText(r.serialNumber, sizeof r.serialNumber, nvme->getSerialNumber());
    r.ncqSupported = 0;
    PcieCheck(controller, *nvme, r);
    r.hmbSupported = nvme->isHostMemoryBufferSupported() ? 1 : 0;
    r.hmbEnabled = (nvme->getHostMemoryBufferValue() & 1) != 0 ? 1 : 0;
    r.hmbSizeMiB = model::Read32(nvme->getHostMemoryBufferData(), 0) >> 8;
}

// The master member of a recovery volume on this controller.
uint8_t MasterDiskFlag(const Controller& controller, const Disk& disk) {
    const auto& config = disk.getRaidDiskConfig();
    if (!config)
        return 0;
    if (config->getArray() && config->getArray()->isSynthetic())
        return 0;
    for (const auto& volume : controller.getVolumes()) {
        if (!IsRecoveryVolume(*volume) || volume->getArrayOrd() != config->getArrayIndex())
            continue;
        const RaidVolumeDeviceConfig* device = volume->getDeviceConfig();
        if (device && model::Read32(device->record, kMasterDiskIndex - 4) == config->getDiskIndex())
            return 1;
    }
    return 0;
}

// The space the disk can give to new volumes: its unused capacity plus what its last GPT partition
// can give up (the partition keeps 1.25 times what it uses, at least 4 GiB). Computed in 64 bits
// and never below 0.
uint64_t SpaceAvailable(const Disk& disk, uint64_t capacity, uint64_t bytesInUse) {
    const uint64_t size = disk.getLastPartitionSize();
    const uint64_t free = disk.getLastPartitionFreeBytes();
    const uint64_t used = size > free ? size - free : 0;
    uint64_t keep = used * 125 / 100;
    if (keep < 0x100000000ull)
        keep = 0x100000000ull;
    const uint64_t fromPartition = size > keep ? size - keep : 0;
    const uint64_t unused = capacity > bytesInUse ? capacity - bytesInUse : 0;
    return fromPartition + unused;
}

void FillRaidMemberDetails(const Disk& disk, _UVI_EndDeviceInfo& r) {
    const auto& config = disk.getRaidDiskConfig();
    r.recordByte178 = config->getValueB2();
    r.hasPartitions = config->hasValueAC() ? 1 : 0;
    r.bytesInUse = config->getBytesAC();
    r.spaceAvailable = SpaceAvailable(disk, r.capacity, r.bytesInUse);
    r.raidDetailsFilled = 1;
    const auto* ahci = dynamic_cast<const AhciDisk*>(&disk);
    if (!ahci || !ahci->getIdentify())
        return;
    const uint8_t* identify = ahci->getIdentify()->GetVerifiedPayload();
    const uint16_t w82 = Word(identify, kWordCommandSet), w85 = Word(identify, kWordCommandSetEnabled),
                   w128 = Word(identify, kWordSecurity);
    r.ataSecurity = 1;
    if ((w82 & 2) && (w85 & 2) && (w128 & 3) == 3)
        r.ataSecurity = (w128 & 0x100) ? 3 : 2;
    r.hybridInfoSupported = (Word(identify, kWordSataFeaturesSupported) & 0x200) ? 1 : 0;
    r.hybridInfoEnabled = (Word(identify, kWordSataFeaturesEnabled) & 0x200) ? 1 : 0;
}

void AcceleratedDiskCheck(const Controller& controller, const Disk& disk, _UVI_EndDeviceInfo& r) {
    std::shared_ptr<RaidVolume> volume;
    if (!AcceleratedVolumeOnSingleDiskArray(controller, disk.getRaidDiskConfig()->getArrayIndex(), volume))
        return;
    r.arrayHandle = 0;
    const uint8_t* deviceInfo = volume->getDeviceInfo();
    r.systemDisk = deviceInfo ? (deviceInfo[16] & 1) : 0;
    if (!BlockCacheKeptByDriver(controller))
        r.usage = UVI_DISK_USAGE_ACCELERATED;
}

void RecoveryPairAdjustments(const Controller& controller, const Disk& disk, _UVI_EndDeviceInfo& r) {
    if (!(r.usage == UVI_DISK_USAGE_PASS_THROUGH ||
          (r.state == UVI_DISK_STATE_MISSING && r.usage == UVI_DISK_USAGE_ARRAY_MEMBER)))
        return;
    bool syncing = false;
    for (const auto& volume : controller.getVolumes())
        if (IsRecoveryVolume(*volume) && volume->getRecord()[kRecoverySync] == 2)
            syncing = true;
    if (!syncing)
        return;
    for (const auto& other : controller.getDisks()) {
        const auto& config = other->getRaidDiskConfig();
        if (!config)
            continue;
        char serial[65] = {};
        config->copySerialNumber(serial, sizeof serial);
        if (r.state == UVI_DISK_STATE_MISSING && r.usage == UVI_DISK_USAGE_ARRAY_MEMBER &&
            config->getUsageCode() == RaidDiskConfig::kUsagePassThrough &&
            SerialMatch(serial, r.serialNumber)) {
            r.usage = UVI_DISK_USAGE_ARRAY_MEMBER_READ_ONLY;
            r.masterDisk = MasterDiskFlag(controller, disk);
            return;
        }
        if (r.usage == UVI_DISK_USAGE_PASS_THROUGH &&
            config->getUsageCode() == RaidDiskConfig::kUsageArrayMember && config->isNotPresent() &&
            SerialMatch(r.serialNumber, serial)) {
            r.usage = UVI_DISK_USAGE_PASS_THROUGH_READ_ONLY;
            r.masterDisk = MasterDiskFlag(controller, disk);
            return;
        }
    }
}

void StateAndUsage(const Session& session, const Controller& controller, const Disk& disk,
                   _UVI_EndDeviceInfo& r) {
    const auto& config = disk.getRaidDiskConfig();
    if (!config) {
        const auto& win = disk.getWinDiskInterface();
        r.systemDisk = win && win->hasEfiSystemPartition() ? 1 : 0;
        return;
    }
    r.recordKind = config->hasValue80() ? 2 : 1;
    r.systemDisk = config->isSystemDisk() ? 1 : 0;
    r.state = StateOfFlags(config->getStateFlags());
    for (const auto& c : session.getControllers())
        for (const auto& volume : c->getVolumes())
            if (IsRecoveryVolume(*volume) && volume->getArrayOrd() == config->getArrayIndex()) {
                if (config->isNotPresent())
                    r.state = UVI_DISK_STATE_MISSING;
                else if (r.state == UVI_DISK_STATE_OFFLINE_BY_REQUEST)
                    r.state = UVI_DISK_STATE_OFFLINE;
            }
    r.usage = UsageOfCode(config->getUsageCode());

    const auto blockCache = controller.getBlockCacheVolume();
    if (r.usage == UVI_DISK_USAGE_ARRAY_MEMBER && r.arrayHandle == 0 && blockCache &&
        blockCache->getArray() && config->isMemberOfArray(blockCache->getArray()->getHandle())) {
        if (const VezkPairingInfo* pairing = controller.getVezkInfo()) {
            if (pairing->status() != 0) {
                r.state = UVI_DISK_STATE_NORMAL;
                r.usage = UVI_DISK_USAGE_PASS_THROUGH_READ_ONLY;
            } else {
                r.state = UVI_DISK_STATE_OFFLINE;
                r.usage = UVI_DISK_USAGE_OFFLINE_ARRAY;
            }
        }
    }
    // The pairing disk list is matched by the disk's address; its serial texts are not kept apart.
    const PackedScsiAddress address =
        disk.getWinScsiAddress() != kNoScsiAddress ? disk.getWinScsiAddress() : disk.getScsiAddress();
    r.vezkDiskKind = controller.getInterfaceDeviceType(address);
    if (r.vezkDiskKind == 1)
        r.usage = UVI_DISK_USAGE_ARRAY_MEMBER;
    else if (r.vezkDiskKind == 4)
        r.usage = UVI_DISK_USAGE_OFFLINE_ARRAY;

    r.sectorSize = config->getSectorSize();
    r.sectorCount = config->getWideValue14();
    r.freeSectorCount = config->getAvailableSectors();
    if (r.state != UVI_DISK_STATE_MISSING)
        FillRaidMemberDetails(disk, r);
    if (controller.getType() == Controller::kTypeAhci)
        r.masterDisk = MasterDiskFlag(controller, disk);
    AcceleratedDiskCheck(controller, disk, r);
    if (controller.getType() == Controller::kTypeAhci)
        RecoveryPairAdjustments(controller, disk, r);
}

void FillWindowsPart(const Disk& disk, _UVI_EndDeviceInfo& r) {
    const WindowsDiskView view = ReadWindowsDiskView(disk.getWinDiskInterface().get());
    r.deviceNumber = static_cast<int32_t>(view.deviceNumber);
    r.windowsDeviceType = static_cast<int32_t>(view.deviceType);
    r.seekPenaltyState = view.seekPenalty;
    r.cacheSettingState = view.cacheSetting;
    r.writeCacheState = view.writeCache;
    if (disk.getWinDiskInterface())
        r.hasPartitions = view.hasPartitions ? 1 : 0;
}

} // namespace

bool SerialMatch(const char* a, const char* b) {
    if (!a || !b || !*a)
        return false;
    const std::string first(a), second(b);
    if (second.compare(0, first.size(), first) == 0)
        return true;
    if (first.size() < 14)
        return false;
    const std::string stem = second.size() < 2 ? second : second.substr(0, second.size() - 2);
    // An empty stem would "occur" in any text; it matches nothing.
    return !stem.empty() && first.find(stem) != std::string::npos;
}

uint8_t IsOldFirmware(const char* firmware) {
    if (!firmware || std::strlen(firmware) != 8 || firmware[0] != 'K')
        return 0;
    return std::strncmp(firmware + 5, "310", 3) < 0 ? 1 : 0;
}

bool AcceleratedVolumeOnSingleDiskArray(const Controller& controller, int32_t arrayIndex,
                                        std::shared_ptr<RaidVolume>& volume) {
    if (!controller.getNvCacheInfo())
        return false;
    const auto array = controller.getArrayByIndex(arrayIndex);
    const int32_t accelerated = controller.getNvCacheWord(Controller::kNvCacheAcceleratedIndex);
    for (const auto& candidate : controller.getVolumes()) {
        if (static_cast<int32_t>(candidate->getIndex()) != accelerated)
            continue;
        const auto onArray = candidate->getArray();
        if (array && onArray && onArray->getHandle() != 0 && onArray->getHandle() == array->getHandle() &&
            array->getRecord() && array->getRecordWord(RaidArray::kNumDisks) == 1) {
            volume = candidate;
            return true;
        }
        return false;
    }
    return false;
}

bool ArrayHasCacheFlaggedVolume(const Controller& controller, uint32_t arrayHandle) {
    if (!controller.getAcceleratedVolume() && !controller.getBlockCacheVolume())
        return false;
    if (arrayHandle == 0)
        return false;
    for (const auto& volume : controller.getVolumes()) {
        const auto array = volume->getArray();
        if (array && array->getHandle() == arrayHandle && volume->getRecord() &&
            (volume->getRecordWord(kVolumeFlags) & kVolumeCacheFlag) != 0)
            return true;
    }
    return false;
}

bool IsCacheArray(const Controller& controller, const std::shared_ptr<RaidArray>& array) {
    if (!array)
        return false;
    std::shared_ptr<RaidVolume> volume;
    return AcceleratedVolumeOnSingleDiskArray(controller, array->getIndex(), volume) ||
           ArrayHasCacheFlaggedVolume(controller, array->getHandle());
}

CConsolidatedError internalUviGetEndDeviceHandles(Session* session, uint32_t* handleList,
                                                  uint32_t* handleCount) {
    CConsolidatedError result;
    if (!session) {
        result.SetError(UVI_STATUS_INVALID_SESSION, "NULL Session passed into internalUviGetEndDeviceHandles",
                        nullptr);
        return result;
    }
    if (!handleCount || (*handleCount != 0 && !handleList)) {
        result.SetError(UVI_STATUS_INVALID_PARAMETER, "NULL handleList was passed for a non-zero handleCount",
                        nullptr);
        return result;
    }
    const uint32_t capacity = *handleCount;
    uint32_t count = 0;
    for (const auto& controller : session->getControllers())
        for (const auto& disk : controller->getDisks()) {
            // Members a broken array lost are kept by the model but never listed.
            if (disk->getRaidDiskConfig() && disk->getRaidDiskConfig()->isMissing())
                continue;
            if (count < capacity)
                handleList[count] = disk->getHandle();
            ++count;
        }
    *handleCount = count;
    if (!session->getControllers().empty() && capacity < count)
        result.SetError(UVI_STATUS_BUFFER_TOO_SMALL, "Buffer to fill the EndDevice handles was too small",
                        nullptr);
    return result;
}

CConsolidatedError internalUviGetEndDeviceInfo(Session& session, uint32_t handle, _UVI_EndDeviceInfo* info) {
    CConsolidatedError result;
    const auto disk = session.getEndDeviceByHandle(handle);
    if (!disk) {
        return InvalidHandleError("Invalid Handle passed in internalUviGetEndDeviceInfo, Received: %d",
                                  handle);
    }
    const auto controller = session.getControllerByHandle(disk->getControllerHandle());
    _UVI_EndDeviceInfo& r = *info;
    std::memset(&r, 0, sizeof r);
    const auto& config = disk->getRaidDiskConfig();
    const auto* dictionary = disk->getDictionaryEntry();
    if (!controller) {
        result.SetError(CConsolidatedError::UVI_FAILED, nullptr);
    } else {
        r.controllerHandle = controller->getHandle();
        r.endDeviceHandle = disk->getHandle();
        r.scsiAddress = disk->getScsiAddress();
        r.deviceType = 1;
        if (dictionary) {
            const EndDeviceDictionaryValues& v = dictionary->GetValues();
            r.capacity = v.lbaCount * v.logicalSectorSize;
        }
        r.logicalSectorSize = disk->logicalSectorSize();
        r.physicalSectorSize = disk->physicalSectorSize();
        r.raidConfigFlag = config && config->isNvCacheArrayMember() ? 1 : 0;
        const auto& win = disk->getWinDiskInterface();
        r.deviceNumberCopy = win ? static_cast<int32_t>(win->getDeviceNumber()) : -1;
        r.pcieAhciPort = 0;
        r.pairingCheck = disk->isPairingChecked() ? (disk->isValidForPairing() ? 1 : 2) : 0;
        r.solidState = disk->solidState() ? 1 : 0;

        CopyTextIfFits(r.modelNumber, sizeof r.modelNumber, disk->modelNumber());
        CopyTextIfFits(r.firmwareRevision, sizeof r.firmwareRevision, disk->firmwareRevision());
        if (dictionary) {
            const EndDeviceDictionaryValues& v = dictionary->GetValues();
            r.dictionaryPeripheralType = v.peripheralDeviceType;
            if (v.serialNumberLength != 0 && v.serialNumberLength <= sizeof r.dictionarySerialNumber)
                std::memcpy(r.dictionarySerialNumber, v.serialNumber,
                            std::min<size_t>(v.serialNumberLength, sizeof v.serialNumber));
            r.dictionarySerialNumberLength = v.serialNumberLength;
            std::memcpy(r.dictionaryModelNumber, v.modelNumber, sizeof v.modelNumber);
            r.dictionaryLbaCount = v.lbaCount;
            r.dictionaryQueueDepth = v.queueDepth;
            std::memcpy(r.dictionaryFirmwareVersion, v.firmwareVersion, sizeof v.firmwareVersion);
        }
        if (const char* nvmeSerial = disk->getNvmeSerialNumber())
            CopyTextIfFits(r.nvmeSerialNumber, sizeof r.nvmeSerialNumber, nvmeSerial);

        _UVI_ControllerInfo controllerInfo{};
        CConsolidatedError controllerRead =
            internalUviGetControllerInfo(session, controller->getHandle(), &controllerInfo);
        r.raidInfoHandle = controllerRead.IsSuccessful() ? controllerInfo.raidInfoHandle : 0;

        if (config && config->getArray() && !IsCacheArray(*controller, config->getArray()))
            r.arrayHandle = config->getArrayHandle();
        r.reserved36 = 0;

        if (config) {
            r.stateFlags = config->getStateFlags();
            r.arrayIndex = config->getArrayIndex();
            r.recordWord136 = config->getNumPartitions();
            r.smartEvent = config->isFlag9Set() ? 1 : 0;
            config->copyFirmwareRevision(r.raidFirmwareRevision, sizeof r.raidFirmwareRevision);
            config->copySerialNumber(r.raidSerialNumber, sizeof r.raidSerialNumber);
            config->copyModelNumber(r.raidModelNumber, sizeof r.raidModelNumber);
            config->copySerialNumber(r.serialNumber, sizeof r.serialNumber);
        } else {
            r.arrayIndex = -1;
        }
        if (auto* ahci = dynamic_cast<AhciDisk*>(disk.get()))
            FillAhciPart(*controller, *ahci, r);
        FillNvmePart(*controller, dynamic_cast<NvmeDisk*>(disk.get()), r);
        StateAndUsage(session, *controller, *disk, r);

        r.powerModeIndex = PowerModeIndex(disk->getPowerMode());
        r.oldFirmware = IsOldFirmware(r.firmwareRevision);
        const VezkPairingInfo* pairing = controller->getVezkInfo();
        const auto blockCache = controller->getBlockCacheVolume();
        if (pairing && (pairing->status() != 0 || pairing->pairType() != 0) && blockCache && config &&
            blockCache->getArray()) {
            const uint32_t cacheArray = blockCache->getArray()->getHandle();
            if (cacheArray == config->getOriginalArrayHandle() || cacheArray == config->getArrayHandle())
                r.pairingCheck = 1;
        }
    }
    FillWindowsPart(*disk, r);
    auto* nvme = dynamic_cast<NvmeDisk*>(disk.get());
    if (nvme && nvme->getHealthLog()[0] != 0 && r.state == UVI_DISK_STATE_NORMAL) {
        r.smartEvent = 1;
        r.state = UVI_DISK_STATE_SMART_EVENT;
    }
    if (auto* ahci = dynamic_cast<AhciDisk*>(disk.get())) {
        if (ahci->getOpalSecurityState() == AhciDisk::kOpalLocked)
            r.state = UVI_DISK_STATE_LOCKED;
        else if (ahci->getOpalSecurityState() == AhciDisk::kOpalUnlocked)
            r.state = UVI_DISK_STATE_NORMAL;
    }
    r.hybridMemberKind = HybridKind(*disk);
    if (const auto& hybrid = disk->getHybridDiskExtension()) {
        r.hybridVendorId = hybrid->getVendorId();
        r.hybridDeviceId = hybrid->getDeviceId();
    }
    return result;
}

extern "C" {

_UVI_Error UviGetEndDeviceHandles(unsigned int session, uint32_t* handleList, uint32_t* handleCount) {
    return RunSessionCall(
        session, [&](Session& s) { return internalUviGetEndDeviceHandles(&s, handleList, handleCount); });
}

_UVI_Error UviGetEndDeviceInfo(unsigned int session, uint32_t endDeviceHandle, _UVI_EndDeviceInfo* info) {
    if (!info)
        return NullParameterError("endDeviceInfo cannot be null in GetEndDeviceInfo");
    return RunSessionCall(session,
                          [&](Session& s) { return internalUviGetEndDeviceInfo(s, endDeviceHandle, info); });
}
}
