#pragma once
// One port of a controller in a snapshot: its address, its process-wide handle and what the driver
// reports about it (remap port connection, AHCI port capabilities, device map, link speed, the
// controller's AHCI information, the port registers, the CSMI SATA signature of the attached device,
// its runtime D3 information and its location). Populated once against the controller's record of
// the controller table, then only read.
#include <array>
#include <cstdint>
#include <memory>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/ioctl/AtaRequests.h"
#include "middleware/ioctl/CsmiRequests.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "middleware/ioctl/RemapPortRequests.h"
#include "middleware/model/RemapDeviceLocation.h"

using AhciInfo = std::array<uint8_t, CIoctlMpGetAhciInfo::kDataLength>;

class AhciPort {
public:
    static constexpr uint32_t kPortRegistersSize = CIoctlMpGetPortRegisters::kDataLength;
    // Connection types of the remap port answer (its word at 32).
    static constexpr ULONG kConnectionAhci = kRemapPortInterfaceAhci;
    static constexpr ULONG kConnectionRemappedNvme = kRemapPortInterfaceNvme;
    // Phy identifier sent when no CSMI phy is attached at the port's address.
    static constexpr uint8_t kNoPhy = 255;

    AhciPort() = default;
    virtual ~AhciPort() = default;
    AhciPort(const AhciPort&) = delete;
    AhciPort& operator=(const AhciPort&) = delete;

    // target: the controller's record of the controller table. Only the AHCI information, port
    // register and device location reads fail the port; every other answer that is missing leaves
    // its part empty.
    CConsolidatedError Populate(HANDLE target, PackedScsiAddress address, uint8_t phyIdentifier);

    virtual void getDevicePresent(bool& present) const;
    bool isDevicePresent() const { return m_DevicePresent; }
    bool isRemappedNvmePort() const;

    PackedScsiAddress getAddress() const { return m_Address; }
    uint32_t getHandle() const { return m_Handle; }
    // The kept requests, null when they failed or were not sent; their answers passed their checks.
    CIoctlMpGetPortCapabilities* getPortCapabilities() const { return m_PortCapabilities.get(); }
    CIoctlMpGetPortDeviceMap* getPortDeviceMap() const { return m_PortDeviceMap.get(); }
    CIoctlMpSpeed* getPortSpeed() const { return m_PortSpeed.get(); }
    CIoctlReMapPortGetConnectionInfo* getConnectionInfo() const { return m_ConnectionInfo.get(); }
    // The connection type word; 0 without a connection answer.
    ULONG getConnectionType() const;
    // The device map answer's first payload word; 0 without one.
    ULONG getDeviceMapWord() const;
    const CSMI_SAS_SATA_SIGNATURE_BUFFER& getSataSignature() const { return m_SataSignature; }
    const AhciInfo& getAhciInfo() const { return m_AhciInfo; }
    uint64_t getRtd3Info() const { return m_Rtd3Info; }
    const std::array<uint8_t, kPortRegistersSize>& getPortRegisters() const { return m_PortRegisters; }
    const RemapDeviceLocation& getDeviceLocation() const { return m_DeviceLocation; }

protected:
    virtual CConsolidatedError internalPopulate(HANDLE target);

private:
    void readSataSignature(HANDLE target, uint8_t phyIdentifier);
    void readRtd3Info(HANDLE target);

    bool m_DevicePresent = false;
    PackedScsiAddress m_Address = kNoScsiAddress;
    uint32_t m_Handle = 0;
    std::unique_ptr<CIoctlMpGetPortCapabilities> m_PortCapabilities;
    std::unique_ptr<CIoctlMpGetPortDeviceMap> m_PortDeviceMap;
    std::unique_ptr<CIoctlMpSpeed> m_PortSpeed;
    std::unique_ptr<CIoctlReMapPortGetConnectionInfo> m_ConnectionInfo;
    CSMI_SAS_SATA_SIGNATURE_BUFFER m_SataSignature{};
    AhciInfo m_AhciInfo{};
    uint64_t m_Rtd3Info = 0;
    std::array<uint8_t, kPortRegistersSize> m_PortRegisters{};
    RemapDeviceLocation m_DeviceLocation{};
};

// The AHCI information of the controller whose storage port is the address's top byte; throws the
// request's CConsolidatedError (0xA0000004 when the controller table has no such port).
AhciInfo ReadAhciInfoForAddress(PackedScsiAddress address);
// The runtime D3 information of the device at the address; throws as ReadAhciInfoForAddress.
uint64_t ReadRtd3InfoForAddress(PackedScsiAddress address);
