#pragma once
// A small device tree for the configuration manager tests, and the device factory the product's
// callers build.
#include <memory>
#include <string>
#include <vector>

#include "middleware/core/CfgMgrDev.h"
#include "middleware/core/CfgMgrDevEnumerator.h"
#include "middleware/core/CfgMgrDevNodeGetters.h"

namespace cfgmgrtest {

inline const wchar_t* const kCtl = L"PCI\\VEN_1111&DEV_2222&SUBSYS_33334444&REV_01\\3&1&0&B8";
inline const wchar_t* const kDisk0 = L"SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000000";
inline const wchar_t* const kDisk1 = L"SCSI\\Disk&Ven_A&Prod_B\\4&1&0&010000";
inline const wchar_t* const kSwd = L"SWD\\X\\1";
inline const wchar_t* const kCtlPort =
    L"\\\\?\\pci#ven_1111&dev_2222&subsys_33334444&rev_01#3&1&0&b8#{2accfe60-c130-11d2-b082-00a0c91efb8b}";
inline const wchar_t* const kDisk0Path =
    L"\\\\?\\scsi#disk&ven_a&prod_b#4&1&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

// A SATA controller on bus 0 with a present and a phantom disk, and a software device. The
// controller has no description; its PCI subclass is a byte, which no property id may read.
inline sim::Value Fixture() {
    return sim::Value::parse(R"json({
      "name": "cfgmgr",
      "devices": { "nodes": [
        { "id": "PCI\\VEN_1111&DEV_2222&SUBSYS_33334444&REV_01\\3&1&0&B8",
          "class": "{4d36e97b-e325-11ce-bfc1-08002be10318}",
          "properties": { "Service": "moxraid", "Address": "0x170000", "BusNumber": 0,
                          "LocationPaths": ["PCIROOT(0)#PCI(1700)", "ACPI(_SB_)#ACPI(PCI0)#ACPI(SAT0)"],
                          "ContainerId": "{00000000-0000-0000-ffff-ffffffffffff}", "PciSubClass": 4,
                          "Capabilities": 4, "FriendlyName": { "type": 18 } },
          "interfaces": [ { "class": "{2accfe60-c130-11d2-b082-00a0c91efb8b}" } ] },
        { "id": "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000000",
          "parent": "PCI\\VEN_1111&DEV_2222&SUBSYS_33334444&REV_01\\3&1&0&B8",
          "class": "{4d36e967-e325-11ce-bfc1-08002be10318}",
          "interfaces": [ { "class": "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}" } ] },
        { "id": "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&010000",
          "parent": "PCI\\VEN_1111&DEV_2222&SUBSYS_33334444&REV_01\\3&1&0&B8",
          "class": "{4d36e967-e325-11ce-bfc1-08002be10318}", "present": false,
          "interfaces": [ { "class": "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}" } ] },
        { "id": "SWD\\X\\1", "class": "{4d36e97d-e325-11ce-bfc1-08002be10318}" }
      ] }
    })json");
}

// Devices with the real getters: resolve, locate with locateFlag, read the listed properties.
inline MoxCfgMgr::DevFactory Factory(int locateFlag, std::vector<int> propertyIds) {
    return [=](const std::wstring& path, const std::wstring& id) -> std::unique_ptr<MoxCfgMgr::IDev> {
        return std::make_unique<MoxCfgMgr::CfgMgrDev>(path, id, locateFlag, propertyIds,
                                                      std::make_unique<MoxCfgMgr::DevInstanceGetter>(),
                                                      std::make_unique<MoxCfgMgr::DevInstancePathResolver>(),
                                                      std::make_unique<MoxCfgMgr::DevPropGetterDevNode>());
    };
}

// The message of what f throws, or "" when it does not throw.
template <class F> std::string ThrownText(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

} // namespace cfgmgrtest
