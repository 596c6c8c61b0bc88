#pragma once
// The subscriptions of the process by id; ids count up from 1 and are never reused.
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "middleware/core/SharedCriticalSection.h"
#include "middleware/model/Client.h"

namespace UviEvents {

class ClientManager {
public:
    ClientManager() = default;
    virtual ~ClientManager() = default;
    ClientManager(const ClientManager&) = delete;
    ClientManager& operator=(const ClientManager&) = delete;

    // A new client; returns its id. Throws what the client's construction throws.
    uint64_t createClient();
    // The client, or an empty pointer for an id not (or no longer) known.
    std::shared_ptr<Client> getClient(uint64_t id);
    // Stops the client (a waiter wakes with code 5) and forgets its id; other ids are ignored.
    void closeClient(uint64_t id);

private:
    SharedCriticalSection m_Lock;
    uint64_t m_NextId = 1;
    std::unordered_map<uint64_t, std::shared_ptr<Client>> m_Clients;
};

} // namespace UviEvents
