#include <cstdio>
#include <iostream>

#include "sim/Machine.h"
#include "tests/helpers/ChildCommands.h"

namespace {

// sim-set KEY VALUE: writes a string into the machine state.
moxtest::ChildCommandRegistrar simSet("sim-set", [](const std::vector<std::string>& a) {
    sim::Current().Update([&](nlohmann::json& s) { s["test"][a.at(0)] = a.at(1); });
    return 0;
});

// sim-get KEY: prints a string of the machine state, or nothing.
moxtest::ChildCommandRegistrar simGet("sim-get", [](const std::vector<std::string>& a) {
    std::string value;
    sim::Current().Read([&](const nlohmann::json& s) {
        if (s.contains("test") && s["test"].contains(a.at(0)))
            value = s["test"][a.at(0)].get<std::string>();
    });
    std::printf("%s\n", value.c_str());
    return 0;
});

// sim-add N: adds 1 to the counter "n" N times, each in a change of its own.
moxtest::ChildCommandRegistrar simAdd("sim-add", [](const std::vector<std::string>& a) {
    int n = std::stoi(a.at(0));
    for (int i = 0; i < n; ++i)
        sim::Current().Update([](nlohmann::json& s) { s["n"] = s.value("n", 0) + 1; });
    return 0;
});

} // namespace
