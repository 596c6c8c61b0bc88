// Helpers of scripts/bench.sh for the command line:
//   bench_cli load      opens the simulated machine of MOX_SIM_MACHINE/MOX_SIM_STATE and reads its state,
//                       nothing else: the bare process that `moxcli -I` is compared with;
//   bench_cli requests  runs `moxcli -I` in this process with the simulator's call log kept and prints
//                       requests=<driver requests sent> (the listing itself goes nowhere);
//   bench_cli breakdown the same run, then the driver requests grouped by what they ask for, most
//                       frequent first, to see where a run's requests go.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cli/RunCommandLine.h"
#include "cli/UviWrapper.h"
#include "sim/Machine.h"

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "load") {
        sim::Current();
        return 0;
    }
    if (mode != "requests" && mode != "breakdown") {
        std::cerr << "usage: bench_cli load|requests|breakdown\n";
        return 2;
    }
    ::setenv("MOX_SIM_CALL_LOG", "100000000", 1);
    sim::Machine& machine = sim::Current();
    int exitCode = 0;
    {
        std::streambuf* saved = std::cout.rdbuf(nullptr);
        MOX::UviWrapper library;
        const char* args[] = {"moxcli", "-I"};
        MOX::Error result = MOX::RunCommandLine(2, args);
        exitCode = result.getType();
        std::cout.rdbuf(saved);
    }
    std::printf("requests=%zu exit=%d\n", machine.calls().Count("DeviceIoControl"), exitCode);
    if (mode == "breakdown") {
        std::map<std::string, size_t> groups;
        for (const sim::Call& call : machine.calls().Of("DeviceIoControl")) {
            sim::Value what = call.selectors;
            for (const char* varying : {"port", "device", "path", "in_size", "out_size", "target"})
                what.erase(varying);
            // A dictionary request names its dictionary right after the 28-byte request header.
            const uint64_t control = what.value("control_code", uint64_t{0});
            if ((control == 0x90000A03 || control == 0x90000A04) && call.input.size() >= 32) {
                uint32_t dictionary = 0;
                std::memcpy(&dictionary, call.input.data() + 28, sizeof dictionary);
                what["dictionary"] = dictionary;
            }
            ++groups[what.dump()];
        }
        std::vector<std::pair<size_t, std::string>> sorted;
        for (const auto& [what, count] : groups)
            sorted.emplace_back(count, what);
        std::sort(sorted.rbegin(), sorted.rend());
        for (const auto& [count, what] : sorted)
            std::printf("%8zu  %s\n", count, what.c_str());
    }
    return 0;
}
