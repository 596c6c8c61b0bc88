// The remap mode end to end: each command on a simulated PC, then what the next command on the same PC
// finds.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/MachineBuilder.h"
#include "tests/e2e/MoxcliProcess.h"
#include "tests/support/MachineParts.h"

namespace {

using namespace moxe2e;

// The PC with one controller of every kind (own SATA RAID on port 0, own NVMe on 1, the remapping
// controller on 2, other vendors' from 3 on) whose firmware keeps an empty remap request.
sim::MachineBuilder RemapMachine() {
    sim::MachineBuilder machine = sim::MachineBuilder::FromFile("controllers.json");
    return moxtest::AddRemapRequest(machine);
}

// How many controllers the firmware's remap request holds (its first byte counts them).
unsigned Scheduled(const Scenario& pc) {
    const sim::Value variables = pc.State("/firmware/variables");
    for (size_t i = 0; i < variables.size(); ++i)
        if (variables[i]["name"] == sim::Value("OrvexZrcOsVariable"))
            return std::stoul(variables[i]["hex"].get<std::string>().substr(0, 2), nullptr, 16) & 0x3F;
    return 0;
}

TEST(RemapMode, OneControllerIsScheduledForTheNextBoot) {
    Scenario pc(RemapMachine());
    ExpectGolden(pc.Command({"--zrc", "--remap", "scsi0"}), "zrc-remap");
    EXPECT_EQ(Scheduled(pc), 1u);
    // The listing does not change before the next boot; the request is there for a second remap.
    ExpectGolden(pc.Command({"-I"}), "information-controllers");
    ExpectGolden(pc.Command({"--zrc", "--remap", "scsi0"}), "zrc-remap-already-scheduled");
    EXPECT_EQ(Scheduled(pc), 1u);
}

TEST(RemapMode, AHybridDiskIsScheduledWithItsOtherController) {
    sim::MachineBuilder machine =
        moxtest::HybridMachine({{2, 1, "ABC123-1", "0x4A21"}, {1, 0, "ABC123-2", "0x4A22"}});
    Scenario pc(moxtest::AddRemapRequest(machine));
    ExpectGolden(pc.Command({"--zrc", "--remap", "scsi1"}), "zrc-remap-hybrid");
}

TEST(RemapMode, RefusalsAndUsage) {
    const struct {
        const char* golden;
        std::vector<std::string> args;
    } cases[] = {
        {"zrc-remap-unknown-port", {"--zrc", "--remap", "scsi9"}},
        {"zrc-remap-remapping-controller", {"--zrc", "--remap", "scsi2"}},
        {"zrc-bad-controller-id", {"--zrc", "--remap", "controller0"}},
        {"zrc-no-sub-task", {"--zrc"}},
    };
    for (const auto& c : cases) {
        Scenario pc(RemapMachine());
        ExpectGolden(pc.Command(c.args), c.golden);
        EXPECT_EQ(Scheduled(pc), 0u) << c.golden;
    }
}

TEST(RemapMode, RemapAllSchedulesTheCandidatesThenFindsNone) {
    Scenario pc(RemapMachine());
    ExpectGolden(pc.Command({"--zrc", "--remap-all"}), "zrc-remap-all");
    EXPECT_GE(Scheduled(pc), 1u);
    ExpectGolden(pc.Command({"--zrc", "--remap-all"}), "zrc-remap-all-none");
}

} // namespace
