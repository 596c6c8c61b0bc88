#include "middleware/model/ClientManager.h"

namespace UviEvents {

uint64_t ClientManager::createClient() {
    SharedCriticalSectionLock lock = m_Lock.lock();
    const uint64_t id = m_NextId;
    m_Clients.emplace(id, std::make_shared<Client>(id));
    ++m_NextId;
    return id;
}

std::shared_ptr<Client> ClientManager::getClient(uint64_t id) {
    SharedCriticalSectionLock lock = m_Lock.lock();
    auto it = m_Clients.find(id);
    return it == m_Clients.end() ? nullptr : it->second;
}

void ClientManager::closeClient(uint64_t id) {
    std::shared_ptr<Client> closed;
    SharedCriticalSectionLock lock = m_Lock.lock();
    auto it = m_Clients.find(id);
    if (it == m_Clients.end())
        return;
    it->second->stop();
    closed = std::move(it->second);
    m_Clients.erase(it);
}

} // namespace UviEvents
