#include <cstdio>
#include <iostream>
#include <string>

#include "sim/Machine.h"
#include "tests/helpers/ChildCommands.h"

namespace {

// sim-set KEY VALUE: writes a string into the machine state.
moxtest::ChildCommandRegistrar simSet("sim-set", [](const std::vector<std::string>& a) {
    sim::Current().SetValue("/test/" + a.at(0), a.at(1));
    return 0;
});

// sim-get KEY: prints a string of the machine state, or nothing.
moxtest::ChildCommandRegistrar simGet("sim-get", [](const std::vector<std::string>& a) {
    const sim::Value v = sim::Current().At("/test/" + a.at(0));
    std::printf("%s\n", v.is_string() ? v.get<std::string>().c_str() : "");
    return 0;
});

// sim-add N: adds 1 to the counter "n" N times, each in a change of its own.
moxtest::ChildCommandRegistrar simAdd("sim-add", [](const std::vector<std::string>& a) {
    int n = std::stoi(a.at(0));
    for (int i = 0; i < n; ++i)
        sim::Current().Change("/test/n", [](sim::Value& v) { v = v.is_null() ? 1 : v.get<int>() + 1; });
    return 0;
});

// sim-raid-disk-unplug ADAPTER INDEX: the disk at that index of the controller's RAID disk table is
// pulled out: its record leaves the table, the ones after it move up and the arrays follow them.
moxtest::ChildCommandRegistrar raidDiskUnplug("sim-raid-disk-unplug", [](const std::vector<std::string>& a) {
    const auto gone = static_cast<int64_t>(std::stoll(a.at(1)));
    sim::Current().Change("/adapters/" + a.at(0) + "/raid", [&](sim::Value& raid) {
        sim::Value kept = sim::Value::array();
        for (size_t i = 0; i < raid["disks"].size(); ++i)
            if (static_cast<int64_t>(i) != gone)
                kept.push_back(raid["disks"][i]);
        raid["disks"] = kept;
        for (sim::Value& array : raid["arrays"]) {
            sim::Value members = sim::Value::array();
            for (const sim::Value& m : array["disks"])
                if (m.get<int64_t>() != gone)
                    members.push_back(m.get<int64_t>() > gone ? m.get<int64_t>() - 1 : m.get<int64_t>());
            array["disks"] = members;
        }
    });
    return 0;
});

} // namespace
