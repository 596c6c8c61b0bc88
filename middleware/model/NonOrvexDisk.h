#pragma once
// A disk on another vendor's storage controller, known only through Windows: its identity comes
// from the Windows disk list and, through Windows storage requests on the disk, from the ATA or NVMe
// identity the disk reports.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "middleware/model/Disk.h"

// The per-protocol reader of a disk's identity. Texts are kept as the device reports them, at full
// field width (padding and NUL characters included).
class NonOrvexDiskExtension {
public:
    virtual ~NonOrvexDiskExtension() = default;

    // Opens the disk's device path and runs the protocol's reads on it.
    CConsolidatedError Populate(const std::wstring& devicePath);

    const std::string& getModelNumber() const { return m_ModelNumber; }
    const std::string& getFirmwareRevision() const { return m_FirmwareRevision; }
    const std::string& getSerialNumber() const { return m_SerialNumber; }
    bool isSolidState() const { return m_SolidState; }
    uint32_t getRotationRate() const { return m_RotationRate; }

protected:
    virtual CConsolidatedError internalPopulate(HANDLE device) = 0;

    std::string m_ModelNumber;
    std::string m_FirmwareRevision;
    std::string m_SerialNumber;
    bool m_SolidState = false;
    uint32_t m_RotationRate = 0;
};

// SATA: model and firmware from the device physical topology, media kind from ATA IDENTIFY word 217.
class NonOrvexDiskAtaExtension : public NonOrvexDiskExtension {
protected:
    CConsolidatedError internalPopulate(HANDLE device) override;
};

// NVMe: serial number, model and firmware from the Identify Controller data; always solid state.
class NonOrvexDiskNvmeExtension : public NonOrvexDiskExtension {
protected:
    CConsolidatedError internalPopulate(HANDLE device) override;
};

class NonOrvexDisk : public Disk {
public:
    // Disk kinds.
    static constexpr uint32_t kKindUnknown = 0;
    static constexpr uint32_t kKindAta = 1;
    static constexpr uint32_t kKindNvme = 2;

    NonOrvexDisk(std::unique_ptr<RaidDiskConfig> raidConfig, std::unique_ptr<NonOrvexDiskExtension> extension,
                 std::unique_ptr<HybridDiskExtension> hybrid);

    CConsolidatedError internalPopulate(HANDLE target) override;
    CConsolidatedError internalWinDiskPopulate(const WinDiskInterface& view) override;
    void getModelNumber(std::string& model) override;
    void getFirmwareRevision(std::string& firmware) override;
    void isSolidState(bool& solidState) override;
    void getSectorSizes(uint32_t& logical, uint32_t& physical) override;
    const char* getNvmeSerialNumber() const override;

    uint32_t getDiskKind() const { return m_DiskKind; }
    const NonOrvexDiskExtension* getExtension() const { return m_Extension.get(); }

private:
    std::unique_ptr<NonOrvexDiskExtension> m_Extension;
    uint32_t m_DiskKind = kKindUnknown;
};

// Controller kind codes of another vendor's controller.
constexpr int32_t kNonOrvexKindSata = 1;
constexpr int32_t kNonOrvexKindNvme = 3;

// A disk for a controller of that kind code: SATA (1) with the ATA reader, NVMe (3) with the NVMe
// reader and hybrid detection; null for any other kind.
std::unique_ptr<Disk> MakeNonOrvexDisk(int32_t kindCode);

// The disk pass of another vendor's controller: one disk per Windows disk on the controller's storage
// port, in list order, kept only when it populates. Nothing is reported.
std::vector<std::shared_ptr<Disk>> PopulateNonOrvexDisks(const WinDiskList& winDisks, HANDLE target,
                                                         int32_t storagePort, int32_t kindCode,
                                                         uint32_t controllerHandle, uint32_t busCode);
