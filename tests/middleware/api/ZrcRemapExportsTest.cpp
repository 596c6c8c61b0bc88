// The controller remap exports on the simulated PC with one controller of every kind: arguments,
// validation, lookups and the remap request they leave in the firmware variable.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/UviApi.h"
#include "middleware/core/HandleRegistry.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/DictionarySingleton.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHandler.h"
#include "middleware/model/SessionHolder.h"
#include "middleware/model/ZrcRemapAddress.h"
#include "sim/FirmwareVariables.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "sim/Os.h"

namespace {

constexpr const char* kGuid = "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}";
constexpr const char* kName = "OrvexZrcOsVariable";

using Words = std::vector<uint16_t>;

// The remap request with the control word and these locations, as the firmware keeps it.
sim::MachineBuilder Machine(const Words& scheduled) {
    std::string hex;
    char byte[3];
    for (unsigned i = 0; i < 64; ++i) {
        const unsigned word = i / 2;
        const uint16_t value = word == 0                  ? static_cast<uint16_t>(scheduled.size())
                               : word <= scheduled.size() ? scheduled[word - 1]
                                                          : 0;
        std::snprintf(byte, sizeof byte, "%02x", (i % 2 ? value >> 8 : value) & 0xFF);
        hex += byte;
    }
    return sim::MachineBuilder::FromFile("controllers.json")
        .Set("/firmware", std::string(R"({"variables": [{"name": ")") + kName + R"(", "guid": ")" + kGuid +
                              R"(", "hex": ")" + hex + "\"}]}");
}

// The scheduled locations the variable holds now.
Words Scheduled() {
    const auto variable = sim::firmware::Find(kName, kGuid);
    if (!variable || variable->data.size() < 2)
        return {};
    Words words;
    const unsigned count = variable->data[0] & 0x3F;
    for (unsigned i = 1; i <= count && 2 * i + 1 < variable->data.size(); ++i)
        words.push_back(static_cast<uint16_t>(variable->data[2 * i] | variable->data[2 * i + 1] << 8));
    return words;
}

Words Sorted(Words words) {
    std::sort(words.begin(), words.end());
    return words;
}

std::string Message(const _UVI_Error& error) {
    char text[512] = {};
    UviGetErrorMessage(error.errorId, text, sizeof text);
    return text;
}

// What one controller of a session is: its handle, its location word, whether it can go behind the
// remapping controller.
struct ControllerSeen {
    uint32_t handle;
    int port;
    uint16_t location;
    bool remapCapable;
    bool scheduled;
};

class RemapExports : public ::testing::Test {
protected:
    explicit RemapExports(const Words& scheduled = {}) : machine_(Machine(scheduled)) {
        DeviceLocator::ResetForTests();
        IoctlInterfaceVersionStore::ResetForTests();
        CDictionarySingleton::Release();
        HandleRegistry::instance().resetForTests();
        SessionHandler::get().remapRequestCache().resetForTests();
    }
    ~RemapExports() override {
        if (SessionHandler::get().isInitialized())
            static_cast<void>(SessionHandler::get().finalize());
        SessionHandler::get().remapRequestCache().resetForTests();
        DeviceLocator::ResetForTests();
        sim::os::ResetToken();
    }
    void SetUp() override {
        ASSERT_EQ(UviInitialize().status, UVI_STATUS_SUCCESS);
        controllers_ = Controllers();
        for (const auto& seen : controllers_)
            if (seen.remapCapable)
                capable_.push_back(seen);
        ASSERT_GE(capable_.size(), 2u);
    }
    void TearDown() override { EXPECT_EQ(machine_->faults().Pending(), 0u); }

    // The controllers as a session built now sees them.
    static std::vector<ControllerSeen> Controllers() {
        std::vector<ControllerSeen> seen;
        EXPECT_TRUE(runWithNewSession([&](Session& session) {
                        for (const auto& controller : session.getAllControllers())
                            seen.push_back({controller->getHandle(), controller->getPortNumber(),
                                            MakeZrcRemapAddress(*controller->getControllerLocator()),
                                            controller->isRemapCapable(),
                                            controller->isScheduledForZrcRemap()});
                        return CConsolidatedError();
                    }).IsSuccessful());
        return seen;
    }
    size_t Writes() { return machine_->calls().Count("SetFirmwareEnvironmentVariable"); }

    sim::ScopedMachine machine_;
    std::vector<ControllerSeen> controllers_;
    std::vector<ControllerSeen> capable_;
};

TEST(RemapExportArguments, ANullListOrANegativeCountIsRefusedBeforeAnythingElse) {
    const uint32_t handle = 1;
    // The thread's logger keeps the last failure's texts, so each call is made as its case is checked.
    struct Case {
        const char* what;
        _UVI_Error (*call)(const uint32_t*, int);
        const uint32_t* list;
        int count;
        const char* message;
    } cases[] = {
        {"null list", UviZrcRemapController, nullptr, 1,
         "UviZrcRemapController controllerHandleList cannot be null"},
        {"null revert list", UviZrcRemapControllerRevert, nullptr, 0,
         "UviZrcRemapControllerRevert controllerHandleList cannot be null"},
        {"negative count", UviZrcRemapController, &handle, -1,
         "UviZrcRemapController count cannot be negative"},
        {"negative revert count", UviZrcRemapControllerRevert, &handle, -5,
         "UviZrcRemapControllerRevert count cannot be negative"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const _UVI_Error result = c.call(c.list, c.count);
        EXPECT_EQ(result.code, CConsolidatedError::UVI_INVALIDPARAMETER);
        EXPECT_EQ(Message(result), c.message);
    }
    // With a list, the library must be started.
    EXPECT_EQ(UviZrcRemapController(&handle, 1).code, CConsolidatedError::UVI_NOTINITIALIZED);
    EXPECT_EQ(UviZrcRemapControllerAll().code, CConsolidatedError::UVI_NOTINITIALIZED);
    EXPECT_EQ(UviZrcRemapControllerAllRevert().code, CConsolidatedError::UVI_NOTINITIALIZED);
}

TEST_F(RemapExports, AListIsScheduledOnceAndEveryFailureLeavesTheVariableAsItWas) {
    const uint32_t first = capable_[0].handle;
    const uint32_t unknown = 0x7FFFFFF0;

    const _UVI_Error none = UviZrcRemapController(&first, 0);
    EXPECT_EQ(none.code, CConsolidatedError::UVI_ACTION_ZRC_REMAP_UNSUPPORTED_CONTROLLER);

    const uint32_t withUnknown[] = {first, unknown};
    const _UVI_Error invalid = UviZrcRemapController(withUnknown, 2);
    EXPECT_EQ(invalid.code, CConsolidatedError::UVI_INVALIDHANDLE);
    EXPECT_EQ(Message(invalid), "Invalid handle provided: " + std::to_string(static_cast<int>(unknown)));
    EXPECT_EQ(Writes(), 0u);
    EXPECT_TRUE(Scheduled().empty());

    // Only the first `count` handles are read: the unknown one after them does not matter.
    const uint32_t twice[] = {first, first, unknown};
    const _UVI_Error scheduled = UviZrcRemapController(twice, 2);
    ASSERT_EQ(scheduled.status, UVI_STATUS_SUCCESS) << Message(scheduled);
    EXPECT_EQ(Scheduled(), Words{capable_[0].location});
    for (const auto& seen : Controllers())
        EXPECT_EQ(seen.scheduled, seen.handle == first) << "port " << seen.port;

    // Scheduling it again is refused as a whole.
    const uint32_t again[] = {capable_[1].handle, first};
    EXPECT_EQ(UviZrcRemapController(again, 2).code,
              CConsolidatedError::UVI_ACTION_ZRC_REMAP_NOTHING_TO_REMAP);
    EXPECT_EQ(Scheduled(), Words{capable_[0].location});
}

TEST_F(RemapExports, TheRemappingControllerItselfIsNeverScheduled) {
    for (const auto& seen : controllers_) {
        if (seen.remapCapable)
            continue;
        const _UVI_Error refused = UviZrcRemapController(&seen.handle, 1);
        EXPECT_EQ(refused.code, CConsolidatedError::UVI_ACTION_ZRC_REMAP_UNSUPPORTED_CONTROLLER);
    }
    EXPECT_EQ(Writes(), 0u);
}

TEST_F(RemapExports, AllSchedulesEveryEligibleControllerAndThenFindsNoneLeft) {
    ASSERT_EQ(UviZrcRemapController(&capable_[0].handle, 1).status, UVI_STATUS_SUCCESS);

    const _UVI_Error all = UviZrcRemapControllerAll();
    ASSERT_EQ(all.status, UVI_STATUS_SUCCESS) << Message(all);
    Words expected;
    for (const auto& seen : capable_)
        expected.push_back(seen.location);
    EXPECT_EQ(Scheduled(), expected)
        << "the one scheduled before keeps its place, the others follow in order";

    const size_t writes = Writes();
    const _UVI_Error nothingLeft = UviZrcRemapControllerAll();
    EXPECT_EQ(nothingLeft.code, CConsolidatedError::UVI_ACTION_ZRC_REMAP_NOTHING_TO_REMAP);
    EXPECT_EQ(Message(nothingLeft), "No controller available for remapping detected");
    EXPECT_EQ(Writes(), writes);
}

TEST_F(RemapExports, RevertTakesListedControllersOffAndAllRevertEmptiesTheSchedule) {
    const _UVI_Error nothing = UviZrcRemapControllerAllRevert();
    EXPECT_EQ(nothing.code, CConsolidatedError::UVI_ACTION_ZRC_REMAP_NOTHING_TO_REVERT);
    EXPECT_EQ(Message(nothing), "Nothing scheduled for remap");

    ASSERT_EQ(UviZrcRemapController(&capable_[1].handle, 1).status, UVI_STATUS_SUCCESS);
    const _UVI_Error notScheduled = UviZrcRemapControllerRevert(&capable_[0].handle, 1);
    EXPECT_EQ(notScheduled.code, CConsolidatedError::UVI_ACTION_ZRC_REMAP_UNSUPPORTED_REVERT_OPERATION);
    const uint16_t word = capable_[0].location;
    const std::string message = Message(notScheduled);
    for (const std::string& part : {"[bus or port number: " + std::to_string(ZrcRemapAddressBus(word)) + "]",
                                    "[device: " + std::to_string(ZrcRemapAddressDevice(word)) + "]",
                                    "[function: " + std::to_string(ZrcRemapAddressFunction(word)) + "]"})
        EXPECT_NE(message.find(part), std::string::npos) << message;

    ASSERT_EQ(UviZrcRemapControllerAll().status, UVI_STATUS_SUCCESS);
    const _UVI_Error reverted = UviZrcRemapControllerRevert(&capable_[0].handle, 1);
    ASSERT_EQ(reverted.status, UVI_STATUS_SUCCESS) << Message(reverted);
    Words rest;
    for (size_t i = 1; i < capable_.size(); ++i)
        rest.push_back(capable_[i].location);
    EXPECT_EQ(Sorted(Scheduled()), Sorted(rest));

    const uint32_t unknown = 0x7FFFFFF0;
    EXPECT_EQ(UviZrcRemapControllerRevert(&unknown, 1).code, CConsolidatedError::UVI_INVALIDHANDLE);
    EXPECT_EQ(Sorted(Scheduled()), Sorted(rest));

    ASSERT_EQ(UviZrcRemapControllerAllRevert().status, UVI_STATUS_SUCCESS);
    EXPECT_TRUE(Scheduled().empty());
    for (const auto& seen : Controllers())
        EXPECT_FALSE(seen.scheduled) << "port " << seen.port;
}

// A controller scheduled at boot already carries the mark; All leaves it out.
class RemapExportsScheduledAtStart : public RemapExports {
protected:
    RemapExportsScheduledAtStart() : RemapExports(Words{0x1700}) {}
};

TEST_F(RemapExportsScheduledAtStart, AControllerMarkedByTheSessionIsLeftOutOfAll) {
    std::vector<uint32_t> marked;
    for (const auto& seen : controllers_)
        if (seen.scheduled)
            marked.push_back(seen.handle);
    ASSERT_EQ(marked.size(), 1u);
    EXPECT_EQ(UviZrcRemapController(marked.data(), 1).code,
              CConsolidatedError::UVI_ACTION_ZRC_REMAP_NOTHING_TO_REMAP);
    ASSERT_EQ(UviZrcRemapControllerAll().status, UVI_STATUS_SUCCESS);
    const Words now = Scheduled();
    ASSERT_FALSE(now.empty());
    EXPECT_EQ(now.front(), 0x1700);
    EXPECT_EQ(now.size(), capable_.size());
}

} // namespace
