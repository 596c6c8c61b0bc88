// The cache-memory pairing action: its support, its validity checks of drives and pairs against the
// simulated volume port, and the pairing volume it looks up.
#include <string>

#include <gtest/gtest.h>

#include "middleware/accelerate/UVIAccelerateVezkAction.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/core/CfgMgrPathsGetters.h"
#include "middleware/pairing/PairingState.h"
#include "sim/CallLog.h"
#include "tests/middleware/accelerate/ActionTestSupport.h"

namespace {

using namespace actiontest;

class VezkAction : public ActionTest {};

TEST_F(VezkAction, SupportIsThePairingControllers) {
    Start(SsdCachingMachine());
    UVIAccelerateVezkAction action;
    CConsolidatedError error;
    EXPECT_TRUE(action.isSupported(0, error));
    EXPECT_TRUE(action.isSupported(SataController(action.getSession()), error));
    // Another controller: not this action's, and nothing failed.
    EXPECT_FALSE(action.isSupported(action.getSession().getControllers().back()->getHandle(), error));
    EXPECT_TRUE(error.IsSuccessful());
    EXPECT_EQ(mox::MakeTypeNameMessage(action, "x"), "class UVIAccelerateVezkAction x");

    _UVI_VolumeInfo volume{};
    const CConsolidatedError none = action.findVezkVolume(volume);
    EXPECT_EQ(none.GetErrorCode(), 0xA0010012u);
    EXPECT_STREQ(none.GetErrorMessage(), "There is no Orvex Halvex Storage");
    EXPECT_FALSE(action.hasAcceleratedVolume());

    sim::MachineBuilder unsupported = SsdCachingMachine();
    Start(unsupported.Set("/adapters/0/volume_port/supported", "false"));
    UVIAccelerateVezkAction without;
    EXPECT_FALSE(without.isSupported(0, error));
    EXPECT_EQ(error.GetErrorCode(), 0xA0070019u);
    EXPECT_STREQ(error.GetErrorMessage(), "No controller supports Halvex memory.");
}

// One drive's validity: an array member is answered without the driver, any other drive by the
// driver's status for the role.
TEST_F(VezkAction, DiskValidityForConcatenation) {
    sim::MachineBuilder b = SsdCachingMachine();
    AddFastDisk(b, uint64_t{64} << 30);
    b.Set("/adapters/0/raid/disks/4/pairing_check", "7");
    Start(b);
    UVIAccelerateVezkAction action;
    Session& session = action.getSession();
    machine_->machine().calls().Keep(1000);
    machine_->machine().calls().Clear();
    uint32_t status = 99;
    ASSERT_TRUE(action.checkIfDiskValid(DiskHandle(session, "TS-0077"), 0, status).IsSuccessful());
    EXPECT_EQ(status, 2u);
    EXPECT_EQ(
        machine_->machine().calls().CountMatching("DeviceIoControl", R"({"control_code": "0x80000D16"})"),
        0u);

    ASSERT_TRUE(action.checkIfDiskValid(DiskHandle(session, "FAST-01"), 0, status).IsSuccessful());
    EXPECT_EQ(status, 7u);
    ASSERT_TRUE(action.checkIfDiskValid(DiskHandle(session, "ZA1B2C3D"), 0, status).IsSuccessful());
    EXPECT_EQ(status, 6u); // a spinning disk asked as the fast one
    ASSERT_TRUE(action.checkIfDiskValid(DiskHandle(session, "ZA1B2C3D"), 1, status).IsSuccessful());
    EXPECT_EQ(status, 0u);

    const CConsolidatedError unknown = action.checkIfDiskValid(0xBAD, 0, status);
    EXPECT_EQ(unknown.GetErrorCode(), 0xA0010002u);
    EXPECT_STREQ(unknown.GetErrorMessage(), "Cannot get specified disk");
    machine_->machine().calls().Clear();
    const CConsolidatedError noFast =
        action.checkIfDiskPairValid(DiskHandle(session, "ZA1B2C3D"), 0xBAD, status);
    EXPECT_EQ(noFast.GetErrorCode(), 0xA0010002u);
    EXPECT_EQ(
        machine_->machine().calls().CountMatching("DeviceIoControl", R"({"control_code": "0x80000D09"})"),
        0u);
}

TEST_F(VezkAction, DiskOutsideThePairingVolumesArrayCannotBeAccelerated) {
    sim::MachineBuilder b = SsdCachingMachine();
    Start(AddCache(b, -1, 0));
    UVIAccelerateVezkAction action;
    Session& session = action.getSession();
    _UVI_NvcInfo nvc{};
    ASSERT_TRUE(internalUviGetNvcInfo(session, SataController(session), &nvc).IsSuccessful());
    _UVI_EndDeviceInfo member{};
    ASSERT_TRUE(internalUviGetEndDeviceInfo(session, DiskHandle(session, "TS-0077"), &member).IsSuccessful());
    const CConsolidatedError refused = action.checkDiskCanBeAccelerated(nvc, member);
    EXPECT_EQ(refused.GetErrorCode(), 0xA0010012u);
    EXPECT_STREQ(refused.GetErrorMessage(), "Disk is not part of Halvex volume.");
    // A drive in no array goes on to the common checks.
    _UVI_EndDeviceInfo passThrough{};
    ASSERT_TRUE(
        internalUviGetEndDeviceInfo(session, DiskHandle(session, "ZA1B2C3D"), &passThrough).IsSuccessful());
    EXPECT_TRUE(action.checkDiskCanBeAccelerated(nvc, passThrough).IsSuccessful());
}

// A member of the pairing volume's array goes on to the common checks.
TEST_F(VezkAction, DiskOfThePairingVolumeGoesOnToTheCommonChecks) {
    Start(moxtest::PairingMachine());
    UVIAccelerateVezkAction action;
    Session& session = action.getSession();
    _UVI_VolumeInfo pairing{};
    ASSERT_TRUE(action.findVezkVolume(pairing).IsSuccessful());
    EXPECT_TRUE(action.hasAcceleratedVolume());
    _UVI_EndDeviceInfo member{};
    ASSERT_TRUE(
        internalUviGetEndDeviceInfo(session, DiskHandle(session, "ZA1B9X8R"), &member).IsSuccessful());
    ASSERT_EQ(member.arrayHandle, pairing.arrayHandle);
    _UVI_NvcInfo nvc{};
    ASSERT_TRUE(internalUviGetNvcInfo(session, pairing.controllerHandle, &nvc).IsSuccessful());
    const CConsolidatedError result = action.checkDiskCanBeAccelerated(nvc, member);
    // The common check's refusal: an array member is no pass-through disk.
    EXPECT_STREQ(result.GetErrorMessage(), "This is not available or not in normal state");
}

// The undo steps of the pairing enable: the acceleration off and waited for, the cache's volumes
// deleted, the registry flag cleared; whatever fails is dropped.
TEST_F(VezkAction, UndoStepsTakeTheAccelerationBack) {
    sim::MachineBuilder b = SsdCachingMachine();
    AddCache(b, 0, 3, 1, R"(, "transition_ms": 4000)");
    // The pairing's cache volume carries the pairing flag, by which the pairing's own reset finds it.
    b.Set("/adapters/0/raid/volumes/1/flags", "65536");
    b.Set("/registry/keys/HKLM\\SOFTWARE\\WOW6432Node\\Orvex\\Bexl/IsHalvexEnabled",
          R"({"type": "REG_DWORD", "data": 1})");
    Start(b);
    UVIAccelerateVezkAction action;
    const uint32_t controller = SataController(action.getSession());
    action.undoTurnOffAcceleration(controller);
    EXPECT_EQ(Nvc().mode, UVI_NVC_MODE_OFF);
    EXPECT_EQ(Nvc().acceleratedVolumeHandle, 0u);
    action.undoResetCacheToAvailable(controller);
    EXPECT_FALSE(Volume(*Fresh(), "NvCache"));
    action.undoResetCacheToAvailable(0xBAD); // refused, and dropped
    action.undoHalvexEnabledFlag();
    DWORD enabled = 1;
    EXPECT_TRUE(ReadBexlWow64Dword("IsHalvexEnabled", &enabled));
    EXPECT_EQ(enabled, 0u);
    EXPECT_TRUE(UVIAccelerateBaseAction::makeSoftwareDeviceLister());
}

TEST_F(VezkAction, PairingInfoIsThrownWhenItCannotBeRead) {
    Start(SsdCachingMachine());
    UVIAccelerateVezkAction action;
    EXPECT_NO_THROW(static_cast<void>(action.getPairingInfo(0)));
    EXPECT_THROW(static_cast<void>(action.getPairingInfo(0xBAD)), CConsolidatedError);
}

} // namespace
