// The version report when the library cannot give it: the program's driver check stops such a
// machine before the task, so the task's own failure handling is shown here.
#include <string>

#include <gtest/gtest.h>

#include "cli/UviWrapper.h"
#include "cli/tasks/VersionTask.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/cli/CaptureStdout.h"
#include "tests/cli/UviFaults.h"

namespace {

struct Report {
    MOX::Error result;
    std::string text;
};

Report RunVersion(const sim::MachineBuilder& description) {
    sim::ScopedMachine machine(description);
    MOX::UviWrapper library;
    Report report;
    clitest::CaptureStdout out;
    {
        MOX::VersionTask task;
        report.result = task.run();
    }
    report.text = out.text();
    return report;
}

TEST(VersionTask, NoSessionPrintsOnlyThatVersionsCannotBeShown) {
    const Report report = RunVersion(sim::MachineBuilder("nodriver"));
    EXPECT_EQ(report.text, "\nCould not obtain driver and orom version information to display.\n");
    EXPECT_EQ(report.result.getType(), 1);
    EXPECT_EQ(static_cast<uint32_t>(report.result.getCode()), 0xA0010050u);
}

TEST(VersionTask, ControllersThatCannotBeReadPrintNothing) {
    clitest::ScopedUviFaults faults{{UviGetControllerInfo}};
    const Report report = RunVersion(sim::MachineBuilder::Default());
    EXPECT_EQ(report.text, "");
    EXPECT_NE(report.result.getType(), 0);
    EXPECT_FALSE(report.result.getDetails().empty());
}

} // namespace
