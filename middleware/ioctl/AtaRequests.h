#pragma once
// ATA/AHCI miniport requests ("OrvexATA"): controller and port capabilities (AHCI information,
// link speed, port capabilities, port registers), a port's device map, a disk's 512-byte identify
// data and the security unlock of a password-locked disk; and the I/O classifier statistics
// ("OrvexCST"). Every request is addressed by the packed SCSI address in its header's ReturnCode
// word (0 for the controller itself) and, verified, passes only with the answer ReturnCode
// 0xFFFFFFFF.
#include <cstddef>
#include <cstdint>
#include <string>

#include "middleware/ioctl/CIoctScsiMiniport.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "middleware/ioctl/ZpoddInfo.h"
#include "platform/win/WinStorage.h"

inline constexpr char kClassifierSignature[] = "OrvexCST";

constexpr DWORD IOCTL_MP_GET_SET_CAPABILITIES = 0x80000A00;
constexpr DWORD IOCTL_MP_IDENTIFY = 0x80000A01;
constexpr DWORD IOCTL_MP_GET_PORT_DEVICE_MAP = 0x80000A04;
constexpr DWORD IOCTL_MP_UNLOCK_DISK = 0x80000A08;
constexpr DWORD IOCTL_GET_CLASSIFIER_STATS = 0x42004;

// Capabilities sub-functions.
constexpr ULONG IOCTL_MP_GSC_SF_AHCI_INFO = 100;
constexpr ULONG IOCTL_MP_GSC_SF_SPEED = 200;
constexpr ULONG IOCTL_MP_GSC_SF_PORT_CAP = 204;
constexpr ULONG IOCTL_MP_GSC_SF_PORT_REGISTERS = 208;

constexpr ULONG kCapabilitiesGet = 0;
constexpr ULONG kCapabilitiesSet = 1;

// The capabilities record; its data follow it.
struct GET_SET_CAPABILITIES {
    static constexpr const char* kRuntimeClassName = "struct GET_SET_CAPABILITIES";
    SRB_IO_CONTROL Header; // Length: 24 + DataLength, or 24 in direct mode
    ULONG RecordLength;    // 52
    ULONG Direction;
    ULONG SubFunction;
    ULONG DataOffset; // 52
    ULONG DataLength;
    ULONG Status;
};
static_assert(sizeof(GET_SET_CAPABILITIES) == 52);
static_assert(offsetof(GET_SET_CAPABILITIES, RecordLength) == 28);
static_assert(offsetof(GET_SET_CAPABILITIES, Direction) == 32);
static_assert(offsetof(GET_SET_CAPABILITIES, SubFunction) == 36);
static_assert(offsetof(GET_SET_CAPABILITIES, DataOffset) == 40);
static_assert(offsetof(GET_SET_CAPABILITIES, DataLength) == 44);
static_assert(offsetof(GET_SET_CAPABILITIES, Status) == 48);

// Link speed data: codes 0 to 4.
struct MP_SPEED_DATA {
    USHORT Speed;
    USHORT DriverMaxSpeed;
    USHORT ControllerMaxSpeed;
};
static_assert(sizeof(MP_SPEED_DATA) == 6);

struct GET_ID_DATA {
    static constexpr const char* kRuntimeClassName = "struct GET_ID_DATA";
    SRB_IO_CONTROL Header;
    UCHAR IdentifyData[512];
};
static_assert(sizeof(GET_ID_DATA) == 540);
static_assert(offsetof(GET_ID_DATA, IdentifyData) == 28);

struct PORT_DEVICE_MAP {
    static constexpr const char* kRuntimeClassName = "struct PORT_DEVICE_MAP";
    SRB_IO_CONTROL Header;
    ULONG DeviceMap; // bit 0: a device is attached
};
static_assert(sizeof(PORT_DEVICE_MAP) == 32);
static_assert(offsetof(PORT_DEVICE_MAP, DeviceMap) == 28);

constexpr ULONG kUserPassword = 0;
constexpr ULONG kMasterPassword = 1;

struct SECURITY_UNLOCK {
    static constexpr const char* kRuntimeClassName = "struct SECURITY_UNLOCK";
    SRB_IO_CONTROL Header;
    UCHAR Password[32];
    ULONG PasswordType;
    ULONG UnlockResult;
};
static_assert(sizeof(SECURITY_UNLOCK) == 68);
static_assert(offsetof(SECURITY_UNLOCK, Password) == 28);
static_assert(offsetof(SECURITY_UNLOCK, PasswordType) == 60);
static_assert(offsetof(SECURITY_UNLOCK, UnlockResult) == 64);

// The classifier answer: a word at 28, then 512 bytes of counters.
constexpr DWORD kClassifierStatsSize = 544;
constexpr DWORD kClassifierCountersOffset = 32;
constexpr DWORD kClassifierCountersSize = 512;

// The four capabilities requests. In the process's direct mode they declare only the 24-byte
// record after the header; a driver that refuses the long form with Win32 error 31 switches the
// process to that mode, and the request is sent once more.
class CIoctlMpGetSetCapabilities : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlMpGetSetCapabilities")

public:
    static constexpr DWORD kRecordSize = sizeof(GET_SET_CAPABILITIES);
    static constexpr DWORD kMinimumAnswer = 28;

    CIoctlMpGetSetCapabilities(HANDLE target, PackedScsiAddress address, ULONG subFunction, ULONG dataLength);

    // The capability data at offset 52; verifies and throws the verification's error.
    BYTE* GetCapabilityData();

    ULONG GetSubFunction() const { return m_SubFunction; }
    ULONG GetDataLength() const { return m_DataLength; }
    std::string Describe() const override;

protected:
    CConsolidatedError _realFormatInputBuffer() override;
    CConsolidatedError _realInvoke() override;

    ULONG m_Direction = kCapabilitiesGet;
    ULONG m_SubFunction;
    ULONG m_DataOffset = kRecordSize;
    ULONG m_DataLength;
    ULONG m_Status = 0;
};

class CIoctlMpGetAhciInfo : public CIoctlMpGetSetCapabilities {
    MOX_RUNTIME_CLASS("class CIoctlMpGetAhciInfo")

public:
    // CAP, two words of the driver's, PI (ports implemented) and CAP2.
    static constexpr ULONG kDataLength = 20;
    CIoctlMpGetAhciInfo(HANDLE target, PackedScsiAddress address)
        : CIoctlMpGetSetCapabilities(target, address, IOCTL_MP_GSC_SF_AHCI_INFO, kDataLength) {}
};

class CIoctlMpSpeed : public CIoctlMpGetSetCapabilities {
    MOX_RUNTIME_CLASS("class CIoctlMpSpeed")

public:
    static constexpr ULONG kDataLength = sizeof(MP_SPEED_DATA);
    // Speed codes above this are not the driver's.
    static constexpr USHORT kMaxSpeedCode = 4;
    CIoctlMpSpeed(HANDLE target, PackedScsiAddress address)
        : CIoctlMpGetSetCapabilities(target, address, IOCTL_MP_GSC_SF_SPEED, kDataLength) {}

    // Verifies and throws.
    MP_SPEED_DATA GetSpeed();

protected:
    CConsolidatedError _realVerify() override;
};

class CIoctlMpGetPortCapabilities : public CIoctlMpGetSetCapabilities {
    MOX_RUNTIME_CLASS("class CIoctlMpGetPortCapabilities")

public:
    // The port's PxCMD word.
    static constexpr ULONG kDataLength = 4;
    CIoctlMpGetPortCapabilities(HANDLE target, PackedScsiAddress address)
        : CIoctlMpGetSetCapabilities(target, address, IOCTL_MP_GSC_SF_PORT_CAP, kDataLength) {}
};

class CIoctlMpGetPortRegisters : public CIoctlMpGetSetCapabilities {
    MOX_RUNTIME_CLASS("class CIoctlMpGetPortRegisters")

public:
    static constexpr ULONG kDataLength = 128;
    CIoctlMpGetPortRegisters(HANDLE target, PackedScsiAddress address)
        : CIoctlMpGetSetCapabilities(target, address, IOCTL_MP_GSC_SF_PORT_REGISTERS, kDataLength) {}
};

// The identify data come through CIoctScsiMiniportUnchecked::GetVerifiedPayload.
class CIoctlMpIdentify : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlMpIdentify")

public:
    static constexpr DWORD kMinimumAnswer = 512;
    CIoctlMpIdentify(HANDLE target, PackedScsiAddress address);

protected:
    CConsolidatedError _realFormatInputBuffer() override;
};

// The device map comes through CIoctScsiMiniportUnchecked::GetVerifiedPayload.
class CIoctlMpGetPortDeviceMap : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlMpGetPortDeviceMap")

public:
    CIoctlMpGetPortDeviceMap(HANDLE target, PackedScsiAddress address);

protected:
    CConsolidatedError _realFormatInputBuffer() override;
};

class CIoctlMpDiskUnlock : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlMpDiskUnlock")

public:
    static constexpr size_t kPasswordSize = 32;

    CIoctlMpDiskUnlock(HANDLE target, ULONG passwordType, PackedScsiAddress diskAddress);
    // The password lives only in this object and its buffers; both are wiped before they go.
    ~CIoctlMpDiskUnlock() override;

    // Clears the password, then copies `length` bytes when they fit; a longer password leaves it
    // cleared, and the request then fails for want of a password.
    void SetPassword(const void* bytes, size_t length);
    // The driver's result word at offset 64; verifies and throws.
    ULONG GetUnlockResult();

    std::string Describe() const override;

protected:
    CConsolidatedError _realFormatInputBuffer() override;
    void _realFreeInputBuffer() override;
    void _realFreeOutputBuffer() override;

private:
    UCHAR m_Password[kPasswordSize] = {};
    ULONG m_PasswordType;
    PackedScsiAddress m_DiskAddress;
};

// The I/O classifier statistics of a volume; verified within the send, any ReturnCode passes.
class CIoctlIOClassifierStats : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlIOClassifierStats")

public:
    CIoctlIOClassifierStats(HANDLE target, DWORD volumeWord);

    // The 512 bytes of counters at offset 32; verifies and throws.
    const BYTE* GetCounters();
};
