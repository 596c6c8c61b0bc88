// The system record: its framing, the product settings it reads, the link power check and the worst
// status of a session (from its disks' end-device records, its volumes' records and its controllers'
// NV cache states).
#include <cstring>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "middleware/core/Registry.h"
#include "middleware/model/Controller.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHolder.h"
#include "middleware/model/WinDiskInterface.h"
#include "tests/middleware/api/QueryTestSupport.h"

namespace {

using querytest::Debug;
using querytest::Marked;
using querytest::Message;
using querytest::QueryTest;
using querytest::StillMarked;

constexpr const char* kLinkPowerKey =
    R"(HKLM\\SYSTEM\\CurrentControlSet\\Services\\moxraid\\Parameters\\Device)";

// The default machine without its RAID volume (and the Windows disk and file systems on it): the
// system record needs nothing of the volume queries there.
sim::MachineBuilder WithoutVolumes() {
    sim::MachineBuilder machine = sim::MachineBuilder::Default();
    machine.Set("/adapters/0/raid/volumes", "[]")
        .Set("/adapters/0/raid/arrays", "[]")
        .Remove("/disks/0")
        .Set("/volumes", "[]");
    return machine;
}

// A registry key of the description with DWORD values.
std::string DwordKey(const std::string& key, std::initializer_list<std::pair<const char*, int>> values) {
    std::string text = "{\"" + key + "\": {";
    const char* separator = "";
    for (const auto& [name, value] : values) {
        text += std::string(separator) + "\"" + name +
                "\": {\"type\": \"REG_DWORD\", \"data\": " + std::to_string(value) + "}";
        separator = ", ";
    }
    return text + "}}";
}

class SystemInfo : public QueryTest {
protected:
    // Starts the library on the machine and opens a session.
    void Open(const sim::MachineBuilder& machine) {
        Start(machine);
        const _UVI_Error opened = UviSessionOpen(&session_);
        ASSERT_EQ(opened.status, 0u) << Message(opened);
    }
    _UVI_SystemInfo Read() {
        _UVI_SystemInfo info = Marked<_UVI_SystemInfo>();
        const _UVI_Error e = UviGetSystemInfo(session_, UVI_SYSTEM_INFO_VERSION, &info);
        EXPECT_EQ(e.status, 0u) << Message(e) << " / " << Debug(e);
        return info;
    }
    unsigned session_ = 0;
};

TEST_F(SystemInfo, NeedsAnOpenSessionTheVersionAndARecord) {
    Open(WithoutVolumes());
    struct Case {
        const char* what;
        unsigned session;
        uint32_t version;
        bool record;
        uint32_t code;
        const char* debug;
    };
    const Case cases[] = {
        {"session 0", 0, UVI_SYSTEM_INFO_VERSION, true, 0xA0010003, ""},
        {"wrong version", session_, UVI_SYSTEM_INFO_VERSION + 1, true, 0xA0010003, ""},
        {"no record", session_, UVI_SYSTEM_INFO_VERSION, false, 0xA0010002,
         "Get system info: system info is null"},
        {"unknown session", session_ + 1, UVI_SYSTEM_INFO_VERSION, true, 0xA0000004,
         "Session handler, lock session: session not found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        _UVI_SystemInfo info = Marked<_UVI_SystemInfo>();
        const _UVI_Error e = UviGetSystemInfo(c.session, c.version, c.record ? &info : nullptr);
        EXPECT_EQ(e.code, c.code);
        EXPECT_EQ(Debug(e), c.debug);
        if (c.code != 0xA0000004) {
            EXPECT_TRUE(StillMarked(info));
        }
    }
    const _UVI_SystemInfo info = Read();
    EXPECT_EQ(info.recordVersion, 10u);
    EXPECT_EQ(info.reserved4, 0u);
    EXPECT_EQ(info.reserved26, 0u);
    EXPECT_EQ(info.reserved28, 0u); // zeroed, not left as the caller had it
    EXPECT_EQ(info.worstStatus, 0u);

    ASSERT_EQ(UviFinalize().status, 0u);
    _UVI_SystemInfo untouched = Marked<_UVI_SystemInfo>();
    EXPECT_EQ(UviGetSystemInfo(session_, UVI_SYSTEM_INFO_VERSION, &untouched).code, 0xA001000Cu);
}

// Which key the Disable values come from follows the Xqjd bit of the last controller's option ROM.
struct SettingsCase {
    const char* what;
    const char* oromCapabilityC[2]; // adapters 0 and 1; null: not described
    uint8_t xqjd, email, performance, rohi;
    uint32_t features;
};

// A failing case prints its description, not the bytes of its fields.
void PrintTo(const SettingsCase& c, std::ostream* out) {
    *out << c.what;
}

class SystemSettings : public SystemInfo, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(SystemSettings, ComeFromTheKeyTheXqjdModeSelects) {
    const SettingsCase& c = GetParam();
    sim::MachineBuilder machine = WithoutVolumes();
    machine.Merge(R"({"registry": {"keys": )" +
                  DwordKey(R"(HKLM\\SOFTWARE\\Orvex\\Bexl)", {{"DisableEmail", 1}, {"DisableROHI", 7}}) +
                  "}}");
    machine.Merge(R"({"registry": {"keys": )" +
                  DwordKey(R"(HKLM\\SOFTWARE\\Orvex\\Xqjd)", {{"DisablePerformanceMode", 1}}) + "}}");
    for (int adapter : {0, 1})
        if (c.oromCapabilityC[adapter])
            machine.Set("/adapters/" + std::to_string(adapter) + "/raid/controller/orom/capability_c",
                        c.oromCapabilityC[adapter]);
    Open(machine);
    const _UVI_SystemInfo info = Read();
    EXPECT_EQ(info.xqjdMode, c.xqjd);
    EXPECT_EQ(info.emailDisabled, c.email);
    EXPECT_EQ(info.performanceModeDisabled, c.performance);
    EXPECT_EQ(info.rohiDisabled, c.rohi);
    EXPECT_EQ(info.features, c.features);
    EXPECT_EQ(info.oemReservedVolume[0], '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SystemSettings,
    ::testing::Values(
        SettingsCase{"product key", {nullptr, nullptr}, 0, 1, 0, 1, UVI_FEATURE_PERFORMANCE_MODE},
        SettingsCase{"Xqjd key", {nullptr, "4"}, 1, 0, 1, 0, UVI_FEATURE_EMAIL | UVI_FEATURE_XQJD_MODE},
        SettingsCase{"only the last controller counts", {"4", "0"}, 0, 1, 0, 1, UVI_FEATURE_PERFORMANCE_MODE},
        SettingsCase{
            "other capability bits", {nullptr, R"("0xFB")"}, 0, 1, 0, 1, UVI_FEATURE_PERFORMANCE_MODE}));

struct LinkPowerCase {
    const char* what;
    const char* registry;       // the description's "keys", null for none
    const char* controllerType; // of both own-driver adapters, null: as described (AHCI)
    const char* fault;
    uint8_t enabled;
};

// A failing case prints its description, not the bytes of its fields.
void PrintTo(const LinkPowerCase& c, std::ostream* out) {
    *out << c.what;
}

class LinkPower : public SystemInfo, public ::testing::WithParamInterface<LinkPowerCase> {};

TEST_P(LinkPower, IsEnabledWhenEveryPhySettingOfAnAhciControllerIsMissingOrOne) {
    const LinkPowerCase& c = GetParam();
    sim::MachineBuilder machine = WithoutVolumes();
    if (c.registry)
        machine.Merge(std::string(R"({"registry": {"keys": )") + c.registry + "}}");
    if (c.controllerType)
        for (const char* adapter : {"/adapters/0", "/adapters/1"})
            machine.Set(std::string(adapter) + "/raid/controller_type", c.controllerType);
    Open(machine);
    if (c.fault)
        (*machine_)->faults().Add(c.fault);
    EXPECT_EQ(Read().linkPowerManagementEnabled, c.enabled);
    EXPECT_EQ((*machine_)->faults().Pending(), 0u);
}

const std::string kServiceOnly = R"({"HKLM\\SYSTEM\\CurrentControlSet\\Services\\moxraid": {}})";
const std::string kAllOn = DwordKey(kLinkPowerKey, {{"Controller0Phy0HIPM", 1},
                                                    {"Controller0Phy0DIPM", 1},
                                                    {"Controller0Phy7HIPM", 1},
                                                    {"Controller0Phy7DIPM", 1}});
const std::string kDipmOffPhy3 =
    DwordKey(kLinkPowerKey, {{"Controller0Phy0HIPM", 1}, {"Controller0Phy3DIPM", 0}});
const std::string kHipmTwoPhy7 = DwordKey(kLinkPowerKey, {{"Controller0Phy7HIPM", 2}});
const std::string kOtherControllerOff = DwordKey(kLinkPowerKey, {{"Controller1Phy0HIPM", 0}});

INSTANTIATE_TEST_SUITE_P(
    Cases, LinkPower,
    ::testing::Values(
        LinkPowerCase{"no driver service key", nullptr, nullptr, nullptr, 0},
        LinkPowerCase{"no Parameters\\Device key", kServiceOnly.c_str(), nullptr, nullptr, 1},
        LinkPowerCase{"settings on or missing", kAllOn.c_str(), nullptr, nullptr, 1},
        LinkPowerCase{"DIPM off for PHY 3", kDipmOffPhy3.c_str(), nullptr, nullptr, 0},
        LinkPowerCase{"HIPM 2 for PHY 7", kHipmTwoPhy7.c_str(), nullptr, nullptr, 0},
        LinkPowerCase{"another controller number's setting", kOtherControllerOff.c_str(), nullptr, nullptr,
                      1},
        LinkPowerCase{"no AHCI or remapping controller", kAllOn.c_str(), "3", nullptr, 0},
        LinkPowerCase{
            "Parameters\\Device unreadable", kAllOn.c_str(), nullptr,
            R"({"kind": "RegOpenKeyEx", "match": {"key": "HKLM\\SYSTEM\\CurrentControlSet\\Services\\moxraid\\Parameters\\Device"},
                          "outcome": {"win32_error": 5}})",
            0}));

struct WorstCase {
    const char* what;
    sim::MachineBuilder machine;
    uint32_t worst;
};

// A failing case prints its description, not the bytes of its fields.
void PrintTo(const WorstCase& c, std::ostream* out) {
    *out << c.what;
}

class WorstStatus : public QueryTest, public ::testing::WithParamInterface<WorstCase> {};

TEST_P(WorstStatus, IsTheLargestShareOfAnyDiskVolumeOrCache) {
    const WorstCase& c = GetParam();
    Start(c.machine);
    unsigned session = 0;
    ASSERT_EQ(UviSessionOpen(&session).status, 0u);
    _UVI_SystemInfo info{};
    const _UVI_Error e = UviGetSystemInfo(session, UVI_SYSTEM_INFO_VERSION, &info);
    ASSERT_EQ(e.status, 0u) << Message(e) << " / " << Debug(e);
    EXPECT_EQ(info.worstStatus, c.worst);
}

sim::MachineBuilder DiskFlags(const char* flags, bool inArray = false) {
    sim::MachineBuilder machine = WithoutVolumes();
    machine.Set("/adapters/0/raid/disks/2/state_flags", flags);
    if (inArray)
        machine.Set("/adapters/0/raid/arrays", R"([{"disks": [2, 3]}])");
    return machine;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WorstStatus,
    ::testing::Values(
        WorstCase{"all well", WithoutVolumes(), 0},
        WorstCase{"failed pass-through disk", DiskFlags(R"("0x14")"), 2},
        WorstCase{"failed array member", DiskFlags(R"("0x14")", true), 1},
        WorstCase{"SMART event", DiskFlags(R"("0x210")"), 1},
        WorstCase{"offline pass-through disk", DiskFlags(R"("0x8010")"), 0},
        WorstCase{"NV cache state 5", WithoutVolumes().Set("/adapters/0/raid/nv_cache/state", "5"), 1},
        WorstCase{"NV cache state 4", WithoutVolumes().Set("/adapters/0/raid/nv_cache/state", "4"), 0},
        WorstCase{"normal RAID 1 volume", sim::MachineBuilder::Default(), 0},
        WorstCase{"degraded volume",
                  sim::MachineBuilder::Default().Set("/adapters/0/raid/volumes/0/state", "2"), 1},
        WorstCase{"failed volume",
                  sim::MachineBuilder::Default().Set("/adapters/0/raid/volumes/0/state", "3"), 2},
        WorstCase{"the states machine", sim::MachineBuilder::FromFile("states.json"), 2}));

} // namespace

namespace {

// The default machine's volume as a data volume of the given driver level and name, and the name
// in "OemReservedVolume".
sim::MachineBuilder Reserved(const char* level, const char* registryName, const char* volumeName) {
    sim::MachineBuilder machine = sim::MachineBuilder::Default();
    machine.Set("/adapters/0/raid/volumes/0/system", "false")
        .Set("/adapters/0/raid/volumes/0/name", "\"" + std::string(volumeName) + "\"")
        .Set("/adapters/0/raid/volumes/0/level", level)
        .Set("/adapters/0/raid/volumes/0/mirrors", "1")
        .Merge(std::string(R"({"registry": {"keys": {"HKLM\\SOFTWARE\\Orvex\\Bexl": {"OemReservedVolume":
               {"type": "REG_SZ", "data": ")") +
               registryName + R"("}, "DisableROHI": {"type": "REG_DWORD", "data": 1}}}}})");
    return machine;
}

TEST_F(SystemInfo, NamesARaid0ReservedVolumeAndGivesItItsExportPolicy) {
    const struct {
        const char* what;
        const char* level;
        const char* name;
        const char* volume;
        const char* shown;
        uint32_t policyAfter;
    } cases[] = {
        {"RAID 0", "0", "Volume0", "Volume0", "Volume0", 96},
        {"RAID 1 keeps its policy", "1", "Volume0", "Volume0", "", 0},
        {"a name of 16 characters", "0", "ReservedVolume16", "ReservedVolume16", "ReservedVolume16", 96},
        {"another name", "0", "Volume1", "Volume0", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Open(Reserved(c.level, c.name, c.volume));
        const _UVI_SystemInfo info = Read();
        EXPECT_STREQ(info.oemReservedVolume, c.shown);
        EXPECT_EQ(info.rohiDisabled, 1u);
        uint32_t policy = 0xFFFFFFFF;
        static_cast<void>(runWithSession(0, [&](Session& session) {
            for (const auto& controller : session.getControllers())
                for (const auto& volume : controller->getVolumes())
                    if (volume->getName() == c.volume && volume->getDeviceConfig())
                        std::memcpy(&policy, volume->getDeviceConfig()->record + 144, sizeof policy);
            return CConsolidatedError();
        }));
        EXPECT_EQ(policy, c.policyAfter);
        ASSERT_EQ(UviFinalize().status, 0u);
        machine_.reset();
    }
}

TEST_F(SystemInfo, AppliesStoredBufferFlushSettingsAgain) {
    Open(sim::MachineBuilder::Default().Merge(
        R"({"registry": {"keys": {"HKLM\\SOFTWARE\\Orvex\\Bexl\\VolumeFlushPolicies":
            {"Volume0": {"type": "REG_DWORD", "data": 1}}}}})"));
    Read();
    // Volume0 is shown to Windows: the setting went to its disk, the stored value is gone.
    DWORD value = 0;
    EXPECT_EQ(RegistryReadDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex\\Bexl\\VolumeFlushPolicies", "Volume0",
                                &value),
              2);
    bool powerProtected = false;
    static_cast<void>(runWithSession(0, [&](Session& session) {
        DISK_CACHE_SETTING setting{};
        const auto& drive = session.findWinDiskInterfaceByDeviceNumber(0);
        EXPECT_TRUE(drive && drive->getCachePolicy(setting));
        powerProtected = setting.IsPowerProtected;
        return CConsolidatedError();
    }));
    EXPECT_TRUE(powerProtected);
}

} // namespace
