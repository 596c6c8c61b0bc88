#pragma once
// Controller tests: a simulated machine with the controller table built afresh, the Windows disk
// list of that machine, and controllers made by the factory from the table's records.
#include <memory>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/model/Controller.h"
#include "middleware/model/ControllerFactory.h"
#include "middleware/model/WinDiskList.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace modeltest {

// The default machine without pairing support: no pair candidates, whose disk checks would keep the
// disk service loaded for the rest of the process.
inline sim::MachineBuilder DefaultMachine() {
    return sim::MachineBuilder::Default().Set("/adapters/0/volume_port/supported", "false");
}

class ControllerFixture {
public:
    explicit ControllerFixture(const sim::MachineBuilder& machine) : machine_(machine) {
        DeviceLocator::ResetForTests();
        DeviceLocator table;
        static_cast<void>(winDisks_.Populate()); // always succeeds
        machine_->calls().Clear();
    }
    ~ControllerFixture() {
        EXPECT_EQ(machine_->faults().Pending(), 0u) << "an injected fault never fired";
        DeviceLocator::ResetForTests();
    }
    ControllerFixture(const ControllerFixture&) = delete;
    ControllerFixture& operator=(const ControllerFixture&) = delete;

    ControllerLocator* Record(int port) {
        ControllerLocator* record = DeviceLocator::FindByPort(port);
        EXPECT_NE(record, nullptr) << "no controller on port " << port;
        return record;
    }

    // The controller the factory makes of the port's record, not yet populated.
    std::unique_ptr<::Controller> Make(int port) {
        ControllerLocator* record = Record(port);
        return ControllerFactory(DeviceLocator::GetFlags(record), record,
                                 IoctlInterfaceVersionStore::AllRequiredSupported(*record));
    }

    // Made and populated; the test fails when the populate does.
    std::unique_ptr<::Controller> Populated(int port) {
        auto controller = Make(port);
        const CConsolidatedError result = controller->Populate(winDisks_);
        EXPECT_TRUE(result.IsSuccessful()) << std::hex << result.GetErrorCode() << " "
                                           << result.GetErrorMessage() << " " << result.GetDebugInformation();
        return controller;
    }

    void Inject(std::string_view ruleJson) { machine_->faults().Add(ruleJson); }
    size_t Sent(std::string_view selectorsJson) {
        return machine_->calls().CountMatching("DeviceIoControl", selectorsJson);
    }
    void ForgetCalls() { machine_->calls().Clear(); }
    const WinDiskList& WinDisks() const { return winDisks_; }

private:
    sim::ScopedMachine machine_;
    WinDiskList winDisks_{MakeWinDiskEnumerator()};
};

class ControllerTest : public ::testing::Test {
protected:
    explicit ControllerTest(const sim::MachineBuilder& machine = DefaultMachine()) : fixture_(machine) {}

    ControllerLocator* Record(int port) { return fixture_.Record(port); }
    std::unique_ptr<::Controller> Make(int port) { return fixture_.Make(port); }
    std::unique_ptr<::Controller> Populated(int port) { return fixture_.Populated(port); }
    void Inject(std::string_view ruleJson) { fixture_.Inject(ruleJson); }
    size_t Sent(const std::string& selectorsJson) { return fixture_.Sent(selectorsJson); }
    void ForgetCalls() { fixture_.ForgetCalls(); }
    const WinDiskList& WinDisks() const { return fixture_.WinDisks(); }

    ControllerFixture fixture_;
};

} // namespace modeltest
