#pragma once
// Where a PCI device sits: bus, device and function, its driver's service, and the ACPI element of
// its location path that names the port it hangs off ("RP" root port, "SAT" SATA, "PEG" graphics
// port).
#include <string>

#include "middleware/core/CfgMgrInterfaces.h"

namespace MoxCfgMgr {

class DevLocationInfo {
public:
    // Needs the address, bus number, service and location paths in the device's cache; a missing one
    // throws CfgMgrException.
    explicit DevLocationInfo(const IDev& device);

    int getBusNumber() const { return busNumber_; }
    int getDevice() const { return device_; }
    int getFunction() const { return function_; }
    // -1 and empty when no location path names such an element.
    int getAcpiElementNumber() const { return acpiElementNumber_; }
    const std::wstring& getAcpiElementName() const { return acpiElementName_; }
    const std::wstring& getServiceName() const { return serviceName_; }

private:
    int busNumber_ = -1;
    int device_ = 0;
    int function_ = 0;
    int acpiElementNumber_ = -1;
    std::wstring acpiElementName_;
    std::wstring serviceName_;
};

} // namespace MoxCfgMgr
