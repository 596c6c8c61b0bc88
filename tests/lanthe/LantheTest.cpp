// The optical drive power-state library over the simulated RAID driver: the adapter and port search,
// the decoding of every status code, and the driver information text.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "lanthe/Lanthe.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinDeviceIo.h"
#include "sim/Machine.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ExportTable.h"

namespace {

// Three adapters of the RAID driver: an ATA disk and an empty slot on adapter 0, nothing on
// adapter 1, the optical drive on adapter 2 at target (port) 3. Adapter 0 answers the CSMI driver
// information request with version 15.2.
constexpr const char* kMachine = R"({
  "name": "lanthe",
  "adapters": [
    { "port": 0, "driver": "moxraid", "ports": [ { "path": 0, "target": 0 }, { "path": 0, "target": 1 } ],
      "csmi": { "driver": { "name": "OrvexRaid", "version": "15.2.0.1007" } } },
    { "port": 1, "driver": "moxraid" },
    { "port": 2, "driver": "moxraid", "ports": [ { "path": 0, "target": 3 } ] }
  ],
  "disks": [
    { "port": 0, "path": 0, "target": 1, "model": "Kelvar KV2000DM", "serial": "K1", "firmware": "CC43" },
    { "port": 2, "path": 0, "target": 3, "protocol": "atapi", "model": "DVD-RW DS8A", "serial": "ODD1",
      "firmware": "1.00", "zpodd": { "power_state": "dozing", "media": true, "tray_open": false } }
  ]
})";
constexpr const char* kOdd = "/disks/1/zpodd";

class Lanthe : public ::testing::Test {
protected:
    sim::ScopedMachine machine_{sim::MachineBuilder::FromText(kMachine)};

    size_t StatusRequests(const std::string& selectors = "{}") {
        std::string match = selectors.substr(0, selectors.size() - 1);
        match += std::string(selectors.size() > 2 ? ", " : "") + R"("control_code": "0x80000C00"})";
        return machine_->calls().CountMatching("DeviceIoControl", match);
    }

    static OddPowerStateRecord Filled(char c) {
        OddPowerStateRecord record;
        std::memset(&record, c, sizeof record);
        return record;
    }
};

TEST_F(Lanthe, TheDriveOnAdapter2Port3IsFoundAfterSixteenRequestsAndAskedThereAfterwards) {
    int32_t port = -1;
    ASSERT_EQ(ConnectToZPODDDriver(&port), 0);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(StatusRequests(), 2u * 6 + 4);
    EXPECT_EQ(StatusRequests(R"({"port": 2})"), 4u);

    OddPowerStateRecord record = Filled('?');
    ASSERT_TRUE(ReadOddPowerState(&record, 3));
    EXPECT_EQ(StatusRequests(R"({"port": 2, "target": "0x300"})"), 2u);
    EXPECT_STREQ(record.powerState, "Dozing");
    EXPECT_STREQ(record.platformSupport, "Supported");
    EXPECT_STREQ(record.driveSupport, "Supported");
    EXPECT_STREQ(record.tray, "Closed");
    EXPECT_STREQ(record.media, "Media In");
    EXPECT_STREQ(record.message, "XXXX");

    // The request as the driver received it.
    const auto sent = machine_->calls().Of("DeviceIoControl").back();
    ASSERT_EQ(sent.input.size(), 240u);
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, sent.input.data() + at, 4);
        return v;
    };
    EXPECT_EQ(u32(0), 28u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sent.input.data() + 4), 8), "OrvexATA");
    EXPECT_EQ(u32(12), 10000u);
    EXPECT_EQ(u32(20), 0x300u);
    EXPECT_EQ(u32(24), 212u);
    EXPECT_EQ(u32(28), 0x1234u);
    EXPECT_EQ(u32(32), 0u);
}

TEST_F(Lanthe, ADriveAnsweringStatus0IsPassedOverAndStatus5IsTaken) {
    struct Case {
        const char* powerState;
        int32_t result;
    } cases[] = {{"0", 2}, {"5", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.powerState);
        machine_->SetValue(std::string(kOdd) + "/power_state", sim::Value::parse(c.powerState));
        int32_t port = -1;
        EXPECT_EQ(ConnectToZPODDDriver(&port), c.result);
        EXPECT_EQ(port, c.result == 0 ? 3 : -1);
        // Without a drive no adapter is held: reading fails at once.
        OddPowerStateRecord record = Filled('?');
        const size_t before = StatusRequests();
        EXPECT_EQ(ReadOddPowerState(&record, 3), c.result == 0);
        EXPECT_EQ(StatusRequests(), before + (c.result == 0 ? 1 : 0));
    }
}

TEST_F(Lanthe, EveryStatusCodeReadsAsTheTableSays) {
    machine_->SetValue(std::string(kOdd) + "/tray_open", true);
    int32_t port = -1;
    ASSERT_EQ(ConnectToZPODDDriver(&port), 0);
    const char* unknown = "An unknown error has occured.";
    struct Case {
        uint32_t code;
        const char *power, *platform, *drive, *tray, *media, *message;
    } cases[] = {
        {1, "Awake", "Supported", "Supported", "Open", "Media In", "XXXX"},
        {2, "Dozing", "Supported", "Supported", "Open", "Media In", "XXXX"},
        {3, "Asleep", "Supported", "Supported", "Open", "Media In", "XXXX"},
        {4, "Awakening", "Supported", "Supported", "XXXX", "XXXX", "XXXX"},
        {5, "XXXX", "Supported", "NOT supported", "XXXX", "XXXX",
         "This ODD does not support Zero Power features."},
        {6, "XXXX", "NOT supported", "Supported", "XXXX", "XXXX", "This ACPI does not support Zero Power."},
        {7, "XXXX", "Supported", "NOT supported", "XXXX", "XXXX", "The Loading Mechanism is not supported."},
        {8, "XXXX", "Supported", "Supported", "XXXX", "XXXX", "Thread Fail"},
        {9, "XXXX", "Supported", "Supported", "XXXX", "XXXX", "The Hot Plug configuration is not supported."},
        {0, "XXXX", "Supported", "Supported", "XXXX", "XXXX", unknown},
        {10, "XXXX", "Supported", "Supported", "XXXX", "XXXX", unknown},
        {0xFFFFFFFF, "XXXX", "Supported", "Supported", "XXXX", "XXXX", unknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        if (c.code <= 9) {
            machine_->SetValue(std::string(kOdd) + "/power_state", c.code);
        } else {
            // Codes the drive description cannot hold come from the driver's answer itself.
            char hex[9];
            std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", c.code & 0xFF, (c.code >> 8) & 0xFF,
                          (c.code >> 16) & 0xFF, c.code >> 24);
            machine_->faults().Add(R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000C00"},
                                      "outcome": {"patch": [{"offset": 36, "hex": ")" +
                                   std::string(hex) + R"("}]}})");
        }
        OddPowerStateRecord record = Filled('?');
        ASSERT_TRUE(ReadOddPowerState(&record, static_cast<uint8_t>(port)));
        EXPECT_STREQ(record.powerState, c.power);
        EXPECT_STREQ(record.platformSupport, c.platform);
        EXPECT_STREQ(record.driveSupport, c.drive);
        EXPECT_STREQ(record.tray, c.tray);
        EXPECT_STREQ(record.media, c.media);
        EXPECT_STREQ(record.message, c.message);
        // Every written field is cleared over its whole width first.
        EXPECT_EQ(record.platformSupport[sizeof record.platformSupport - 1], '\0');
        // Decoding again reads the same last answer.
        OddPowerStateRecord again = record;
        EXPECT_EQ(GetZPODDStatusValue(&again), 0);
        EXPECT_EQ(std::memcmp(&again, &record, sizeof record), 0);
    }
}

TEST_F(Lanthe, AnAnswerWithoutTheAcknowledgementOrAFailedRequestLeavesTheRecordByteForByte) {
    int32_t port = -1;
    ASSERT_EQ(ConnectToZPODDDriver(&port), 0);
    machine_->SetValue(std::string(kOdd) + "/acknowledge", false);
    const OddPowerStateRecord original = Filled('#');
    OddPowerStateRecord record = original;
    EXPECT_FALSE(ReadOddPowerState(&record, 3));
    EXPECT_EQ(std::memcmp(&record, &original, sizeof record), 0);

    machine_->SetValue(std::string(kOdd) + "/acknowledge", true);
    machine_->faults().Add(R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000C00"},
                              "outcome": {"win32_error": 31}})");
    EXPECT_FALSE(ReadOddPowerState(&record, 3));
    EXPECT_EQ(std::memcmp(&record, &original, sizeof record), 0);
    EXPECT_FALSE(ReadOddPowerState(nullptr, 3));
}

TEST_F(Lanthe, AnAdapterThatCannotBeOpenedIsPassedOver) {
    machine_->faults().Add(
        R"({"kind": "CreateFile", "match": {"path": "\\\\.\\Scsi1:"}, "outcome": {"win32_error": 5}})");
    int32_t port = -1;
    ASSERT_EQ(ConnectToZPODDDriver(&port), 0);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(StatusRequests(), 6u + 4);
}

TEST_F(Lanthe, DriverInformationIsNameMajorAndMinor) {
    char text[100];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(GetDriverInfo(text, sizeof text), 0);
    EXPECT_STREQ(text, "OrvexRaid:15:2");

    // The request as the driver received it: the first adapter answered.
    const auto calls = machine_->calls().Of("DeviceIoControl");
    ASSERT_EQ(calls.size(), 1u);
    const auto& in = calls[0].input;
    ASSERT_EQ(in.size(), 512u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(in.data() + 4), 8), std::string("CSMIALL\0", 8));
    uint32_t timeout, code, length;
    std::memcpy(&timeout, in.data() + 12, 4);
    std::memcpy(&code, in.data() + 16, 4);
    std::memcpy(&length, in.data() + 24, 4);
    EXPECT_EQ(timeout, 60u);
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(length, 484u);
}

TEST_F(Lanthe, DriverInformationIsCutAt88CharactersAndToTheBuffer) {
    const std::string name(81, 'N');
    machine_->SetValue("/adapters/0/csmi/driver",
                       sim::Value::parse(R"({"name": ")" + name + R"(", "version": "65535.65535.0.0"})"));
    char text[200];
    ASSERT_EQ(GetDriverInfo(text, sizeof text), 0);
    EXPECT_EQ(std::string(text), (name + ":65535:65535").substr(0, 88));

    char small[8];
    std::memset(small, '#', sizeof small);
    ASSERT_EQ(GetDriverInfo(small, 5), 0);
    EXPECT_EQ(std::string(small, 8), std::string("NNNN\0###", 8));
    EXPECT_EQ(GetDriverInfo(small, 0), 0);
    EXPECT_EQ(small[0], 'N');
}

TEST(LantheDriverInfo, OnlyAdapters0To14AreAskedAndTheLastFailureIsReturned) {
    // Sixteen adapters; only the sixteenth knows the CSMI request.
    sim::MachineBuilder description("sixteen");
    for (int n = 0; n < 16; ++n)
        description.Append("/adapters", R"({"port": )" + std::to_string(n) + R"(, "driver": "moxraid"})");
    description.Set("/adapters/15/csmi", R"({"driver": {"name": "OrvexRaid"}})");
    sim::ScopedMachine machine(description);
    char text[100] = "untouched";
    EXPECT_EQ(GetDriverInfo(text, sizeof text), 1); // ERROR_INVALID_FUNCTION of adapter 14
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(machine->calls().CountMatching("DeviceIoControl", "{}"), 15u);
    EXPECT_EQ(machine->calls().CountMatching("DeviceIoControl", R"({"port": 15})"), 0u);
}

TEST(LantheDriverInfo, NoBufferNoMemoryOrNoAdapter0GiveMinus1) {
    sim::ScopedMachine machine(sim::MachineBuilder::FromText(
        R"({"name": "late", "adapters": [ { "port": 1, "driver": "moxraid", "csmi": {} } ]})"));
    char text[100] = "untouched";
    EXPECT_EQ(GetDriverInfo(nullptr, 100), -1);
    EXPECT_EQ(GetDriverInfo(text, sizeof text), -1); // adapter 0 does not exist
    machine->SetValue("/adapters/0/port", 0);
    machine->faults().Add(R"({"kind": "GlobalAlloc", "outcome": {"win32_error": 8}})");
    EXPECT_EQ(GetDriverInfo(text, sizeof text), -1);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(machine->calls().CountMatching("DeviceIoControl", "{}"), 0u);
    EXPECT_EQ(GetDriverInfo(text, sizeof text), 0);
}

// The library and the test run on one simulator: a rule the test sets fires for the library's
// calls as for the test's own, and both land in one call log.
TEST(LantheSimulator, TheLibrarysCallsMeetTheTestsFaultRulesAndCallLog) {
    sim::ScopedMachine machine(sim::MachineBuilder::FromText(R"({"name": "one", "adapters": [
        { "port": 0, "driver": "moxraid", "csmi": { "driver": { "name": "OrvexRaid", "version": "15.2.0.0" } } } ]})"));
    machine->faults().Add(R"({"kind": "DeviceIoControl", "times": 2, "outcome": {"win32_error": 1117}})");

    // The test's own request takes the first firing.
    HANDLE adapter = CreateFileW(L"\\\\.\\Scsi0:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(adapter, INVALID_HANDLE_VALUE);
    uint8_t block[512] = {};
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(adapter, IOCTL_SCSI_MINIPORT, block, sizeof block, block, sizeof block,
                                 &returned, nullptr));
    EXPECT_EQ(GetLastError(), 1117u);
    CloseHandle(adapter);

    // The library's request takes the second; the rule is then spent.
    char text[100] = "untouched";
    EXPECT_EQ(GetDriverInfo(text, sizeof text), 1117);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(GetDriverInfo(text, sizeof text), 0);
    EXPECT_STREQ(text, "OrvexRaid:15:2");
    EXPECT_EQ(machine->calls().CountMatching("DeviceIoControl", R"({"port": 0})"), 3u);
}

// The library's dynamic symbol table is its four functions: nothing of the platform layer, the
// simulator or the C++ library.
TEST(LantheExports, AreExactlyTheFourFunctions) {
    moxtest::ExpectExportsExactly(
        LANTHE_PATH, MOX_SOURCE_DIR "/lanthe/Lanthe.exports",
        {"ScsiAdapterPath", "CreateFileW", "DeviceIoControl", "sim::", "platform::", "nlohmann::", "std::"});
}

TEST(LantheFromC, ACProgramLinksTheLibraryAndCallsIt) {
    sim::ScopedMachine machine(sim::MachineBuilder::FromText(kMachine));
    const moxtest::ChildResult run = moxtest::RunProgram(LANTHE_FROM_C, {});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "connect 0 port 3\n"
                          "read 1: Dozing|Supported|Supported|Closed|Media In|XXXX\n"
                          "driver 0 OrvexRaid:15:2\n");
}

} // namespace
