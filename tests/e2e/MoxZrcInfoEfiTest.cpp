// MoxZrcInfo.efi, built for the real target, run by the UEFI shell of real firmware (OVMF in qemu):
// our UEFI declarations, calling convention and record layouts meet a firmware we did not write.
// The console output of each run, carried by the serial port, is compared with golden files; qemu's
// PC has no remapping controller, so the report ends after group 1 with EFI_INVALID_PARAMETER.
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/MoxcliProcess.h"

namespace {

using namespace moxe2e;

// The runs framed by scripts/qemu-efi.sh: "==MOX== run <args>", the output, "==MOX== status <hex>".
std::vector<Run> SplitRuns(const std::string& serial) {
    std::vector<Run> runs;
    std::istringstream lines(serial);
    std::string line;
    Run* current = nullptr;
    while (std::getline(lines, line)) {
        if (line.rfind("==MOX== run", 0) == 0) {
            runs.emplace_back();
            current = &runs.back();
        } else if (current && line.rfind("==MOX== status ", 0) == 0) {
            current->exitCode = static_cast<int>(std::stoul(line.substr(15), nullptr, 16));
            current = nullptr;
        } else if (current) {
            current->out += line + "\n";
        }
    }
    return runs;
}

TEST(MoxZrcInfoEfi, ReportAndUsageOnRealFirmware) {
#ifndef MOX_EFI_IMAGE
    GTEST_SKIP() << "MoxZrcInfo.efi is not built here: clang++ and lld-link are needed (scripts/deps.sh "
                    "installs them)";
#else
    TempDir state;
    MoxcliProcess qemu({}, {MOX_QEMU_SCRIPT, MOX_EFI_IMAGE}, state.path(),
                       {{"MOX_QEMU_RUNS", "\n/?"}, {"MOX_QEMU_SECONDS", "200"}}, "/bin/bash");
    bool hung = false;
    const moxe2e::Run run = qemu.Finish(std::chrono::seconds(240), &hung);
    ASSERT_FALSE(hung);
    if (run.exitCode == 2)
        GTEST_SKIP() << "this machine cannot run the virtual PC: " << run.err;
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<moxe2e::Run> runs = SplitRuns(run.out);
    ASSERT_EQ(runs.size(), 2u) << run.out;
    ExpectGolden(runs[0], "moxzrcinfo-efi-report");
    ExpectGolden(runs[1], "moxzrcinfo-efi-help");
#endif
}

} // namespace
