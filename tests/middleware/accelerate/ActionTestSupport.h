#pragma once
// What the action tests share: the library started on a simulated machine with virtual time, the
// machines they start from, and fresh looks at the driver's state through new sessions.
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "middleware/api/NvcInfo.h"
#include "middleware/api/UviApi.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/support/MachineParts.h"

namespace actiontest {

// The default machine, whose SATA controller has SSD caching (its NVMe controller none), the
// mirror's members spinning disks, and the former spare (ZA1B2C4E) a pass-through disk; no cache
// volume.
inline sim::MachineBuilder SsdCachingMachine() {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    b.Set("/adapters/1/raid/controller/capability_a", "15");
    b.Set("/disks/5/rotation_rate", "7200").Set("/disks/6/rotation_rate", "7200");
    b.Set("/adapters/0/raid/disks/1/spare", "false");
    return b;
}

// A solid-state disk of this many bytes behind the SATA controller at the target, whose driver keeps
// 2048 metadata sectors (1 MiB); Windows sees it as disk 4 + target.
inline sim::MachineBuilder& AddFastDisk(sim::MachineBuilder& b, uint64_t bytes,
                                        const std::string& serial = "FAST-01", uint32_t target = 4) {
    moxtest::DriverDisk fast = moxtest::SataSsd(serial);
    fast.target = target;
    fast.sectors = bytes / 512;
    fast.diskFacts = R"(, "device_number": )" + std::to_string(4 + target);
    fast.raidFacts = R"(, "metadata_sectors": 2048)";
    return moxtest::AddDriverDisk(b, fast);
}

// A cache volume on an array of its own over the former spare, accelerating the volume (-1: none)
// in the mode (the driver's number).
inline sim::MachineBuilder& AddCache(sim::MachineBuilder& b, int acceleratedVolume, int mode, int state = 1,
                                     const std::string& facts = "") {
    const size_t array = moxtest::AddRaidArray(b, {1}, 1);
    moxtest::CacheVolume cache;
    cache.volume.name = "NvCache";
    cache.volume.sizeMb = 64000;
    cache.volume.array = static_cast<int>(array);
    cache.acceleratedVolume = acceleratedVolume;
    cache.mode = mode;
    cache.state = state;
    cache.facts = facts;
    moxtest::AddCacheVolume(b, cache);
    return b;
}

class ActionTest : public ::testing::Test {
protected:
    void Start(const sim::MachineBuilder& description) {
        machine_.reset();
        if (started_)
            static_cast<void>(UviFinalize()); // the next machine starts the library anew
        machine_.emplace(description);
        const _UVI_Error started = UviInitialize();
        ASSERT_EQ(started.status, 0u);
        started_ = true;
    }
    void TearDown() override {
        if (started_)
            static_cast<void>(UviFinalize()); // nothing is left to check
    }

    // A new snapshot of the driver.
    static std::unique_ptr<Session> Fresh() {
        Session* built = nullptr;
        static_cast<void>(Session::Create(built, nullptr)); // a failed build leaves it null
        return std::unique_ptr<Session>(built);
    }
    static uint32_t SataController(Session& session) { return session.getControllers().front()->getHandle(); }
    static uint32_t DiskHandle(Session& session, const std::string& serial) {
        for (const auto& c : session.getControllers())
            for (const auto& d : c->getDisks())
                if (d->getSerialNumber() && serial == d->getSerialNumber())
                    return d->getHandle();
        ADD_FAILURE() << "no disk " << serial;
        return 0;
    }
    static std::shared_ptr<RaidVolume> Volume(Session& session, const std::string& name) {
        for (const auto& c : session.getControllers())
            for (const auto& v : c->getVolumes())
                if (v->getName() == name)
                    return v;
        return nullptr;
    }
    static _UVI_NvcInfo Nvc() {
        const std::unique_ptr<Session> session = Fresh();
        _UVI_NvcInfo nvc{};
        EXPECT_TRUE(internalUviGetNvcInfo(*session, SataController(*session), &nvc).IsSuccessful());
        return nvc;
    }

    sim::ScopedVirtualClock clock_;
    std::optional<sim::ScopedMachine> machine_;
    bool started_ = false;
};

} // namespace actiontest
