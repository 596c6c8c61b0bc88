// The look-ups the operations start with: disks, arrays and volumes with their controllers, the
// clean-disk check, and whether every member of a volume has the driver's write-cache mark.
#include <cstdint>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/ApiLookups.h"
#include "middleware/model/Controller.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHolder.h"
#include "tests/middleware/api/QueryTestSupport.h"

namespace {

using namespace querytest;

class ApiLookups : public QueryTest {
protected:
    // A table session, locked for the test as an operation would hold it.
    Session& OpenSession() {
        EXPECT_EQ(UviSessionOpen(&handle_).status, 0u);
        Session* session = nullptr;
        EXPECT_TRUE(SessionHolder::acquire(holder_, static_cast<int>(handle_), session).IsSuccessful());
        return *session;
    }
    void TearDown() override {
        static_cast<void>(SessionHolder::release(holder_));
        if (handle_ != 0)
            static_cast<void>(UviSessionClose(handle_));
        QueryTest::TearDown();
    }

    unsigned int handle_ = 0;
    SessionHolder holder_;
};

TEST_F(ApiLookups, DiskAndArrayLookupsNameWhatIsMissing) {
    Start();
    Session& session = OpenSession();
    const auto member = EndDeviceBySerial("TS-0077");
    ASSERT_TRUE(member);
    std::shared_ptr<::Controller> controller;
    ASSERT_TRUE(GetDiskAndController(&session, member->endDeviceHandle, controller).IsSuccessful());
    EXPECT_EQ(controller, session.getControllers()[0]);
    controller.reset();
    ASSERT_TRUE(GetArrayAndController(&session, member->arrayHandle, controller).IsSuccessful());
    EXPECT_EQ(controller, session.getControllers()[0]);

    struct Case {
        CConsolidatedError error;
        uint32_t code;
        const char* message;
    };
    std::shared_ptr<::Controller> unused;
    const Case cases[] = {
        {GetDiskAndController(nullptr, member->endDeviceHandle, unused), 0xA0000006, "null session"},
        {GetDiskAndController(&session, 0xBEEF, unused), 0xA0000003, "failed to get disk"},
        {GetArrayAndController(nullptr, member->arrayHandle, unused), 0xA0000006, "null session"},
        {GetArrayAndController(&session, 0xBEEF, unused), 0xA0010003, "failed to get Array"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.error.GetErrorCode(), c.code) << c.message;
        EXPECT_STREQ(c.error.GetErrorMessage(), c.message);
    }
    EXPECT_FALSE(unused);
}

TEST_F(ApiLookups, SystemDiskIsNotCleaned) {
    // State bit 21 of the driver's disk record marks the system disk.
    Start(sim::MachineBuilder::Default().Set("/adapters/0/raid/disks/2/state_flags", "2097168"));
    machine_->machine().calls().Keep(10000);
    Session& session = OpenSession();
    const auto system = EndDeviceBySerial("TS-0077");
    ASSERT_TRUE(system);
    ASSERT_EQ(system->systemDisk, 1);
    const CConsolidatedError result = CleanNonSystemDisk(session, system->endDeviceHandle);
    EXPECT_EQ(result.GetErrorCode(), 0xA0010012u);
    EXPECT_STREQ(result.GetErrorMessage(), "Cannot clean sytem disk");
    EXPECT_EQ(machine_->machine().calls().CountMatching("Vds", R"({"method": "IVdsAdvancedDisk::Clean"})"),
              0u);
}

TEST_F(ApiLookups, VolumeBySerialNumberRefusesWhatItCannotSearch) {
    Start();
    _UVI_VolumeInfo volume = Marked<_UVI_VolumeInfo>();
    struct Case {
        uint32_t session;
        const char* serial;
        uint32_t code;
        const char* message;
        const char* debug;
    };
    const Case cases[] = {
        // A null serial number is refused whatever the session.
        {0, nullptr, 0xA0010002, "NULL parameter in helper function",
         "NULL parameter in getVolumeBySerialNumber"},
        {7, nullptr, 0xA0010002, "NULL parameter in helper function",
         "NULL parameter in getVolumeBySerialNumber"},
        {7, "Volume0", 0xA0010002, "NULL session in helper function",
         "NULL session in getVolumeBySerialNumber"},
        {0, "NoSuchVolume", 0xA001000F, "Could not find matching serial number",
         "Failed to find serial number in getVolumeBySerialNumber"},
        // A serial number only the first 16 characters of which are a volume's name.
        {0, "Volume0-and-more", 0xA001000F, "Could not find matching serial number",
         "Failed to find serial number in getVolumeBySerialNumber"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial ? c.serial : "null");
        const CConsolidatedError e = getVolumeBySerialNumber(c.session, c.serial, volume);
        EXPECT_EQ(e.GetErrorCode(), c.code);
        EXPECT_STREQ(e.GetErrorMessage(), c.message);
        EXPECT_STREQ(e.GetDebugInformation(), c.debug);
        EXPECT_TRUE(StillMarked(volume)); // nothing is copied when nothing matched
    }
    ASSERT_EQ(UviFinalize().status, 0u);
    const CConsolidatedError stopped = getVolumeBySerialNumber(0, "Volume0", volume);
    EXPECT_STREQ(stopped.GetErrorMessage(), "NULL session in helper function");
    ASSERT_EQ(UviInitialize().status, 0u);
}

TEST_F(ApiLookups, VolumeBySerialNumberTakesTheFirstControllersVolume) {
    // Two controllers with a volume of the same name each, and more volumes on the second.
    Start(sim::MachineBuilder::FromFile("large.json")
              .Set("/adapters/0/raid/volumes/1/name", R"("Twin")")
              .Set("/adapters/1/raid/volumes/0/name", R"("Twin")"));
    Session& session = OpenSession();
    _UVI_VolumeInfo volume = Marked<_UVI_VolumeInfo>();
    const CConsolidatedError e = getVolumeBySerialNumber(handle_, "Twin", volume);
    ASSERT_TRUE(e.IsSuccessful()) << e.GetErrorMessage();
    const auto& first = session.getControllers()[0];
    EXPECT_EQ(volume.controllerHandle, first->getHandle());
    EXPECT_EQ(volume.handle, first->getVolumes()[1]->getHandle());
    EXPECT_STREQ(volume.name, "Twin");
}

TEST_F(ApiLookups, AllMembersHaveCacheFlagAsksEveryMemberOfTheArray) {
    struct Case {
        const char* writeCache2;
        const char* writeCache3;
        uint32_t cachePolicy;
        bool want;
    };
    const Case cases[] = {
        {"1", "1", 1, true},
        {"1", "0", 1, false},
        {"0", "0", 3, true}, // a write-back volume needs no member read
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.writeCache2 << c.writeCache3 << c.cachePolicy);
        Start(sim::MachineBuilder::Default()
                  .Set("/adapters/0/raid/disks/2/write_cache", c.writeCache2)
                  .Set("/adapters/0/raid/disks/3/write_cache", c.writeCache3));
        Session& session = OpenSession();
        const auto member = EndDeviceBySerial("TS-0078");
        ASSERT_TRUE(member);
        _UVI_VolumeInfo volume{};
        volume.arrayHandle = member->arrayHandle;
        volume.cachePolicy = c.cachePolicy;
        const auto controller = session.getControllers()[0];
        EXPECT_EQ(AllMembersHaveCacheFlag(handle_, volume, controller), c.want);
        if (c.want) {
            // What it cannot tell is false.
            EXPECT_FALSE(AllMembersHaveCacheFlag(0, volume, controller));
            EXPECT_FALSE(AllMembersHaveCacheFlag(handle_, volume, nullptr));
        }
        volume.cachePolicy = 1;
        volume.arrayHandle = 0xBEEF; // an array no disk is on
        EXPECT_FALSE(AllMembersHaveCacheFlag(handle_, volume, controller));
        TearDown();
        handle_ = 0;
        machine_.reset();
    }
}

TEST(ApiHelpers, VolumeStateIsNormalForNormalAndManualNormal) {
    for (uint32_t state = 0; state <= 42; ++state) {
        _UVI_VolumeInfo volume{};
        volume.state = state;
        EXPECT_EQ(VolumeStateIsNormal(volume), state == 1 || state == 17) << state;
    }
}

} // namespace
