// The access layer over the library on simulated machines.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/UviWrapper.h"
#include "cli/ValueTexts.h"
#include "cli/access/CliSession.h"
#include "cli/access/ZrcOperations.h"
#include "middleware/core/GlobalLogger.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/cli/UviFaults.h"
#include "tests/support/MachineParts.h"

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
    ASSERT_FALSE(MOX::ZrcOperations(session_)
                     .CheckRemapCandidate(controllers.front().getHandle(), together)
                     .isError());
    EXPECT_EQ(together, std::vector<uint32_t>{controllers.front().getHandle()});

    std::unique_ptr<MOX::BasicController> any;
    ASSERT_FALSE(session_.GetAnyControllerByHandle(any, controllers.front().getHandle()).isError());
    ASSERT_TRUE(any);
    EXPECT_FALSE(any->isOwnDriverController());
}

// The library's texts of a failure, fetched the way the conversion fetches them.
std::vector<std::string> LibraryTexts(_UVI_Error failure) {
    std::vector<std::string> texts;
    for (auto fetch : {UviGetErrorMessage, UviGetErrorDebugMessage}) {
        std::string text(fetch(failure.errorId, nullptr, 0), '\0');
        if (!text.empty() && fetch(failure.errorId, text.data(), static_cast<unsigned>(text.size())))
            text.pop_back();
        if (!text.empty())
            texts.push_back(text);
    }
    CleanupUviError(&failure);
    return texts;
}

TEST_F(CliSessionTest, FullConversionCarriesTheLibrarysMessageThenItsDebugText) {
    _UVI_VolumeInfo info{};
    const std::vector<std::string> expected =
        LibraryTexts(UviGetVolumeInfo(session_.getHandle(), clitest::UNKNOWN_HANDLE, &info));
    ASSERT_FALSE(expected.empty());
    const Error converted = session_.GetVolumeInfo(info, clitest::UNKNOWN_HANDLE);
    EXPECT_NE(converted.getType(), 0);
    EXPECT_EQ(converted.getDetails(), expected);
    EXPECT_EQ(GlobalLogger::get().getLastId(), GlobalLogger::NO_ID);
}

TEST_F(CliSessionTest, ControllerViewsWhenRaidCapabilityReadsFail) {
    {
        // Without the faults: the RAID controller has its levels, the NVMe controller none, and no
        // level read is made for it (it is not RAID-capable).
        std::vector<MOX::Controller> controllers;
        ASSERT_FALSE(session_.GetControllers(controllers, "").isError());
        ASSERT_EQ(controllers.size(), 2u);
        EXPECT_EQ(controllers[0].getRaidSupportedText(), "True");
        EXPECT_FALSE(controllers[0].getRaidLevels().empty());
        EXPECT_EQ(controllers[1].getRaidSupportedText(), "False");
        EXPECT_TRUE(controllers[1].getRaidLevels().empty());
    }
    {
        // The first controller's RAID information cannot be read: it stays listed with what its own
        // record gives, and the failure stays in the result although the second controller's read
        // succeeds after it.
        clitest::ScopedUviFaults faults{{UviGetRaidInfo}};
        std::vector<MOX::Controller> controllers;
        const Error result = session_.GetControllers(controllers, "");
        EXPECT_NE(result.getType(), 0);
        EXPECT_FALSE(result.getDetails().empty());
        ASSERT_EQ(controllers.size(), 2u);
        EXPECT_NE(controllers[0].getName(), "");
        EXPECT_EQ(controllers[0].getRaidSupportedText(), "");
        EXPECT_TRUE(controllers[0].getRaidLevels().empty());
        EXPECT_EQ(controllers[1].getRaidSupportedText(), "False");
    }
    {
        // A failed read of the RAID 5 limits (the third level read) ends the gathering before the
        // controller is appended.
        clitest::ScopedUviFaults faults{{UviGetRaidLevelInfo, 2}};
        std::vector<MOX::Controller> controllers;
        EXPECT_NE(session_.GetControllers(controllers, "").getType(), 0);
        EXPECT_TRUE(controllers.empty());
    }
}

TEST_F(CliSessionTest, SupportedRaidListsOnlyTheLevelsTheirRecordsOffer) {
    std::vector<MOX::Controller> offered;
    ASSERT_FALSE(session_.GetControllers(offered, "").isError());
    ASSERT_FALSE(offered.empty());
    EXPECT_EQ(offered[0].getSupportedRaidText(), "0,1,5,10");

    // The records of RAID 5 and RAID 10 (the third and fourth level reads) say the level is not offered.
    clitest::ScopedUviFaults faults{{UviGetRaidLevelInfo, 2, 2, [](void* record) {
                                         static_cast<_UVI_RaidLevelInfo*>(record)->supported = 0;
                                     }}};
    std::vector<MOX::Controller> controllers;
    ASSERT_FALSE(session_.GetControllers(controllers, "").isError());
    ASSERT_FALSE(controllers.empty());
    EXPECT_EQ(controllers[0].getSupportedRaidText(), "0,1");
}

TEST_F(CliSessionTest, FindArraysOfControllerKeepsTheFirstFailure) {
    // The first controller's gathering fails, the second one's succeeds.
    clitest::ScopedUviFaults faults{{UviGetArrayHandles}};
    std::vector<_UVI_ArrayInfo> arrays;
    const Error result = session_.FindArraysOfController(arrays, "");
    EXPECT_EQ(result.getType(), 1);
    EXPECT_EQ(result.getDetails(), std::vector<std::string>{"Could not get Array Handles"});
}

TEST_F(CliSessionTest, AMemberDiskWhoseArrayCannotBeReadCarriesNoVolumes) {
    auto members = [](const std::vector<MOX::EndDevice>& devices, bool withVolumes) {
        return std::count_if(devices.begin(), devices.end(), [&](const MOX::EndDevice& d) {
            return d.getUsage() == 1 && d.getArrayVolumes().empty() != withVolumes;
        });
    };
    std::vector<MOX::EndDevice> all;
    ASSERT_FALSE(session_.GetEndDevices(all, "").isError());
    const auto memberCount = members(all, true);
    ASSERT_GE(memberCount, 2);
    ASSERT_EQ(members(all, false), 0);

    // The first member's array read fails (both the session's gathering of the arrays and the direct
    // read of its own array): an empty array name would select every array's volumes, so that member
    // gets none; the others keep theirs, read by a later gathering.
    session_.ForgetGathered(); // the first listing's arrays would be answered from what it kept
    clitest::ScopedUviFaults faults{{UviGetArrayInfo, 0, 2}};
    std::vector<MOX::EndDevice> devices;
    ASSERT_FALSE(session_.GetEndDevices(devices, "").isError());
    EXPECT_EQ(members(devices, false), 1);
    EXPECT_EQ(members(devices, true), memberCount - 1);
}

// Hybrid disk sets over the remapping controller and the NVMe controller.
class HybridSetsTest : public ::testing::Test {
protected:
    std::unique_ptr<sim::ScopedMachine> machine_;
    std::unique_ptr<MOX::UviWrapper> library_;
    std::unique_ptr<CliSession> session_;

    // One machine per test: the library's process-wide tables are built for the first one.
    std::vector<MOX::HybridDiskSetEntry> Start(const std::vector<moxtest::HybridHalf>& halves) {
        machine_ = std::make_unique<sim::ScopedMachine>(moxtest::HybridMachine(halves));
        library_ = std::make_unique<MOX::UviWrapper>();
        session_ = std::make_unique<CliSession>();
        EXPECT_FALSE(session_->OpenSession().isError());
        std::vector<MOX::HybridDiskSetEntry> sets;
        EXPECT_FALSE(
            session_->GetSessionObjects(sets, [](const _UVI_HybridDiskSetInfo&) { return true; }).isError());
        return sets;
    }
    void TearDown() override {
        session_.reset();
        library_.reset();
        machine_.reset();
    }
};

TEST_F(HybridSetsTest, HalvesOnTwoControllersAreRemappedTogether) {
    // Halves on two controllers: either controller names both.
    const std::vector<MOX::HybridDiskSetEntry> sets =
        Start({{2, 1, "ABC123-1", "0x4A21"}, {1, 0, "ABC123-2", "0x4A22"}});
    ASSERT_EQ(sets.size(), 1u);
    ASSERT_EQ(sets[0].controllerHandles.size(), 2u);
    for (uint32_t handle : sets[0].controllerHandles) {
        std::vector<uint32_t> together;
        EXPECT_FALSE(MOX::ZrcOperations(*session_).CheckRemapCandidate(handle, together).isError());
        EXPECT_EQ(together, sets[0].controllerHandles);
    }
    // A controller in no set stands alone.
    std::vector<_UVI_ControllerInfo> controllers;
    ASSERT_FALSE(session_->GetControllerInfos(controllers, "").isError());
    for (const _UVI_ControllerInfo& c : controllers) {
        const auto& inSet = sets[0].controllerHandles;
        if (std::find(inSet.begin(), inSet.end(), c.controllerHandle) != inSet.end())
            continue;
        std::vector<uint32_t> alone;
        EXPECT_FALSE(MOX::ZrcOperations(*session_).CheckRemapCandidate(c.controllerHandle, alone).isError());
        EXPECT_EQ(alone, std::vector<uint32_t>{c.controllerHandle});
    }
}

TEST_F(HybridSetsTest, BothHalvesBehindOneControllerCountAsOtherDiskMissing) {
    // The set names only the one controller, so its other half counts as missing.
    const std::vector<MOX::HybridDiskSetEntry> sets =
        Start({{2, 1, "ABC123-1", "0x4A21"}, {2, 2, "ABC123-2", "0x4A22"}});
    ASSERT_EQ(sets.size(), 1u);
    ASSERT_EQ(sets[0].controllerHandles.size(), 1u);
    std::vector<uint32_t> together;
    const Error missing =
        MOX::ZrcOperations(*session_).CheckRemapCandidate(sets[0].controllerHandles[0], together);
    EXPECT_EQ(missing.getType(), 5);
    EXPECT_EQ(
        missing.getDetails(),
        std::vector<std::string>{"Selected controller is part of Hybrid Disk with other disk missing."});
    EXPECT_TRUE(together.empty());
}

TEST_F(HybridSetsTest, AControllerCountAboveTheEightSlotsIsClampedAndReported) {
    Start({{2, 1, "ABC123-1", "0x4A21"}, {1, 0, "ABC123-2", "0x4A22"}});
    clitest::ScopedUviFaults faults{{UviGetHybridDiskSetInfo, 0, 1, [](void* record) {
                                         auto* set = static_cast<_UVI_HybridDiskSetInfo*>(record);
                                         for (uint32_t i = 0; i < 8; ++i)
                                             set->controllerHandles[i] = 100 + i;
                                         set->numControllerHandles = 12;
                                     }}};
    std::vector<MOX::HybridDiskSetEntry> sets;
    const Error result =
        session_->GetSessionObjects(sets, [](const _UVI_HybridDiskSetInfo&) { return true; });
    EXPECT_EQ(result.getType(), 1);
    EXPECT_EQ(
        result.getDetails(),
        std::vector<std::string>{"GetSessionObjects: Received different count of handles than expected."});
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].controllerHandles, (std::vector<uint32_t>{100, 101, 102, 103, 104, 105, 106, 107}));
}

TEST_F(CliSessionTest, PairingInformationOfAControllerWithoutAPairing) {
    std::vector<_UVI_ControllerInfo> controllers;
    ASSERT_FALSE(session_.GetControllerInfos(controllers, "").isError());
    _UVI_VezkInfo info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_FALSE(session_.GetVezkInfoEx(info, controllers.front().controllerHandle).isError());
    EXPECT_EQ(info.controllerHandle, controllers.front().controllerHandle);
    // No pairing: its kind is 0 (the record's pairing state field holds the cache pair's state).
    EXPECT_EQ(info.pairType, 0u);
}

TEST(CliSessionWithoutPairing, PairingInformationFailsQuietlyAndLeavesTheRecord) {
    sim::ScopedMachine machine(
        sim::MachineBuilder::Default().Set("/adapters/0/volume_port/supported", "false"));
    MOX::UviWrapper library;
    CliSession session;
    ASSERT_FALSE(session.OpenSession().isError());
    _UVI_VezkInfo info;
    std::memset(&info, 0xAB, sizeof info);
    const Error read = session.GetVezkInfoEx(info, 0);
    EXPECT_NE(read.getType(), 0);
    EXPECT_EQ(static_cast<uint32_t>(read.getCode()), 0xA0070019u);
    EXPECT_TRUE(read.getDetails().empty());
    EXPECT_EQ(info.controllerHandle, 0xABABABABu);
    EXPECT_EQ(info.pairType, 0xABABABABu);
    EXPECT_EQ(GlobalLogger::get().getLastId(), GlobalLogger::NO_ID);
}

TEST(CliSessionLifetime, ADestroyedSessionIsClosedOnceMoreQuietly) {
    sim::ScopedMachine machine;
    MOX::UviWrapper library;
    std::vector<unsigned> closed;
    clitest::ScopedUviFaults faults{
        {UviSessionClose, 0, -1, [&](void* handle) { closed.push_back(*static_cast<unsigned*>(handle)); }}};
    unsigned opened = 0;
    {
        CliSession session;
        ASSERT_FALSE(session.OpenSession().isError());
        opened = session.getHandle();
        EXPECT_FALSE(session.CloseSession().isError());
        EXPECT_EQ(session.getHandle(), opened);
    }
    { CliSession neverOpened; }
    EXPECT_EQ(closed, (std::vector<unsigned>{opened, opened, 0}));
    // The second close and the close of handle 0 failed; neither left its texts behind.
    EXPECT_EQ(GlobalLogger::get().getLastId(), GlobalLogger::NO_ID);
}

TEST_F(CliSessionTest, GatherersNarrowToScopeAndName) {
    const uint32_t session = session_.getHandle();
    // Arrays exist, but none of that name; an array's scope is not one of the arrays'.
    std::vector<_UVI_ArrayInfo> arrays;
    Error result = MOX::GetScopedArrays(session, arrays, 0, MOX::SCOPE_KIND_ALL, "NoSuchArray");
    EXPECT_EQ(result.getType(), 3);
    EXPECT_EQ(result.getDetails(), std::vector<std::string>{"Array does not exist! Id: NoSuchArray"});
    result = MOX::GetScopedArrays(session, arrays, 0, MOX::SCOPE_KIND_ARRAY, "");
    EXPECT_EQ(result.getType(), 1);
    EXPECT_EQ(result.getDetails(), std::vector<std::string>{"Invalid scope"});
    EXPECT_TRUE(arrays.empty());

    // An id keeps the one end device at that address.
    std::vector<_UVI_EndDeviceInfo> devices;
    ASSERT_FALSE(MOX::GetScopedEndDevices(session, devices, 0, MOX::SCOPE_KIND_ALL, "0-0-2-0").isError());
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(MOX::DiskIdToText(devices[0].scsiAddress), "0-0-2-0");

    // Two owners into one list append both; a later call with an id filters the earlier records too.
    std::vector<_UVI_ControllerInfo> controllers;
    ASSERT_FALSE(session_.GetControllerInfos(controllers, "").isError());
    std::vector<_UVI_EndDeviceInfo> both;
    for (const _UVI_ControllerInfo& c : controllers)
        ASSERT_FALSE(session_.GetEndDevicesInScope(both, c.controllerHandle, MOX::SCOPE_KIND_CONTROLLER, "")
                         .isError());
    EXPECT_EQ(both.size(), 5u);
    ASSERT_FALSE(session_
                     .GetEndDevicesInScope(both, controllers[1].controllerHandle, MOX::SCOPE_KIND_CONTROLLER,
                                           "0-0-1-0")
                     .isError());
    ASSERT_EQ(both.size(), 1u);
    EXPECT_EQ(MOX::DiskIdToText(both[0].scsiAddress), "0-0-1-0");

    // The phys of one end device, whatever scope kind is given.
    std::vector<UVI_PhyInfo> phys;
    ASSERT_FALSE(MOX::GetScopedPhys(session, phys, devices[0].endDeviceHandle, MOX::SCOPE_KIND_CONTROLLER, "")
                     .isError());
    ASSERT_EQ(phys.size(), 1u);

    // Look-ups: an empty id matches every end device; an empty array name selects every array.
    _UVI_EndDeviceInfo one{};
    result = session_.FindEndDeviceById(one, "");
    EXPECT_EQ(result.getType(), 3);
    EXPECT_EQ(result.getDetails(), std::vector<std::string>{"Found multiple End Devices with same id"});
    std::vector<_UVI_EndDeviceInfo> members;
    EXPECT_FALSE(session_.FindEndDevicesOfArray(members, "").isError());
    EXPECT_EQ(members.size(), 2u); // the one array's two members
    uint32_t controller = 1;
    result = session_.FindControllerHandleOfEndDevice("9-9-9-9", controller);
    EXPECT_EQ(result.getType(), 3);
    EXPECT_EQ(controller, 0u);
}

TEST(CliSessionWithoutVolumes, NamesOfVolumesFindNothing) {
    sim::ScopedMachine machine(
        sim::MachineBuilder::Default().Remove("/adapters/0/raid/volumes").Remove("/adapters/0/raid/arrays"));
    MOX::UviWrapper library;
    CliSession session;
    ASSERT_FALSE(session.OpenSession().isError());
    std::vector<_UVI_VolumeInfo> volumes;
    EXPECT_FALSE(
        MOX::GetScopedVolumes(session.getHandle(), volumes, 0, MOX::SCOPE_KIND_ALL, "Any").isError());
    EXPECT_TRUE(volumes.empty());
    _UVI_VolumeInfo info{};
    Error result = session.FindVolumeInfoByName(info, "Any");
    EXPECT_EQ(result.getType(), 3);
    EXPECT_EQ(result.getDetails(), std::vector<std::string>{"Volume by that name does not exist! Name: Any"});
    result = session.FindVolumeInfoByName(info, "");
    EXPECT_EQ(result.getType(), 1);
    EXPECT_EQ(result.getDetails(), std::vector<std::string>{"Volume does not exist."});
    uint32_t controller = 1;
    result = session.FindControllerHandleOfVolume("Any", controller);
    EXPECT_EQ(result.getType(), 3);
    EXPECT_EQ(result.getDetails(), std::vector<std::string>{"Volume does not exist! Id: Any"});
    EXPECT_EQ(controller, 0u);
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
