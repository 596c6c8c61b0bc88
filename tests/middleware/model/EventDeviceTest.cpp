// Event devices: what the factory builds from the controller table, the events they create and
// register with the simulated driver, the status they read, and the codes of their waits.
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/model/DeviceController.h"
#include "middleware/model/DeviceCustom.h"
#include "middleware/model/DeviceNvmeDisk.h"
#include "platform/win/WinSync.h"
#include "sim/Clock.h"
#include "sim/KernelObjects.h"
#include "sim/Machine.h"
#include "sim/driver/DriverEvents.h"
#include "tests/middleware/model/EventTestSupport.h"

namespace {

using namespace eventtest;
using namespace UviEvents;

std::vector<uint64_t> Keys(const DeviceList& devices) {
    std::vector<uint64_t> keys;
    for (const auto& d : devices)
        keys.push_back(d->getKey());
    return keys;
}

std::unique_ptr<Device> MakeDevice(uint32_t type, uint32_t id) {
    auto guids = std::make_shared<GuidSource>();
    auto locator = std::make_shared<DeviceLocator>();
    if (type == DEVICE_TYPE_CONTROLLER)
        return std::make_unique<DeviceController>(guids, id, locator);
    return std::make_unique<DeviceNvmeDisk>(guids, id, locator);
}

TEST(EventDeviceFactory, AllDevicesAreTheAhciControllerAndTheNvmeDiskBehindTheNvmeController) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    DeviceFactory factory = MakeFactory();
    // The NVMe controller (classification 4) has no controller device of its own, only its disk.
    const std::vector<uint64_t> expected = {DeviceKey(1, 0), DeviceKey(2, kNvmeDiskAddress)};
    EXPECT_EQ(Keys(factory.createForAll()), expected);
    // Another factory call builds the same keys.
    EXPECT_EQ(Keys(MakeFactory().createForAll()), expected);
}

TEST(EventDeviceFactory, OneControllerByItsAddress) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    DeviceFactory factory = MakeFactory();
    struct Case {
        uint32_t address;
        std::vector<uint64_t> keys;
    } cases[] = {
        {0x00000000, {DeviceKey(1, 0)}}, // no NVMe device behind its remap port
        {0x01000000, {DeviceKey(1, 0x01000000), DeviceKey(2, kNvmeDiskAddress)}},
        {0x00000100, {}}, // an address with a target is no controller
        {0x00010000, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Keys(factory.createForController(c.address)), c.keys) << std::hex << c.address;

    try {
        factory.createForController(0x09000000);
        ADD_FAILURE() << "no throw for a port without controller";
    } catch (const CConsolidatedError& e) {
        EXPECT_EQ(e.GetErrorCode(), 0xA001000Fu);
        EXPECT_STREQ(e.GetErrorMessage(), "Failed to find controller");
    }
}

TEST(EventDeviceController, RegistersAGlobalEventOfItsOwnAndReadsCounterAndFlags) {
    sim::ScopedMachine machine(
        sim::MachineBuilder::Default().Set("/adapters/0/volume_port/event_counter", "41"));
    DeviceController first(std::make_shared<GuidSource>(), 0, std::make_shared<DeviceLocator>());
    DeviceController second(std::make_shared<GuidSource>(), 0, std::make_shared<DeviceLocator>());
    ASSERT_TRUE(first.createEvent().IsSuccessful());
    ASSERT_TRUE(second.createEvent().IsSuccessful());

    const std::vector<std::string> names = sim::driver::RegisteredEventNames(kRaidPort);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_NE(names[0], names[1]);
    for (const std::string& name : names) {
        EXPECT_TRUE(IsGuidText(name)) << name;
        EXPECT_TRUE(sim::NamedObjectExists("Global\\" + name)) << name;
    }

    EXPECT_EQ(first.wait(0), WAIT_CODE_TIMEOUT);
    ASSERT_TRUE(sim::driver::RaiseControllerEvent(kRaidPort, sim::driver::kEventFlagDisks));
    EXPECT_EQ(first.wait(INFINITE), WAIT_CODE_EVENT);
    EXPECT_EQ(second.wait(INFINITE), WAIT_CODE_EVENT);
    // The wait resets the manual-reset event.
    EXPECT_EQ(first.wait(0), WAIT_CODE_TIMEOUT);

    const DeviceStatus status = first.getStatus();
    EXPECT_EQ(status.deviceId, 0u);
    EXPECT_EQ(status.deviceType, 1u);
    EXPECT_EQ(status.firstData, 42u);
    EXPECT_EQ(status.secondData, sim::driver::kEventFlagDisks);

    try {
        first.createGlobalEvent();
        ADD_FAILURE() << "a second event was created";
    } catch (const CConsolidatedError& e) {
        EXPECT_EQ(e.GetErrorCode(), 0xA0010010u);
        EXPECT_STREQ(e.GetErrorMessage(), "Creating event more than once");
    }
}

TEST(EventDeviceController, BusyStatusIsAskedAgainEverySecond) {
    sim::ScopedVirtualClock clock;
    sim::ScopedMachine machine(DefaultWithFaults(
        R"([{"kind": "DeviceIoControl", "match": {"control_code": "0x80000D14"}, "times": 3,
             "outcome": {"win32_error": 170}}])"));
    DeviceController device(std::make_shared<GuidSource>(), 0, std::make_shared<DeviceLocator>());
    const uint64_t before = sim::Clock::NowMs();
    EXPECT_EQ(device.getStatus().deviceType, 1u);
    EXPECT_GE(sim::Clock::NowMs() - before, 3000u);
    EXPECT_EQ(machine->faults().Pending(), 0u);
}

TEST(EventDeviceController, AStopEndsABusyStatusReadWhichFails) {
    sim::ScopedVirtualClock clock;
    sim::ScopedMachine machine(DefaultWithFaults(
        R"([{"kind": "DeviceIoControl", "match": {"control_code": "0x80000D14"}, "times": -1,
             "outcome": {"win32_error": 170}}])"));
    DeviceController device(std::make_shared<GuidSource>(), 0, std::make_shared<DeviceLocator>());
    ASSERT_TRUE(device.createEvent().IsSuccessful());

    // A stop that lands while the reader is busy-waiting ends its retries.
    std::thread reader([&] {
        try {
            device.getStatus();
            ADD_FAILURE() << "a busy status read succeeded";
        } catch (const CConsolidatedError& e) {
            EXPECT_EQ(e.GetErrorCode(), 0xA001000Fu);
            EXPECT_STREQ(e.GetErrorMessage(), "Failed to get event Status");
            EXPECT_STREQ(e.GetDebugInformation(), "Failed to get event Status");
        }
    });
    ASSERT_TRUE(machine->calls().AwaitMatching("DeviceIoControl", "{}", 3));
    device.signalStop();
    reader.join();

    // A stop signalled before a wait is not lost: the wait reports it.
    EXPECT_EQ(device.wait(INFINITE), WAIT_CODE_STOPPED);
}

TEST(EventDeviceController, WithoutLocatorRecordCreationAndStatusFail) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    for (uint32_t type : {DEVICE_TYPE_CONTROLLER, DEVICE_TYPE_NVME_DISK}) {
        std::unique_ptr<Device> device = MakeDevice(type, 0x09000000);
        EXPECT_EQ(device->createEvent().GetErrorCode(), 0xA0010010u);
        EXPECT_EQ(device->wait(0), WAIT_CODE_FAILURE); // no event object
        try {
            device->getStatus();
            ADD_FAILURE() << "status of a missing controller";
        } catch (const CConsolidatedError& e) {
            EXPECT_EQ(e.GetErrorCode(), 0xA0010010u);
        }
    }
}

TEST(EventDeviceController, FailedEventCreationIsTheWin32Error) {
    sim::ScopedMachine machine(DefaultWithFaults(
        R"([{"kind": "CreateEvent", "match": {"manual_reset": true}, "outcome": {"win32_error": 5}}])"));
    DeviceController device(std::make_shared<GuidSource>(), 0, std::make_shared<DeviceLocator>());
    const CConsolidatedError result = device.createEvent();
    EXPECT_EQ(result.GetErrorType(), KEDO2_ERROR_TYPE_WIN32);
    EXPECT_EQ(result.GetWin32Error(), 5u);
    EXPECT_STREQ(result.GetErrorMessage(), "CreateEvent failed");
    EXPECT_TRUE(sim::driver::RegisteredEventNames(kRaidPort).empty());
}

TEST(EventDeviceNvme, TakesTheInformationByteOfTheFirstHealthEventWordOnce) {
    struct Case {
        std::vector<uint32_t> words;
        uint64_t expected;
    } cases[] = {
        {{0x00000502}, 0},             // an error event, not a health one
        {{0x00000302, 0x00000501}, 5}, // the first health word counts
        {{0x00000701, 0x00000901}, 7}, // later ones are ignored
        {{0x00000001}, 0},             // a health event with information byte 0
        {{0x00FF0A01}, 0x0A},          // bits above the information byte do not count
    };
    for (const Case& c : cases) {
        sim::ScopedMachine machine(sim::MachineBuilder::Default());
        DeviceNvmeDisk device(std::make_shared<GuidSource>(), kNvmeDiskAddress,
                              std::make_shared<DeviceLocator>());
        ASSERT_TRUE(device.createEvent().IsSuccessful());
        EXPECT_TRUE(IsGuidText(device.getEventName()));
        const auto names = sim::driver::RegisteredNvmeEventNames(kNvmePort, 0, 0, 0);
        ASSERT_EQ(names, std::vector<std::string>{device.getEventName()});

        for (uint32_t word : c.words)
            ASSERT_TRUE(sim::driver::RaiseNvmeEvent(kNvmePort, 0, 0, 0, word));
        EXPECT_EQ(device.wait(INFINITE), WAIT_CODE_EVENT);
        const DeviceStatus status = device.getStatus();
        EXPECT_EQ(status.deviceId, kNvmeDiskAddress);
        EXPECT_EQ(status.deviceType, 2u);
        EXPECT_EQ(status.firstData, 0u);
        EXPECT_EQ(status.secondData, c.expected);
        // The words were taken: a second read finds none.
        EXPECT_EQ(sim::driver::QueuedNvmeEventWords(kNvmePort, 0, 0, 0, device.getEventName()), 0u);
        EXPECT_EQ(device.getStatus().secondData, 0u);
    }
}

TEST(EventDeviceNvme, AFailedEventDataRequestIsThrown) {
    sim::ScopedMachine machine(DefaultWithFaults(
        R"([{"kind": "DeviceIoControl", "match": {"control_code": "0xF0003800"}, "outcome": {"win32_error": 31}}])"));
    DeviceNvmeDisk device(std::make_shared<GuidSource>(), kNvmeDiskAddress,
                          std::make_shared<DeviceLocator>());
    ASSERT_TRUE(device.createEvent().IsSuccessful());
    try {
        device.getStatus();
        ADD_FAILURE() << "no throw";
    } catch (const CConsolidatedError& e) {
        EXPECT_EQ(e.GetErrorType(), KEDO2_ERROR_TYPE_WIN32);
        EXPECT_EQ(e.GetWin32Error(), 31u);
    }
}

TEST(EventDeviceCustom, QueuedValuesComeOneWaitEachInOrder) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    DeviceCustom device;
    ASSERT_TRUE(device.createEvent().IsSuccessful());
    EXPECT_EQ(device.getStatus().secondData, 0u); // an empty queue
    for (uint64_t v : {11u, 22u, 33u})
        device.push(v);
    for (uint64_t v : {11u, 22u, 33u}) {
        EXPECT_EQ(device.wait(0), WAIT_CODE_EVENT);
        const DeviceStatus status = device.getStatus();
        EXPECT_EQ(status.deviceId, 0u);
        EXPECT_EQ(status.deviceType, 3u);
        EXPECT_EQ(status.secondData, v);
    }
    EXPECT_EQ(device.wait(0), WAIT_CODE_TIMEOUT);
}

TEST(EventDeviceCustom, FailedEventCreationNamesTheError) {
    sim::ScopedMachine machine(DefaultWithFaults(
        R"([{"kind": "CreateEvent", "match": {"manual_reset": false}, "outcome": {"win32_error": 8}}])"));
    DeviceCustom device;
    const CConsolidatedError result = device.createEvent();
    EXPECT_EQ(result.GetErrorCode(), 0xA0010010u);
    EXPECT_STREQ(result.GetErrorMessage(),
                 "Failed to create event object for custom event with error 0X00000008");
}

TEST(EventDeviceWait, CodesOfEveryWaitAnswer) {
    struct Case {
        const char* outcome;
        uint32_t code;
    } cases[] = {
        {R"({"wait_result": 0})", WAIT_CODE_EVENT},
        {R"({"wait_result": "0x80"})", WAIT_CODE_FAILURE}, // abandoned
        {R"({"wait_result": "0xFFFFFFFF", "win32_error": 6})", WAIT_CODE_FAILURE},
        {R"({"wait_result": "0x102"})", WAIT_CODE_TIMEOUT},
        {R"({"wait_result": "0xC0"})", WAIT_CODE_OTHER},
    };
    for (const Case& c : cases) {
        sim::ScopedMachine machine(DefaultWithFaults(
            std::string(
                R"([{"kind": "WaitForSingleObject", "match": {"object": "event", "timeout": 7}, "outcome": )") +
            c.outcome + "}]"));
        DeviceCustom device;
        ASSERT_TRUE(device.createEvent().IsSuccessful());
        EXPECT_EQ(device.wait(7), c.code) << c.outcome;
        EXPECT_EQ(machine->faults().Pending(), 0u);
    }
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    DeviceCustom device;
    ASSERT_TRUE(device.createEvent().IsSuccessful());
    device.signalStop();
    EXPECT_EQ(device.wait(INFINITE), WAIT_CODE_STOPPED);
}

TEST(GuidSourceTest, FreshLowerCaseHexTextsAndTheTwoFailures) {
    {
        sim::ScopedMachine machine(sim::MachineBuilder::Default());
        GuidSource source;
        std::set<std::string> seen;
        for (int i = 0; i < 8; ++i) {
            std::string text;
            ASSERT_TRUE(source.newGuidString(text).IsSuccessful());
            EXPECT_TRUE(IsGuidText(text)) << text;
            seen.insert(text);
        }
        EXPECT_EQ(seen.size(), 8u);
    }
    struct Case {
        const char* kind;
        const char* message;
    } cases[] = {
        {"CoCreateGuid", "Failed to create GUID"},
        {"UuidToString", "GUID string was empty after conversion"},
    };
    for (const Case& c : cases) {
        sim::ScopedMachine machine(DefaultWithFaults(std::string(R"([{"kind": ")") + c.kind + R"("}])"));
        std::string text = "stale";
        const CConsolidatedError result = GuidSource().newGuidString(text);
        EXPECT_EQ(result.GetErrorCode(), 0xA001000Fu);
        EXPECT_STREQ(result.GetErrorMessage(), c.message);
        EXPECT_TRUE(text.empty());
        EXPECT_EQ(machine->faults().Pending(), 0u);
    }
}

} // namespace
