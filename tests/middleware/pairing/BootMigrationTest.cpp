#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/pairing/BootMigration.h"
#include "middleware/pairing/HalvexModuleSize.h"
#include "sim/Machine.h"
#include "sim/Registry.h"
#include "tests/middleware/pairing/CacheServiceTestMachine.h"

namespace {

TEST(GetBootMigrationProgress, FromTheCacheServicesCounters) {
    struct Case {
        const char* what;
        sim::MachineBuilder machine;
        int progress;
    } cases[] = {
        {"records half scanned", cachetest::Machine(R"({"state": 4, "boot": {"clusters_total": 100,
            "clusters_left": 0, "records_total": 100, "records_left": 50}})"),
         75},
        {"no boot-time migration", cachetest::Machine(R"({"state": 1})"), 100},
        {"no totals", cachetest::Machine(R"({"state": 4})"), -1},
        {"more left than in all", cachetest::Machine(R"({"state": 4, "boot": {"clusters_total": 10,
            "clusters_left": 30}})"),
         0},
        {"service down", cachetest::Machine().Set("/cache_service/listening", "false"), -1},
    };
    for (auto& c : cases) {
        sim::ScopedMachine machine(c.machine);
        testing::internal::CaptureStdout();
        EXPECT_EQ(GetBootMigrationProgress(), c.progress) << c.what;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.what;
    }
}

sim::MachineBuilder BootExecute(const std::string& listJson) {
    return sim::MachineBuilder("boot-execute")
        .Set("/registry/keys/HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager/BootExecute",
             R"({"type": "REG_MULTI_SZ", "data": )" + listJson + "}")
        .Set("/registry/keys/HKLM\\SYSTEM\\CurrentControlSet\\Services\\KeplinAfsService/BootMigrationPhase",
             R"({"type": "REG_DWORD", "data": 2})");
}

std::vector<std::string> BootExecuteList() {
    sim::Value value;
    sim::registry::QueryValue("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager", "BootExecute",
                              &value);
    return value["data"].get<std::vector<std::string>>();
}

size_t BootExecuteWrites() {
    size_t n = 0;
    for (const auto& entry : sim::registry::WriteLog())
        n += entry.value("op", "") == "set_value" && entry.value("name", "") == "BootExecute";
    return n;
}

TEST(RemoveBootMigration, DropsTheNativeProgramInAnyCaseAndKeepsTheRestAsWritten) {
    sim::ScopedMachine machine(
        BootExecute(R"(["AutoCheck AUTOCHK *", "KeplinAfsNATIVE.exe /boot", "Other.exe"])"));
    RemoveBootMigration();
    EXPECT_EQ(BootExecuteList(), (std::vector<std::string>{"AutoCheck AUTOCHK *", "Other.exe"}));
    EXPECT_EQ(BootExecuteWrites(), 1u);
    EXPECT_FALSE(sim::registry::QueryValue("HKLM\\SYSTEM\\CurrentControlSet\\Services\\KeplinAfsService",
                                           "BootMigrationPhase", nullptr) == 0);
}

TEST(RemoveBootMigration, AListWithoutTheProgramIsNotRewritten) {
    sim::ScopedMachine machine(BootExecute(R"(["autocheck autochk *"])"));
    RemoveBootMigration();
    EXPECT_EQ(BootExecuteList(), std::vector<std::string>{"autocheck autochk *"});
    EXPECT_EQ(BootExecuteWrites(), 0u);
}

TEST(RemoveBootMigration, WithoutTheListOrTheServiceKeyNothingFails) {
    sim::ScopedMachine machine(sim::MachineBuilder("empty"));
    RemoveBootMigration();
    EXPECT_EQ(BootExecuteWrites(), 0u);
}

TEST(GetHalvexModuleSize, FromThePairingsModuleDiskOrTheLargestValidDisk) {
    std::vector<uint8_t> paired(0x100, 0), unpaired(0x100, 0);
    paired[0x50] = 1;
    paired[0xE0] = 2;
    auto member = [](uint32_t index) {
        return std::function<bool(uint32_t)>([=](uint32_t a) { return a == index; });
    };
    struct Case {
        const char* what;
        HalvexModuleController controller;
        uint32_t code;
        uint64_t size;
    } cases[] = {
        {"paired: the first member of the pairing array with the flag clear",
         {paired,
          {{member(1), false, 111, true, 1000},
           {member(2), true, 222, true, 1000},
           {member(2), false, 333, false, 1},
           {member(2), false, 444, true, 1}}},
         0x20000000,
         333},
        {"paired: a member without a Windows view",
         {paired, {{member(2), false, 0, true, 5}}},
         0xA0070001,
         0},
        {"unpaired: the largest valid disk",
         {unpaired,
          {{nullptr, false, 0, true, 500}, {nullptr, false, 0, false, 900}, {nullptr, false, 0, true, 700}}},
         0x20000000,
         700},
        {"unpaired: no disks", {unpaired, {}}, 0xA0070001, 0},
        {"no pairing answer: none valid", {{}, {{nullptr, false, 0, false, 900}}}, 0xA0070001, 0},
    };
    for (const auto& c : cases) {
        uint64_t size = 12345;
        const CConsolidatedError error = GetHalvexModuleSize(&c.controller, &size);
        EXPECT_EQ(error.GetErrorCode(), c.code) << c.what;
        if (c.code == 0x20000000) {
            EXPECT_EQ(size, c.size) << c.what;
        }
    }
    const CConsolidatedError null = GetHalvexModuleSize(nullptr, nullptr);
    EXPECT_EQ(null.GetErrorCode(), 0xA0000006u);
    EXPECT_STREQ(null.GetErrorMessage(), "Get Halvex module size: controller can't be null.");
}

} // namespace
