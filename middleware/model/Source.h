#pragma once
// An event source: one worker thread that waits on one event device and hands each record to every
// subscribed client. A source is started once and lives until its owner destroys it; destruction
// stops the device, lets the worker deliver code 5 and joins it.
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <unordered_map>

#include "middleware/core/SharedCriticalSection.h"
#include "middleware/model/Client.h"
#include "middleware/model/Device.h"

namespace UviEvents {

class Source {
public:
    explicit Source(std::unique_ptr<Device> device);
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // The worker's body: wait, read the status, deliver, until code 1 or 4 or a stop.
    virtual void run();
    virtual ~Source();

    // Creates the device's event and starts the worker. Throws 0xA0010010 "Source already
    // initialized" on a second call, the device's creation error, or std::system_error when the
    // thread cannot be started.
    void start();
    // An empty client is ignored.
    void subscribe(uint64_t id, std::shared_ptr<Client> client);
    void unsubscribe(uint64_t id);

    Device& device() { return *m_Device; }
    // Whether the worker has left its loop (it delivered code 1 or 4, or the source is stopping).
    bool hasEnded() const { return m_Ended.load(); }

protected:
    // Reads the status for code 3 (a failed read turns the code into 1); true when the worker ends
    // after delivering the code.
    bool handle(uint32_t& code, DeviceStatus& status);
    // Pushes the record of the code and status to every subscribed client.
    void dispatch(uint32_t code, const DeviceStatus& status);
    // True once the source is stopping, after delivering code 5: a stop that lands while the worker
    // is delivering, not waiting, must still reach every client. The loops of the family test it
    // before each wait and leave after a wait that answered the stop itself.
    bool deliveredStop();
    // Stops the device and joins the worker; every destructor of the family calls it first, so that
    // the worker never runs on a partly destroyed source.
    void stopAndJoin();

    std::thread m_Thread;
    SharedCriticalSection m_Lock;
    std::unordered_map<uint64_t, std::shared_ptr<Client>> m_Clients;
    std::unique_ptr<Device> m_Device;
    std::atomic<bool> m_Stop{false};
    bool m_Started = false;
    std::atomic<bool> m_Ended{false};
};

} // namespace UviEvents
