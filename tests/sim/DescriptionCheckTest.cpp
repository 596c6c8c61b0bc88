#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace {

// The message a description is refused with, or "" when it loads.
std::string Refusal(const sim::MachineBuilder& description) {
    try {
        sim::ScopedMachine machine(description);
        return "";
    } catch (const std::runtime_error& e) {
        return e.what();
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
}

TEST(DescriptionCheck, EveryShippedMachineLoads) {
    int machines = 0;
    for (const auto& entry : std::filesystem::directory_iterator(sim::MachinesDir())) {
        if (entry.path().extension() != ".json")
            continue;
        ++machines;
        EXPECT_EQ(Refusal(sim::MachineBuilder::FromFile(entry.path())), "") << entry.path();
    }
    EXPECT_GT(machines, 3);
    EXPECT_EQ(Refusal(sim::MachineBuilder::Default()), "");
}

// A machine with one RAID controller whose "raid" section is `raid`.
sim::MachineBuilder Raid(const char* raid) {
    return sim::MachineBuilder("m")
        .Append("/adapters", R"({"port": 0, "driver": "moxraid"})")
        .Set("/adapters/0/raid", raid);
}

TEST(DescriptionCheck, RefusesWhatWouldLoadWrongWithPointerAndProblem) {
    struct Case {
        const char* name;
        sim::MachineBuilder description;
        const char* pointer;
        const char* problem;
    };
    const auto disk = [](const char* json) {
        return sim::MachineBuilder("m").Append("/adapters", R"({"port": 0})").Append("/disks", json);
    };
    const Case cases[] = {
        {"misspelt key", disk(R"({"device_number": 0, "port": 0, "sectorz": 100})"), "/disks/0/sectorz",
         "unknown key \"sectorz\""},
        {"fraction", disk(R"({"device_number": 0, "port": 0, "sectors": -1.5})"), "/disks/0/sectors",
         "expected a whole number"},
        {"negative", disk(R"({"device_number": 0, "port": 0, "sectors": -1})"), "/disks/0/sectors",
         "number -1 out of range"},
        {"too large", disk(R"({"device_number": 0, "port": 0, "logical_sector_size": 1048576})"),
         "/disks/0/logical_sector_size", "number 1048576 out of range"},
        {"wrong type", disk(R"({"device_number": 0, "port": 0, "model": 7})"), "/disks/0/model",
         "expected a text, found a number"},
        {"text that is no number", disk(R"({"device_number": "zero", "port": 0})"), "/disks/0/device_number",
         "expected a number"},
        {"disk naming a missing controller", disk(R"({"device_number": 0, "port": 3})"), "/disks/0/port",
         "no adapter has port 3"},
        {"volume naming a missing disk",
         disk(R"({"device_number": 0, "port": 0})").Append("/volumes", R"({"letter": "C", "disk": 4})"),
         "/volumes/0/disk", "no disk has device number 4"},
        {"unknown section", sim::MachineBuilder("m").Set("/diskz", "[]"), "/diskz", "unknown section"},
        {"unknown nested key", sim::MachineBuilder("m").Set("/os", R"({"elevated": true, "elevate": 1})"),
         "/os/elevate", "unknown key"},
        {"device below a missing parent",
         sim::MachineBuilder("m").Set("/devices", R"({"nodes": [{"id": "PCI\\A", "parent": "PCI\\B"}]})"),
         "/devices/nodes/0/parent", "no node has the id"},
        {"unknown device property",
         sim::MachineBuilder("m").Set("/devices",
                                      R"({"nodes": [{"id": "PCI\\A", "properties": {"DevicDesc": "x"}}]})"),
         "/devices/nodes/0/properties/DevicDesc", "no property is named \"DevicDesc\""},
        {"number property given as bad text",
         sim::MachineBuilder("m").Set("/devices",
                                      R"({"nodes": [{"id": "PCI\\A", "properties": {"Address": "0xZZ"}}]})"),
         "/devices/nodes/0/properties/Address", "not a number: \"0xZZ\""},
        {"typed property value of the wrong form",
         sim::MachineBuilder("m").Set(
             "/devices",
             R"({"nodes": [{"id": "PCI\\A", "properties": {"{3ab22e31-8264-4b4e-9af5-a8d2d8e33e62},40": 7}}]})"),
         "/devices/nodes/0/properties/{3ab22e31-8264-4b4e-9af5-a8d2d8e33e62},40", "give the bytes"},
        {"more volumes than the driver's table holds",
         Raid(R"({"volumes": [{"name": "V0"}, {"name": "V1"}, {"name": "V2"}, {"name": "V3"}, {"name": "V4"},
                              {"name": "V5"}, {"name": "V6"}, {"name": "V7"}, {"name": "V8"}]})"),
         "/adapters/0/raid/volumes", "9 volumes; the driver's volume table holds 8"},
        {"more arrays than the driver's table holds",
         Raid(R"({"arrays": [{}, {}, {}, {}, {}, {}, {}, {}, {}]})"), "/adapters/0/raid/arrays",
         "9 arrays; the driver's array table holds 8"},
        {"array member outside the disk table", Raid(R"({"arrays": [{"disks": [1]}]})"),
         "/adapters/0/raid/arrays/0/disks/0", "no disk 1 in the driver's disk table"},
        {"volume on a missing array", Raid(R"({"arrays": [], "volumes": [{"name": "V", "array": 0}]})"),
         "/adapters/0/raid/volumes/0/array", "no array 0 on this controller"},
        {"volume larger than its members allow",
         Raid(
             R"({"disks": [{"path": 0, "target": 2}, {"path": 0, "target": 3}], "arrays": [{"disks": [0, 1]}],
                  "volumes": [{"name": "V", "level": 0, "size_mb": 1000, "array": 0}]})")
             .Append("/disks", R"({"port": 0, "path": 0, "target": 2, "model": "A", "sectors": 1000000})")
             .Append("/disks", R"({"port": 0, "path": 0, "target": 3, "model": "B", "sectors": 1000000})"),
         "/adapters/0/raid/volumes/0/size_mb", "larger than the members of array 0 allow"},
        {"pairing state with no pairing",
         sim::MachineBuilder("m").Append("/adapters", R"({"port": 0, "volume_port": {"state_word": 2}})"),
         "/adapters/0/volume_port/state_word", "a pairing state with no pairing"},
        {"service dependency cycle", sim::MachineBuilder("m").Set("/registry/keys", R"({
             "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Alpha":
                 {"Type": {"type": "REG_DWORD", "data": 16},
                  "DependOnService": {"type": "REG_MULTI_SZ", "data": ["Beta"]}},
             "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Beta":
                 {"Type": {"type": "REG_DWORD", "data": 16},
                  "DependOnService": {"type": "REG_MULTI_SZ", "data": ["+Group", "alpha"]}}})"),
         "/registry/keys/HKLM\\SYSTEM\\CurrentControlSet\\Services\\Alpha/DependOnService",
         "the services depend on each other in a cycle: alpha -> beta -> alpha"},
        {"bad fault rule",
         sim::MachineBuilder("m").Append("/faults",
                                         R"({"kind": "DeviceIoControl", "outcome": {"win32": 5}})"),
         "/faults/0/outcome/win32", "unknown key"},
    };
    for (const auto& c : cases) {
        const std::string message = Refusal(c.description);
        EXPECT_NE(message.find("machine description"), std::string::npos) << c.name << ": " << message;
        EXPECT_NE(message.find(std::string(c.pointer) + ": " + c.problem), std::string::npos)
            << c.name << ": " << message;
    }
}

TEST(DescriptionCheck, AFileIsNamedInItsRefusal) {
    const auto file = std::filesystem::temp_directory_path() / "moxsim-bad-description.json";
    {
        std::FILE* f = std::fopen(file.c_str(), "w");
        ASSERT_TRUE(f);
        std::fputs(R"({"name": "bad", "disks": [{"sectorz": 1}]})", f);
        std::fclose(f);
    }
    try {
        sim::MachineBuilder::FromFile(file);
        ADD_FAILURE() << "loaded";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find(file.string() + ": /disks/0/sectorz: unknown key"),
                  std::string::npos)
            << e.what();
    }
    std::filesystem::remove(file);
}

TEST(DescriptionCheck, DeepNestingIsRefusedBeforeItIsParsed) {
    // Far deeper than a stack could take if parsing, copying or writing recursed into it.
    std::string deep = R"({"name": "m", "registry": {"keys": {"HKLM\\X": {"v": {"type": "REG_SZ", "data": )";
    deep += std::string(200000, '[') + std::string(200000, ']') + "}}}}}";
    EXPECT_THROW(sim::MachineBuilder::FromText(deep), std::invalid_argument);
    std::string fine = R"({"name": "m", "registry": {"keys": {"HKLM\\X": {"v": {"type": "REG_SZ", "data": )";
    fine += std::string(40, '[') + std::string(40, ']') + "}}}}}";
    EXPECT_EQ(Refusal(sim::MachineBuilder::FromText(fine)), "");
}

TEST(DescriptionCheck, UnfiredFaultRulesOfATestAreReported) {
    std::vector<std::string> reported;
    auto previous = sim::OnUnfiredFaults([&](const std::vector<std::string>& rules) { reported = rules; });
    {
        sim::ScopedMachine machine(sim::MachineBuilder("m"));
        machine->faults().Add({"CreateFile", {{"path", "\\\\.\\Nothing"}}, 0, 1, {{"win32_error", 5}}});
    }
    sim::OnUnfiredFaults(previous);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find("Nothing"), std::string::npos);
}

} // namespace
