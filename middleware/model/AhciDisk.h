#pragma once
// A SATA drive (or optical drive) on one of the controller's AHCI ports: its ATA identify data, link
// speed, Opal security state and zero-power optical drive information.
#include <cstdint>
#include <memory>

#include "middleware/ioctl/AtaRequests.h"
#include "middleware/model/Disk.h"

class AhciDisk : public Disk {
public:
    // Opal security states.
    static constexpr uint32_t kOpalUnknown = 0;
    static constexpr uint32_t kOpalLocked = 1;
    static constexpr uint32_t kOpalUnlocked = 2;

    explicit AhciDisk(std::unique_ptr<RaidDiskConfig> raidConfig);

    // Throws the identify request's error when the drive cannot be identified.
    CConsolidatedError internalPopulate(HANDLE target) override;
    // The Opal state; never fails the disk.
    CConsolidatedError internalWinDiskPopulate(const WinDiskInterface& view) override;
    void getModelNumber(std::string& model) override;
    void getFirmwareRevision(std::string& firmware) override;
    uint32_t getDeviceType() const override;
    void getZpoddInfo(_ZPODD_INFO& info) const override;

    // Reads the TCG Level 0 Discovery data of the drive through its Windows view; the Locking
    // feature tells locked from unlocked.
    CConsolidatedError FillOpalSecurityInformation(const WinDiskInterface& view);

    uint32_t getOpalSecurityState() const { return m_OpalState; }
    // The serial number of identify words 10 to 19, in reading order, padding kept.
    const char* getIdentifySerialNumber() const { return m_SerialNumber; }
    // The kept requests; null until populated.
    CIoctlMpIdentify* getIdentify() const { return m_Identify.get(); }
    CIoctlMpSpeed* getSpeed() const { return m_Speed.get(); }

private:
    // The identify text of words [first, first + count), bytes of each word swapped, cut at the first NUL.
    std::string identifyText(size_t firstWord, size_t words) const;

    std::unique_ptr<CIoctlMpIdentify> m_Identify;
    std::unique_ptr<CIoctlMpSpeed> m_Speed;
    char m_SerialNumber[21] = {};
    uint32_t m_OpalState = kOpalUnknown;
    _ZPODD_INFO m_Zpodd{};
};
