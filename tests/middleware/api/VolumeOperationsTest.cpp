// The volume operations and their lookups on the default machine's RAID volume.
#include <memory>

#include <gtest/gtest.h>

#include "middleware/api/VolumeOperations.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/Controller.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace {

class VolumeLookup : public ::testing::Test {
protected:
    VolumeLookup() : machine_(sim::MachineBuilder::Default()) { DeviceLocator::ResetForTests(); }
    ~VolumeLookup() override { DeviceLocator::ResetForTests(); }
    void SetUp() override {
        Session* built = nullptr;
        static_cast<void>(Session::Create(built, nullptr));
        session_.reset(built);
        ASSERT_TRUE(session_);
    }
    sim::ScopedMachine machine_;
    std::unique_ptr<Session> session_;
};

TEST_F(VolumeLookup, FindsTheControllerOfAVolumeAndNamesWhatIsMissing) {
    std::shared_ptr<Controller> raid;
    for (const auto& c : session_->getControllers())
        if (!c->getVolumes().empty())
            raid = c;
    ASSERT_TRUE(raid);
    std::shared_ptr<Controller> found;
    EXPECT_TRUE(
        GetVolumeAndController(session_.get(), raid->getVolumes().at(0)->getHandle(), found).IsSuccessful());
    EXPECT_EQ(found, raid);

    struct Case {
        Session* session;
        uint32_t handle;
        uint32_t code;
        const char* message;
    };
    const Case cases[] = {
        {nullptr, raid->getVolumes().at(0)->getHandle(), 0xA0000006, "null session"},
        {session_.get(), 0x7FFFFFFF, 0xA0010003, "failed to get volume for the given volume handle"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        found = raid;
        CConsolidatedError error = GetVolumeAndController(c.session, c.handle, found);
        EXPECT_EQ(error.GetErrorCode(), c.code);
        EXPECT_STREQ(error.GetErrorMessage(), c.message);
        EXPECT_FALSE(found);
    }
}

} // namespace
