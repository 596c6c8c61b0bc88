#include <gtest/gtest.h>

#include "sim/DescriptionValues.h"

namespace {

using json = sim::Value;

TEST(DescriptionValues, NumbersInEveryFormADescriptionMayUse) {
    struct Case {
        json value;
        std::optional<uint64_t> expected;
    };
    const std::vector<Case> cases = {
        {512, 512},
        {-1, UINT64_MAX},
        {true, 1},
        {false, 0},
        {2.0, 2},
        {"0x1F4A", 0x1F4A},
        {"512", 512},
        {"-1", UINT64_MAX},
        {"", std::nullopt},
        {"12abc", std::nullopt},
        {json(), std::nullopt},
        {json::object(), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sim::ParseDescNumber(c.value), c.expected) << c.value.dump();

    const json object = {{"size", "0x200"}, {"bad", "x"}, {"on", true}, {"name", "disk"}};
    EXPECT_EQ(sim::DescNumber(object, "size"), 0x200u);
    EXPECT_EQ(sim::DescNumber(object, "bad", 7), 7u);
    EXPECT_EQ(sim::DescNumber(object, "missing", 9), 9u);
    EXPECT_EQ(sim::DescNumber(json::array(), "size", 3), 3u);
    EXPECT_TRUE(sim::DescFlag(object, "on"));
    EXPECT_EQ(sim::DescText(object, "name"), "disk");
    EXPECT_EQ(sim::DescText(object, "on", "none"), "none");
}

TEST(DescriptionValues, HexBytesAllowSpacesAndRefuseAnythingElse) {
    EXPECT_EQ(sim::ParseDescHex("01 aB\nff"), (std::vector<uint8_t>{0x01, 0xAB, 0xFF}));
    EXPECT_EQ(sim::ParseDescHex(""), std::vector<uint8_t>{});
    EXPECT_FALSE(sim::ParseDescHex("abc"));
    EXPECT_FALSE(sim::ParseDescHex("0x12"));
    EXPECT_FALSE(sim::ParseDescHex("zz"));
}

} // namespace
