#include <gtest/gtest.h>

#include <stdexcept>

#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace {

TEST(MachineBuilder, EditsComposeOnTheDescriptionText) {
    auto text = sim::MachineBuilder("m")
                    .Set("/disks", R"([{"sectors": 8}])")
                    .Append("/disks", R"({"sectors": 16})")
                    .Merge(R"({"os": {"elevated": false}, "name": null})")
                    .Remove("/disks/0")
                    .Text();
    EXPECT_EQ(text, R"({"disks":[{"sectors":16}],"os":{"elevated":false}})");
}

TEST(MachineBuilder, RefusesBadTextAndMissingTargets) {
    sim::MachineBuilder b;
    EXPECT_THROW(b.Merge("{"), std::invalid_argument);
    EXPECT_THROW(b.Remove("/nothing"), std::invalid_argument);
    EXPECT_THROW(b.Append("/name", "1"), std::invalid_argument);
    EXPECT_EQ(b.Text(), R"({"name":"test"})");
}

TEST(MachineBuilder, SharedDescriptionsLoadByName) {
    auto b = sim::MachineBuilder::FromFile("raid-demo.json");
    EXPECT_NE(b.Text().find("\"name\""), std::string::npos);
    sim::ScopedMachine machine(b.Set("/name", R"("edited")"));
    EXPECT_FALSE(machine.stateDir().empty());
}

} // namespace
