#include <functional>
#include <memory>

#include "middleware/ioctl/SharedEvent.h"
#include "middleware/ioctl/VezkRequests.h"
#include "platform/win/WinSync.h"
#include "sim/Clock.h"
#include "tests/middleware/ioctl/RaidTestMachine.h"

namespace {

using namespace raidtest;

// Disk ids of the fixture: path 0, target n.
constexpr uint32_t kDiskC = 0x000200;
constexpr uint32_t kDiskD = 0x000300;
constexpr uint32_t kSsdE = 0x000400;

using VolumePort = RaidTest;

TEST_F(VolumePort, EveryRequestIsFramedByteForByte) {
    // The migration after the concatenation ends at once, so that the separation succeeds.
    machine_->Update([](json& s) { s["adapters"][0]["volume_port"] = {{"migration_ms", 0}}; });
    struct Case {
        const char* name;
        std::function<std::unique_ptr<CIoctl>(HANDLE)> make;
        Expected expected;
    };
    auto srb = [](size_t size, uint32_t code) {
        Expected e(size);
        e.Srb("OrvexVlp", code, static_cast<uint32_t>(size - 28));
        return e;
    };
    const std::vector<Case> cases = {
        {"concatenate",
         [](HANDLE t) {
             // A file cache of 8 GiB, in 512-byte sectors.
             return std::make_unique<CIoctlVezkEnable>(t, kSsdE, kDiskC, 0x100000, (uint64_t{8} << 30) / 512,
                                                       true, 2);
         },
         srb(64, 0x80000D01)
             .U32(28, kSsdE)
             .U32(32, kDiskC)
             .U64(40, 0x100000)
             .U64(48, (uint64_t{8} << 30) / 512)
             .U32(56, 2)
             .U32(60, 2)},
        {"migration", [](HANDLE t) { return std::make_unique<CIoctlVezkMigration>(t); }, srb(32, 0x80000D02)},
        {"separate", [](HANDLE t) { return std::make_unique<CIoctlVezkDisable>(t); }, srb(28, 0x80000D04)},
        {"info", [](HANDLE t) { return std::make_unique<CIoctlVezkGetInfo>(t); }, srb(224, 0x80000D06)},
        {"reset counters",
         [](HANDLE t) { return std::make_unique<CIoctlResetVolportPerformanceCounters>(t); },
         srb(28, 0x80000D07)},
        {"counters", [](HANDLE t) { return std::make_unique<CIoctlGetPerformanceCounters>(t); },
         srb(176, 0x80000D08)},
        {"pair valid",
         [](HANDLE t) { return std::make_unique<CIoctlVezkDisksPairValidForConcatenate>(t, kDiskC, kSsdE); },
         srb(36, 0x80000D09).U32(28, kSsdE).U32(32, kDiskC)},
        {"clear metadata", [](HANDLE t) { return std::make_unique<CIoctVolPortClearMetadata>(t, kDiskD); },
         srb(32, 0x80000D0A).U32(28, kDiskD)},
        {"supported", [](HANDLE t) { return std::make_unique<CIoctlVezkSupported>(t); }, srb(32, 0x80000D12)},
        {"disk valid",
         [](HANDLE t) { return std::make_unique<CIoctlVezkDiskValidForConcatenate>(t, kDiskC, 1); },
         srb(36, 0x80000D16).U32(28, kDiskC).U32(32, 1)},
        {"info ext", [](HANDLE t) { return std::make_unique<CIoctlVezkGetInfoExt>(t); },
         srb(36, 0x80000D18).U32(28, 1)},
        {"file cache",
         [](HANDLE t) { return std::make_unique<CIoctlIsFileCacheSupported>(t, kDiskC, kSsdE); },
         srb(40, 0x80000D20).U32(28, kSsdE).U32(32, kDiskC)},
        {"register event",
         [](HANDLE t) {
             return std::make_unique<CIoctlSharedEvent>(t, "0123456789abcdef0123456789abcdefXYZ");
         },
         srb(80, 0x80000D13).Text(32, "0123456789abcdef0123456789abcdef").U64(72, UINT64_MAX)},
        {"event status", [](HANDLE t) { return std::make_unique<CIoctlSharedEventStatus>(t); },
         srb(80, 0x80000D14)},
    };
    for (const auto& c : cases) {
        auto request = c.make(adapter_);
        CConsolidatedError result = request->Invoke();
        EXPECT_TRUE(result.IsSuccessful()) << c.name << ": " << result.GetErrorMessage();
        EXPECT_EQ(LastSend().input, c.expected.bytes()) << c.name;
    }
}

TEST(VolumePortMaps, ReturnCodesToCodes) {
    struct Case {
        const char* name;
        KEDO2_ERRORS (*map)(DWORD);
        DWORD returnCode;
        uint32_t code;
    };
    const std::vector<Case> cases = {
        {"enable ok", VezkEnableMap, 0, 0x20000000},
        {"enable first", VezkEnableMap, 1, 0xA0070001},
        {"enable wrong disk", VezkEnableMap, 5, 0xA0070005},
        {"enable last", VezkEnableMap, 11, 0xA007000B},
        {"enable unknown", VezkEnableMap, 12, 0xA0070000},
        {"disable ok", VezkDisableMap, 0, 0x20000000},
        {"disable no pair", VezkDisableMap, 1, 0xA0070022},
        {"disable migrating", VezkDisableMap, 2, 0xA0070023},
        {"disable unknown", VezkDisableMap, 3, 0xA0070000},
        {"pair ok", VezkPairValidMap, 0, 0x20000000},
        {"pair equal", VezkPairValidMap, 1, 0xA007001A},
        {"pair internal", VezkPairValidMap, 5, 0xA007001E},
        {"pair unknown", VezkPairValidMap, 6, 0xA0070000},
        {"disk ok", VezkDiskValidMap, 0, 0x20000000},
        {"disk internal", VezkDiskValidMap, 1, 0xA0070028},
        {"disk partition", VezkDiskValidMap, 7, 0xA007002E},
        {"disk unknown", VezkDiskValidMap, 8, 0xA0070000},
        {"clear ok", VezkClearMetadataMap, 0, 0x20000000},
        {"clear no disk", VezkClearMetadataMap, 1, 0xA007002F},
        {"clear failed", VezkClearMetadataMap, 2, 0xA0070030},
        {"clear unknown", VezkClearMetadataMap, 3, 0xA0070000},
        {"supported no", VezkSupportedMap, 0, 0xA0070019},
        {"supported yes", VezkSupportedMap, 1, 0x20000000},
        {"supported unknown", VezkSupportedMap, 2, 0xA0070000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<uint32_t>(c.map(c.returnCode)), c.code) << c.name;

    EXPECT_STREQ(VezkEnableReturnCodeText(0), "Success");
    EXPECT_STREQ(VezkEnableReturnCodeText(11), "Start boundary is too small");
    EXPECT_STREQ(VezkEnableReturnCodeText(12), "Unkown return code");
    EXPECT_STREQ(VezkDisableReturnCodeText(1), "Concatenatated Volume does not exist");
    EXPECT_STREQ(VezkStatusReturnCodeText(1), "Error");
    EXPECT_STREQ(VezkStatusReturnCodeText(2), "Unkown return code");
}

TEST_F(VolumePort, VerifiedAnswersTakeThePairingCodes) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<CIoctlVezkBase>(HANDLE)> make;
        uint32_t controlCode;
        uint32_t returnCode;
        uint32_t code;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"separate while migrating", [](HANDLE t) { return std::make_unique<CIoctlVezkDisable>(t); },
         0x80000D04, 2, 0xA0070023,
         "Separate returned error. ReturnCode: [2] - Migration is already running"},
        {"concatenate on the wrong disk",
         [](HANDLE t) { return std::make_unique<CIoctlVezkEnable>(t, kSsdE, kDiskC, 0, 0, false, 0); },
         0x80000D01, 5, 0xA0070005, "Concatenate returned error. ReturnCode: [5] - OS is on wrong disk"},
        {"concatenate unmapped",
         [](HANDLE t) { return std::make_unique<CIoctlVezkEnable>(t, kSsdE, kDiskC, 0, 0, false, 0); },
         0x80000D01, 12, 0xA0040404, "Concatenate returned error. ReturnCode: [12] - Unkown return code"},
        {"clear metadata", [](HANDLE t) { return std::make_unique<CIoctVolPortClearMetadata>(t, kDiskD); },
         0x80000D0A, 1, 0xA007002F, "Clear volport metadata returned error. ReturnCode: 1"},
        {"info", [](HANDLE t) { return std::make_unique<CIoctlVezkGetInfo>(t); }, 0x80000D06, 1, 0xA0040404,
         "ReturnCode: [1] - Error"},
    };
    for (const auto& c : cases) {
        Inject({{"control_code", c.controlCode}}, {{"srb_return_code", c.returnCode}});
        auto request = c.make(adapter_);
        CConsolidatedError result = request->Invoke();
        EXPECT_EQ(static_cast<uint32_t>(result.GetErrorCode()), c.code) << c.name;
        EXPECT_EQ(result.GetErrorType(), KEDO2_ERROR_TYPE_KEDO2) << c.name;
        EXPECT_EQ(result.GetDriverError(), c.returnCode) << c.name;
        EXPECT_STREQ(result.GetErrorMessage(), c.message) << c.name;
    }

    // The requests whose callers read the ReturnCode themselves stay a success.
    machine_->Update([](json& s) {
        s["adapters"][0]["volume_port"] = {{"supported", false}, {"platform_word", 7}};
    });
    CIoctlVezkSupported supported(adapter_);
    EXPECT_TRUE(supported.Invoke().IsSuccessful());
    EXPECT_EQ(supported.GetSrbReturnCode(), 0u);
    EXPECT_EQ(supported.GetMappedCode(), CConsolidatedError::HALVEX_DRIVER_FEATURENOTSUPPORTED);
    EXPECT_EQ(supported.GetPlatformSupport(), 7u);

    CIoctlVezkDiskValidForConcatenate ssdAsSlow(adapter_, kSsdE, 1);
    EXPECT_TRUE(ssdAsSlow.Invoke().IsSuccessful());
    EXPECT_EQ(ssdAsSlow.GetSrbReturnCode(), 6u);
    EXPECT_EQ(ssdAsSlow.GetMappedCode(), CConsolidatedError::HALVEX_CONCATENATE_DRIVER_DISKINCORRECTDISKTYPE);
    CIoctlVezkDisksPairValidForConcatenate pair(adapter_, kDiskC, kSsdE);
    EXPECT_TRUE(pair.Invoke().IsSuccessful());
    EXPECT_EQ(pair.GetSrbReturnCode(), 0u);
}

TEST_F(VolumePort, ABusyDriverIsAskedOnceMoreAfterOneMillisecond) {
    sim::ScopedVirtualClock clock;
    Inject({{"control_code", 0x80000D02}}, {{"win32_error", 170}});
    const uint64_t start = sim::Clock::NowMs();
    CIoctlVezkMigration migration(adapter_);
    EXPECT_TRUE(migration.Invoke().IsSuccessful());
    EXPECT_EQ(sim::Clock::NowMs() - start, 1u);
    EXPECT_EQ(SendCount(), 2u);

    machine_->calls().Clear();
    Inject({{"control_code", 0x80000D02}}, {{"win32_error", 170}}, 2);
    CIoctlVezkMigration twice(adapter_);
    EXPECT_EQ(twice.Invoke().GetErrorCode(), CConsolidatedError::DRIVER_BUSY);
    EXPECT_EQ(SendCount(), 2u);

    // The shared event requests are not resent.
    machine_->calls().Clear();
    Inject({{"control_code", 0x80000D14}}, {{"win32_error", 170}});
    CIoctlSharedEventStatus status(adapter_);
    EXPECT_EQ(status.Invoke().GetErrorCode(), CConsolidatedError::DRIVER_BUSY);
    EXPECT_EQ(SendCount(), 1u);
}

TEST_F(VolumePort, DiskListInTwoSteps) {
    CIoctlVezkDisksInfo disks(adapter_);
    ASSERT_TRUE(disks.Invoke().IsSuccessful());
    auto sends = Sends();
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_EQ(sends[0].input, Expected(32).Srb("OrvexVlp", 0x80000D0B, 4).bytes());
    EXPECT_EQ(sends[1].input, Expected(224).Srb("OrvexVlp", 0x80000D0B, 196).U8(28, 3).bytes());
    ASSERT_EQ(disks.GetDisks().size(), 3u);
    EXPECT_EQ(Word(disks.GetDisks()[0].Bytes, 0), kDiskC);
    EXPECT_EQ(Word(disks.GetDisks()[2].Bytes, 0), kSsdE);

    // A driver that keeps answering "too small" gives that failure after the second request.
    machine_->calls().Clear();
    Inject({{"control_code", 0x80000D0B}}, {{"srb_return_code", 1}}, -1);
    CIoctlVezkDisksInfo stubborn(adapter_);
    CConsolidatedError result = stubborn.Invoke();
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::DRIVER_SRB_IO_RESPONSE);
    EXPECT_EQ(result.GetDriverError(), 1u);
    EXPECT_EQ(SendCount(), 2u);
}

// A disk that leaves between the two requests: the second answer lists two disks in room for three,
// and the zero-filled third record (which would read as disk id 0, a real address) is not taken.
TEST_F(VolumePort, DiskListTakesOnlyTheSecondAnswersOwnCount) {
    machine_->faults().Add(sim::FaultRule{"DeviceIoControl",
                                          {{"control_code", 0x80000D0B}},
                                          1,
                                          1,
                                          {{"patch", {{{"offset", 28}, {"hex", "02"}}}}}});
    CIoctlVezkDisksInfo disks(adapter_);
    ASSERT_TRUE(disks.Invoke().IsSuccessful());
    ASSERT_EQ(SendCount(), 2u);
    ASSERT_EQ(disks.GetDisks().size(), 2u);
    EXPECT_EQ(Word(disks.GetDisks()[0].Bytes, 0), kDiskC);
}

// The second answer reports fewer bytes than its records fill: only the records wholly within the
// bytes returned are disks.
TEST_F(VolumePort, DiskListTakesOnlyTheRecordsWithinTheBytesReturned) {
    // Bytes returned: the header and one record and a part; the header and a part of a record.
    for (const uint32_t returned : {32u + 64u + 10u, 32u + 10u}) {
        SCOPED_TRACE(returned);
        machine_->faults().Clear();
        machine_->faults().Add(sim::FaultRule{
            "DeviceIoControl", {{"control_code", 0x80000D0B}}, 1, 1, {{"bytes_returned", returned}}});
        CIoctlVezkDisksInfo disks(adapter_);
        ASSERT_TRUE(disks.Invoke().IsSuccessful());
        EXPECT_EQ(disks.GetDisks().size(), returned > 32 + 64 ? 1u : 0u);
    }
}

TEST_F(VolumePort, MigrationProgressAndCounters) {
    struct Case {
        const char* hex;
        int32_t progress;
    };
    for (const Case& c : {Case{"64000000", 100}, Case{"65000000", -1}, Case{"2A000000", 42}}) {
        Inject({{"control_code", 0x80000D02}}, {{"patch", {{{"offset", 28}, {"hex", c.hex}}}}});
        CIoctlVezkMigration migration(adapter_);
        ASSERT_TRUE(migration.Invoke().IsSuccessful());
        EXPECT_EQ(migration.GetProgress(), c.progress) << c.hex;
    }

    machine_->Update([](json& s) { s["adapters"][0]["volume_port"] = {{"counters", {5, 6}}}; });
    CIoctlGetPerformanceCounters counters(adapter_);
    ASSERT_TRUE(counters.Invoke().IsSuccessful());
    const BYTE* block = counters.GetCounters();
    EXPECT_EQ(block, counters.GetOutBuffer() + 32);
    EXPECT_EQ(Word(block, 8), 6u);
    ASSERT_TRUE(CIoctlResetVolportPerformanceCounters(adapter_).Invoke().IsSuccessful());
    EXPECT_TRUE(machine_->Snapshot()["adapters"][0]["volume_port"]["counters"].empty());
}

TEST_F(VolumePort, SharedEventIsSignalledAndCountedOnAConfigurationChange) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "Global\\0123456789abcdef0123456789abcdef");
    ASSERT_NE(event, nullptr);
    CIoctlSharedEvent registration(adapter_, "0123456789abcdef0123456789abcdef");
    ASSERT_TRUE(registration.Invoke().IsSuccessful());

    CIoctlSharedEventStatus before(adapter_);
    ASSERT_TRUE(before.Invoke().IsSuccessful());
    const uint64_t counter = before.GetEventCounter();

    CIoctlVezkEnable enable(adapter_, kSsdE, kDiskC, 0, (uint64_t{8} << 30) / 512, false,
                            2); // 8 GiB in sectors
    ASSERT_TRUE(enable.Invoke().IsSuccessful());
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CIoctlSharedEventStatus after(adapter_);
    ASSERT_TRUE(after.Invoke().IsSuccessful());
    EXPECT_EQ(after.GetEventCounter(), counter + 1);

    CIoctlVezkGetInfo info(adapter_);
    ASSERT_TRUE(info.Invoke().IsSuccessful());
    EXPECT_EQ(Word(info.GetOutBuffer(), 72), 1u);
    EXPECT_EQ(Word(info.GetOutBuffer(), 88), kSsdE);
    EXPECT_EQ(Word(info.GetOutBuffer(), 152), kDiskC);
    CloseHandle(event);
}

TEST_F(VolumePort, NamesAndDescriptions) {
    CIoctlVezkEnable enable(adapter_, 0x00010200, 0x00000300, 0x1000, 0x20000000, false, 1);
    EXPECT_STREQ(enable.RuntimeClassName(), "class CIoctlVezkEnable");
    EXPECT_EQ(CIoctlVezkEnable::TemplateNameOf(),
              "CIoctlVezk<struct VOLPORT_IOCTL_CONCATENATE,class CIoctlVezkEnable>");
    EXPECT_EQ(enable.Describe(), "fastScsiId: 0x00010200, slowScsiId: 0x00000300, fileCacheOffset: 0x1000, "
                                 "fileCacheSize: 0x20000000, dataLocation: DataOnFast");
    const std::string other = CIoctlVezkEnable(adapter_, 1, 2, 0, 0, false, 7).Describe();
    EXPECT_EQ(other.substr(other.rfind(", dataLocation")), ", dataLocation: 7");
    EXPECT_EQ(CIoctlVezkDiskValidForConcatenate(adapter_, 0x200, 0).Describe(),
              "diskScsiId: 0x00000200, member: fast");
    EXPECT_EQ(CIoctlIsFileCacheSupported(adapter_, 0x300, 0x400).Describe(),
              "fastScsiId: 0x00000400, slowScsiId: 0x00000300");
    EXPECT_EQ(CIoctVolPortClearMetadata(adapter_, 0x300).Describe(), "diskScsiId: 0x00000300");
}

} // namespace
