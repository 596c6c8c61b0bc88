// Disks of the vendor's controllers: the three views of one drive joined into one disk, the disk's
// handle key, the RAID member the driver cannot see, and the event-log texts.
#include <string>

#include "middleware/core/HandleRegistry.h"
#include "middleware/model/AhciDisk.h"
#include "middleware/model/Disk.h"
#include "middleware/model/WinDiskList.h"
#include "tests/middleware/model/ModelTestSupport.h"
#include "tests/support/MachineParts.h"

namespace {

// Ports of the default machine's SATA RAID controller.
constexpr PackedScsiAddress kPassThroughDisk = 0x00000000; // Kelvar KV2000DM, Windows disk 1
constexpr PackedScsiAddress kSpareDisk = 0x00000100;       // RAID disk 1
constexpr PackedScsiAddress kMemberDisk = 0x00000200;      // RAID disk 2, TS-0077
const std::string kTamsinModel = "Tamsin TS512S3" + std::string(26, ' ');

class DiskTest : public modeltest::ModelTest {
protected:
    explicit DiskTest(const sim::MachineBuilder& machine = sim::MachineBuilder::Default())
        : ModelTest(machine), winDisks_(MakeWinDiskEnumerator()) {
        EXPECT_TRUE(winDisks_.Populate().IsSuccessful());
    }

    std::unique_ptr<RaidDiskConfig> Record(uint32_t index) {
        auto record = std::make_unique<RaidDiskConfig>();
        EXPECT_TRUE(record->Populate(Controller(0), index, 7, 0).IsSuccessful());
        return record;
    }

    uint32_t DiskHandle(const std::string& key) {
        return HandleRegistry::instance().getHandle(HandleKindDisk, key.c_str());
    }

    WinDiskList winDisks_;
};

TEST_F(DiskTest, ARaidMemberJoinsItsRecordDictionaryAndIdentify) {
    AhciDisk disk(Record(2));
    ASSERT_TRUE(disk.Populate(Controller(0), kMemberDisk, 7, 2, winDisks_).IsSuccessful());
    EXPECT_EQ(disk.getHandle(), DiskHandle("TS-0077512"));
    ASSERT_NE(disk.getDictionaryEntry(), nullptr);
    EXPECT_STREQ(disk.getSerialNumber(), "TS-0077");
    // Identify texts at full width: their padding is kept.
    EXPECT_EQ(disk.modelNumber(), kTamsinModel);
    EXPECT_EQ(disk.firmwareRevision(), "2B7Q    ");
    EXPECT_TRUE(disk.solidState());
    EXPECT_EQ(disk.logicalSectorSize(), 512u);
    EXPECT_EQ(disk.getDeviceType(), Disk::kDeviceTypeAhci);
    EXPECT_STREQ(disk.getIdentifySerialNumber(), "TS-0077             ") << "padding kept, reading order";
    // A member is a phantom disk node: Windows does not see it.
    EXPECT_EQ(disk.getWinDiskInterface(), nullptr);
    EXPECT_EQ(disk.getWinScsiAddress(), 0xFFFFFFFFu);
    EXPECT_EQ(disk.getLastPartitionFreeBytes(), 0u);
    EXPECT_EQ(disk.getLastPartitionSize(), 0u);
    // The driver answers the pairing check: a RAID member is not valid.
    EXPECT_TRUE(disk.isPairingChecked());
    EXPECT_FALSE(disk.isValidForPairing());
    EXPECT_EQ(disk.getPowerMode(), 0xFFu) << "CHECK POWER MODE: active";
    EXPECT_EQ(disk.getEventLogStrings(),
              (std::vector<std::string>{"0", "0", "2", "SATA", "SSD", "512110190592", kTamsinModel}));
}

TEST_F(DiskTest, APassThroughDiskFindsItsWindowsDisk) {
    AhciDisk disk(Record(0));
    ASSERT_TRUE(disk.Populate(Controller(0), kPassThroughDisk, 7, 2, winDisks_).IsSuccessful());
    ASSERT_NE(disk.getWinDiskInterface(), nullptr);
    EXPECT_EQ(disk.getWinDiskInterface()->getDeviceNumber(), 1u);
    EXPECT_EQ(disk.getWinScsiAddress(), 0x00000000u);
    // Its last partition holds volume D: the volume's size and free space.
    EXPECT_EQ(disk.getLastPartitionSize(), 2000379969536ull);
    EXPECT_EQ(disk.getLastPartitionFreeBytes(), 1288490188800ull);
    EXPECT_EQ(disk.getEventLogStrings()[4], "HDD");
    EXPECT_EQ(disk.getHandle(), DiskHandle("ZA1B2C3D0"));
}

class DiskOutsideTheDiskTable : public DiskTest {
protected:
    DiskOutsideTheDiskTable() : DiskTest(Machine()) {}

    static sim::MachineBuilder Machine() {
        sim::MachineBuilder machine = sim::MachineBuilder::Default();
        moxtest::DriverDisk disk = moxtest::HardDisk("KV-5");
        disk.target = 5;
        disk.model = "Kelvar KV1000";
        disk.firmware = "CC10";
        disk.sectors = 1953525168;
        return moxtest::AddUntabledDisk(machine, disk);
    }
};

TEST_F(DiskOutsideTheDiskTable, IsKeyedByItsAddressAlone) {
    AhciDisk disk(nullptr);
    ASSERT_TRUE(disk.Populate(Controller(0), 0x00000500, 7, 2, winDisks_).IsSuccessful());
    EXPECT_EQ(disk.getDictionaryEntry(), nullptr);
    EXPECT_EQ(disk.getSerialNumber(), nullptr);
    EXPECT_EQ(disk.getHandle(), DiskHandle("1280"));
    EXPECT_EQ(disk.modelNumber(), "Kelvar KV1000" + std::string(27, ' ')) << "from the identify data";
    EXPECT_FALSE(disk.solidState()) << "no RAID record to say so";
    EXPECT_EQ(disk.logicalSectorSize(), 0u);
    // Without a record the media kind is empty for a SATA drive, and the size unknown.
    EXPECT_EQ(disk.getEventLogStrings()[4], "");
    EXPECT_EQ(disk.getEventLogStrings()[5], "0");
}

TEST_F(DiskTest, AMissingMemberTakesItsModelFromItsRecord) {
    Inject(R"({"kind": "RaidRequest", "match": {"group": 3, "instance": 1},
               "outcome": {"group_patch": [{"offset": 48, "u32": 33554432}]}})");
    auto record = Record(1);
    ASSERT_TRUE(record->isNotPresent());
    ASSERT_TRUE(record->isMissing());
    ForgetCalls();
    MissingDisk disk(std::make_unique<RaidDiskConfig>(*record));
    ASSERT_TRUE(disk.Populate(Controller(0), record->getPackedAddress(), 7, 0, winDisks_).IsSuccessful());
    EXPECT_EQ(disk.modelNumber(), "Kelvar KV2000DM");
    EXPECT_EQ(disk.firmwareRevision(), "");
    EXPECT_FALSE(disk.isPairingChecked()) << "a record that is not present is never checked for pairing";
    EXPECT_EQ(Sent(R"({"signature": "OrvexVlp"})"), 0u);
    EXPECT_EQ(disk.getEventLogStrings()[3], "None");
}

class DiskPairing : public DiskTest {
protected:
    DiskPairing()
        : DiskTest(sim::MachineBuilder::Default().Set("/adapters/0/raid/disks/2/pairing_check", "0")) {}
};

TEST_F(DiskPairing, ADiskAcceptedForPairingIsNamedSo) {
    AhciDisk disk(Record(2));
    ASSERT_TRUE(disk.Populate(Controller(0), kMemberDisk, 7, 2, winDisks_).IsSuccessful());
    EXPECT_TRUE(disk.isPairingChecked());
    EXPECT_TRUE(disk.isValidForPairing());
    EXPECT_TRUE(disk.getRaidDiskConfig()->isSolidState());
    EXPECT_EQ(disk.getEventLogStrings()[4], "Halvex(TM)");
}

class DiskWithoutVolumePort : public DiskTest {
protected:
    DiskWithoutVolumePort()
        : DiskTest(sim::MachineBuilder::Default().Set("/adapters/0/interface_versions",
                                                      R"({"OrvexVlp": null})")) {}
};

TEST_F(DiskWithoutVolumePort, IsNotCheckedForPairing) {
    AhciDisk disk(Record(2));
    ASSERT_TRUE(disk.Populate(Controller(0), kMemberDisk, 7, 2, winDisks_).IsSuccessful());
    EXPECT_FALSE(disk.isPairingChecked());
    EXPECT_EQ(Sent(R"({"signature": "OrvexVlp", "control_code": "0x80000D16"})"), 0u);
}

TEST_F(DiskTest, AFailedIdentifyIsThrown) {
    Inject(
        R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000A01"}, "outcome": {"win32_error": 1}})");
    AhciDisk disk(Record(2));
    EXPECT_THROW(disk.Populate(Controller(0), kMemberDisk, 7, 2, winDisks_), CConsolidatedError);
}

TEST_F(DiskTest, TheOpticalDriveRequestDecidesAfterTheSpeed) {
    // The speed request is the second capabilities request of the disk; the zero-power request
    // that follows replaces its failure.
    Inject(R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000A00", "target": 512},
               "outcome": {"win32_error": 1}})");
    AhciDisk speedOnly(Record(2));
    EXPECT_TRUE(speedOnly.Populate(Controller(0), kMemberDisk, 7, 2, winDisks_).IsSuccessful());
    EXPECT_NE(speedOnly.getSpeed(), nullptr);
    EXPECT_FALSE(speedOnly.getSpeed()->IsVerified());

    Inject(
        R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000C00"}, "outcome": {"win32_error": 1}})");
    AhciDisk zpodd(Record(2));
    EXPECT_TRUE(zpodd.Populate(Controller(0), kMemberDisk, 7, 2, winDisks_).IsError());
}

TEST_F(DiskTest, EveryDiskReadsTheDictionaryItself) {
    AhciDisk first(Record(2)), second(Record(3));
    ForgetCalls();
    ASSERT_TRUE(first.Populate(Controller(0), kMemberDisk, 7, 2, winDisks_).IsSuccessful());
    const size_t perDisk = Sent(R"({"control_code": "0x90000A04"})");
    EXPECT_GT(perDisk, 0u);
    ASSERT_TRUE(second.Populate(Controller(0), 0x00000300, 7, 2, winDisks_).IsSuccessful());
    EXPECT_EQ(Sent(R"({"control_code": "0x90000A04"})"), 2 * perDisk);
    EXPECT_STREQ(second.getSerialNumber(), "TS-0078");
}

} // namespace

namespace {

// What each request of a disk's populate does to it when it fails.
TEST_F(DiskTest, EachFailedRequestHasItsDocumentedEffect) {
    struct Row {
        const char* rule;
        bool failsPopulate;
        uint32_t powerMode;
        bool validForPairing;
    };
    const Row rows[] = {
        {R"({"kind": "DeviceIoControl", "match": {"control_code": "0x90000A04"}, "outcome": {"win32_error": 1}})",
         true, 0, false},
        {R"({"kind": "DeviceIoControl", "match": {"signature": "CSMISAS", "control_code": 25},
             "outcome": {"win32_error": 1}})",
         false, Disk::kPowerModeUnknown, false},
        {R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000D16"}, "outcome": {"win32_error": 1}})",
         false, 0xFF, false},
        {R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000D16"}, "outcome": {"srb_return_code": 0}})",
         false, 0xFF, true},
    };
    for (const Row& row : rows) {
        machine_->faults().Clear();
        Inject(row.rule);
        AhciDisk disk(Record(2));
        EXPECT_EQ(disk.Populate(Controller(0), kMemberDisk, 7, 2, winDisks_).IsError(), row.failsPopulate)
            << row.rule;
        EXPECT_EQ(machine_->faults().Pending(), 0u) << row.rule;
        if (row.failsPopulate)
            continue;
        EXPECT_EQ(disk.getPowerMode(), row.powerMode) << row.rule;
        EXPECT_TRUE(disk.isPairingChecked()) << row.rule;
        EXPECT_EQ(disk.isValidForPairing(), row.validForPairing) << row.rule;
    }
}

} // namespace

namespace {

// The miniport view of the end-device dictionary names another path for the first disk than the
// raidport view: the entry cannot be trusted and the populate fails. The values answer holds 17
// field descriptors (from 48) and then per instance each field's id, type and value; the path id
// of instance 0 is at 184 + 148.
TEST_F(DiskTest, ViewsOfTheDictionaryThatDisagreeFailThePopulate) {
    Inject(R"({"kind": "DeviceIoControl", "match": {"control_code": "0x90000A04"}, "skip": 1,
               "outcome": {"patch": [{"offset": 332, "hex": "01000000"}]}})");
    AhciDisk disk(Record(0));
    CConsolidatedError result = disk.Populate(Controller(0), kPassThroughDisk, 7, 2, winDisks_);
    EXPECT_TRUE(result.IsError());
    EXPECT_EQ(disk.getDictionaryEntry(), nullptr);
    EXPECT_NE(std::string(result.GetDebugInformation()).find("mismatch on path ID"), std::string::npos);
}

} // namespace
