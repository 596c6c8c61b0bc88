#include <gtest/gtest.h>

#include "sim/CallLog.h"
#include "sim/Faults.h"

namespace {

using nlohmann::json;

TEST(Faults, FiresOnlyOnMatchingCallsAndAsOftenAsAsked) {
    struct Case {
        const char* name;
        sim::FaultRule rule;
        std::vector<bool> expected; // fired or not, for five matching calls
    };
    const std::vector<Case> cases = {
        {"once",
         {"Io", {{"code", "0x4D014"}}, 0, 1, {{"win32_error", 170}}},
         {true, false, false, false, false}},
        {"twice",
         {"Io", {{"code", 315412}}, 0, 2, {{"win32_error", 170}}},
         {true, true, false, false, false}},
        {"always",
         {"Io", {{"code", 0x4D014}}, 0, -1, {{"win32_error", 170}}},
         {true, true, true, true, true}},
        {"after two",
         {"Io", {{"code", 0x4D014}}, 2, 1, {{"win32_error", 170}}},
         {false, false, true, false, false}},
    };
    for (const auto& c : cases) {
        sim::Faults faults;
        faults.Add(c.rule);
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_FALSE(faults.Check("Other", {{"code", 0x4D014}})) << c.name;
            EXPECT_FALSE(faults.Check("Io", {{"code", 1}})) << c.name;
            auto got = faults.Check("Io", {{"code", 0x4D014}, {"path", "x"}});
            EXPECT_EQ(got.has_value(), c.expected[i]) << c.name << " call " << i;
            if (got) {
                EXPECT_EQ((*got)["win32_error"], 170);
            }
        }
    }
}

TEST(Faults, FirstFiringRuleWinsAndSpentRulesStepAside) {
    sim::Faults faults;
    faults.Add({"Open", {{"path", "\\\\.\\Scsi0:"}}, 0, 1, {{"win32_error", 2}}});
    faults.Add({"Open", {}, 0, -1, {{"win32_error", 5}}});
    EXPECT_EQ((*faults.Check("Open", {{"path", "\\\\.\\SCSI0:"}}))["win32_error"], 2); // names ignore case
    EXPECT_EQ((*faults.Check("Open", {{"path", "\\\\.\\Scsi0:"}}))["win32_error"], 5);
    EXPECT_EQ(faults.Pending(), 1u);
    faults.Clear();
    EXPECT_FALSE(faults.Check("Open", {{"path", "x"}}));
}

TEST(Faults, RuleFromJson) {
    auto r = sim::FaultRule::FromJson(json::parse(
        R"({"kind":"DeviceIoControl","match":{"signature":"OrvexRdp"},"times":3,"outcome":{"x":1}})"));
    EXPECT_EQ(r.kind, "DeviceIoControl");
    EXPECT_EQ(r.times, 3);
    EXPECT_EQ(r.skip, 0);
    EXPECT_EQ(r.match["signature"], "OrvexRdp");
    EXPECT_THROW(sim::FaultRule::FromJson(json::object()), json::exception);
}

TEST(CallLog, KeepsCallsInOrderWithTheirInput) {
    sim::CallLog log;
    log.Keep(100);
    log.Record("A", {{"n", 1}}, std::vector<uint8_t>{1, 2, 3});
    log.Record("B", {{"n", 2}});
    log.Record("A", {{"n", 3}});
    ASSERT_EQ(log.Count("A"), 2u);
    auto a = log.Of("A");
    EXPECT_EQ(a[0].input, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(a[1].selectors["n"], 3);
    EXPECT_EQ(log.All().size(), 3u);
    log.Clear();
    EXPECT_EQ(log.All().size(), 0u);
}

} // namespace
