// Disks of other vendors' controllers, known only through Windows: which Windows disks a controller
// takes, and what each reads through the Windows storage requests on the disk itself.
#include <string>

#include "middleware/core/HandleRegistry.h"
#include "middleware/model/NonOrvexDisk.h"
#include "middleware/model/WinDiskList.h"
#include "tests/middleware/model/ModelTestSupport.h"

namespace {

// The default machine's other vendor's NVMe adapter on port 2 with its Corvan disk (Windows disk 3).
class OtherVendorDisks : public modeltest::ModelTest {
protected:
    explicit OtherVendorDisks(const sim::MachineBuilder& machine = sim::MachineBuilder::Default())
        : ModelTest(machine), winDisks_(MakeWinDiskEnumerator()) {
        EXPECT_TRUE(winDisks_.Populate().IsSuccessful());
    }

    std::vector<std::shared_ptr<Disk>> Gather(int32_t kindCode, uint32_t busCode = 3) {
        return PopulateNonOrvexDisks(winDisks_, Controller(2), 2, kindCode, 11, busCode);
    }

    WinDiskList winDisks_;
};

TEST_F(OtherVendorDisks, AnNvmeDiskTakesItsIdentityAtFullWidth) {
    const auto disks = Gather(kNonOrvexKindNvme);
    ASSERT_EQ(disks.size(), 1u) << "only the Windows disk on port 2";
    const auto* disk = dynamic_cast<const NonOrvexDisk*>(disks[0].get());
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(disk->getDiskKind(), NonOrvexDisk::kKindNvme);
    EXPECT_EQ(disk->getScsiAddress(), 0x02000000u);
    EXPECT_EQ(disk->modelNumber(), std::string("Corvan P5 512G") + std::string(26, ' '));
    EXPECT_EQ(disk->firmwareRevision(), "1.02    ");
    EXPECT_STREQ(disk->getNvmeSerialNumber(), "CP5-51200           ");
    EXPECT_TRUE(disk->solidState());
    EXPECT_EQ(disk->logicalSectorSize(), 512u);
    EXPECT_EQ(disk->getDictionaryEntry(), nullptr);
    ASSERT_NE(disk->getWinDiskInterface(), nullptr);
    // Keyed before its Windows view is looked up: by its address alone.
    EXPECT_EQ(disk->getHandle(), HandleRegistry::instance().getHandle(HandleKindDisk, "33554432"));
    // The controller's own PCI identity: not a hybrid drive.
    ASSERT_NE(disk->getHybridDiskExtension(), nullptr);
    EXPECT_EQ(disk->getHybridDiskExtension()->getVendorId(), 0x1D79);
    EXPECT_FALSE(disk->getHybridDiskExtension()->isHybridDisk());
    EXPECT_EQ(disk->getEventLogStrings()[3], "PCIe");
}

TEST_F(OtherVendorDisks, OnlyControllerKindsOneAndThreeGetDisks) {
    EXPECT_TRUE(Gather(0).empty());
    EXPECT_TRUE(Gather(2).empty());
    EXPECT_EQ(MakeNonOrvexDisk(4), nullptr);
    EXPECT_TRUE(PopulateNonOrvexDisks(winDisks_, Controller(2), 5, kNonOrvexKindNvme, 11, 3).empty())
        << "no Windows disk on port 5";
}

TEST_F(OtherVendorDisks, AFailedIdentifyDropsTheDisk) {
    Inject(R"({"kind": "DeviceIoControl", "match": {"property_id": 49}, "outcome": {"win32_error": 1}})");
    EXPECT_TRUE(Gather(kNonOrvexKindNvme).empty());
}

TEST_F(OtherVendorDisks, AnNvmeDiskNeedsAControllerRecord) {
    auto disk = MakeNonOrvexDisk(kNonOrvexKindNvme);
    CConsolidatedError result =
        disk->Populate(reinterpret_cast<HANDLE>(0x1234), 0x02000000, 11, 3, winDisks_);
    EXPECT_EQ(result.GetErrorCode(), 0xA0010010u);
    EXPECT_STREQ(result.GetErrorMessage(),
                 "handle in HybridDiskExtensionNonOrvex populatePciDeviceId not a controller locator");
}

// The same adapter as another vendor's SATA controller with an ATA disk.
class OtherVendorSataDisks : public OtherVendorDisks {
protected:
    explicit OtherVendorSataDisks(const char* rotationRate = "7200", const char* busType = "11")
        : OtherVendorDisks(sim::MachineBuilder::Default()
                               .Set("/adapters/2/bus_type", "11")
                               .Set("/adapters/2/driver", R"("storahci")")
                               .Set("/disks/3/protocol", R"("ata")")
                               .Set("/disks/3/bus_type", busType)
                               .Set("/disks/3/rotation_rate", rotationRate)) {}
};

TEST_F(OtherVendorSataDisks, AnAtaDiskKeepsTheTopologyPadding) {
    const auto disks = Gather(kNonOrvexKindSata, 2);
    ASSERT_EQ(disks.size(), 1u);
    const auto* disk = dynamic_cast<const NonOrvexDisk*>(disks[0].get());
    EXPECT_EQ(disk->getDiskKind(), NonOrvexDisk::kKindAta);
    EXPECT_EQ(disk->modelNumber().size(), 40u);
    EXPECT_EQ(disk->modelNumber().substr(0, 14), "Corvan P5 512G");
    EXPECT_EQ(disk->firmwareRevision().size(), 16u);
    EXPECT_EQ(disk->getExtension()->getRotationRate(), 7200u);
    EXPECT_FALSE(disk->solidState());
    EXPECT_EQ(disk->getNvmeSerialNumber(), nullptr);
    EXPECT_EQ(disk->getHybridDiskExtension(), nullptr);
    EXPECT_EQ(disk->getEventLogStrings()[3], "SATA");
}

TEST_F(OtherVendorSataDisks, ADeviceDataOffsetOutsideTheDescriptorDropsTheDisk) {
    Inject(R"({"kind": "DeviceIoControl", "match": {"property_id": 54}, "times": 2,
               "outcome": {"patch": [{"offset": 40, "hex": "F0FFFF7F"}]}})");
    EXPECT_TRUE(Gather(kNonOrvexKindSata, 2).empty());
    EXPECT_EQ(Sent(R"({"code": "0x4D02C"})"), 0u) << "no identify after a bad descriptor";
    machine_->faults().Clear();
    Inject(R"({"kind": "DeviceIoControl", "match": {"property_id": 54}, "times": 2,
               "outcome": {"patch": [{"offset": 8, "hex": "00000000"}]}})");
    auto disk = MakeNonOrvexDisk(kNonOrvexKindSata);
    CConsolidatedError result = disk->Populate(Controller(2), 0x02000000, 11, 2, winDisks_);
    EXPECT_EQ(result.GetErrorCode(), 0xA0000004u);
    EXPECT_STREQ(result.GetErrorMessage(),
                 "Topology descriptor has no nodes in NonOrvexDiskAtaExtension::internalPopulate");
}

struct RateCase {
    const char* rate;
    bool solidState;
};

// "Rate7200_Rotating", "Rate1_SolidState": the drive's rotation rate and what it should make of it.
std::string RateCaseName(const RateCase& c) {
    return std::string("Rate") + c.rate + (c.solidState ? "_SolidState" : "_Rotating");
}

void PrintTo(const RateCase& c, std::ostream* out) {
    *out << RateCaseName(c);
}

class OtherVendorRotation : public OtherVendorSataDisks, public ::testing::WithParamInterface<RateCase> {
protected:
    OtherVendorRotation() : OtherVendorSataDisks(GetParam().rate) {}
};

TEST_P(OtherVendorRotation, OnlyRateOneIsSolidState) {
    const auto disks = Gather(kNonOrvexKindSata, 2);
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_EQ(disks[0]->solidState(), GetParam().solidState) << GetParam().rate;
}

INSTANTIATE_TEST_SUITE_P(Rates, OtherVendorRotation,
                         ::testing::Values(RateCase{"1", true}, RateCase{"0", false},
                                           RateCase{"7200", false}),
                         [](const ::testing::TestParamInfo<RateCase>& info) {
                             return RateCaseName(info.param);
                         });

class OtherVendorUnsupportedBus : public OtherVendorSataDisks {
protected:
    OtherVendorUnsupportedBus() : OtherVendorSataDisks("1", "9") {}
};

TEST_F(OtherVendorUnsupportedBus, IsDroppedWithItsBusType) {
    EXPECT_TRUE(Gather(kNonOrvexKindSata, 2).empty());
    auto disk = MakeNonOrvexDisk(kNonOrvexKindSata);
    CConsolidatedError result = disk->Populate(Controller(2), 0x02000000, 11, 2, winDisks_);
    EXPECT_EQ(result.GetErrorCode(), 0xA0000004u);
    EXPECT_STREQ(result.GetErrorMessage(),
                 "Unsupported bus type in NonOrvexDisk::internalWinDiskPopulate: 9");
}

} // namespace
