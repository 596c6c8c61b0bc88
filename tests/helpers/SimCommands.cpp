#include <cstdio>
#include <iostream>

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
        sim::Current().Change("/n", [](sim::Value& v) { v = v.is_null() ? 1 : v.get<int>() + 1; });
    return 0;
});

} // namespace
