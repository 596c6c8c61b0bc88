#pragma once
// The records of the CSMI SAS requests, laid out as the published Common Storage Management Interface
// defines them: driver information, controller configuration and status ("CSMIALL"), phy
// information, the SATA signature of the device on a phy and the STP pass-through of one ATA
// command ("CSMISAS"). Layouts and values only: the optical drive library sends the driver
// information request itself.
#include <cstddef>
#include <cstdint>

#include "platform/win/WinStorage.h"

inline constexpr char kCsmiAllSignature[] = "CSMIALL";
inline constexpr char kCsmiSasSignature[] = "CSMISAS";

constexpr DWORD CC_CSMI_SAS_GET_DRIVER_INFO = 1;
constexpr DWORD CC_CSMI_SAS_GET_CNTLR_CONFIG = 2;
constexpr DWORD CC_CSMI_SAS_GET_CNTLR_STATUS = 3;
constexpr DWORD CC_CSMI_SAS_GET_PHY_INFO = 20;
constexpr DWORD CC_CSMI_SAS_STP_PASSTHRU = 25;
constexpr DWORD CC_CSMI_SAS_GET_SATA_SIGNATURE = 26;

struct CSMI_SAS_DRIVER_INFO {
    UCHAR szName[81];
    UCHAR szDescription[81];
    USHORT usMajorRevision;
    USHORT usMinorRevision;
    USHORT usBuildRevision;
    USHORT usReleaseRevision;
    USHORT usCSMIMajorRevision;
    USHORT usCSMIMinorRevision;
};
static_assert(sizeof(CSMI_SAS_DRIVER_INFO) == 174);
static_assert(offsetof(CSMI_SAS_DRIVER_INFO, usMajorRevision) == 162);

struct CSMI_SAS_DRIVER_INFO_BUFFER {
    static constexpr const char* kRuntimeClassName = "struct _CSMI_SAS_DRIVER_INFO_BUFFER";
    SRB_IO_CONTROL IoctlHeader;
    CSMI_SAS_DRIVER_INFO Information;
};
static_assert(sizeof(CSMI_SAS_DRIVER_INFO_BUFFER) == 204);
static_assert(offsetof(CSMI_SAS_DRIVER_INFO_BUFFER, Information.szDescription) == 109);
static_assert(offsetof(CSMI_SAS_DRIVER_INFO_BUFFER, Information.usMajorRevision) == 190);
static_assert(offsetof(CSMI_SAS_DRIVER_INFO_BUFFER, Information.usCSMIMajorRevision) == 198);
static_assert(offsetof(CSMI_SAS_DRIVER_INFO_BUFFER, Information.usCSMIMinorRevision) == 200);

struct CSMI_SAS_PCI_BUS_ADDRESS {
    UCHAR bBusNumber;
    UCHAR bDeviceNumber;
    UCHAR bFunctionNumber;
    UCHAR bReserved;
};

union CSMI_SAS_IO_BUS_ADDRESS {
    CSMI_SAS_PCI_BUS_ADDRESS PciAddress;
    UCHAR bReserved[32];
};
static_assert(sizeof(CSMI_SAS_IO_BUS_ADDRESS) == 32);

struct CSMI_SAS_CNTLR_CONFIG {
    ULONG uBaseIoAddress;
    struct {
        ULONG uLowPart;
        ULONG uHighPart;
    } BaseMemoryAddress;
    ULONG uBoardID;
    USHORT usSlotNumber;
    UCHAR bControllerClass;
    UCHAR bIoBusType;
    CSMI_SAS_IO_BUS_ADDRESS BusAddress;
    UCHAR szSerialNumber[81];
    USHORT usMajorRevision;
    USHORT usMinorRevision;
    USHORT usBuildRevision;
    USHORT usReleaseRevision;
    USHORT usBIOSMajorRevision;
    USHORT usBIOSMinorRevision;
    USHORT usBIOSBuildRevision;
    USHORT usBIOSReleaseRevision;
    ULONG uControllerFlags;
    USHORT usRromMajorRevision;
    USHORT usRromMinorRevision;
    USHORT usRromBuildRevision;
    USHORT usRromReleaseRevision;
    USHORT usRromBIOSMajorRevision;
    USHORT usRromBIOSMinorRevision;
    USHORT usRromBIOSBuildRevision;
    USHORT usRromBIOSReleaseRevision;
    UCHAR bReserved[7];
};
static_assert(sizeof(CSMI_SAS_CNTLR_CONFIG) == 180);
static_assert(offsetof(CSMI_SAS_CNTLR_CONFIG, usSlotNumber) == 16);
static_assert(offsetof(CSMI_SAS_CNTLR_CONFIG, BusAddress) == 20);
static_assert(offsetof(CSMI_SAS_CNTLR_CONFIG, szSerialNumber) == 52);
static_assert(offsetof(CSMI_SAS_CNTLR_CONFIG, usMajorRevision) == 134);
static_assert(offsetof(CSMI_SAS_CNTLR_CONFIG, uControllerFlags) == 152);
static_assert(offsetof(CSMI_SAS_CNTLR_CONFIG, bReserved) == 172);

struct CSMI_SAS_CNTLR_CONFIG_BUFFER {
    static constexpr const char* kRuntimeClassName = "struct _CSMI_SAS_CNTLR_CONFIG_BUFFER";
    SRB_IO_CONTROL IoctlHeader;
    CSMI_SAS_CNTLR_CONFIG Configuration;
};
static_assert(sizeof(CSMI_SAS_CNTLR_CONFIG_BUFFER) == 208);
static_assert(offsetof(CSMI_SAS_CNTLR_CONFIG_BUFFER, Configuration) == 28);

struct CSMI_SAS_CNTLR_STATUS {
    ULONG uStatus;
    ULONG uOfflineReason;
    UCHAR bReserved[28];
};
static_assert(sizeof(CSMI_SAS_CNTLR_STATUS) == 36);

struct CSMI_SAS_CNTLR_STATUS_BUFFER {
    static constexpr const char* kRuntimeClassName = "struct _CSMI_SAS_CNTLR_STATUS_BUFFER";
    SRB_IO_CONTROL IoctlHeader;
    CSMI_SAS_CNTLR_STATUS Status;
};
static_assert(sizeof(CSMI_SAS_CNTLR_STATUS_BUFFER) == 64);

struct CSMI_SAS_IDENTIFY {
    UCHAR bDeviceType;
    UCHAR bRestricted;
    UCHAR bInitiatorPortProtocol;
    UCHAR bTargetPortProtocol;
    UCHAR bRestricted2[8];
    UCHAR bSASAddress[8];
    UCHAR bPhyIdentifier;
    UCHAR bSignalClass;
    UCHAR bReserved[6];
};
static_assert(sizeof(CSMI_SAS_IDENTIFY) == 28);
static_assert(offsetof(CSMI_SAS_IDENTIFY, bSASAddress) == 12);
static_assert(offsetof(CSMI_SAS_IDENTIFY, bPhyIdentifier) == 20);

struct CSMI_SAS_PHY_ENTITY {
    CSMI_SAS_IDENTIFY Identify;
    UCHAR bPortIdentifier;
    UCHAR bNegotiatedLinkRate;
    UCHAR bMinimumLinkRate;
    UCHAR bMaximumLinkRate;
    UCHAR bPhyChangeCount;
    UCHAR bAutoDiscover;
    UCHAR bPhyFeatures;
    UCHAR bReserved;
    CSMI_SAS_IDENTIFY Attached;
};
static_assert(sizeof(CSMI_SAS_PHY_ENTITY) == 64);
static_assert(offsetof(CSMI_SAS_PHY_ENTITY, Attached) == 36);

struct CSMI_SAS_PHY_INFO {
    UCHAR bNumberOfPhys;
    UCHAR bReserved[3];
    CSMI_SAS_PHY_ENTITY Phy[32];
};
static_assert(sizeof(CSMI_SAS_PHY_INFO) == 2052);

struct CSMI_SAS_PHY_INFO_BUFFER {
    static constexpr const char* kRuntimeClassName = "struct _CSMI_SAS_PHY_INFO_BUFFER";
    SRB_IO_CONTROL IoctlHeader;
    CSMI_SAS_PHY_INFO Information;
};
static_assert(sizeof(CSMI_SAS_PHY_INFO_BUFFER) == 2080);
static_assert(offsetof(CSMI_SAS_PHY_INFO_BUFFER, Information.Phy) == 32);

struct CSMI_SAS_STP_PASSTHRU {
    UCHAR bPhyIdentifier;
    UCHAR bPortIdentifier;
    UCHAR bConnectionRate;
    UCHAR bReserved;
    UCHAR bDestinationSASAddress[8];
    UCHAR bReserved2[4];
    UCHAR bCommandFIS[20];
    ULONG uFlags;
    ULONG uDataLength;
};
static_assert(sizeof(CSMI_SAS_STP_PASSTHRU) == 44);

struct CSMI_SAS_STP_PASSTHRU_STATUS {
    UCHAR bConnectionStatus;
    UCHAR bReserved[3];
    UCHAR bStatusFIS[20];
    ULONG uSCR[16];
    ULONG uDataBytes;
};
static_assert(sizeof(CSMI_SAS_STP_PASSTHRU_STATUS) == 92);

struct CSMI_SAS_STP_PASSTHRU_BUFFER {
    static constexpr const char* kRuntimeClassName = "struct _CSMI_SAS_STP_PASSTHRU_BUFFER";
    SRB_IO_CONTROL IoctlHeader;
    CSMI_SAS_STP_PASSTHRU Parameters;
    CSMI_SAS_STP_PASSTHRU_STATUS Status;
    UCHAR bDataBuffer[1];
};
static_assert(sizeof(CSMI_SAS_STP_PASSTHRU_BUFFER) == 168);
static_assert(offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.bPortIdentifier) == 29);
static_assert(offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.bDestinationSASAddress) == 32);
static_assert(offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.bCommandFIS) == 44);
static_assert(offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.uFlags) == 64);
static_assert(offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.uDataLength) == 68);
static_assert(offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, Status.bStatusFIS) == 76);

struct CSMI_SAS_SATA_SIGNATURE {
    UCHAR bPhyIdentifier;
    UCHAR bReserved[3];
    UCHAR bSignatureFIS[20];
};
static_assert(sizeof(CSMI_SAS_SATA_SIGNATURE) == 24);

struct CSMI_SAS_SATA_SIGNATURE_BUFFER {
    static constexpr const char* kRuntimeClassName = "struct _CSMI_SAS_SATA_SIGNATURE_BUFFER";
    SRB_IO_CONTROL IoctlHeader;
    CSMI_SAS_SATA_SIGNATURE Signature;
};
static_assert(sizeof(CSMI_SAS_SATA_SIGNATURE_BUFFER) == 52);
static_assert(offsetof(CSMI_SAS_SATA_SIGNATURE_BUFFER, Signature.bSignatureFIS) == 32);
