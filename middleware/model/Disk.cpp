#include "middleware/model/Disk.h"

#include <cstring>
#include <string>

#include "middleware/core/HandleRegistry.h"
#include "middleware/ioctl/CsmiRequests.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/DictionaryBuffer.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/ioctl/VezkRequests.h"
#include "middleware/model/DiskShrinkExtension.h"
#include "middleware/model/TopologyTexts.h"
#include "middleware/model/WinDiskList.h"

namespace {

// A text field of the dictionary up to its first NUL.
template <size_t N> std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// Whether the driver behind the target answers every interface the library requires; a target
// the interface version store does not know does not.
bool AnswersAllRequired(HANDLE target) {
    const ControllerLocator* record = DeviceLocator::FindByHandle(target);
    if (!record)
        return false;
    try {
        return IoctlInterfaceVersionStore::AllRequiredSupported(*record);
    } catch (const CConsolidatedError&) {
        return false;
    }
}

} // namespace

Disk::Disk(std::unique_ptr<RaidDiskConfig> raidConfig, std::unique_ptr<HybridDiskExtension> hybrid)
    : m_RaidConfig(std::move(raidConfig)), m_Hybrid(std::move(hybrid)) {}

Disk::~Disk() = default;

CConsolidatedError Disk::Populate(HANDLE target, PackedScsiAddress address, uint32_t controllerHandle,
                                  uint32_t busCode, const WinDiskList& winDisks) {
    m_ScsiAddress = address;
    m_ControllerHandle = controllerHandle;
    m_BusCode = busCode;

    if (AnswersAllRequired(target)) {
        CConsolidatedError result = readEndDeviceDictionary(target);
        if (result.IsError())
            return result;
    }
    makeHandle();
    CConsolidatedError result = internalPopulate(target);
    if (result.IsError())
        return result;

    std::string serial;
    if (m_Dictionary)
        serial = FieldText(m_Dictionary->GetValues().serialNumber);
    else if (m_WinDisk)
        serial = m_WinDisk->getSerialNumberString();
    // A disk the driver only remembers has no Windows drive: the one at its address is another's.
    m_WinDisk = isAbsent() ? nullptr : winDisks.find(serial, m_ScsiAddress);
    if (m_WinDisk) {
        m_WinScsiAddress = m_WinDisk->getScsiAddress();
        result = internalWinDiskPopulate(*m_WinDisk);
        if (result.IsError())
            return result;
    }
    // Its failure (no Windows view) is dropped: both values then stay 0.
    static_cast<void>(DiskShrinkExtension(m_WinDisk.get())
                          .getLastGptPartitionInfo(m_LastPartitionFreeBytes, m_LastPartitionSize));
    checkPowerModeAndPairing(target);

    getModelNumber(m_ModelNumber);
    getFirmwareRevision(m_FirmwareRevision);
    isSolidState(m_SolidState);
    getSectorSizes(m_LogicalSectorSize, m_PhysicalSectorSize);
    return CConsolidatedError();
}

CConsolidatedError Disk::readEndDeviceDictionary(HANDLE target) {
    // The dictionary lists the devices there are: an entry at a remembered disk's address is the
    // disk that sits there now.
    if (m_Dictionary || isAbsent())
        return CConsolidatedError();
    // Read again for every disk: the call log shows how often, so that it can be measured.
    CDictionaryBuffer buffer(target, kDictionaryEndDevice);
    CConsolidatedError result = buffer.Invoke();
    if (result.IsError())
        return result;
    const int32_t path = static_cast<int32_t>((m_ScsiAddress >> 16) & 0xFF);
    const int32_t targetId = static_cast<int32_t>((m_ScsiAddress >> 8) & 0xFF);
    for (uint32_t i = 0; i < buffer.GetInstanceCount(); ++i) {
        auto entry = std::make_unique<CDictionaryEndDevice>(i);
        result = entry->PointToInstance(buffer);
        if (result.IsError())
            return result;
        const EndDeviceDictionaryValues& values = entry->GetValues();
        if (values.raidportPathId == path && values.raidportTargetId == targetId) {
            m_Dictionary = std::move(entry);
            break;
        }
    }
    return CConsolidatedError();
}

void Disk::makeHandle() {
    std::string key;
    if (m_Dictionary)
        key = FieldText(m_Dictionary->GetValues().serialNumber);
    else if (m_WinDisk && m_WinDisk->getSerialNumber())
        key = m_WinDisk->getSerialNumberString();
    else if (isAbsent())
        key = "Missing" + recordSerial(); // apart from the present disk that may sit at its address
    key += std::to_string(m_ScsiAddress);
    m_Handle = HandleRegistry::instance().getHandle(HandleKindDisk, key.c_str());
}

bool Disk::isAbsent() const {
    return m_RaidConfig && (m_RaidConfig->isNotPresent() || m_RaidConfig->isMissing());
}

std::string Disk::recordSerial() const {
    char serial[RaidDiskConfig::kTextSize] = {};
    if (m_RaidConfig)
        static_cast<void>(m_RaidConfig->copySerialNumber(serial, sizeof serial));
    return serial;
}

void Disk::checkPowerModeAndPairing(HANDLE target) {
    m_PowerMode = kPowerModeUnknown;
    CIoctlCsmiStpPassThrough powerMode(target, kCsmiSasSignature, 0, m_ScsiAddress);
    if (powerMode.Invoke().IsSuccessful())
        m_PowerMode = GetCsmiStpStatusCount(powerMode);

    if (m_RaidConfig && m_RaidConfig->isNotPresent())
        return;
    if (!IoctlInterfaceVersionStore::CheckInterfaceSupport(target, kVolumePortSignature))
        return;
    const PackedScsiAddress id = m_WinScsiAddress != kNoScsiAddress ? m_WinScsiAddress : m_ScsiAddress;
    CIoctlVezkDiskValidForConcatenate valid(target, id, 0);
    const bool sent = valid.Invoke().IsSuccessful();
    m_PairingChecked = true;
    m_ValidForPairing = sent && valid.GetSrbReturnCode() == 0;
}

std::vector<std::string> Disk::getEventLogStrings() const {
    std::vector<std::string> strings = {
        std::to_string((m_ScsiAddress >> 24) & 0xFF), std::to_string((m_ScsiAddress >> 16) & 0xFF),
        std::to_string((m_ScsiAddress >> 8) & 0xFF), BusTypeToString(m_BusCode)};
    if (m_ValidForPairing)
        strings.push_back("Halvex(TM)");
    else if (m_RaidConfig)
        strings.push_back(m_RaidConfig->isSolidState() ? "SSD" : "HDD");
    else
        strings.push_back(getDeviceType() == kDeviceTypeNvme ? "SSD" : "");
    uint64_t bytes = 0;
    if (m_Dictionary)
        bytes = m_Dictionary->GetValues().lbaCount * m_Dictionary->GetValues().logicalSectorSize;
    strings.push_back(std::to_string(bytes));
    strings.push_back(m_ModelNumber);
    return strings;
}

void Disk::getModelNumber(std::string& model) {
    if (m_Dictionary)
        model = FieldText(m_Dictionary->GetValues().modelNumber);
}

void Disk::getFirmwareRevision(std::string&) {}

void Disk::isSolidState(bool& solidState) {
    if (m_RaidConfig)
        solidState = m_RaidConfig->isSolidState();
}

void Disk::getSectorSizes(uint32_t& logical, uint32_t& physical) {
    logical = m_Dictionary ? m_Dictionary->GetValues().logicalSectorSize : 0;
    physical = m_Dictionary ? m_Dictionary->GetValues().physicalSectorSize : 0;
}

uint32_t Disk::getDeviceType() const {
    return kDeviceTypeNone;
}

void Disk::getZpoddInfo(_ZPODD_INFO& info) const {
    info = _ZPODD_INFO{};
}

const char* Disk::getNvmeSerialNumber() const {
    return nullptr;
}

const char* Disk::getSerialNumber() const {
    if (m_Dictionary)
        return m_Dictionary->GetValues().serialNumber;
    return m_WinDisk ? m_WinDisk->getSerialNumber() : nullptr;
}

MissingDisk::MissingDisk(std::unique_ptr<RaidDiskConfig> raidConfig) : Disk(std::move(raidConfig), nullptr) {}

CConsolidatedError MissingDisk::internalPopulate(HANDLE) {
    return CConsolidatedError();
}

CConsolidatedError MissingDisk::internalWinDiskPopulate(const WinDiskInterface&) {
    return CConsolidatedError();
}

void MissingDisk::getModelNumber(std::string& model) {
    if (!m_RaidConfig)
        return;
    char text[RaidDiskConfig::kTextSize];
    if (m_RaidConfig->copyModelNumber(text, sizeof(text)) != 0)
        model = text;
}
