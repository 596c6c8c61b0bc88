#pragma once
// The volume port requests (signature "OrvexVlp"): cache-memory pairing of a fast and a slow disk
// and what the driver reports about it. CIoctlVezk frames one record, verifies on invoke, resends
// once after 1 ms when the driver is busy, and turns the driver's ReturnCode into the pairing
// layer's codes.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "middleware/ioctl/CIoctScsiMiniport.h"
#include "middleware/ioctl/VezkRecords.h"

// ReturnCode texts and maps of the volume port, by class; exposed for the tables of the tests and
// the pairing layer. A map answers 0xA0070000 for a ReturnCode it does not name.
const char* VezkEnableReturnCodeText(DWORD returnCode);
const char* VezkDisableReturnCodeText(DWORD returnCode);
const char* VezkStatusReturnCodeText(DWORD returnCode);
KEDO2_ERRORS VezkEnableMap(DWORD returnCode);
KEDO2_ERRORS VezkDisableMap(DWORD returnCode);
KEDO2_ERRORS VezkPairValidMap(DWORD returnCode);
KEDO2_ERRORS VezkDiskValidMap(DWORD returnCode);
KEDO2_ERRORS VezkClearMetadataMap(DWORD returnCode);
KEDO2_ERRORS VezkSupportedMap(DWORD returnCode);

// The part of CIoctlVezk that does not depend on the record.
class CIoctlVezkBase : public CIoctScsiMiniport {
public:
    // The code the ReturnCode map gave for the last verified answer (0xA0070000 when none). For the
    // requests whose callers read the ReturnCode themselves the invoke stays a success; this keeps
    // the code their map gave.
    KEDO2_ERRORS GetMappedCode() const { return m_MappedCode; }

protected:
    CIoctlVezkBase(HANDLE target, DWORD controlCode, DWORD size);

    // The checked invoke, resent once after 1 ms when the driver answers busy.
    CConsolidatedError _realInvoke() override;
    // The miniport checks, then the ReturnCode map.
    CConsolidatedError _realVerify() override;
    // The record's name and the template's, for texts.
    virtual const char* RecordName() const = 0;
    virtual const std::string& TemplateName() const = 0;
    // Slot 14: the ReturnCode map; slot 15: the payload after the header.
    virtual KEDO2_ERRORS MapReturnCode(DWORD) const;
    virtual void FillPayload(BYTE*) {}
    CConsolidatedError _realFormatInputBuffer() override;
    CConsolidatedError CheckedInvokeWithBusyResend();

    // A 32-bit word of the answer as it stands; 0 outside the answer buffer.
    uint32_t AnswerWord(size_t offset) const;

    KEDO2_ERRORS m_MappedCode = CConsolidatedError::HALVEX_UNKNOWN;
};

template <class Record, class Derived> class CIoctlVezk : public CIoctlVezkBase {
public:
    CIoctlVezk(HANDLE target, DWORD controlCode) : CIoctlVezkBase(target, controlCode, sizeof(Record)) {}

    // "CIoctlVezk<struct RECORD,class Derived>", as the product's texts name the template.
    static const std::string& TemplateNameOf() {
        static const std::string name = mox::TemplateRuntimeClassName(
            "CIoctlVezk", {mox::RuntimeClassNameOf<Record>(), mox::RuntimeClassNameOf<Derived>()});
        return name;
    }

protected:
    const char* RecordName() const override {
        static const std::string name = [] {
            std::string n = mox::RuntimeClassNameOf<Record>();
            const std::string prefix = "struct ";
            return n.compare(0, prefix.size(), prefix) == 0 ? n.substr(prefix.size()) : n;
        }();
        return name.c_str();
    }
    const std::string& TemplateName() const override { return TemplateNameOf(); }
};

class CIoctlVezkEnable : public CIoctlVezk<VOLPORT_IOCTL_CONCATENATE, CIoctlVezkEnable> {
    MOX_RUNTIME_CLASS("class CIoctlVezkEnable")

public:
    CIoctlVezkEnable(HANDLE target, uint32_t fastId, uint32_t slowId, uint64_t fileCacheOffset,
                     uint64_t fileCacheSize, bool modeFlag, uint32_t dataLocation);
    const char* GetReturnCodeName(DWORD returnCode) const override;
    const char* GetErrorPrefix() const override;
    std::string Describe() const override;

protected:
    KEDO2_ERRORS MapReturnCode(DWORD returnCode) const override;
    void FillPayload(BYTE* buffer) override;

private:
    DWORD m_ControlCodeCopy;
    uint32_t m_FastId;
    uint32_t m_SlowId;
    uint64_t m_FileCacheOffset;
    uint64_t m_FileCacheSize;
    bool m_ModeFlag;
    uint32_t m_DataLocation;
};

class CIoctlVezkMigration : public CIoctlVezk<VOLPORT_IOCTL_MIGRATION_STATUS, CIoctlVezkMigration> {
    MOX_RUNTIME_CLASS("class CIoctlVezkMigration")

public:
    explicit CIoctlVezkMigration(HANDLE target);
    const char* GetReturnCodeName(DWORD returnCode) const override;
    // The progress in percent when it is at most 100, else -1; verifies and throws.
    int32_t GetProgress();
};

class CIoctlVezkDisable : public CIoctlVezk<VOLPORT_IOCTL_SEPARATE, CIoctlVezkDisable> {
    MOX_RUNTIME_CLASS("class CIoctlVezkDisable")

public:
    explicit CIoctlVezkDisable(HANDLE target);
    const char* GetReturnCodeName(DWORD returnCode) const override;
    const char* GetErrorPrefix() const override;

protected:
    KEDO2_ERRORS MapReturnCode(DWORD returnCode) const override;
};

class CIoctlVezkGetInfo : public CIoctlVezk<VOLPORT_IOCTL_GET_VEZK_INFO, CIoctlVezkGetInfo> {
    MOX_RUNTIME_CLASS("class CIoctlVezkGetInfo")

public:
    explicit CIoctlVezkGetInfo(HANDLE target);
    const char* GetReturnCodeName(DWORD returnCode) const override;
};

class CIoctlResetVolportPerformanceCounters
    : public CIoctlVezk<VOLPORT_IOCTL_RESET_PERFORMANCE_COUNTERS, CIoctlResetVolportPerformanceCounters> {
    MOX_RUNTIME_CLASS("class CIoctlResetVolportPerformanceCounters")

public:
    explicit CIoctlResetVolportPerformanceCounters(HANDLE target);
};

class CIoctlGetPerformanceCounters
    : public CIoctlVezk<VOLPORT_IOCTL_GET_PERFORMANCE_COUNTERS, CIoctlGetPerformanceCounters> {
    MOX_RUNTIME_CLASS("class CIoctlGetPerformanceCounters")

public:
    static constexpr size_t kCountersSize = 144;
    explicit CIoctlGetPerformanceCounters(HANDLE target);
    const char* GetReturnCodeName(DWORD returnCode) const override;
    // The 144-byte counters block; verifies and throws.
    const BYTE* GetCounters();
};

class CIoctlVezkDisksPairValidForConcatenate
    : public CIoctlVezk<VOLPORT_IOCTL_VALID_FOR_CONCATENATE, CIoctlVezkDisksPairValidForConcatenate> {
    MOX_RUNTIME_CLASS("class CIoctlVezkDisksPairValidForConcatenate")

public:
    // The slow disk comes first here and second on the wire.
    CIoctlVezkDisksPairValidForConcatenate(HANDLE target, uint32_t slowId, uint32_t fastId);
    std::string Describe() const override;

protected:
    KEDO2_ERRORS MapReturnCode(DWORD returnCode) const override;
    void FillPayload(BYTE* buffer) override;

private:
    DWORD m_ControlCodeCopy;
    uint32_t m_SlowId;
    uint32_t m_FastId;
};

class CIoctVolPortClearMetadata : public CIoctlVezk<VOLPORT_IOCTL_CLEAR_METADATA, CIoctVolPortClearMetadata> {
    MOX_RUNTIME_CLASS("class CIoctVolPortClearMetadata")

public:
    CIoctVolPortClearMetadata(HANDLE target, uint32_t diskId);
    const char* GetErrorPrefix() const override;
    std::string Describe() const override;

protected:
    KEDO2_ERRORS MapReturnCode(DWORD returnCode) const override;
    void FillPayload(BYTE* buffer) override;

private:
    DWORD m_ControlCodeCopy;
    uint32_t m_DiskId;
};

// The disk list in two steps: a first request with room for the records it already holds (none at
// first); a "buffer too small" answer (ReturnCode 1) says in byte 28 how many are needed, and the
// request is sent once more with room for them.
class CIoctlVezkDisksInfo : public CIoctlVezk<VOLPORT_IOCTL_DISKS_INFO, CIoctlVezkDisksInfo> {
    MOX_RUNTIME_CLASS("class CIoctlVezkDisksInfo")

public:
    explicit CIoctlVezkDisksInfo(HANDLE target);
    // The records the last verified answer filled.
    const std::vector<VOLPORT_DISK_RECORD>& GetDisks() const { return m_Disks; }

protected:
    CConsolidatedError _realInvoke() override;
    CConsolidatedError _realVerify() override;
    void FillPayload(BYTE* buffer) override;

private:
    DWORD m_ControlCodeCopy;
    std::vector<VOLPORT_DISK_RECORD> m_Disks;
};

class CIoctlVezkSupported : public CIoctlVezk<VOLPORT_IOCTL_PLATFORM_IS_SUPPORTED, CIoctlVezkSupported> {
    MOX_RUNTIME_CLASS("class CIoctlVezkSupported")

public:
    explicit CIoctlVezkSupported(HANDLE target);
    // The platform support word of the answer, unverified.
    uint32_t GetPlatformSupport() const;

protected:
    KEDO2_ERRORS MapReturnCode(DWORD returnCode) const override;
};

class CIoctlVezkDiskValidForConcatenate
    : public CIoctlVezk<VOLPORT_IOCTL_DISK_VALID_FOR_CONCATENATE, CIoctlVezkDiskValidForConcatenate> {
    MOX_RUNTIME_CLASS("class CIoctlVezkDiskValidForConcatenate")

public:
    // memberRole: 0 the fast member, any other value the slow one.
    CIoctlVezkDiskValidForConcatenate(HANDLE target, uint32_t diskId, uint32_t memberRole);
    std::string Describe() const override;

protected:
    KEDO2_ERRORS MapReturnCode(DWORD returnCode) const override;
    void FillPayload(BYTE* buffer) override;

private:
    DWORD m_ControlCodeCopy;
    uint32_t m_DiskId;
    uint32_t m_MemberRole;
};

class CIoctlVezkGetInfoExt : public CIoctlVezk<VOLPORT_IOCTL_GET_VEZK_INFO_EXT_PTL, CIoctlVezkGetInfoExt> {
    MOX_RUNTIME_CLASS("class CIoctlVezkGetInfoExt")

public:
    explicit CIoctlVezkGetInfoExt(HANDLE target);

protected:
    void FillPayload(BYTE* buffer) override;
};

class CIoctlIsFileCacheSupported
    : public CIoctlVezk<VOLPORT_IOCTL_IS_FILE_CACHE_SUPPORTED, CIoctlIsFileCacheSupported> {
    MOX_RUNTIME_CLASS("class CIoctlIsFileCacheSupported")

public:
    // The slow disk comes first here and second on the wire.
    CIoctlIsFileCacheSupported(HANDLE target, uint32_t slowId, uint32_t fastId);
    // The result word of the answer, unverified.
    uint32_t IsSupported() const;
    std::string Describe() const override;

protected:
    void FillPayload(BYTE* buffer) override;

private:
    DWORD m_ControlCodeCopy;
    uint32_t m_SlowId;
    uint32_t m_FastId;
};
