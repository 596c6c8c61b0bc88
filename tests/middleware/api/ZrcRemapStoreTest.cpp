#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/ZrcRemapStore.h"
#include "middleware/model/ZrcRemapBiosVarProxy.h"
#include "platform/win/WinSync.h"
#include "sim/FirmwareVariables.h"
#include "sim/Machine.h"
#include "sim/Os.h"
#include "tests/support/ChildProcess.h"

namespace {

constexpr const char* kGuid = "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}";
constexpr const char* kName = "OrvexZrcOsVariable";

using Words = std::vector<uint16_t>;

// The variable's bytes as a description spells them: the words, little-endian, then zeros up to
// `size` bytes.
std::string Hex(const Words& words, size_t size = 64) {
    std::string hex;
    char byte[3];
    for (size_t i = 0; i < size; ++i) {
        const uint16_t word = i / 2 < words.size() ? words[i / 2] : 0;
        std::snprintf(byte, sizeof byte, "%02x", (i % 2 ? word >> 8 : word) & 0xFF);
        hex += byte;
    }
    return hex;
}

std::string Variable(const std::string& hex) {
    return std::string(R"({"name": "OrvexZrcOsVariable", "guid": ")") + kGuid + R"(", "hex": ")" + hex +
           "\"}";
}

sim::MachineBuilder Machine(const Words& words, size_t size = 64) {
    return sim::MachineBuilder("remap").Set("/firmware",
                                            R"({"variables": [)" + Variable(Hex(words, size)) + "]}");
}

// 30 locations 0x0101, 0x0102, ... behind the control word.
Words Scheduled(unsigned count, uint16_t control = 0) {
    Words words{static_cast<uint16_t>(control | count)};
    for (unsigned i = 1; i <= count; ++i)
        words.push_back(static_cast<uint16_t>(0x0100 + i));
    return words;
}

Words Stored() {
    auto variable = sim::firmware::Find(kName, kGuid);
    if (!variable)
        return {};
    Words words;
    for (size_t i = 0; i + 1 < variable->data.size(); i += 2)
        words.push_back(static_cast<uint16_t>(variable->data[i] | variable->data[i + 1] << 8));
    return words;
}

Words Padded(Words words) {
    words.resize(32, 0);
    return words;
}

Words CacheWords(const ZrcRemapRequestCache& cache) {
    ZrcRemapBiosVariable record = cache.record();
    return Words(record.words, record.words + 32);
}

std::string Code(const CConsolidatedError& e) {
    char text[16];
    std::snprintf(text, sizeof text, "%#X", static_cast<unsigned>(e.GetErrorCode()));
    return text;
}

bool PrivilegeEnabled() {
    return sim::os::PrivilegeEnabled("SeSystemEnvironmentPrivilege");
}

class ZrcRemapStore : public ::testing::Test {
protected:
    explicit ZrcRemapStore(const sim::MachineBuilder& description) : machine(description) {}
    ~ZrcRemapStore() override { sim::os::ResetToken(); }

    sim::ScopedMachine machine;
    ZrcRemapRequestCache cache;
};

class RemapWith : public ZrcRemapStore {
protected:
    RemapWith() : ZrcRemapStore(Machine({0xA5C2, 0x0009, 0x1700, 0x7777})) {}
};

TEST(ZrcRemapRead, FailuresOfTheReadAreReportedAndLeaveRemapUnsupported) {
    struct Case {
        const char* what;
        sim::MachineBuilder description;
        const char* code;
        const char* message;
    } cases[] = {
        {"absent", sim::MachineBuilder("remap"), "0XA0010072", "EFI variable read fail with error [203]"},
        {"short", Machine({1, 0x0101}, 63), "0XA0010075", "EFI variable size is too small. Size [63]"},
        {"long", Machine({1, 0x0101}, 65), "0XA0010072", "EFI variable read fail with error [122]"},
        {"no privilege", Machine({}).Set("/os", R"({"privileges": {"SeShutdownPrivilege": "disabled"}})"),
         "0XA0010072", "EFI variable read fail with error [1314]"},
        {"unreadable", Machine({}).Set("/faults", R"([{"kind": "GetFirmwareEnvironmentVariable", "times": -1,
                                         "outcome": {"win32_error": 1117}}])"),
         "0XA0010072", "EFI variable read fail with error [1117]"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::ScopedMachine machine(c.description);
        ZrcRemapRequestCache cache;
        CConsolidatedError loaded = cache.load();
        EXPECT_EQ(Code(loaded), c.code);
        EXPECT_EQ(loaded.GetErrorType(), KEDO2_ERROR_TYPE_KEDO2);
        EXPECT_STREQ(loaded.GetErrorMessage(), c.message);
        EXPECT_FALSE(cache.isLoaded());
        EXPECT_FALSE(cache.isRemapSupported());
        EXPECT_EQ(Code(cache.loadError()), c.code);

        // Every store operation meets the same failure and writes nothing.
        const Words before = Stored();
        EXPECT_STREQ(scheduleZrcRemap(cache, {0x0300}).GetErrorMessage(), c.message);
        EXPECT_STREQ(revertZrcRemap(cache, {0x0101}).GetErrorMessage(), c.message);
        EXPECT_STREQ(clearZrcRemapRequest(cache).GetErrorMessage(), c.message);
        EXPECT_EQ(Stored(), before);
        EXPECT_EQ(machine->calls().Count("SetFirmwareEnvironmentVariable"), 0u);
        // The privilege is given back, and the section left, on the failing path too.
        EXPECT_FALSE(PrivilegeEnabled());
        NamedCriticalSection section(ZrcRemapBiosVarProxy::kSectionName);
        EXPECT_FALSE(section.isInUse());
        sim::os::ResetToken();
    }
}

TEST_F(RemapWith, LoadReadsOnceAndAnswersFromTheCopy) {
    EXPECT_FALSE(cache.isRemapSupported());
    ASSERT_EQ(Code(cache.load()), "0X20000000");
    EXPECT_TRUE(cache.isLoaded());
    EXPECT_TRUE(cache.isRemapSupported());
    EXPECT_TRUE(cache.isScheduled(0x0009));
    EXPECT_TRUE(cache.isScheduled(0x1700));
    EXPECT_FALSE(cache.isScheduled(0x7777)); // beyond the count
    EXPECT_FALSE(PrivilegeEnabled());

    sim::firmware::Write({kName, kGuid, 7, {}});
    EXPECT_EQ(Code(cache.load()), "0X20000000");
    EXPECT_EQ(machine->calls().Count("GetFirmwareEnvironmentVariable"), 1u);
    EXPECT_TRUE(cache.isScheduled(0x0009));
}

TEST(ZrcRemapRead, ALaterSuccessfulLoadMakesRemapSupported) {
    sim::ScopedMachine machine(Machine({}).Set(
        "/faults",
        R"([{"kind": "GetFirmwareEnvironmentVariable", "times": 1, "outcome": {"win32_error": 1117}}])"));
    ZrcRemapRequestCache cache;
    EXPECT_EQ(Code(cache.load()), "0XA0010072");
    EXPECT_FALSE(cache.isRemapSupported());
    EXPECT_EQ(Code(cache.load()), "0X20000000");
    EXPECT_TRUE(cache.isRemapSupported());
    EXPECT_EQ(Code(cache.loadError()), "0X20000000");
    EXPECT_EQ(machine->faults().Pending(), 0u);
}

TEST_F(RemapWith, ScheduleAddsEachNewLocationOnceInTheOrderGiven) {
    CConsolidatedError result = scheduleZrcRemap(cache, {0x0300, 0x2001, 0x0300});
    ASSERT_EQ(Code(result), "0X20000000") << result.GetErrorMessage();
    const Words expected = Padded({0xA5C4, 0x0009, 0x1700, 0x0300, 0x2001});
    EXPECT_EQ(Stored(), expected);
    EXPECT_EQ(CacheWords(cache), expected);
    EXPECT_TRUE(cache.isScheduled(0x2001));
    EXPECT_FALSE(PrivilegeEnabled());
}

TEST_F(RemapWith, ScheduleIsAllOrNothing) {
    CConsolidatedError result = scheduleZrcRemap(cache, {0x0300, 0x1700, 0x0400});
    EXPECT_EQ(Code(result), "0XA0010070");
    EXPECT_STREQ(
        result.GetErrorMessage(),
        "Scsi controller [bus or port number: 0], [device: 23], [function: 0] already scheduled for remap");
    EXPECT_EQ(machine->calls().Count("SetFirmwareEnvironmentVariable"), 0u);
    const Words asRead = Padded({0xA5C2, 0x0009, 0x1700, 0x7777});
    EXPECT_EQ(Stored(), asRead);
    EXPECT_EQ(CacheWords(cache), asRead);
    EXPECT_FALSE(cache.isScheduled(0x0300));
}

TEST(ZrcRemapSchedule, AnEmptyListIsRefusedWithoutReading) {
    sim::ScopedMachine machine(Machine({}));
    ZrcRemapRequestCache cache;
    CConsolidatedError result = scheduleZrcRemap(cache, {});
    EXPECT_EQ(Code(result), "0XA0010070");
    EXPECT_STREQ(result.GetErrorMessage(), "No controller available for remapping detected");
    EXPECT_EQ(machine->calls().Count("GetFirmwareEnvironmentVariable"), 0u);
}

TEST(ZrcRemapSchedule, TheRecordHoldsThirtyOneLocations) {
    sim::ScopedMachine machine(Machine(Scheduled(30, 0x0400)));
    ZrcRemapRequestCache cache;
    // Two more do not fit: neither is added.
    EXPECT_EQ(Code(scheduleZrcRemap(cache, {0x0A00, 0x0B00})), "0XA001006E");
    EXPECT_EQ(Stored(), Padded(Scheduled(30, 0x0400)));

    ASSERT_EQ(Code(scheduleZrcRemap(cache, {0x0A00})), "0X20000000");
    Words full = Scheduled(30, 0x0400);
    full[0] = 0x0400 | 31;
    full.push_back(0x0A00);
    EXPECT_EQ(Stored(), full);

    CConsolidatedError refused = scheduleZrcRemap(cache, {0x0B00});
    EXPECT_EQ(Code(refused), "0XA001006E");
    EXPECT_STREQ(refused.GetErrorMessage(),
                 "Scsi controller [bus or port number: 0], [device: 11], [function: 0] "
                 "cannot be remapped because too many controllers already scheduled");
    EXPECT_EQ(Stored(), full);
}

TEST(ZrcRemapCount, AForeignCountAboveThirtyOneReadsAsThirtyOne) {
    Words words = Scheduled(31);
    words[0] = 0xF000 | 45;
    sim::ScopedMachine machine(Machine(words));
    ZrcRemapRequestCache cache;
    ASSERT_EQ(Code(cache.load()), "0X20000000");
    EXPECT_TRUE(cache.isScheduled(0x011F));

    EXPECT_EQ(Code(scheduleZrcRemap(cache, {0x0E00})), "0XA001006E");
    EXPECT_EQ(Code(scheduleZrcRemap(cache, {0x011F})), "0XA0010070");

    ASSERT_EQ(Code(revertZrcRemap(cache, {0x0101})), "0X20000000");
    Words expected = words;
    expected[0] = 0xF000 | 30;
    expected[1] = 0x011F; // the last scheduled word fills the hole and stays behind
    EXPECT_EQ(Stored(), expected);
}

TEST(ZrcRemapRevert, TheLastWordFillsTheHoleAndTheVacatedWordKeepsItsValue) {
    struct Case {
        Words revert;
        Words expected;
    } cases[] = {
        {{0x0202}, {0x0001, 0x0101, 0x0202}},
        {{0x0101}, {0x0001, 0x0202, 0x0202}},
        {{0x0101, 0x0202, 0x0101}, {0x0000, 0x0202, 0x0202}},
    };
    for (const auto& c : cases) {
        sim::ScopedMachine machine(Machine({0x0002, 0x0101, 0x0202}));
        ZrcRemapRequestCache cache;
        ASSERT_EQ(Code(revertZrcRemap(cache, c.revert)), "0X20000000");
        EXPECT_EQ(Stored(), Padded(c.expected));
        EXPECT_EQ(CacheWords(cache), Padded(c.expected));
    }
}

TEST(ZrcRemapRevert, ALocationListedTwiceByAnotherWriterIsRemovedEntirely) {
    sim::ScopedMachine machine(Machine({0x0003, 0x0101, 0x0202, 0x0101}));
    ZrcRemapRequestCache cache;
    ASSERT_EQ(Code(revertZrcRemap(cache, {0x0101})), "0X20000000");
    EXPECT_EQ(Stored(), Padded({0x0001, 0x0202, 0x0202, 0x0101}));
    EXPECT_FALSE(cache.isScheduled(0x0101));
}

TEST(ZrcRemapRevert, RefusalsWriteNothing) {
    struct Case {
        Words words;
        Words revert;
        const char* code;
        const char* message;
    } cases[] = {
        {{0x0002, 0x0101, 0x0202},
         {0x0101, 0x0303},
         "0XA001006F",
         "Scsi controller [bus or port number: 3], [device: 3], [function: 0] is not scheduled for remap"},
        {{0x0040, 0x0101}, {0x0101}, "0XA0010071", "Cannot revert - nothing is scheduled for remap"},
    };
    for (const auto& c : cases) {
        sim::ScopedMachine machine(Machine(c.words));
        ZrcRemapRequestCache cache;
        CConsolidatedError result = revertZrcRemap(cache, c.revert);
        EXPECT_EQ(Code(result), c.code);
        EXPECT_STREQ(result.GetErrorMessage(), c.message);
        EXPECT_EQ(Stored(), Padded(c.words));
        EXPECT_EQ(CacheWords(cache), Padded(c.words));
        EXPECT_EQ(machine->calls().Count("SetFirmwareEnvironmentVariable"), 0u);
    }
}

TEST_F(RemapWith, ClearKeepsTheForeignBitsAndZeroesEveryLocation) {
    ASSERT_EQ(Code(clearZrcRemapRequest(cache)), "0X20000000");
    EXPECT_EQ(Stored(), Padded({0xA5C0}));
    EXPECT_EQ(CacheWords(cache), Padded({0xA5C0}));

    CConsolidatedError again = clearZrcRemapRequest(cache);
    EXPECT_EQ(Code(again), "0XA0010071");
    EXPECT_STREQ(again.GetErrorMessage(), "Nothing scheduled for remap");
}

class RemapUnwritable : public ZrcRemapStore {
protected:
    RemapUnwritable()
        : ZrcRemapStore(
              Machine({0x0001, 0x0101}).Set("/faults", R"([{"kind": "SetFirmwareEnvironmentVariable",
              "times": -1, "outcome": {"win32_error": 5}}])")) {}
};

TEST_F(RemapUnwritable, AFailedWriteChangesNothingAndTheCacheKeepsTheRecordAsRead) {
    const Words asRead = Padded({0x0001, 0x0101});
    for (CConsolidatedError result :
         {scheduleZrcRemap(cache, {0x0202}), revertZrcRemap(cache, {0x0101}), clearZrcRemapRequest(cache)}) {
        EXPECT_EQ(Code(result), "0XA0010073");
        EXPECT_STREQ(result.GetErrorMessage(), "EFI variable write fail with error [5]");
        EXPECT_EQ(Stored(), asRead);
        EXPECT_EQ(CacheWords(cache), asRead);
    }
    EXPECT_FALSE(PrivilegeEnabled());
}

TEST_F(RemapWith, ASectionHeldElsewhereRefusesAtOnceWithoutTouchingTheToken) {
    moxtest::Child holder({"ncs-hold", ZrcRemapBiosVarProxy::kSectionName});
    ASSERT_EQ(holder.ReadLine(), "ready 0X20000000");
    machine->calls().Clear();

    CConsolidatedError result = scheduleZrcRemap(cache, {0x0300});
    EXPECT_EQ(Code(result), "0XA0070037");
    EXPECT_STREQ(result.GetErrorMessage(), "Could not enter critical section");
    EXPECT_EQ(Code(cache.load()), "0XA0070037");
    EXPECT_EQ(machine->calls().Count("AdjustTokenPrivileges"), 0u);
    EXPECT_EQ(machine->calls().Count("GetFirmwareEnvironmentVariable"), 0u);

    holder.WriteLine("go");
    EXPECT_EQ(holder.Wait(), 0);
    EXPECT_EQ(Code(scheduleZrcRemap(cache, {0x0300})), "0X20000000");
}

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// A hold rule stops the writer of the two inside its write, with the section held.
sim::MachineBuilder HeldWrite(const std::string& signal, const std::string& go) {
    return Machine({0x0001, 0x0101})
        .Set("/faults", std::string(R"([{"kind": "SetFirmwareEnvironmentVariable", "times": 1,
            "outcome": {"hold": {"signal": )") +
                            JsonText(signal) + R"(, "wait": )" + JsonText(go) + R"(}}}])");
}

class RemapTwoProcesses : public ZrcRemapStore {
protected:
    RemapTwoProcesses() : ZrcRemapStore(HeldWrite("Global\\MoxTestZrcHeld", "Global\\MoxTestZrcGo")) {}
};

TEST_F(RemapTwoProcesses, OneSchedulesTheOtherIsRefusedAtOnce) {
    moxtest::Child first({"zrc-schedule-held", "Global\\MoxTestZrcHeld", "Global\\MoxTestZrcGo", "0x0202"});
    ASSERT_EQ(first.ReadLine(), "held 0");

    CConsolidatedError second = scheduleZrcRemap(cache, {0x0303});
    EXPECT_EQ(Code(second), "0XA0070037");
    EXPECT_EQ(Stored(), Padded({0x0001, 0x0101}));

    first.WriteLine("go");
    EXPECT_EQ(first.ReadLine(), "0X20000000");
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(Stored(), Padded({0x0002, 0x0101, 0x0202}));
}

class RemapTwoThreads : public ZrcRemapStore {
protected:
    RemapTwoThreads() : ZrcRemapStore(HeldWrite("MoxTestZrcHeld", "MoxTestZrcGo")) {}
};

TEST_F(RemapTwoThreads, TheSecondIsRefusedAtOnceAndTheHolderStillWrites) {
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, "MoxTestZrcHeld");
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "MoxTestZrcGo");
    ASSERT_TRUE(held && go);
    CConsolidatedError first;
    std::thread holder([&] { first = scheduleZrcRemap(cache, {0x0202}); });
    ASSERT_EQ(WaitForSingleObject(held, INFINITE), WAIT_OBJECT_0);

    EXPECT_EQ(Code(scheduleZrcRemap(cache, {0x0303})), "0XA0070037");
    EXPECT_EQ(Code(revertZrcRemap(cache, {0x0101})), "0XA0070037");
    EXPECT_TRUE(PrivilegeEnabled());

    SetEvent(go);
    holder.join();
    EXPECT_EQ(Code(first), "0X20000000") << first.GetErrorMessage();
    EXPECT_EQ(Stored(), Padded({0x0002, 0x0101, 0x0202}));
    EXPECT_TRUE(cache.isScheduled(0x0202));
    EXPECT_EQ(machine->faults().Pending(), 0u);
    CloseHandle(held);
    CloseHandle(go);
}

} // namespace
