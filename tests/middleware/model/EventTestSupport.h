#pragma once
// Machines and helpers of the event tests. Every event test runs on the default machine (its SATA
// RAID controller on port 0, its NVMe controller on port 1 with one NVMe disk behind the remap port),
// so the controller table a test process builds once serves all of them.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/DeviceFactory.h"
#include "middleware/model/GuidSource.h"
#include "sim/MachineBuilder.h"

namespace eventtest {

inline constexpr int kRaidPort = 0;
inline constexpr int kNvmePort = 1;
inline constexpr uint32_t kNvmeDiskAddress = 0x01000000; // port 1, path 0, target 0
// How long a test on the real clock waits for an event another process raises.
inline constexpr uint32_t kPatienceMs = 60000;

// The default machine with fault rules given as JSON text (an array).
inline sim::MachineBuilder DefaultWithFaults(const std::string& faultsJson) {
    return sim::MachineBuilder::Default().Set("/faults", faultsJson);
}

// A factory over the process's controller table, with a GUID source of its own.
inline UviEvents::DeviceFactory MakeFactory() {
    return UviEvents::DeviceFactory(std::make_shared<DeviceLocator>(), std::make_shared<GuidSource>());
}

inline bool IsGuidText(const std::string& text) {
    if (text.size() != 32)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

} // namespace eventtest
