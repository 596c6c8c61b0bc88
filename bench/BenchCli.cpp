// Helpers of scripts/bench.sh for the command line:
//   bench_cli load      opens the simulated machine of MOX_SIM_MACHINE/MOX_SIM_STATE and reads its state,
//                       nothing else: the bare process that `moxcli -I` is compared with;
//   bench_cli requests  runs `moxcli -I` in this process with the simulator's call log kept and prints
//                       requests=<driver requests sent> (the listing itself goes nowhere).
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "cli/RunCommandLine.h"
#include "cli/UviWrapper.h"
#include "sim/Machine.h"

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "load") {
        sim::Current();
        return 0;
    }
    if (mode != "requests") {
        std::cerr << "usage: bench_cli load|requests\n";
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
    return 0;
}
