#pragma once
// One end device of a snapshot: it joins the driver's RAID record of the drive, the driver's
// end-device dictionary entry and the Windows view of the same drive. Subclasses add what their
// kind of drive offers (AhciDisk, NvmeDisk, NonOrvexDisk) or stand for a RAID member the driver
// remembers but cannot see (MissingDisk). Built and populated once by its controller.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/ioctl/DictionaryEndDevice.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "middleware/ioctl/ZpoddInfo.h"
#include "middleware/model/HybridDiskExtension.h"
#include "middleware/model/RaidDiskConfig.h"
#include "middleware/model/WinDiskInterface.h"
#include "platform/win/WinTypes.h"

class WinDiskList;

class Disk {
public:
    // Device types (slot 7).
    static constexpr uint32_t kDeviceTypeNone = 0;
    static constexpr uint32_t kDeviceTypeAhci = 2;
    static constexpr uint32_t kDeviceTypeNvme = 3;
    // Power mode until the check-power-mode query answered.
    static constexpr uint32_t kPowerModeUnknown = 0xFFFFFFFF;

    Disk(std::unique_ptr<RaidDiskConfig> raidConfig, std::unique_ptr<HybridDiskExtension> hybrid);
    virtual ~Disk();
    Disk(const Disk&) = delete;
    Disk& operator=(const Disk&) = delete;

    // target: the controller's record of the controller table. Stops at the first failure of the
    // dictionary read, slot 0 or slot 1; a CConsolidatedError a subclass throws passes through.
    CConsolidatedError Populate(HANDLE target, PackedScsiAddress address, uint32_t controllerHandle,
                                uint32_t busCode, const WinDiskList& winDisks);
    // The texts that describe the disk in event-log entries: port, path and target, bus type,
    // media kind, size in bytes, model number.
    std::vector<std::string> getEventLogStrings() const;

    // Slot 0 and 1: the subclass's own reads with the request target and with the Windows view.
    virtual CConsolidatedError internalPopulate(HANDLE target) = 0;
    virtual CConsolidatedError internalWinDiskPopulate(const WinDiskInterface& view) = 0;
    // Slots 2 to 5: the identity as the disk's kind reports it; "untouched" outputs keep their value.
    virtual void getModelNumber(std::string& model);
    virtual void getFirmwareRevision(std::string& firmware);
    virtual void isSolidState(bool& solidState);
    virtual void getSectorSizes(uint32_t& logical, uint32_t& physical);
    // Slots 7 to 9.
    virtual uint32_t getDeviceType() const;
    virtual void getZpoddInfo(_ZPODD_INFO& info) const;
    // The 20-character NVMe serial number, or null.
    virtual const char* getNvmeSerialNumber() const;

    const std::unique_ptr<RaidDiskConfig>& getRaidDiskConfig() const { return m_RaidConfig; }
    const std::unique_ptr<WinDiskInterface>& getWinDiskInterface() const { return m_WinDisk; }
    const std::unique_ptr<HybridDiskExtension>& getHybridDiskExtension() const { return m_Hybrid; }
    const CDictionaryEndDevice* getDictionaryEntry() const { return m_Dictionary.get(); }
    // The dictionary entry's serial text, else the Windows view's (null when empty), else null.
    const char* getSerialNumber() const;

    uint32_t getHandle() const { return m_Handle; }
    uint32_t getControllerHandle() const { return m_ControllerHandle; }
    PackedScsiAddress getScsiAddress() const { return m_ScsiAddress; }
    PackedScsiAddress getWinScsiAddress() const { return m_WinScsiAddress; }
    uint32_t getBusCode() const { return m_BusCode; }
    bool isPairingChecked() const { return m_PairingChecked; }
    bool isValidForPairing() const { return m_ValidForPairing; }
    uint32_t getPowerMode() const { return m_PowerMode; }
    uint64_t getLastPartitionFreeBytes() const { return m_LastPartitionFreeBytes; }
    uint64_t getLastPartitionSize() const { return m_LastPartitionSize; }
    const std::string& modelNumber() const { return m_ModelNumber; }
    const std::string& firmwareRevision() const { return m_FirmwareRevision; }
    bool solidState() const { return m_SolidState; }
    uint32_t logicalSectorSize() const { return m_LogicalSectorSize; }
    uint32_t physicalSectorSize() const { return m_PhysicalSectorSize; }

protected:
    CConsolidatedError readEndDeviceDictionary(HANDLE target);
    // The driver's record says the disk is gone (missing or not present): it is known by that
    // record's serial number alone.
    bool isAbsent() const;
    std::string recordSerial() const;
    void makeHandle();
    void checkPowerModeAndPairing(HANDLE target);

    std::unique_ptr<RaidDiskConfig> m_RaidConfig;
    std::unique_ptr<WinDiskInterface> m_WinDisk;
    std::unique_ptr<CDictionaryEndDevice> m_Dictionary;
    std::unique_ptr<HybridDiskExtension> m_Hybrid;
    uint32_t m_Handle = 0;
    uint32_t m_ControllerHandle = 0;
    PackedScsiAddress m_ScsiAddress = kNoScsiAddress;
    PackedScsiAddress m_WinScsiAddress = kNoScsiAddress;
    uint32_t m_BusCode = 0;
    bool m_PairingChecked = false;
    bool m_ValidForPairing = false;
    uint32_t m_PowerMode = 0;
    uint64_t m_LastPartitionFreeBytes = 0;
    uint64_t m_LastPartitionSize = 0;
    std::string m_ModelNumber;
    std::string m_FirmwareRevision;
    bool m_SolidState = false;
    uint32_t m_LogicalSectorSize = 0;
    uint32_t m_PhysicalSectorSize = 0;
};

// A RAID member the driver remembers but does not see (not present, or flagged missing): it reads
// nothing of its own and takes its model from the RAID record.
class MissingDisk : public Disk {
public:
    explicit MissingDisk(std::unique_ptr<RaidDiskConfig> raidConfig);

    CConsolidatedError internalPopulate(HANDLE target) override;
    CConsolidatedError internalWinDiskPopulate(const WinDiskInterface& view) override;
    void getModelNumber(std::string& model) override;
};
