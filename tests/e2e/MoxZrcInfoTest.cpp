// Runs the built MoxZrcInfo as a process on the simulated firmware of a machine and compares its
// console output, standard error and exit code with golden files.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/MoxcliProcess.h"

namespace {

using namespace moxe2e;

struct Case {
    std::string golden;
    std::vector<std::string> args;
};

TEST(MoxZrcInfo, CommandLineOnTheDefaultMachine) {
    // No argument runs the report (the default machine has no remapping controller: group 1, the
    // not-found line, EFI_INVALID_PARAMETER); "/?" shows the usage; a stray word is refused with it.
    for (const Case& c : std::vector<Case>{
             {"moxzrcinfo-default", {}},
             {"moxzrcinfo-help", {"/?"}},
             {"moxzrcinfo-bad-argument", {"foo"}},
         }) {
        TempDir state;
        ExpectGolden(RunProgram(MOX_ZRCINFO_PATH, {}, c.args, state.path()), c.golden);
    }
}

} // namespace
