// The interface version store filled while the controller table is built: each interface asked
// once, after the interfaces it depends on, in the way its query kind asks; and the three checks on
// what the drivers answered.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/InterfaceVersionStoreQuery.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "tests/middleware/ioctl/TableTestSupport.h"

namespace {

using namespace tabletest;

struct EntryState {
    const char* signature;
    int32_t state;
    uint32_t major, minor;
};

void ExpectEntries(const ControllerLocator& record, const std::vector<EntryState>& expected) {
    const auto entries = IoctlInterfaceVersionStore::GetControllerVersions(record);
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(std::string("port ") + std::to_string(record.portNumber) + " " + expected[i].signature);
        EXPECT_EQ(entries[i].signature, expected[i].signature);
        EXPECT_EQ(entries[i].state, expected[i].state);
        EXPECT_EQ(entries[i].reportedMajor, expected[i].major);
        EXPECT_EQ(entries[i].reportedMinor, expected[i].minor);
    }
}

// The version requests one adapter received: signature and target word, in order.
std::vector<std::string> VersionRequests(sim::Machine& machine, int port) {
    std::vector<std::string> out;
    for (const sim::Call& c : MiniportCalls(machine, kIoctlInterfaceVersionCode))
        if (c.selectors.value("port", -1) == port) {
            char target[16];
            std::snprintf(target, sizeof(target), "%08X", c.selectors.value("target", 0u));
            out.push_back(c.selectors.value("signature", "") + "@" + target);
        }
    return out;
}

TEST(InterfaceVersionStoreBuild, EveryControllerIsAskedInDependencyOrder) {
    sim::ScopedMachine machine(ControllersMachine());
    DeviceLocator table;
    const ControllerLocator& sata = *DeviceLocator::FindByPort(0);
    const ControllerLocator& nvme = *DeviceLocator::FindByPort(1);
    const ControllerLocator& zrc = *DeviceLocator::FindByPort(2);
    const ControllerLocator& other = *DeviceLocator::FindByPort(3);

    ExpectEntries(sata, {{"OrvexATA", 1, 1, 0},
                         {"OrvexRmp", 1, 1, 5},
                         {"OrvexCST", 1, 1, 0},
                         {"OrvexFw ", 1, 1, 0},
                         {"OrvexNvm", 1, 0, 0}, // no NVMe device behind its remap port
                         {"OrvexRdp", 1, 1, 2},
                         {"OrvexVlp", 1, 1, 3},
                         {"CSMIALL", 1, 0, 81},
                         {"CSMISAS", 1, 0, 81}});
    ExpectEntries(nvme, {{"OrvexATA", 1, 1, 0},
                         {"OrvexRmp", 1, 1, 5},
                         {"OrvexCST", 1, 1, 0},
                         {"OrvexFw ", 1, 1, 0},
                         {"OrvexNvm", 1, 1, 2},
                         {"OrvexRdp", 1, 0, 0}, // the NVMe controller has no RAID interface
                         {"OrvexVlp", 1, 1, 3},
                         {"CSMIALL", 2, 0, 0},
                         {"CSMISAS", 3, 0, 0}});
    ExpectEntries(other, {{"OrvexATA", 3, 0, 0},
                          {"OrvexRmp", 2, 0, 0},
                          {"OrvexCST", 2, 0, 0},
                          {"OrvexFw ", 2, 0, 0},
                          {"OrvexNvm", 3, 0, 0},
                          {"OrvexRdp", 2, 0, 0},
                          {"OrvexVlp", 2, 0, 0},
                          {"CSMIALL", 2, 0, 0},
                          {"CSMISAS", 3, 0, 0}});

    // One request per interface; the ATA interface waits for the remap port and comes last, in the
    // second pass. The remapping controller is asked through the devices behind its remap port.
    EXPECT_EQ(VersionRequests(machine.machine(), 0),
              (std::vector<std::string>{"OrvexRmp@00000000", "OrvexCST@00000000", "OrvexFw @00000000",
                                        "OrvexRdp@00000000", "OrvexVlp@00000000", "OrvexATA@00000000"}));
    EXPECT_EQ(VersionRequests(machine.machine(), 1),
              (std::vector<std::string>{"OrvexRmp@00000000", "OrvexCST@00000000", "OrvexFw @00000000",
                                        "OrvexNvm@01000000", "OrvexVlp@00000000", "OrvexATA@00000000"}));
    EXPECT_EQ(VersionRequests(machine.machine(), 2),
              (std::vector<std::string>{"OrvexRmp@00000000", "OrvexCST@00000000", "OrvexFw @00000000",
                                        "OrvexNvm@02010000", "OrvexRdp@00000000", "OrvexVlp@00000000",
                                        "OrvexATA@02000000"}));

    struct Check {
        const ControllerLocator* record;
        const char* signature;
        bool supported;
    };
    for (const Check& c :
         {Check{&sata, "OrvexRdp", true}, Check{&sata, "OrvexNvm", false}, Check{&sata, "CSMISAS", true},
          Check{&sata, "OrvexFw ", true}, Check{&nvme, "OrvexRdp", false}, Check{&nvme, "OrvexNvm", true},
          Check{&zrc, "OrvexATA", true}, Check{&other, "OrvexRmp", false}}) {
        SCOPED_TRACE(std::to_string(c.record->portNumber) + " " + c.signature);
        EXPECT_EQ(IoctlInterfaceVersionStore::CheckInterfaceSupport(const_cast<ControllerLocator*>(c.record),
                                                                    c.signature),
                  c.supported);
        EXPECT_EQ(IoctlInterfaceVersionStore::CheckInterfaceSupport(c.record->deviceHandle, c.signature),
                  c.supported);
    }
    EXPECT_TRUE(IoctlInterfaceVersionStore::AllRequiredSupported(sata));
    EXPECT_TRUE(IoctlInterfaceVersionStore::AllRequiredSupported(zrc));
    EXPECT_FALSE(IoctlInterfaceVersionStore::AllRequiredSupported(other));
    EXPECT_TRUE(IoctlInterfaceVersionStore::CheckFeatureSupport(const_cast<ControllerLocator*>(&sata),
                                                                kFeatureAhciPortLocation));
}

// Registration outside a build: records of the test's own with the drivers' versions it chooses.
TEST(InterfaceVersionStoreBuild, ReportedVersionsAgainstExpectedOnes) {
    auto adapter = [](int port, json versions, bool csmi) {
        json a = {{"port", port}, {"driver", "moxraid"}, {"bus_type", 8}, {"interface_versions", versions}};
        if (csmi)
            a["csmi"] = {{"driver", {{"csmi_major", 0}, {"csmi_minor", 81}}}};
        return a;
    };
    json adapters = {adapter(0, {{"OrvexRdp", "1.7"}, {"OrvexRmp", "1.5"}}, true),
                     adapter(1, {{"OrvexRdp", "2.0"}, {"OrvexRmp", "1.3"}}, false),
                     adapter(2, {{"OrvexRmp", "2.4"}}, false), adapter(3, {{"OrvexRmp", nullptr}}, false),
                     adapter(4, json::object(), false)};
    sim::ScopedMachine machine(json{{"name", "versions"}, {"adapters", adapters}});
    // A busy driver is a failed query too.
    machine->faults().Add(sim::FaultRule{"DeviceIoControl", json{{"port", 4}, {"signature", "OrvexVlp"}}, 0,
                                         1, json{{"win32_error", 170}}});
    std::vector<ControllerLocator*> records;
    for (int port = 0; port < 5; ++port) {
        records.push_back(DeviceLocator::AppendRecord(OpenedRecord(port, kControllerSataRaid)));
        RegisterInterfaceVersions(*records.back());
    }
    IoctlInterfaceVersionStore::EndBuildBypass();

    struct Row {
        int port;
        bool raid;        // "OrvexRdp" expects 1.2
        bool feature0;    // "OrvexRmp" at 1.2 or later
        bool feature2;    // "OrvexRmp" at 1.4 or later
        bool allRequired; // "OrvexRmp" of major 1
        int32_t rmp, ata, nvm, vlp, csmiAll, csmiSas;
    };
    const Row rows[] = {
        {0, true, true, true, true, 1, 1, 1, 1, 1, 1},
        {1, false, true, false, true, 1, 1, 1, 1, 2, 3},
        {2, true, false, false, false, 1, 1, 1, 1, 2, 3},
        // Without the remap port interface the interfaces that depend on it are not asked.
        {3, true, false, false, false, 2, 3, 3, 1, 2, 3},
        {4, true, true, true, true, 1, 1, 1, 2, 2, 3},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("port " + std::to_string(r.port));
        ControllerLocator* record = records[r.port];
        EXPECT_EQ(IoctlInterfaceVersionStore::CheckInterfaceSupport(record, "OrvexRdp"), r.raid);
        EXPECT_EQ(IoctlInterfaceVersionStore::CheckFeatureSupport(record, kFeatureRemapDeviceInfo),
                  r.feature0);
        EXPECT_EQ(IoctlInterfaceVersionStore::CheckFeatureSupport(record, kFeatureAhciPortLocation),
                  r.feature2);
        EXPECT_EQ(IoctlInterfaceVersionStore::AllRequiredSupported(*record), r.allRequired);
        auto state = [&](const char* signature) {
            return IoctlInterfaceVersionStore::GetVersion(*record, signature).state;
        };
        EXPECT_EQ(state("OrvexRmp"), r.rmp);
        EXPECT_EQ(state("OrvexATA"), r.ata);
        EXPECT_EQ(state("OrvexNvm"), r.nvm);
        EXPECT_EQ(state("OrvexVlp"), r.vlp);
        EXPECT_EQ(state("CSMIALL"), r.csmiAll);
        EXPECT_EQ(state("CSMISAS"), r.csmiSas);
        EXPECT_EQ(IoctlInterfaceVersionStore::CheckInterfaceSupport(record, "CSMISAS"), r.csmiSas == 1);
    }
    // A controller is asked once: registering it again asks nothing.
    const size_t sent = MiniportCalls(machine.machine(), kIoctlInterfaceVersionCode).size();
    RegisterInterfaceVersions(*records[0]);
    EXPECT_EQ(MiniportCalls(machine.machine(), kIoctlInterfaceVersionCode).size(), sent);
}

} // namespace
