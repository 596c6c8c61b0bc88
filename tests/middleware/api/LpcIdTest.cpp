#include <string>

#include <gtest/gtest.h>

#include "middleware/api/UviApi.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace {

constexpr const char* kSystemClass = "{4d36e97d-e325-11ce-bfc1-08002be10318}";

std::string Node(const std::string& id, const std::string& address, bool present = true) {
    std::string escaped;
    for (char c : id)
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return R"({"id": ")" + escaped + R"(", "parent": "ACPI\\PNP0A08\\0", "class": ")" + kSystemClass +
           R"(", "present": )" + (present ? "true" : "false") + R"(, "properties": {"Address": ")" + address +
           R"("}})";
}

std::string MessageOf(const _UVI_Error& error) {
    char text[512] = {};
    UviGetErrorMessage(error.errorId, text, sizeof text);
    CleanupUviError(error.errorId);
    return text;
}

struct Case {
    const char* name;
    std::vector<std::string> nodes;
    uint32_t code;
    uint16_t id;
    const char* message;
};

TEST(GetLPCId, FirstCandidateAtDevice31Decides) {
    const std::string lpc = "PCI\\VEN_1F4A&DEV_A382&SUBSYS_7A211F4A&REV_11\\3&11583659&0&F8";
    const Case cases[] = {
        {"no candidate", {}, 0xA001000E, 0, "GetLPCId did not find any LPC device candidates"},
        {"the LPC controller", {Node(lpc, "0x1F0000")}, 0, 0xA382, ""},
        {"other vendor, other address, absent and non-hex ids are skipped",
         {Node("PCI\\VEN_8086&DEV_1111\\3&1&0&F8", "0x1F0000"),
          Node("PCI\\VEN_1F4A&DEV_2222\\3&1&0&F9", "0x1F0001"),
          Node("PCI\\VEN_1F4A&DEV_3333\\3&1&0&FA", "0x1F0000", false),
          Node("PCI\\VEN_1F4A&DEV_ZZZZ\\3&1&0&FB", "0x1F0000"), Node(lpc, "0x1F0000")},
         0,
         0xA382,
         ""},
        {"the first candidate has no device part",
         {Node("PCI\\VEN_1F4A&SUBSYS_7A211F4A\\3&1&0&F8", "0x1F0000"), Node(lpc, "0x1F0000")},
         0xA001000E,
         0,
         "GetLPCId did not find 'DEV_' section in hardware id:PCI\\VEN_1F4A&SUBSYS_7A211F4A\\3&1&0&F8"},
    };
    for (const Case& c : cases) {
        sim::MachineBuilder builder = sim::MachineBuilder::Default();
        for (const std::string& node : c.nodes)
            builder.Append("/devices/nodes", node);
        sim::ScopedMachine machine(builder);
        uint16_t id = 0x5555;
        const _UVI_Error error = GetLPCId(&id);
        EXPECT_EQ(error.code, c.code == 0 ? 0x20000000u : c.code) << c.name;
        EXPECT_EQ(id, c.code == 0 ? c.id : 0x5555) << c.name;
        if (c.code != 0) {
            EXPECT_EQ(MessageOf(error), c.message) << c.name;
        }
    }
}

TEST(GetLPCId, NullOutputIsRefused) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    const _UVI_Error error = GetLPCId(nullptr);
    EXPECT_EQ(error.code, 0xA0010002u);
    CleanupUviError(error.errorId);
}

} // namespace
