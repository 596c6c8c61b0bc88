// Ports of a controller: which of the driver's port answers a port reads and keeps, by what the
// remap port says is connected, and the two on-demand reads of any port address.
#include <cstring>
#include <string>

#include "middleware/core/HandleRegistry.h"
#include "middleware/model/AhciPort.h"
#include "tests/middleware/model/ModelTestSupport.h"
#include "tests/support/MachineParts.h"

namespace {

// The default machine's SATA RAID controller with CSMI, an SSD port whose PxCMD asks for runtime D3
// information, and a remapped NVMe SSD behind a root port.
moxtest::DriverDisk NvmeDriveAtPath1() {
    moxtest::DriverDisk drive = moxtest::NvmeDrive("NV2-0099");
    drive.path = 1;
    return drive;
}

sim::MachineBuilder PortsMachine() {
    return sim::MachineBuilder::Default()
        .Set("/adapters/0/csmi", R"({ "driver": { "name": "moxraid", "csmi_major": 0, "csmi_minor": 81 } })")
        .Set("/adapters/0/ports", R"([
          { "path": 0, "target": 0, "speed": 2, "cmd": "0x00240016", "rtd3": [1, 7],
            "registers": { "0x44": "0x1FFE0B8D" }, "location": { "type": 0, "port": 6 } },
          { "path": 0, "target": 1, "cmd": "0x01240016" },
          { "path": 0, "target": 2 },
          { "path": 0, "target": 3 },
          { "path": 0, "target": 5 },
          { "path": 1, "target": 0, "location": { "type": 2, "bus": 5, "device": 10, "function": 1 } }
        ])")
        .Append("/disks", moxtest::DiskEntryJson(NvmeDriveAtPath1()));
}

class AhciPortTest : public modeltest::ModelTest {
protected:
    AhciPortTest() : ModelTest(PortsMachine()) {}

    static constexpr PackedScsiAddress kSsdPort = 0x00000000;
    static constexpr PackedScsiAddress kSparePort = 0x00000100;
    static constexpr PackedScsiAddress kEmptyPort = 0x00000500;
    static constexpr PackedScsiAddress kNvmePort = 0x00010000;

    size_t SentTo(uint32_t controlCode, PackedScsiAddress address) {
        return Sent("{\"control_code\": " + std::to_string(controlCode) +
                    ", \"target\": " + std::to_string(address) + "}");
    }
};

TEST_F(AhciPortTest, ASataConnectionReadsEveryAhciAnswer) {
    AhciPort port;
    ASSERT_TRUE(port.Populate(Controller(0), kSsdPort, 0).IsSuccessful());
    EXPECT_EQ(port.getAddress(), kSsdPort);
    EXPECT_EQ(port.getConnectionType(), 2u);
    EXPECT_FALSE(port.isRemappedNvmePort());
    ASSERT_NE(port.getPortCapabilities(), nullptr);
    ASSERT_NE(port.getPortDeviceMap(), nullptr);
    ASSERT_NE(port.getPortSpeed(), nullptr);
    EXPECT_EQ(port.getPortSpeed()->GetSpeed().Speed, 2);
    EXPECT_TRUE(port.isDevicePresent());
    EXPECT_EQ(port.getDeviceMapWord() & 1, 1u);

    uint32_t cap = 0;
    std::memcpy(&cap, port.getAhciInfo().data(), 4);
    EXPECT_NE(cap, 0u) << "the controller's CAP word";
    uint32_t devslp = 0;
    std::memcpy(&devslp, port.getPortRegisters().data() + 0x44, 4);
    EXPECT_EQ(devslp, 0x1FFE0B8Du);
    EXPECT_EQ(port.getRtd3Info(), 0x0000000700000001ull);
    EXPECT_EQ(port.getDeviceLocation().kind, 1u);
    EXPECT_EQ(port.getDeviceLocation().portNumber, 6);
    // The phy is answered with the device's signature.
    EXPECT_EQ(port.getSataSignature().IoctlHeader.ReturnCode, 0u);
    EXPECT_EQ(port.getSataSignature().Signature.bSignatureFIS[0], 0x34);
}

TEST_F(AhciPortTest, ARemappedNvmePortReadsNoAhciData) {
    AhciPort port;
    ASSERT_TRUE(port.Populate(Controller(0), kNvmePort, AhciPort::kNoPhy).IsSuccessful());
    EXPECT_TRUE(port.isRemappedNvmePort());
    EXPECT_TRUE(port.isDevicePresent());
    EXPECT_EQ(port.getPortCapabilities(), nullptr);
    EXPECT_EQ(port.getPortDeviceMap(), nullptr);
    EXPECT_EQ(SentTo(0x80000A00, kNvmePort), 0u) << "no capabilities, AHCI information or registers";
    EXPECT_EQ(SentTo(0x80000A04, kNvmePort), 0u);
    EXPECT_EQ(SentTo(0x80000F00, kNvmePort), 0u) << "no runtime D3 request without capabilities";
    EXPECT_EQ(port.getRtd3Info(), 0u);
    // Location type 2 with the PCI address 0x2A05.
    EXPECT_EQ(port.getDeviceLocation().kind, 3u);
    EXPECT_EQ(port.getDeviceLocation().rootPortBus, 5);
    EXPECT_EQ(port.getDeviceLocation().rootPortDevice, 10);
    EXPECT_EQ(port.getDeviceLocation().rootPortFunction, 1);
    // Phy 255 is still asked for; the driver knows no such phy.
    EXPECT_EQ(Sent(R"({"signature": "CSMISAS", "control_code": 26})"), 1u);
    EXPECT_EQ(port.getSataSignature().Signature.bPhyIdentifier, 255);
    EXPECT_NE(port.getSataSignature().IoctlHeader.ReturnCode, 0u);
}

TEST_F(AhciPortTest, WithoutARemapPortTheAhciPathRuns) {
    Inject(R"({"kind": "DeviceIoControl", "match": {"signature": "OrvexRmp", "control_code": "0x80000D01"},
               "outcome": {"win32_error": 1}})");
    AhciPort port;
    ASSERT_TRUE(port.Populate(Controller(0), kSsdPort, 0).IsSuccessful());
    EXPECT_EQ(port.getConnectionInfo(), nullptr);
    EXPECT_EQ(port.getConnectionType(), 0u);
    EXPECT_NE(port.getPortCapabilities(), nullptr);
    EXPECT_NE(port.getPortSpeed(), nullptr);
    EXPECT_TRUE(port.isDevicePresent());
}

TEST_F(AhciPortTest, ADeviceMapFailureSkipsTheSpeedAndLeavesNoDevice) {
    Inject(
        R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000A04"}, "outcome": {"win32_error": 31}})");
    AhciPort port;
    ASSERT_TRUE(port.Populate(Controller(0), kSsdPort, 0).IsSuccessful());
    EXPECT_NE(port.getPortCapabilities(), nullptr);
    EXPECT_EQ(port.getPortDeviceMap(), nullptr);
    EXPECT_EQ(port.getPortSpeed(), nullptr);
    EXPECT_FALSE(port.isDevicePresent());
    EXPECT_EQ(SentTo(0x80000A00, kSsdPort), 3u) << "capabilities, AHCI information and registers, no speed";
    EXPECT_EQ(SentTo(0x80000F00, kSsdPort), 0u) << "no runtime D3 request without a device";
}

TEST_F(AhciPortTest, RuntimeD3IsAskedOnlyWhenThePortCommandAllowsIt) {
    AhciPort spare;
    ASSERT_TRUE(spare.Populate(Controller(0), kSparePort, 1).IsSuccessful());
    EXPECT_TRUE(spare.isDevicePresent());
    EXPECT_EQ(SentTo(0x80000F00, kSparePort), 0u) << "PxCMD byte 3 bit 0 is set";
    AhciPort empty;
    ASSERT_TRUE(empty.Populate(Controller(0), kEmptyPort, 5).IsSuccessful());
    EXPECT_EQ(empty.getDeviceMapWord(), 0u);
    EXPECT_TRUE(empty.isDevicePresent()) << "a device map answer counts, whatever it says";
}

TEST_F(AhciPortTest, OnlyAhciInformationRegistersAndLocationFailThePort) {
    struct Row {
        const char* rule;
        bool failsPort;
    };
    const Row rows[] = {
        // Capabilities requests to the port, in order: port capabilities, speed, AHCI information, registers.
        {R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000A00", "target": 0}, "skip": 2,
             "outcome": {"win32_error": 1}})",
         true},
        {R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000A00", "target": 0}, "skip": 3,
             "outcome": {"win32_error": 1}})",
         true},
        {R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000D05"}, "outcome": {"win32_error": 31}})",
         true},
        {R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000A00", "target": 0}, "skip": 0,
             "outcome": {"win32_error": 1}})",
         false},
        {R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000A00", "target": 0}, "skip": 1,
             "outcome": {"win32_error": 170}})",
         false},
        {R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000F00"}, "outcome": {"win32_error": 31}})",
         false},
        {R"({"kind": "DeviceIoControl", "match": {"signature": "CSMISAS"}, "outcome": {"win32_error": 31}})",
         false},
    };
    for (const Row& row : rows) {
        machine_->faults().Clear();
        Inject(row.rule);
        AhciPort port;
        EXPECT_EQ(port.Populate(Controller(0), kSsdPort, 0).IsError(), row.failsPort) << row.rule;
        EXPECT_EQ(machine_->faults().Pending(), 0u) << row.rule;
    }
}

TEST_F(AhciPortTest, AFailedCsmiReadLeavesAnEmptySignature) {
    Inject(
        R"({"kind": "DeviceIoControl", "match": {"signature": "CSMISAS"}, "outcome": {"win32_error": 31}})");
    AhciPort port;
    ASSERT_TRUE(port.Populate(Controller(0), kSsdPort, 0).IsSuccessful());
    EXPECT_EQ(port.getSataSignature().IoctlHeader.ReturnCode, 0xFFFFFFFFu);
    EXPECT_EQ(port.getSataSignature().Signature.bSignatureFIS[0], 0);
}

TEST_F(AhciPortTest, HandlesAreKeyedByPathTargetAndController) {
    AhciPort first, again, other;
    ASSERT_TRUE(first.Populate(Controller(0), kSsdPort, 0).IsSuccessful());
    ASSERT_TRUE(again.Populate(Controller(0), kSsdPort, 0).IsSuccessful());
    EXPECT_EQ(first.getHandle(), again.getHandle());
    // Only the handle matters here: a port the other controller lacks still gets its key.
    static_cast<void>(other.Populate(Controller(1), 0x01000000, AhciPort::kNoPhy));
    EXPECT_NE(other.getHandle(), first.getHandle());
    const std::string key = "Port_00000000_" + std::to_string(reinterpret_cast<intptr_t>(Controller(0)));
    EXPECT_EQ(first.getHandle(), HandleRegistry::instance().getHandle(HandleKindPort, key.c_str()));
}

TEST_F(AhciPortTest, AhciInformationAndRuntimeD3OfAnyAddress) {
    const AhciInfo info = ReadAhciInfoForAddress(kSsdPort);
    AhciPort port;
    ASSERT_TRUE(port.Populate(Controller(0), kSsdPort, 0).IsSuccessful());
    EXPECT_EQ(info, port.getAhciInfo());
    EXPECT_EQ(ReadRtd3InfoForAddress(kSsdPort), 0x0000000700000001ull);

    Inject(
        R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000F00"}, "outcome": {"win32_error": 170}})");
    EXPECT_THROW(ReadRtd3InfoForAddress(kSsdPort), CConsolidatedError);
    Inject(
        R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000A00"}, "outcome": {"win32_error": 170}})");
    EXPECT_THROW(ReadAhciInfoForAddress(kSsdPort), CConsolidatedError);
    try {
        ReadAhciInfoForAddress(0x09000000);
        ADD_FAILURE() << "no controller on port 9";
    } catch (const CConsolidatedError& e) {
        EXPECT_EQ(e.GetErrorCode(), 0xA0000004u);
    }
}

TEST_F(AhciPortTest, RemapLocationsOfEveryType) {
    struct Row {
        const char* patch;
        RemapDeviceLocation expected;
    };
    // Answers patched from byte 33: the type word, then the location data at 37.
    const Row rows[] = {
        {"0000000007", {1, 7, 0, 0, 0, 0, {}, 0, 0, 0}},
        {"0100000009", {2, 0, 9, 0, 0, 0, {}, 0, 0, 0}},
        {"02000000052A", {3, 0, 0, 5, 10, 1, {}, 0, 0, 0}},
        {"0300000001000200052A0700", {4, 0, 0, 5, 10, 1, {}, 1, 2, 7}},
        {"04000000FF", {0, 0, 0, 0, 0, 0, {}, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        machine_->faults().Clear();
        Inject(std::string(R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000D05"},
                               "outcome": {"patch": [{"offset": 33, "hex": ")") +
               row.patch + "\"}]}}");
        RemapDeviceLocation location{};
        ASSERT_TRUE(ReadRemapDeviceLocation(location, Controller(0), kSsdPort).IsSuccessful()) << row.patch;
        EXPECT_EQ(std::memcmp(&location, &row.expected, sizeof(location)), 0) << row.patch;
    }
    machine_->faults().Clear();
    Inject(
        R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000D05"}, "outcome": {"win32_error": 31}})");
    RemapDeviceLocation location{};
    EXPECT_TRUE(ReadRemapDeviceLocation(location, Controller(0), kSsdPort).IsError());
}

} // namespace
