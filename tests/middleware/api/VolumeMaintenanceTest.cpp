// The exported volume operations against the simulated driver, which carries them out on its
// (virtual) clock: the state each operation needs, what it changes for the next session or process,
// and what a deletion frees, logs and removes from the registry.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/UviVolumeOperations.h"
#include "middleware/core/EventLogger.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidDiskConfig.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "sim/Clock.h"
#include "sim/EventLog.h"
#include "sim/Registry.h"
#include "tests/middleware/api/QueryTestSupport.h"
#include "tests/middleware/api/RaidTopology.h"
#include "tests/middleware/model/RaidConfigWord.h"

namespace {

using querytest::Debug;
using querytest::Message;

constexpr const char* kFlushPolicies = "HKLM\\SOFTWARE\\Orvex\\Bexl\\VolumeFlushPolicies";

// The default machine (disks 2 and 3 in array 0) with the volumes given, the driver taking a second
// for each trigger.
sim::MachineBuilder WithVolumes(const std::string& volumes) {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    b.Set("/adapters/0/raid/volumes", volumes);
    return b;
}

std::string Volume(const std::string& name, const std::string& more = "") {
    return R"({"name": ")" + name + R"(", "level": 1, "size_mb": 100000, "strip_kb": 64, "array": 0)" +
           (more.empty() ? "" : ", " + more) + "}";
}

class VolumeMaintenance : public querytest::QueryTest {
protected:
    VolumeMaintenance() { DeviceLocator::ResetForTests(); }
    ~VolumeMaintenance() override { DeviceLocator::ResetForTests(); }

    void Start(const sim::MachineBuilder& machine) {
        DeviceLocator::ResetForTests();
        QueryTest::Start(machine);
    }

    // A session built now, as the next operation would see the machine.
    static std::unique_ptr<Session> Fresh() {
        Session* built = nullptr;
        static_cast<void>(Session::Create(built, nullptr));
        std::unique_ptr<Session> session(built);
        EXPECT_TRUE(session);
        return session;
    }
    static std::shared_ptr<::Controller> Raid(Session& session) {
        for (const auto& c : session.getControllers())
            if (!c->getArrays().empty() || !c->getVolumes().empty())
                return c;
        return nullptr;
    }
    static std::shared_ptr<RaidVolume> VolumeNamed(Session& session, const std::string& name) {
        for (const auto& c : session.getControllers())
            for (const auto& v : c->getVolumes())
                if (v->getName() == name)
                    return v;
        return nullptr;
    }
    static uint32_t Handle(const std::string& name) {
        std::unique_ptr<Session> session = Fresh();
        const auto volume = VolumeNamed(*session, name);
        EXPECT_TRUE(volume) << name;
        return volume ? volume->getHandle() : 0;
    }
    static uint32_t DiskHandle(int32_t raidIndex) {
        std::unique_ptr<Session> session = Fresh();
        return Raid(*session)->getDiskByRaidIndex(raidIndex)->getHandle();
    }
    // The last trigger kind the driver was sent (0: none since the machine started).
    static uint32_t LastTrigger() { return modeltest::RaidConfigWord(DeviceLocator::FindByPort(0), 24); }
    // The driver's raw state of the volume as a fresh session reads it (jobs follow this process's
    // virtual clock, so only changes that are complete are read from another process).
    static uint32_t RawState(const std::string& name) {
        std::unique_ptr<Session> session = Fresh();
        const auto volume = VolumeNamed(*session, name);
        EXPECT_TRUE(volume) << name;
        return volume ? volume->getRecordWord(100) : 0xFFFFFFFF;
    }
    // What a fresh session of another process reads: "volume <name> <raw state>" and
    // "disk <serial> <usage> <flags>" lines.
    static std::string Topology() { return apitest::RaidTopology(); }
    static bool Has(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }

    sim::ScopedVirtualClock clock_;
};

using Operation = std::function<_UVI_Error(uint32_t volume)>;

TEST_F(VolumeMaintenance, EachOperationRunsOnlyInTheStatesThatAllowIt) {
    struct Op {
        const char* name;
        Operation call;
    };
    const Op ops[] = {
        {"initialize", UviVolumeInitialize},
        {"mark normal", UviVolumeMarkAsNormal},
        {"verify", [](uint32_t v) { return UviVolumeVerify(v, true); }},
        {"cancel verify", UviVolumeCancelVerify},
        {"cache policy", [](uint32_t v) { return UviVolumeSetCachePolicy(v, 4); }},
        {"rename", [](uint32_t v) { return UviVolumeRename(v, "Renamed"); }},
    };
    // The driver's record of the volume, and the operations it allows (by name).
    struct Row {
        const char* state;
        const char* record;
        std::vector<std::string> allowed;
    };
    const Row rows[] = {
        {"normal", R"("state": 0)", {"verify", "cache policy", "rename"}},
        {"normal, not initialised",
         R"("state": 0, "initialized": false)",
         {"initialize", "verify", "cache policy", "rename"}},
        {"degraded", R"("state": 2)", {}},
        {"failed", R"("state": 3)", {"mark normal"}},
        {"verifying", R"("state": 7)", {"cancel verify"}},
        {"verifying and fixing", R"("state": 10)", {"cancel verify"}},
        {"migrating", R"("state": 8)", {"cache policy"}},
        {"locked", R"("state": 0, "flags": 8192)", {}},
    };
    for (const Row& row : rows)
        for (const Op& op : ops) {
            SCOPED_TRACE(std::string(row.state) + ": " + op.name);
            Start(WithVolumes("[" + Volume("Subject", row.record) + "]"));
            const _UVI_Error result = op.call(Handle("Subject"));
            const bool allowed =
                std::find(row.allowed.begin(), row.allowed.end(), op.name) != row.allowed.end();
            if (allowed) {
                EXPECT_EQ(result.status, 0u) << Message(result) << Debug(result);
            } else {
                EXPECT_EQ(result.code, 0xA0010012u);
                EXPECT_EQ(Message(result), "");
                EXPECT_EQ(LastTrigger(), 0u) << "nothing is sent for a refused state";
            }
            TearDown();
            machine_.reset();
        }
}

TEST_F(VolumeMaintenance, VerifyWithRepairRunsUntilCancelled) {
    Start(WithVolumes("[" + Volume("Vol1") + "]"));
    const _UVI_Error result = UviVolumeVerify(Handle("Vol1"), true);
    ASSERT_EQ(result.status, 0u) << Message(result) << Debug(result);
    EXPECT_EQ(LastTrigger(), 1u);
    EXPECT_EQ(RawState("Vol1"), 10u); // verifying with repair

    const _UVI_Error cancel = UviVolumeCancelVerify(Handle("Vol1"));
    EXPECT_EQ(cancel.status, 0u) << Message(cancel) << Debug(cancel);
    EXPECT_TRUE(Has(Topology(), "volume Vol1 0\n"));
}

TEST_F(VolumeMaintenance, InitialisingAndMarkingNormalChangeTheRecordsTheNextSessionReads) {
    Start(WithVolumes("[" + Volume("Fresh", R"("initialized": false)") + "," +
                      Volume("Broken", R"("state": 3)") + "]"));
    _UVI_Error result = UviVolumeInitialize(Handle("Fresh"));
    EXPECT_EQ(result.status, 0u) << Message(result) << Debug(result);
    result = UviVolumeMarkAsNormal(Handle("Broken"));
    EXPECT_EQ(result.status, 0u) << Message(result) << Debug(result);
    EXPECT_EQ(RawState("Fresh"), 5u); // initialising
    EXPECT_EQ(RawState("Broken"), 0u);

    // The initialisation runs on the driver's clock and ends initialised.
    sim::Clock::AdvanceMs(60000);
    EXPECT_EQ(RawState("Fresh"), 0u);
    result = UviVolumeInitialize(Handle("Fresh"));
    EXPECT_EQ(result.code, 0xA0010012u);
}

TEST_F(VolumeMaintenance, CachePolicyValuesReachTheVolumesDeviceConfiguration) {
    struct Case {
        int policy;
        uint32_t deviceValue;
    };
    const Case cases[] = {{1, 0}, {2, 0x102}, {3, 0x101}, {4, 0x100}, {7, 0}};
    Start(WithVolumes("[" + Volume("Vol1", R"("cache_policy": 258)") + "]"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.policy);
        const _UVI_Error result = UviVolumeSetCachePolicy(Handle("Vol1"), c.policy);
        EXPECT_EQ(result.status, 0u) << Message(result) << Debug(result);
        std::unique_ptr<Session> session = Fresh();
        const auto volume = VolumeNamed(*session, "Vol1");
        ASSERT_TRUE(volume && volume->getDeviceConfig());
        uint32_t word = 0;
        std::memcpy(&word, volume->getDeviceConfig()->record + 128, sizeof word);
        EXPECT_EQ(word & 0x1FF, c.deviceValue);
    }
}

TEST_F(VolumeMaintenance, PolicyZeroIsRefusedBeforeTheVolumeIsLookedFor) {
    Start(WithVolumes("[" + Volume("Vol1") + "]"));
    const _UVI_Error result = UviVolumeSetCachePolicy(0x7FFF0000, 0);
    EXPECT_EQ(result.code, 0xA0010002u);
    EXPECT_EQ(Message(result), "Invalid Policy passed in");
    EXPECT_EQ(UviVolumeSetCachePolicy(0x7FFF0000, 1).code, 0xA0010003u);
    const _UVI_Error exportPolicy = UviVolumeSetExportPolicy(0x7FFF0000, 1);
    EXPECT_EQ(exportPolicy.code, 0xA0010002u);
    EXPECT_EQ(Message(exportPolicy), "Invalid Policy passed in");
}

TEST_F(VolumeMaintenance, ExportPolicyAndBufferFlushGoThroughTheirSetters) {
    Start(WithVolumes("[" + Volume("Vol1") + "," + Volume("Boot", R"("system": true)") + "]"));
    _UVI_Error result = UviVolumeSetExportPolicy(Handle("Vol1"), 2);
    EXPECT_EQ(result.status, 0u) << Message(result) << Debug(result);
    EXPECT_EQ(LastTrigger(), 1u);
    uint32_t word = 0;
    {
        std::unique_ptr<Session> session = Fresh();
        std::memcpy(&word, VolumeNamed(*session, "Vol1")->getDeviceConfig()->record + 144, sizeof word);
    }
    EXPECT_EQ(word, 2u);
    // The boot volume keeps its policy; the refusal says so.
    result = UviVolumeSetExportPolicy(Handle("Boot"), 2);
    EXPECT_EQ(result.code, 0xA0010012u);
    EXPECT_NE(Debug(result).find("Unable to set export policy on Boot Volume"), std::string::npos);

    // Windows shows this volume: its own view keeps the setting, and no value is remembered.
    result = UviVolumeSetBufferFlush(Handle("Vol1"), true);
    EXPECT_EQ(result.status, 0u) << Message(result) << Debug(result);
    sim::Value value;
    EXPECT_NE(sim::registry::QueryValue(kFlushPolicies, "Vol1", &value), 0u);
}

TEST_F(VolumeMaintenance, RenameChecksTheNameAndMovesTheFlushPolicyValue) {
    sim::MachineBuilder machine = WithVolumes("[" + Volume("Vol1") + "]");
    machine.Set(std::string("/registry/keys/") + kFlushPolicies,
                R"({"Vol1": {"type": "REG_DWORD", "data": 1}})");
    Start(machine);
    struct Case {
        const char* name;
        const char* message;
    };
    const Case refused[] = {
        {"Back\\slash", "Volume Name contains invalid characters"},
        {"Tab\there", "Volume Name contains invalid characters"},
        {"SeventeenLetters1", "Buffer does not contain valid null-terminated string."},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        const _UVI_Error result = UviVolumeRename(Handle("Vol1"), c.name);
        EXPECT_EQ(result.code, 0xA0010005u);
        EXPECT_EQ(Message(result), c.message);
    }
    EXPECT_EQ(UviVolumeRename(Handle("Vol1"), nullptr).code, 0xA0010002u);

    const _UVI_Error result = UviVolumeRename(Handle("Vol1"), "Renamed");
    ASSERT_EQ(result.status, 0u) << Message(result) << Debug(result);
    EXPECT_EQ(LastTrigger(), 0u) << "a rename needs no transaction";
    EXPECT_TRUE(Has(Topology(), "volume Renamed 0\n"));
    sim::Value value;
    EXPECT_EQ(sim::registry::QueryValue(kFlushPolicies, "Vol1", &value), 2u);
    ASSERT_EQ(sim::registry::QueryValue(kFlushPolicies, "Renamed", &value), 0u);
}

TEST_F(VolumeMaintenance, DeletingTheOnlyVolumeFreesItsDisksLogsThemAndDropsItsFlushPolicy) {
    sim::MachineBuilder machine = WithVolumes("[" + Volume("Vol1") + "]");
    machine.Set(std::string("/registry/keys/") + kFlushPolicies,
                R"({"Vol1": {"type": "REG_DWORD", "data": 0}})");
    Start(machine);
    std::vector<std::string> serials;
    {
        std::unique_ptr<Session> session = Fresh();
        for (int32_t index : {2, 3}) {
            char serial[17] = {};
            Raid(*session)->getDiskByRaidIndex(index)->getRaidDiskConfig()->copySerialNumber(serial,
                                                                                             sizeof serial);
            serials.push_back(serial);
        }
    }
    sim::eventlog::Clear();
    const _UVI_Error result = UviVolumeDelete(Handle("Vol1"));
    ASSERT_EQ(result.status, 0u) << Message(result) << Debug(result);

    const std::string topology = Topology();
    EXPECT_FALSE(Has(topology, "volume Vol1 "));
    for (const std::string& serial : serials)
        EXPECT_TRUE(Has(topology, "disk " + serial + " 2 ")) << topology; // pass-through again
    const auto entries = sim::eventlog::Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].eventId, MoxMwEventLogger::EventId(14));
    ASSERT_EQ(entries[0].strings.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(entries[0].strings.begin(), entries[0].strings.begin() + 5),
              (std::vector<std::string>{"Vol1", "Raid 1", "false", "2", serials[0] + ", " + serials[1]}));
    sim::Value value;
    EXPECT_EQ(sim::registry::QueryValue(kFlushPolicies, "Vol1", &value), 2u);
}

TEST_F(VolumeMaintenance, DeletingOneOfTwoVolumesFreesNoDiskAndTheBootVolumeStays) {
    Start(WithVolumes("[" + Volume("Vol1") + "," + Volume("Boot", R"("system": true)") + "]"));
    sim::eventlog::Clear();
    _UVI_Error result = UviVolumeDelete(Handle("Vol1"));
    ASSERT_EQ(result.status, 0u) << Message(result) << Debug(result);
    const auto entries = sim::eventlog::Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].strings.at(3), "0");
    EXPECT_EQ(entries[0].strings.at(4), "");

    result = UviVolumeDelete(Handle("Boot"));
    EXPECT_EQ(result.code, 0xA0010012u);
    const std::string topology = Topology();
    EXPECT_FALSE(Has(topology, "volume Vol1 "));
    EXPECT_TRUE(Has(topology, "volume Boot 0\n"));
}

TEST_F(VolumeMaintenance, RebuildClaimsThePassThroughDiskAndMakesItASpare) {
    // Disk 0 is pass-through and belongs to no array.
    Start(WithVolumes("[" + Volume("Vol1", R"("state": 2)") + "]"));
    const uint32_t disk = DiskHandle(0);
    const _UVI_Error result = UviVolumeRebuild(Handle("Vol1"), disk);
    EXPECT_EQ(result.status, 0u) << Message(result) << Debug(result);
    EXPECT_EQ(LastTrigger(), 2u);
    std::unique_ptr<Session> session = Fresh();
    EXPECT_EQ(Raid(*session)->getDiskByRaidIndex(0)->getRaidDiskConfig()->getUsageCode(), 4u);
}

TEST_F(VolumeMaintenance, RebuildRefusesANormalVolumeOnAMemberAndAnUnknownDisk) {
    Start(WithVolumes("[" + Volume("Vol1") + "]"));
    // Disk 2 is a member of the volume's own array, and the volume is normal.
    EXPECT_EQ(UviVolumeRebuild(Handle("Vol1"), DiskHandle(2)).code, 0xA0010012u);
    EXPECT_EQ(UviVolumeRebuild(Handle("Vol1"), 0x7FFF0000).code, 0xA0010003u);
    EXPECT_EQ(LastTrigger(), 0u);
}

} // namespace
