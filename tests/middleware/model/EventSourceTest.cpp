// Event sources and clients: workers that deliver one record per device signal to every subscribed
// client, the NVMe source's watch after a health event, the clients' queues and waits, and the
// source manager's one source per device.
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/model/ClientManager.h"
#include "middleware/model/DeviceCustom.h"
#include "middleware/model/SourceManager.h"
#include "middleware/model/SourceNvme.h"
#include "platform/win/WinSync.h"
#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/driver/DriverEvents.h"
#include "tests/middleware/model/EventTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace {

using namespace eventtest;
using namespace UviEvents;

// A device that answers its waits and status reads from a script; once the script is used up it
// waits on its own event like any device, so that a stop ends it.
class ScriptedDevice : public Device {
public:
    struct Step {
        uint32_t waitCode;
        uint64_t secondData; // the status read after code 3
        bool readFails = false;
        bool readUntilStop = false; // the status read says so (reading()) and lasts until a stop
    };
    ScriptedDevice(uint32_t type, std::vector<Step> steps)
        : m_Type(type), m_Steps(steps.begin(), steps.end()),
          m_Reading(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~ScriptedDevice() override { CloseHandle(m_Reading); }

    uint32_t getType() const override { return m_Type; }
    uint32_t getId() const override { return 7; }
    CConsolidatedError createEvent() override {
        m_Event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        return CConsolidatedError();
    }
    DeviceStatus getStatus() override {
        Step current;
        {
            std::lock_guard lock(m_Mutex);
            ++m_Reads;
            current = m_Current;
        }
        if (current.readUntilStop) {
            SetEvent(m_Reading);
            WaitForSingleObject(m_Event, INFINITE); // a stop signals the device's own event
        }
        if (current.readFails)
            throw CConsolidatedError(CConsolidatedError::UVI_FAILED);
        return DeviceStatus{7, m_Type, 0, current.secondData};
    }
    // Signalled once the worker is in a status read of a readUntilStop step.
    HANDLE reading() const { return m_Reading; }
    uint32_t wait(uint32_t ms) override {
        {
            std::lock_guard lock(m_Mutex);
            m_Timeouts.push_back(ms);
            if (!m_Steps.empty() && !m_Stop.load()) {
                m_Current = m_Steps.front();
                m_Steps.pop_front();
                return m_Current.waitCode;
            }
        }
        return Device::wait(INFINITE);
    }
    int reads() {
        std::lock_guard lock(m_Mutex);
        return m_Reads;
    }

private:
    uint32_t m_Type;
    std::mutex m_Mutex;
    std::deque<Step> m_Steps;
    Step m_Current{};
    int m_Reads = 0;
    std::vector<uint32_t> m_Timeouts;
    HANDLE m_Reading;
};

// A source whose test joins its worker. A worker that ended by itself delivers nothing more on the
// join's stop; one still running would deliver code 5 or its next record.
template <class S> class Joinable : public S {
public:
    using S::S;
    void join() { S::stopAndJoin(); }
};

std::shared_ptr<Client> NewClient(uint64_t id) {
    return std::make_shared<Client>(id);
}

TEST(EventClient, QueuedRecordsComeInOrderWithoutWaitingThenTimeOut) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    Client client(1);
    for (uint64_t v : {1u, 2u, 3u})
        client.push(MakeEventRecord(WAIT_CODE_EVENT, DeviceStatus{0, 3, 0, v}));
    for (uint64_t v : {1u, 2u, 3u}) {
        const EventRecord r = client.wait(0);
        EXPECT_EQ(r.waitCode, WAIT_CODE_EVENT);
        EXPECT_EQ(r.secondData, v);
    }
    EXPECT_EQ(client.wait(0).waitCode, WAIT_CODE_TIMEOUT);
}

TEST(EventClient, ClosingWakesAWaiterWithStopAndIdsAreNeverReused) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    ClientManager clients;
    const uint64_t first = clients.createClient();
    const uint64_t second = clients.createClient();
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 2u);

    std::shared_ptr<Client> held = clients.getClient(first);
    ASSERT_TRUE(held);
    EventRecord seen{};
    std::thread waiter([&] { seen = held->wait(INFINITE); });
    ASSERT_TRUE(machine->calls().AwaitMatching("WaitForSingleObject", "{}"));
    clients.closeClient(first);
    waiter.join();
    EXPECT_EQ(seen.waitCode, WAIT_CODE_STOPPED);
    EXPECT_FALSE(clients.getClient(first));
    clients.closeClient(first); // an unknown id is ignored
    clients.closeClient(99);
    EXPECT_TRUE(clients.getClient(second));
    EXPECT_EQ(clients.createClient(), 3u); // ids are never reused
}

TEST(EventClient, APushedRecordWakesAWaiterAndAClosedClientDropsPushes) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    auto client = NewClient(1);
    EventRecord seen{};
    std::thread waiter([&] { seen = client->wait(INFINITE); });
    ASSERT_TRUE(machine->calls().AwaitMatching("WaitForSingleObject", "{}"));
    client->push(MakeEventRecord(WAIT_CODE_EVENT, DeviceStatus{5, 1, 9, 10}));
    waiter.join();
    EXPECT_EQ(seen.deviceId, 5u);
    EXPECT_EQ(seen.firstData, 9u);
    EXPECT_EQ(seen.secondData, 10u);
}

TEST(EventClient, AFailedWaitIsFailure) {
    sim::ScopedMachine machine(DefaultWithFaults(
        R"([{"kind": "WaitForSingleObject", "match": {"object": "event", "timeout": 9},
             "outcome": {"wait_result": "0xFFFFFFFF"}}])"));
    Client client(1);
    EXPECT_EQ(client.wait(9).waitCode, WAIT_CODE_FAILURE);
    EXPECT_EQ(machine->faults().Pending(), 0u);
}

TEST(EventSource, EveryClientGetsEachRecordAndAStopEndsTheWorkerWithCode5) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    auto device = std::make_unique<DeviceCustom>();
    DeviceCustom* custom = device.get();
    auto clients = std::vector<std::shared_ptr<Client>>{NewClient(1), NewClient(2), NewClient(3)};
    {
        Source source(std::move(device));
        source.start();
        source.subscribe(4, nullptr); // ignored
        for (size_t i = 0; i < clients.size(); ++i)
            source.subscribe(i + 1, clients[i]);
        source.unsubscribe(3);
        custom->push(100);
        custom->push(200);
        for (size_t i = 0; i < 2; ++i)
            for (uint64_t v : {100u, 200u}) {
                const EventRecord r = clients[i]->wait(INFINITE);
                EXPECT_EQ(r.waitCode, WAIT_CODE_EVENT);
                EXPECT_EQ(r.deviceType, 3u);
                EXPECT_EQ(r.secondData, v);
            }
        try {
            source.start();
            ADD_FAILURE() << "started twice";
        } catch (const CConsolidatedError& e) {
            EXPECT_EQ(e.GetErrorCode(), 0xA0010010u);
            EXPECT_STREQ(e.GetErrorMessage(), "Source already initialized");
        }
    }
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(clients[i]->wait(INFINITE).waitCode, WAIT_CODE_STOPPED);
    EXPECT_EQ(clients[2]->wait(0).waitCode, WAIT_CODE_TIMEOUT); // unsubscribed before
}

TEST(EventSource, AFailedWaitIsDeliveredAndEndsTheWorkerAFailedReadDoesNot) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    auto client = NewClient(1);
    Joinable<Source> source(std::make_unique<ScriptedDevice>(
        1,
        std::vector<ScriptedDevice::Step>{
            {WAIT_CODE_EVENT, 0, true}, {WAIT_CODE_OTHER, 0}, {WAIT_CODE_FAILURE, 0}, {WAIT_CODE_EVENT, 5}}));
    source.subscribe(1, client);
    source.start();
    for (uint32_t code : {WAIT_CODE_FAILURE, WAIT_CODE_OTHER, WAIT_CODE_FAILURE})
        EXPECT_EQ(client->wait(INFINITE).waitCode, code);
    source.join();
    EXPECT_TRUE(source.hasEnded());
    // Neither the event after the failure nor the join's code 5 came: the worker had ended.
    EXPECT_EQ(client->wait(0).waitCode, WAIT_CODE_TIMEOUT);
}

// The stop lands while the worker is busy with a record, not waiting: the record and then code 5
// still reach the client, for a source of either kind.
TEST(EventSource, AStopWhileTheWorkerDeliversStillEndsWithCode5) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    for (bool nvme : {false, true}) {
        auto client = NewClient(1);
        {
            auto device = std::make_unique<ScriptedDevice>(
                nvme ? 2 : 1, std::vector<ScriptedDevice::Step>{{WAIT_CODE_EVENT, 9, false, true}});
            const HANDLE reading = device->reading();
            std::unique_ptr<Source> source = nvme ? std::make_unique<SourceNvme>(std::move(device))
                                                  : std::make_unique<Source>(std::move(device));
            source->subscribe(1, client);
            source->start();
            ASSERT_EQ(WaitForSingleObject(reading, INFINITE), WAIT_OBJECT_0);
        }
        const EventRecord r = client->wait(0);
        EXPECT_EQ(r.waitCode, WAIT_CODE_EVENT) << nvme;
        EXPECT_EQ(r.secondData, 9u) << nvme;
        EXPECT_EQ(client->wait(0).waitCode, WAIT_CODE_STOPPED) << nvme;
    }
}

TEST(EventSource, AThreadThatCannotStartIsTheSystemError) {
    sim::ScopedMachine machine(DefaultWithFaults(R"([{"kind": "CreateThread"}])"));
    Source source(std::make_unique<DeviceCustom>());
    EXPECT_THROW(source.start(), std::system_error);
    EXPECT_EQ(machine->faults().Pending(), 0u);
}

TEST(EventSourceNvme, RepeatsAreSwallowedAChangeIsDeliveredAndAMinuteOfSilenceEndsTheWatch) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    auto client = NewClient(1);
    auto device =
        std::make_unique<ScriptedDevice>(2, std::vector<ScriptedDevice::Step>{{WAIT_CODE_EVENT, 1},
                                                                              {WAIT_CODE_EVENT, 1},
                                                                              {WAIT_CODE_EVENT, 2},
                                                                              {WAIT_CODE_TIMEOUT, 0},
                                                                              {WAIT_CODE_EVENT, 0},
                                                                              {WAIT_CODE_EVENT, 3},
                                                                              {WAIT_CODE_EVENT, 0, true}});
    ScriptedDevice* scripted = device.get();
    Joinable<SourceNvme> source(std::move(device));
    source.subscribe(1, client);
    source.start();
    // 1, the repeat of 1 swallowed, 2, the record of the silent minute, an event with byte 0, then
    // 3 and a failed read while watching, which ends the worker.
    for (uint64_t v : {1u, 2u, 1u, 0u, 3u}) {
        const EventRecord r = client->wait(INFINITE);
        EXPECT_EQ(r.waitCode, WAIT_CODE_EVENT);
        EXPECT_EQ(r.deviceId, 7u);
        EXPECT_EQ(r.deviceType, 2u);
        EXPECT_EQ(r.secondData, v);
    }
    EXPECT_EQ(client->wait(INFINITE).waitCode, WAIT_CODE_FAILURE);
    source.join();
    EXPECT_TRUE(source.hasEnded());
    EXPECT_EQ(client->wait(0).waitCode, WAIT_CODE_TIMEOUT); // the worker had ended: no code 5
    // Each signal was read once: the change was not read a second time before delivery.
    EXPECT_EQ(scripted->reads(), 6);
}

TEST(EventSourceNvme, TheDriversHealthEventAndTheMinuteOfSilenceOnTheSimulatorClock) {
    sim::ScopedVirtualClock clock;
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    DeviceFactory factory = MakeFactory();
    SourceManager sources(&factory);
    const SourceList list = sources.getSourcesForHandle(0x01000000);
    ASSERT_EQ(list.size(), 3u);
    auto client = NewClient(1);
    list[1]->subscribe(1, client);

    // The minute of silence starts with the event: the worker may be waiting it out already when the
    // first record arrives here.
    const uint64_t before = sim::Clock::NowMs();
    ASSERT_TRUE(sim::driver::RaiseNvmeEvent(kNvmePort, 0, 0, 0, 0x0401));
    EventRecord r = client->wait(INFINITE);
    EXPECT_EQ(r.waitCode, WAIT_CODE_EVENT);
    EXPECT_EQ(r.deviceId, kNvmeDiskAddress);
    EXPECT_EQ(r.secondData, 4u);
    r = client->wait(INFINITE);
    EXPECT_EQ(r.waitCode, WAIT_CODE_EVENT);
    EXPECT_EQ(r.secondData, 1u);
    EXPECT_GE(sim::Clock::NowMs() - before, 60000u);
}

TEST(EventSourceManager, OneSourcePerDeviceKeyEndingWithTheSoftwareSource) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    DeviceFactory factory = MakeFactory();
    SourceManager sources(&factory);
    const SourceList all = sources.getSourcesForAll();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0]->device().getKey(), DeviceKey(1, 0));
    EXPECT_EQ(all[1]->device().getKey(), DeviceKey(2, kNvmeDiskAddress));
    EXPECT_EQ(all[2]->device().getKey(), DeviceKey(3, 0));
    EXPECT_EQ(sources.getSourcesForAll(), all);
    const SourceList one = sources.getSourcesForHandle(0);
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[0], all[0]);
    EXPECT_EQ(one[1], all[2]);
    // One registration per device, however often it was asked for.
    EXPECT_EQ(sim::driver::RegisteredEventNames(kRaidPort).size(), 1u);
    EXPECT_THROW(sources.getSourcesForHandle(0x09000000), CConsolidatedError);
}

TEST(EventSourceManager, TwoClientsOfOneControllerShareItsWorkerAndStopsReachBoth) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    auto factory = std::make_unique<DeviceFactory>(MakeFactory());
    auto sources = std::make_unique<SourceManager>(factory.get());
    ClientManager clients;
    const uint64_t a = clients.createClient();
    const uint64_t b = clients.createClient();
    for (uint64_t id : {a, b})
        for (const auto& source : sources->getSourcesForHandle(0))
            source->subscribe(id, clients.getClient(id));

    ASSERT_TRUE(sim::driver::RaiseControllerEvent(kRaidPort, sim::driver::kEventFlagVolumes));
    for (uint64_t id : {a, b}) {
        const EventRecord r = clients.getClient(id)->wait(INFINITE);
        EXPECT_EQ(r.waitCode, WAIT_CODE_EVENT);
        EXPECT_EQ(r.deviceType, 1u);
        EXPECT_EQ(r.firstData, 1u);
        EXPECT_EQ(r.secondData, sim::driver::kEventFlagVolumes);
    }
    sources->unsubscribeClient(b);
    ASSERT_TRUE(sim::driver::RaiseControllerEvent(kRaidPort, sim::driver::kEventFlagDisks));
    EXPECT_EQ(clients.getClient(a)->wait(INFINITE).firstData, 2u);
    EXPECT_EQ(clients.getClient(b)->wait(0).waitCode, WAIT_CODE_TIMEOUT);

    // Process exit: the manager goes first; every worker delivers code 5 and is joined.
    sources.reset();
    EXPECT_EQ(clients.getClient(a)->wait(INFINITE).waitCode, WAIT_CODE_STOPPED); // controller source
    EXPECT_EQ(clients.getClient(a)->wait(INFINITE).waitCode, WAIT_CODE_STOPPED); // software source
}

TEST(EventSourceManager, ASourceThatCannotStartFailsTheCallAndLeavesItsKeyEmpty) {
    sim::ScopedMachine machine(DefaultWithFaults(
        R"([{"kind": "DeviceIoControl", "match": {"control_code": "0x80000D13"}, "outcome": {"win32_error": 31}}])"));
    DeviceFactory factory = MakeFactory();
    SourceManager sources(&factory);
    EXPECT_THROW(sources.getSourcesForHandle(0), CConsolidatedError);
    // The next call tries again and succeeds.
    const SourceList list = sources.getSourcesForHandle(0);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_FALSE(list[0]->hasEnded());
}

} // namespace

namespace {

using namespace eventtest;
using namespace UviEvents;

TEST(EventSourceAcrossProcesses, ASubscriberWakesWhenAnotherProcessChangesThePc) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    DeviceFactory factory = MakeFactory();
    SourceManager sources(&factory);
    auto client = std::make_shared<Client>(1);
    for (const auto& source : sources.getSourcesForAll())
        source->subscribe(1, client);

    struct Case {
        std::vector<std::string> command;
        uint32_t type;
        uint64_t secondData;
    } cases[] = {
        {{"sim-raise-event", "0", "0x400000"}, 1, sim::driver::kEventFlagArrays},
        {{"sim-disk-present", "0", "2", "0"}, 1, sim::driver::kEventFlagDisks},
        {{"sim-disk-present", "0", "2", "1"}, 1, sim::driver::kEventFlagDisks},
        {{"sim-nvme-event", "1", "0", "0", "0", "0x0201"}, 2, 2},
    };
    uint64_t counter = 0;
    for (const Case& c : cases) {
        const moxtest::ChildResult run = moxtest::RunChild(c.command);
        ASSERT_EQ(run.exitCode, 0) << run.output;
        // A real-time limit, so that a lost wake-up fails the test instead of hanging it.
        const EventRecord r = client->wait(kPatienceMs);
        ASSERT_EQ(r.waitCode, WAIT_CODE_EVENT) << c.command.at(0);
        EXPECT_EQ(r.deviceType, c.type);
        EXPECT_EQ(r.secondData, c.secondData);
        if (c.type == 1) {
            EXPECT_EQ(r.firstData, ++counter);
        }
    }
}

} // namespace

namespace {

using namespace eventtest;
using namespace UviEvents;

TEST(EventSourceOnTheClock, AVerificationThatEndsOnTheSimulatorClockIsAnnounced) {
    sim::ScopedVirtualClock clock;
    sim::ScopedMachine machine(sim::MachineBuilder::Default().Set(
        "/adapters/0/raid/volumes/0/job", R"({"kind": "verify", "duration_ms": 5000})"));
    DeviceFactory factory = MakeFactory();
    SourceManager sources(&factory);
    auto client = std::make_shared<Client>(1);
    // Registering the event is the driver's first request: the verification starts then.
    sources.getSourcesForHandle(0).front()->subscribe(1, client);
    ASSERT_TRUE(sim::driver::AdvanceController(kRaidPort));
    EXPECT_EQ(client->wait(0).waitCode, WAIT_CODE_TIMEOUT);

    sim::Clock::AdvanceMs(5000);
    ASSERT_TRUE(sim::driver::AdvanceController(kRaidPort));
    const EventRecord r = client->wait(INFINITE);
    EXPECT_EQ(r.waitCode, WAIT_CODE_EVENT);
    EXPECT_GE(r.firstData, 1u);
    EXPECT_EQ(r.secondData, sim::driver::kEventFlagJobs | sim::driver::kEventFlagVolumes);
}

} // namespace
