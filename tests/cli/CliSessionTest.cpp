// The access layer over the library on simulated machines.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/UviWrapper.h"
#include "cli/ValueTexts.h"
#include "cli/access/CliSession.h"
#include "middleware/core/GlobalLogger.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace {

using MOX::CliSession;
using MOX::Error;

class CliSessionTest : public ::testing::Test {
protected:
    sim::ScopedMachine machine_{sim::MachineBuilder::Default()};
    MOX::UviWrapper library_;
    CliSession session_;

    void SetUp() override { ASSERT_FALSE(session_.OpenSession().isError()); }
};

TEST_F(CliSessionTest, FullAndQuietConversions) {
    std::vector<_UVI_EndDeviceInfo> records;
    ASSERT_FALSE(session_.GetEndDevicesInScope(records, 0, MOX::SCOPE_KIND_ALL, "").isError());
    ASSERT_FALSE(records.empty());

    _UVI_EndDeviceInfo info{};
    const Error found = session_.GetEndDeviceInfo(info, records.front().endDeviceHandle);
    EXPECT_EQ(found.getType(), 0);
    EXPECT_EQ(found.getMessage(), "");
    EXPECT_TRUE(found.getDetails().empty());
    EXPECT_EQ(static_cast<uint32_t>(found.getCode()), 0x20000000u);

    // A handle the session does not know: the full conversion carries the library's texts ...
    _UVI_EndDeviceInfo unknown{};
    const Error full = session_.GetEndDeviceInfo(unknown, 0x7FFFFFF0u);
    EXPECT_NE(full.getType(), 0);
    EXPECT_FALSE(full.getDetails().empty());

    // ... the quiet one only its return code and code, and the thread's store is empty after it.
    _UVI_NvcInfo nvc{};
    const Error quiet = session_.GetNvcInfo(nvc, 0x7FFFFFF0u);
    EXPECT_NE(quiet.getType(), 0);
    EXPECT_TRUE(quiet.getDetails().empty());
    EXPECT_NE(quiet.getCode(), Error::NO_CODE);
    EXPECT_EQ(GlobalLogger::get().getLastId(), GlobalLogger::NO_ID);
}

TEST_F(CliSessionTest, ControllerNamesMatchWholeAndCaseSensitive) {
    std::vector<_UVI_ControllerInfo> all;
    ASSERT_FALSE(session_.GetControllerInfos(all, "").isError());
    ASSERT_EQ(all.size(), 2u);
    const std::string name = all.front().name;
    std::vector<_UVI_ControllerInfo> one;
    ASSERT_FALSE(session_.GetControllerInfos(one, name).isError());
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one.front().controllerHandle, all.front().controllerHandle);

    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    for (const std::string& other : {upper, name + " ", name.substr(0, name.size() - 1)}) {
        std::vector<_UVI_ControllerInfo> none;
        const Error missing = session_.GetControllerInfos(none, other);
        EXPECT_EQ(missing.getType(), 3);
        EXPECT_EQ(missing.getDetails(),
                  std::vector<std::string>{"Controller by that name does not exist! Name: " + other});
    }
}

TEST_F(CliSessionTest, OtherVendorsAndHybridSets) {
    std::vector<MOX::ThirdPartyController> controllers;
    ASSERT_FALSE(session_.GetSessionObjects(controllers, 0).isError());
    ASSERT_EQ(controllers.size(), 1u);
    std::vector<MOX::ThirdPartyEndDevice> devices;
    ASSERT_FALSE(session_.GetSessionObjects(devices, controllers.front().getHandle()).isError());
    EXPECT_EQ(devices.size(), 1u);
    std::vector<MOX::ThirdPartyEndDevice> none;
    ASSERT_FALSE(session_.GetSessionObjects(none, 0x7FFFFFF0u).isError());
    EXPECT_TRUE(none.empty());

    std::vector<uint32_t> together;
    ASSERT_FALSE(session_.CheckRemapCandidate(controllers.front().getHandle(), together).isError());
    EXPECT_EQ(together, std::vector<uint32_t>{controllers.front().getHandle()});

    std::unique_ptr<MOX::BasicController> any;
    ASSERT_FALSE(session_.GetAnyControllerByHandle(any, controllers.front().getHandle()).isError());
    ASSERT_TRUE(any);
    EXPECT_FALSE(any->isOwnDriverController());
}

} // namespace
