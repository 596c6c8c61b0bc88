// Controllers made from the controller table and populated from the simulated driver: the kinds the
// factory picks and what sets them apart, what a populate reads, and the controller's queries.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "middleware/core/HandleRegistry.h"
#include "middleware/model/AhciController.h"
#include "middleware/model/Disk.h"
#include "middleware/model/HybridDiskSet.h"
#include "middleware/model/NonOrvexController.h"
#include "middleware/model/NotSupportedController.h"
#include "middleware/model/NvmeController.h"
#include "middleware/model/PciRootControllerSet.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/ZrcController.h"
#include "tests/middleware/model/ControllerTestSupport.h"
#include "tests/support/MachineParts.h"

namespace {

using modeltest::ControllerFixture;
using modeltest::ControllerTest;
using moxtest::HybridHalf;
using moxtest::HybridMachine;

PackedScsiAddress OnPath(uint32_t path) {
    return path << 16;
}

TEST_F(ControllerTest, TheFactoryPicksTheKindFromTheFlagsAndTheInterfaceAnswer) {
    const struct {
        uint32_t flags;
        bool supported;
        const char* typeName;
        int type;
        PackedScsiAddress defaultVolume;
        bool remapCapable;
    } cases[] = {
        {0x21, true, "UnKnown", 0, kNoScsiAddress, true},  // another vendor's, whatever else is set
        {0x40, false, "UnKnown", 0, kNoScsiAddress, true}, // another vendor's, interfaces unasked
        {0x10, false, "UnKnown", 4, 0, true},              // not supported, typed from its flags
        {0x04, false, "UnKnown", 3, 0, true},
        {0x08, true, "SATA", 1, 0x00070000, true}, // the placeholder bit alone makes an AHCI controller
        {0x01, true, "SATA", 1, 0x00070000, true},
        {0x10, true, "ZRC", 4, 0, false},
        {0x04, true, "NVMe", 3, 0, true},
        {0x00, true, "UnKnown", 0, 0, true}, // no kind bit: not supported, type 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags << " supported " << c.supported);
        auto controller = ControllerFactory(c.flags, Record(0), c.supported);
        ASSERT_NE(controller, nullptr);
        EXPECT_STREQ(controller->getTypeName(), c.typeName);
        EXPECT_EQ(controller->getType(), c.type);
        EXPECT_EQ(controller->getDefaultVolumeAddress(), c.defaultVolume);
        EXPECT_EQ(controller->isRemapCapable(), c.remapCapable);
        EXPECT_EQ(controller->getFixedCount(), 3);
        EXPECT_EQ(controller->getVersionText(), "Not available");
    }
}

TEST_F(ControllerTest, EndDeviceAddressesByKind) {
    auto ahci = ControllerFactory(0x01, Record(0), true);
    auto zrc = ControllerFactory(0x10, Record(0), true);
    auto nvme = ControllerFactory(0x04, Record(0), true);
    const struct {
        uint32_t path;
        bool ahci, zrc, nvme;
    } cases[] = {
        {0, true, false, true}, {1, true, false, true}, {2, true, true, true},
        {6, false, true, true}, {7, false, true, true}, {8, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ahci->isEndDeviceAddress(OnPath(c.path) | 0x0100), c.ahci);
        EXPECT_EQ(zrc->isEndDeviceAddress(OnPath(c.path)), c.zrc);
        EXPECT_EQ(nvme->isEndDeviceAddress(OnPath(c.path)), c.nvme);
    }
    EXPECT_EQ(ahci->getLpmControllerNumbers(), std::vector<int>{0});
    EXPECT_TRUE(nvme->getLpmControllerNumbers().empty());
}

TEST_F(ControllerTest, TheDefaultMachinesControllersPopulate) {
    auto sata = Populated(0);
    EXPECT_NE(dynamic_cast<AhciController*>(sata.get()), nullptr);
    EXPECT_EQ(sata->getVersionText(), "20.1.0.1007");
    EXPECT_EQ(sata->getVolumes().size(), 1u);
    EXPECT_EQ(sata->getArrays().size(), 1u);
    EXPECT_EQ(sata->getPorts().size(), 4u);
    EXPECT_EQ(sata->getVolumeCount(), 1);
    EXPECT_EQ(sata->getArrayCount(), 1);
    EXPECT_TRUE(sata->checkPopulationConsistency().IsSuccessful());
    EXPECT_NE(dynamic_cast<AhciController&>(*sata).getAhciInfoRequest(), nullptr);
    EXPECT_EQ(sata->getCsmiControllerConfig().BusAddress.PciAddress.bDeviceNumber, 23);
    // The array's members know their positions.
    for (const auto& disk : sata->getDisksOfVolume(sata->getVolumes().at(0)))
        EXPECT_LT(disk->getRaidDiskConfig()->getArrayMemberPosition(), 2u);
    EXPECT_EQ(sata->getDisksOfVolume(sata->getVolumes().at(0)).size(), 2u);

    auto other = Populated(2);
    EXPECT_NE(dynamic_cast<NonOrvexController*>(other.get()), nullptr);
    EXPECT_EQ(other->getType(), 3) << "an adapter on a bus of type 17";
    EXPECT_EQ(other->getDefaultVolumeAddress(), kNoScsiAddress);
    EXPECT_EQ(other->getDisks().size(), 1u);
}

TEST_F(ControllerTest, WithoutTheRaidInterfaceNoActionAndNoEventCounterAreAskedFor) {
    auto other = Make(2); // another vendor's adapter: no "OrvexRdp"
    ForgetCalls();
    bool inProgress = true;
    uint64_t counter = 7;
    EXPECT_TRUE(other->isActionInProgress(inProgress).IsSuccessful());
    EXPECT_TRUE(other->getEventCounter(counter).IsSuccessful());
    EXPECT_FALSE(inProgress);
    EXPECT_EQ(counter, 0u);
    EXPECT_EQ(Sent("{}"), 0u);
}

TEST_F(ControllerTest, TheHandleIsTheSameForEveryControllerOfOneRecord) {
    auto first = Populated(0);
    auto second = Populated(0);
    EXPECT_NE(first->getHandle(), 0u);
    EXPECT_EQ(first->getHandle(), second->getHandle());
    const std::string key = "SATA-" + std::to_string(reinterpret_cast<intptr_t>(Record(0)));
    EXPECT_EQ(first->getHandle(), HandleRegistry::instance().getHandle(HandleKindController, key.c_str()));
    EXPECT_EQ(first->getDiskByHandle(0), nullptr);
    EXPECT_EQ(first->getInterfaceDeviceType(0x01000000), 0u) << "an address on another port";
}

TEST_F(ControllerTest, AnAhciControllerPopulatesOnce) {
    auto controller = Populated(0);
    const CConsolidatedError again = controller->Populate(WinDisks());
    EXPECT_EQ(again.GetErrorCode(), 0xA0000008u);
    EXPECT_STREQ(again.GetErrorMessage(), "Duplicate calls to AhciController::Populate");
}

TEST_F(ControllerTest, ABusyAhciInformationRequestIsReportedAsABusyDriver) {
    Inject(R"({"kind": "DeviceIoControl", "match": {"port": 0, "control_code": "0x80000A00"}, "times": 1,
               "outcome": {"win32_error": 1}})");
    auto controller = Make(0);
    const CConsolidatedError result = controller->Populate(WinDisks());
    EXPECT_EQ(result.GetErrorCode(), 0xA00000AAu);
    EXPECT_STREQ(result.GetErrorMessage(), "Driver busy in Ahci Controller Populate");
    EXPECT_NE(
        std::string(result.GetDebugInformation()).find("Could not get AHCI info in AhciController::Populate"),
        std::string::npos);
    EXPECT_TRUE(controller->getDisks().empty());
}

TEST_F(ControllerTest, AnNvmeControllerSkipsTheRaidPassButGetsItsPortsAndDisks) {
    // An NVMe-kind controller on a driver that answers the RAID and volume port interfaces.
    auto controller = ControllerFactory(kControllerNvme, Record(0), true);
    ASSERT_NE(dynamic_cast<NvmeController*>(controller.get()), nullptr);
    ASSERT_TRUE(controller->isRaidSupported());
    ASSERT_TRUE(controller->isVolumePortSupported());
    ASSERT_TRUE(controller->Populate(WinDisks()).IsSuccessful());
    EXPECT_EQ(Sent(R"({"port": 0, "signature": "OrvexRdp", "control_code": "0xC3512010"})"), 0u);
    EXPECT_EQ(Sent(R"({"port": 0, "signature": "OrvexVlp", "control_code": "0x80000D06"})"), 0u);
    EXPECT_EQ(controller->getNvCacheInfo(), nullptr);
    EXPECT_EQ(controller->getVezkInfo(), nullptr);
    EXPECT_TRUE(controller->getVolumes().empty());
    EXPECT_EQ(controller->getPorts().size(), 4u);
    EXPECT_FALSE(controller->getDisks().empty());
    EXPECT_EQ(controller->getOptimizationState(), 0);
}

class MissingMemberTest : public ControllerTest {
protected:
    MissingMemberTest()
        : ControllerTest(
              modeltest::DefaultMachine().Set("/adapters/0/raid/disks/3/state_flags", R"("0x2000010")")) {}
};

TEST_F(MissingMemberTest, AMissingMemberComesFirstAndPresentRecordsGoToTheirPorts) {
    auto controller = Populated(0);
    const auto& disks = controller->getDisks();
    ASSERT_GE(disks.size(), 2u);
    EXPECT_NE(dynamic_cast<MissingDisk*>(disks[0].get()), nullptr);
    EXPECT_EQ(disks[0]->getRaidDiskConfig()->getDiskIndex(), 3u);
    for (size_t i = 1; i < disks.size(); ++i)
        EXPECT_EQ(dynamic_cast<MissingDisk*>(disks[i].get()), nullptr);
    const auto member = controller->getDiskByRaidIndex(2);
    ASSERT_NE(member, nullptr);
    EXPECT_EQ(member->getScsiAddress(), member->getRaidDiskConfig()->getPackedAddress());
    EXPECT_TRUE(member->getRaidDiskConfig()->isMemberOfArray(controller->getArrays().at(0)->getHandle()));
}

// The remapping controller of controllers.json (port 2) with paths 1 and 3 implemented; its ports sit
// on target 1, so that the connection requests of target 0 are the remapped controllers' own.
class RemapMaskTest : public ControllerTest {
protected:
    RemapMaskTest()
        : ControllerTest(
              sim::MachineBuilder::FromFile("controllers.json")
                  .Set("/adapters/2/ports", R"([{"path": 1, "target": 1}, {"path": 3, "target": 1}])")
                  .Set("/adapters/2/remap_port", R"({"path_mask": "0xA"})")) {}
};

TEST_F(RemapMaskTest, OnlyThePathsOfTheMaskAreAskedAndAnAhciConnectionCountsForLinkPower) {
    Inject(
        R"({"kind": "DeviceIoControl", "match": {"port": 2, "signature": "OrvexRmp", "control_code": "0x80000D01",
               "target": "0x00030000"}, "times": 1, "outcome": {"patch": [{"offset": 32, "hex": "02000000"}]}})");
    auto controller = Populated(2);
    auto* zrc = dynamic_cast<ZrcController*>(controller.get());
    ASSERT_NE(zrc, nullptr);
    EXPECT_EQ(controller->getImplementedPathMask(), 0xAu);
    const auto askedFor = [this](uint32_t path) {
        return Sent(R"({"port": 2, "signature": "OrvexRmp", "control_code": "0x80000D01", "target": )" +
                    std::to_string(OnPath(path)) + "}");
    };
    EXPECT_EQ(askedFor(0), 0u);
    EXPECT_EQ(askedFor(1), 1u);
    EXPECT_EQ(askedFor(2), 0u);
    EXPECT_EQ(askedFor(3), 1u);
    EXPECT_EQ(controller->getLpmControllerNumbers(), std::vector<int>{3});
}

// NV cache statistics are read while the SSD cache is in use (its state word at 12 not 0, 4 or 6).
// The statistics group's word 28 after its length (record byte 116) is the total cache size, the
// policy group's first word the free size.
sim::MachineBuilder CacheInUse() {
    return modeltest::DefaultMachine()
        .Set("/adapters/0/raid/nv_cache/mode", "3")
        .Set(
            "/adapters/0/raid/nv_cache_stats",
            R"({"stats": [11, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4000],
                 "policy": [21]})");
}

TEST(NvCacheStatistics, AreReadWhileTheCacheIsInUse) {
    ControllerFixture fixture(CacheInUse());
    auto controller = fixture.Populated(0);
    EXPECT_EQ(controller->getNvCacheWord(Controller::kNvCacheState), 3);
    EXPECT_EQ(model::Read32(controller->getNvCacheStats().Statistics, 0), 124u) << "the group length";
    EXPECT_EQ(model::Read32(controller->getNvCacheStats().Statistics, 4), 11u);
    EXPECT_EQ(model::Read32(controller->getNvCachePolicyStats().Bytes, 4), 21u);
    EXPECT_EQ(controller->getCacheCapacityTotal(), 4000u);
    EXPECT_EQ(controller->getCacheCapacityFree(), 21u);
}

TEST(NvCacheStatistics, AFailedReadZeroesTheRecordAndAFailedVerificationIsThrown) {
    {
        ControllerFixture fixture(CacheInUse());
        fixture.Inject(R"({"kind": "RaidRequest", "match": {"port": 0, "group": 18}, "times": 1,
                           "outcome": {"win32_error": 31}})");
        auto controller = fixture.Populated(0);
        EXPECT_EQ(model::Read32(controller->getNvCacheStats().Statistics, 4), 0u);
        EXPECT_EQ(model::Read32(controller->getNvCachePolicyStats().Bytes, 4), 21u);
        EXPECT_EQ(controller->getCacheCapacityTotal(), 0u); // nothing counts as used without a total
    }
    {
        ControllerFixture fixture(CacheInUse());
        fixture.Inject(R"({"kind": "RaidRequest", "match": {"port": 0, "group": 18}, "times": 1,
                           "outcome": {"group_patch": [{"offset": 0, "u32": 7}]}})");
        auto controller = fixture.Make(0);
        try {
            static_cast<void>(controller->Populate(fixture.WinDisks()));
            ADD_FAILURE() << "the verification failure leaves the populate";
        } catch (const CConsolidatedError& e) {
            EXPECT_EQ(e.GetErrorCode(), 0xA0040405u);
        }
    }
}

TEST(HybridDiskSets, AreGroupedBySerialPrefixAndKeptWithAMasterSerial) {
    const struct {
        const char* name;
        std::vector<HybridHalf> halves;
        std::string master; // the one set kept, "" for none
        size_t members;
        size_t controllers;
        size_t dropped;
    } cases[] = {
        {"two halves on one controller",
         {{2, 1, "ABC123-1", "0x4A21"}, {2, 2, "ABC123-2", "0x4A22"}},
         "ABC123",
         2,
         1,
         0},
        {"the halves on two controllers",
         {{2, 1, "ABC123-1", "0x4A21"}, {1, 0, "ABC123-2", "0x4A22"}},
         "ABC123",
         2,
         2,
         0},
        {"the word before the first dash and digit", {{2, 1, "AB-CD-1", "0x4A21"}}, "CD", 1, 1, 0},
        {"no dash and digit: the empty prefix is dropped", {{2, 1, "ABCDEF", "0x4A21"}}, "", 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerFixture fixture(HybridMachine(c.halves));
        std::vector<std::shared_ptr<Controller>> controllers = {fixture.Populated(1), fixture.Populated(2)};
        size_t dropped = 0;
        std::vector<std::unique_ptr<HybridDiskSet>> kept;
        for (auto& set : HybridDiskSet::build(controllers)) {
            const CConsolidatedError result = set->Populate();
            if (result.IsError()) {
                EXPECT_STREQ(result.GetErrorMessage(), "Master serial cannot be empty");
                ++dropped;
            } else {
                kept.push_back(std::move(set));
            }
        }
        EXPECT_EQ(dropped, c.dropped);
        ASSERT_EQ(kept.size(), c.master.empty() ? 0u : 1u);
        if (c.master.empty())
            continue;
        const HybridDiskSet& set = *kept[0];
        EXPECT_EQ(set.getMasterSerial(), c.master);
        EXPECT_EQ(set.getDiskHandles().size(), c.members);
        const std::vector<uint32_t> handles = set.getControllerHandles();
        EXPECT_EQ(handles.size(), c.controllers);
        EXPECT_TRUE(std::is_sorted(handles.begin(), handles.end()));
        EXPECT_EQ(set.getHandle(),
                  HandleRegistry::instance().getHandle(HandleKindHybridDiskSet, c.master.c_str()))
            << "the same master serial keeps its handle";
    }
}

TEST(PciRootControllerSets, GroupTheControllersBehindOneRootPort) {
    ControllerFixture fixture(sim::MachineBuilder::FromFile("pairing.json"));
    std::vector<std::shared_ptr<Controller>> controllers = {fixture.Populated(0), fixture.Populated(1),
                                                            fixture.Populated(2)};
    auto sets = PciRootControllerSet::build(controllers);
    ASSERT_EQ(sets.size(), 2u);
    const CConsolidatedError alone = sets[0]->Populate();
    EXPECT_EQ(alone.GetErrorCode(), 0xA0010010u);
    EXPECT_STREQ(alone.GetErrorMessage(),
                 "Same PCI RootPort Controller set must contain at least 2 controllers");
    ASSERT_TRUE(sets[1]->Populate().IsSuccessful());
    EXPECT_EQ(sets[1]->getControllerHandles(),
              (std::vector<uint32_t>{controllers[1]->getHandle(), controllers[2]->getHandle()}));
    EXPECT_NE(sets[1]->getHandle(), 0u);
}

TEST(PciRootControllerSets, KeysRenderTheLocationBytesAsNumbers) {
    // Bus, device and function bytes 6, 5 and 4; zero bytes do not cut the key short.
    EXPECT_EQ(PciRootControllerSet::keyOf(0x00170000'00000002ull), "23:0:0");
    EXPECT_EQ(PciRootControllerSet::keyOf(0x00001C04'00000002ull), "0:28:4");
    PciRootControllerSet first(0x00000000'00000002ull, {1, 2});
    PciRootControllerSet second(0x00000100'00000002ull, {3, 4});
    ASSERT_TRUE(first.Populate().IsSuccessful());
    ASSERT_TRUE(second.Populate().IsSuccessful());
    EXPECT_NE(first.getHandle(), second.getHandle());
}

} // namespace

namespace {

// Every record of controllers.json (one controller of every kind the table tells apart) becomes a
// controller whose populate the simulated driver answers in full.
TEST(EveryControllerKind, PopulatesAgainstTheSimulatedDriver) {
    ControllerFixture fixture(sim::MachineBuilder::FromFile("controllers.json"));
    std::vector<int> types;
    for (int index = DeviceLocator::FindNextByFlags(0xFFFFFFFF, -1); index != -1;
         index = DeviceLocator::FindNextByFlags(0xFFFFFFFF, index)) {
        ControllerLocator* record = DeviceLocator::GetByIndex(index);
        ASSERT_NE(record, nullptr);
        SCOPED_TRACE(testing::Message()
                     << "port " << record->portNumber << " flags 0x" << std::hex << record->flags);
        auto controller = ControllerFactory(record->flags, record,
                                            IoctlInterfaceVersionStore::AllRequiredSupported(*record));
        ASSERT_NE(controller, nullptr);
        bool busy = true;
        uint64_t counter = 0;
        EXPECT_TRUE(controller->isActionInProgress(busy).IsSuccessful());
        EXPECT_FALSE(busy);
        EXPECT_TRUE(controller->getEventCounter(counter).IsSuccessful());
        const CConsolidatedError result = controller->Populate(fixture.WinDisks());
        EXPECT_TRUE(result.IsSuccessful())
            << std::hex << result.GetErrorCode() << " " << result.GetErrorMessage();
        EXPECT_NE(controller->getHandle(), 0u);
        EXPECT_NE(controller->getVersionText(), "Not available");
        types.push_back(controller->getType());
    }
    // The SATA RAID, NVMe and remapping controllers of the vendor, and other vendors' adapters.
    for (int type : {1, 3, 4})
        EXPECT_NE(std::find(types.begin(), types.end(), type), types.end()) << type;
}

} // namespace
