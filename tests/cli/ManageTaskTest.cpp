// The manage mode: the factory's reading of the switches, and the task's actions on simulated PCs.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/UviWrapper.h"
#include "cli/tasks/ManageTask.h"
#include "middleware/api/UviApi.h"
#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/cli/CaptureStdout.h"
#include "tests/cli/ParsedCommandLine.h"
#include "tests/cli/UviFaults.h"
#include "tests/support/MachineParts.h"

namespace {

using MOX::Error;
using MOX::ManageTask;
using Lines = std::vector<std::string>;

// ---- the factory ----

struct Built {
    int32_t returnCode = 0;
    Lines details;
    std::vector<ManageTask::Action> actions;
};

Built Build(const std::vector<std::string>& args) {
    clitest::Parsed parsed(args, 0);
    EXPECT_FALSE(parsed.result.isError()) << args.back();
    Built built;
    try {
        std::unique_ptr<MOX::ITask> task = MOX::ManageTaskFactory().createTask(parsed.parser);
        built.actions = dynamic_cast<ManageTask&>(*task).getActions();
    } catch (const MOX::MoxErrorException& e) {
        built.returnCode = e.getError().getType();
        built.details = e.getError().getDetails();
    }
    return built;
}

TEST(ManageTaskFactory, OneSwitchBecomesOneActionWithItsArguments) {
    const struct {
        std::vector<std::string> args;
        int32_t kind;
        Lines actionArgs;
    } cases[] = {
        {{"-M", "-Z"}, ManageTask::DELETE_ALL_METADATA, {"0"}},
        {{"--manage", "--delete-all-metadata", "--no-sync"}, ManageTask::DELETE_ALL_METADATA, {"1"}},
        {{"-M", "-S", "0-3-0-0"}, ManageTask::SPARE, {"0-3-0-0"}},
        {{"-M", "-N", "0-3-0-0"}, ManageTask::NOT_SPARE, {"0-3-0-0"}},
        {{"-M", "-u", "secret", "0-3-0-0", "extra"}, ManageTask::UNLOCK, {"secret", "0-3-0-0", "extra"}},
        {{"-M", "-R", "Mirror", "-t", "0-4-0-0"}, ManageTask::REBUILD, {"Mirror", "0-4-0-0"}},
        {{"-M", "-P", "WB", "-v", "Mirror"}, ManageTask::VOLUME_CACHE_POLICY, {"Mirror", "WB"}},
        {{"-M", "-w", "no", "-a", "SATA_Array_0000"}, ManageTask::WRITE_CACHE, {"SATA_Array_0000", "no"}},
        {{"-M", "-F", "0-2-0-0"}, ManageTask::NORMAL, {"0-2-0-0"}},
        {{"-M", "-f", "Mirror"}, ManageTask::NORMAL_VOLUME, {"Mirror"}},
        {{"-M", "-D", "Mirror"}, ManageTask::DELETE_VOLUME, {"Mirror"}},
        {{"-M", "-i", "Mirror"}, ManageTask::INITIALIZE, {"Mirror"}},
        {{"-M", "-U", "Mirror"}, ManageTask::VERIFY, {"Mirror"}},
        {{"-M", "-p", "Mirror"}, ManageTask::VERIFY_REPAIR, {"Mirror"}},
        {{"-M", "-x", "Mirror"}, ManageTask::CANCEL_VERIFY, {"Mirror"}},
        {{"-M", "-T", "0-2-0-0"}, ManageTask::DELETE_METADATA, {"0-2-0-0"}},
    };
    for (const auto& c : cases) {
        const Built built = Build(c.args);
        ASSERT_EQ(built.returnCode, 0) << c.args[1] << (built.details.empty() ? "" : built.details[0]);
        ASSERT_EQ(built.actions.size(), 1u) << c.args[1];
        EXPECT_EQ(built.actions[0].kind, c.kind) << c.args[1];
        EXPECT_EQ(built.actions[0].args, c.actionArgs) << c.args[1];
    }
}

TEST(ManageTaskFactory, UsageErrorsNameTheSwitch) {
    const char* const oneSwitch = "Only exactly one manage task switch is allowe. See manage help.";
    const struct {
        std::vector<std::string> args;
        const char* detail;
    } cases[] = {
        {{"-M"}, oneSwitch},
        {{"-M", "-S", "0-3-0-0", "-D", "Mirror"}, oneSwitch},
        {{"-M", "-Z", "-T", "0-2-0-0"}, oneSwitch},
        {{"-M", "-R", "Mirror"}, "Usage: --manage --rebuild volumeId --target diskId"},
        {{"-M", "-P", "wb"}, "Usage: --manage --volume-cache-policy off|wb --volume volumeId"},
        {{"-M", "-P", "wb", "--volume", ""},
         "Usage: --manage --volume-cache-policy off|wb --volume volumeId"},
        {{"-M", "-w", "true"}, "Usage: --manage --write-cache true|false --array arrayId"},
        {{"-M", "-u", "secret"}, "Missing diskID for manage unlod disk task."},
        {{"-M", "--spare", ""}, "Usage: --manage --spare diskId"},
        {{"-M", "--not-spare", ""}, "Usage: --manage --not-spare diskId"},
        {{"-M", "--normal", ""}, "Usage: --manage --normal diskId"},
        {{"-M", "--normal-volume", ""}, "Usage: --manage --normal-volume volumeId"},
        {{"-M", "--delete", ""}, "Usage: --manage --delete volumeId"},
        {{"-M", "--initialize", ""}, "Usage: --manage --initialize volumeId"},
        {{"-M", "--verify", ""}, "Usage: --manage --verify volumeId"},
        {{"-M", "--verify-repair", ""}, "Usage: --manage --verify-repair volumeId"},
        {{"-M", "--cancel-verify", ""}, "Usage: --manage --cancel-verify volumeId"},
        {{"-M", "--delete-metadata", ""}, "Usage: --manage --delete-metadata diskId"},
    };
    for (const auto& c : cases) {
        const Built built = Build(c.args);
        EXPECT_EQ(built.returnCode, 2) << c.args.back();
        EXPECT_EQ(built.details, Lines{c.detail}) << c.args.back();
    }
}

TEST(ManageTaskFactory, OnlyDeleteAllMetadataPassesTheProgramsParser) {
    EXPECT_FALSE(clitest::Parsed({"-M", "-Z"}).result.isError());
    EXPECT_EQ(clitest::Parsed({"-M", "--spare", "0-3-0-0"}).result.getType(), 2);
    EXPECT_EQ(clitest::Parsed({"-M", "-Z", "--no-sync"}).result.getType(), 2);
}

// ---- the task ----

struct Report {
    Error result;
    std::string text;
};

// The lines a run printed, each after its empty line.
std::string Printed(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += "\n" + line + "\n";
    return text;
}

class ManageTaskRun : public ::testing::Test {
protected:
    void Start(const sim::MachineBuilder& description) {
        machine_ = std::make_unique<sim::ScopedMachine>(description);
        library_ = std::make_unique<MOX::UviWrapper>();
    }
    Report Run(int32_t kind, Lines args, MOX::PairSeparation separation = {}) {
        Report report;
        clitest::CaptureStdout out;
        {
            ManageTask task;
            if (separation)
                task.setPairSeparation(std::move(separation));
            task.addAction(kind, std::move(args));
            report.result = task.run();
        }
        report.text = out.text();
        return report;
    }
    Report DeleteAll(bool noSync = false) {
        return Run(ManageTask::DELETE_ALL_METADATA, {noSync ? "1" : "0"});
    }
    void TearDown() override {
        library_.reset();
        machine_.reset();
    }
    sim::ScopedMachine& machine() { return *machine_; }

    std::unique_ptr<sim::ScopedMachine> machine_;
    std::unique_ptr<MOX::UviWrapper> library_;
};

const char* const kSupportedNotFound = "Supported controller not found. Clear metadata feature requires SATA "
                                       "controller in Premium mode or ZRC controller.";

TEST_F(ManageTaskRun, DeleteAllOnAMachineWithoutMetadataPrintsTheThreeLines) {
    Start(sim::MachineBuilder::FromFile("controllers.json"));
    const Report report = DeleteAll();
    EXPECT_EQ(report.text,
              Printed({"Deleting volumes...", "Resetting Disks...", "All metadata has been deleted"}));
    EXPECT_EQ(report.result.getType(), 0);
}

TEST_F(ManageTaskRun, NoSyncIsOnlyForThePreinstallationEnvironment) {
    Start(sim::MachineBuilder::FromFile("controllers.json"));
    const Report refused = DeleteAll(true);
    EXPECT_EQ(refused.result.getType(), 4);
    EXPECT_EQ(refused.result.getDetails(),
              Lines{"Clearing metadata with --no-sync is only allowed in WinPe"});
    EXPECT_EQ(refused.text, "");

    machine()->SetValue("/registry/keys/HKLM\\SYSTEM\\CurrentControlSet\\Control\\MiniNT",
                        sim::Value::parse("{}"));
    const Report allowed = DeleteAll(true);
    EXPECT_EQ(allowed.result.getType(), 0);
    EXPECT_EQ(allowed.text,
              Printed({"Deleting volumes...", "Resetting Disks...", "All metadata has been deleted"}));
}

TEST_F(ManageTaskRun, DeleteAllNeedsAControllerOfTheRaidStack) {
    // The driver's controllers without the RAID request family.
    sim::MachineBuilder pc = sim::MachineBuilder::FromFile("controllers.json");
    for (int adapter : {0, 1, 2})
        pc.Set("/adapters/" + std::to_string(adapter) + "/interface_versions", R"({"OrvexRdp": null})");
    Start(pc);
    const Report report = DeleteAll();
    EXPECT_EQ(report.result.getType(), 5);
    EXPECT_EQ(report.result.getDetails(), Lines{kSupportedNotFound});
    EXPECT_EQ(report.text, "");
}

TEST_F(ManageTaskRun, DeleteAllKeepsTheSystemVolumeAndDiskAndLeavesPassThroughDisks) {
    Start(moxtest::DataVolumeMachine());
    std::vector<uint32_t> deleted, unmarked, cleared;
    MOX::ScopedUviStandIn deletes(UviVolumeDelete, [&](unsigned int volume) {
        deleted.push_back(volume);
        return UviVolumeDelete(volume);
    });
    MOX::ScopedUviStandIn unspares(UviDiskUnmarkAsSpare, [&](uint32_t disk) {
        unmarked.push_back(disk);
        return UviDiskUnmarkAsSpare(disk);
    });
    MOX::ScopedUviStandIn clears(UviDiskClearMetadata, [&](uint32_t disk) {
        cleared.push_back(disk);
        return UviDiskClearMetadata(disk);
    });
    const Report report = DeleteAll();
    EXPECT_EQ(deleted.size(), 1u);  // Data; Volume0 is the system volume
    EXPECT_EQ(unmarked.size(), 1u); // the spare
    // Data's members became pass-through disks with Data; the system volume's members are kept.
    EXPECT_TRUE(cleared.empty());
    EXPECT_EQ(report.text,
              Printed({"Deleting volumes...", "Resetting Disks...", "All metadata has been deleted"}));
    EXPECT_EQ(report.result.getType(), 0);
    EXPECT_EQ(machine()->At("/adapters/0/raid/volumes").size(), 1u);
    EXPECT_EQ(machine()->At("/adapters/0/raid/volumes/0/name"), sim::Value("Volume0"));
}

TEST_F(ManageTaskRun, ADiskOfAnOfflineArrayThatCannotBeClearedEarlyIsTriedAgainInTheDiskStep) {
    Start(moxtest::DataVolumeMachine());
    // The driver lists 0-0-4-0 as a member of an offline array while its volume still stands.
    clitest::ScopedUviFaults offline{{UviGetEndDeviceInfo, 0, -1, [](void* record) {
                                          auto* disk = static_cast<_UVI_EndDeviceInfo*>(record);
                                          if (std::string(disk->serialNumber) == "KV-DATA-4")
                                              disk->vezkDiskKind = 4;
                                      }}};
    const Report report = DeleteAll();
    EXPECT_EQ(report.text.substr(0, Printed({"Unable to remove metadata from device: KV-DATA-4"}).size()),
              Printed({"Unable to remove metadata from device: KV-DATA-4"}));
    EXPECT_NE(report.text.find(Printed({"Deleting volumes...", "Resetting Disks..."})), std::string::npos);
}

// Counts the sessions a run opens: its own, one per step from the offline arrays on, one per pass of
// the wait for acceleration to end.
class OpenCount {
public:
    int passes() const { return opens_ - 5; }

private:
    int opens_ = 0;
    MOX::ScopedUviStandIn<_UVI_Error, unsigned int*> count_{UviSessionOpen, [this](unsigned int* handle) {
                                                                ++opens_;
                                                                return UviSessionOpen(handle);
                                                            }};
};

TEST_F(ManageTaskRun, TheWaitForAccelerationToEndGivesUpOnThe121stPassWithoutProgress) {
    sim::MachineBuilder pc = moxtest::DataVolumeMachine();
    pc.Set("/adapters/0/raid/nv_cache/mode", "2"); // stays "Off to Maximized"
    Start(pc);
    sim::ScopedVirtualClock clock;
    const OpenCount sessions;
    const Report report = DeleteAll();
    EXPECT_EQ(sessions.passes(), 121);
    const std::string timeOut =
        "Disabling acceleration timed out. Metadata may not be deleted on the SSD. Please "
        "try disabling acceleration again.";
    EXPECT_NE(report.text.find(Printed({timeOut})), std::string::npos) << report.text;
    EXPECT_NE(report.text.find(Printed({"Unable to delete all metadata"})), std::string::npos);
    EXPECT_EQ(report.result.getType(), 1);
}

TEST_F(ManageTaskRun, ProgressOfTheModeChangeStartsTheCountAgain) {
    sim::MachineBuilder pc = moxtest::DataVolumeMachine();
    pc.Set("/adapters/0/raid/nv_cache/mode", "6"); // "Maximized to Off"
    Start(pc);
    // The progress moves for the first queries, then stands still.
    int queries = 0;
    clitest::ScopedUviFaults faults{{UviGetNvcInfo, 0, -1, [&](void* record) {
                                         auto* cache = static_cast<_UVI_NvcInfo*>(record);
                                         if (cache->mode == UVI_NVC_MODE_32)
                                             cache->progress = std::min(++queries, 10);
                                     }}};
    sim::ScopedVirtualClock clock;
    const OpenCount sessions;
    const Report report = DeleteAll();
    // The first query is the turning off's; passes 1 to 9 see the progress move, pass 10 is the first
    // without, and the 120 passes after it run out.
    EXPECT_EQ(sessions.passes(), 130);
    EXPECT_EQ(report.result.getType(), 1);
}

TEST_F(ManageTaskRun, AControllerChangingBetweenModesEndsTheWaitAndItsVolumesStay) {
    sim::MachineBuilder pc = moxtest::DataVolumeMachine();
    moxtest::DriverDisk ssd = moxtest::SataSsd("TS-CACHE");
    ssd.target = 6;
    moxtest::AddDriverDisk(pc, ssd);
    moxtest::CacheVolume cache;
    cache.volume.name = "NvCache";
    cache.volume.array = static_cast<int>(moxtest::AddRaidArray(pc, {6}, 2));
    cache.acceleratedVolume = 1; // Data
    cache.mode = 7;              // "Maximized to Enhanced"
    moxtest::AddCacheVolume(pc, cache);
    Start(pc);
    sim::ScopedVirtualClock clock;
    const Report report = DeleteAll();
    EXPECT_NE(report.text.find(Printed({"Acceleration cannot be turned off while changing modes. Please try "
                                        "disabling acceleration again."})),
              std::string::npos)
        << report.text;
    EXPECT_NE(report.text.find(Printed({"Unable to delete volume Data while WYN is enabled"})),
              std::string::npos)
        << report.text;
    EXPECT_NE(report.text.find(Printed({"Unable to delete volume NvCache while WYN is enabled"})),
              std::string::npos);
    EXPECT_EQ(report.result.getType(), 1);
    EXPECT_EQ(machine()->At("/adapters/0/raid/volumes").size(), 3u);
}

TEST_F(ManageTaskRun, EveryControllerIsWaitedForNotOnlyThoseBeforeOneThatIsOff) {
    Start(sim::MachineBuilder::FromFile("controllers.json"));
    // The second controller asked stays in "Off to Maximized"; the first is off.
    std::set<uint32_t> seen;
    clitest::ScopedUviFaults faults{{UviGetNvcInfo, 0, -1, [&](void* record) {
                                         auto* cache = static_cast<_UVI_NvcInfo*>(record);
                                         seen.insert(cache->controllerHandle);
                                         if (seen.size() >= 2 && cache->controllerHandle == *seen.rbegin() &&
                                             cache->controllerHandle != *seen.begin())
                                             cache->mode = UVI_NVC_MODE_4;
                                     }}};
    sim::ScopedVirtualClock clock;
    const OpenCount sessions;
    const Report report = DeleteAll();
    EXPECT_EQ(sessions.passes(), 121);
    EXPECT_NE(report.text.find("Disabling acceleration timed out."), std::string::npos);
}

TEST_F(ManageTaskRun, AStepThatCannotReopenTheSessionCountsAsAFailure) {
    Start(sim::MachineBuilder::FromFile("controllers.json"));
    // The task's own open, then the reopen before the offline arrays, which fails.
    int opens = 0;
    MOX::ScopedUviStandIn open(UviSessionOpen, [&](unsigned int* handle) {
        if (++opens == 2) {
            _UVI_Error refused{};
            refused.status = UVI_STATUS_INSUFFICIENT_RESOURCES;
            return refused;
        }
        return UviSessionOpen(handle);
    });
    const Report report = DeleteAll();
    EXPECT_EQ(report.text.substr(report.text.size() - Printed({"Unable to delete all metadata"}).size()),
              Printed({"Unable to delete all metadata"}));
    EXPECT_EQ(report.result.getType(), 1);
}

TEST_F(ManageTaskRun, AFailedVolumeDeletionIsCountedAndNamed) {
    Start(moxtest::DataVolumeMachine());
    clitest::ScopedUviFaults faults{{UviVolumeDelete}};
    const Report report = DeleteAll();
    EXPECT_NE(report.text.find(Printed({"Unable to delete volume Data"})), std::string::npos) << report.text;
    EXPECT_NE(report.text.find(Printed({"Unable to delete all metadata"})), std::string::npos);
    EXPECT_EQ(report.result.getType(), 1);
}

TEST_F(ManageTaskRun, APairIsSeparatedThroughTheSeamAndItsFailureIsShown) {
    Start(moxtest::PairingMachine());
    sim::ScopedVirtualClock clock; // the pair's cache stays on, so the wait for it runs out
    std::vector<bool> asked;
    const Report report = Run(ManageTask::DELETE_ALL_METADATA, {"0"}, [&](bool noSync) {
        asked.push_back(noSync);
        return MOX::SeparationNotAvailable(noSync);
    });
    EXPECT_EQ(asked, std::vector<bool>{false});
    EXPECT_NE(
        report.text.find(Printed({"Disabling Halvex and performing data migration. This could take about "
                                  "an hour, depending on the system's configuration...",
                                  "Unable to disable Halvex"})),
        std::string::npos)
        << report.text;
    EXPECT_EQ(report.result.getType(), 1);
}

// ---- disk actions ----

TEST_F(ManageTaskRun, SpareAndNotSpare) {
    Start(sim::MachineBuilder::Default());
    const Report unmarked = Run(ManageTask::NOT_SPARE, {"0-0-1-0"});
    EXPECT_EQ(unmarked.result.getType(), 0) << unmarked.text;
    EXPECT_EQ(unmarked.text, Printed({"--MARK SPARE DISK AS AVAILABLE--", "Disk 0-0-1-0 is not a spare."}));
    const Report marked = Run(ManageTask::SPARE, {"0-0-1-0"});
    EXPECT_EQ(marked.result.getType(), 0) << marked.text;
    EXPECT_EQ(marked.text, Printed({"--MARK A DISK AS SPARE--", "Disk 0-0-1-0 marked as a spare."}));

    const Report unknown = Run(ManageTask::SPARE, {"9-9-9-9"});
    EXPECT_EQ(unknown.result.getType(), 3);
    EXPECT_EQ(unknown.result.getDetails(), Lines{"End Device does not exist! Id: 9-9-9-9"});
    EXPECT_EQ(unknown.text, "");

    clitest::ScopedUviFaults refused{{UviDiskMarkAsSpare}};
    const Report failed = Run(ManageTask::SPARE, {"0-0-0-0"});
    EXPECT_NE(failed.result.getType(), 0);
    EXPECT_EQ(failed.text, "");
}

TEST_F(ManageTaskRun, UnlockChecksItsArgumentsAndAlwaysEndsWithTheGenerationLine) {
    Start(sim::MachineBuilder::Default());
    const std::string notSupported = "\nNOT SUPPORTED in Xqjd20\n";
    const struct {
        std::string password, disk;
        int32_t returnCode;
        Lines details;
        std::string text;
    } refusals[] = {
        {"secret", "", 2, {"No Valid Disk Provided"}, ""},
        {"", "0-0-1-0", 2, {"Password is either NULL or larger than expected length"}, ""},
        {std::string(33, 'p'), "0-0-1-0", 2, {"Password is either NULL or larger than expected length"}, ""},
        {"secret", "9-9-9-9", 3, {"End Device does not exist! Id: 9-9-9-9"}, notSupported},
    };
    for (const auto& c : refusals) {
        const Report report = Run(ManageTask::UNLOCK, {c.password, c.disk});
        EXPECT_EQ(report.result.getType(), c.returnCode) << c.password.size() << c.disk;
        EXPECT_EQ(report.result.getDetails(), c.details) << c.password.size() << c.disk;
        EXPECT_EQ(report.text, c.text);
    }
    // 32 characters pass; with the gate closed the library is asked for handle 0 and refuses.
    std::vector<uint32_t> handles;
    MOX::ScopedUviStandIn unlock(UviDiskUnlock, [&](uint32_t disk, const _UVI_DiskUnlockInfo* info) {
        handles.push_back(disk);
        EXPECT_EQ(info->passwordKind, 1);
        return UviDiskUnlock(disk, info);
    });
    const Report closed = Run(ManageTask::UNLOCK, {std::string(32, 'p'), "0-0-1-0"});
    EXPECT_EQ(handles, std::vector<uint32_t>{0});
    EXPECT_NE(closed.result.getType(), 0);
    EXPECT_EQ(closed.text, notSupported);

    // With the gate open the disk is looked up and must be locked.
    clitest::ScopedUviFaults gate{{UviGetControllerInfo, 0, -1, [](void* record) {
                                       static_cast<_UVI_ControllerInfo*>(record)->reserved12[0] = 1;
                                   }}};
    const Report open = Run(ManageTask::UNLOCK, {"secret", "0-0-1-0"});
    EXPECT_EQ(open.result.getType(), 2);
    EXPECT_EQ(open.result.getDetails(), Lines{"Disk is not in a Locked state"});
    EXPECT_EQ(open.text, "\n--UNLOCK DISK--\n" + notSupported);
    EXPECT_EQ(handles.size(), 1u);
}

TEST_F(ManageTaskRun, NormalResetsTheSmartEventAndTheFailedState) {
    sim::MachineBuilder pc = moxtest::DataVolumeMachine();
    pc.Set("/adapters/0/raid/disks/4/state_flags", "\"0x214\""); // failed, present, SMART event
    Start(pc);
    const Report plain = Run(ManageTask::NORMAL, {"0-0-0-0"});
    EXPECT_EQ(plain.result.getType(), 5);
    EXPECT_TRUE(plain.result.getDetails().empty());
    EXPECT_EQ(plain.text, "");

    {
        clitest::ScopedUviFaults normalFails{{UviDiskMarkAsNormal}};
        const Report half = Run(ManageTask::NORMAL, {"0-0-4-0"});
        EXPECT_NE(half.result.getType(), 0);
        EXPECT_EQ(half.text, Printed({"--SET DISK TO NORMAL--", "Reset 0-0-4-0 SMART event."}));
    }
    machine_->machine().SetValue("/adapters/0/raid/disks/4/state_flags", sim::Value("0x214"));
    const Report both = Run(ManageTask::NORMAL, {"0-0-4-0"});
    EXPECT_EQ(both.result.getType(), 0) << both.text;
    EXPECT_EQ(both.text,
              Printed({"--SET DISK TO NORMAL--", "Set 0-0-4-0 to Normal.", "Reset 0-0-4-0 SMART event."}));
}

TEST_F(ManageTaskRun, DeleteMetadataOfOneDisk) {
    sim::MachineBuilder pc = sim::MachineBuilder::Default();
    moxtest::DriverDisk claimed = moxtest::HardDisk("KV-CLAIMED");
    claimed.target = 4;
    claimed.raidFacts = R"(, "claimed": true)";
    moxtest::AddDriverDisk(pc, claimed);
    Start(pc);
    const Report cleared = Run(ManageTask::DELETE_METADATA, {"0-0-4-0"});
    EXPECT_EQ(cleared.result.getType(), 0) << cleared.text;
    EXPECT_EQ(cleared.text, Printed({"--DELETE METADATA--", "Delete metadata from 0-0-4-0."}));

    clitest::ScopedUviFaults noRaid{{UviGetControllerInfo, 0, -1, [](void* record) {
                                         static_cast<_UVI_ControllerInfo*>(record)->raidSupported = 0;
                                     }}};
    const Report refused = Run(ManageTask::DELETE_METADATA, {"0-0-4-0"});
    EXPECT_EQ(refused.result.getType(), 5);
    EXPECT_EQ(refused.result.getDetails(), Lines{kSupportedNotFound});
}

// ---- volume actions ----

TEST_F(ManageTaskRun, TheVolumeFamilyCallsTheLibraryWithTheNamedVolumeAndConfirms) {
    Start(moxtest::DataVolumeMachine());
    // Each export answers success and records what it was asked.
    std::vector<std::string> asked;
    auto answer = [&](std::string what) {
        asked.push_back(std::move(what));
        return _UVI_Error{};
    };
    MOX::ScopedUviStandIn normal(UviVolumeMarkAsNormal, [&](unsigned int) { return answer("normal"); });
    MOX::ScopedUviStandIn deleted(UviVolumeDelete, [&](unsigned int) { return answer("delete"); });
    MOX::ScopedUviStandIn initialized(UviVolumeInitialize,
                                      [&](unsigned int) { return answer("initialize"); });
    MOX::ScopedUviStandIn verified(UviVolumeVerify, [&](unsigned int, bool repair) {
        return answer(repair ? "verify repair" : "verify");
    });
    MOX::ScopedUviStandIn cancelled(UviVolumeCancelVerify, [&](unsigned int) { return answer("cancel"); });
    MOX::ScopedUviStandIn policy(UviVolumeSetCachePolicy, [&](unsigned int, int value) {
        return answer("policy " + std::to_string(value));
    });
    MOX::ScopedUviStandIn writeCache(UviArraySetWriteCacheState, [&](unsigned int, int state) {
        return answer("write cache " + std::to_string(state));
    });
    const struct {
        int32_t kind;
        Lines args;
        const char* call;
        Lines printed;
    } cases[] = {
        {ManageTask::NORMAL_VOLUME, {"Data"}, "normal", {"--SET VOLUME TO NORMAL--", "Set Data to Normal."}},
        {ManageTask::DELETE_VOLUME, {"Data"}, "delete", {"--DELETE A VOLUME--", "Delete Data."}},
        {ManageTask::INITIALIZE,
         {"Data"},
         "initialize",
         {"--INITIALIZE A VOLUME--", "Initialize the redundant data on Data."}},
        {ManageTask::VERIFY, {"Data"}, "verify", {"--VERIFY A VOLUME--", "Verify Data."}},
        {ManageTask::VERIFY_REPAIR,
         {"Data"},
         "verify repair",
         {"--VERIFY AND REPAIR A VOLUME--", "Verify and repair Data."}},
        {ManageTask::CANCEL_VERIFY,
         {"Data"},
         "cancel",
         {"--CANCEL VERIFY--", "Cancel verify operation for Data."}},
        {ManageTask::VOLUME_CACHE_POLICY,
         {"Data", "off"},
         "policy 1",
         {"--VOLUME CACHE POLICY--", "Policy is set to off."}},
        {ManageTask::VOLUME_CACHE_POLICY,
         {"Data", "wb"},
         "policy 3",
         {"--VOLUME CACHE POLICY--", "Policy is set to wb."}},
        {ManageTask::VOLUME_CACHE_POLICY,
         {"Data", "WB"},
         "policy 0",
         {"--VOLUME CACHE POLICY--", "Policy is set to WB."}},
        {ManageTask::WRITE_CACHE,
         {"SATA_Array_0001", "false"},
         "write cache 0",
         {"--SET WRITE CACHE--", "Set write cache to false."}},
        {ManageTask::WRITE_CACHE,
         {"SATA_Array_0001", "False"},
         "write cache 1",
         {"--SET WRITE CACHE--", "Set write cache to False."}},
    };
    for (const auto& c : cases) {
        asked.clear();
        const Report report = Run(c.kind, c.args);
        EXPECT_EQ(report.result.getType(), 0) << c.call;
        EXPECT_EQ(asked, Lines{c.call});
        EXPECT_EQ(report.text, Printed(c.printed)) << c.call;
    }
}

TEST_F(ManageTaskRun, VolumeActionsReportTheLibrarysRefusalsAndUnknownNames) {
    Start(moxtest::DataVolumeMachine());
    const Report policy = Run(ManageTask::VOLUME_CACHE_POLICY, {"Data", "WB"});
    EXPECT_NE(policy.result.getType(), 0);
    EXPECT_EQ(policy.text, "");
    bool invalidPolicy = false;
    for (const std::string& line : policy.result.getDetails())
        invalidPolicy = invalidPolicy || line.find("Invalid Policy passed in") != std::string::npos;
    EXPECT_TRUE(invalidPolicy);

    const Report unknown = Run(ManageTask::DELETE_VOLUME, {"Nope"});
    EXPECT_EQ(unknown.result.getType(), 3);
    EXPECT_EQ(unknown.result.getDetails(), Lines{"Volume does not exist! Id: Nope"});
    const Report noArray = Run(ManageTask::WRITE_CACHE, {"Nope", "true"});
    EXPECT_EQ(noArray.result.getType(), 3);
    EXPECT_EQ(noArray.result.getDetails(), Lines{"Array does not exist! Id: Nope"});

    const Report deleted = Run(ManageTask::DELETE_VOLUME, {"Data"});
    EXPECT_EQ(deleted.result.getType(), 0) << deleted.text;
    EXPECT_EQ(deleted.text, Printed({"--DELETE A VOLUME--", "Delete Data."}));
    EXPECT_EQ(machine()->At("/adapters/0/raid/volumes").size(), 1u);
}

TEST_F(ManageTaskRun, AVolumeNameOnAMachineWithoutVolumesIsNotFound) {
    Start(sim::MachineBuilder::FromFile("controllers.json"));
    const Report report = Run(ManageTask::DELETE_VOLUME, {"Data"});
    EXPECT_EQ(report.result.getType(), 3);
    EXPECT_EQ(report.result.getDetails(), Lines{"ERROR: Volume Data not found."});
}

TEST_F(ManageTaskRun, Rebuild) {
    Start(sim::MachineBuilder::FromFile("states.json"));
    const Report raid0 = Run(ManageTask::REBUILD, {"NonRedundant", "0-0-6-0"});
    EXPECT_EQ(raid0.result.getType(), 24);
    EXPECT_EQ(raid0.result.getDetails(), Lines{"Cannot rebuild RAID 0 volume."});
    const Report noDisk = Run(ManageTask::REBUILD, {"Degraded", "9-9-9-9"});
    EXPECT_EQ(noDisk.result.getType(), 3);
    EXPECT_EQ(noDisk.result.getDetails(), Lines{"End Device does not exist! Id: 9-9-9-9"});

    std::vector<std::pair<uint32_t, uint32_t>> rebuilt;
    MOX::ScopedUviStandIn rebuild(UviVolumeRebuild, [&](unsigned int volume, unsigned int disk) {
        rebuilt.emplace_back(volume, disk);
        return _UVI_Error{};
    });
    const Report started = Run(ManageTask::REBUILD, {"Degraded", "0-0-6-0"});
    EXPECT_EQ(started.result.getType(), 0);
    EXPECT_EQ(rebuilt.size(), 1u);
    EXPECT_EQ(started.text, Printed({"--REBUILD--", "Rebuild Degraded to disk 0-0-6-0."}));
}

} // namespace
