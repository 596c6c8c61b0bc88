#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "sim/CallLog.h"
#include "sim/Faults.h"

namespace {

using json = sim::Value;

TEST(Faults, FiresOnlyOnMatchingCallsAndAsOftenAsAsked) {
    struct Case {
        const char* name;
        sim::FaultRule rule;
        std::vector<bool> expected; // fired or not, for five matching calls
    };
    const std::vector<Case> cases = {
        {"once",
         {"DeviceIoControl", {{"code", "0x4D014"}}, 0, 1, {{"win32_error", 170}}},
         {true, false, false, false, false}},
        {"twice",
         {"DeviceIoControl", {{"code", 315412}}, 0, 2, {{"win32_error", 170}}},
         {true, true, false, false, false}},
        {"always",
         {"DeviceIoControl", {{"code", 0x4D014}}, 0, -1, {{"win32_error", 170}}},
         {true, true, true, true, true}},
        {"after two",
         {"DeviceIoControl", {{"code", 0x4D014}}, 2, 1, {{"win32_error", 170}}},
         {false, false, true, false, false}},
    };
    for (const auto& c : cases) {
        sim::Faults faults;
        faults.Add(c.rule);
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_FALSE(faults.Check("ReadFile", {{"code", 0x4D014}})) << c.name;
            EXPECT_FALSE(faults.Check("DeviceIoControl", {{"code", 1}})) << c.name;
            auto got = faults.Check("DeviceIoControl", {{"code", 0x4D014}, {"path", "x"}});
            EXPECT_EQ(got.has_value(), c.expected[i]) << c.name << " call " << i;
            if (got) {
                EXPECT_EQ((*got)["win32_error"], 170);
            }
        }
    }
}

TEST(Faults, FirstFiringRuleWinsAndSpentRulesStepAside) {
    sim::Faults faults;
    faults.Add({"CreateFile", {{"path", "\\\\.\\Scsi0:"}}, 0, 1, {{"win32_error", 2}}});
    faults.Add({"CreateFile", {}, 0, -1, {{"win32_error", 5}}});
    EXPECT_EQ((*faults.Check("CreateFile", {{"path", "\\\\.\\SCSI0:"}}))["win32_error"],
              2); // names ignore case
    EXPECT_EQ((*faults.Check("CreateFile", {{"path", "\\\\.\\Scsi0:"}}))["win32_error"], 5);
    EXPECT_EQ(faults.Pending(), 1u);
    faults.Clear();
    EXPECT_FALSE(faults.Check("CreateFile", {{"path", "x"}}));
}

TEST(Faults, RuleFromJson) {
    auto r = sim::FaultRule::FromJson(json::parse(
        R"({"kind":"DeviceIoControl","match":{"signature":"OrvexRdp"},"times":3,"outcome":{"win32_error":1}})"));
    EXPECT_EQ(r.kind, "DeviceIoControl");
    EXPECT_EQ(r.times, 3);
    EXPECT_EQ(r.skip, 0);
    EXPECT_EQ(r.match["signature"], "OrvexRdp");
    EXPECT_THROW(sim::FaultRule::FromJson(json::object()), std::runtime_error);
}

TEST(Faults, RulesNamingWhatNoCallHasAreRefused) {
    struct Case {
        const char* rule;
        const char* problem;
    };
    const Case cases[] = {
        {R"({"kind":"DeviceIoControll","outcome":{"win32_error":1}})",
         "unknown fault kind \"DeviceIoControll\""},
        {R"({"kind":"DeviceIoControl","match":{"cod":1}})",
         "/match/cod: the kind \"DeviceIoControl\" has no selector"},
        {R"({"kind":"DeviceIoControl","outcome":{"win32_eror":1}})", "/outcome/win32_eror: unknown key"},
        {R"({"kind":"DeviceIoControl","outcome":{"win32_error":-1}})",
         "/outcome/win32_error: number -1 out of range"},
        {R"({"kind":"CreateFile","times":1.5})", "/times: expected a whole number"},
        {R"({"kind":"CreateFile","tims":2})", "/tims: unknown key"},
    };
    for (const auto& c : cases) {
        try {
            sim::FaultRule::FromJson(json::parse(c.rule));
            ADD_FAILURE() << c.rule << " was taken";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.problem), std::string::npos) << e.what();
        }
    }
    sim::Faults faults;
    EXPECT_THROW(faults.Add({"NoSuchCall", {}, 0, 1, {}}), std::runtime_error);
    EXPECT_EQ(faults.Pending(), 0u);
}

TEST(Faults, ReportsRulesAddedThatNeverFired) {
    sim::Faults faults;
    faults.Add({"CreateFile", {{"path", "a"}}, 0, 1, {{"win32_error", 2}}});
    faults.Add({"CreateFile", {{"path", "b"}}, 0, 1, {{"win32_error", 2}}});
    faults.AddFromDescription({"CreateFile", {{"path", "c"}}, 0, 1, {{"win32_error", 2}}});
    faults.Check("CreateFile", {{"path", "a"}});
    auto unfired = faults.Unfired();
    ASSERT_EQ(unfired.size(), 1u);
    EXPECT_NE(unfired[0].find("\"b\""), std::string::npos);
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

TEST(CallLog, KeepsOnlyTheLatestCallsItIsToldTo) {
    sim::CallLog log;
    log.Keep(2);
    for (int n = 1; n <= 5; ++n)
        log.Record("A", {{"n", n}});
    auto kept = log.Of("A");
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].selectors["n"], 4);
    EXPECT_EQ(kept[1].selectors["n"], 5);
    log.Keep(0);
    log.Record("A", {{"n", 6}});
    EXPECT_EQ(log.All().size(), 0u);
}

} // namespace
