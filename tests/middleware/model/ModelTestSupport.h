#pragma once
// Topology model tests: each test runs on a simulated machine of its own, with the controller table
// built afresh for it (the build's own requests are not in the call log), and reads the requests the model
// sent from the machine's call log.
#include <memory>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Session.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace modeltest {

class ModelTest : public ::testing::Test {
protected:
    explicit ModelTest(const sim::MachineBuilder& machine = sim::MachineBuilder::Default())
        : machine_(machine) {
        DeviceLocator::ResetForTests();
        DeviceLocator table;
        ForgetCalls();
    }
    ~ModelTest() override { DeviceLocator::ResetForTests(); }

    void TearDown() override {
        EXPECT_EQ(machine_->faults().Pending(), 0u) << "an injected fault never fired";
    }

    // The controller table's record of a storage port; the test fails without one.
    HANDLE Controller(int port) {
        ControllerLocator* record = DeviceLocator::FindByPort(port);
        EXPECT_NE(record, nullptr) << "no controller on port " << port;
        return record;
    }

    // A fault rule as JSON text.
    void Inject(std::string_view ruleJson) { machine_->faults().Add(ruleJson); }
    // Device calls whose selectors hold all of the given ones.
    size_t Sent(std::string_view selectorsJson) {
        return machine_->calls().CountMatching("DeviceIoControl", selectorsJson);
    }
    size_t Opened(std::string_view selectorsJson) {
        return machine_->calls().CountMatching("CreateFile", selectorsJson);
    }
    void ForgetCalls() { machine_->calls().Clear(); }

    sim::ScopedMachine machine_;
};

// Builds a session of the machine and finds its controller on storage port 0.
inline void SessionOnPortZero(std::unique_ptr<Session>& session, std::shared_ptr<::Controller>& portZero) {
    Session* built = nullptr;
    CConsolidatedError error = Session::Create(built, nullptr);
    session.reset(built);
    ASSERT_TRUE(session) << error.GetErrorMessage();
    for (const auto& c : session->getControllers())
        if (c->getPortNumber() == 0)
            portZero = c;
    ASSERT_TRUE(portZero);
}

} // namespace modeltest
