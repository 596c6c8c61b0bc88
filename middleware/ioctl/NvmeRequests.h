#pragma once
// NVMe miniport requests ("OrvexNvm") for a device behind the driver, also one behind the
// remapping controller: its Identify Controller data, one feature through an NVMe pass-through
// record, the SMART / health information log page, and the registration and reading of
// asynchronous event notifications. Each is addressed by the device's packed SCSI address.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "middleware/ioctl/CIoctScsiMiniport.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "platform/win/WinStorage.h"

inline constexpr char kNvmeSignature[] = "OrvexNvm";

constexpr DWORD IOCTL_NVME_GET_LOG_PAGE = 0xF0000010;
constexpr DWORD IOCTL_NVME_GET_CONTROLLER_IDENTIFY_DATA = 0xF0002800;
constexpr DWORD IOCTL_NVME_GET_FEATURES_PASS_THROUGH = 0xF0002808;
constexpr DWORD IOCTL_NVME_REGISTER_AER = 0xF0003000;
constexpr DWORD IOCTL_NVME_GET_AER_DATA = 0xF0003800;

constexpr size_t kNvmeIdentifySize = 4096;
constexpr size_t kNvmeHealthLogSize = 512;
constexpr size_t kNvmeFeatureDataSize = 4096;
constexpr size_t kNvmeEventNameSize = 32;
constexpr size_t kNvmeMaxEvents = 10;

struct NVME_IOCTL_GET_REMAPPED_DEVICE_INFORMATION {
    static constexpr const char* kRuntimeClassName = "struct NVME_IOCTL_GET_REMAPPED_DEVICE_INFORMATION";
    SRB_IO_CONTROL Header;
    UCHAR IdentifyController[kNvmeIdentifySize];
};
static_assert(sizeof(NVME_IOCTL_GET_REMAPPED_DEVICE_INFORMATION) == 4124);
static_assert(offsetof(NVME_IOCTL_GET_REMAPPED_DEVICE_INFORMATION, IdentifyController) == 28);

#pragma pack(push, 1)
// The pass-through record of the Get Features request.
struct NVME_IOCTL_GET_FEATURES {
    SRB_IO_CONTROL Header;
    UCHAR Version; // 1
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
    UCHAR SubmissionEntry[64]; // opcode at its byte 0, command dword 10 at its byte 40
    UCHAR Reserved1;
    ULONG CompletionDword0;
    UCHAR CompletionRest[10];
    USHORT CompletionStatus; // bit 0 phase tag, 1-8 status code, 9-11 status code type
    UCHAR Reserved2[3];
    ULONG DataOffset; // from the start of the buffer
    ULONG DataLength;
    UCHAR Reserved3[40];
    UCHAR Data[kNvmeFeatureDataSize];
    UCHAR Slack[4];
};
#pragma pack(pop)
static_assert(sizeof(NVME_IOCTL_GET_FEATURES) == 4264);
static_assert(offsetof(NVME_IOCTL_GET_FEATURES, Version) == 28);
static_assert(offsetof(NVME_IOCTL_GET_FEATURES, SubmissionEntry) == 32);
static_assert(offsetof(NVME_IOCTL_GET_FEATURES, Reserved1) == 96);
static_assert(offsetof(NVME_IOCTL_GET_FEATURES, CompletionDword0) == 97);
static_assert(offsetof(NVME_IOCTL_GET_FEATURES, CompletionStatus) == 111);
static_assert(offsetof(NVME_IOCTL_GET_FEATURES, DataOffset) == 116);
static_assert(offsetof(NVME_IOCTL_GET_FEATURES, DataLength) == 120);
static_assert(offsetof(NVME_IOCTL_GET_FEATURES, Data) == 164);

struct NVME_IOCTL_GET_LOG_PAGE {
    SRB_IO_CONTROL Header;
    UCHAR LogPageId;
    UCHAR Reserved[3];
    ULONG NamespaceId;
    ULONG Length;
    UCHAR LogPage[kNvmeHealthLogSize];
};
static_assert(sizeof(NVME_IOCTL_GET_LOG_PAGE) == 552);
static_assert(offsetof(NVME_IOCTL_GET_LOG_PAGE, NamespaceId) == 32);
static_assert(offsetof(NVME_IOCTL_GET_LOG_PAGE, Length) == 36);
static_assert(offsetof(NVME_IOCTL_GET_LOG_PAGE, LogPage) == 40);

struct NVME_IOCTL_REGISTER_AER {
    SRB_IO_CONTROL Header;
    ULONG Reserved;
    char EventName[kNvmeEventNameSize];
    UCHAR Reserved2[8];
    ULONGLONG Context; // all ones
};
static_assert(sizeof(NVME_IOCTL_REGISTER_AER) == 80);
static_assert(offsetof(NVME_IOCTL_REGISTER_AER, EventName) == 32);
static_assert(offsetof(NVME_IOCTL_REGISTER_AER, Context) == 72);

#pragma pack(push, 1)
struct NVME_IOCTL_GET_AER_DATA {
    SRB_IO_CONTROL Header;
    char EventName[kNvmeEventNameSize];
    UCHAR Reserved;
    ULONG Events[kNvmeMaxEvents]; // packed, from offset 61
    UCHAR Reserved2[3];
    ULONG EventCount;
};
#pragma pack(pop)
static_assert(sizeof(NVME_IOCTL_GET_AER_DATA) == 108);
static_assert(offsetof(NVME_IOCTL_GET_AER_DATA, EventName) == 28);
static_assert(offsetof(NVME_IOCTL_GET_AER_DATA, Events) == 61);
static_assert(offsetof(NVME_IOCTL_GET_AER_DATA, EventCount) == 104);

// Identify Controller of a device; its user keeps it as the device's identify source and verifies
// it within the send (the answer must carry ReturnCode 1).
class CIoctlNvmeGetRemappedDeviceInfo : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlNvmeGetRemappedDeviceInfo")

public:
    CIoctlNvmeGetRemappedDeviceInfo(HANDLE target, PackedScsiAddress address);

    // Identify bytes 24 to 63 and 64 to 71 as zero-terminated texts, copied from the answer on the
    // first call (which verifies and throws) and answered from the copy afterwards.
    const char* GetModelNumber();
    const char* GetFirmwareRevision();

protected:
    CConsolidatedError _realFormatInputBuffer() override;

private:
    char m_ModelNumber[41] = {};
    char m_FirmwareRevision[9] = {};
    bool m_HaveModelNumber = false;
    bool m_HaveFirmwareRevision = false;
};

// Get Features of the Host Memory Buffer feature. Its answer is read without verification.
class CIoctlNvmeGetFeatures : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlNvmeGetFeatures")

public:
    static constexpr UCHAR kGetFeaturesOpcode = 0x0A;
    static constexpr ULONG kHostMemoryBufferFeature = 0x0D;

    CIoctlNvmeGetFeatures(HANDLE target, PackedScsiAddress address);

    // The completion's status code and status code type are both 0 (the phase tag aside).
    bool Succeeded() const;
    ULONG GetCompletionDword() const;
    // Copies the 4096 bytes of data from where the answer's offset word says; false, copying
    // nothing, when they do not lie wholly inside the answer.
    bool CopyData(void* buffer) const;

protected:
    CConsolidatedError _realFormatInputBuffer() override;

private:
    PackedScsiAddress m_Address;
};

class CIoctlNvmeGetHealthLogPage : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlNvmeGetHealthLogPage")

public:
    static constexpr UCHAR kHealthLogPage = 0x02;

    CIoctlNvmeGetHealthLogPage(HANDLE target, PackedScsiAddress address);

    // Copies the 512-byte log page; false without an answer buffer.
    bool GetLogPage(void* buffer) const;

protected:
    CConsolidatedError _realFormatInputBuffer() override;

private:
    ULONG m_NamespaceId = 0xFFFFFFFF;
    PackedScsiAddress m_Address;
};

// The event requests carry the name of the event the driver signals (up to 32 bytes). A name
// longer than that, or none at all, fails the formatting and nothing is sent.
class CIoctlNvmeRegisterAer : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlNvmeRegisterAer")

public:
    CIoctlNvmeRegisterAer(HANDLE target, PackedScsiAddress address, const char* eventName);

protected:
    CConsolidatedError _realFormatInputBuffer() override;

private:
    std::string m_EventName;
    bool m_HasName;
};

class CIoctlNvmeGetAerData : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlNvmeGetAerData")

public:
    CIoctlNvmeGetAerData(HANDLE target, PackedScsiAddress address, const char* eventName);

    // Appends the answer's event words (at most the ten it has room for) to the vector; none when
    // the answer does not reach its count word. Returns how many were appended.
    size_t GetEvents(std::vector<ULONG>& events) const;

protected:
    CConsolidatedError _realFormatInputBuffer() override;

private:
    PackedScsiAddress m_Address;
    std::string m_EventName;
    bool m_HasName;
};
