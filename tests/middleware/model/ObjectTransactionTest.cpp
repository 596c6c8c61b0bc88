// Volume and disk transactions on a session of the simulated controller: the action fields written
// for one object and cleared for the others, the set-up read back, another program's change in
// between, and the change seen by a fresh session in another process.
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/RaidConfig.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/DiskTransaction.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/VolumeTransaction.h"
#include "sim/Clock.h"
#include "tests/middleware/model/ModelTestSupport.h"
#include "tests/middleware/model/RaidConfigWord.h"
#include "tests/support/ChildProcess.h"

namespace {

// The default machine: Volume0 (RAID 1 on disks 2 and 3), a spare (disk 1) and a pass-through disk
// (disk 0), the driver taking one second per trigger.
class ObjectTransaction : public modeltest::ModelTest {
protected:
    explicit ObjectTransaction(const char* actionMs = "1000")
        : ModelTest(sim::MachineBuilder::Default().Set("/adapters/0/raid/action_ms", actionMs)) {}

    void SetUp() override { modeltest::SessionOnPortZero(session_, controller_); }

    uint32_t ConfigWord(size_t offset) { return modeltest::RaidConfigWord(Controller(0), offset); }
    uint32_t VolumeHandle() { return controller_->getVolumes().at(0)->getHandle(); }
    uint32_t DiskHandle(int32_t raidIndex) { return controller_->getDiskByRaidIndex(raidIndex)->getHandle(); }

    CConsolidatedError OnVolume(uint32_t volumeHandle, uint32_t action, uint32_t controllerHandle = 0) {
        ControllerLocatorLock lock(controller_->getTarget());
        VolumeTransaction transaction(controllerHandle ? controllerHandle : controller_->getHandle(),
                                      volumeHandle);
        return transaction.singleVolumeTransaction(*session_, controller_->getTarget(), action);
    }
    CConsolidatedError OnDisk(uint32_t diskHandle, uint32_t action) {
        ControllerLocatorLock lock(controller_->getTarget());
        DiskTransaction transaction(controller_->getHandle(), diskHandle);
        return transaction.singleDiskTransaction(*session_, controller_->getTarget(), action);
    }
    // What a fresh session of another process reads.
    static std::string Topology() {
        moxtest::ChildResult r = moxtest::RunChild({"raid-topology"});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return r.output;
    }
    static bool Has(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }

    std::unique_ptr<Session> session_;
    std::shared_ptr<::Controller> controller_;
};

class ObjectTransactionOnClock : public ObjectTransaction {
protected:
    sim::ScopedVirtualClock clock_;
};

TEST_F(ObjectTransactionOnClock, VolumeDeletionIsSeenByAFreshSessionElsewhere) {
    ASSERT_TRUE(Has(Topology(), "volume Volume0 "));
    CConsolidatedError result = OnVolume(VolumeHandle(), 1);
    EXPECT_TRUE(result.IsSuccessful()) << result.GetDebugInformation();
    EXPECT_TRUE(Has(result.GetDebugInformation(),
                    "class VolumeTransaction VolumeTransaction::singleVolumeTransaction"));
    EXPECT_TRUE(
        Has(result.GetDebugInformation(), "class VolumeTransaction TransactionManager::triggerTransaction"));
    const std::string after = Topology();
    EXPECT_FALSE(Has(after, "volume Volume0 "));
    // The members keep their RAID metadata, in no array, until the host clears it.
    EXPECT_TRUE(Has(after, "disk TS-0077 1 ")) << after;
}

TEST_F(ObjectTransactionOnClock, TargetOutsideTheControllerClearsEveryActionAndStillTriggers) {
    CConsolidatedError result = OnVolume(0xFFFF, 1);
    EXPECT_TRUE(result.IsSuccessful()) << result.GetDebugInformation();
    EXPECT_EQ(ConfigWord(24), 1u);
    EXPECT_EQ(ConfigWord(4), 1u); // nothing deleted
}

TEST_F(ObjectTransactionOnClock, SetUpFailuresStopBeforeTheTrigger) {
    struct Case {
        const char* rule;
        uint32_t code; // 0: the write's or read's own failure
        const char* text;
    };
    const Case cases[] = {
        {R"({"kind": "RaidRequest", "match": {"group": 2, "field": 77, "direction": 1},
             "outcome": {"win32_error": 31}})",
         0, "Could not get set volume Action"},
        // The first read of the volume is the check before the set-up; the validation reads it again.
        {R"({"kind": "RaidRequest", "match": {"group": 2, "direction": 0}, "skip": 1,
             "outcome": {"win32_error": 31}})",
         0, "Could not get current volume information for volume index: 0"},
        // Another program renamed the volume between set-up and validation.
        {R"({"kind": "RaidRequest", "match": {"group": 2, "direction": 0}, "skip": 1,
             "outcome": {"group_patch": [{"offset": 4, "u32": 1163217986}]}})",
         0xA006001B, "Could not validate the setup of volume transaction, config of volumes has changed"},
        {R"({"kind": "RaidRequest", "match": {"group": 2, "direction": 0}, "skip": 1,
             "outcome": {"group_patch": [{"offset": 4, "u32": 1163217986}]}})",
         0xA006001B, "class VolumeTransaction VolumeTransaction::validateVolumeTransactionSetup"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Inject(c.rule);
        CConsolidatedError result = OnVolume(VolumeHandle(), 1);
        EXPECT_TRUE(result.IsError());
        if (c.code) {
            EXPECT_EQ(result.GetErrorCode(), c.code);
        }
        EXPECT_TRUE(Has(result.GetDebugInformation(), c.text)) << result.GetDebugInformation();
        EXPECT_EQ(ConfigWord(24), 0u); // no trigger was written
    }
}

TEST_F(ObjectTransactionOnClock, UnknownControllerHandle) {
    CConsolidatedError result = OnVolume(VolumeHandle(), 1, 0x7FFF0001);
    EXPECT_EQ(result.GetErrorCode(), 0xA0010003u);
    EXPECT_STREQ(result.GetErrorMessage(), "Invalid controller handle: [2147418113]");
}

TEST_F(ObjectTransactionOnClock, DiskBecomesASpareForAFreshSessionElsewhere) {
    // Disk 0 is the pass-through disk: claim it, then make it a spare.
    ASSERT_TRUE(OnDisk(DiskHandle(0), 1).IsSuccessful());
    CConsolidatedError result = OnDisk(DiskHandle(0), 5);
    EXPECT_TRUE(result.IsSuccessful()) << result.GetDebugInformation();
    EXPECT_FALSE(Has(result.GetDebugInformation(), "DiskTransaction::singleDiskTransaction"));
    EXPECT_TRUE(Has(Topology(), "disk ZA1B2C3D 4 "));
}

TEST_F(ObjectTransactionOnClock, DiskSerialChangedBetweenSetUpAndValidation) {
    Inject(R"({"kind": "RaidRequest", "match": {"group": 3, "instance": 1, "direction": 0}, "skip": 1,
               "outcome": {"group_patch": [{"offset": 4, "u32": 1163217986}]}})");
    CConsolidatedError result = OnDisk(DiskHandle(0), 9);
    EXPECT_EQ(result.GetErrorCode(), 0xA006001Bu);
    EXPECT_TRUE(Has(result.GetDebugInformation(),
                    "Could not validate the setup of disk transaction, config of disks has changed"));
    EXPECT_EQ(ConfigWord(24), 0u);
}

// The action field the driver keeps for a volume or disk (0 when none was written).
int64_t ActionField(sim::ScopedMachine& machine, const std::string& row) {
    const sim::Value field = machine->At("/adapters/0/raid/" + row + "/action");
    return field.is_null() ? 0 : field.get<int64_t>();
}

// The object at an index changed after the session read it (another program's change, as the
// patched answer shows it): refused before the set-up, so no action field keeps a stray code.
TEST_F(ObjectTransactionOnClock, AnObjectNoLongerAtItsIndexIsRefusedBeforeAnyWrite) {
    struct Case {
        const char* rule;
        bool volume;
        const char* message;
        const char* row; // the target's action field
    };
    const Case cases[] = {
        {R"({"kind": "RaidRequest", "match": {"group": 2, "instance": 0, "direction": 0}, "times": 1,
             "outcome": {"group_patch": [{"offset": 4, "u32": 1163217986}]}})",
         true, "volume index 0 no longer holds \"Volume0\"", "volumes/0"},
        {R"({"kind": "RaidRequest", "match": {"group": 3, "instance": 1, "direction": 0}, "times": 1,
             "outcome": {"group_patch": [{"offset": 4, "u32": 1163217986}]}})",
         false, "disk index 1 no longer holds", "disks/0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Inject(c.rule);
        CConsolidatedError result = c.volume ? OnVolume(VolumeHandle(), 4) : OnDisk(DiskHandle(0), 9);
        EXPECT_EQ(result.GetErrorCode(), 0xA006001Bu);
        EXPECT_TRUE(Has(result.GetErrorMessage() ? result.GetErrorMessage() : "", c.message))
            << (result.GetErrorMessage() ? result.GetErrorMessage() : "");
        EXPECT_EQ(ActionField(machine_, c.row), 0);
        EXPECT_EQ(ConfigWord(24), 0u);
    }
}

// A driver slower than the transaction's 60 s deadline: the first change is reported done while the
// driver still carries it out.
class ObjectTransactionOnASlowDriver : public ObjectTransaction {
protected:
    ObjectTransactionOnASlowDriver() : ObjectTransaction("90000") {}
    sim::ScopedVirtualClock clock_;
};

TEST_F(ObjectTransactionOnASlowDriver, TheNextChangeIsRefusedBeforeItRewritesTheActionsOfTheFirst) {
    CConsolidatedError first = OnDisk(DiskHandle(0), 9);
    EXPECT_TRUE(first.IsSuccessful()) << first.GetDebugInformation();
    EXPECT_TRUE(Has(first.GetDebugInformation(), "TimedOut waiting for transaction to complete"));
    EXPECT_EQ(ActionField(machine_, "disks/0"), 9);

    for (bool volume : {false, true}) {
        SCOPED_TRACE(volume ? "volume" : "disk");
        CConsolidatedError second = volume ? OnVolume(VolumeHandle(), 4) : OnDisk(DiskHandle(1), 9);
        EXPECT_EQ(second.GetErrorCode(), 0xA0060023u);
        EXPECT_STREQ(second.GetErrorMessage(), "Actions are in progress - won't trigger action");
        EXPECT_EQ(ActionField(machine_, "disks/0"), 9);
        EXPECT_EQ(ActionField(machine_, "disks/1"), 0);
        EXPECT_EQ(ActionField(machine_, "volumes/0"), 0);
    }
    // The driver finishes the first change as it was asked: disk 0 goes offline, disk 1 stays.
    sim::Clock::AdvanceMs(60000);
    const std::string topology = Topology();
    EXPECT_TRUE(Has(topology, "disk ZA1B2C3D 2 0x90")) << topology;
    EXPECT_TRUE(Has(topology, "disk ZA1B2C4E 4 0x10")) << topology;
}

// The driver carries out triggers at once, so that no poll waits on the real clock.
class ObjectTransactionAtOnce : public ObjectTransaction {
protected:
    ObjectTransactionAtOnce() : ObjectTransaction("0") {}
};

// Another process holding the controller's mutex keeps the transaction from starting.
TEST_F(ObjectTransactionAtOnce, ControllerMutexHeldElsewhereMakesTheChangeWait) {
    moxtest::Child holder({"mutex-hold", "Scsi0:_RO"});
    ASSERT_EQ(holder.ReadLine(), "ready 0");
    std::atomic<bool> done{false};
    CConsolidatedError result;
    std::thread worker([&] {
        result = OnVolume(VolumeHandle(), 1);
        done = true;
    });
    // The change waits without time limit for the mutex the other process holds.
    ASSERT_TRUE(machine_->calls().AwaitMatching(
        "WaitForSingleObject", R"({"object": "mutex", "name": "Scsi0:_RO", "timeout": "0xFFFFFFFF"})"));
    EXPECT_FALSE(done.load());
    holder.WriteLine("release");
    worker.join();
    EXPECT_TRUE(result.IsSuccessful()) << result.GetDebugInformation();
    EXPECT_FALSE(Has(Topology(), "volume Volume0 "));
}

} // namespace
