#pragma once
// Doubles of the platform's own PPIs that the storage module consumes, answering what a test
// scripts: the SATA controller's device path (ControllerPathPpi), further NVMe devices
// (PchnStoragePpi: a private record with a signature, two functions and 80-byte device entries whose
// bus, function and device lie at 43, 44 and 45 + 80 * i) and the SMM hand-off signal. A test installs
// each when the platform would, before the module runs or after.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/uefi/pi/PlatformStoragePpis.h"

namespace sim::pei {

class Environment;

class PlatformPpis {
public:
    struct PchnDevice {
        // Function 0 (the device's MMIO base) and function 1 (its status only).
        EFI_STATUS baseStatus = EFI_SUCCESS;
        uint32_t mmioBase = 0;
        EFI_STATUS infoStatus = EFI_SUCCESS;
        uint8_t bus = 0, device = 0, function = 0;
    };

    explicit PlatformPpis(Environment& env);
    ~PlatformPpis();

    // ControllerPathPpi's answer to index 0: its status and the path as it is at install, end node
    // included (ACPI PNP0A03, PCI device 0x17 function 0, end).
    EFI_STATUS controllerPathStatus = EFI_SUCCESS;
    std::vector<uint8_t> controllerPath;
    EFI_STATUS InstallControllerPath();

    // PchnStoragePpi: function 0 answers pchnEndStatus past the last device.
    std::vector<PchnDevice> pchnDevices;
    uint32_t pchnSignature = PCHN_STORAGE_SIGNATURE;
    EFI_STATUS pchnEndStatus = EFI_NOT_FOUND;
    // Builds the private record from the fields above as they are now.
    EFI_STATUS InstallPchnStorage();

    EFI_STATUS InstallSmmHandoffSignal();

    EFI_STATUS GetControllerPath(UINT32 index, UINT32* length, EFI_DEVICE_PATH_PROTOCOL** path);
    EFI_STATUS GetDeviceBase(UINT32 index, UINT32* base);
    EFI_STATUS GetDeviceInfo(UINT32 index, UINT32* info0, UINT32* info1);

private:
    Environment& env_;
    ControllerPathPpi controllerPathPpi_{};
    EFI_PEI_PPI_DESCRIPTOR controllerPathDescriptor_{};
    std::vector<uint8_t> controllerPathInstalled_;
    // The private record: signature, interface, entries.
    std::vector<uint64_t> pchnRecord_;
    EFI_PEI_PPI_DESCRIPTOR pchnDescriptor_{};
    UINT32 signalPpi_ = 0;
    EFI_PEI_PPI_DESCRIPTOR signalDescriptor_{};
};

} // namespace sim::pei
