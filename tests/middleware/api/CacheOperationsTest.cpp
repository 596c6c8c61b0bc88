// The SSD cache operations against the simulated driver: each change is read back by a fresh
// session, which snapshots the driver anew.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "middleware/api/CacheOperations.h"
#include "middleware/api/NvcDisassociate.h"
#include "middleware/api/NvcInfo.h"
#include "middleware/model/Controller.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "tests/middleware/api/QueryTestSupport.h"

namespace {

using namespace querytest;

// The default machine's SATA controller with a second array (the former spare) holding the NV
// cache volume "NvCache", which accelerates "Volume0" in safe mode.
sim::MachineBuilder CachedMachine() {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    b.Set("/adapters/0/raid/disks/1/spare", "false");
    b.Append("/adapters/0/raid/arrays", R"({"disks": [1], "number": 1})");
    b.Append("/adapters/0/raid/volumes",
             R"({"name": "NvCache", "level": 0, "size_mb": 64000, "strip_kb": 64, "array": 1})");
    b.Set("/adapters/0/raid/nv_cache", R"({"size_mb": 64000, "state": 1, "mode": 3, "cache_volume": 1,
                                           "accelerated_volume": 0, "name": "NvCache", "policy": 60})");
    return b;
}

class CacheOperations : public QueryTest {
protected:
    void SetUp() override { Start(CachedMachine()); }

    // A session of its own: a new snapshot of the driver.
    static std::unique_ptr<Session> FreshSession() {
        Session* built = nullptr;
        static_cast<void>(Session::Create(built, nullptr));
        return std::unique_ptr<Session>(built);
    }
    static uint32_t SataController(Session& session) {
        for (const auto& c : session.getControllers())
            if (!c->getVolumes().empty())
                return c->getHandle();
        return 0;
    }
    static uint32_t VolumeNamed(Session& session, const std::string& name) {
        for (const auto& c : session.getControllers())
            for (const auto& v : c->getVolumes())
                if (v->getName() == name)
                    return v->getHandle();
        return 0;
    }
    // The NV cache record as a fresh session reads it.
    static _UVI_NvcInfo Nvc() {
        const std::unique_ptr<Session> session = FreshSession();
        _UVI_NvcInfo info{};
        EXPECT_TRUE(internalUviGetNvcInfo(*session, SataController(*session), &info).IsSuccessful());
        return info;
    }
};

TEST_F(CacheOperations, DisassociateEndsTheAccelerationForTheNextSession) {
    const _UVI_NvcInfo before = Nvc();
    ASSERT_EQ(before.acceleratedIndex, 0);
    ASSERT_EQ(before.mode, UVI_NVC_MODE_SAFE);

    const std::unique_ptr<Session> session = FreshSession();
    const CConsolidatedError result = internalUviNvcDisassociate(*session, VolumeNamed(*session, "Volume0"));
    EXPECT_TRUE(result.IsSuccessful()) << result.GetDebugInformation();

    const _UVI_NvcInfo after = Nvc();
    EXPECT_EQ(after.acceleratedIndex, -1);
    EXPECT_EQ(after.acceleratedVolumeHandle, 0u);
    EXPECT_EQ(after.mode, UVI_NVC_MODE_OFF);
    EXPECT_EQ(after.cacheVolumeIndex, 1); // the cache volume itself stays
    EXPECT_NE(after.cacheVolumeHandle, 0u);
}

TEST_F(CacheOperations, DisassociateOfAnUnknownVolumeChangesNothing) {
    const std::unique_ptr<Session> session = FreshSession();
    const CConsolidatedError result = internalUviNvcDisassociate(*session, 0x7FFF0000);
    EXPECT_EQ(result.GetErrorCode(), 0xA0010003u);
    EXPECT_EQ(Nvc().acceleratedIndex, 0);
}

TEST_F(CacheOperations, DisassociateRefusedByTheDriverSaysSo) {
    machine_.reset();
    static_cast<void>(UviFinalize());
    Start(CachedMachine().Set("/adapters/0/raid/trigger_errors", "[22]"));
    const std::unique_ptr<Session> session = FreshSession();
    const CConsolidatedError result = internalUviNvcDisassociate(*session, VolumeNamed(*session, "Volume0"));
    EXPECT_TRUE(result.IsError());
    EXPECT_NE(
        std::string(result.GetDebugInformation()).find("Could not Disassociate NV Cache on the volume!"),
        std::string::npos)
        << result.GetDebugInformation();
    EXPECT_EQ(Nvc().acceleratedIndex, 0);
}

} // namespace
