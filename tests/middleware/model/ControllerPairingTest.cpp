// Cache-memory pairing of a controller's populate, on sim/machines/pairing.json (port 0: pairing
// supported, not enabled; port 1: module and hard disk joined; port 2: no pairing support): the pairing
// information, the synthetic array and volume, the disk pairs and the optimisation state.
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "middleware/core/HandleRegistry.h"
#include "middleware/core/NamedCriticalSection.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/RecordBytes.h"
#include "middleware/model/VezkDiskPair.h"
#include "middleware/pairing/PairingState.h"
#include "tests/middleware/model/ControllerTestSupport.h"
#include "tests/support/MachineParts.h"

namespace {

constexpr int kCandidatesPort = moxtest::PAIRING_CANDIDATES_PORT;
constexpr int kEnabledPort = moxtest::PAIRING_ENABLED_PORT;
constexpr uint32_t kPairValidCode = 0x80000D09;

sim::MachineBuilder Pairing() {
    return moxtest::PairingMachine();
}

int32_t InfoWord(const ::Controller& controller, size_t offset) {
    return static_cast<int32_t>(model::Read32(controller.getVezkInfo()->Bytes, offset));
}

class PairingTest : public modeltest::ControllerTest {
protected:
    explicit PairingTest(const sim::MachineBuilder& machine = Pairing()) : ControllerTest(machine) {}
};

// A third disk beside the module and the hard disk of port 0.
sim::MachineBuilder ThreeDisks() {
    sim::MachineBuilder machine = Pairing();
    moxtest::DriverDisk disk = moxtest::HardDisk("ZA1B9Y01");
    disk.target = 2;
    return moxtest::AddDriverDisk(machine, disk);
}

class ThreeDisksTest : public modeltest::ControllerTest {
protected:
    ThreeDisksTest() : ControllerTest(ThreeDisks()) {}
};

TEST_F(ThreeDisksTest, NotEnabledGivesEveryOrderedPairAndMarksAnUnsupportedFastDiskWithoutAsking) {
    auto controller = Populated(kCandidatesPort);
    const auto& disks = controller->getDisks();
    ASSERT_EQ(disks.size(), 3u);
    const auto& pairs = controller->getVezkDiskPairs();
    ASSERT_EQ(pairs.size(), 6u);
    std::set<std::pair<uint32_t, uint32_t>> seen;
    for (const auto& pair : pairs) {
        EXPECT_NE(pair->getSlowDiskHandle(), pair->getFastDiskHandle());
        seen.emplace(pair->getSlowDiskHandle(), pair->getFastDiskHandle());
        EXPECT_NE(pair->getHandle(), 0u);
    }
    EXPECT_EQ(seen.size(), 6u);
    // The module as fast disk is valid with either hard disk; a hard disk as fast disk is refused by the
    // driver once (status 2) and its second pair marked without asking: 2 + 1 + 1 checks.
    const uint32_t module = disks[0]->getHandle();
    for (const auto& pair : pairs)
        EXPECT_EQ(pair->getStatus(), pair->getFastDiskHandle() == module
                                         ? VezkDiskPair::kStatusValid
                                         : VezkDiskPair::kStatusFastUnsupported);
    EXPECT_EQ(Sent(R"({"control_code": )" + std::to_string(kPairValidCode) + "}"), 4u);

    EXPECT_FALSE(controller->isVezkEnabled());
    for (size_t offset : {224, 228, 236, 240, 244})
        EXPECT_EQ(InfoWord(*controller, offset), -1) << offset;
    EXPECT_EQ(controller->getVolumes().size(), 0u);
    EXPECT_TRUE(controller->isVezkSupported());
    EXPECT_EQ(controller->getVezkPlatformSupport(), 1u);
}

TEST_F(PairingTest, ACacheClearRunningBuildsNoPairs) {
    NamedCriticalSection clear(kClearCacheSection);
    ASSERT_TRUE(clear.enter().IsSuccessful());
    for (int port : {kCandidatesPort, kEnabledPort}) {
        auto controller = Populated(port);
        EXPECT_EQ(InfoWord(*controller, pairing_answer::kStatus), 10) << port;
        EXPECT_TRUE(controller->getVezkDiskPairs().empty()) << port;
        if (port == kCandidatesPort) {
            EXPECT_EQ(controller->getOptimizationState(), 2)
                << "a module of 32 GB, a pairing state that is not 0";
        }
    }
    clear.leave();
}

TEST_F(PairingTest, TheJoinedPairIsSlowThenFastWithTheControllersSyntheticVolume) {
    auto controller = Populated(kEnabledPort);
    ASSERT_TRUE(controller->isVezkEnabled());
    // The driver's volume and array, then the synthetic ones at the driver's counts.
    EXPECT_EQ(controller->getVolumes().size(), static_cast<size_t>(controller->getVolumeCount()) + 1);
    EXPECT_EQ(controller->getArrays().size(), static_cast<size_t>(controller->getArrayCount()) + 1);
    EXPECT_EQ(InfoWord(*controller, pairing_answer::kVolumeIndex), controller->getVolumeCount());
    EXPECT_EQ(InfoWord(*controller, pairing_answer::kArrayIndex), controller->getArrayCount());
    EXPECT_TRUE(controller->getArrays().back()->isSynthetic());
    EXPECT_EQ(controller->getVezkVolume(), controller->getVolumes().back());
    // The driver's migration at 40 %, the cache service's boot migration at 50 %.
    EXPECT_EQ(InfoWord(*controller, 236), 40);
    EXPECT_EQ(InfoWord(*controller, 240), 50);
    EXPECT_EQ(InfoWord(*controller, 244), 45);

    const auto [slow, fast] = controller->getVezkMemberDisks();
    ASSERT_TRUE(slow && fast);
    EXPECT_EQ(slow->getScsiAddress(), 0x01000100u) << "the hard disk";
    EXPECT_EQ(fast->getScsiAddress(), 0x01000000u) << "the module";
    ASSERT_EQ(controller->getVezkDiskPairs().size(), 1u);
    const auto& joined = controller->getVezkDiskPairs().front();
    EXPECT_EQ(joined->getStatus(), VezkDiskPair::kStatusJoined);
    EXPECT_EQ(joined->getSlowDisk(), slow);
    EXPECT_EQ(joined->getFastDisk(), fast);
    const std::string key =
        "S:" + std::to_string(slow->getHandle()) + "F:" + std::to_string(fast->getHandle());
    EXPECT_EQ(joined->getHandle(), HandleRegistry::instance().getHandle(HandleKindVezkDiskPair, key.c_str()));
    // The members sit in the synthetic array; the slow disk remembers the driver's array.
    EXPECT_TRUE(slow->getRaidDiskConfig()->isSyntheticArrayMember());
    EXPECT_EQ(slow->getRaidDiskConfig()->getOriginalArrayIndex(), 0);
    // The synthetic objects are not the driver's: a moving event counter does not fail the check.
    EXPECT_TRUE(controller->checkPopulationConsistency().IsSuccessful());
}

TEST_F(PairingTest, TheMemberDisksOutliveTheController) {
    std::shared_ptr<Disk> slow;
    std::shared_ptr<VezkDiskPair> joined;
    {
        auto controller = Populated(kEnabledPort);
        slow = controller->getVezkMemberDisks().first;
        joined = controller->getVezkDiskPairs().at(0);
    }
    ASSERT_TRUE(slow);
    EXPECT_EQ(joined->getSlowDisk(), slow);
    EXPECT_EQ(joined->getSlowDisk()->getScsiAddress(), 0x01000100u);
}

TEST(PairingOptimisation, AModuleOfTwentyGibibytesIsNotSmall) {
    const struct {
        const char* name;
        uint64_t sectors;
        int32_t state;
    } cases[] = {
        {"exactly 20 GiB", 41943040, 3}, // decided by the later rules: the driver reports no pair
        {"one sector less", 41943039, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        modeltest::ControllerFixture fixture(Pairing().Set("/disks/0/sectors", std::to_string(c.sectors)));
        auto controller = fixture.Populated(kCandidatesPort);
        EXPECT_EQ(controller->getOptimizationState(), c.state);
    }
}

TEST(PairingExtended, AFailedExtendedRequestTakesTheSlowMemberOrTheDefaultAddress) {
    const struct {
        const char* name;
        int volumeOnSlow;
        uint32_t address;
    } cases[] = {
        {"volume on the slow disk", 1, 0x00000100},
        {"no volume byte: the controller's default", 0, 0x00070000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        modeltest::ControllerFixture fixture(
            Pairing().Set("/adapters/1/volume_port/volume_on_slow", std::to_string(c.volumeOnSlow)));
        fixture.Inject(R"({"kind": "DeviceIoControl", "match": {"port": 1, "control_code": "0x80000D18"},
                           "times": 1, "outcome": {"win32_error": 31}})");
        auto controller = fixture.Populated(kEnabledPort);
        EXPECT_EQ(model::Read32(controller->getVezkInfo()->Bytes, pairing_answer::kVolumeAddress), c.address);
    }
}

} // namespace
