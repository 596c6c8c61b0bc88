#include "sim/driver/DriverEvents.h"

#include "sim/MachineState.h"
#include "sim/driver/RaidState.h"
#include "sim/driver/RemapPortDevices.h"

namespace sim::driver {

namespace {

constexpr int64_t kDiskPresent = 0x10;
constexpr int64_t kDiskMissing = 0x2000000;

// The NVMe device's asynchronous event registrations (name -> queued words), or null.
const json* NvmeRegistrations(const json& state, int port, DeviceAddress address) {
    auto view = FindPort(state, port, address);
    if (!view || view->connection != Connection::Nvme || !view->device || !IsNvmeDevice(*view->device))
        return nullptr;
    const json* at = view->device;
    for (const char* key : {"nvme", "aer", "registrations"}) {
        auto it = at->find(key);
        if (it == at->end() || !it->is_object())
            return nullptr;
        at = &*it;
    }
    return at;
}

} // namespace

bool RaiseControllerEvent(int port, uint64_t flags) {
    const devio::DriverAnswer answer =
        RunOnController(port, true, [&](const json&, json& adapter, uint64_t, Announcements& out) {
            Announce(adapter, out, flags);
            return devio::DriverAnswer{};
        });
    return answer.win32Error == 0;
}

bool SetRaidDiskPresent(int port, size_t index, bool present) {
    bool found = false;
    RunOnController(port, true, [&](const json&, json& adapter, uint64_t, Announcements& out) {
        json& disks = Raid(adapter)["disks"];
        if (!disks.is_array() || index >= disks.size())
            return devio::DriverAnswer{};
        json& disk = disks[index];
        const int64_t flags = Num(disk, "state_flags", kDiskPresent) & ~(kDiskPresent | kDiskMissing);
        disk["state_flags"] = flags | (present ? kDiskPresent : kDiskMissing);
        found = true;
        Announce(adapter, out, kEventFlagDisks);
        return devio::DriverAnswer{};
    });
    return found;
}

bool AdvanceController(int port) {
    const devio::DriverAnswer answer = RunOnController(
        port, false, [](const json&, json&, uint64_t, Announcements&) { return devio::DriverAnswer{}; });
    return answer.win32Error == 0;
}

bool RaiseNvmeEvent(int port, uint8_t path, uint8_t target, uint8_t lun, uint32_t eventWord) {
    return RaiseNvmeAsyncEvent(port, DeviceAddress{path, target, lun}, eventWord);
}

std::vector<std::string> RegisteredEventNames(int port) {
    std::vector<std::string> names;
    Current().Read([&](const json& state) {
        const json* adapter = AdapterOf(state, port);
        if (!adapter || !adapter->contains("volume_port"))
            return;
        const json& vp = adapter->at("volume_port");
        if (auto it = vp.find("events"); it != vp.end() && it->is_array())
            for (const auto& name : *it)
                if (name.is_string())
                    names.push_back(name.get<std::string>());
    });
    return names;
}

std::vector<std::string> RegisteredNvmeEventNames(int port, uint8_t path, uint8_t target, uint8_t lun) {
    std::vector<std::string> names;
    Current().Read([&](const json& state) {
        if (const json* registrations = NvmeRegistrations(state, port, DeviceAddress{path, target, lun}))
            for (const auto& [name, words] : registrations->items())
                names.push_back(name);
    });
    return names;
}

size_t QueuedNvmeEventWords(int port, uint8_t path, uint8_t target, uint8_t lun, const std::string& name) {
    size_t count = 0;
    Current().Read([&](const json& state) {
        const json* registrations = NvmeRegistrations(state, port, DeviceAddress{path, target, lun});
        if (registrations && registrations->contains(name) && registrations->at(name).is_array())
            count = registrations->at(name).size();
    });
    return count;
}

} // namespace sim::driver
