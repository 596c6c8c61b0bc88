// Commands that change a running machine as its driver would announce it, so that a test can wait
// for events in one process while this one changes the PC.
#include <cstdio>
#include <string>

#include "sim/driver/DriverEvents.h"
#include "tests/helpers/ChildCommands.h"

namespace {

uint64_t Number(const std::string& text) {
    return std::stoull(text, nullptr, 0);
}

int Done(bool ok) {
    std::printf("%s\n", ok ? "ok" : "not found");
    return ok ? 0 : 1;
}

// sim-raise-event PORT FLAGS: a configuration change with these flag bits.
moxtest::ChildCommandRegistrar raiseEvent("sim-raise-event", [](const std::vector<std::string>& a) {
    return Done(sim::driver::RaiseControllerEvent(static_cast<int>(Number(a.at(0))), Number(a.at(1))));
});

// sim-disk-present PORT INDEX 0|1: a RAID disk pulled or plugged in.
moxtest::ChildCommandRegistrar diskPresent("sim-disk-present", [](const std::vector<std::string>& a) {
    return Done(sim::driver::SetRaidDiskPresent(static_cast<int>(Number(a.at(0))), Number(a.at(1)),
                                                Number(a.at(2)) != 0));
});

// sim-advance PORT: the controller finishes what the machine's clock made due.
moxtest::ChildCommandRegistrar advance("sim-advance", [](const std::vector<std::string>& a) {
    return Done(sim::driver::AdvanceController(static_cast<int>(Number(a.at(0)))));
});

// sim-nvme-event PORT PATH TARGET LUN WORD: an asynchronous event of an NVMe device.
moxtest::ChildCommandRegistrar nvmeEvent("sim-nvme-event", [](const std::vector<std::string>& a) {
    return Done(sim::driver::RaiseNvmeEvent(
        static_cast<int>(Number(a.at(0))), static_cast<uint8_t>(Number(a.at(1))),
        static_cast<uint8_t>(Number(a.at(2))), static_cast<uint8_t>(Number(a.at(3))),
        static_cast<uint32_t>(Number(a.at(4)))));
});

} // namespace
