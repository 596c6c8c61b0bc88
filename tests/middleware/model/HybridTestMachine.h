#pragma once
// Machines with hybrid NVMe drives: their halves behind the remapping controller and the NVMe
// controller of sim/machines/controllers.json.
#include <string>
#include <vector>

#include "sim/MachineBuilder.h"

namespace hybridtest {

// Hybrid NVMe halves behind the remapping controller (port 2) and the NVMe controller (port 1) of
// controllers.json: the port with the half's PCI identity, and the disk there with its serial.
struct HybridHalf {
    int adapter;
    uint32_t path;
    const char* serial;
    const char* subsystem;
};

inline std::string HybridPort(const HybridHalf& h) {
    return R"({"path": )" + std::to_string(h.path) + R"(, "target": 0,
               "device_info": {"vendor": "0x1F4A", "device": "0x4A20", "subsystem": ")" +
           h.subsystem + R"("}})";
}

// The machine with these halves: a disk already described at a half's address (port 2 path 1, port 1
// path 0) takes the half's identity, any other half is a disk of its own.
inline sim::MachineBuilder HybridMachine(const std::vector<HybridHalf>& halves) {
    sim::MachineBuilder machine = sim::MachineBuilder::FromFile("controllers.json");
    std::string remapPorts, nvmePorts;
    for (const HybridHalf& h : halves) {
        std::string& ports = h.adapter == 2 ? remapPorts : nvmePorts;
        ports += (ports.empty() ? "" : ",") + HybridPort(h);
        const char* described = h.adapter == 2 && h.path == 1   ? "/disks/5"
                                : h.adapter == 1 && h.path == 0 ? "/disks/1"
                                                                : nullptr;
        if (!described) {
            machine.Append("/disks", R"({"port": )" + std::to_string(h.adapter) + R"(, "path": )" +
                                         std::to_string(h.path) + R"(, "target": 0, "protocol": "nvme",
                                         "model": "Orvex Hybrid H10", "serial": ")" +
                                         h.serial + R"(", "firmware": "HX01", "sectors": 62533296})");
            continue;
        }
        const std::string at = described;
        machine.Set(at + "/model", R"("Orvex Hybrid H10")")
            .Set(at + "/serial", "\"" + std::string(h.serial) + "\"")
            .Set(at + "/firmware", R"("HX01")")
            .Set(at + "/sectors", "62533296");
    }
    // Port 1 keeps its own NVMe drive, not a hybrid one, when no half sits there.
    machine.Set("/adapters/2/ports", "[" + remapPorts + "]")
        .Set("/adapters/1/ports",
             nvmePorts.empty() ? R"([{"path": 0, "target": 0}])" : "[" + nvmePorts + "]");
    return machine;
}

} // namespace hybridtest
