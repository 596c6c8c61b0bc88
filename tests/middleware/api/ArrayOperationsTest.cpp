// Removing every volume of an array, pass by pass, against the simulated driver.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "middleware/api/ArrayOperations.h"
#include "middleware/api/UviApi.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/Controller.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/VolumeTransaction.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/support/ChildProcess.h"

namespace {

// The default machine's mirror array holding three volumes; the driver acts at once.
sim::MachineBuilder ThreeVolumes(bool firstSurvivesDelete = false) {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    b.Set("/adapters/0/raid/action_ms", "0");
    b.Set("/adapters/0/raid/volumes", R"([
        {"name": "Vol1", "level": 1, "size_mb": 100000, "strip_kb": 64, "array": 0},
        {"name": "Vol2", "level": 1, "size_mb": 100000, "strip_kb": 64, "array": 0},
        {"name": "Vol3", "level": 1, "size_mb": 100000, "strip_kb": 64, "array": 0}])");
    if (firstSurvivesDelete)
        b.Set("/adapters/0/raid/volumes/0/survives_delete", "true");
    return b;
}

class RemoveArrayVolumes : public ::testing::Test {
protected:
    explicit RemoveArrayVolumes(const sim::MachineBuilder& machine = ThreeVolumes()) : machine_(machine) {
        DeviceLocator::ResetForTests();
    }
    ~RemoveArrayVolumes() override { DeviceLocator::ResetForTests(); }
    void SetUp() override {
        ASSERT_EQ(UviInitialize().status, UVI_STATUS_SUCCESS);
        Session* built = nullptr;
        static_cast<void>(Session::Create(built, nullptr));
        std::unique_ptr<Session> session(built);
        ASSERT_TRUE(session);
        for (const auto& c : session->getControllers())
            if (!c->getArrays().empty()) {
                controller_ = c->getHandle();
                array_ = c->getArrays().at(0)->getHandle();
            }
        ASSERT_NE(array_, 0u);
    }
    void TearDown() override { static_cast<void>(UviFinalize()); }

    // Deletes a volume with the driver's delete action, counting the calls.
    CConsolidatedError Delete(Session& session, uint32_t volume) {
        ++deletes_;
        const std::shared_ptr<Controller> controller = session.getControllerByHandle(controller_);
        ControllerLocatorLock lock(controller->getTarget());
        VolumeTransaction transaction(controller_, volume);
        return transaction.singleVolumeTransaction(session, controller->getTarget(), 1);
    }
    CConsolidatedError Remove(uint32_t controller, uint32_t array) {
        return RemoveArrayVolumesWith(
            controller, array, [this](Session& session, uint32_t volume) { return Delete(session, volume); });
    }
    static std::string Topology() {
        moxtest::ChildResult r = moxtest::RunChild({"raid-topology"});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return r.output;
    }

    sim::ScopedMachine machine_;
    uint32_t controller_ = 0, array_ = 0;
    int deletes_ = 0;
};

TEST_F(RemoveArrayVolumes, ThreeVolumesGoInThreePasses) {
    CConsolidatedError result = Remove(controller_, array_);
    EXPECT_TRUE(result.IsSuccessful()) << result.GetDebugInformation();
    EXPECT_EQ(deletes_, 3);
    EXPECT_EQ(Topology().find("volume "), std::string::npos);
}

TEST_F(RemoveArrayVolumes, ArrayWithoutVolumesOrUnknownControllerDeletesNothing) {
    EXPECT_TRUE(Remove(controller_, 0).IsSuccessful());
    EXPECT_TRUE(Remove(controller_, 0x7FFF0000).IsSuccessful());
    CConsolidatedError missing = Remove(0x7FFF0001, array_);
    EXPECT_EQ(missing.GetErrorCode(), 0xA0000006u);
    EXPECT_STREQ(missing.GetErrorMessage(),
                 "Remove all volumes from array: Can't find controller with given handle.");
    EXPECT_EQ(deletes_, 0);
    EXPECT_NE(Topology().find("volume Vol3 "), std::string::npos);
}

class RemoveArrayVolumesOfALyingDriver : public RemoveArrayVolumes {
protected:
    RemoveArrayVolumesOfALyingDriver() : RemoveArrayVolumes(ThreeVolumes(true)) {}
};

TEST_F(RemoveArrayVolumesOfALyingDriver, DeletionsThatLeaveTheVolumeEndAfterAsManyPassesAsThereWereVolumes) {
    CConsolidatedError result = Remove(controller_, array_);
    EXPECT_EQ(result.GetErrorCode(), 0xA001000Fu);
    EXPECT_EQ(deletes_, 4);
    EXPECT_NE(Topology().find("volume Vol1 "), std::string::npos);
}

} // namespace
