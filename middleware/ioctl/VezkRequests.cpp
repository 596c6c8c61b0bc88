#include "middleware/ioctl/VezkRequests.h"

#include <algorithm>

#include <cstdio>

#include "platform/win/WinBase.h"
#include "platform/win/WinError.h"

namespace {

constexpr DWORD kHeader = CIoctScsiMiniportUnchecked::kHeaderLength;
constexpr const char* kUnknownReturnCode = "Unkown return code";

std::string Hex8(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%08X", value);
    return text;
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof(text), "%llX", static_cast<unsigned long long>(value));
    return text;
}

void Put32(BYTE* buffer, size_t offset, uint32_t value) {
    std::memcpy(buffer + offset, &value, sizeof(value));
}

void Put64(BYTE* buffer, size_t offset, uint64_t value) {
    std::memcpy(buffer + offset, &value, sizeof(value));
}

// 0 is success; 1 to `count` map to `first` onwards; anything else has no mapping.
KEDO2_ERRORS MapRange(DWORD returnCode, DWORD count, uint32_t first) {
    if (returnCode == 0)
        return CConsolidatedError::SUCCESS;
    if (returnCode <= count)
        return static_cast<KEDO2_ERRORS>(first + returnCode - 1);
    return CConsolidatedError::HALVEX_UNKNOWN;
}

} // namespace

const char* VezkEnableReturnCodeText(DWORD returnCode) {
    static const char* const texts[] = {"Success",
                                        "Disks are not valid",
                                        "Volume does not exist",
                                        "Platform is not supported",
                                        "Concatenated volume already exists",
                                        "OS is on wrong disk",
                                        "File cache size is too big",
                                        "File cache size is too small",
                                        "There is no space for metadata",
                                        "Internal error",
                                        "Configuration is not supported",
                                        "Start boundary is too small"};
    return returnCode < std::size(texts) ? texts[returnCode] : kUnknownReturnCode;
}

const char* VezkDisableReturnCodeText(DWORD returnCode) {
    static const char* const texts[] = {"Success", "Concatenatated Volume does not exist",
                                        "Migration is already running"};
    return returnCode < std::size(texts) ? texts[returnCode] : kUnknownReturnCode;
}

const char* VezkStatusReturnCodeText(DWORD returnCode) {
    static const char* const texts[] = {"Success", "Error"};
    return returnCode < std::size(texts) ? texts[returnCode] : kUnknownReturnCode;
}

KEDO2_ERRORS VezkEnableMap(DWORD returnCode) {
    return MapRange(returnCode, 11, CConsolidatedError::HALVEX_CONCATENATE_DRIVER_DISKSARENOTVALID);
}

KEDO2_ERRORS VezkDisableMap(DWORD returnCode) {
    return MapRange(returnCode, 2, CConsolidatedError::HALVEX_SEPARATE_DRIVER_CONCATENATEDVOLUMENOTEXIST);
}

KEDO2_ERRORS VezkPairValidMap(DWORD returnCode) {
    return MapRange(returnCode, 5, CConsolidatedError::HALVEX_CONCATENATE_DRIVER_DISKPAIRDISKIDAREEQUAL);
}

KEDO2_ERRORS VezkDiskValidMap(DWORD returnCode) {
    return MapRange(returnCode, 7, CConsolidatedError::HALVEX_CONCATENATE_DRIVER_DISKINTERNALERROR);
}

KEDO2_ERRORS VezkClearMetadataMap(DWORD returnCode) {
    return MapRange(returnCode, 2, CConsolidatedError::HALVEX_DRIVER_METADATAOPERATION_DISKNOTEXIST);
}

KEDO2_ERRORS VezkSupportedMap(DWORD returnCode) {
    switch (returnCode) {
    case 0:
        return CConsolidatedError::HALVEX_DRIVER_FEATURENOTSUPPORTED;
    case 1:
        return CConsolidatedError::SUCCESS;
    }
    return CConsolidatedError::HALVEX_UNKNOWN;
}

// ---- the template's common part ----

CIoctlVezkBase::CIoctlVezkBase(HANDLE target, DWORD controlCode, DWORD size)
    : CIoctScsiMiniport(target, kVolumePortSignature, controlCode, 0, size, size) {
    SetExpectedReturnCode(0);
    SetCheckReturnCode(true);
    SetVerifyOnInvoke(true);
}

KEDO2_ERRORS CIoctlVezkBase::MapReturnCode(DWORD) const {
    return CConsolidatedError::HALVEX_UNKNOWN;
}

uint32_t CIoctlVezkBase::AnswerWord(size_t offset) const {
    uint32_t value = 0;
    if (m_OutBuffer && offset + sizeof(value) <= m_OutBufferSize)
        std::memcpy(&value, m_OutBuffer.get() + offset, sizeof(value));
    return value;
}

CConsolidatedError CIoctlVezkBase::_realFormatInputBuffer() {
    if (m_InBufferSize < m_BufferSize) {
        char message[512];
        std::snprintf(message, sizeof(message),
                      "InBufferSize is too small, must be >= sizeof(%s) %s::_realFormatInputBuffer",
                      RecordName(), TemplateName().c_str());
        CConsolidatedError e;
        e.SetError(CConsolidatedError::IOCTL_IN_BUFFER_SIZE, message);
        e.AddDebugInformation("InBufferSize = %d", static_cast<int>(m_InBufferSize));
        e.AddDebugInformation(", sizeof(%s)= ", RecordName());
        e.AddDebugInformation("%d", static_cast<int>(m_BufferSize));
        return e;
    }
    CConsolidatedError result = CIoctScsiMiniportUnchecked::_realFormatInputBuffer();
    if (!m_InBuffer) {
        const std::string where = "malloc returned null in " + TemplateName() + "::_realFormatInputBuffer";
        CConsolidatedError e;
        e.SetError(KEDO2_ERROR_TYPE_WIN32, ERROR_OUTOFMEMORY, where.c_str());
        e.AddDebugInformation("InBufferSize = %d", static_cast<int>(m_InBufferSize));
        return e;
    }
    if (result.IsError())
        return result;
    // The header carries the alternate word, 0, rather than a target address.
    Put32(m_InBuffer.get(), 20, m_AlternateReturnCode);
    FillPayload(m_InBuffer.get());
    return result;
}

CConsolidatedError CIoctlVezkBase::CheckedInvokeWithBusyResend() {
    CConsolidatedError result = CIoctScsiMiniport::_realInvoke();
    if (result.GetErrorCode() == CConsolidatedError::DRIVER_BUSY) {
        Sleep(1);
        // A reset that fails leaves the request unsendable: its failure is the result.
        if (CConsolidatedError reset = _realReset(); reset.IsError())
            return reset;
        result = CIoctScsiMiniport::_realInvoke();
    }
    return result;
}

CConsolidatedError CIoctlVezkBase::_realInvoke() {
    return CheckedInvokeWithBusyResend();
}

CConsolidatedError CIoctlVezkBase::_realVerify() {
    CConsolidatedError result = CIoctScsiMiniportUnchecked::_realVerify();
    // The map applies only to an answer whose header was read.
    const bool headerRead = m_LastError.IsSuccessful() && m_OutBuffer && m_BytesReturned <= m_OutBufferSize &&
                            m_BytesReturned >= m_BytesExpected && m_OutBufferSize >= kHeader;
    if (!headerRead)
        return result;
    m_MappedCode = MapReturnCode(GetSrbReturnCode());
    // A failure takes the pairing layer's code and keeps its kind; a success stays a success.
    if (result.IsError() && m_MappedCode != CConsolidatedError::HALVEX_UNKNOWN &&
        m_MappedCode != CConsolidatedError::SUCCESS)
        result.SetError(KEDO2_ERROR_TYPE_KEDO2, m_MappedCode, static_cast<const char*>(nullptr));
    return result;
}

// ---- the requests ----

CIoctlVezkEnable::CIoctlVezkEnable(HANDLE target, uint32_t fastId, uint32_t slowId, uint64_t fileCacheOffset,
                                   uint64_t fileCacheSize, bool modeFlag, uint32_t dataLocation)
    : CIoctlVezk(target, IOCTL_VOLPORT_CONCATENATE), m_ControlCodeCopy(IOCTL_VOLPORT_CONCATENATE),
      m_FastId(fastId), m_SlowId(slowId), m_FileCacheOffset(fileCacheOffset), m_FileCacheSize(fileCacheSize),
      m_ModeFlag(modeFlag), m_DataLocation(dataLocation) {}

const char* CIoctlVezkEnable::GetReturnCodeName(DWORD returnCode) const {
    return VezkEnableReturnCodeText(returnCode);
}

const char* CIoctlVezkEnable::GetErrorPrefix() const {
    return "Concatenate returned error";
}

KEDO2_ERRORS CIoctlVezkEnable::MapReturnCode(DWORD returnCode) const {
    return VezkEnableMap(returnCode);
}

void CIoctlVezkEnable::FillPayload(BYTE* buffer) {
    Put32(buffer, offsetof(VOLPORT_IOCTL_CONCATENATE, FastDiskId), m_FastId);
    Put32(buffer, offsetof(VOLPORT_IOCTL_CONCATENATE, SlowDiskId), m_SlowId);
    Put64(buffer, offsetof(VOLPORT_IOCTL_CONCATENATE, FileCacheOffset), m_FileCacheOffset);
    Put64(buffer, offsetof(VOLPORT_IOCTL_CONCATENATE, FileCacheSize), m_FileCacheSize);
    Put32(buffer, offsetof(VOLPORT_IOCTL_CONCATENATE, Mode), m_ModeFlag ? 2 : 1);
    Put32(buffer, offsetof(VOLPORT_IOCTL_CONCATENATE, DataLocation), m_DataLocation);
}

std::string CIoctlVezkEnable::Describe() const {
    static const char* const locations[] = {"Unknown", "DataOnFast", "DataOnSlow", "NoDataDrive"};
    const std::string location =
        m_DataLocation < std::size(locations) ? locations[m_DataLocation] : std::to_string(m_DataLocation);
    return "fastScsiId: 0x" + Hex8(m_FastId) + ", slowScsiId: 0x" + Hex8(m_SlowId) + ", fileCacheOffset: 0x" +
           Hex(m_FileCacheOffset) + ", fileCacheSize: 0x" + Hex(m_FileCacheSize) +
           ", dataLocation: " + location;
}

CIoctlVezkMigration::CIoctlVezkMigration(HANDLE target)
    : CIoctlVezk(target, IOCTL_VOLPORT_MIGRATION_STATUS) {}

const char* CIoctlVezkMigration::GetReturnCodeName(DWORD returnCode) const {
    return VezkStatusReturnCodeText(returnCode);
}

int32_t CIoctlVezkMigration::GetProgress() {
    int32_t progress = 0;
    std::memcpy(&progress, GetVerifiedPayload(), sizeof(progress));
    return progress <= 100 ? progress : -1;
}

CIoctlVezkDisable::CIoctlVezkDisable(HANDLE target) : CIoctlVezk(target, IOCTL_VOLPORT_SEPARATE) {}

const char* CIoctlVezkDisable::GetReturnCodeName(DWORD returnCode) const {
    return VezkDisableReturnCodeText(returnCode);
}

const char* CIoctlVezkDisable::GetErrorPrefix() const {
    return "Separate returned error";
}

KEDO2_ERRORS CIoctlVezkDisable::MapReturnCode(DWORD returnCode) const {
    return VezkDisableMap(returnCode);
}

CIoctlVezkGetInfo::CIoctlVezkGetInfo(HANDLE target) : CIoctlVezk(target, IOCTL_VOLPORT_GET_VEZK_INFO) {}

const char* CIoctlVezkGetInfo::GetReturnCodeName(DWORD returnCode) const {
    return VezkStatusReturnCodeText(returnCode);
}

CIoctlResetVolportPerformanceCounters::CIoctlResetVolportPerformanceCounters(HANDLE target)
    : CIoctlVezk(target, IOCTL_VOLPORT_RESET_PERFORMANCE_COUNTERS) {}

CIoctlGetPerformanceCounters::CIoctlGetPerformanceCounters(HANDLE target)
    : CIoctlVezk(target, IOCTL_VOLPORT_GET_PERFORMANCE_COUNTERS) {}

const char* CIoctlGetPerformanceCounters::GetReturnCodeName(DWORD returnCode) const {
    return VezkStatusReturnCodeText(returnCode);
}

const BYTE* CIoctlGetPerformanceCounters::GetCounters() {
    return GetVerifiedPayload() + (offsetof(VOLPORT_IOCTL_GET_PERFORMANCE_COUNTERS, Counters) - kHeader);
}

CIoctlVezkDisksPairValidForConcatenate::CIoctlVezkDisksPairValidForConcatenate(HANDLE target, uint32_t slowId,
                                                                               uint32_t fastId)
    : CIoctlVezk(target, IOCTL_VOLPORT_VALID_FOR_CONCATENATE),
      m_ControlCodeCopy(IOCTL_VOLPORT_VALID_FOR_CONCATENATE), m_SlowId(slowId), m_FastId(fastId) {
    SetCheckReturnCode(false);
}

KEDO2_ERRORS CIoctlVezkDisksPairValidForConcatenate::MapReturnCode(DWORD returnCode) const {
    return VezkPairValidMap(returnCode);
}

void CIoctlVezkDisksPairValidForConcatenate::FillPayload(BYTE* buffer) {
    Put32(buffer, offsetof(VOLPORT_IOCTL_VALID_FOR_CONCATENATE, FastDiskId), m_FastId);
    Put32(buffer, offsetof(VOLPORT_IOCTL_VALID_FOR_CONCATENATE, SlowDiskId), m_SlowId);
}

std::string CIoctlVezkDisksPairValidForConcatenate::Describe() const {
    return "fastScsiId: 0x" + Hex8(m_FastId) + ", slowScsiId: 0x" + Hex8(m_SlowId);
}

CIoctVolPortClearMetadata::CIoctVolPortClearMetadata(HANDLE target, uint32_t diskId)
    : CIoctlVezk(target, IOCTL_VOLPORT_CLEAR_METADATA), m_ControlCodeCopy(IOCTL_VOLPORT_CLEAR_METADATA),
      m_DiskId(diskId) {}

const char* CIoctVolPortClearMetadata::GetErrorPrefix() const {
    return "Clear volport metadata returned error";
}

KEDO2_ERRORS CIoctVolPortClearMetadata::MapReturnCode(DWORD returnCode) const {
    return VezkClearMetadataMap(returnCode);
}

void CIoctVolPortClearMetadata::FillPayload(BYTE* buffer) {
    Put32(buffer, offsetof(VOLPORT_IOCTL_CLEAR_METADATA, DiskId), m_DiskId);
}

std::string CIoctVolPortClearMetadata::Describe() const {
    return "diskScsiId: 0x" + Hex8(m_DiskId);
}

CIoctlVezkDisksInfo::CIoctlVezkDisksInfo(HANDLE target)
    : CIoctlVezk(target, IOCTL_VOLPORT_GET_DISKS_INFO), m_ControlCodeCopy(IOCTL_VOLPORT_GET_DISKS_INFO) {}

void CIoctlVezkDisksInfo::FillPayload(BYTE* buffer) {
    buffer[offsetof(VOLPORT_IOCTL_DISKS_INFO, NumberOfDisks)] = static_cast<BYTE>(m_Disks.size());
}

CConsolidatedError CIoctlVezkDisksInfo::_realInvoke() {
    CConsolidatedError result = CheckedInvokeWithBusyResend();
    // "Buffer too small": the answer's byte 28 says how many records are needed (one byte, so at
    // most 255); send once more with room for them.
    if (result.GetErrorCode() != CConsolidatedError::DRIVER_SRB_IO_RESPONSE || GetSrbReturnCode() != 1 ||
        !m_OutBuffer)
        return result;
    const size_t needed = m_OutBuffer.get()[offsetof(VOLPORT_IOCTL_DISKS_INFO, NumberOfDisks)];
    m_Disks.assign(needed, VOLPORT_DISK_RECORD{});
    _realFreeOutputBuffer();
    _realFreeInputBuffer();
    const DWORD size =
        static_cast<DWORD>(sizeof(VOLPORT_IOCTL_DISKS_INFO) + needed * sizeof(VOLPORT_DISK_RECORD));
    m_InBufferSize = size;
    m_OutBufferSize = size;
    m_BufferSize = size;
    return CheckedInvokeWithBusyResend();
}

CConsolidatedError CIoctlVezkDisksInfo::_realVerify() {
    CConsolidatedError result = CIoctlVezkBase::_realVerify();
    if (result.IsSuccessful() && m_OutBuffer && m_OutBufferSize != sizeof(VOLPORT_IOCTL_DISKS_INFO)) {
        // A disk that left between the two requests makes the second answer list fewer disks than
        // the buffer has room for: the records past its own count are not disks.
        // Nor are records past the bytes the driver returned.
        const size_t listed = m_OutBuffer.get()[offsetof(VOLPORT_IOCTL_DISKS_INFO, NumberOfDisks)];
        const size_t answered = AnswerLength();
        const size_t room =
            answered > sizeof(VOLPORT_IOCTL_DISKS_INFO) ? answered - sizeof(VOLPORT_IOCTL_DISKS_INFO) : 0;
        const size_t records = std::min(listed, room / sizeof(VOLPORT_DISK_RECORD));
        m_Disks.assign(records, VOLPORT_DISK_RECORD{});
        std::memcpy(m_Disks.data(), m_OutBuffer.get() + sizeof(VOLPORT_IOCTL_DISKS_INFO),
                    records * sizeof(VOLPORT_DISK_RECORD));
    }
    return result;
}

CIoctlVezkSupported::CIoctlVezkSupported(HANDLE target)
    : CIoctlVezk(target, IOCTL_VOLPORT_PLATFORM_IS_SUPPORTED) {
    SetCheckReturnCode(false);
}

KEDO2_ERRORS CIoctlVezkSupported::MapReturnCode(DWORD returnCode) const {
    return VezkSupportedMap(returnCode);
}

uint32_t CIoctlVezkSupported::GetPlatformSupport() const {
    return AnswerWord(offsetof(VOLPORT_IOCTL_PLATFORM_IS_SUPPORTED, PlatformSupport));
}

CIoctlVezkDiskValidForConcatenate::CIoctlVezkDiskValidForConcatenate(HANDLE target, uint32_t diskId,
                                                                     uint32_t memberRole)
    : CIoctlVezk(target, IOCTL_VOLPORT_DISK_VALID_FOR_CONCATENATE),
      m_ControlCodeCopy(IOCTL_VOLPORT_DISK_VALID_FOR_CONCATENATE), m_DiskId(diskId),
      m_MemberRole(memberRole) {
    SetCheckReturnCode(false);
}

KEDO2_ERRORS CIoctlVezkDiskValidForConcatenate::MapReturnCode(DWORD returnCode) const {
    return VezkDiskValidMap(returnCode);
}

void CIoctlVezkDiskValidForConcatenate::FillPayload(BYTE* buffer) {
    Put32(buffer, offsetof(VOLPORT_IOCTL_DISK_VALID_FOR_CONCATENATE, DiskId), m_DiskId);
    Put32(buffer, offsetof(VOLPORT_IOCTL_DISK_VALID_FOR_CONCATENATE, Member), m_MemberRole);
}

std::string CIoctlVezkDiskValidForConcatenate::Describe() const {
    return "diskScsiId: 0x" + Hex8(m_DiskId) + ", member: " + (m_MemberRole == 0 ? "fast" : "slow");
}

CIoctlVezkGetInfoExt::CIoctlVezkGetInfoExt(HANDLE target)
    : CIoctlVezk(target, IOCTL_VOLPORT_GET_VEZK_INFO_EXT) {}

void CIoctlVezkGetInfoExt::FillPayload(BYTE* buffer) {
    Put32(buffer, offsetof(VOLPORT_IOCTL_GET_VEZK_INFO_EXT_PTL, Kind), 1);
}

CIoctlIsFileCacheSupported::CIoctlIsFileCacheSupported(HANDLE target, uint32_t slowId, uint32_t fastId)
    : CIoctlVezk(target, IOCTL_VOLPORT_IS_FILE_CACHE_SUPPORTED),
      m_ControlCodeCopy(IOCTL_VOLPORT_IS_FILE_CACHE_SUPPORTED), m_SlowId(slowId), m_FastId(fastId) {}

void CIoctlIsFileCacheSupported::FillPayload(BYTE* buffer) {
    Put32(buffer, offsetof(VOLPORT_IOCTL_IS_FILE_CACHE_SUPPORTED, FastDiskId), m_FastId);
    Put32(buffer, offsetof(VOLPORT_IOCTL_IS_FILE_CACHE_SUPPORTED, SlowDiskId), m_SlowId);
}

uint32_t CIoctlIsFileCacheSupported::IsSupported() const {
    return AnswerWord(offsetof(VOLPORT_IOCTL_IS_FILE_CACHE_SUPPORTED, Result));
}

std::string CIoctlIsFileCacheSupported::Describe() const {
    return "fastScsiId: 0x" + Hex8(m_FastId) + ", slowScsiId: 0x" + Hex8(m_SlowId);
}
