// The export-policy and buffer-flush setters on the default machine's RAID volume (Volume0, RAID 1
// on two disks, shown to Windows as drive 0), made a data volume or hidden from Windows as a case needs.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/UviVolumeRecords.h"
#include "middleware/api/VolumeSetters.h"
#include "middleware/core/Registry.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHolder.h"
#include "sim/Clock.h"
#include "tests/middleware/api/QueryTestSupport.h"

namespace {

using querytest::QueryTest;

constexpr const char* kFlushPolicies = "SOFTWARE\\Orvex\\Bexl\\VolumeFlushPolicies";
constexpr size_t kExportPolicyWord = 144; // of the device configuration record after its address

// Volume0 as a data volume; `hidden` also takes its Windows disk (and the file systems on it) away
// and shows its first member (TS-0077) to Windows as drive 9 instead.
sim::MachineBuilder DataVolume(bool hidden = false) {
    sim::MachineBuilder machine = sim::MachineBuilder::Default();
    machine.Set("/adapters/0/raid/volumes/0/system", "false");
    if (hidden) {
        // The member takes over the device node of the volume's Windows disk.
        machine.Set("/disks/5/device_number", "9")
            .Set("/disks/5/instance_id", R"("SCSI\\Disk&Ven_Orvex&Prod_Volume0\\4&3a7b2c10&0&070000")")
            .Set("/disks/5/cache", R"({"read": true, "write": true, "power_protected": false})")
            .Remove("/disks/0")
            .Set("/volumes", "[]");
    }
    return machine;
}

class VolumeSetters : public QueryTest {
protected:
    // Runs the work on a temporary session with the handle of Volume0.
    CConsolidatedError OnVolume0(const std::function<CConsolidatedError(Session&, uint32_t)>& work) {
        return runWithSession(0, [&](Session& session) {
            for (const auto& controller : session.getControllers())
                for (const auto& volume : controller->getVolumes())
                    if (volume->getName() == "Volume0")
                        return work(session, volume->getHandle());
            ADD_FAILURE() << "no Volume0";
            return CConsolidatedError(CConsolidatedError::UVI_FAILED);
        });
    }
    // The export policy the driver now reports for Volume0.
    uint32_t ExportPolicy() {
        uint32_t policy = 0xFFFFFFFF;
        static_cast<void>(OnVolume0([&](Session& session, uint32_t handle) {
            const RaidVolumeDeviceConfig* config = session.getVolumeByHandle(handle)->getDeviceConfig();
            if (config)
                std::memcpy(&policy, config->record + kExportPolicyWord, sizeof policy);
            return CConsolidatedError();
        }));
        return policy;
    }
    static LONG StoredFlush(const char* name, DWORD& value) {
        return RegistryReadDword(HKEY_LOCAL_MACHINE, kFlushPolicies, name, &value);
    }
    // Whether Windows keeps the write cache of drive `number` as power-protected.
    bool PowerProtected(int number) {
        bool protectedCache = false;
        static_cast<void>(runWithSession(0, [&](Session& session) {
            const std::unique_ptr<WinDiskInterface>& drive =
                session.findWinDiskInterfaceByDeviceNumber(number);
            DISK_CACHE_SETTING setting{};
            EXPECT_TRUE(drive && drive->getCachePolicy(setting));
            protectedCache = setting.IsPowerProtected;
            return CConsolidatedError();
        }));
        return protectedCache;
    }
    sim::ScopedVirtualClock clock_;
};

TEST_F(VolumeSetters, RefusesBadArgumentsBeforeLookingAnythingUp) {
    Start();
    CConsolidatedError error = runWithSession(
        0, [](Session& session) { return internalUviVolumeSetExportPolicy(session, 0x7FFFFFFF, 1); });
    EXPECT_EQ(error.GetErrorCode(), 0xA0010002u);
    EXPECT_STREQ(error.GetErrorMessage(), "Invalid Policy passed in");

    error = runWithSession(
        0, [](Session& session) { return internalUviVolumeSetExportPolicy(session, 0x7FFFFFFF, 96); });
    EXPECT_EQ(error.GetErrorCode(), 0xA0010003u);

    error = internalUviVolumeSetBufferFlush(nullptr, 1, true);
    EXPECT_EQ(error.GetErrorCode(), 0xA0010002u);
    EXPECT_STREQ(error.GetErrorMessage(), "NULL session in helper function");
    EXPECT_STREQ(error.GetDebugInformation(), "NULL session in internalUviVolumeSetBufferFlush");

    error = internalUviVolumeSetBufferFlushWithNewSession(nullptr, true);
    EXPECT_EQ(error.GetErrorCode(), 0xA0010002u);
    EXPECT_STREQ(error.GetDebugInformation(),
                 "NULL parameter in internalUviVolumeSetBufferFlushWithNewSession");
}

TEST_F(VolumeSetters, ExportPolicyReachesTheDriverOnlyForAVolumeThatTakesIt) {
    struct Case {
        const char* what;
        sim::MachineBuilder machine;
        const char* fault;
        uint32_t code;
        const char* debug;
        uint32_t policyAfter;
    };
    const Case cases[] = {
        {"data volume", DataVolume(), nullptr, 0x20000000, "", 96},
        {"boot volume", sim::MachineBuilder::Default(), nullptr, 0xA0010012,
         "Unable to set export policy on Boot Volume", 0},
        {"degraded", DataVolume().Set("/adapters/0/raid/volumes/0/state", "2"), nullptr, 0xA0010012, "", 0},
        {"device action refused", DataVolume(),
         R"({"kind": "RaidRequest", "match": {"group": 13, "field": 434, "direction": 1},
             "outcome": {"win32_error": 31}})",
         0x20000001, "Unable to set volume action for export policy", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start(c.machine);
        if (c.fault)
            (*machine_)->faults().Add(c.fault);
        CConsolidatedError error = OnVolume0([](Session& session, uint32_t handle) {
            return internalUviVolumeSetExportPolicy(session, handle, 96);
        });
        EXPECT_EQ(error.GetErrorCode(), c.code);
        EXPECT_NE(std::string(error.GetDebugInformation()).find(c.debug), std::string::npos)
            << error.GetDebugInformation();
        EXPECT_EQ(ExportPolicy(), c.policyAfter);
        EXPECT_EQ((*machine_)->faults().Pending(), 0u);
        static_cast<void>(UviFinalize());
        machine_.reset();
    }
}

TEST_F(VolumeSetters, BufferFlushOfAVolumeShownToWindowsForgetsTheStoredValue) {
    Start(DataVolume());
    ASSERT_EQ(SetVolumeFlushPolicy("Volume0", true), 0);
    CConsolidatedError error = OnVolume0([](Session& session, uint32_t handle) {
        return internalUviVolumeSetBufferFlush(&session, handle, true);
    });
    EXPECT_TRUE(error.IsSuccessful()) << error.GetDebugInformation();
    DWORD value = 0;
    EXPECT_EQ(StoredFlush("Volume0", value), 2);
    EXPECT_TRUE(PowerProtected(0));
}

TEST_F(VolumeSetters, BufferFlushOfAHiddenVolumeGoesToItsMemberAndIsRemembered) {
    Start(DataVolume(true));
    for (bool enabled : {true, false}) {
        SCOPED_TRACE(enabled);
        CConsolidatedError error = OnVolume0([&](Session& session, uint32_t handle) {
            return internalUviVolumeSetBufferFlush(&session, handle, enabled);
        });
        EXPECT_TRUE(error.IsSuccessful()) << error.GetDebugInformation();
        DWORD value = 7;
        EXPECT_EQ(StoredFlush("Volume0", value), 0);
        EXPECT_EQ(value, enabled ? 1u : 0u);
        EXPECT_EQ(PowerProtected(9), enabled);
    }
}

TEST_F(VolumeSetters, BufferFlushByNameOpensASessionOfItsOwn) {
    Start(DataVolume(true));
    CConsolidatedError error = internalUviVolumeSetBufferFlushWithNewSession("NoSuchVolume", true);
    EXPECT_EQ(error.GetErrorCode(), 0xA001000Fu);
    DWORD value = 0;
    EXPECT_EQ(StoredFlush("NoSuchVolume", value), 2);

    error = internalUviVolumeSetBufferFlushWithNewSession("Volume0", true);
    EXPECT_TRUE(error.IsSuccessful()) << error.GetDebugInformation();
    EXPECT_EQ(StoredFlush("Volume0", value), 0);
    EXPECT_EQ(value, 1u);
}

TEST_F(VolumeSetters, BufferFlushByNameGivesUpAfterSixteenAttemptsOnAFullSessionTable) {
    Start();
    std::vector<unsigned> open;
    for (;;) {
        unsigned handle = 0;
        _UVI_Error e = UviSessionOpen(&handle);
        if (e.status != 0) {
            CleanupUviError(&e);
            break;
        }
        open.push_back(handle);
    }
    ASSERT_EQ(open.size(), 10u);
    const uint64_t before = sim::Clock::NowMs();
    CConsolidatedError error = internalUviVolumeSetBufferFlushWithNewSession("Volume0", true);
    EXPECT_EQ(error.GetErrorCode(), 0xA0010001u);
    EXPECT_EQ(sim::Clock::NowMs() - before, 16000u);
    for (unsigned handle : open)
        EXPECT_EQ(UviSessionClose(handle).status, 0u);
}

} // namespace
