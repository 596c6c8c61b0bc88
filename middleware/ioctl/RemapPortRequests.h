#pragma once
// Remap port requests ("OrvexRmp"): behind the remapping controller the driver's remap port shows
// the remapped devices as paths and targets of one SCSI port. These requests tell which path and
// target ids are implemented, what is connected at an address, the identifying words of a device
// and where it is located. The SRB codes 0x80000D01 to 0x80000D04 are those of the volume port
// too; only the signature tells the driver which family is meant.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "middleware/ioctl/CIoctScsiMiniport.h"
#include "middleware/ioctl/CIoctlTemplate.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "platform/win/WinStorage.h"

inline constexpr char kRemapPortSignature[] = "OrvexRmp";

constexpr DWORD IOCTL_REMAPPORT_GET_CONNECTION_INFO = 0x80000D01;
constexpr DWORD IOCTL_REMAPPORT_GET_PATHIDS_IMPLEMENTED = 0x80000D02;
constexpr DWORD IOCTL_REMAPPORT_GET_TARGETIDS_IMPLEMENTED = 0x80000D03;
constexpr DWORD IOCTL_REMAPPORT_GET_DEVICE_INFO = 0x80000D04;
constexpr DWORD IOCTL_REMAPPORT_GET_DEVICE_LOCATION = 0x80000D05;

// Port interface word of a connection answer.
constexpr ULONG kRemapPortInterfaceAhci = 2;
constexpr ULONG kRemapPortInterfaceNvme = 3;

struct REMAPPORT_IOCTL_GET_CONNECTION_INFO {
    static constexpr const char* kRuntimeClassName = "struct REMAPPORT_IOCTL_GET_CONNECTION_INFO";
    SRB_IO_CONTROL Header;
    ULONG ConnectionKind; // 1 unsupported, 2 SATA, 3 PCIe
    ULONG PortInterface;  // 2 AHCI, 3 NVMe
    ULONG BusWidth;
    ULONG BusSpeed;
};
static_assert(sizeof(REMAPPORT_IOCTL_GET_CONNECTION_INFO) == 44);
static_assert(offsetof(REMAPPORT_IOCTL_GET_CONNECTION_INFO, ConnectionKind) == 28);
static_assert(offsetof(REMAPPORT_IOCTL_GET_CONNECTION_INFO, PortInterface) == 32);
static_assert(offsetof(REMAPPORT_IOCTL_GET_CONNECTION_INFO, BusSpeed) == 40);

struct REMAPPORT_IOCTL_GET_DEVICE_INFO {
    static constexpr const char* kRuntimeClassName = "struct REMAPPORT_IOCTL_GET_DEVICE_INFO";
    SRB_IO_CONTROL Header;
    USHORT VendorId;
    USHORT DeviceId;
    USHORT SubsystemId;
    USHORT Reserved;
};
static_assert(sizeof(REMAPPORT_IOCTL_GET_DEVICE_INFO) == 36);
static_assert(offsetof(REMAPPORT_IOCTL_GET_DEVICE_INFO, VendorId) == 28);
static_assert(offsetof(REMAPPORT_IOCTL_GET_DEVICE_INFO, DeviceId) == 30);
static_assert(offsetof(REMAPPORT_IOCTL_GET_DEVICE_INFO, SubsystemId) == 32);

#pragma pack(push, 1)
struct REMAPPORT_IOCTL_GET_DEVICE_LOCATION {
    static constexpr const char* kRuntimeClassName = "struct REMAPPORT_IOCTL_GET_DEVICE_LOCATION";
    SRB_IO_CONTROL Header;
    UCHAR Version; // the layout version; the answer's must not be newer than this layer knows
    UCHAR Size;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
    ULONG LocationType; // 0 port, 1 cycle router, 2 root port, 3 slot
    // Type 0 and 1: one byte; type 2: a 16-bit PCI address (bus bits 0-7, device 8-12, function
    // 13-15); type 3: 16-bit socket, controller, PCI address and physical slot.
    UCHAR LocationData[8];
};
#pragma pack(pop)
static_assert(sizeof(REMAPPORT_IOCTL_GET_DEVICE_LOCATION) == 45);
static_assert(offsetof(REMAPPORT_IOCTL_GET_DEVICE_LOCATION, Version) == 28);
static_assert(offsetof(REMAPPORT_IOCTL_GET_DEVICE_LOCATION, PathId) == 30);
static_assert(offsetof(REMAPPORT_IOCTL_GET_DEVICE_LOCATION, Lun) == 32);
static_assert(offsetof(REMAPPORT_IOCTL_GET_DEVICE_LOCATION, LocationType) == 33);
static_assert(offsetof(REMAPPORT_IOCTL_GET_DEVICE_LOCATION, LocationData) == 37);

// The device-information request, built by its user with the device's address word.
using CIoctlReMapPortGetDeviceInfo =
    CIoctlTemplate<REMAPPORT_IOCTL_GET_DEVICE_INFO, REMAPPORT_IOCTL_GET_DEVICE_INFO,
                   IOCTL_REMAPPORT_GET_DEVICE_INFO>;

class CIoctlReMapPortGetConnectionInfo : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlReMapPortGetConnectionInfo")

public:
    // addressWord: path << 16, or a device's full packed address.
    CIoctlReMapPortGetConnectionInfo(HANDLE target, DWORD addressWord);

    // The answer record; verifies and throws the verification's error.
    REMAPPORT_IOCTL_GET_CONNECTION_INFO GetConnectionInfo();
    // The port interface word (3: an NVMe device); verifies and throws.
    ULONG GetConnectionType() { return GetConnectionInfo().PortInterface; }

protected:
    CConsolidatedError _realFormatInputBuffer() override;
};

// Answers in its SRB ReturnCode: bit n set when path id n is implemented.
class CIoctlReMapPortGetPathIdsImplemented : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlReMapPortGetPathIdsImplemented")

public:
    explicit CIoctlReMapPortGetPathIdsImplemented(HANDLE target);

protected:
    CConsolidatedError _realFormatInputBuffer() override;
};

// Answers in its SRB ReturnCode: bit n set when target id n is implemented on the path.
class CIoctlReMapPortGetTargetIdsImplemented : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlReMapPortGetTargetIdsImplemented")

public:
    CIoctlReMapPortGetTargetIdsImplemented(HANDLE target, DWORD pathId);

protected:
    CConsolidatedError _realFormatInputBuffer() override;
};

class CIoctlReMapPortGetDeviceLocation : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlReMapPortGetDeviceLocation")

public:
    // The newest answer layout this layer reads.
    static constexpr UCHAR kVersion = 45;

    CIoctlReMapPortGetDeviceLocation(HANDLE target, DWORD addressWord);

    // The answer when the request is verified, else null; does not verify by itself.
    const REMAPPORT_IOCTL_GET_DEVICE_LOCATION* GetLocation() const;

protected:
    CConsolidatedError _realFormatInputBuffer() override;
    CConsolidatedError _realVerify() override;

private:
    DWORD m_Address; // path, target and LUN; no port byte
};

// Walks all implemented path and target ids of a remap port.
class CioctlReMapPortIterator {
public:
    // Fills the list with port << 24 | path << 16 | target << 8 for every implemented pair, paths
    // and targets in ascending order. A failed request ends the walk with its error, keeping the
    // addresses found so far; an answer that fails verification is thrown.
    CConsolidatedError Invoke(HANDLE target, uint8_t portNumber);

    const std::vector<PackedScsiAddress>& GetAddresses() const { return m_Addresses; }
    uint32_t GetPathMask() const { return m_PathMask; }

private:
    std::vector<PackedScsiAddress> m_Addresses;
    uint32_t m_PathMask = 0;
};
