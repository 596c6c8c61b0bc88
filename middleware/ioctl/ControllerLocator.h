#pragma once
// One record of the process-wide controller table: how the library reaches one storage controller
// (its open device handle and its cross-process named mutex) and what it learned about it while
// the table was built.
#include <cstdint>

#include "middleware/ioctl/ControllerDictionaryValues.h"
#include "platform/win/WinTypes.h"

// Classification flags; one value per record.
constexpr uint32_t kControllerSataRaid = 0x01;    // the vendor's SATA/AHCI RAID controller
constexpr uint32_t kControllerReserved = 0x02;    // never set by the build; part of the masks below
constexpr uint32_t kControllerNvme = 0x04;        // the vendor's NVMe controller
constexpr uint32_t kControllerPlaceholder = 0x08; // the record made when no controller is found
constexpr uint32_t kControllerRemapping = 0x10;   // the vendor's remapping controller
constexpr uint32_t kControllerOtherSata = 0x20;   // another vendor's SATA or RAID adapter
constexpr uint32_t kControllerOtherNvme = 0x40;   // another vendor's NVMe adapter
constexpr uint32_t kControllerType4 = 0x80;       // never kept in the table

constexpr uint32_t kControllerMaskReal = 0x77; // registered with the version store; locked by mutex
constexpr uint32_t kControllerMaskOtherVendor = 0x60;
constexpr uint32_t kControllerMaskVendor = 0x17;
constexpr uint32_t kControllerMaskAhci = 0x0B;

constexpr uint32_t kControllerLocatorSignature = 0x46696E44; // 'FinD'

// Where the location walk ended: the element of the ACPI location path of the bus-0 device.
constexpr uint32_t kRootPortNone = 0;
constexpr uint32_t kRootPortSat = 1;
constexpr uint32_t kRootPortRp = 2;
constexpr uint32_t kRootPortPeg = 3;

struct ControllerLocator {
    uint32_t signature;
    uint32_t flags;
    HANDLE deviceHandle; // the storage-port interface, opened for reading and writing
    HANDLE mutex;        // "Scsi" + port + ":_RO"
    int32_t portNumber;
    ControllerDictionaryValues dictionary;
    uint32_t rootPortKind;
    uint8_t pciFunction;
    uint8_t pciDevice;
    uint8_t pciBus;
    uint8_t rootPortNumber; // 0xFF when the path has none
    char controllerName[128];
    uint16_t pciVendorId;
    uint16_t pciDeviceId;
    uint16_t pciSubsystemId;
    uint32_t driverVersion[4]; // major, minor, build, revision; all 0 when unknown
    char serviceName[64];
};
