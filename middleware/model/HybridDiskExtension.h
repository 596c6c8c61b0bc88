#pragma once
// Tells whether an NVMe device is one half of a hybrid drive (a fast cache-memory device and a slow
// drive in one package) from its PCI identity, and which half it is.
#include <cstdint>
#include <set>

#include "middleware/core/ConsolidatedError.h"
#include "platform/win/WinTypes.h"

class HybridDiskExtension {
public:
    // The platform vendor's hybrid drives: their device ids and the subsystem ids of their halves.
    static constexpr uint16_t kExpectedVendorId = 0x1F4A;
    static constexpr uint16_t kFirstMemberSubsystemId = 0x4A21;  // the fast cache-memory half
    static constexpr uint16_t kSecondMemberSubsystemId = 0x4A22; // the slow half
    static const std::set<uint16_t>& HybridDeviceIds();

    // Member kinds.
    static constexpr uint32_t kMemberUnknown = 0;
    static constexpr uint32_t kMemberFirst = 1;
    static constexpr uint32_t kMemberSecond = 2;

    HybridDiskExtension() = default;
    virtual ~HybridDiskExtension() = default;
    HybridDiskExtension(const HybridDiskExtension&) = delete;
    HybridDiskExtension& operator=(const HybridDiskExtension&) = delete;

    // Reads the identity through the detection; its failure is returned and nothing is decided.
    CConsolidatedError Populate(HANDLE target);

    bool isHybridDisk() const { return m_IsHybrid; }
    uint32_t getMemberKind() const { return m_MemberKind; }
    uint16_t getVendorId() const { return m_VendorId; }
    uint16_t getDeviceId() const { return m_DeviceId; }
    uint16_t getSubsystemId() const { return m_SubsystemId; }

protected:
    virtual CConsolidatedError detect(HANDLE target, uint16_t& vendorId, uint16_t& deviceId,
                                      uint16_t& subsystemId) = 0;

private:
    uint16_t m_VendorId = 0;
    uint16_t m_DeviceId = 0;
    uint16_t m_SubsystemId = 0;
    bool m_IsHybrid = false;
    uint32_t m_MemberKind = kMemberUnknown;
};

// A device behind the vendor's remap port: its identity comes from the remap port's device
// information of its address.
class HybridDiskExtensionOrvex : public HybridDiskExtension {
public:
    explicit HybridDiskExtensionOrvex(uint32_t remapTargetId) : m_RemapTargetId(remapTargetId) {}
    uint32_t getRemapTargetId() const { return m_RemapTargetId; }

protected:
    CConsolidatedError detect(HANDLE target, uint16_t& vendorId, uint16_t& deviceId,
                              uint16_t& subsystemId) override;

private:
    uint32_t m_RemapTargetId;
};

// A disk of another vendor's NVMe controller: the identity is the controller's own PCI identity.
class HybridDiskExtensionNonOrvex : public HybridDiskExtension {
protected:
    CConsolidatedError detect(HANDLE target, uint16_t& vendorId, uint16_t& deviceId,
                              uint16_t& subsystemId) override;
};
