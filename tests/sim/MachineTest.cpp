#include <fstream>

#include <gtest/gtest.h>

#include "sim/Machine.h"
#include "tests/support/ChildProcess.h"

namespace {

sim::Value Tiny() {
    return {{"name", "tiny"}, {"test", {{"greeting", "hello"}}}};
}

TEST(Machine, FreshStateStartsFromTheDescriptionAndKeepsChanges) {
    sim::ScopedMachine m(Tiny());
    EXPECT_EQ(m->Snapshot()["test"]["greeting"], "hello");
    m->Update([](sim::Value& s) { s["test"]["greeting"] = "changed"; });

    // A second opening of the same directory finds the change, not the description.
    auto again = sim::Machine::Open(m.stateDir(), Tiny());
    EXPECT_EQ(again->Snapshot()["test"]["greeting"], "changed");
}

TEST(Machine, AFailedChangeLeavesTheStateAsItWas) {
    sim::ScopedMachine m(Tiny());
    EXPECT_THROW(m->Update([](sim::Value& s) {
        s["test"]["greeting"] = "half-done";
        throw std::runtime_error("fail");
    }),
                 std::runtime_error);
    EXPECT_EQ(m->Snapshot()["test"]["greeting"], "hello");
    auto again = sim::Machine::Open(m.stateDir(), Tiny());
    EXPECT_EQ(again->Snapshot()["test"]["greeting"], "hello");
}

TEST(Machine, AnotherProcessSeesChangesAndItsChangesAreSeen) {
    sim::ScopedMachine m(Tiny());
    m->Update([](sim::Value& s) { s["test"]["from"] = "parent"; });
    auto got = moxtest::RunChild({"sim-get", "from"});
    EXPECT_EQ(got.exitCode, 0);
    EXPECT_EQ(got.output, "parent\n");

    EXPECT_EQ(moxtest::RunChild({"sim-set", "from", "child"}).exitCode, 0);
    EXPECT_EQ(m->Snapshot()["test"]["from"], "child");
}

TEST(Machine, EachOpeningSeesTheOthersChangeAtItsNextRead) {
    // Two openings of one directory keep documents of their own, as two processes do; each read
    // after the other's change, and after one that failed halfway, finds the state as it is.
    sim::ScopedMachine m(Tiny());
    auto other = sim::Machine::Open(m.stateDir(), Tiny());
    for (const char* text : {"one", "two", "three"}) {
        EXPECT_EQ(m->At("/test/greeting"), other->At("/test/greeting"));
        other->SetValue("/test/greeting", text);
        EXPECT_EQ(m->At("/test/greeting"), text);
        m->SetValue("/test/greeting", std::string(text) + "!");
        EXPECT_EQ(other->At("/test/greeting"), std::string(text) + "!");
    }
    EXPECT_THROW(other->Update([](sim::Value& s) {
        s["test"]["greeting"] = "half-done";
        throw std::runtime_error("fail");
    }),
                 std::runtime_error);
    EXPECT_EQ(other->At("/test/greeting"), "three!");
    EXPECT_EQ(m->At("/test/greeting"), "three!");
}

TEST(Machine, ConcurrentChangesFromSeveralProcessesAreNotLost) {
    sim::ScopedMachine m(Tiny());
    moxtest::Child a({"sim-add", "50"});
    moxtest::Child b({"sim-add", "50"});
    for (int i = 0; i < 50; ++i)
        m->Update([](sim::Value& s) { s["test"]["n"] = s["test"].value("n", 0) + 1; });
    EXPECT_EQ(a.Wait(), 0);
    EXPECT_EQ(b.Wait(), 0);
    EXPECT_EQ(m->Snapshot()["test"]["n"], 150);
}

TEST(Machine, DamagedDescriptionIsAClearError) {
    sim::ScopedMachine m(Tiny());
    auto file = m.stateDir() / "bad.json";
    std::ofstream(file) << "{ not json";
    try {
        sim::MachineBuilder::FromFile(file);
        FAIL() << "expected an error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("bad.json"), std::string::npos);
    }
    EXPECT_THROW(sim::MachineBuilder::FromFile(m.stateDir() / "missing.json"), std::runtime_error);
}

TEST(Machine, ScopedMachineIsCurrentAndNamedForChildren) {
    sim::ScopedMachine m(Tiny());
    EXPECT_EQ(&sim::Current(), &m.machine());
    EXPECT_EQ(std::string(std::getenv("MOX_SIM_STATE")), m.stateDir().string());
}

TEST(Machine, DescriptionFaultsAreLoaded) {
    auto d = Tiny();
    d["faults"] = {{{"kind", "DeviceIoControl"}, {"times", -1}, {"outcome", {{"win32_error", 31}}}}};
    sim::ScopedMachine m(d);
    auto outcome = m->faults().Check("DeviceIoControl", sim::Value::object());
    ASSERT_TRUE(outcome);
    EXPECT_EQ((*outcome)["win32_error"], 31);
}

TEST(Machine, DefaultDescriptionParses) {
    EXPECT_EQ(sim::MachineBuilder::Default().AsValue()["name"], "default");
}

} // namespace
