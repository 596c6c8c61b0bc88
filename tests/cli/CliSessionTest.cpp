// The access layer over the library on simulated machines.
#include <algorithm>
#include <cstring>
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

// The session keeps what it gathered of a kind; each answer must be the one a fresh gathering of the
// library gives for the same scope, filter and earlier list contents, however often it is asked.
TEST_F(CliSessionTest, KeptGatheringsAnswerAsAFreshGathering) {
    std::vector<_UVI_ControllerInfo> controllers;
    ASSERT_FALSE(session_.GetControllerInfos(controllers, "").isError());
    std::vector<_UVI_ArrayInfo> arrays;
    ASSERT_FALSE(MOX::GetScopedArrays(session_.getHandle(), arrays, 0, MOX::SCOPE_KIND_ALL, "").isError());
    ASSERT_FALSE(arrays.empty());
    std::vector<_UVI_EndDeviceInfo> devices;
    ASSERT_FALSE(
        MOX::GetScopedEndDevices(session_.getHandle(), devices, 0, MOX::SCOPE_KIND_ALL, "").isError());
    ASSERT_FALSE(devices.empty());
    const uint32_t controller = controllers.front().controllerHandle;
    const uint32_t array = arrays.front().handle;
    const std::string arrayName = MOX::RecordText(arrays.front().name);
    const std::string deviceId = MOX::DiskIdToText(devices.front().scsiAddress);

    struct Case {
        uint32_t owner;
        int32_t kind;
        std::string filter;
        bool prefilled;
    };
    const std::vector<Case> cases = {
        {0, MOX::SCOPE_KIND_ALL, "", false},
        {controller, MOX::SCOPE_KIND_CONTROLLER, "", false},
        {array, MOX::SCOPE_KIND_ARRAY, "", false},
        {0x7FFFFFF0u, MOX::SCOPE_KIND_CONTROLLER, "", false},
        {0, 2, "", false},
        {0, MOX::SCOPE_KIND_ALL, arrayName, false},
        {0, MOX::SCOPE_KIND_ALL, deviceId, false},
        {0, MOX::SCOPE_KIND_ALL, "no such name", false},
        {controller, MOX::SCOPE_KIND_CONTROLLER, arrayName, true},
        {array, MOX::SCOPE_KIND_ARRAY, "no such name", true},
    };
    auto same = [](const Error& kept, const Error& fresh, const auto& keptList, const auto& freshList) {
        EXPECT_EQ(kept.getType(), fresh.getType());
        EXPECT_EQ(kept.getDetails(), fresh.getDetails());
        ASSERT_EQ(keptList.size(), freshList.size());
        for (size_t i = 0; i < keptList.size(); ++i)
            EXPECT_EQ(std::memcmp(&keptList[i], &freshList[i], sizeof keptList[i]), 0) << "record " << i;
    };
    for (int round = 0; round < 2; ++round) {
        for (const Case& c : cases) {
            SCOPED_TRACE("owner " + std::to_string(c.owner) + ", kind " + std::to_string(c.kind) +
                         ", filter \"" + c.filter + "\", round " + std::to_string(round));
            std::vector<_UVI_ArrayInfo> keptArrays(c.prefilled ? arrays : std::vector<_UVI_ArrayInfo>{});
            std::vector<_UVI_ArrayInfo> freshArrays = keptArrays;
            same(session_.GetArraysInScope(keptArrays, c.owner, c.kind, c.filter),
                 MOX::GetScopedArrays(session_.getHandle(), freshArrays, c.owner, c.kind, c.filter),
                 keptArrays, freshArrays);
            std::vector<_UVI_VolumeInfo> keptVolumes, freshVolumes;
            same(session_.GetVolumesInScope(keptVolumes, c.owner, c.kind, c.filter),
                 MOX::GetScopedVolumes(session_.getHandle(), freshVolumes, c.owner, c.kind, c.filter),
                 keptVolumes, freshVolumes);
            std::vector<_UVI_EndDeviceInfo> keptDevices(c.prefilled ? devices
                                                                    : std::vector<_UVI_EndDeviceInfo>{});
            std::vector<_UVI_EndDeviceInfo> freshDevices = keptDevices;
            same(session_.GetEndDevicesInScope(keptDevices, c.owner, c.kind, c.filter),
                 MOX::GetScopedEndDevices(session_.getHandle(), freshDevices, c.owner, c.kind, c.filter),
                 keptDevices, freshDevices);
        }
        // The phy of each end device, and of a handle that is no end device's.
        for (uint32_t device :
             {devices.front().endDeviceHandle, devices.back().endDeviceHandle, 0x7FFFFFF0u}) {
            UVI_PhyInfo kept{};
            std::vector<UVI_PhyInfo> fresh;
            const Error keptResult = session_.FindPhyOfEndDevice(device, kept);
            ASSERT_FALSE(
                MOX::GetScopedPhys(session_.getHandle(), fresh, device, MOX::SCOPE_KIND_ALL, "").isError());
            ASSERT_EQ(keptResult.isError(), fresh.size() != 1);
            if (fresh.size() == 1) {
                EXPECT_EQ(std::memcmp(&kept, &fresh.front(), sizeof kept), 0);
            }
        }
    }
}

} // namespace
