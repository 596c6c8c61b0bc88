#pragma once
// A simulated PEI phase of a machine for the module to run in, with the module's state as at load.
// Most tests run on a machine of PCI functions only: the default machine costs far more to set up.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "firmware/moxsecpeim/ModuleState.h"
#include "firmware/moxsecpeim/MoxSecPeim.h"
#include "sim/Machine.h"
#include "sim/pei/PeiEnvironment.h"

// A PCI function's device node, as a machine description has it.
inline std::string PciNode(uint16_t vendor, uint16_t device, unsigned bus, unsigned slot, unsigned function,
                           uint32_t classCode, const std::string& bars = "[]") {
    char text[400];
    std::snprintf(
        text, sizeof text,
        R"({"id": "PCI\\VEN_%04X&DEV_%04X\\%u&%u&%u", "properties": {"BusNumber": %u, "Address": %u, )"
        R"("PciBaseClass": %u, "PciSubClass": %u, "PciProgIf": %u}, "pci": {"bars": %s}})",
        vendor, device, bus, slot, function, bus, (slot << 16) | function, classCode >> 16,
        (classCode >> 8) & 0xFF, classCode & 0xFF, bars.c_str());
    return text;
}

inline const std::string kSataBars = R"(["0", "0", "0", "0", "0", "0xFE000000"])";

// A machine of PCI functions only.
inline sim::MachineBuilder PciMachine(const std::vector<std::string>& nodes) {
    std::string list;
    for (const auto& node : nodes)
        list += (list.empty() ? "" : ", ") + node;
    return sim::MachineBuilder("pei").Set("/devices", R"({"nodes": [)" + list + "]}");
}

// The PCI side of a small resume-time platform: the SATA controller at 0:23.0, a root port at 0:29.0
// and NVMe controllers at 1:0.0 and 2:0.0.
inline sim::MachineBuilder PeiMachine() {
    return PciMachine({PciNode(0x1F4A, 0x2826, 0, 0x17, 0, 0x010400, kSataBars),
                       PciNode(0x1F4A, 0x43B8, 0, 0x1D, 0, 0x060400),
                       PciNode(0x1D79, 0x2263, 1, 0, 0, 0x010802),
                       PciNode(0x1C8F, 0x5012, 2, 0, 0, 0x010802)});
}

class PeiModuleTest : public ::testing::Test {
protected:
    explicit PeiModuleTest(const sim::MachineBuilder& description = PeiMachine()) : machine_(description) {
        gMoxSecPeim = MoxSecPeimGlobals{};
    }

    EFI_STATUS RunModule() { return MoxSecPeimEntry(nullptr, env_.Services()); }
    // The module's own view of the services, for a test that calls one of its functions alone.
    void UseServices() { gMoxSecPeim.PeiServices = env_.Services(); }

    size_t Calls(const std::string& kind, const std::string& selectors = "{}") {
        return machine_->calls().CountMatching(kind, selectors);
    }
    size_t Installed(const EFI_GUID& guid) { return env_.ppis().Installed(guid).size(); }
    uint16_t SataCommand() { return static_cast<uint16_t>(env_.pci().Find(0, 0x17, 0)->Get(0x04, 2)); }

    sim::ScopedMachine machine_;
    sim::pei::Environment env_;
};

// A machine whose one PCI function is the SATA controller at 0:23.0, with that identity, class code
// (base class, sub-class, programming interface) and BARs.
inline sim::MachineBuilder SataMachine(uint16_t vendor, uint16_t device, uint32_t classCode = 0x010400,
                                       const std::string& bars = kSataBars) {
    return PciMachine({PciNode(vendor, device, 0, 0x17, 0, classCode, bars)});
}
