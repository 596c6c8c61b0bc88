// The simulated RAID driver's RAID configuration, trigger, dictionary and volume port families,
// driven through the simulator's device I/O as the product's requests reach it.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win/WinError.h"
#include "sim/Clock.h"
#include "sim/KernelObjects.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "sim/devio/Bytes.h"
#include "sim/devio/DeviceIo.h"

namespace {

using json = sim::Value;
using sim::devio::ByteReader;
using sim::devio::ByteWriter;

constexpr uint32_t kMiniport = 0x4D008;
constexpr uint32_t kRaidCode = 0xC3512010;

// A disk behind port 0 and the driver's record of it.
json Disk(const std::string& serial, int target, uint64_t sectors, bool ssd) {
    return {{"port", 0},          {"serial", serial},   {"model", "Kelvar KV" + serial},
            {"firmware", "CC43"}, {"path", 0},          {"target", target},
            {"lun", 0},           {"sectors", sectors}, {"rotation_rate", ssd ? 1 : 7200}};
}

json DiskRecord(int target) {
    return {{"path", 0}, {"target", target}, {"lun", 0}};
}

// One controller: a RAID 1 volume on disks 0 and 1, two pass-through disks and an SSD.
json Machine() {
    json raid = {{"action_ms", 1000},
                 {"disks", {DiskRecord(0), DiskRecord(1), DiskRecord(2), DiskRecord(3), DiskRecord(4)}},
                 {"arrays", {{{"disks", {0, 1}}}}},
                 {"volumes",
                  {{{"name", "Mirror"}, {"level", 1}, {"size_mb", 500000}, {"strip_kb", 64}, {"array", 0}}}}};
    return {{"name", "raid-test"},
            {"adapters", {{{"port", 0}, {"driver", "moxraid"}, {"bus_type", 8}, {"raid", raid}}}},
            {"disks",
             {Disk("SER-A", 0, 1953525168, false), Disk("SER-B", 1, 1953525168, false),
              Disk("SER-C", 2, 1953525168, false), Disk("SER-D", 3, 1953525168, false),
              Disk("SSD-E", 4, 500118192, true)}}};
}

// Bytes of an answer with readers by offset.
struct Record {
    std::vector<uint8_t> bytes;
    uint8_t U8(size_t at) const { return ByteReader(bytes).U8(at); }
    uint32_t U32(size_t at) const { return ByteReader(bytes).U32(at); }
    uint64_t U64(size_t at) const { return ByteReader(bytes).U64(at); }
    std::string Text(size_t at, size_t width) const { return ByteReader(bytes).Text(at, width); }
};

struct Answer {
    sim::devio::IoResult io;
    std::vector<uint8_t> bytes;
    ByteReader read() const { return ByteReader(bytes); }
};

class RaidDriver : public ::testing::Test {
protected:
    void SetUp() override {
        auto opened = sim::devio::Open("\\\\.\\Scsi0:", 0xC0000000, 3, 3, 0);
        ASSERT_TRUE(opened.device);
        device_ = opened.device;
    }

    Answer Send(uint32_t code, const std::vector<uint8_t>& input) {
        Answer a;
        a.bytes.resize(input.size());
        a.io = sim::devio::Control(*device_, code, input, a.bytes);
        return a;
    }

    static std::vector<uint8_t> Srb(const char* signature, uint32_t controlCode, size_t size) {
        std::vector<uint8_t> b(size);
        ByteWriter w(b);
        w.U32(0, 28);
        w.Text(4, signature, 8, '\0');
        w.U32(12, 500);
        w.U32(16, controlCode);
        w.U32(24, size - 28);
        return b;
    }

    // A RAID get/set request; `direct` leaves out the SRB header as the direct form does.
    static std::vector<uint8_t> RaidRequest(bool direct, uint32_t group, uint32_t instance, uint32_t field,
                                            uint32_t direction, uint32_t length,
                                            const std::vector<uint8_t>& data = {}, uint32_t member = 0) {
        std::vector<uint8_t> b =
            direct ? std::vector<uint8_t>(80 + length) : Srb("OrvexRdp", kRaidCode, 80 + length);
        const size_t p = direct ? 0 : 28;
        ByteWriter w(b);
        w.U32(p + 0, 52);
        w.U32(p + 4, group);
        w.U32(p + 8, instance);
        w.U32(p + 12, member);
        w.U32(p + 32, field);
        w.U32(p + 36, direction);
        w.U32(p + 40, 52);
        w.U32(p + 44, length);
        w.Bytes(p + 52, data);
        return b;
    }

    // Reads a whole group; returns the group data (and the status through `status`).
    Record Group(uint32_t group, uint32_t instance, uint32_t length, uint32_t* status = nullptr,
                 uint32_t member = 0) {
        Answer a = Send(kMiniport, RaidRequest(false, group, instance, 0xFFFFFFFF, 0, length, {}, member));
        EXPECT_TRUE(a.io.ok) << a.io.error;
        if (status)
            *status = a.read().U32(76);
        else
            EXPECT_EQ(a.read().U32(76), 0u) << "group " << group;
        return {std::vector<uint8_t>(a.bytes.begin() + 80, a.bytes.end())};
    }

    uint32_t SetField(uint32_t group, uint32_t instance, uint32_t field, uint32_t value) {
        std::vector<uint8_t> v(4);
        ByteWriter(v).U32(0, value);
        Answer a = Send(kMiniport, RaidRequest(false, group, instance, field, 1, 4, v));
        EXPECT_TRUE(a.io.ok);
        return a.read().U32(76);
    }

    void Trigger(uint32_t kind) { EXPECT_EQ(SetField(1, 0, 42, kind), 0u); }

    Record Config() { return Group(1, 0, 220); }

    sim::ScopedMachine machine_{Machine()};
    sim::ScopedVirtualClock clock_;
    std::shared_ptr<sim::devio::OpenDevice> device_;
};

TEST_F(RaidDriver, GroupsAreAnsweredByTheirOffsetsInBothForms) {
    const Record c = Config();
    EXPECT_EQ(c.U32(0), 220u);
    EXPECT_EQ(c.U32(4), 1u);   // volumes
    EXPECT_EQ(c.U32(8), 5u);   // disks
    EXPECT_EQ(c.U32(176), 1u); // arrays
    EXPECT_EQ(c.U32(188), 0u);
    EXPECT_EQ(c.U32(192), 0u);

    // The direct form carries the same block at offset 0 and the data at 52.
    Answer direct = Send(kRaidCode, RaidRequest(true, 1, 0, 0xFFFFFFFF, 0, 220));
    ASSERT_TRUE(direct.io.ok);
    EXPECT_EQ(direct.read().U32(0), 52u);
    EXPECT_EQ(direct.read().U32(48), 0u);
    EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), direct.bytes.begin() + 52));

    const Record v = Group(2, 0, 132);
    EXPECT_EQ(v.U32(0), 132u);
    EXPECT_EQ(v.Text(4, 16), "Mirror");
    EXPECT_EQ(v.U32(20), 0x00070000u); // path 7, target 0
    EXPECT_EQ(v.U32(24), 1u);
    EXPECT_EQ(v.U32(28), 512u);
    EXPECT_EQ(v.U32(32), 500000u);
    EXPECT_EQ(v.U32(36), 64u);
    EXPECT_EQ(v.U32(40), 2u);
    EXPECT_EQ(v.U32(80), 2u);
    EXPECT_EQ(v.U32(96), 0u);
    EXPECT_EQ(v.U32(100), 0u);

    const Record d = Group(3, 1, 192);
    EXPECT_EQ(d.U32(0), 192u);
    EXPECT_EQ(d.Text(4, 16), "SER-B");
    EXPECT_EQ(d.U32(56), 1u);           // target
    EXPECT_EQ(d.U32(48) & 0x10, 0x10u); // present
    EXPECT_EQ(d.U32(140), 0u);          // array 0
    EXPECT_EQ(d.U32(144), 0u);          // array member
    EXPECT_EQ(d.U32(148), 512u);
    EXPECT_EQ(d.U32(20), 1953525168u & 0xFFFFFFFF); // sectors, low half
    EXPECT_EQ(d.Text(88, 16), "Kelvar KVSER-B");
    EXPECT_EQ(static_cast<int32_t>(Group(3, 2, 192).U32(140)), -1);
    EXPECT_EQ(Group(3, 2, 192).U32(144), 2u); // pass-through

    const Record a = Group(5, 0, 48);
    EXPECT_EQ(a.U32(0), 48u);
    EXPECT_EQ(a.U32(8), 2u);
    EXPECT_EQ(a.U32(12), 1u);
    EXPECT_GT(a.U32(24), a.U32(16));

    EXPECT_EQ(Group(6, 0, 20, nullptr, 1).Text(4, 16), "SER-B");
    EXPECT_EQ(Group(10, 0, 24).U32(4), 512u);
    const Record dc = Group(13, 0, 168);
    EXPECT_EQ(dc.Text(4, 16), "Mirror");
    EXPECT_EQ(dc.U32(112), 500000u);
    EXPECT_EQ(Group(19, 0, 56).U32(0), 56u);
}

TEST_F(RaidDriver, RequestsTheDriverCannotServeAnswerAStatus) {
    struct Case {
        const char* name;
        uint32_t group, instance, field, direction, length;
        uint32_t status;
    };
    const std::vector<Case> cases = {
        {"unknown group", 42, 0, 0xFFFFFFFF, 0, 16, 5},
        {"no such field", 1, 0, 999, 0, 4, 6},
        {"volume out of range", 2, 7, 0xFFFFFFFF, 0, 132, 7},
        {"read-only field", 1, 0, 31, 1, 4, 10},
        {"whole-group set of the volume table", 2, 0, 0xFFFFFFFF, 1, 132, 10},
        {"bad direction", 1, 0, 0xFFFFFFFF, 2, 220, 11},
    };
    for (const auto& c : cases) {
        Answer a = Send(kMiniport, RaidRequest(false, c.group, c.instance, c.field, c.direction, c.length));
        ASSERT_TRUE(a.io.ok) << c.name;
        EXPECT_EQ(a.read().U32(76), c.status) << c.name;
        EXPECT_EQ(a.read().U32(20), 0u) << c.name; // SRB ReturnCode
    }
}

TEST_F(RaidDriver, DirectOnlyDriverRefusesTheFramedForm) {
    machine_->Update([](json& s) { s["adapters"][0]["raid"]["direct_only"] = true; });
    Answer framed = Send(kMiniport, RaidRequest(false, 1, 0, 0xFFFFFFFF, 0, 220));
    EXPECT_FALSE(framed.io.ok);
    EXPECT_EQ(framed.io.error, ERROR_INVALID_PARAMETER);
    Answer direct = Send(kRaidCode, RaidRequest(true, 1, 0, 0xFFFFFFFF, 0, 220));
    EXPECT_TRUE(direct.io.ok);
    EXPECT_EQ(ByteReader(direct.bytes).U32(52), 220u);
}

TEST_F(RaidDriver, FaultsReachOneGroup) {
    machine_->faults().Add({"RaidRequest", {{"group", 2}}, 0, 1, {{"status", 9}}});
    machine_->faults().Add({"RaidRequest",
                            {{"group", 3}, {"instance", 1}},
                            0,
                            1,
                            {{"group_patch", {{{"offset", 140}, {"u32", 9}}}}}});
    machine_->faults().Add({"RaidRequest", {{"group", 5}}, 0, 1, {{"win32_error", 170}}});
    uint32_t status = 0;
    Group(2, 0, 132, &status);
    EXPECT_EQ(status, 9u);
    EXPECT_EQ(Group(3, 1, 192).U32(140), 9u);
    Answer busy = Send(kMiniport, RaidRequest(false, 5, 0, 0xFFFFFFFF, 0, 48));
    EXPECT_FALSE(busy.io.ok);
    EXPECT_EQ(busy.io.error, ERROR_BUSY);
    // Spent rules step aside.
    Group(2, 0, 132);
}

TEST_F(RaidDriver, FieldsAreSetAndReadOneByOne) {
    EXPECT_EQ(SetField(2, 0, 77, 4), 0u);
    EXPECT_EQ(SetField(3, 2, 102, 1), 0u);
    EXPECT_EQ(SetField(3, 3, 107, 5), 0u);
    EXPECT_EQ(SetField(1, 0, 54, 1), 0u);
    EXPECT_EQ(Group(2, 0, 132).U32(88), 4u);
    EXPECT_EQ(Group(3, 2, 192).U32(68), 1u);
    EXPECT_EQ(Group(3, 3, 192).U32(64), 5u);

    // A single-field get answers the field's value at the start of the group data.
    Answer rohi = Send(kMiniport, RaidRequest(false, 1, 0, 54, 0, 4));
    EXPECT_EQ(rohi.read().U32(76), 0u);
    EXPECT_EQ(rohi.read().U32(80), 1u);

    // The device configuration's name field renames the volume at once.
    std::vector<uint8_t> name(16);
    std::memcpy(name.data(), "Renamed", 7);
    Answer rename = Send(kMiniport, RaidRequest(false, 13, 0, 418, 1, 16, name));
    EXPECT_EQ(rename.read().U32(76), 0u);
    EXPECT_EQ(Group(2, 0, 132).Text(4, 16), "Renamed");
}

TEST_F(RaidDriver, TriggeredVolumeDeletionCompletesOverTheClock) {
    auto event = sim::CreateEventObject("Global\\0123456789abcdef0123456789abcdef", true, false);
    ASSERT_TRUE(event.object);
    std::vector<uint8_t> reg = Srb("OrvexVlp", 0x80000D13, 80);
    ByteWriter(reg).Text(32, "0123456789abcdef0123456789abcdef", 32, '\0');
    ASSERT_TRUE(Send(kMiniport, reg).io.ok);
    auto counter = [&] { return ByteReader(Send(kMiniport, Srb("OrvexVlp", 0x80000D14, 80)).bytes).U64(32); };
    const uint64_t before = counter();

    EXPECT_EQ(SetField(2, 0, 77, 1), 0u);
    Trigger(1);
    const Record busy = Config();
    EXPECT_EQ(busy.U32(188), 1u);
    EXPECT_EQ(busy.U32(4), 1u);

    sim::Clock::SleepMs(500);
    EXPECT_EQ(Config().U32(188), 1u);
    sim::Clock::SleepMs(500);
    const Record done = Config();
    EXPECT_EQ(done.U32(188), 0u);
    EXPECT_EQ(done.U32(16), 0u);              // no error
    EXPECT_EQ(done.U32(4), 0u);               // the volume is gone
    EXPECT_EQ(done.U32(176), 0u);             // and its array with it
    EXPECT_EQ(Group(3, 0, 192).U32(144), 1u); // a former member keeps its metadata, in no array
    EXPECT_EQ(counter(), before + 1);
    EXPECT_EQ(event.object->Wait(0), sim::WaitOutcome::Signaled);
}

TEST_F(RaidDriver, CreationParsesOffersAndInitialisesInTheBackground) {
    machine_->Update([](json& s) { s["adapters"][0]["raid"]["action_ms"] = 0; });
    for (uint32_t d : {2u, 3u})
        EXPECT_EQ(SetField(3, d, 102, 1), 0u);
    std::vector<uint8_t> nv(44);
    ByteWriter w(nv);
    w.U32(0, 44);
    w.Text(4, "Data", 16, '\0');
    w.U32(20, 0);   // size: as much as offered
    w.U32(24, 128); // strip
    w.U32(28, 5);   // RAID 5 needs three members
    w.U32(32, 2);
    w.U32(36, 1);
    Answer set = Send(kMiniport, RaidRequest(false, 4, 0, 0xFFFFFFFF, 1, 44, nv));
    EXPECT_EQ(set.read().U32(76), 0u);
    Trigger(4);
    EXPECT_EQ(Config().U32(16), 11u); // a volume of this level needs three members

    w.U32(28, 0); // RAID 0 over the two disks
    Send(kMiniport, RaidRequest(false, 4, 0, 0xFFFFFFFF, 1, 44, nv));
    Trigger(4);
    EXPECT_EQ(Config().U32(16), 0u);
    const uint32_t offer = Group(4, 0, 44).U32(20);
    // Both members give what is left beside the driver's metadata.
    EXPECT_EQ(offer, 2 * (((1953525168ull - 4096) * 512) >> 20));

    w.U32(20, offer);
    w.U32(28, 1); // RAID 1 gets a background initialisation
    Send(kMiniport, RaidRequest(false, 4, 0, 0xFFFFFFFF, 1, 44, nv));
    Trigger(5);
    const Record cfg = Config();
    EXPECT_EQ(cfg.U32(16), 14u); // a mirror cannot hold what the stripe offered

    w.U32(20, offer / 2);
    Send(kMiniport, RaidRequest(false, 4, 0, 0xFFFFFFFF, 1, 44, nv));
    Trigger(5);
    const Record created = Config();
    EXPECT_EQ(created.U32(16), 0u);
    EXPECT_EQ(created.U32(4), 2u);
    EXPECT_EQ(created.U32(176), 2u);
    const Record v = Group(2, 1, 132);
    EXPECT_EQ(v.Text(4, 16), "Data");
    EXPECT_EQ(v.U32(20), 0x00070100u);
    EXPECT_EQ(v.U32(100), 5u); // initialising
    EXPECT_EQ(v.U32(104), 1u); // not yet initialised
    EXPECT_EQ(Group(3, 3, 192).U32(140), 1u);

    sim::Clock::SleepMs(15000);
    EXPECT_EQ(Group(13, 1, 168).U32(104), 5000u);
    sim::Clock::SleepMs(15000);
    const Record after = Group(2, 1, 132);
    EXPECT_EQ(after.U32(100), 0u);
    EXPECT_EQ(after.U32(104), 0u);
    EXPECT_EQ(Group(13, 1, 168).U32(104), 0u);

    // The same name again: not unique.
    Trigger(5);
    EXPECT_EQ(Config().U32(16), 7u);
}

// The NV cache as the driver runs it: a mode change rests on its step for "transition_ms", a
// switch-off flushes with a falling amount left, and a hold keeps the change from ending.
TEST_F(RaidDriver, CacheModesPassThroughTheirStepsOverTheClock) {
    machine_->Update([](json& s) {
        json& raid = s["adapters"][0]["raid"];
        raid["action_ms"] = 0;
        raid["arrays"].push_back({{"disks", {4}}});
        raid["volumes"].push_back(
            {{"name", "Cache_Volume"}, {"level", 0}, {"size_mb", 20000}, {"strip_kb", 64}, {"array", 1}});
        raid["nv_cache"] = {{"state", 1},
                            {"mode", 0},
                            {"cache_volume", 1},
                            {"accelerated_volume", -1},
                            {"transition_ms", 4000}};
    });
    auto nvc = [&] { return Group(19, 0, 56); };
    // The driver carries out the trigger at the next request, which starts the change.
    auto setMode = [&](uint32_t deviceAction) {
        EXPECT_EQ(SetField(13, 0, 434, deviceAction), 0u);
        EXPECT_EQ(SetField(2, 0, 77, 15), 0u);
        Trigger(1);
        nvc();
    };

    setMode(5);
    EXPECT_EQ(nvc().U32(12), 2u); // on the way to performance
    EXPECT_EQ(nvc().U32(24), 0u); // the volume is accelerated from the start
    sim::Clock::SleepMs(2000);
    EXPECT_EQ(nvc().U32(12), 2u);
    sim::Clock::SleepMs(2000);
    EXPECT_EQ(nvc().U32(12), 5u);

    setMode(3);
    EXPECT_EQ(nvc().U32(12), 6u); // flushing down to safe
    sim::Clock::SleepMs(4000);
    EXPECT_EQ(nvc().U32(12), 3u);

    setMode(0);
    Record flushing = nvc();
    EXPECT_EQ(flushing.U32(12), 7u);
    EXPECT_EQ(flushing.U32(44), 1000u);
    EXPECT_EQ(flushing.U32(48), 1000u);
    sim::Clock::SleepMs(2000);
    flushing = nvc();
    EXPECT_EQ(flushing.U32(44), 500u);
    EXPECT_EQ(flushing.U32(24), 0u);
    sim::Clock::SleepMs(2000);
    const Record off = nvc();
    EXPECT_EQ(off.U32(12), 0u);
    EXPECT_EQ(off.U32(24), 0xFFFFFFFFu);

    // Held at its target, a switch-off reaches mode 0 but leaves the volume accelerated.
    machine_->Update([](json& s) { s["adapters"][0]["raid"]["nv_cache"]["hold"] = 0; });
    setMode(3);
    sim::Clock::SleepMs(4000);
    setMode(0);
    sim::Clock::SleepMs(8000);
    EXPECT_EQ(nvc().U32(12), 0u);
    EXPECT_EQ(nvc().U32(24), 0u);
    // Held on its step, the change never ends.
    machine_->Update([](json& s) { s["adapters"][0]["raid"]["nv_cache"]["hold"] = 2; });
    setMode(5);
    sim::Clock::SleepMs(60000);
    EXPECT_EQ(nvc().U32(12), 2u);

    // Deleting the mirror moves the cache volume up in the table, and the NV cache follows it.
    EXPECT_EQ(SetField(2, 0, 77, 1), 0u);
    Trigger(1);
    EXPECT_EQ(nvc().U32(20), 0u);
    EXPECT_EQ(nvc().U32(24), 0xFFFFFFFFu);
}

// A volume created with the cache volume's options carries them in its flags and becomes the NV
// cache's cache volume.
TEST_F(RaidDriver, CacheVolumeCreationKeepsItsOptions) {
    machine_->Update([](json& s) { s["adapters"][0]["raid"]["action_ms"] = 0; });
    EXPECT_EQ(SetField(3, 4, 102, 1), 0u);
    std::vector<uint8_t> nv(44);
    ByteWriter w(nv);
    w.U32(0, 44);
    w.Text(4, "Cache_Volume", 16, '\0');
    w.U32(20, 16384);
    w.U32(24, 128);
    w.U32(28, 0);
    w.U32(32, 1);
    w.U32(36, 1);
    w.U32(40, 0x4060);
    ASSERT_EQ(Send(kMiniport, RaidRequest(false, 4, 0, 0xFFFFFFFF, 1, 44, nv)).read().U32(76), 0u);
    Trigger(5);
    ASSERT_EQ(Config().U32(16), 0u);
    EXPECT_EQ(Group(2, 1, 132).U32(108), 0x4060u);
    const Record nvc = Group(19, 0, 56);
    EXPECT_EQ(nvc.U32(20), 1u);
    EXPECT_EQ(nvc.U32(4), 16384u);
}

TEST_F(RaidDriver, DiskActionsMarkSparesAndRebuildDegradedMirrors) {
    machine_->Update([](json& s) { s["adapters"][0]["raid"]["action_ms"] = 0; });
    EXPECT_EQ(SetField(3, 1, 107, 3), 0u); // fail a mirror member
    Trigger(2);
    EXPECT_EQ(Config().U32(16), 0u);
    EXPECT_EQ(Group(2, 0, 132).U32(100), 2u); // degraded
    EXPECT_EQ(Group(3, 1, 192).U32(48) & 0x4, 0x4u);

    EXPECT_EQ(SetField(3, 4, 107, 5), 0u); // too small to stand in for the failed member
    Trigger(2);
    EXPECT_EQ(Group(2, 0, 132).U32(100), 2u);
    EXPECT_EQ(Group(3, 4, 192).U32(144), 4u); // a spare

    EXPECT_EQ(SetField(3, 2, 107, 5), 0u); // a spare takes the failed member's place
    Trigger(2);
    const Record v = Group(2, 0, 132);
    EXPECT_EQ(v.U32(100), 6u); // rebuilding
    EXPECT_EQ(Group(3, 2, 192).U32(140), 0u);
    EXPECT_EQ(Group(3, 2, 192).U32(144), 0u);
    EXPECT_EQ(static_cast<int32_t>(Group(3, 1, 192).U32(140)), -1);
    sim::Clock::SleepMs(40000);
    EXPECT_EQ(Group(2, 0, 132).U32(100), 0u);

    EXPECT_EQ(SetField(3, 2, 107, 99), 0u);
    Trigger(2);
    EXPECT_EQ(Config().U32(16), 36u); // an action the driver does not know
}

TEST_F(RaidDriver, DictionariesDescribeTheControllerAndThePresentDisks) {
    Answer supported = Send(kMiniport, Srb("OrvexRdp", 0x90000A02, 36));
    ASSERT_TRUE(supported.io.ok);
    EXPECT_EQ(supported.read().U32(28), 9u);
    EXPECT_EQ(supported.read().U32(32), 17u);

    std::vector<uint8_t> fieldsRequest = Srb("OrvexRdp", 0x90000A03, 1024);
    ByteWriter(fieldsRequest).U32(24, 8 * 17 + 16);
    ByteWriter(fieldsRequest).U32(28, 8);
    ByteWriter(fieldsRequest).U32(36, 44);
    Answer fields = Send(kMiniport, fieldsRequest);
    ASSERT_TRUE(fields.io.ok);
    EXPECT_EQ(fields.read().U32(32), 32u); // the driver's instance slots, the same for every controller
    const uint32_t n = fields.read().U32(40);
    ASSERT_EQ(n, 17u);
    uint32_t total = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t type = fields.read().U32(48 + 8 * i);
        total += type == 0 ? 1 : type == 2 ? 4 : type == 3 ? 8 : type == 8 ? 16 : type == 10 ? 64 : 0;
    }
    const uint32_t size = (total + 8 * n) * 5 + 8 * n + 48;
    std::vector<uint8_t> valuesRequest = Srb("OrvexRdp", 0x90000A04, size);
    ByteWriter vw(valuesRequest);
    vw.U32(28, 8);
    vw.U32(32, 48);
    vw.U32(36, n);
    vw.U32(40, 48 + 8 * n);
    vw.Bytes(48, fields.bytes.data() + 44, 8 * n);
    Answer values = Send(kMiniport, valuesRequest);
    ASSERT_TRUE(values.io.ok);
    EXPECT_EQ(values.read().U32(44), 5u);
    // Walk the second instance for its serial number (ATA order) and target id.
    size_t at = values.read().U32(40) + (total + 8 * n);
    std::string serial;
    uint32_t target = 99;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t id = values.read().U32(at);
        const uint32_t type = values.read().U32(at + 4);
        if (id == 0x45440004)
            for (size_t k = 0; k < 8; ++k)
                serial += static_cast<char>(values.bytes[at + 8 + (k ^ 1)]);
        if (id == 0x45440007)
            target = values.read().U32(at + 8);
        at += 8 + (type == 0 ? 1 : type == 2 ? 4 : type == 3 ? 8 : type == 8 ? 16 : type == 10 ? 64 : 0);
    }
    EXPECT_EQ(serial.c_str(), std::string("SER-B"));
    EXPECT_EQ(target, 1u);
}

TEST_F(RaidDriver, VolumePortPairsMigratesAndListsDisks) {
    // The disk list: a buffer without room answers "too small" with the count needed.
    Answer small = Send(kMiniport, Srb("OrvexVlp", 0x80000D0B, 32));
    EXPECT_EQ(small.read().U32(20), 1u);
    EXPECT_EQ(small.read().U8(28), 3u); // disks 2, 3 and 4 are outside the array
    std::vector<uint8_t> listRequest = Srb("OrvexVlp", 0x80000D0B, 32 + 64 * 3);
    ByteWriter(listRequest).U8(28, 3);
    Answer list = Send(kMiniport, listRequest);
    EXPECT_EQ(list.read().U32(20), 0u);
    EXPECT_EQ(list.read().U32(32), 0x000200u);
    EXPECT_EQ(list.read().U32(32 + 128), 0x000400u);

    auto concatenate = [&](uint32_t fast, uint32_t slow) {
        std::vector<uint8_t> b = Srb("OrvexVlp", 0x80000D01, 64);
        ByteWriter w(b);
        w.U32(28, fast);
        w.U32(32, slow);
        w.U64(48, (uint64_t{8} << 30) / 512); // the file cache in sectors of the slow disk
        w.U32(56, 1);
        return Send(kMiniport, b).read().U32(20);
    };
    EXPECT_EQ(concatenate(0x000200, 0x000200), 1u); // the same disk twice
    EXPECT_EQ(concatenate(0x000400, 0x000200), 0u);
    EXPECT_EQ(concatenate(0x000400, 0x000300), 4u); // already paired
    // What changed, as the driver's event status gives it: the pairing, with its volumes, disks and arrays.
    auto announced = [&] {
        return machine_->At("/adapters/0/volume_port/event_value").get<uint64_t>() >> 20;
    };
    EXPECT_EQ(announced(), 0x17u);

    auto progress = [&] { return Send(kMiniport, Srb("OrvexVlp", 0x80000D02, 32)).read().U32(28); };
    EXPECT_EQ(progress(), 0u);
    EXPECT_EQ(Send(kMiniport, Srb("OrvexVlp", 0x80000D04, 28)).read().U32(20), 2u); // migration running
    sim::Clock::SleepMs(30000);
    EXPECT_EQ(progress(), 50u);
    sim::Clock::SleepMs(30000);
    EXPECT_EQ(progress(), 100u);

    Answer info = Send(kMiniport, Srb("OrvexVlp", 0x80000D06, 224));
    EXPECT_EQ(info.read().U32(72), 1u);
    EXPECT_EQ(info.read().U32(88), 0x000400u);
    EXPECT_EQ(info.read().U32(152), 0x000200u);
    // A separation during which the driver logs an error says so with its event.
    machine_->Update(
        [](json& state) { state["adapters"][0]["volume_port"]["separation_error_event"] = true; });
    EXPECT_EQ(Send(kMiniport, Srb("OrvexVlp", 0x80000D04, 28)).read().U32(20), 0u);
    EXPECT_EQ(announced(), 0x57u);
    EXPECT_EQ(Send(kMiniport, Srb("OrvexVlp", 0x80000D04, 28)).read().U32(20), 1u); // nothing to separate
    EXPECT_EQ(Send(kMiniport, Srb("OrvexVlp", 0x80000D12, 32)).read().U32(20), 1u); // supported
}

} // namespace

namespace {

// The demo machine beside this test's sources: its RAID metadata agrees with its Windows disks.
TEST(RaidDemoMachine, RaidRecordsAgreeWithTheWindowsDisks) {
    sim::ScopedMachine machine(sim::MachineBuilder::FromFile("raid-demo.json"));
    auto opened = sim::devio::Open("\\\\.\\Scsi0:", 0xC0000000, 3, 3, 0);
    ASSERT_TRUE(opened.device);
    auto group = [&](uint32_t id, uint32_t instance, uint32_t length) {
        std::vector<uint8_t> b(80 + length);
        ByteWriter w(b);
        w.U32(0, 28);
        w.Text(4, "OrvexRdp", 8, '\0');
        w.U32(16, kRaidCode);
        w.U32(24, 52 + length);
        w.U32(28, 52);
        w.U32(32, id);
        w.U32(36, instance);
        w.U32(60, 0xFFFFFFFF);
        w.U32(68, 52);
        w.U32(72, length);
        std::vector<uint8_t> out(b.size());
        EXPECT_TRUE(sim::devio::Control(*opened.device, kMiniport, b, out).ok);
        EXPECT_EQ(ByteReader(out).U32(76), 0u);
        return std::vector<uint8_t>(out.begin() + 80, out.end());
    };
    const auto volume = group(2, 0, 132);
    EXPECT_EQ(ByteReader(volume).Text(4, 16), "Volume0");
    EXPECT_EQ(ByteReader(volume).U32(100), 7u); // verifying
    EXPECT_EQ(ByteReader(group(13, 0, 168)).U32(104), 4200u);

    const json state = machine->Snapshot();
    // The volume's Windows disk sits at the volume's address (its serial, the volume's name, is
    // checked through the storage requests in DiskViewsTest).
    const json& windowsDisk = state["disks"][0];
    EXPECT_EQ((windowsDisk["path"].get<uint32_t>() << 16 | windowsDisk["target"].get<uint32_t>() << 8),
              ByteReader(volume).U32(20));
    // Pass-through disks of the RAID table are the Windows disks they name.
    const auto disk = group(3, 2, 192);
    EXPECT_EQ(ByteReader(disk).Text(4, 16), state["disks"][1]["serial"]);
    EXPECT_EQ(ByteReader(disk).U32(56), state["disks"][1]["target"]);
    EXPECT_EQ(ByteReader(disk).U32(144), 2u);
}

} // namespace
