// A second moxcli started while another process holds a controller's lock waits for the lock, then
// lists the PC exactly as a lone run does. Every step is ordered by the processes themselves: the
// holder owns the lock before moxcli starts, and moxcli's wait for it signals the holder (a "signal"
// fault rule of the machine), so nothing depends on how long anything takes.
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win/WinSync.h"
#include "sim/MachineBuilder.h"
#include "sim/Value.h"
#include "tests/e2e/MoxcliProcess.h"
#include "tests/support/ChildProcess.h"

namespace {

using namespace moxe2e;

// The SATA controller's lock, which moxcli -I takes for every driver request to that controller.
constexpr char kLock[] = "Scsi0:_RO";
constexpr char kReached[] = "MoxE2eLockWaitReached";
// How long the holder waits for moxcli to reach the lock before it reports that it did not.
constexpr char kHolderLimitMs[] = "120000";

// The default PC, on which moxcli signals kReached as it starts its first wait for kLock.
std::string WatchedDefaultPc() {
    const sim::Value rule{{"kind", "WaitForSingleObject"},
                          {"match", {{"object", "mutex"}, {"name", kLock}, {"timeout", INFINITE}}},
                          {"times", 1},
                          {"outcome", {{"signal", kReached}}}};
    return sim::MachineBuilder::Default().Append("/faults", rule.dump()).Text();
}

TEST(LockContention, ASecondMoxcliWaitsForTheControllersLockThenListsEverything) {
    // The holder releases the lock, or ends without releasing it: moxcli then takes the abandoned
    // lock, warns of it, and lists the PC all the same.
    const struct {
        const char* name;
        bool release;
    } cases[] = {{"released", true}, {"abandoned", false}};
    const std::string abandoned = "[moxcli] WARNING Controller mutex of port 0 was abandoned by its owner\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path machine = dir.path() / "machine.json";
        std::ofstream(machine) << WatchedDefaultPc();

        std::unique_ptr<moxtest::Child> holder;
        {
            // The holder opens the machine moxcli runs on.
            ScopedEnvironment same({{"MOX_SIM_STATE", (dir.path() / "machine").string()},
                                    {"MOX_SIM_MACHINE", machine.string()}});
            holder = std::make_unique<moxtest::Child>(
                std::vector<std::string>{"mutex-own-watched", kLock, kReached, kHolderLimitMs});
        }
        ASSERT_EQ(holder->ReadLine(), "owned");

        const fs::path trace = dir.path() / "trace.txt";
        MoxcliProcess moxcli(machine, {"-I"}, dir.path(),
                             {{"MOX_TRACE", trace.string()}, {"MOX_TRACE_LEVEL", "3"}});
        ASSERT_EQ(holder->ReadLine(), "reached 0") << "moxcli did not wait for the controller's lock";
        // It cannot get past the lock while the holder has it.
        EXPECT_TRUE(moxcli.Running());

        if (c.release) {
            holder->WriteLine("release");
            EXPECT_EQ(holder->ReadLine(), "released 1");
        }
        EXPECT_EQ(holder->Wait(), 0);

        bool hung = false;
        const auto run = moxcli.Finish(kGenerousLimit, &hung);
        ASSERT_FALSE(hung) << "moxcli still waited after the lock was freed";
        ExpectGolden(run, "information-default");
        EXPECT_EQ(ReadAll(trace).find(abandoned) != std::string::npos, !c.release) << ReadAll(trace);
    }
}

} // namespace
