#include <cstring>
#include <tuple>

#include <gtest/gtest.h>

#include "middleware/core/Registry.h"
#include "middleware/core/RegistrySettings.h"
#include "sim/Machine.h"
#include "sim/Registry.h"

namespace {

constexpr const char* kBexl = "SOFTWARE\\Orvex\\Bexl";
constexpr const char* kBexl32 = "HKLM\\SOFTWARE\\WOW6432Node\\Orvex\\Bexl";

sim::Value Description(sim::Value os = sim::Value::object()) {
    return {
        {"name", "registry"},
        {"os", os},
        {"registry",
         {{"keys",
           {{"HKLM\\SOFTWARE\\Orvex\\Bexl", {{"OemReservedVolume", {{"type", "REG_DWORD"}, {"data", 1}}}}},
            {kBexl32, {{"OemReservedVolume", {{"type", "REG_DWORD"}, {"data", 32}}}}}}}}}};
}

class RegistryTest : public ::testing::Test {
protected:
    sim::ScopedMachine machine{Description()};

    // The values written to the product settings key, in order.
    std::vector<sim::Value> Writes(const std::string& name) {
        std::vector<sim::Value> writes;
        for (const auto& entry : sim::registry::WriteLog())
            if (entry["op"] == "set_value" && entry["name"] == name)
                writes.push_back(entry["data"]);
        return writes;
    }
};

TEST_F(RegistryTest, QueryValueAsksForTheSizeAndRefusesSmallBuffers) {
    DWORD type = 0, length = 0;
    EXPECT_EQ(RegistryQueryValue(HKEY_LOCAL_MACHINE, kBexl, "OemReservedVolume", &type, nullptr, &length),
              ERROR_SUCCESS);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(type, REG_DWORD);

    uint8_t small[2] = {0x55, 0x66};
    length = sizeof small;
    EXPECT_EQ(RegistryQueryValue(HKEY_LOCAL_MACHINE, kBexl, "OemReservedVolume", &type, small, &length),
              ERROR_MORE_DATA);
    EXPECT_EQ(small[0], 0x55);
    EXPECT_EQ(small[1], 0x66);

    uint8_t large[8];
    std::memset(large, 0xEE, sizeof large);
    length = sizeof large;
    EXPECT_EQ(RegistryQueryValue(HKEY_LOCAL_MACHINE, kBexl, "OemReservedVolume", &type, large, &length),
              ERROR_SUCCESS);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(std::vector<uint8_t>(large, large + 8), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));

    EXPECT_EQ(RegistryQueryValue(HKEY_LOCAL_MACHINE, kBexl, "Missing", &type, large, &length),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegistryQueryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere", "X", &type, nullptr, &length),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, ReadsUseTheSixtyFourBitViewAndWritesOfSettingsTheThirtyTwoBitOne) {
    DWORD value = 0;
    EXPECT_EQ(RegistryReadDword(HKEY_LOCAL_MACHINE, kBexl, "OemReservedVolume", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(RegistryReadDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node\\Orvex\\Bexl", "OemReservedVolume",
                                &value),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 32u);
    EXPECT_EQ(RegistryReadDword(HKEY_LOCAL_MACHINE, kBexl, "Missing", &value), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(WriteProductSettingDword("HalvexStatus", 3), ERROR_SUCCESS);
    sim::Value stored;
    ASSERT_EQ(sim::registry::QueryValue(kBexl32, "HalvexStatus", &stored), ERROR_SUCCESS);
    EXPECT_EQ(stored["data"], 3);
    EXPECT_EQ(sim::registry::QueryValue("HKLM\\SOFTWARE\\Orvex\\Bexl", "HalvexStatus", &stored),
              ERROR_FILE_NOT_FOUND);
}

TEST(RegistryMachine, WindowsTwoThousandOpensWithoutAView) {
    for (auto [major, minor, viewed] : {std::tuple{5u, 0u, false}, {5u, 1u, true}, {10u, 0u, true}}) {
        sim::ScopedMachine machine(Description({{"version", {{"major", major}, {"minor", minor}}}}));
        HKEY key = nullptr;
        ASSERT_EQ(RegistryOpenKey(HKEY_LOCAL_MACHINE, kBexl, 0, KEY_READ, &key), ERROR_SUCCESS);
        RegCloseKey(key);
        auto opens = machine->calls().Of("RegOpenKeyEx");
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(opens[0].selectors["access"], viewed ? KEY_READ | KEY_WOW64_64KEY : KEY_READ)
            << major << minor;
    }
}

TEST_F(RegistryTest, WriteValueCreatesMissingKeysAndNullDataWritesNothing) {
    EXPECT_EQ(RegistryWriteValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex\\Xqjd", "Unused", REG_DWORD, nullptr, 0,
                                 KEY_ALL_ACCESS),
              ERROR_SUCCESS);
    EXPECT_TRUE(sim::registry::KeyExists("HKLM\\SOFTWARE\\Orvex\\Xqjd"));
    EXPECT_EQ(sim::registry::QueryValue("HKLM\\SOFTWARE\\Orvex\\Xqjd", "Unused", nullptr),
              ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegistryWriteDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex\\Bexl\\VolumeFlushPolicies",
                                 "Volume_0000", 1, KEY_ALL_ACCESS),
              ERROR_SUCCESS);
    DWORD value = 0;
    EXPECT_EQ(RegistryReadDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex\\Bexl\\VolumeFlushPolicies",
                                "Volume_0000", &value),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(
        RegistryDeleteValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex\\Bexl\\VolumeFlushPolicies", "Volume_0000"),
        ERROR_SUCCESS);
    EXPECT_EQ(
        RegistryDeleteValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvex\\Bexl\\VolumeFlushPolicies", "Volume_0000"),
        ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegistryDeleteValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere", "X"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, CachedSettingWritesOnlyAChangedValue) {
    CachedRegistrySetting status("HalvexStatus");
    EXPECT_EQ(status.setDword(5), ERROR_SUCCESS);
    EXPECT_EQ(status.setDword(5), ERROR_SUCCESS);
    EXPECT_EQ(Writes("HalvexStatus"), (std::vector<sim::Value>{5}));

    machine->faults().Add(
        sim::FaultRule::FromJson({{"kind", "RegSetValueEx"}, {"outcome", {{"win32_error", 5}}}}));
    EXPECT_EQ(status.setDword(6), ERROR_ACCESS_DENIED);
    EXPECT_EQ(status.setDword(5), ERROR_SUCCESS); // still the cached value: nothing written
    EXPECT_EQ(status.setDword(6), ERROR_SUCCESS); // the failed write is tried again
    EXPECT_EQ(Writes("HalvexStatus"), (std::vector<sim::Value>{5, 6}));

    CachedRegistrySetting fresh("HalvexStatus");
    EXPECT_EQ(fresh.setDword(0xFFFFFFFF), ERROR_SUCCESS); // equals the empty cache: not written
    EXPECT_EQ(Writes("HalvexStatus").size(), 2u);
}

TEST_F(RegistryTest, ProcessWideSettingsWriteTheirOwnValues) {
    EXPECT_EQ(IsHalvexEnabledSetting().setBool(false), ERROR_SUCCESS);
    EXPECT_EQ(IsHalvexEnabledSetting().setBool(false), ERROR_SUCCESS);
    EXPECT_EQ(IsHalvexEnabledSetting().setBool(true), ERROR_SUCCESS);
    EXPECT_EQ(HalvexStatusSetting().setDword(2), ERROR_SUCCESS);
    EXPECT_EQ(Writes("IsHalvexEnabled"), (std::vector<sim::Value>{0, 1}));
    EXPECT_EQ(Writes("HalvexStatus"), (std::vector<sim::Value>{2}));
    EXPECT_EQ(&IsHalvexEnabledSetting(), &IsHalvexEnabledSetting());
    DWORD value = 0;
    EXPECT_EQ(RegistryReadDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node\\Orvex\\Bexl", "IsHalvexEnabled",
                                &value),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
}

TEST(RegistryMachine, ProductSettingWriteReportsARefusal) {
    sim::ScopedMachine machine(Description({{"elevated", false}}));
    EXPECT_EQ(WriteProductSettingDword("HalvexStatus", 1), ERROR_ACCESS_DENIED);
    CachedRegistrySetting status("HalvexStatus");
    EXPECT_EQ(status.setDword(1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(status.setDword(1), ERROR_ACCESS_DENIED);
}

} // namespace
