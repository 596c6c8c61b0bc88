#include "middleware/ioctl/NvmeRequests.h"

#include <algorithm>
#include <cstring>

#include "middleware/ioctl/AtaRequestFormat.h"

namespace {

// Identify Controller fields.
constexpr size_t kModelNumberOffset = 24;
constexpr size_t kModelNumberSize = 40;
constexpr size_t kFirmwareRevisionOffset = 64;
constexpr size_t kFirmwareRevisionSize = 8;

// Errors of copying an event name, numbered as the C runtime's string copy reports them.
constexpr unsigned long kNameTooLong = 34;
constexpr unsigned long kNameMissing = 22;

// Writes the event name into its zeroed field; a missing or too long name fails.
CConsolidatedError CopyEventName(char* field, bool hasName, const std::string& name) {
    CConsolidatedError result;
    if (!hasName || name.size() > kNvmeEventNameSize) {
        result.SetError(KEDO2_ERROR_TYPE_WIN32, hasName ? kNameTooLong : kNameMissing,
                        static_cast<const char*>(nullptr));
        result.AddErrorMessage("Error copying nvme aer event name");
        return result;
    }
    std::memcpy(field, name.data(), name.size());
    return result;
}

} // namespace

// ---- Identify Controller ----

CIoctlNvmeGetRemappedDeviceInfo::CIoctlNvmeGetRemappedDeviceInfo(HANDLE target, PackedScsiAddress address)
    : CIoctScsiMiniport(target, kNvmeSignature, IOCTL_NVME_GET_CONTROLLER_IDENTIFY_DATA, address,
                        sizeof(NVME_IOCTL_GET_REMAPPED_DEVICE_INFORMATION),
                        sizeof(NVME_IOCTL_GET_REMAPPED_DEVICE_INFORMATION)) {
    SetExpectedReturnCode(1);
}

CConsolidatedError CIoctlNvmeGetRemappedDeviceInfo::_realFormatInputBuffer() {
    CConsolidatedError result = CheckRequestInBufferSize(
        m_InBufferSize, sizeof(NVME_IOCTL_GET_REMAPPED_DEVICE_INFORMATION),
        "NVME_IOCTL_GET_REMAPPED_DEVICE_INFORMATION", "CIoctlNvmeGetRemappedDeviceInfo", false);
    if (result.IsError())
        return result;
    return NameAllocationFailure(CIoctScsiMiniport::_realFormatInputBuffer(),
                                 "CIoctlNvmeGetRemappedDeviceInfo", m_InBufferSize);
}

const char* CIoctlNvmeGetRemappedDeviceInfo::GetModelNumber() {
    if (!m_HaveModelNumber) {
        const BYTE* identify = GetVerifiedPayload();
        std::memcpy(m_ModelNumber, identify + kModelNumberOffset, kModelNumberSize);
        m_ModelNumber[kModelNumberSize] = '\0';
        m_HaveModelNumber = true;
    }
    return m_ModelNumber;
}

const char* CIoctlNvmeGetRemappedDeviceInfo::GetFirmwareRevision() {
    if (!m_HaveFirmwareRevision) {
        const BYTE* identify = GetVerifiedPayload();
        std::memcpy(m_FirmwareRevision, identify + kFirmwareRevisionOffset, kFirmwareRevisionSize);
        m_FirmwareRevision[kFirmwareRevisionSize] = '\0';
        m_HaveFirmwareRevision = true;
    }
    return m_FirmwareRevision;
}

// ---- Get Features ----

CIoctlNvmeGetFeatures::CIoctlNvmeGetFeatures(HANDLE target, PackedScsiAddress address)
    : CIoctScsiMiniport(target, kNvmeSignature, IOCTL_NVME_GET_FEATURES_PASS_THROUGH, address,
                        sizeof(NVME_IOCTL_GET_FEATURES), sizeof(NVME_IOCTL_GET_FEATURES)),
      m_Address(address) {
    SetExpectedReturnCode(1);
}

CConsolidatedError CIoctlNvmeGetFeatures::_realFormatInputBuffer() {
    CConsolidatedError result = CIoctScsiMiniport::_realFormatInputBuffer();
    if (result.IsError())
        return result;
    auto* record = reinterpret_cast<NVME_IOCTL_GET_FEATURES*>(m_InBuffer.get());
    record->Version = 1;
    record->PathId = static_cast<UCHAR>(m_Address >> 16);
    record->TargetId = static_cast<UCHAR>(m_Address >> 8);
    record->Lun = static_cast<UCHAR>(m_Address);
    record->SubmissionEntry[0] = kGetFeaturesOpcode;
    // Command dword 10: the feature identifier.
    std::memcpy(record->SubmissionEntry + 40, &kHostMemoryBufferFeature, sizeof(ULONG));
    record->DataOffset = offsetof(NVME_IOCTL_GET_FEATURES, Data);
    record->DataLength = kNvmeFeatureDataSize;
    return result;
}

bool CIoctlNvmeGetFeatures::Succeeded() const {
    if (!m_OutBuffer)
        return false;
    const USHORT status =
        reinterpret_cast<const NVME_IOCTL_GET_FEATURES*>(m_OutBuffer.get())->CompletionStatus;
    const unsigned statusCode = (status >> 1) & 0xFF;
    const unsigned statusCodeType = (status >> 9) & 0x7;
    return statusCode == 0 && statusCodeType == 0;
}

ULONG CIoctlNvmeGetFeatures::GetCompletionDword() const {
    if (!m_OutBuffer)
        return 0;
    return reinterpret_cast<const NVME_IOCTL_GET_FEATURES*>(m_OutBuffer.get())->CompletionDword0;
}

bool CIoctlNvmeGetFeatures::CopyData(void* buffer) const {
    const DWORD answer = AnswerLength();
    if (!m_OutBuffer || answer < offsetof(NVME_IOCTL_GET_FEATURES, DataOffset) + sizeof(ULONG))
        return false;
    const uint64_t offset = reinterpret_cast<const NVME_IOCTL_GET_FEATURES*>(m_OutBuffer.get())->DataOffset;
    if (offset > answer || kNvmeFeatureDataSize > answer - offset)
        return false;
    std::memcpy(buffer, m_OutBuffer.get() + offset, kNvmeFeatureDataSize);
    return true;
}

// ---- health log page ----

CIoctlNvmeGetHealthLogPage::CIoctlNvmeGetHealthLogPage(HANDLE target, PackedScsiAddress address)
    : CIoctScsiMiniport(target, kNvmeSignature, IOCTL_NVME_GET_LOG_PAGE, address,
                        sizeof(NVME_IOCTL_GET_LOG_PAGE), sizeof(NVME_IOCTL_GET_LOG_PAGE)),
      m_Address(address) {}

CConsolidatedError CIoctlNvmeGetHealthLogPage::_realFormatInputBuffer() {
    CConsolidatedError result = CIoctScsiMiniport::_realFormatInputBuffer();
    if (result.IsError())
        return result;
    auto* record = reinterpret_cast<NVME_IOCTL_GET_LOG_PAGE*>(m_InBuffer.get());
    record->LogPageId = kHealthLogPage;
    record->NamespaceId = m_NamespaceId;
    record->Length = kNvmeHealthLogSize;
    return result;
}

bool CIoctlNvmeGetHealthLogPage::GetLogPage(void* buffer) const {
    if (!m_OutBuffer)
        return false;
    std::memcpy(buffer, reinterpret_cast<const NVME_IOCTL_GET_LOG_PAGE*>(m_OutBuffer.get())->LogPage,
                kNvmeHealthLogSize);
    return true;
}

// ---- asynchronous events ----

CIoctlNvmeRegisterAer::CIoctlNvmeRegisterAer(HANDLE target, PackedScsiAddress address, const char* eventName)
    : CIoctScsiMiniport(target, kNvmeSignature, IOCTL_NVME_REGISTER_AER, address,
                        sizeof(NVME_IOCTL_REGISTER_AER), sizeof(NVME_IOCTL_REGISTER_AER)),
      m_EventName(eventName ? eventName : ""), m_HasName(eventName != nullptr) {}

CConsolidatedError CIoctlNvmeRegisterAer::_realFormatInputBuffer() {
    CConsolidatedError result = CIoctScsiMiniport::_realFormatInputBuffer();
    if (result.IsError())
        return result;
    auto* record = reinterpret_cast<NVME_IOCTL_REGISTER_AER*>(m_InBuffer.get());
    result = CopyEventName(record->EventName, m_HasName, m_EventName);
    if (result.IsError()) {
        // Left in place, the buffer would be sent by the next Invoke with an empty name.
        _realFreeInputBuffer();
        return result;
    }
    record->Context = ~ULONGLONG{0};
    return result;
}

CIoctlNvmeGetAerData::CIoctlNvmeGetAerData(HANDLE target, PackedScsiAddress address, const char* eventName)
    : CIoctScsiMiniport(target, kNvmeSignature, IOCTL_NVME_GET_AER_DATA, address,
                        sizeof(NVME_IOCTL_GET_AER_DATA), sizeof(NVME_IOCTL_GET_AER_DATA)),
      m_Address(address), m_EventName(eventName ? eventName : ""), m_HasName(eventName != nullptr) {}

CConsolidatedError CIoctlNvmeGetAerData::_realFormatInputBuffer() {
    CConsolidatedError result = CIoctScsiMiniport::_realFormatInputBuffer();
    if (result.IsError())
        return result;
    auto* record = reinterpret_cast<NVME_IOCTL_GET_AER_DATA*>(m_InBuffer.get());
    result = CopyEventName(record->EventName, m_HasName, m_EventName);
    if (result.IsError())
        _realFreeInputBuffer();
    return result;
}

size_t CIoctlNvmeGetAerData::GetEvents(std::vector<ULONG>& events) const {
    if (!m_OutBuffer || AnswerLength() < sizeof(NVME_IOCTL_GET_AER_DATA))
        return 0;
    const auto* record = reinterpret_cast<const NVME_IOCTL_GET_AER_DATA*>(m_OutBuffer.get());
    const size_t count = std::min<size_t>(record->EventCount, kNvmeMaxEvents);
    for (size_t i = 0; i < count; ++i) {
        ULONG word = 0;
        std::memcpy(&word, m_OutBuffer.get() + offsetof(NVME_IOCTL_GET_AER_DATA, Events) + i * sizeof(ULONG),
                    sizeof(word));
        events.push_back(word);
    }
    return count;
}
