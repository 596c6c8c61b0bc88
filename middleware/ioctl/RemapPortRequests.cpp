#include "middleware/ioctl/RemapPortRequests.h"

#include <cstring>

#include "middleware/ioctl/AtaRequestFormat.h"

namespace {

constexpr DWORD kConnectionInfoSize = sizeof(REMAPPORT_IOCTL_GET_CONNECTION_INFO);
constexpr DWORD kHeaderOnlySize = sizeof(SRB_IO_CONTROL);
constexpr DWORD kLocationSize = sizeof(REMAPPORT_IOCTL_GET_DEVICE_LOCATION);

} // namespace

// ---- connection information ----

CIoctlReMapPortGetConnectionInfo::CIoctlReMapPortGetConnectionInfo(HANDLE target, DWORD addressWord)
    : CIoctScsiMiniport(target, kRemapPortSignature, IOCTL_REMAPPORT_GET_CONNECTION_INFO, addressWord,
                        kConnectionInfoSize, kConnectionInfoSize) {}

CConsolidatedError CIoctlReMapPortGetConnectionInfo::_realFormatInputBuffer() {
    CConsolidatedError result =
        CheckRequestInBufferSize(m_InBufferSize, kConnectionInfoSize, "REMAPPORT_IOCTL_GET_CONNECTION_INFO",
                                 "CIoctlReMapPortGetConnectionInfo", false);
    if (result.IsError())
        return result;
    return NameAllocationFailure(CIoctScsiMiniport::_realFormatInputBuffer(),
                                 "CIoctlReMapPortGetConnectionInfo", m_InBufferSize);
}

REMAPPORT_IOCTL_GET_CONNECTION_INFO CIoctlReMapPortGetConnectionInfo::GetConnectionInfo() {
    const BYTE* answer = GetVerifiedOutBuffer();
    REMAPPORT_IOCTL_GET_CONNECTION_INFO record{};
    std::memcpy(&record, answer, sizeof(record));
    return record;
}

// ---- implemented path and target ids ----

CIoctlReMapPortGetPathIdsImplemented::CIoctlReMapPortGetPathIdsImplemented(HANDLE target)
    : CIoctScsiMiniport(target, kRemapPortSignature, IOCTL_REMAPPORT_GET_PATHIDS_IMPLEMENTED, 0,
                        kHeaderOnlySize, 0) {
    SetCheckReturnCode(false);
}

CConsolidatedError CIoctlReMapPortGetPathIdsImplemented::_realFormatInputBuffer() {
    CConsolidatedError result = CheckRequestInBufferSize(m_InBufferSize, kHeaderOnlySize, "SRB_IO_CONTROL",
                                                         "CIoctlReMapPortGetPathIdsImplemented", false);
    if (result.IsError())
        return result;
    return NameAllocationFailure(CIoctScsiMiniport::_realFormatInputBuffer(),
                                 "CIoctlReMapPortGetPathIdsImplemented", m_InBufferSize);
}

CIoctlReMapPortGetTargetIdsImplemented::CIoctlReMapPortGetTargetIdsImplemented(HANDLE target, DWORD pathId)
    : CIoctScsiMiniport(target, kRemapPortSignature, IOCTL_REMAPPORT_GET_TARGETIDS_IMPLEMENTED, pathId << 16,
                        kHeaderOnlySize, 0) {
    SetCheckReturnCode(false);
}

CConsolidatedError CIoctlReMapPortGetTargetIdsImplemented::_realFormatInputBuffer() {
    CConsolidatedError result = CheckRequestInBufferSize(m_InBufferSize, kHeaderOnlySize, "SRB_IO_CONTROL",
                                                         "CIoctlReMapPortGetTargetIdsImplemented", false);
    if (result.IsError())
        return result;
    return NameAllocationFailure(CIoctScsiMiniport::_realFormatInputBuffer(),
                                 "CIoctlReMapPortGetTargetIdsImplemented", m_InBufferSize);
}

// ---- device location ----

CIoctlReMapPortGetDeviceLocation::CIoctlReMapPortGetDeviceLocation(HANDLE target, DWORD addressWord)
    : CIoctScsiMiniport(target, kRemapPortSignature, IOCTL_REMAPPORT_GET_DEVICE_LOCATION, addressWord,
                        kLocationSize, kLocationSize),
      m_Address(addressWord & 0x00FFFFFF) {
    SetVerifyOnInvoke(true);
    SetExpectedReturnCode(1);
}

CConsolidatedError CIoctlReMapPortGetDeviceLocation::_realFormatInputBuffer() {
    CConsolidatedError result = CIoctScsiMiniport::_realFormatInputBuffer();
    if (result.IsError())
        return result;
    REMAPPORT_IOCTL_GET_DEVICE_LOCATION* record =
        reinterpret_cast<REMAPPORT_IOCTL_GET_DEVICE_LOCATION*>(m_InBuffer.get());
    record->Version = kVersion;
    record->Size = kVersion;
    record->PathId = static_cast<UCHAR>(m_Address >> 16);
    record->TargetId = static_cast<UCHAR>(m_Address >> 8);
    record->Lun = static_cast<UCHAR>(m_Address);
    return result;
}

CConsolidatedError CIoctlReMapPortGetDeviceLocation::_realVerify() {
    CConsolidatedError result = CIoctScsiMiniport::_realVerify();
    if (result.IsError())
        return result;
    if (m_OutBuffer.get()[offsetof(REMAPPORT_IOCTL_GET_DEVICE_LOCATION, Version)] > kVersion) {
        result.SetError(CConsolidatedError::IOCTL_INTERFACE_NOT_SUPPORTED,
                        "Get device location failed - unsupported version of response");
        m_Verified = false;
    }
    return result;
}

const REMAPPORT_IOCTL_GET_DEVICE_LOCATION* CIoctlReMapPortGetDeviceLocation::GetLocation() const {
    if (!m_Verified || !m_OutBuffer)
        return nullptr;
    return reinterpret_cast<const REMAPPORT_IOCTL_GET_DEVICE_LOCATION*>(m_OutBuffer.get());
}

// ---- the walk ----

CConsolidatedError CioctlReMapPortIterator::Invoke(HANDLE target, uint8_t portNumber) {
    CIoctlReMapPortGetPathIdsImplemented paths(target);
    paths.SetVerifyOnInvoke(true);
    CConsolidatedError result = paths.Invoke();
    if (result.IsError()) {
        result.AddDebugInformation("Could not get PathId implemented mask inCioctlReMapPortIterator::Invoke");
        return result;
    }
    CConsolidatedError verified = paths.Verify();
    if (verified.IsError())
        throw verified;
    m_PathMask = paths.GetSrbReturnCode();

    for (uint32_t path = 0; path < 32; ++path) {
        if ((m_PathMask & (1u << path)) == 0)
            continue;
        CIoctlReMapPortGetTargetIdsImplemented targets(target, path);
        targets.SetVerifyOnInvoke(true);
        result = targets.Invoke();
        if (result.IsError()) {
            result.AddDebugInformation(
                "Could not get TargetId implemented mask inCioctlReMapPortIterator::Invoke");
            return result;
        }
        verified = targets.Verify();
        if (verified.IsError())
            throw verified;
        const uint32_t targetMask = targets.GetSrbReturnCode();
        for (uint32_t id = 0; id < 32; ++id)
            if (targetMask & (1u << id))
                m_Addresses.push_back(PackScsiAddress(portNumber, path, id, 0));
    }
    return result;
}
