#pragma once
// Machines for the controller table, interface version and dictionary tests: the machine with one
// controller of every kind (sim/machines/controllers.json) and small edits of machine descriptions.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/ioctl/ControllerLocator.h"
#include "middleware/ioctl/IoctlHooks.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinSync.h"
#include "sim/Machine.h"

namespace tabletest {

using json = sim::Value;

inline json ControllersMachine() {
    return sim::MachineBuilder::FromFile("controllers.json").AsValue();
}

// The device node with this instance id, or the adapter with this port; the test fails without.
inline json& Node(json& machine, const std::string& id) {
    for (auto& n : machine["devices"]["nodes"])
        if (n["id"] == id)
            return n;
    ADD_FAILURE() << "no node " << id;
    static json none;
    return none;
}

inline json& Adapter(json& machine, int port) {
    for (auto& a : machine["adapters"])
        if (a["port"] == port)
            return a;
    ADD_FAILURE() << "no adapter " << port;
    static json none;
    return none;
}

inline std::string InstanceOf(json& machine, int port) {
    return Adapter(machine, port)["instance_id"].get<std::string>();
}

// Device calls the product sent through IOCTL_SCSI_MINIPORT with this SRB control code, in order.
inline std::vector<sim::Call> MiniportCalls(sim::Machine& machine, uint32_t controlCode) {
    std::vector<sim::Call> out;
    for (const sim::Call& c : machine.calls().Of("DeviceIoControl"))
        if (c.selectors.value("control_code", 0u) == controlCode)
            out.push_back(c);
    return out;
}

// A record for a table the test fills itself: the adapter opened by its legacy name, with a mutex
// of the build's name.
inline ControllerLocator OpenedRecord(int port, uint32_t flags) {
    ControllerLocator r{};
    r.signature = kControllerLocatorSignature;
    r.flags = flags;
    r.portNumber = port;
    char path[32], name[32];
    std::snprintf(path, sizeof(path), "\\\\.\\Scsi%d:", port);
    std::snprintf(name, sizeof(name), "Scsi%d:_RO", port);
    r.deviceHandle = CreateFileAHook(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(r.deviceHandle, INVALID_HANDLE_VALUE) << path;
    r.mutex = CreateMutexA(nullptr, FALSE, name);
    return r;
}

} // namespace tabletest
