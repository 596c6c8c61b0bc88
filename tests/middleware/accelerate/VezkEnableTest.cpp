// The cache-memory pairing enable through the facade against the simulated driver: the pair and the
// sizes it chooses, the concatenation request it sends, its refusals before any drive is touched,
// its undo steps and its event-log entries.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "middleware/accelerate/UVIAccelerateAction.h"
#include "middleware/accelerate/UVIAccelerateVezkAction.h"
#include "middleware/core/GlobalLogger.h"
#include "middleware/core/NamedCriticalSection.h"
#include "middleware/model/DiskShrinkExtension.h"
#include "middleware/pairing/PairingState.h"
#include "platform/win/WinService.h"
#include "sim/CallLog.h"
#include "sim/EventLog.h"
#include "sim/Services.h"
#include "tests/middleware/accelerate/ActionTestSupport.h"
#include "tests/middleware/accelerate/PairingTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace {

using namespace actiontest;
using namespace pairingtest;

class VezkEnable : public ActionTest {
protected:
    void StartKeeping(const sim::MachineBuilder& b) {
        Start(b);
        machine_->machine().calls().Keep(100000);
        sim::eventlog::Clear();
    }
    size_t Sent(const char* selectors) {
        return machine_->machine().calls().CountMatching("DeviceIoControl", selectors);
    }
    size_t Concatenations() { return Sent(R"({"signature": "OrvexVlp", "control_code": "0x80000D01"})"); }
    // The bytes of the one concatenation request sent.
    std::vector<uint8_t> Concatenation() {
        for (const sim::Call& call : machine_->machine().calls().Of("DeviceIoControl"))
            if (call.selectors["control_code"] == 0x80000D01u &&
                call.selectors.value("signature", std::string()) == "OrvexVlp")
                return call.input;
        ADD_FAILURE() << "no concatenation sent";
        return {};
    }
    // Whether anything was done to a drive: shrunk or cleaned, or a RAID configuration change.
    size_t DriveChanges() {
        const sim::CallLog& calls = machine_->machine().calls();
        return calls.CountMatching("Vds", R"({"operation": "clean"})") +
               calls.CountMatching("Vds", R"({"operation": "shrink"})") +
               (Volume(*Fresh(), "Data_Volume") ? 1 : 0);
    }
};

template <class T> T At(const std::vector<uint8_t>& bytes, size_t offset) {
    T value{};
    if (offset + sizeof value <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

TEST_F(VezkEnable, PairsTheOnlyPairAndSendsTheConcatenation) {
    StartKeeping(EnableMachine());
    UVIAccelerateAction facade;
    facade.setSeparationSafe(false);
    facade.setMigrationStart(2048);
    facade.setFileCacheSize(100);
    const _UVI_Error result = facade.doVezkEnableOneStep();
    ASSERT_EQ(result.status, 0u) << Describe(result);

    const std::vector<uint8_t> sent = Concatenation();
    ASSERT_EQ(sent.size(), 64u);
    // The data volume (the controller's second volume, on the module) with the controller's port,
    // the slow drive's address, the migration start, 100 MiB in 512-byte sectors, separation 1 for
    // "not safe", and the data on the slow drive.
    EXPECT_EQ(At<uint32_t>(sent, 28), 0x00070100u);
    EXPECT_EQ(At<uint32_t>(sent, 32), 0x00000000u);
    EXPECT_EQ(At<uint64_t>(sent, 40), 2048u);
    EXPECT_EQ(At<uint64_t>(sent, 48), 204800u);
    EXPECT_EQ(At<uint32_t>(sent, 56), 1u);
    EXPECT_EQ(At<uint32_t>(sent, 60), 2u);

    const auto entries = sim::eventlog::Entries();
    ASSERT_GE(entries.size(), 2u);
    const sim::eventlog::Entry& enable = entries[entries.size() - 2];
    EXPECT_EQ(enable.eventId, 0x40010010u);
    EXPECT_EQ(enable.strings.size(), 7u + 7u + 4u + 1u); // both drives, four facts, the program
    EXPECT_EQ(entries.back().eventId, 0x40010012u);      // the tools of the file cache started
    EXPECT_NE(sim::services::State("KeplinAfsService"), SERVICE_STOPPED);
    // The module was cleaned of its old partition.
    EXPECT_EQ(machine_->machine().calls().CountMatching("Vds", R"({"operation": "clean"})"), 1u);
    DWORD enabled = 0;
    EXPECT_TRUE(ReadBexlWow64Dword("IsHalvexEnabled", &enabled));
    EXPECT_EQ(enabled, 1u);
}

// The pair's default mode makes a file cache of the room both drives have.
TEST_F(VezkEnable, TheDefaultFileCacheIsSizedByTheDrives) {
    StartKeeping(EnableMachine());
    UVIAccelerateAction facade;
    const _UVI_Error result = facade.doVezkEnableOneStep();
    ASSERT_EQ(result.status, 0u) << Describe(result);
    const std::vector<uint8_t> sent = Concatenation();
    EXPECT_EQ(At<uint32_t>(sent, 56), 2u);
    const uint64_t sectors = At<uint64_t>(sent, 48);
    EXPECT_GT(sectors, 0u);
    EXPECT_EQ(sectors % 2048, 0u); // whole MiB of 512-byte sectors
}

// Without the driver's file cache support the pair's default mode makes none: no tools start.
TEST_F(VezkEnable, NoFileCacheStartsNoTools) {
    sim::MachineBuilder b = EnableMachine();
    b.Set("/adapters/0/volume_port/file_cache_supported", "0");
    StartKeeping(b);
    UVIAccelerateAction facade;
    const _UVI_Error result = facade.doVezkEnableOneStep();
    ASSERT_EQ(result.status, 0u) << Describe(result);
    const std::vector<uint8_t> sent = Concatenation();
    EXPECT_EQ(At<uint64_t>(sent, 40), 0u);
    EXPECT_EQ(At<uint64_t>(sent, 48), 0u);
    EXPECT_EQ(sim::eventlog::Entries().back().eventId, 0x40010010u);
    EXPECT_NE(sim::services::State("KeplinAfsService"), SERVICE_RUNNING);
}

// A failed start of the tools after the commit leaves the pair enabled and is only logged.
TEST_F(VezkEnable, AFailedToolsStartIsLoggedAndTheEnableSucceeds) {
    StartKeeping(EnableMachine());
    machine_->machine().faults().Add(
        R"({"kind": "StartService", "match": {"name": "KeplinAfs"}, "outcome": {"win32_error": 5}})");
    UVIAccelerateAction facade;
    const _UVI_Error result = facade.doVezkEnableOneStep();
    EXPECT_EQ(result.status, 0u) << Describe(result);
    const auto entries = sim::eventlog::Entries();
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[entries.size() - 2].eventId, 0x40010010u);
    EXPECT_EQ(entries.back().eventId, 0xC0010013u);
    ASSERT_EQ(entries.back().strings.size(), 3u);
    EXPECT_EQ(entries.back().strings[0].substr(0, 2), "0X");
}

TEST_F(VezkEnable, TwoValidPairsAreRefusedBeforeAnyDriveIsTouched) {
    sim::MachineBuilder b = EnableMachine();
    b.Set("/adapters/0/raid/disks/1/spare", "false"); // ZA1B2C4E becomes a second slow drive
    StartKeeping(b);
    UVIAccelerateAction facade;
    const _UVI_Error result = facade.doVezkEnableOneStep();
    const CConsolidatedError error = GetLoggedError(result);
    EXPECT_EQ(result.code, 0xA0070018u);
    EXPECT_STREQ(error.GetErrorMessage(),
                 "More than 1 suitable pair for concatenation found. Please specify disks you want to use.");
    EXPECT_EQ(DriveChanges(), 0u);
    EXPECT_EQ(Concatenations(), 0u);
}

TEST_F(VezkEnable, RefusalsBeforeTheDrivesAreChanged) {
    const struct {
        const char* name;
        std::function<void(UVIAccelerateAction&, Session&)> set;
        uint32_t code;
        const char* message;
    } cases[] = {
        {"one handle given, the other 0",
         [](UVIAccelerateAction& f, Session& s) { f.setSlowDisk(DiskHandle(s, "ZA1B2C3D")); }, 0xA0070000,
         "Selected file cache mode is invalid: [0]"},
        {"explicit cache volume size 0", [](UVIAccelerateAction& f, Session&) { f.setCacheVolSize(0); },
         0xA0010002, "Must specify explicit cache volume size, special value 0 is not supported"},
        {"a mode the pair does not allow",
         [](UVIAccelerateAction& f, Session&) { f.setFcMode(UVI_VEZK_FILE_CACHE_MODE_2); }, 0xA0070000,
         "Selected file cache mode is invalid: [2]"},
    };
    for (const auto& c : cases) {
        StartKeeping(EnableMachine());
        UVIAccelerateAction facade;
        c.set(facade, *Fresh());
        const _UVI_Error result = facade.doVezkEnableOneStep();
        EXPECT_EQ(result.code, c.code) << c.name;
        EXPECT_STREQ(GetLoggedError(result).GetErrorMessage(), c.message) << c.name;
        EXPECT_EQ(DriveChanges(), 0u) << c.name;
    }
}

// The automatic cache volume takes what the module has room for, or the largest step of the file
// cache's sizes when there is to be a file cache.
TEST_F(VezkEnable, AutomaticCacheVolumeSize) {
    const uint64_t space = uint64_t{30} << 30;
    const uint64_t metadata = DiskShrinkExtension::getMetadataSpaceSize(2048, 512, 2);
    Start(EnableMachine(space + metadata + 0x400000));
    UVIAccelerateVezkAction action;
    const uint32_t module = DiskHandle(action.getSession(), "HVX-MOD-0001");
    for (const bool fileCache : {true, false}) {
        CacheSizeSpec spec{CacheSizeSpec::kAutomatic, 0, UINT64_MAX};
        ASSERT_TRUE(action.computeCacheVolumeSize(module, fileCache, spec).IsSuccessful());
        EXPECT_EQ(spec.mode, CacheSizeSpec::kExplicit);
        EXPECT_EQ(spec.size, fileCache ? 21474836480ull : space) << fileCache;
    }
    CacheSizeSpec clamped{CacheSizeSpec::kAutomatic, 0, 0x80000000ull};
    ASSERT_TRUE(action.computeCacheVolumeSize(module, true, clamped).IsSuccessful());
    EXPECT_EQ(clamped.size, 0x80000000ull);
}

TEST_F(VezkEnable, AModuleBelowSixteenGibHasNoFileCache) {
    Start(EnableMachine(uint64_t{15} << 30));
    UVIAccelerateVezkAction action;
    Session& session = action.getSession();
    EXPECT_EQ(action.computeFileCacheSize(DiskHandle(session, "ZA1B2C3D"),
                                          DiskHandle(session, "HVX-MOD-0001"), 0, uint64_t{4} << 30),
              0u);
}

TEST_F(VezkEnable, AFileCacheLargerThanTheRoomIsUndoneAndLogged) {
    StartKeeping(EnableMachine());
    const uint64_t metadata = DiskShrinkExtension::getMetadataSpaceSize(2048, 512, 2);
    UVIAccelerateAction facade;
    // The data volume gets 999 MiB and a bit, which the driver rounds up to 1000 MiB; 999 MiB
    // remain for a file cache.
    facade.setCacheVolSize((uint64_t{32} << 30) - metadata - (uint64_t{999} << 20) - 8192);
    facade.setFileCacheSize(1000);
    const _UVI_Error result = facade.doVezkEnableOneStep();
    const CConsolidatedError error = GetLoggedError(result);
    EXPECT_EQ(result.code, 0xA0070016u);
    EXPECT_STREQ(error.GetErrorMessage(),
                 "Not enough space for specified file cache\nSpecified: 1000MB\nMax available: 999MB");
    EXPECT_EQ(Concatenations(), 0u);
    // The undo steps took the acceleration off, deleted the pairing's volume and cleared the flag.
    EXPECT_FALSE(Volume(*Fresh(), "Data_Volume"));
    EXPECT_EQ(Nvc().mode, UVI_NVC_MODE_OFF);
    DWORD enabled = 1;
    EXPECT_TRUE(ReadBexlWow64Dword("IsHalvexEnabled", &enabled));
    EXPECT_EQ(enabled, 0u);
    const auto entries = sim::eventlog::Entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().eventId, 0xC0010011u);
    ASSERT_GE(entries.back().strings.size(), 3u);
    EXPECT_EQ(entries.back().strings[entries.back().strings.size() - 3], "0XA0070016");
}

// A migration start beyond the slow drive leaves no room, never a wrapped-around one.
TEST_F(VezkEnable, AMigrationStartBeyondTheSlowDriveIsNotEnoughSpace) {
    StartKeeping(EnableMachine());
    UVIAccelerateAction facade;
    facade.setMigrationStart(uint64_t{1} << 62);
    facade.setFileCacheSize(1);
    const _UVI_Error result = facade.doVezkEnableOneStep();
    EXPECT_EQ(result.code, 0xA0070016u);
    EXPECT_STREQ(GetLoggedError(result).GetErrorMessage(),
                 "Not enough space for specified file cache\nSpecified: 1MB\nMax available: 0MB");
    EXPECT_EQ(Concatenations(), 0u);
}

// Another process inside the enable's section: this enable gets 0xA0070037 before it shrinks or
// cleans a drive, and leaves the other's section held; once it is free, an enable in a second
// process pairs the drives.
TEST_F(VezkEnable, AnEnableRunningElsewhereKeepsThisOneOffTheDrives) {
    StartKeeping(EnableMachine());
    moxtest::Child holder({"ncs-hold", kEnableOneStepSection});
    ASSERT_EQ(holder.ReadLine(), "ready 0X20000000");
    UVIAccelerateAction facade;
    const _UVI_Error result = facade.doVezkEnableOneStep();
    EXPECT_EQ(result.code, 0xA0070037u);
    EXPECT_EQ(DriveChanges(), 0u);
    EXPECT_EQ(Concatenations(), 0u);
    EXPECT_TRUE(NamedCriticalSection(kEnableOneStepSection).isInUse());
    holder.WriteLine("done");
    EXPECT_EQ(holder.Wait(), 0);

    const moxtest::ChildResult other = moxtest::RunChild({"vezk-enable"});
    EXPECT_EQ(other.output.substr(0, 2), "0 ") << other.output;
    EXPECT_TRUE(Fresh()->getControllers().front()->getVezkInfo()->isEnabled());
}

} // namespace

namespace {

using namespace actiontest;
using namespace pairingtest;

// A size that was never worked out throws on its way; the enable keeps the exception from its
// caller and logs it with what it knows.
TEST_F(VezkEnable, AThrownStandardExceptionIsAGeneralFaultAndLogged) {
    Start(EnableMachine());
    sim::eventlog::Clear();
    const CacheSizeSpec automatic{CacheSizeSpec::kAutomatic, 0, UINT64_MAX};
    const CacheSizeSpec unresolved{CacheSizeSpec::kLargest, 0, UINT64_MAX};
    const CConsolidatedError error =
        EnableVezkOneStep(automatic, unresolved, 0, 0, 0, true, UVI_VEZK_FILE_CACHE_MODE_0);
    EXPECT_EQ(error.GetErrorCode(), 0xA0000002u);
    EXPECT_STREQ(error.GetErrorMessage(), "VolumeSize not specified but retrieval attempted");
    const auto entries = sim::eventlog::Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].eventId, 0xC0010011u);
    ASSERT_EQ(entries[0].strings.size(), 9u); // eight, then the program
    EXPECT_EQ(entries[0].strings[0], "N/A");
    EXPECT_EQ(entries[0].strings[6], std::to_string(0xA0000002u));
    EXPECT_EQ(entries[0].strings[7], "VolumeSize not specified but retrieval attempted");
}

} // namespace
