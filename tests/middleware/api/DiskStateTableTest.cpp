// The disk operations against the simulated RAID driver: the disk states each operation takes (the
// others are refused without a request to the driver), what another process reads after each one,
// the unlock of a password-locked drive, and the failures of the lookups, the caller's record and
// the driver. Every wait of the driver's triggers runs on the virtual clock.
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/DiskOperations.h"
#include "middleware/api/UviApi.h"
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/api/UviDiskOperations.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/Controller.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "sim/CallLog.h"
#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/MachineParts.h"

namespace {

constexpr uint32_t kSuccess = 0x20000000;
constexpr uint32_t kInvalidState = 0xA0010012;

// Pass-through disks in the states the operations tell apart, on the default PC's SATA RAID
// controller beside its spare (ZA1B2C4E) and the members of its mirror (TS-0077, TS-0078).
struct ExtraDisk {
    const char* serial;
    int target;
    const char* raidFacts;
    const char* diskFacts;
};
const ExtraDisk kExtraDisks[] = {
    {"PT-NORMAL", 4, "", ""},
    {"PT-FAILED", 5, R"(, "state_flags": "0x14")", ""},
    {"PT-SMART", 6, R"(, "state_flags": "0x210")", ""},
    {"PT-OFFLINE", 7, R"(, "state_flags": "0x8010")", ""},
    {"PT-REQOFF", 8, R"(, "state_flags": "0x90")", ""},
    {"PT-LOCKED", 9, R"(, "state_flags": "0x1000010")",
     R"(, "security": {"enabled": true, "locked": true, "attempts_left": 2, "user_password": "user-secret",
           "master_password": "master-secret"})"},
    {"PT-SYSTEM", 10, R"(, "state_flags": "0x200010")", ""},
    {"CLAIMED", 11, R"(, "claimed": true)", ""},
    {"CL-REQOFF", 12, R"(, "claimed": true, "state_flags": "0x90")", ""},
};

// A disk of the SATA controller at path 0 and this target.
void AddDisk(sim::MachineBuilder& b, const std::string& serial, int target, uint64_t sectors,
             const std::string& raidFacts = "", const std::string& diskFacts = "") {
    moxtest::DriverDisk disk = moxtest::SataSsd(serial);
    disk.target = static_cast<uint32_t>(target);
    disk.sectors = sectors;
    disk.diskFacts = diskFacts;
    disk.raidFacts = raidFacts;
    moxtest::AddDriverDisk(b, disk);
}

sim::MachineBuilder DiskMachine() {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    b.Set("/adapters/0/raid/action_ms", "1000");
    // The volume port lists the spare outside the cache-memory kinds, so that it reads as a spare.
    b.Set("/adapters/0/raid/disks/1/pairing_type", "0");
    for (const ExtraDisk& d : kExtraDisks)
        AddDisk(b, d.serial, d.target, 1000215216, d.raidFacts, d.diskFacts);
    return b;
}

struct DiskState {
    uint32_t state;
    uint32_t usage;
    uint32_t smartEvent;
    bool operator==(const DiskState&) const = default;
};

std::ostream& operator<<(std::ostream& out, const DiskState& s) {
    return out << "{state " << s.state << ", usage " << s.usage << ", SMART " << s.smartEvent << "}";
}

// The library started on a machine of its own, on the virtual clock; stopped with it.
class StartedMachine {
public:
    explicit StartedMachine(const sim::MachineBuilder& description) : machine_(description) {
        DeviceLocator::ResetForTests();
        const _UVI_Error started = UviInitialize();
        EXPECT_EQ(started.status, UVI_STATUS_SUCCESS);
    }
    ~StartedMachine() {
        static_cast<void>(UviFinalize());
        DeviceLocator::ResetForTests();
        EXPECT_EQ(machine_->faults().Pending(), 0u) << "an injected fault never fired";
    }
    StartedMachine(const StartedMachine&) = delete;
    StartedMachine& operator=(const StartedMachine&) = delete;

    sim::Machine& machine() { return machine_.machine(); }

    // The handle of the end device whose RAID record carries the serial number (handles stay the same
    // from session to session).
    uint32_t Handle(const std::string& serial) {
        if (handles_.empty()) {
            unsigned session = 0;
            EXPECT_EQ(UviSessionOpen(&session).status, UVI_STATUS_SUCCESS);
            uint32_t count = 64;
            std::vector<uint32_t> handles(count);
            EXPECT_EQ(UviGetEndDeviceHandles(session, handles.data(), &count).status, UVI_STATUS_SUCCESS);
            for (uint32_t i = 0; i < count; ++i) {
                _UVI_EndDeviceInfo info{};
                if (UviGetEndDeviceInfo(session, handles[i], &info).status == UVI_STATUS_SUCCESS)
                    handles_[info.raidSerialNumber] = handles[i];
            }
            static_cast<void>(UviSessionClose(session));
        }
        const auto found = handles_.find(serial);
        if (found != handles_.end())
            return found->second;
        ADD_FAILURE() << "no end device " << serial;
        return 0;
    }

    // The disks as a second process reads them, by serial number.
    static std::map<std::string, DiskState> StatesInAnotherProcess() {
        const moxtest::ChildResult child = moxtest::RunChild({"uvi-disk-states"});
        EXPECT_EQ(child.exitCode, 0) << child.output;
        std::map<std::string, DiskState> states;
        std::istringstream in(child.output);
        std::string serial;
        DiskState s{};
        while (in >> serial >> s.state >> s.usage >> s.smartEvent)
            states[serial] = s;
        return states;
    }

    // Changes the driver was asked for since the log was last cleared: RAID configuration requests
    // whose parameter block (after the 28-byte SRB header) says set (word 36).
    size_t RaidWrites() {
        constexpr size_t kDirection = 28 + 36;
        size_t writes = 0;
        for (const sim::Call& c : machine_->calls().Of("DeviceIoControl"))
            if (c.selectors.value("signature", std::string()) == "OrvexRdp" && c.input.size() > kDirection &&
                c.input[kDirection] == 1)
                ++writes;
        return writes;
    }

private:
    sim::ScopedVirtualClock clock_;
    sim::ScopedMachine machine_;
    std::map<std::string, uint32_t> handles_;
};

std::string DebugText(const _UVI_Error& error) {
    return GetLoggedError(error).GetDebugInformation();
}

std::string MessageText(const _UVI_Error& error) {
    const CConsolidatedError logged = GetLoggedError(error);
    return logged.GetErrorMessage() ? logged.GetErrorMessage() : "";
}

// A case's text as a test name: what is not a letter or digit becomes "_".
std::string TestName(std::string text) {
    for (char& ch : text)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return text;
}

using DiskCall = _UVI_Error (*)(uint32_t);

struct Operation {
    const char* name;
    DiskCall call;
};
const Operation kClaim{"claim", UviDiskClaim};
const Operation kClearMetadata{"clear metadata", UviDiskClearMetadata};
const Operation kMarkFailed{"mark failed", UviDiskMarkAsFailed};
const Operation kMarkNormal{"mark normal", UviDiskMarkAsNormal};
const Operation kMarkSpare{"mark spare", UviDiskMarkAsSpare};
const Operation kUnmarkSpare{"unmark spare", UviDiskUnmarkAsSpare};
const Operation kOffline{"offline", UviDiskMarkOffline};
const Operation kOnline{"online", UviDiskMarkOnline};
const Operation kSetSmart{"set SMART", UviDiskSetSmartEvent};
const Operation kResetSmart{"reset SMART", UviDiskResetSmartEvent};

// ---- the state table ----

struct ChangeCase {
    Operation operation;
    const char* serial;
    DiskState after;
};

// States: 1 offline, 3 failed, 4 SMART event, 6 normal, 8 offline by request; usages: 0 unknown
// (claimed, in no array), 2 pass-through, 4 spare. Each case runs on a machine of its own.
const ChangeCase kChangeCases[] = {
    {kClaim, "PT-NORMAL", {6, 0, 0}},
    {kMarkFailed, "PT-NORMAL", {3, 2, 0}},
    {kMarkFailed, "PT-SMART", {3, 2, 1}},
    {kMarkNormal, "PT-FAILED", {6, 2, 0}},
    {kOffline, "PT-NORMAL", {8, 2, 0}},
    {kOffline, "PT-REQOFF", {8, 2, 0}},
    {kOnline, "PT-OFFLINE", {6, 2, 0}},
    {kOnline, "PT-REQOFF", {6, 2, 0}},
    {kSetSmart, "PT-NORMAL", {4, 2, 1}},
    {kResetSmart, "PT-SMART", {6, 2, 0}},
    {kMarkSpare, "PT-NORMAL", {6, 4, 0}},
    {kUnmarkSpare, "ZA1B2C4E", {6, 2, 0}},
    {kClearMetadata, "CLAIMED", {6, 2, 0}},
    // Offline by request: brought online first, then erased.
    {kClearMetadata, "CL-REQOFF", {6, 2, 0}},
};

// A failing case prints its operation and disk, not the bytes of its fields.
void PrintTo(const ChangeCase& c, std::ostream* out) {
    *out << c.operation.name << " " << c.serial;
}

class DiskStateChange : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(DiskStateChange, AnotherProcessReadsTheChange) {
    const ChangeCase& c = GetParam();
    StartedMachine machine(DiskMachine());
    const uint32_t handle = machine.Handle(c.serial);
    const uint64_t start = sim::Clock::NowMs();
    const _UVI_Error result = c.operation.call(handle);
    ASSERT_EQ(result.code, kSuccess) << std::hex << result.code << " " << DebugText(result);
    // Each action is in progress for the driver's second, polled every 500 ms.
    EXPECT_GE(sim::Clock::NowMs() - start, 1000u);
    const auto states = StartedMachine::StatesInAnotherProcess();
    ASSERT_EQ(states.count(c.serial), 1u);
    EXPECT_EQ(states.at(c.serial), c.after);
    // The other disks keep their states.
    EXPECT_EQ(states.at("TS-0077"), (DiskState{6, 1, 0}));
}

// "claim_PT_NORMAL": the operation and the disk, as a test name.
std::string ChangeCaseName(const ::testing::TestParamInfo<ChangeCase>& info) {
    return TestName(std::string(info.param.operation.name) + "_" + info.param.serial);
}

INSTANTIATE_TEST_SUITE_P(DiskStateTable, DiskStateChange, ::testing::ValuesIn(kChangeCases), ChangeCaseName);

TEST(DiskStateTable, DisksInOtherStatesAreRefusedWithoutARequest) {
    struct Case {
        Operation operation;
        const char* serial;
    };
    const Case cases[] = {
        {kClaim, "TS-0077"},         // array member
        {kClaim, "ZA1B2C4E"},        // spare
        {kClaim, "CLAIMED"},         // unknown usage
        {kMarkFailed, "PT-FAILED"},  //
        {kMarkNormal, "PT-NORMAL"},  //
        {kMarkNormal, "PT-SMART"},   //
        {kOffline, "PT-OFFLINE"},    //
        {kOnline, "PT-NORMAL"},      //
        {kOnline, "PT-FAILED"},      //
        {kOnline, "PT-LOCKED"},      //
        {kSetSmart, "PT-SMART"},     //
        {kResetSmart, "PT-NORMAL"},  //
        {kMarkSpare, "PT-SYSTEM"},   // system disk
        {kMarkSpare, "PT-FAILED"},   //
        {kMarkSpare, "PT-SMART"},    //
        {kMarkSpare, "TS-0077"},     //
        {kMarkSpare, "ZA1B2C4E"},    // already a spare
        {kMarkSpare, "CLAIMED"},     //
        {kUnmarkSpare, "PT-NORMAL"}, //
        {kUnmarkSpare, "TS-0077"},   //
        {kClearMetadata, "PT-NORMAL"}, {kClearMetadata, "ZA1B2C4E"},
        {kClearMetadata, "TS-0077"}, // member of an ordinary array
    };
    StartedMachine machine(DiskMachine());
    const auto before = StartedMachine::StatesInAnotherProcess();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation.name) + " on " + c.serial);
        const uint32_t handle = machine.Handle(c.serial);
        machine.machine().calls().Clear();
        const _UVI_Error result = c.operation.call(handle);
        EXPECT_EQ(result.code, kInvalidState);
        EXPECT_EQ(MessageText(result), "");
        EXPECT_EQ(machine.RaidWrites(), 0u);
    }
    EXPECT_EQ(StartedMachine::StatesInAnotherProcess(), before);
}

TEST(DiskStateTable, SpareSizeLimitWithoutLargeDiskSupport) {
    constexpr uint64_t kTwoTiBSectors = 0x20000000000ull / 512;
    struct Case {
        const char* serial;
        bool largeDiskSupport;
        uint32_t code;
        const char* message;
    };
    const char* tooLarge = "Disk of size greater than or equal to 2TB is not supported";
    const Case cases[] = {
        {"TWO-TIB", false, 0xA001000E, tooLarge},
        // The size is tested first: a system disk of that size gets the size's refusal.
        {"TWO-TIB-SYS", false, 0xA001000E, tooLarge},
        {"ONE-LESS", false, kSuccess, ""},
        {"TWO-TIB", true, kSuccess, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.serial) + (c.largeDiskSupport ? " with" : " without") + " large disks");
        sim::MachineBuilder b = DiskMachine();
        // Bit 26 of capability word A: large-disk support.
        b.Set("/adapters/0/raid/controller/capability_a",
              c.largeDiskSupport ? "\"0x2600000F\"" : "\"0x2200000F\"");
        AddDisk(b, "TWO-TIB", 20, kTwoTiBSectors);
        AddDisk(b, "TWO-TIB-SYS", 21, kTwoTiBSectors, R"(, "state_flags": "0x200010")");
        AddDisk(b, "ONE-LESS", 22, kTwoTiBSectors - 1);
        StartedMachine machine(b);
        const _UVI_Error result = UviDiskMarkAsSpare(machine.Handle(c.serial));
        EXPECT_EQ(result.code, c.code) << std::hex << result.code << " " << DebugText(result);
        EXPECT_EQ(MessageText(result), c.message);
        EXPECT_EQ(StartedMachine::StatesInAnotherProcess().at(c.serial).usage, c.code == kSuccess ? 4u : 2u);
    }
}

// ---- unlock ----

_UVI_DiskUnlockInfo UnlockRecord(const std::string& password, uint8_t kind) {
    _UVI_DiskUnlockInfo record{};
    std::memcpy(record.password, password.data(), password.size());
    record.passwordKind = kind;
    return record;
}

class DiskUnlock : public ::testing::Test {
protected:
    uint32_t LockedState() { return StartedMachine::StatesInAnotherProcess().at("PT-LOCKED").state; }

    StartedMachine machine_{DiskMachine()};
    uint32_t locked_ = machine_.Handle("PT-LOCKED");
};

TEST(DiskUnlockRight, PasswordOfEitherKindUnlocks) {
    struct Case {
        const char* password;
        uint8_t kind;
    };
    // Kind 0 sends the master password, any other the user password.
    for (const Case& c : {Case{"user-secret", 1}, Case{"master-secret", 0}, Case{"user-secret", 7}}) {
        SCOPED_TRACE(c.password);
        StartedMachine machine(DiskMachine());
        const _UVI_DiskUnlockInfo record = UnlockRecord(c.password, c.kind);
        const _UVI_Error result = UviDiskUnlock(machine.Handle("PT-LOCKED"), &record);
        EXPECT_EQ(result.code, kSuccess) << std::hex << result.code << " " << DebugText(result);
        EXPECT_EQ(StartedMachine::StatesInAnotherProcess().at("PT-LOCKED").state, 6u);
    }
}

TEST_F(DiskUnlock, WrongPasswordsUseUpTheAttemptsThenEvenTheRightOneIsRefused) {
    // The user password given as the master password is wrong too.
    const _UVI_DiskUnlockInfo wrong[] = {UnlockRecord("guess", 1), UnlockRecord("user-secret", 0)};
    for (const _UVI_DiskUnlockInfo& record : wrong) {
        const _UVI_Error result = UviDiskUnlock(locked_, &record);
        EXPECT_EQ(result.code, 0xA0010014u);
        EXPECT_EQ(MessageText(result), "");
    }
    const _UVI_DiskUnlockInfo right = UnlockRecord("user-secret", 1);
    EXPECT_EQ(UviDiskUnlock(locked_, &right).code, 0xA0010013u);
    EXPECT_EQ(LockedState(), 7u);
}

TEST_F(DiskUnlock, RefusalsBeforeTheDriverIsAsked) {
    const _UVI_DiskUnlockInfo right = UnlockRecord("user-secret", 1);
    const _UVI_DiskUnlockInfo empty = UnlockRecord("", 1);
    struct Case {
        const char* name;
        uint32_t handle;
        const _UVI_DiskUnlockInfo* record;
        uint32_t code;
        const char* debug;
    };
    const Case cases[] = {
        // The record is checked before the disk is looked up.
        {"null record", 0x7FFFFFFF, nullptr, 0xA0010002, "Uvi disk unlock: unlock info is null"},
        {"unknown disk", 0x7FFFFFFF, &right, 0xA0000003, ""},
        {"disk not locked", machine_.Handle("PT-NORMAL"), &right, kInvalidState, ""},
        {"empty password", locked_, &empty, 0xA0000006, "Password for this action is not set"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        machine_.machine().calls().Clear();
        const _UVI_Error result = UviDiskUnlock(c.handle, c.record);
        EXPECT_EQ(result.code, c.code) << std::hex << result.code;
        EXPECT_NE((DebugText(result) + MessageText(result)).find(c.debug), std::string::npos)
            << DebugText(result);
        EXPECT_EQ(
            machine_.machine().calls().CountMatching("DeviceIoControl", R"({"control_code": "0x80000A08"})"),
            0u);
    }
    EXPECT_EQ(LockedState(), 7u);
}

// ---- failures of lookups and of the driver ----

TEST(DiskOperationFailures, UnknownDiskAndStoppedLibrary) {
    const Operation all[] = {kClaim,       kClearMetadata, kMarkFailed, kMarkNormal, kMarkSpare,
                             kUnmarkSpare, kOffline,       kOnline,     kSetSmart,   kResetSmart};
    {
        StartedMachine machine(DiskMachine());
        for (const Operation& operation : all) {
            SCOPED_TRACE(operation.name);
            const _UVI_Error result = operation.call(0x7FFFFFFF);
            EXPECT_EQ(result.code, 0xA0000003u);
            EXPECT_EQ(MessageText(result), "failed to get disk");
        }
    }
    for (const Operation& operation : all) {
        SCOPED_TRACE(operation.name);
        EXPECT_EQ(operation.call(1).code, 0xA001000Cu);
    }
    const _UVI_DiskUnlockInfo record{};
    EXPECT_EQ(UviDiskUnlock(1, &record).code, 0xA001000Cu);
}

struct RefusalCase {
    const char* name;
    Operation operation;
    const char* serial;
    // The error numbers with which the driver ends the next triggers (0: ended without effect).
    const char* triggerErrors;
    DiskState unchanged;
    std::vector<const char*> texts;
    std::vector<const char*> absent;
};

// Each case runs on a machine of its own.
const RefusalCase kRefusalCases[] = {
    {"illegal action",
     kMarkFailed,
     "PT-NORMAL",
     "[36]",
     {6, 2, 0},
     {"TriggerTransaction operation failed for Trigger: DiskActions", "Unable to mark disk as failed"},
     {}},
    {"claim for a spare refused",
     kMarkSpare,
     "PT-NORMAL",
     "[36]",
     {6, 2, 0},
     {"Unable to Claim device for Marking disk as Spare", "Unable to Mark Disk as Spare"},
     {}},
    {"spare refused after the claim",
     kMarkSpare,
     "PT-NORMAL",
     "[0, 36]",
     {6, 2, 0},
     {"Unable to Mark Disk as Spare"},
     {"Unable to Claim device"}},
    {"erase of a spare refused",
     kUnmarkSpare,
     "ZA1B2C4E",
     "[36]",
     {6, 4, 0},
     {"Unable to Erase the config for UnMarking disk from Spare", "Unable to Mark Disk as Passthru"},
     {}},
    {"pass-through after the spare's erase refused",
     kUnmarkSpare,
     "ZA1B2C4E",
     "[0, 36]",
     {6, 4, 0},
     {"Unable to Mark Disk as Passthru"},
     {"Unable to Erase"}},
    {"erase refused",
     kClearMetadata,
     "CLAIMED",
     "[36]",
     {6, 0, 0},
     {"Unable to Erase the config"},
     {"Unable to Mark Disk as Passthru"}},
    {"pass-through refused",
     kClearMetadata,
     "CLAIMED",
     "[0, 36]",
     {6, 0, 0},
     {"Unable to Mark Disk as Passthru"},
     {"Unable to Erase the config"}},
    {"online first refused",
     kClearMetadata,
     "CL-REQOFF",
     "[36]",
     {8, 0, 0},
     {"Unable to mark disk as online", "Unable to bring manual offline disk to online"},
     {"Unable to Erase the config"}},
};
void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << c.name;
}

class DriverRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(DriverRefusal, CarriesTheOperationsTextsAndLeavesTheDisk) {
    const RefusalCase& c = GetParam();
    sim::MachineBuilder b = DiskMachine();
    b.Set("/adapters/0/raid/trigger_errors", c.triggerErrors);
    StartedMachine machine(b);
    const _UVI_Error result = c.operation.call(machine.Handle(c.serial));
    // Error number 36: an illegal disk action.
    EXPECT_EQ(result.code, 0xA0060024u);
    for (const char* text : c.texts)
        EXPECT_NE((MessageText(result) + DebugText(result)).find(text), std::string::npos) << text;
    for (const char* text : c.absent)
        EXPECT_EQ(DebugText(result).find(text), std::string::npos) << text;
    // Refused triggers leave the disk as it was.
    EXPECT_EQ(StartedMachine::StatesInAnotherProcess().at(c.serial), c.unchanged);
}

INSTANTIATE_TEST_SUITE_P(DiskOperationFailures, DriverRefusal, ::testing::ValuesIn(kRefusalCases),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                             return TestName(info.param.name);
                         });

TEST(DiskOperationFailures, DriverBusyWithActionsRefusesTheSessionAndSendsNothing) {
    StartedMachine machine(DiskMachine());
    const uint32_t handle = machine.Handle("PT-NORMAL");
    // The configuration group counts one disk action in progress.
    machine.machine().faults().Add(
        R"({"kind": "RaidRequest", "match": {"group": 1, "direction": 0}, "times": -1,
                                       "outcome": {"group_patch": [{"offset": 192, "u32": 1}]}})");
    machine.machine().calls().Clear();
    const _UVI_Error result = UviDiskMarkAsFailed(handle);
    EXPECT_EQ(result.code, 0xA0010008u);
    EXPECT_EQ(MessageText(result), "Actions in progress");
    EXPECT_EQ(machine.RaidWrites(), 0u);
    machine.machine().faults().Clear();
    EXPECT_EQ(StartedMachine::StatesInAnotherProcess().at("PT-NORMAL"), (DiskState{6, 2, 0}));
    // Once the driver is idle the change is sent, and counted.
    const _UVI_Error idle = UviDiskMarkAsFailed(handle);
    EXPECT_EQ(idle.status, 0u) << MessageText(idle);
    EXPECT_GT(machine.RaidWrites(), 0u);
}

// ---- metadata of the cache-memory disks ----

TEST(CacheMemoryDiskMetadata, IsClearedThroughTheVolumePortWithoutATrigger) {
    sim::MachineBuilder b = DiskMachine();
    // A claimed disk the volume port lists as kind 4.
    AddDisk(b, "CACHE-KIND", 13, 1000215216, R"(, "claimed": true, "pairing_type": 4)");
    StartedMachine machine(b);
    const uint32_t handle = machine.Handle("CACHE-KIND");
    machine.machine().calls().Clear();
    const _UVI_Error result = UviDiskClearMetadata(handle);
    EXPECT_EQ(result.code, kSuccess) << std::hex << result.code << " " << DebugText(result);
    EXPECT_EQ(machine.RaidWrites(), 0u);
    EXPECT_EQ(machine.machine().calls().CountMatching("DeviceIoControl", R"({"control_code": "0x80000D0A"})"),
              1u);
    // The driver's own record: pass-through (usage code 2) again.
    const moxtest::ChildResult topology = moxtest::RunChild({"raid-topology"});
    EXPECT_NE(topology.output.find("disk CACHE-KIND 2 "), std::string::npos) << topology.output;
}

TEST(CacheMemoryDiskMetadata, RemovalRefusesMissingPartsAndPassesTheDriversAnswer) {
    StartedMachine machine(DiskMachine());
    Session* built = nullptr;
    static_cast<void>(Session::Create(built, nullptr));
    std::unique_ptr<Session> session(built);
    ASSERT_TRUE(session);
    std::shared_ptr<Controller> raid;
    for (const auto& c : session->getControllers())
        if (!c->getVolumes().empty())
            raid = c;
    ASSERT_TRUE(raid);
    ControllerLocator* locator = raid->getControllerLocator();
    const std::shared_ptr<RaidVolume> volume = raid->getVolumes().at(0);
    const char* missing = "removeMetadata Parameters cannot be null";
    struct Case {
        const char* name;
        CConsolidatedError result;
        uint32_t code;
        const char* message;
    };
    const Case cases[] = {
        {"no session", removeMetadata(nullptr, locator, 0x000400), 0xA0010010, missing},
        {"no locator", removeMetadata(session.get(), nullptr, 0x000400), 0xA0010010, missing},
        {"no controller", removeMetadata(session.get(), locator, nullptr, volume), 0xA0010010, missing},
        {"no cache volumes", removeMetadata(session.get(), locator, raid.get(), volume), 0xA0010010,
         "Cannot find cache volumes or array"},
        // No disk at path 0, target 0x63.
        {"unknown device", removeMetadata(session.get(), locator, 0x006300), 0xA007002F, nullptr},
        {"claimed disk", removeMetadata(session.get(), locator, 0x000B00), kSuccess, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.result.GetErrorCode(), c.code);
        if (c.message) {
            EXPECT_STREQ(c.result.GetErrorMessage(), c.message);
        }
    }
    EXPECT_EQ(StartedMachine::StatesInAnotherProcess().at("CLAIMED").usage, 2u);
}

} // namespace
