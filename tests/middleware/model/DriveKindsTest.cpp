// What SATA and NVMe drives of the vendor's controllers read of their own: the Opal locking state of
// a self-encrypting SATA drive, the NVMe identify, host memory buffer and health log, and the hybrid
// drive detection.
#include <cstring>
#include <string>

#include "middleware/model/AhciDisk.h"
#include "middleware/model/NvmeDisk.h"
#include "middleware/model/WinDiskList.h"
#include "tests/middleware/model/ModelTestSupport.h"

namespace {

// Level 0 Discovery with its header and the TPer feature only.
constexpr const char* kDiscoveryWithoutLocking =
    R"({"discovery_hex": "0000003C00000001)"
    "00000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0001100C110000000000000000000000"
    R"("})";

struct OpalCase {
    const char* tcg; // the Windows disk's "tcg" section, or null for a drive without it
    uint32_t state;
    bool opened;
};

// "Locked_Opened", "Unknown_NotOpened", ...: the expected state and whether the drive was opened.
std::string OpalCaseName(const OpalCase& c) {
    const char* state = c.state == AhciDisk::kOpalLocked     ? "Locked"
                        : c.state == AhciDisk::kOpalUnlocked ? "Unlocked"
                                                             : "Unknown";
    return std::string(state) + (c.opened ? "_Opened" : "_NotOpened");
}

// What a failing case prints of its parameter: its name, not the bytes of its text pointer.
void PrintTo(const OpalCase& c, std::ostream* out) {
    *out << OpalCaseName(c);
}

class OpalState : public modeltest::ModelTest, public ::testing::WithParamInterface<OpalCase> {
protected:
    static sim::MachineBuilder Machine(const char* tcg) {
        sim::MachineBuilder machine = sim::MachineBuilder::Default();
        if (tcg)
            machine.Set("/disks/1/tcg", tcg);
        return machine;
    }
    OpalState() : ModelTest(Machine(GetParam().tcg)), winDisks_(MakeWinDiskEnumerator()) {
        EXPECT_TRUE(winDisks_.Populate().IsSuccessful());
    }
    WinDiskList winDisks_;
};

TEST_P(OpalState, FollowsTheLockingFeature) {
    auto record = std::make_unique<RaidDiskConfig>();
    ASSERT_TRUE(record->Populate(Controller(0), 0, 7, 0).IsSuccessful());
    AhciDisk disk(std::move(record));
    ForgetCalls();
    ASSERT_TRUE(disk.Populate(Controller(0), 0, 7, 2, winDisks_).IsSuccessful());
    ASSERT_NE(disk.getWinDiskInterface(), nullptr);
    EXPECT_EQ(disk.getOpalSecurityState(), GetParam().state);
    EXPECT_EQ(Sent(R"({"code": "0x4D014"})"), GetParam().opened ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, OpalState,
    ::testing::Values(OpalCase{nullptr, AhciDisk::kOpalUnknown, false},
                      OpalCase{R"({"locking_enabled": true, "locked": true})", AhciDisk::kOpalLocked, true},
                      OpalCase{R"({"locking_enabled": true, "locked": false})", AhciDisk::kOpalUnlocked,
                               true},
                      OpalCase{kDiscoveryWithoutLocking, AhciDisk::kOpalUnknown, true}),
    [](const ::testing::TestParamInfo<OpalCase>& info) { return OpalCaseName(info.param); });

using OpalFailures = modeltest::ModelTest;

TEST_F(OpalFailures, NeverFailTheDisk) {
    AhciDisk unpopulated(nullptr);
    WinDiskInterface view(L"\\\\?\\none");
    CConsolidatedError result = unpopulated.FillOpalSecurityInformation(view);
    EXPECT_EQ(result.GetErrorCode(), 0xA000000Eu);
    EXPECT_STREQ(result.GetErrorMessage(),
                 "There is no Identify Data object in AhciDisk::FillOpalSecurityInformation");
    EXPECT_TRUE(unpopulated.internalWinDiskPopulate(view).IsSuccessful());
}

// The default machine's NVMe controller (port 1) with its Virel drive behind the remap port.
class NvmeDiskTest : public modeltest::ModelTest {
protected:
    explicit NvmeDiskTest(const sim::MachineBuilder& machine = sim::MachineBuilder::Default())
        : ModelTest(machine), winDisks_(MakeWinDiskEnumerator()) {
        EXPECT_TRUE(winDisks_.Populate().IsSuccessful());
    }
    static constexpr PackedScsiAddress kDrive = 0x01000000;
    WinDiskList winDisks_;
};

TEST_F(NvmeDiskTest, ReadsIdentifyAndHealthButNoFeatureWithoutHostMemoryBuffer) {
    NvmeDisk disk(nullptr, nullptr);
    ASSERT_TRUE(disk.Populate(Controller(1), kDrive, 8, 3, winDisks_).IsSuccessful());
    ASSERT_NE(disk.getRemappedDeviceInfo(), nullptr);
    EXPECT_EQ(disk.modelNumber(), "Virel NV2 1TB" + std::string(27, ' '));
    EXPECT_STREQ(disk.getNvmeSerialNumber(), "NV2-0042            ");
    EXPECT_TRUE(disk.solidState());
    EXPECT_EQ(disk.getDeviceType(), Disk::kDeviceTypeNvme);
    EXPECT_FALSE(disk.isHostMemoryBufferSupported());
    EXPECT_EQ(Sent(R"({"control_code": "0xF0002808"})"), 0u);
    EXPECT_EQ(Sent(R"({"control_code": "0xF0000010", "target": 0})"), 1u)
        << "the health log without the port byte";
    ASSERT_NE(disk.getWinDiskInterface(), nullptr);
    EXPECT_EQ(disk.getWinDiskInterface()->getDeviceNumber(), 2u);
    // A pass-through SSD the driver accepts as the fast member of a pair.
    EXPECT_EQ(disk.getEventLogStrings()[4], "Halvex(TM)");
}

class NvmeDiskWithHostMemoryBuffer : public NvmeDiskTest {
protected:
    NvmeDiskWithHostMemoryBuffer()
        : NvmeDiskTest(sim::MachineBuilder::Default()
                           .Set("/disks/2/nvme",
                                R"({ "hmb": { "preferred_size": 8192, "minimum_size": 2048, "enabled": true,
                                             "size": 8192, "descriptors": 4 } })")
                           .Set("/disks/2/health", R"({ "critical_warning": 2, "temperature": 313 })")) {}
};

TEST_F(NvmeDiskWithHostMemoryBuffer, KeepsTheFeatureAndTheHealthLog) {
    NvmeDisk disk(nullptr, nullptr);
    ASSERT_TRUE(disk.Populate(Controller(1), kDrive, 8, 3, winDisks_).IsSuccessful());
    EXPECT_TRUE(disk.isHostMemoryBufferSupported());
    EXPECT_EQ(disk.getHostMemoryBufferValue(), 1u);
    uint32_t size = 0;
    std::memcpy(&size, disk.getHostMemoryBufferData(), 4);
    EXPECT_EQ(size, 8192u);
    EXPECT_EQ(disk.getHealthLog()[0], 2) << "critical warning";
    EXPECT_EQ(disk.getHealthLog()[1] | disk.getHealthLog()[2] << 8, 313) << "temperature";
}

TEST_F(NvmeDiskWithHostMemoryBuffer, FailuresLeaveZerosAndNeverFailTheDisk) {
    Inject(
        R"({"kind": "DeviceIoControl", "match": {"control_code": "0xF0002800"}, "outcome": {"win32_error": 1}})");
    Inject(
        R"({"kind": "DeviceIoControl", "match": {"control_code": "0xF0000010"}, "outcome": {"win32_error": 1}})");
    NvmeDisk disk(nullptr, nullptr);
    ASSERT_TRUE(disk.Populate(Controller(1), kDrive, 8, 3, winDisks_).IsSuccessful());
    EXPECT_EQ(disk.getRemappedDeviceInfo(), nullptr);
    EXPECT_EQ(disk.getNvmeSerialNumber(), nullptr);
    EXPECT_FALSE(disk.isHostMemoryBufferSupported());
    EXPECT_EQ(disk.getHealthLog()[1], 0);
    EXPECT_EQ(disk.modelNumber(), "") << "no identify, no model";
}

class HybridDrive : public NvmeDiskTest {
protected:
    HybridDrive()
        : NvmeDiskTest(sim::MachineBuilder::Default().Set(
              "/adapters/1/ports/0/device_info",
              R"({ "vendor": "0x1F4A", "device": "0x4A20", "subsystem": "0x4A22" })")) {}
};

TEST_F(HybridDrive, IsToldByTheRemapPortsDeviceInformation) {
    HybridDiskExtensionOrvex extension(kDrive);
    ASSERT_TRUE(extension.Populate(Controller(1)).IsSuccessful());
    EXPECT_TRUE(extension.isHybridDisk());
    EXPECT_EQ(extension.getMemberKind(), HybridDiskExtension::kMemberSecond);
    EXPECT_EQ(extension.getDeviceId(), 0x4A20);
}

class HybridDriveOnOldDriver : public NvmeDiskTest {
protected:
    HybridDriveOnOldDriver()
        : NvmeDiskTest(sim::MachineBuilder::Default().Set("/adapters/1/interface_versions",
                                                          R"({"OrvexRmp": "1.1"})")) {}
};

TEST_F(HybridDriveOnOldDriver, IsNotDetected) {
    HybridDiskExtensionOrvex extension(kDrive);
    CConsolidatedError result = extension.Populate(Controller(1));
    EXPECT_EQ(result.GetErrorCode(), 0xA001000Eu);
    EXPECT_STREQ(result.GetErrorMessage(), "HybridDisk detection not supported");
    EXPECT_FALSE(extension.isHybridDisk());
    EXPECT_EQ(Sent(R"({"control_code": "0x80000D04"})"), 0u);
}

} // namespace
