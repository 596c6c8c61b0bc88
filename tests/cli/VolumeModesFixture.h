#pragma once
// The create, modify and rescan modes run as the program would run them (a level-0 parse, then the
// mode's factory and task) on the default machine with free hard disks added at adapter 0, targets
// 4 and up: 0-0-0-0 and those are free, 0-0-1-0 is a spare, 0-0-2-0 and 0-0-3-0 hold the RAID 1
// volume "Volume0", 1-0-0-0 is a PCIe drive.
#include <memory>
#include <string>
#include <vector>

#include "cli/Error.h"
#include "cli/RunCommandLine.h"
#include "cli/UviWrapper.h"
#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/cli/CaptureStdout.h"
#include "tests/cli/ParsedCommandLine.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/MachineParts.h"

namespace clitest {

inline sim::MachineBuilder DefaultWithFreeDisks(int count) {
    sim::MachineBuilder machine = sim::MachineBuilder::Default();
    for (int i = 0; i < count; ++i) {
        moxtest::DriverDisk disk = moxtest::HardDisk("FREE-" + std::to_string(i));
        disk.target = static_cast<uint32_t>(4 + i);
        moxtest::AddDriverDisk(machine, disk);
    }
    return machine;
}

struct ModeRun {
    MOX::Error result;
    std::string text;
};

class VolumeModes {
public:
    explicit VolumeModes(int freeDisks = 2) : machine_(DefaultWithFreeDisks(freeDisks)) {}
    explicit VolumeModes(const sim::MachineBuilder& description) : machine_(description) {}

    ModeRun Run(const std::vector<std::string>& args) {
        Parsed parsed(args, 0);
        EXPECT_FALSE(parsed.result.isError())
            << (parsed.result.getDetails().empty() ? std::string() : parsed.result.getDetails().front());
        ModeRun run;
        CaptureStdout out;
        run.result = MOX::RunTask(parsed.parser);
        run.text = out.text();
        return run;
    }

    // "<name> <RAID level code> <size>" per volume, as a second process reads them.
    static std::string VolumesOfAnotherProcess() {
        const moxtest::ChildResult child = moxtest::RunChild({"uvi-volumes"});
        EXPECT_EQ(child.exitCode, 0);
        return child.output;
    }

    sim::ScopedMachine& machine() { return machine_; }

private:
    // The library's waits (an idle driver before a change, retries) pass in virtual time.
    sim::ScopedVirtualClock clock_;
    sim::ScopedMachine machine_;
    MOX::UviWrapper library_;
};

inline std::string LastDetail(const MOX::Error& result) {
    return result.getDetails().empty() ? std::string() : result.getDetails().back();
}

} // namespace clitest
