#include <stdexcept>

#include <gtest/gtest.h>

#include "sim/DeviceTree.h"
#include "sim/Machine.h"

namespace {

using json = sim::Value;

const json kState = json::parse(R"json({
  "devices": { "nodes": [
    { "id": "PCI\\VEN_1111&DEV_2222\\3&1&0&B8",
      "interfaces": [ { "class": "{2ACCFE60-C130-11D2-B082-00A0C91EFB8B}" },
                      { "class": "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", "path": "\\\\?\\Explicit#Path" } ] },
    { "id": "SCSI\\Disk&Ven_A\\4&1&0&000000", "pending": true,
      "interfaces": [ { "class": "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}" } ] }
  ] }
})json");

TEST(DeviceTree, InterfacePathsLeadToTheirDevices) {
    EXPECT_EQ(sim::devices::InterfacePath("SCSI\\Disk&Ven_A\\4&1&0&000000",
                                          "{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}", "Ref"),
              "\\\\?\\scsi#disk&ven_a#4&1&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}\\ref");
    EXPECT_EQ(sim::devices::DeviceOfInterface(
                  kState, "\\\\?\\PCI#VEN_1111&DEV_2222#3&1&0&B8#{2accfe60-c130-11d2-b082-00a0c91efb8b}"),
              "PCI\\VEN_1111&DEV_2222\\3&1&0&B8");
    EXPECT_EQ(sim::devices::DeviceOfInterface(kState, "\\\\?\\explicit#path"),
              "PCI\\VEN_1111&DEV_2222\\3&1&0&B8");
    // A pending device has no interfaces yet.
    EXPECT_FALSE(sim::devices::DeviceOfInterface(
        kState, "\\\\?\\scsi#disk&ven_a#4&1&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"));
    EXPECT_FALSE(sim::devices::DeviceOfInterface(json::object(), "\\\\?\\explicit#path"));

    ASSERT_TRUE(sim::devices::HasNode(kState, "pci\\ven_1111&dev_2222\\3&1&0&b8"));
    EXPECT_FALSE(sim::devices::HasNode(kState, "SCSI\\Disk&Ven_A\\4&1&0&000000"));
    EXPECT_FALSE(sim::devices::HasNode(kState, "HTREE\\ROOT\\0"));
}

TEST(DeviceTree, MalformedPropertiesAreRefusedAtLoadAndReportedByName) {
    const json properties[] = {json::parse(R"({ "Sevrice": "x" })"),
                               json::parse(R"({ "Address": "twelve" })"),
                               json::parse(R"({ "{3ab22e31-8264-4b4e-9af5-a8d2d8e33e62},40": 5 })")};
    const char* refusals[] = {"/devices/nodes/0/properties/Sevrice: no property is named \"Sevrice\"",
                              "/devices/nodes/1/properties/Address: not a number: \"twelve\"",
                              "/devices/nodes/2/properties/{3ab22e31-8264-4b4e-9af5-a8d2d8e33e62},40: give "
                              "the bytes of a value of type 0"};
    json described = json::parse(R"json({ "devices": { "nodes": [
      { "id": "A\\B\\0" }, { "id": "A\\B\\1" }, { "id": "A\\B\\2" } ] } })json");
    for (size_t i = 0; i < 3; ++i)
        described["devices"]["nodes"][i]["properties"] = properties[i];
    try {
        sim::ScopedMachine refused(described);
        ADD_FAILURE() << "loaded";
    } catch (const std::runtime_error& e) {
        for (const char* refusal : refusals)
            EXPECT_NE(std::string(e.what()).find(refusal), std::string::npos) << e.what();
    }

    // A change made in the process, past the load checks, is still reported by name when read.
    sim::ScopedMachine machine(json::parse(R"json({ "devices": { "nodes": [
      { "id": "A\\B\\0" }, { "id": "A\\B\\1" }, { "id": "A\\B\\2" } ] } })json"));
    for (size_t i = 0; i < 3; ++i)
        machine->SetValue("/devices/nodes/" + std::to_string(i) + "/properties", properties[i]);
    const std::vector<std::string> errors = {"devices: unknown property name Sevrice",
                                             "devices: not a number: \"twelve\"",
                                             "devices: give the bytes of a value of type 0"};
    for (DEVINST dn = 2; dn <= 4; ++dn) {
        sim::devices::PropertyValue v;
        try {
            const DEVPROPKEY key = dn == 4 ? DEVPROPKEY{kDevPropSetPciDevice, 40} : DEVPKEY_Device_Address;
            sim::devices::NodeProperty(dn, key, true, v);
            ADD_FAILURE() << dn;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), errors[dn - 2]);
        }
    }
}

} // namespace
