// Sessions built on the simulated PC, through the library's own calls: the life cycle of the C
// interface, the build's retries on the simulator's clock, and the lookups of a built session.
#include <cstdint>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviApi.h"
#include "middleware/core/HandleRegistry.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/DictionarySingleton.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHandler.h"
#include "middleware/model/WinDiskInterface.h"
#include "middleware/model/ZrcRemapRequestCache.h"
#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "sim/Value.h"
#include "sim/driver/EventCounterDrift.h"

extern "C" unsigned int UviApiFromCLifecycle(uint32_t* statuses);

namespace {

// A session of the default machine whose driver is busy, a PC of other vendors' controllers only,
// and so on: each test gets its machine, a virtual clock and a fresh controller table.
class SessionBuild : public ::testing::Test {
protected:
    explicit SessionBuild(const sim::MachineBuilder& machine = sim::MachineBuilder::Default())
        : machine_(machine) {
        DeviceLocator::ResetForTests();
        IoctlInterfaceVersionStore::ResetForTests();
        CDictionarySingleton::Release();
        HandleRegistry::instance().resetForTests();
        start_ = sim::Clock::NowMs();
    }
    ~SessionBuild() override {
        if (SessionHandler::get().isInitialized())
            static_cast<void>(SessionHandler::get().finalize());
        DeviceLocator::ResetForTests();
    }
    void TearDown() override {
        EXPECT_EQ(machine_->faults().Pending(), 0u) << "an injected fault never fired";
    }

    // Builds a session as the table does; the session is kept by the fixture.
    CConsolidatedError Build() {
        Session* built = nullptr;
        const CConsolidatedError result = Session::Create(built, &cache_);
        session_.reset(built);
        return result;
    }
    uint64_t Slept() const { return sim::Clock::NowMs() - start_; }

    sim::ScopedVirtualClock clock_;
    sim::ScopedMachine machine_;
    ZrcRemapRequestCache cache_;
    std::unique_ptr<Session> session_;
    uint64_t start_ = 0;
};

TEST_F(SessionBuild, TheLifeCycleOfTheCInterface) {
    unsigned handle = 4242;
    EXPECT_EQ(UviSessionOpen(&handle).status, UVI_STATUS_NOT_INITIALIZED);
    EXPECT_EQ(handle, 4242u) << "the handle is not written before the library starts";
    EXPECT_EQ(UviSessionClose(1).status, UVI_STATUS_NOT_INITIALIZED);
    EXPECT_EQ(UviFinalize().status, UVI_STATUS_NOT_INITIALIZED);

    ASSERT_EQ(UviInitialize().status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(UviInitialize().status, UVI_STATUS_DUPLICATE);
    ASSERT_EQ(UviSessionOpen(&handle).status, UVI_STATUS_SUCCESS);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(UviSessionOpen(nullptr).code, CConsolidatedError::GENERAL_NULL_PARAMETER);
    EXPECT_EQ(UviSessionClose(handle).status, UVI_STATUS_SUCCESS);
    const _UVI_Error twice = UviSessionClose(handle);
    EXPECT_EQ(twice.code, CConsolidatedError::GENERAL_INVALID_VALUE);
    EXPECT_STREQ(GetLoggedError(twice).GetDebugInformation(),
                 "Session handler, destroy session: session not found");
    EXPECT_EQ(UviFinalize().status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(UviFinalize().status, UVI_STATUS_NOT_INITIALIZED);

    // The same from a C translation unit; ids go on counting after a restart.
    uint32_t statuses[5] = {};
    const unsigned fromC = UviApiFromCLifecycle(statuses);
    EXPECT_EQ(fromC, handle + 1);
    const uint32_t notFound = UviStatusFromCode(CConsolidatedError::GENERAL_INVALID_VALUE);
    EXPECT_EQ(statuses[0], 0u);
    EXPECT_EQ(statuses[1], 0u);
    EXPECT_EQ(statuses[2], 0u);
    EXPECT_EQ(statuses[3], notFound);
    EXPECT_EQ(statuses[4], 0u);
    EXPECT_EQ(Slept(), 0u);
}

TEST_F(SessionBuild, TheDefaultMachineBuildsAtOnceAndItsObjectsAreFoundByHandle) {
    ASSERT_TRUE(Build().IsSuccessful());
    EXPECT_EQ(Slept(), 0u);
    ASSERT_EQ(session_->getControllers().size(), 2u);
    ASSERT_EQ(session_->getThirdPartyControllers().size(), 1u);
    EXPECT_FALSE(session_->hasZrcController());
    EXPECT_EQ(session_->getAllControllers().size(), 3u);

    const auto& own = session_->getControllers().front();
    const auto& other = session_->getThirdPartyControllers().front();
    EXPECT_EQ(session_->getControllerByHandle(own->getHandle()), own);
    EXPECT_EQ(session_->getControllerByHandle(other->getHandle()), nullptr);
    EXPECT_EQ(session_->getThirdPartyControllerByHandle(other->getHandle()), other);
    EXPECT_EQ(session_->getAnyControllerByHandle(other->getHandle()), other);
    ControllerLocator* record = nullptr;
    EXPECT_TRUE(session_->getControllerLocator(own->getHandle(), record).IsSuccessful());
    EXPECT_EQ(record, own->getControllerLocator());
    EXPECT_EQ(session_->getControllerLocator(other->getHandle(), record).GetErrorCode(),
              CConsolidatedError::UVI_INVALIDSESSION);

    ASSERT_FALSE(own->getDisks().empty());
    const auto& disk = own->getDisks().front();
    EXPECT_EQ(session_->getEndDeviceByHandle(disk->getHandle()), disk);
    ASSERT_FALSE(own->getVolumes().empty());
    const auto& volume = own->getVolumes().front();
    EXPECT_EQ(session_->getVolumeByHandle(volume->getHandle()), volume);
    EXPECT_EQ(session_->getArrayByHandle(own->getArrays().front()->getHandle()), own->getArrays().front());

    const uint32_t unknown = 0x7FFFFFF0;
    EXPECT_EQ(session_->getEndDeviceByHandle(unknown), nullptr);
    EXPECT_EQ(session_->getVolumeByHandle(unknown), nullptr);
    EXPECT_EQ(session_->getArrayByHandle(unknown), nullptr);
    EXPECT_EQ(session_->getThirdPartyEndDeviceByHandle(unknown), nullptr);
    EXPECT_EQ(session_->findWinDiskInterfaceByDeviceNumber(12345), nullptr);

    // The volume's Windows drive is found through the volume: no disk has its device number.
    ASSERT_TRUE(volume->getWinDiskInterface());
    const int volumeDrive = static_cast<int>(volume->getWinDiskInterface()->getDeviceNumber());
    EXPECT_EQ(session_->findWinDiskInterfaceByDeviceNumber(volumeDrive).get(),
              volume->getWinDiskInterface().get());
}

class OtherVendorsOnly : public SessionBuild {
protected:
    OtherVendorsOnly()
        : SessionBuild(sim::MachineBuilder::Default()
                           .Remove("/volumes")
                           .Remove("/disks")
                           .Remove("/adapters/1")
                           .Remove("/adapters/0")) {}
};

TEST_F(OtherVendorsOnly, TheSessionComesBackWithNoControllerFoundAfterOneAttempt) {
    const CConsolidatedError result = Build();
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::UVI_NO_CONTROLLER_FOUND);
    EXPECT_STREQ(result.GetDebugInformation(), "Failed to find any MOX controller");
    EXPECT_EQ(Slept(), 0u) << "no retry";
    ASSERT_TRUE(session_);
    EXPECT_TRUE(session_->getControllers().empty());
    EXPECT_EQ(session_->getThirdPartyControllers().size(), 1u);
    EXPECT_TRUE(session_->getHybridDiskSets().empty());
    EXPECT_TRUE(session_->getPciRootControllerSets().empty());

    // The table gives out no id for it, and a call of its own gets the error.
    ASSERT_EQ(UviInitialize().status, UVI_STATUS_SUCCESS);
    unsigned handle = 99;
    EXPECT_EQ(UviSessionOpen(&handle).code, CConsolidatedError::UVI_NO_CONTROLLER_FOUND);
    EXPECT_EQ(handle, 0u) << "a failed open leaves no handle behind";
    bool ran = false;
    EXPECT_EQ(RunTemporarySessionCall([&](Session&) {
                  ran = true;
                  return CConsolidatedError();
              }).code,
              CConsolidatedError::UVI_NO_CONTROLLER_FOUND);
    EXPECT_FALSE(ran);
}

// The default PC whose other vendor's adapter (port 2) is found first: its device node and the
// bridge above it come first in the device tree.
sim::MachineBuilder OtherVendorListedFirst() {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    const sim::Value nodes = b.AsValue()["devices"]["nodes"];
    const std::string adapter = b.AsValue()["adapters"][2]["instance_id"].get<std::string>();
    std::string bridge;
    for (size_t i = 0; i < nodes.size(); ++i)
        if (nodes[i]["id"].get<std::string>() == adapter)
            bridge = nodes[i]["parent"].get<std::string>();
    sim::Value first = sim::Value::array(), rest = sim::Value::array();
    for (size_t i = 0; i < nodes.size(); ++i) {
        const std::string id = nodes[i]["id"].get<std::string>();
        (id == adapter || id == bridge ? first : rest).push_back(nodes[i]);
    }
    // The root and the PCI root stay ahead of the bridge.
    sim::Value ordered = sim::Value::array({rest[0], rest[1], first[0], first[1]});
    for (size_t i = 2; i < rest.size(); ++i)
        ordered.push_back(rest[i]);
    b.Set("/devices/nodes", ordered.dump());
    return b;
}

class OtherVendorFirst : public SessionBuild {
protected:
    OtherVendorFirst() : SessionBuild(OtherVendorListedFirst()) {}
};

TEST_F(OtherVendorFirst, AFailureOnItsAdapterBeforeTheOwnOnesIsAFailedAttempt) {
    DeviceLocator table;
    ASSERT_NE(DeviceLocator::GetFlags(DeviceLocator::GetByIndex(0)) & kControllerMaskOtherVendor, 0u);
    // The other vendor's adapter descriptor cannot be read once by its populate.
    machine_->faults().Add(R"({"kind": "DeviceIoControl", "match": {"port": 2, "property_id": 1}, "times": 1,
                               "outcome": {"win32_error": 31}})");
    const CConsolidatedError result = Build();
    EXPECT_TRUE(result.IsSuccessful())
        << std::hex << result.GetErrorCode() << " " << result.GetErrorMessage();
    EXPECT_EQ(Slept(), 1000u) << "one retry";
    ASSERT_TRUE(session_);
    EXPECT_EQ(session_->getControllers().size(), 2u);
    EXPECT_EQ(session_->getThirdPartyControllers().size(), 1u);
}

TEST_F(OtherVendorFirst, AFailedOpenWritesNoHandle) {
    // Every attempt fails on the other vendor's adapter (the controller table is read first).
    DeviceLocator table;
    machine_->faults().Add(R"({"kind": "DeviceIoControl", "match": {"port": 2, "property_id": 1}, "times": -1,
                               "outcome": {"win32_error": 31}})");
    ASSERT_EQ(UviInitialize().status, UVI_STATUS_SUCCESS);
    unsigned handle = 99;
    EXPECT_NE(UviSessionOpen(&handle).status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(Slept(), 59000u) << "every attempt tried";
    machine_->faults().Clear();
}

class NoControllers : public SessionBuild {
protected:
    NoControllers()
        : SessionBuild(
              sim::MachineBuilder::Default().Remove("/volumes").Remove("/disks").Remove("/adapters")) {}
};

TEST_F(NoControllers, AnEmptyTableGivesNoControllerFoundAtOnce) {
    EXPECT_EQ(Build().GetErrorCode(), CConsolidatedError::UVI_NO_CONTROLLER_FOUND);
    EXPECT_EQ(Slept(), 0u);
    ASSERT_TRUE(session_);
    EXPECT_TRUE(session_->getAllControllers().empty());
}

class BusyDriver : public SessionBuild {
protected:
    // A trigger the driver carries out long after the test ends.
    BusyDriver()
        : SessionBuild(sim::MachineBuilder::Default().Set(
              "/adapters/0/raid/pending", R"({"trigger": 1, "due_ms": 999999999, "volume_actions": 1})")) {}
};

TEST_F(BusyDriver, ActionsInProgressFailEverySixtiethAttemptASecondApart) {
    const CConsolidatedError result = Build();
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::UVI_INVALIDSESSION);
    EXPECT_STREQ(result.GetErrorMessage(), "Actions in progress");
    EXPECT_STREQ(result.GetDebugInformation(), "Actions in progress in Session::populateControllerContainer");
    EXPECT_EQ(Slept(), 59u * 1000u) << "59 pauses of one second, none after the last attempt";
    EXPECT_FALSE(session_);
}

TEST_F(SessionBuild, ACounterThatMovesWithMatchingCountsKeepsTheController) {
    // The second read of port 0's counter (after its populate) finds it moved.
    machine_->faults().Add(sim::driver::EventCounterMovesRule(0, 1, 0x1234));
    ASSERT_TRUE(Build().IsSuccessful());
    EXPECT_EQ(Slept(), 0u);
    EXPECT_EQ(session_->getControllers().size(), 2u);
}

class UnlistedRaidDisk : public SessionBuild {
protected:
    // The RAID table lists a disk at target 1 that no port of the controller shows (a disk being
    // plugged or pulled): the driver's disk count no longer fits what can be built.
    UnlistedRaidDisk() : SessionBuild(sim::MachineBuilder::Default().Remove("/adapters/0/ports/1")) {}
};

TEST_F(UnlistedRaidDisk, ACounterThatMovesWithMismatchedCountsFailsTheAttemptAndTheNextOneSucceeds) {
    machine_->faults().Add(sim::driver::EventCounterMovesRule(0, 1, 0x1234));
    ASSERT_TRUE(Build().IsSuccessful());
    EXPECT_EQ(Slept(), 1000u) << "one failed attempt, then one pause";
    EXPECT_EQ(session_->getControllers().size(), 2u);
}

TEST_F(UnlistedRaidDisk, TheMismatchIsReportedWhenEveryAttemptSeesTheCounterMove) {
    // Every attempt's second read finds the counter elsewhere. A rule counts only the reads that
    // no earlier rule answered, so the one for attempt n lets n + 1 reads through.
    for (int attempt = 0; attempt < Session::kBuildAttempts; ++attempt)
        machine_->faults().Add(sim::driver::EventCounterMovesRule(0, attempt + 1, 0x1000 + attempt));
    const CConsolidatedError result = Build();
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::UVI_INVALIDSTATE);
    EXPECT_STREQ(result.GetErrorMessage(), "disk count mismatch");
    EXPECT_EQ(Slept(), 59u * 1000u);
}

} // namespace

class JoinedPair : public SessionBuild {
protected:
    JoinedPair() : SessionBuild(sim::MachineBuilder::FromFile("pairing.json")) {}
};

TEST_F(JoinedPair, TheSyntheticArrayAndVolumeDoNotCountAgainstTheDriversCounts) {
    // Port 1 carries the joined pair's array and volume beyond the driver's counts; a counter that
    // moves during its populate must not fail the build.
    machine_->faults().Add(sim::driver::EventCounterMovesRule(1, 1, 0x4321));
    ASSERT_TRUE(Build().IsSuccessful());
    EXPECT_EQ(Slept(), 0u) << "the first attempt is kept";
    std::shared_ptr<Controller> joined;
    for (const auto& controller : session_->getControllers())
        if (controller->getPortNumber() == 1)
            joined = controller;
    ASSERT_TRUE(joined);
    EXPECT_GT(joined->getArrays().size(), static_cast<size_t>(joined->getArrayCount()));
    EXPECT_EQ(session_->getPciRootControllerSets().size(), 1u);
}
