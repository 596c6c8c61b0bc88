#include "middleware/ioctl/AtaRequests.h"

#include <cstdio>
#include <cstring>

#include "middleware/ioctl/AtaRequestFormat.h"
#include "middleware/ioctl/IoctlCodeNames.h"
#include "middleware/ioctl/IoctlDirectMode.h"
#include "platform/win/WinError.h"

namespace {

// The capabilities record after the header, without its data: what direct mode declares.
constexpr DWORD kShortRecordLength = CIoctlMpGetSetCapabilities::kRecordSize - sizeof(SRB_IO_CONTROL);

void Wipe(BYTE* bytes, size_t size) {
    volatile BYTE* p = bytes;
    for (size_t i = 0; i < size; ++i)
        p[i] = 0;
}
} // namespace

// ---- capabilities ----

CIoctlMpGetSetCapabilities::CIoctlMpGetSetCapabilities(HANDLE target, PackedScsiAddress address,
                                                       ULONG subFunction, ULONG dataLength)
    : CIoctScsiMiniport(target, kAtaSignature, IOCTL_MP_GET_SET_CAPABILITIES, address,
                        kRecordSize + dataLength, kMinimumAnswer),
      m_SubFunction(subFunction), m_DataLength(dataLength) {}

CConsolidatedError CIoctlMpGetSetCapabilities::_realFormatInputBuffer() {
    CConsolidatedError result = CheckRequestInBufferSize(m_InBufferSize, kRecordSize, "GET_SET_CAPABILITIES",
                                                         "CIoctlMpGetSetCapabilities", true);
    if (result.IsError())
        return result;
    result = NameAllocationFailure(CIoctScsiMiniport::_realFormatInputBuffer(), "CIoctlMpGetSetCapabilities",
                                   m_InBufferSize);
    if (result.IsError())
        return result;
    auto* record = reinterpret_cast<GET_SET_CAPABILITIES*>(m_InBuffer.get());
    if (IsIoctlDirectMode())
        record->Header.Length = kShortRecordLength;
    record->RecordLength = kRecordSize;
    record->Direction = m_Direction;
    record->SubFunction = m_SubFunction;
    record->DataOffset = m_DataOffset;
    record->DataLength = m_DataLength;
    record->Status = m_Status;
    return result;
}

CConsolidatedError CIoctlMpGetSetCapabilities::_realInvoke() {
    CConsolidatedError result = CIoctScsiMiniport::_realInvoke();
    if (!IsIoctlDirectMode() && result.GetErrorType() == KEDO2_ERROR_TYPE_WIN32 &&
        result.GetWin32Error() == ERROR_GEN_FAILURE) {
        // The driver takes only the short record: switch the process over and send again.
        SetIoctlDirectMode();
        _realFreeInputBuffer();
        _realFreeOutputBuffer();
        result.ClearError();
        result = CIoctScsiMiniport::_realInvoke();
    }
    return result;
}

BYTE* CIoctlMpGetSetCapabilities::GetCapabilityData() {
    return GetVerifiedOutBuffer() + m_DataOffset;
}

std::string CIoctlMpGetSetCapabilities::Describe() const {
    std::string text = "Direction: ";
    text += m_Direction == kCapabilitiesGet ? "GET" : "SET";
    text += ", SubFunction: ";
    text += GetCapabilitiesSubFunctionName(m_SubFunction);
    text += ", Status: ";
    text += GetCapabilitiesStatusName(m_Status);
    return text;
}

MP_SPEED_DATA CIoctlMpSpeed::GetSpeed() {
    MP_SPEED_DATA speed{};
    std::memcpy(&speed, GetCapabilityData(), sizeof(speed));
    return speed;
}

CConsolidatedError CIoctlMpSpeed::_realVerify() {
    CConsolidatedError result = CIoctlMpGetSetCapabilities::_realVerify();
    if (result.IsError())
        return result;
    MP_SPEED_DATA speed{};
    std::memcpy(&speed, m_OutBuffer.get() + m_DataOffset, sizeof(speed));
    const struct {
        const char* format;
        USHORT value;
    } checks[] = {
        {"Invalid ControllerMaxSpeed in CIoctlMpSpeed, expected size: %d, actual: %d",
         speed.ControllerMaxSpeed},
        {"Invalid DriverMaxSpeed in CIoctlMpSpeed, expected size: %d, actual: %d", speed.DriverMaxSpeed},
        {"Invalid Speed in CIoctlMpSpeed, expected size: %d, actual: %d", speed.Speed},
    };
    for (const auto& check : checks) {
        if (check.value <= kMaxSpeedCode)
            continue;
        result.SetError(CConsolidatedError::DRIVER_IXO_VALIDATION_ERR, static_cast<const char*>(nullptr));
        result.AddErrorMessage(check.format, static_cast<int>(kMaxSpeedCode), static_cast<int>(check.value));
        m_Verified = false;
        break;
    }
    return result;
}

// ---- identify and device map ----

CIoctlMpIdentify::CIoctlMpIdentify(HANDLE target, PackedScsiAddress address)
    : CIoctScsiMiniport(target, kAtaSignature, IOCTL_MP_IDENTIFY, address, sizeof(GET_ID_DATA),
                        kMinimumAnswer) {}

CConsolidatedError CIoctlMpIdentify::_realFormatInputBuffer() {
    CConsolidatedError result = CheckRequestInBufferSize(m_InBufferSize, sizeof(GET_ID_DATA), "GET_ID_DATA",
                                                         "CIoctlMpIdentify", true);
    if (result.IsError())
        return result;
    return NameAllocationFailure(CIoctScsiMiniport::_realFormatInputBuffer(), "CIoctlMpIdentify",
                                 m_InBufferSize);
}

CIoctlMpGetPortDeviceMap::CIoctlMpGetPortDeviceMap(HANDLE target, PackedScsiAddress address)
    : CIoctScsiMiniport(target, kAtaSignature, IOCTL_MP_GET_PORT_DEVICE_MAP, address, sizeof(PORT_DEVICE_MAP),
                        sizeof(PORT_DEVICE_MAP)) {}

CConsolidatedError CIoctlMpGetPortDeviceMap::_realFormatInputBuffer() {
    CConsolidatedError result = CheckRequestInBufferSize(m_InBufferSize, sizeof(PORT_DEVICE_MAP),
                                                         "PORT_DEVICE_MAP", "CIoctlMpGetPortDeviceMap", true);
    if (result.IsError())
        return result;
    return NameAllocationFailure(CIoctScsiMiniport::_realFormatInputBuffer(), "CIoctlMpGetPortDeviceMap",
                                 m_InBufferSize);
}

// ---- unlock ----

CIoctlMpDiskUnlock::CIoctlMpDiskUnlock(HANDLE target, ULONG passwordType, PackedScsiAddress diskAddress)
    : CIoctScsiMiniport(target, kAtaSignature, IOCTL_MP_UNLOCK_DISK, diskAddress, sizeof(SECURITY_UNLOCK),
                        sizeof(SECURITY_UNLOCK)),
      m_PasswordType(passwordType), m_DiskAddress(diskAddress) {}

CIoctlMpDiskUnlock::~CIoctlMpDiskUnlock() {
    _realFreeInputBuffer();
    _realFreeOutputBuffer();
    Wipe(m_Password, sizeof(m_Password));
}

void CIoctlMpDiskUnlock::SetPassword(const void* bytes, size_t length) {
    Wipe(m_Password, sizeof(m_Password));
    if (bytes && length <= sizeof(m_Password))
        std::memcpy(m_Password, bytes, length);
}

CConsolidatedError CIoctlMpDiskUnlock::_realFormatInputBuffer() {
    CConsolidatedError result;
    if (m_Password[0] == 0) {
        result.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, "Password for this action is not set");
        return result;
    }
    result = CheckRequestInBufferSize(m_InBufferSize, sizeof(SECURITY_UNLOCK), "SECURITY_UNLOCK",
                                      "CIoctlMpDiskUnlock", true);
    if (result.IsError())
        return result;
    result = NameAllocationFailure(CIoctScsiMiniport::_realFormatInputBuffer(), "CIoctlMpDiskUnlock",
                                   m_InBufferSize);
    if (result.IsError())
        return result;
    auto* record = reinterpret_cast<SECURITY_UNLOCK*>(m_InBuffer.get());
    std::memcpy(record->Password, m_Password, sizeof(record->Password));
    record->PasswordType = m_PasswordType;
    record->UnlockResult = 0;
    return result;
}

void CIoctlMpDiskUnlock::_realFreeInputBuffer() {
    if (m_InBuffer)
        Wipe(m_InBuffer.get(), m_InBufferSize);
    CIoctScsiMiniport::_realFreeInputBuffer();
}

void CIoctlMpDiskUnlock::_realFreeOutputBuffer() {
    if (m_OutBuffer)
        Wipe(m_OutBuffer.get(), m_OutBufferSize);
    CIoctScsiMiniport::_realFreeOutputBuffer();
}

ULONG CIoctlMpDiskUnlock::GetUnlockResult() {
    return reinterpret_cast<const SECURITY_UNLOCK*>(GetVerifiedOutBuffer())->UnlockResult;
}

std::string CIoctlMpDiskUnlock::Describe() const {
    const char* type = m_PasswordType == kUserPassword     ? "User PW"
                       : m_PasswordType == kMasterPassword ? "Master PW"
                                                           : "Unknown";
    char text[80];
    std::snprintf(text, sizeof(text), "diskScsiId: 0x%08X, passwordType: %s", m_DiskAddress, type);
    return text;
}

// ---- classifier statistics ----

CIoctlIOClassifierStats::CIoctlIOClassifierStats(HANDLE target, DWORD volumeWord)
    : CIoctScsiMiniport(target, kClassifierSignature, IOCTL_GET_CLASSIFIER_STATS, volumeWord,
                        kClassifierStatsSize, kClassifierStatsSize) {
    SetVerifyOnInvoke(true);
    SetCheckReturnCode(false);
}

const BYTE* CIoctlIOClassifierStats::GetCounters() {
    return GetVerifiedOutBuffer() + kClassifierCountersOffset;
}
