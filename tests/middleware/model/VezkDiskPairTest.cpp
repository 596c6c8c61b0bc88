// One cache-memory disk pair checked against the driver, on port 0 of sim/machines/pairing.json (a
// cache-memory module and a hard disk, pairing not enabled): the busy resend, the small fast disk and
// the file-cache modes.
#include <memory>
#include <string>
#include <vector>

#include "middleware/model/Disk.h"
#include "middleware/model/VezkDiskPair.h"
#include "sim/Clock.h"
#include "tests/middleware/model/ControllerTestSupport.h"

namespace {

using modeltest::ControllerFixture;

constexpr int kPort = 0;
const char* const kBusyPairCheck =
    R"({"kind": "DeviceIoControl", "match": {"port": 0, "signature": "OrvexVlp", "control_code": "0x80000D09"},
        "times": %d, "outcome": {"win32_error": 170}})";

std::string BusyPairCheck(int times) {
    char rule[512];
    std::snprintf(rule, sizeof rule, kBusyPairCheck, times);
    return rule;
}

// (slow, fast): the hard disk and the module.
VezkDiskPair PairOf(const Controller& controller) {
    return VezkDiskPair(controller.getDisks().at(1), controller.getDisks().at(0));
}

TEST(VezkDiskPair, ABusyDriverIsAskedAgainUpToFiveTimes) {
    sim::ScopedVirtualClock clock;
    // Every send of the request is resent once by the request itself: two busy answers per send.
    const struct {
        const char* name;
        int busyAnswers;
        uint32_t code;
        uint32_t status;
        size_t deviceCalls;
    } cases[] = {
        {"busy on the first four sends, answered on the fifth", 8, 0x20000000, VezkDiskPair::kStatusValid, 9},
        {"busy on all five sends", 10, 0xA00000AA, VezkDiskPair::kStatusOther, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerFixture fixture(sim::MachineBuilder::FromFile("pairing.json"));
        auto controller = fixture.Make(kPort);
        ASSERT_TRUE(controller->Populate(fixture.WinDisks()).IsSuccessful());
        fixture.ForgetCalls();
        fixture.Inject(BusyPairCheck(c.busyAnswers));
        VezkDiskPair pair = PairOf(*controller);
        const CConsolidatedError result = pair.Populate(controller->getTarget());
        EXPECT_EQ(result.GetErrorCode(), c.code);
        EXPECT_EQ(pair.getStatus(), c.status);
        EXPECT_EQ(fixture.Sent(R"({"signature": "OrvexVlp", "control_code": "0x80000D09"})"), c.deviceCalls);
    }
}

TEST(VezkDiskPair, ASixteenGibibyteModuleIsSmallAndOffersOneFileCacheMode) {
    const struct {
        const char* name;
        uint64_t moduleSectors;
        bool small;
        std::vector<uint32_t> modes;
    } cases[] = {
        {"16 GiB", 33554432, true, {VezkDiskPair::kFileCacheModeOff}},
        {"17 GiB", 35651584, false, {VezkDiskPair::kFileCacheModeOff, VezkDiskPair::kFileCacheModeExtended}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The driver does not support the file cache for the pair.
        ControllerFixture fixture(sim::MachineBuilder::FromFile("pairing.json")
                                      .Set("/disks/0/sectors", std::to_string(c.moduleSectors))
                                      .Set("/adapters/0/volume_port/file_cache_supported", "0"));
        auto controller = fixture.Populated(kPort);
        VezkDiskPair pair = PairOf(*controller);
        ASSERT_TRUE(pair.Populate(controller->getTarget()).IsSuccessful());
        EXPECT_EQ(pair.getStatus(), VezkDiskPair::kStatusValid);
        EXPECT_FALSE(pair.isFileCacheSupported());
        EXPECT_EQ(pair.isFastDiskSmall(), c.small);
        EXPECT_EQ(pair.getAllowedFileCacheModes(), c.modes);
        EXPECT_EQ(pair.getDefaultFileCacheMode(), VezkDiskPair::kFileCacheModeOff);
    }
}

TEST(VezkDiskPair, TheJoinedPairsFileCacheMode) {
    VezkDiskPair pair(nullptr, nullptr);
    const struct {
        bool fileCache;
        uint64_t pairingValue;
        uint32_t mode;
    } cases[] = {{true, 5, VezkDiskPair::kFileCacheModeOn},
                 {false, 0, VezkDiskPair::kFileCacheModeOff},
                 {false, 5, VezkDiskPair::kFileCacheModeExtended}};
    for (const auto& c : cases) {
        ASSERT_TRUE(pair.populateJoined(c.fileCache, c.pairingValue).IsSuccessful());
        EXPECT_EQ(pair.getStatus(), VezkDiskPair::kStatusJoined);
        EXPECT_EQ(pair.getFileCacheMode(), c.mode);
    }
    EXPECT_EQ(pair.getAllowedFileCacheModes(), std::vector<uint32_t>{VezkDiskPair::kFileCacheModeOff});
}

TEST(VezkDiskPair, AMissingDiskFailsBeforeAnyRequest) {
    VezkDiskPair pair(nullptr, nullptr);
    const CConsolidatedError result = pair.Populate(nullptr);
    EXPECT_EQ(result.GetErrorCode(), 0xA0000006u);
    EXPECT_STREQ(result.GetDebugInformation(), "Vezk disk pair populate: missing required fields");
    EXPECT_EQ(pair.getSlowDiskScsiAddress(), kNoScsiAddress);
}

} // namespace

namespace {

// A pairing that cannot be read leaves the controller readable: the candidate whose check failed or
// the joined pair whose member is gone is left out, nothing else.
TEST(VezkDiskPairs, APairThatCannotBeReadIsLeftOutOfAControllerThatPopulates) {
    const struct {
        const char* name;
        int port;
        const char* fault;
        const char* fastMember; // the joined pair's fast member id, when changed
        size_t pairs;
    } cases[] = {
        {"a candidate's check fails", 0,
         R"({"kind": "DeviceIoControl", "match": {"port": 0, "signature": "OrvexVlp", "control_code": "0x80000D09"},
             "times": 1, "outcome": {"win32_error": 31}})",
         nullptr, 1},
        {"the joined pair's fast member is not there", 1, nullptr, "1792", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::MachineBuilder machine = sim::MachineBuilder::FromFile("pairing.json");
        if (c.fastMember)
            machine.Set("/adapters/1/volume_port/fast", c.fastMember);
        ControllerFixture fixture(machine);
        if (c.fault)
            fixture.Inject(c.fault);
        auto controller = fixture.Populated(c.port);
        EXPECT_EQ(controller->getVezkDiskPairs().size(), c.pairs);
        EXPECT_FALSE(controller->getDisks().empty());
    }
}

} // namespace
