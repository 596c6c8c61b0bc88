#include "middleware/model/HybridDiskExtension.h"

#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/ioctl/RemapPortRequests.h"

const std::set<uint16_t>& HybridDiskExtension::HybridDeviceIds() {
    static const std::set<uint16_t> ids = {0x4A20, 0x4A30};
    return ids;
}

CConsolidatedError HybridDiskExtension::Populate(HANDLE target) {
    CConsolidatedError result = detect(target, m_VendorId, m_DeviceId, m_SubsystemId);
    if (result.IsError())
        return result;
    m_IsHybrid = m_VendorId == kExpectedVendorId && HybridDeviceIds().count(m_DeviceId) != 0;
    if (m_SubsystemId == kFirstMemberSubsystemId)
        m_MemberKind = kMemberFirst;
    else if (m_SubsystemId == kSecondMemberSubsystemId)
        m_MemberKind = kMemberSecond;
    return result;
}

CConsolidatedError HybridDiskExtensionOrvex::detect(HANDLE target, uint16_t& vendorId, uint16_t& deviceId,
                                                    uint16_t& subsystemId) {
    CConsolidatedError result;
    if (!IoctlInterfaceVersionStore::CheckFeatureSupport(target, kFeatureRemapDeviceInfo)) {
        result.SetError(CConsolidatedError::UVI_NOTSUPPORTED, "HybridDisk detection not supported");
        return result;
    }
    CIoctlReMapPortGetDeviceInfo request(target, kRemapPortSignature, m_RemapTargetId);
    result = request.Invoke();
    if (result.IsSuccessful()) {
        const REMAPPORT_IOCTL_GET_DEVICE_INFO answer = request.GetOutputRecordUnverified();
        vendorId = answer.VendorId;
        deviceId = answer.DeviceId;
        subsystemId = answer.SubsystemId;
    }
    return result;
}

CConsolidatedError HybridDiskExtensionNonOrvex::detect(HANDLE target, uint16_t& vendorId, uint16_t& deviceId,
                                                       uint16_t& subsystemId) {
    CConsolidatedError result;
    const ControllerLocator* record = DeviceLocator::FindByHandle(target);
    if (!record) {
        result.SetError(CConsolidatedError::UVI_INTERNALERROR,
                        "handle in HybridDiskExtensionNonOrvex populatePciDeviceId not a controller locator");
        return result;
    }
    vendorId = record->pciVendorId;
    deviceId = record->pciDeviceId;
    subsystemId = record->pciSubsystemId;
    return result;
}
