#include "middleware/model/Controller.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

#include "middleware/core/HandleRegistry.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/ioctl/RaidConfig.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "middleware/ioctl/RemapPortRequests.h"
#include "middleware/ioctl/SharedEvent.h"
#include "middleware/model/AhciDisk.h"
#include "middleware/model/AhciPort.h"
#include "middleware/model/Disk.h"
#include "middleware/model/NvmeDisk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/RecordBytes.h"
#include "middleware/model/VezkDiskPair.h"
#include "middleware/pairing/PairingState.h"
#include "platform/win/Trace.h"

namespace {

// The signatures of the support flags, in the order of Controller::Interface (8 bytes each).
constexpr const char* kInterfaceSignatures[Controller::kInterfaceCount] = {
    "OrvexRmp", "OrvexRdp", "OrvexNvm", "OrvexATA", "OrvexVlp", "CSMIALL\0", "CSMISAS\0"};

// PCI type-0 configuration header fields.
constexpr size_t kPciVendorId = 0x00;
constexpr size_t kPciDeviceId = 0x02;
constexpr size_t kPciRevisionId = 0x08;
constexpr size_t kPciSubClass = 0x0A;
constexpr size_t kPciHeaderType = 0x0E;
constexpr size_t kPciSubsystemVendorId = 0x2C;
constexpr size_t kPciSubsystemId = 0x2E;

// The driver version words of the dictionary's "Driver version" value, and its volume limit byte.
constexpr size_t kDriverVersionWords = 6;
constexpr size_t kDriverVolumeLimit = 25;

// Configuration group fields.
constexpr size_t kCfgNumRaidDevs = 4;
constexpr size_t kCfgNumDisks = 8;
constexpr size_t kCfgNumArrays = 176;
constexpr size_t kCfgVolActions = 188;
constexpr size_t kCfgDiskActions = 192;

// Array group: the member count.
constexpr size_t kArrayNumDisks = 8;
constexpr size_t kArrayNumRaidDevs = 12;

// Volume record fields that tell the volume of a pass-through disk.
constexpr size_t kVolumeWord24 = 24;
constexpr size_t kVolumeWord40 = 40;

// The pairing disk records: address word, type byte, text.
constexpr size_t kPairingRecordType = 16;
constexpr size_t kPairingRecordText = 17;
constexpr uint32_t kMaxInterfaceDeviceType = 4;

// Serial texts of the array member group as they are compared.
constexpr uint32_t kMemberSerialCharacters = 65;

int32_t SignedWord(const uint8_t* record, size_t offset) {
    return static_cast<int32_t>(model::Read32(record, offset));
}

// The first object the predicate accepts; empty when none does.
template <class T, class Predicate>
std::shared_ptr<T> FirstOf(const std::vector<std::shared_ptr<T>>& items, Predicate accepts) {
    for (const auto& item : items)
        if (item && accepts(*item))
            return item;
    return {};
}

std::string SerialOf(const Disk& disk) {
    const char* serial = disk.getSerialNumber();
    return serial ? serial : "";
}

} // namespace

Controller::Controller(ControllerLocator* locator) : m_Locator(locator) {
    if (locator) {
        m_Dictionary = locator->dictionary;
        m_PortNumber = locator->portNumber;
        m_VendorId = locator->pciVendorId;
        m_DeviceId = locator->pciDeviceId;
        for (size_t i = 0; i < m_DriverVersion.size(); ++i)
            m_DriverVersion[i] = locator->driverVersion[i];
        m_PciLocation = ZrcPciLocationOf(*locator);
    }
    if (isDictionaryValid()) {
        const uint8_t* pci = m_Dictionary.pciCommonConfig;
        m_VendorId = model::Read16(pci, kPciVendorId);
        m_DeviceId = model::Read16(pci, kPciDeviceId);
        m_RevisionId = pci[kPciRevisionId];
        m_SubClassCode = pci[kPciSubClass];
        if (pci[kPciHeaderType] == 0) {
            m_SubsystemVendorId = model::Read16(pci, kPciSubsystemVendorId);
            m_SubsystemId = model::Read16(pci, kPciSubsystemId);
        }
    }
    for (int i = 0; i < kInterfaceCount; ++i)
        m_Interfaces[i] =
            IoctlInterfaceVersionStore::CheckInterfaceSupport(m_Locator, kInterfaceSignatures[i]);
    for (int i = 0; i < kFeatureCount; ++i)
        m_Features[i] = IoctlInterfaceVersionStore::CheckFeatureSupport(m_Locator, i);
}

Controller::~Controller() {
    // The pairs share the disks; they go first, then what the disks' records point at.
    m_Pairs.clear();
    m_Ports.clear();
    m_Arrays.clear();
    m_Volumes.clear();
    m_Disks.clear();
}

const char* Controller::getTypeName() const {
    return "UnKnown";
}

int Controller::getType() const {
    return kTypeUnknown;
}

bool Controller::isRemapCapable() const {
    return true;
}

bool Controller::isDictionaryValid() const {
    return reinterpret_cast<const uint8_t*>(&m_Dictionary)[0] != 0;
}

uint32_t Controller::getFlags() const {
    return DeviceLocator::GetFlags(m_Locator);
}

bool Controller::isFeatureSupported(int feature) const {
    return feature >= 0 && feature < kFeatureCount && m_Features[feature];
}

uint64_t Controller::getPciLocationValue() const {
    uint64_t value = 0;
    std::memcpy(&value, &m_PciLocation, sizeof value);
    return value;
}

int32_t Controller::getNvCacheWord(size_t offset, int32_t fallback) const {
    if (!m_NvCacheInfo || offset + 4 > kNvCacheInfoSize)
        return fallback;
    return SignedWord(m_NvCacheInfo.get(), offset);
}

// ---- queries ----

CConsolidatedError Controller::isActionInProgress(bool& inProgress) const {
    if (!IoctlInterfaceVersionStore::CheckInterfaceSupport(m_Locator, kInterfaceSignatures[kInterfaceRaid])) {
        inProgress = false;
        return CConsolidatedError();
    }
    CIoctlRaidCfgGroup request(m_Locator);
    request.SetVerifyOnInvoke(true);
    CConsolidatedError result = request.Invoke();
    if (result.IsError())
        return result;
    const uint8_t* group = request.GetGroupData();
    inProgress = model::Read32(group, kCfgVolActions) != 0 || model::Read32(group, kCfgDiskActions) != 0;
    return result;
}

CConsolidatedError Controller::getEventCounter(uint64_t& counter) const {
    counter = 0;
    if (!IoctlInterfaceVersionStore::CheckInterfaceSupport(m_Locator, kInterfaceSignatures[kInterfaceRaid]))
        return CConsolidatedError();
    CIoctlSharedEventStatus request(m_Locator);
    CConsolidatedError result = request.Invoke();
    if (result.IsError()) {
        result.AddDebugInformation("Failed to get event Status");
        return result;
    }
    counter = request.GetEventCounter();
    return result;
}

std::shared_ptr<Disk> Controller::getDiskByHandle(uint32_t handle) const {
    if (handle == 0)
        return {};
    return FirstOf(m_Disks, [handle](const Disk& disk) { return disk.getHandle() == handle; });
}

std::shared_ptr<Disk> Controller::getDiskByRaidIndex(int32_t index) const {
    return FirstOf(m_Disks, [index](const Disk& disk) {
        return disk.getRaidDiskConfig() &&
               static_cast<int32_t>(disk.getRaidDiskConfig()->getDiskIndex()) == index;
    });
}

std::shared_ptr<RaidArray> Controller::getArrayByIndex(int32_t index) const {
    return FirstOf(m_Arrays, [index](const RaidArray& array) { return array.getIndex() == index; });
}

std::shared_ptr<RaidVolume> Controller::getVolumeByIndex(int32_t index) const {
    return FirstOf(m_Volumes, [index](const RaidVolume& volume) {
        return static_cast<int32_t>(volume.getIndex()) == index;
    });
}

std::shared_ptr<AhciPort> Controller::getPortByNumber(PackedScsiAddress address) const {
    return FirstOf(m_Ports, [address](const AhciPort& port) { return port.getAddress() == address; });
}

std::vector<std::shared_ptr<Disk>>
Controller::getDisksOfVolume(const std::shared_ptr<RaidVolume>& volume) const {
    std::vector<std::shared_ptr<Disk>> disks;
    if (!volume || !volume->getArray() || volume->getArray()->getHandle() == 0)
        return disks;
    const uint32_t arrayHandle = volume->getArray()->getHandle();
    for (const auto& disk : m_Disks)
        if (disk && disk->getRaidDiskConfig() && disk->getRaidDiskConfig()->isMemberOfArray(arrayHandle))
            disks.push_back(disk);
    return disks;
}

std::vector<std::shared_ptr<RaidVolume>>
Controller::getVolumesOfDisk(const std::shared_ptr<Disk>& disk) const {
    std::vector<std::shared_ptr<RaidVolume>> volumes;
    if (!disk || !disk->getRaidDiskConfig())
        return volumes;
    const RaidDiskConfig& record = *disk->getRaidDiskConfig();
    for (const auto& volume : m_Volumes) {
        if (!volume || !volume->getArray())
            continue;
        const uint32_t handle = volume->getArray()->getHandle();
        if (record.isMemberOfArray(handle) || record.wasMemberOfArray(handle))
            volumes.push_back(volume);
    }
    return volumes;
}

std::shared_ptr<RaidVolume> Controller::getBlockCacheVolume() const {
    const int32_t index = getNvCacheWord(kNvCacheBlockCacheIndex);
    return index == -1 ? nullptr : getVolumeByIndex(index);
}

std::shared_ptr<RaidVolume> Controller::getAcceleratedVolume() const {
    const int32_t index = getNvCacheWord(kNvCacheAcceleratedIndex);
    return index == -1 ? nullptr : getVolumeByIndex(index);
}

std::shared_ptr<RaidVolume> Controller::getFileCacheVolume() const {
    const std::shared_ptr<RaidVolume> cache = getBlockCacheVolume();
    if (!cache || !cache->getArray() || cache->getArray()->getRecordWord(kArrayNumRaidDevs) != 2)
        return {};
    for (const auto& volume : m_Volumes)
        if (volume && volume->getArray() == cache->getArray() && volume->getHandle() != cache->getHandle())
            return volume;
    return {};
}

std::shared_ptr<RaidVolume> Controller::getVezkVolume() const {
    if (!isVezkEnabled())
        return {};
    return getVolumeByIndex(m_VezkInfo->volumeIndex());
}

std::pair<std::shared_ptr<Disk>, std::shared_ptr<Disk>> Controller::getVezkMemberDisks() const {
    std::pair<std::shared_ptr<Disk>, std::shared_ptr<Disk>> members;
    const std::shared_ptr<RaidVolume> cache = getBlockCacheVolume();
    if (!cache)
        return members;
    const int32_t cacheArrayIndex = cache->getArray() ? cache->getArray()->getIndex() : cache->getArrayOrd();
    for (const auto& disk : getDisksOfVolume(getVezkVolume())) {
        const RaidDiskConfig* record = disk->getRaidDiskConfig().get();
        if (!record)
            continue;
        const int32_t original = record->getOriginalArrayIndex();
        if (original != -1 && original == cacheArrayIndex)
            members.first = disk;
        else
            members.second = disk;
    }
    return members;
}

uint32_t Controller::getInterfaceDeviceType(PackedScsiAddress address) const {
    if (static_cast<int32_t>(address >> 24) != (m_PortNumber & 0xFF))
        return 0;
    std::string text;
    PackedScsiAddress key = kNoScsiAddress;
    bool found = false;
    for (const auto& disk : m_Disks) {
        if (!disk)
            continue;
        const PackedScsiAddress alternate =
            disk->getWinScsiAddress() == kNoScsiAddress ? disk->getScsiAddress() : disk->getWinScsiAddress();
        if (disk->getScsiAddress() == address || alternate == address) {
            text = SerialOf(*disk);
            key = alternate;
            found = true;
            break;
        }
    }
    if (!found) {
        std::shared_ptr<RaidVolume> volume;
        for (const auto& v : m_Volumes)
            if (v && v->getScsiAddress() == address) {
                volume = v;
                break;
            }
        if (!volume)
            return 0;
        text = volume->getName();
        key = volume->getScsiAddress();
        const std::shared_ptr<RaidArray> array = getArrayByIndex(volume->getArrayOrd());
        if (array && volume->getRecordWord(kVolumeWord24) == 0 && volume->getRecordWord(kVolumeWord40) == 1) {
            for (const auto& disk : m_Disks)
                if (disk && disk->getRaidDiskConfig() &&
                    disk->getRaidDiskConfig()->isMemberOfArray(array->getHandle())) {
                    text = SerialOf(*disk);
                    break;
                }
        }
    }
    for (const VOLPORT_DISK_RECORD& record : m_VezkDiskRecords) {
        if (model::Read32(record.Bytes, 0) != key)
            continue;
        const char* recordText = reinterpret_cast<const char*>(record.Bytes + kPairingRecordText);
        const size_t length = strnlen(recordText, sizeof(record.Bytes) - kPairingRecordText);
        if (std::string(recordText, length) != text)
            continue;
        const uint32_t type = record.Bytes[kPairingRecordType];
        if (type <= kMaxInterfaceDeviceType)
            return type;
    }
    return 0;
}

bool Controller::isDriverInterfaceSupported() const {
    const ControllerLocator* record = DeviceLocator::FindByHandle(m_Locator);
    return record && record == m_Locator && IoctlInterfaceVersionStore::AllRequiredSupported(*record);
}

std::string Controller::getName() const {
    const ControllerLocator* record = m_Locator ? DeviceLocator::FindByHandle(m_Locator) : nullptr;
    if (!record || record != m_Locator)
        return "Unknown Controller";
    return std::string(record->controllerName,
                       strnlen(record->controllerName, sizeof(record->controllerName)));
}

CConsolidatedError Controller::checkPopulationConsistency() const {
    CConsolidatedError result;
    // The synthetic pairing array and volume are the controller's own, not the driver's.
    size_t arrays = 0;
    for (const auto& array : m_Arrays)
        if (array && !array->isSynthetic())
            ++arrays;
    if (static_cast<int64_t>(arrays) != m_ArrayCount) {
        result.SetError(CConsolidatedError::UVI_INVALIDSTATE, "Array mismatch");
        return result;
    }
    const int32_t pairingVolume = isVezkEnabled() ? m_VezkInfo->volumeIndex() : -1;
    size_t volumes = 0;
    for (const auto& volume : m_Volumes)
        if (volume && static_cast<int32_t>(volume->getIndex()) != pairingVolume)
            ++volumes;
    if (static_cast<int64_t>(volumes) != m_VolumeCount) {
        result.SetError(CConsolidatedError::UVI_INVALIDSTATE, "volume mismatch");
        return result;
    }
    size_t recorded = 0;
    for (const auto& disk : m_Disks)
        if (disk && disk->getRaidDiskConfig())
            ++recorded;
    if (static_cast<int64_t>(recorded) != m_DiskCount) {
        result.SetError(CConsolidatedError::UVI_INVALIDSTATE, "disk count mismatch");
        return result;
    }
    for (const auto& array : m_Arrays) {
        if (!array || array->isSynthetic())
            continue;
        const uint32_t handle = array->getHandle();
        size_t members = 0;
        for (const auto& disk : m_Disks)
            if (disk && disk->getRaidDiskConfig() && disk->getRaidDiskConfig()->isMemberOfArray(handle))
                ++members;
        if (members != 0 && members < array->getRecordWord(kArrayNumDisks)) {
            result.SetError(CConsolidatedError::UVI_INVALIDSTATE, nullptr);
            return result;
        }
        bool hasVolume = false;
        for (const auto& volume : m_Volumes)
            if (volume && volume->getArray() && handle != 0 && volume->getArray()->getHandle() == handle)
                hasVolume = true;
        if (!hasVolume) {
            result.SetError(CConsolidatedError::UVI_INVALIDSTATE, nullptr);
            return result;
        }
    }
    return result;
}

// ---- population ----

CConsolidatedError Controller::Populate(const WinDiskList& winDisks) {
    RaidDiskConfigList records;
    struct Emptied {
        RaidDiskConfigList& list;
        ~Emptied() { list.clear(); }
    } emptied{records};

    populateVersionAndHandle();
    static_cast<void>(populateCsmiInfo()); // the CSMI data is optional

    CConsolidatedError result;
    if (isRaidSupported() && getType() != kTypeNvme) {
        result = PopulateRaidInfo(records, winDisks);
        if (result.IsError())
            return result;
        if (isVolumePortSupported()) {
            result = populateVezkInfo(records, winDisks);
            if (result.IsError())
                return result;
        }
    }
    if (isRemapPortSupported()) {
        result = populatePortsAndDisks(records, winDisks);
        if (result.IsError())
            return result;
    }
    if (isVolumePortSupported()) {
        if (isVezkSupported() && m_VezkInfo && m_VezkInfo->status() != kVezkStateClearingCache) {
            // A pairing that cannot be read is left out (traced), so that the controller's other
            // objects stay usable.
            if (m_VezkInfo->isEnabled())
                result = populateConcatenatedVezkPair();
            else if (m_VezkInfo->status() == 0)
                result = populateVezkPairCandidates();
            if (result.IsError())
                MOX_TRACE(TRACE_LEVEL_ERROR, "Cache-memory pairing left out: 0x%X",
                          static_cast<unsigned>(result.GetErrorCode()));
        }
        m_OptimizationState = computeOptimizationState();
    }
    return CConsolidatedError();
}

void Controller::populateVersionAndHandle() {
    if (isDictionaryValid()) {
        const auto* version = reinterpret_cast<const uint8_t*>(m_Dictionary.driverVersion);
        for (size_t i = 0; i < m_DriverVersion.size(); ++i)
            m_DriverVersion[i] = model::Read16(version, kDriverVersionWords + 2 * i);
    }
    updateVersionText();
    char key[64];
    std::snprintf(key, sizeof key, "SATA-%lld",
                  static_cast<long long>(reinterpret_cast<intptr_t>(m_Locator)));
    m_Handle = HandleRegistry::instance().getHandle(HandleKindController, key);
}

void Controller::updateVersionText() {
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", m_DriverVersion[0], m_DriverVersion[1],
                  m_DriverVersion[2], m_DriverVersion[3]);
    m_VersionText = text;
}

CConsolidatedError Controller::populateCsmiInfo() {
    if (!isCsmiAllSupported())
        return CConsolidatedError();
    CIoctlCsmiGetControllerConfig config(m_Locator, kCsmiAllSignature, 0);
    CConsolidatedError result = config.Invoke();
    if (result.IsError())
        return result;
    m_CsmiConfig = config.GetOutputRecordUnverified().Configuration;
    CIoctlCsmiGetControllerStatus status(m_Locator, kCsmiAllSignature, 0);
    result = status.Invoke();
    if (result.IsError())
        return result;
    m_CsmiStatus = status.GetOutputRecordUnverified().Status;
    return result;
}

CConsolidatedError Controller::PopulateRaidInfo(RaidDiskConfigList& records, const WinDiskList& winDisks) {
    {
        CIoctlRaidCfg_GetROHIPolicy rohi(m_Locator);
        const CConsolidatedError rohiResult = rohi.Invoke();
        m_RohiPolicy = false;
        if (rohiResult.IsSuccessful() && rohiResult.GetErrorCode() == CConsolidatedError::SUCCESS) {
            try {
                m_RohiPolicy = rohi.GetPolicy() != 0;
            } catch (const CConsolidatedError&) {
                // An answer that does not verify leaves the policy off.
            }
        }
    }

    CIoctlRaidCfgGroup cfg(m_Locator);
    cfg.SetVerifyOnInvoke(true);
    CConsolidatedError result = cfg.Invoke();
    if (result.IsError()) {
        result.AddDebugInformation("Could not get cfg group info in Controller::PopulateRaidInfo");
        return result;
    }
    const uint8_t* group = cfg.GetGroupData();
    m_VolumeCount = SignedWord(group, kCfgNumRaidDevs);
    m_ArrayCount = SignedWord(group, kCfgNumArrays);
    m_DiskCount = SignedWord(group, kCfgNumDisks);

    CIoctlNvCacheInfoGroup nvc(m_Locator);
    nvc.SetVerifyOnInvoke(true);
    result = nvc.Invoke();
    if (result.IsError()) {
        result.AddDebugInformation("Could not get nvc group info in Controller::PopulateRaidInfo");
        return result;
    }
    m_NvCacheInfo.reset(new (std::nothrow) uint8_t[kNvCacheInfoSize]);
    if (!m_NvCacheInfo) {
        result.SetError(CConsolidatedError::GENERAL_INSUFF_MEM, nullptr, "No space for NVC INFO");
        return result;
    }
    std::memcpy(m_NvCacheInfo.get(), nvc.GetGroupData(), kNvCacheInfoSize);

    const int32_t cacheState = getNvCacheWord(kNvCacheState, 0);
    if (cacheState != 0 && cacheState != 4 && cacheState != 6) {
        // A verification failure is thrown and leaves the populate; a failed read only zeroes.
        if (RunNvCacheStatsIoctl(m_Locator, m_NvCacheStats).IsError())
            m_NvCacheStats = {};
        if (RunNvCachePolicyStatsIoctl(m_Locator, m_NvCachePolicyStats).IsError())
            m_NvCachePolicyStats = {};
    }

    for (int32_t i = 0; i < m_ArrayCount; ++i) {
        auto array = std::make_shared<RaidArray>();
        result = array->Populate(m_Locator, i, m_Handle);
        if (result.IsError())
            return result;
        m_Arrays.push_back(std::move(array));
    }

    for (int32_t j = 0; j < m_VolumeCount; ++j) {
        auto volume = std::make_shared<RaidVolume>();
        result = volume->Populate(m_Locator, static_cast<uint32_t>(j), m_Handle, m_PortNumber, winDisks);
        if (result.IsError())
            return result;
        for (const auto& array : m_Arrays)
            if (array->getIndex() == volume->getArrayOrd())
                static_cast<void>(volume->setArrayPtr(array)); // a non-empty array always links
        m_Volumes.push_back(std::move(volume));
    }

    CConsolidatedError diskFailure;
    const int32_t acceleratedIndex = getNvCacheWord(kNvCacheAcceleratedIndex);
    const std::shared_ptr<RaidVolume> accelerated =
        acceleratedIndex == -1 ? nullptr : getVolumeByIndex(acceleratedIndex);
    for (int32_t m = 0; m < m_DiskCount; ++m) {
        RaidDiskConfig record;
        diskFailure = record.Populate(m_Locator, static_cast<uint32_t>(m), m_Handle, m_PortNumber);
        if (diskFailure.IsError())
            break;
        const int32_t arrayIndex = record.getArrayOrd();
        if (arrayIndex != -1) {
            if (const std::shared_ptr<RaidArray> array = getArrayByIndex(arrayIndex))
                static_cast<void>(record.setArray(array));
            if (accelerated && accelerated->getArray() && accelerated->getArray()->getIndex() != -1 &&
                accelerated->getArray()->getIndex() == arrayIndex)
                record.setNvCacheArrayMember(true);
        }
        if (record.isNotPresent() || record.isMissing()) {
            auto missing = std::make_shared<MissingDisk>(std::make_unique<RaidDiskConfig>(record));
            static_cast<void>(missing->Populate(m_Locator, record.getPackedAddress(), m_Handle, 0,
                                                winDisks)); // kept as it is
            m_Disks.push_back(std::move(missing));
        } else {
            records.push_back(record);
        }
    }

    const auto* version = reinterpret_cast<const uint8_t*>(m_Dictionary.driverVersion);
    m_RemainingVolumes =
        static_cast<int32_t>(version[kDriverVolumeLimit]) - static_cast<int32_t>(m_Volumes.size());

    for (const auto& array : m_Arrays) {
        if (!array->getRecord())
            break;
        const uint32_t members = array->getRecordWord(kArrayNumDisks);
        std::vector<std::string> serials;
        for (uint32_t k = 0; k < members; ++k) {
            char serial[kMemberSerialCharacters + 1] = {};
            const bool read = ReadRaidArrayDiskGroup(m_Locator, serial, sizeof serial,
                                                     static_cast<uint32_t>(array->getIndex()), k)
                                  .IsSuccessful();
            serials.emplace_back(read ? serial : "");
            if (!read)
                continue;
            for (RaidDiskConfig& record : records) {
                char own[kMemberSerialCharacters + 1] = {};
                record.copySerialNumber(own, sizeof own);
                if (std::strncmp(own, serial, kMemberSerialCharacters) == 0)
                    record.setArrayMemberPosition(k);
            }
        }
        array->setMemberSerials(std::move(serials));
    }
    return diskFailure;
}

CConsolidatedError Controller::populatePortsAndDisks(RaidDiskConfigList& records,
                                                     const WinDiskList& winDisks) {
    std::unique_ptr<CSMI_SAS_PHY_INFO> phys;
    if (isCsmiSasSupported()) {
        CIoctlCsmiGetPhyInfo request(m_Locator, kCsmiSasSignature, 0);
        if (request.Invoke().IsSuccessful())
            phys = std::make_unique<CSMI_SAS_PHY_INFO>(request.GetOutputRecordUnverified().Information);
    }

    CioctlReMapPortIterator iterator;
    CConsolidatedError result = iterator.Invoke(m_Locator, static_cast<uint8_t>(m_PortNumber));
    if (result.IsError())
        return result;
    m_ImplementedPathMask = iterator.GetPathMask();

    for (const PackedScsiAddress address : iterator.GetAddresses()) {
        uint8_t phy = AhciPort::kNoPhy;
        if (phys) {
            const size_t count = std::min<size_t>(phys->bNumberOfPhys, std::size(phys->Phy));
            for (size_t i = 0; i < count; ++i) {
                const UCHAR* sas = phys->Phy[i].Attached.bSASAddress;
                if (sas[0] == (address & 0xFF) && sas[1] == ((address >> 8) & 0xFF) &&
                    sas[2] == ((address >> 16) & 0xFF)) {
                    phy = phys->Phy[i].Attached.bPhyIdentifier;
                    break;
                }
            }
        }
        auto port = std::make_shared<AhciPort>();
        result = port->Populate(m_Locator, address, phy);
        if (result.IsError())
            return result;
        m_Ports.push_back(std::move(port));
    }

    for (const auto& port : m_Ports) {
        std::unique_ptr<RaidDiskConfig> record;
        for (const RaidDiskConfig& r : records)
            if (r.getPackedAddress() == port->getAddress()) {
                record = std::make_unique<RaidDiskConfig>(r);
                break;
            }
        std::shared_ptr<Disk> disk;
        if (port->isRemappedNvmePort() && isNvmeSupported()) {
            auto hybrid = std::make_unique<HybridDiskExtensionOrvex>(port->getAddress());
            if (hybrid->Populate(m_Locator).IsError())
                hybrid.reset();
            disk = std::make_shared<NvmeDisk>(std::move(record), std::move(hybrid));
        } else if (port->getPortDeviceMap() && (port->getDeviceMapWord() & 1) != 0) {
            disk = std::make_shared<AhciDisk>(std::move(record));
        } else {
            continue;
        }
        result = disk->Populate(m_Locator, port->getAddress(), m_Handle, port->getDeviceMapWord(), winDisks);
        if (result.IsError())
            return result;
        m_Disks.push_back(std::move(disk));
    }
    return result;
}

// ---- the array member group ----

CConsolidatedError ReadRaidArrayDiskGroup(ControllerLocator* locator, char* buffer, uint32_t bufferLength,
                                          uint32_t arrayIndex, uint32_t diskIndex) {
    CConsolidatedError result;
    if (!locator) {
        result.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, "device locator cannot be null");
        return result;
    }
    CIoctlRaidArrayDiskGroup request(locator, arrayIndex, diskIndex);
    request.SetVerifyOnInvoke(true);
    result = request.Invoke();
    if (result.IsError())
        return result;
    if (!buffer || request.CopyGroupSerialNumber(buffer, bufferLength) == 0)
        result.SetError(CConsolidatedError::UVI_BUFFERTOOSMALL, "Buffer too small");
    return result;
}
