#include "middleware/model/SessionHandler.h"

#include "middleware/ioctl/DictionarySingleton.h"
#include "middleware/model/Session.h"
#include "middleware/model/VdsService.h"
#include "platform/win/Trace.h"

namespace {

// Holds the table's critical section for one scope.
class SectionLock {
public:
    explicit SectionLock(CRITICAL_SECTION& section) : m_Section(section) { EnterCriticalSection(&m_Section); }
    ~SectionLock() { LeaveCriticalSection(&m_Section); }
    SectionLock(const SectionLock&) = delete;
    SectionLock& operator=(const SectionLock&) = delete;

private:
    CRITICAL_SECTION& m_Section;
};

void DeleteSessions(const std::vector<Session*>& sessions) {
    for (Session* session : sessions)
        delete session;
}

CConsolidatedError NotFound(const char* debug) {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::GENERAL_INVALID_VALUE, nullptr, debug);
    return error;
}

} // namespace

SessionHandler::SessionHandler(Builder builder) : m_Builder(std::move(builder)) {
    InitializeCriticalSection(&m_Lock);
}

SessionHandler::~SessionHandler() {
    std::vector<Session*> sessions;
    for (Slot& slot : m_Slots)
        if (slot.inUse.load() != 0 && slot.session)
            sessions.push_back(slot.session);
    for (const Orphan& orphan : m_Orphans)
        sessions.push_back(orphan.session);
    DeleteSessions(sessions);
    DeleteCriticalSection(&m_Lock);
}

Session* SessionHandler::freeSlot(Slot& slot) {
    Session* session = slot.session;
    slot.session = nullptr;
    slot.lockCount = 0;
    slot.closePending = false;
    slot.id = 0;
    ++slot.generation;
    slot.inUse.store(0);
    return session;
}

std::vector<Session*> SessionHandler::clearSlots() {
    std::vector<Session*> unheld;
    for (Slot& slot : m_Slots) {
        // A slot whose build is still running has no session yet; its build finds the slot taken
        // from it and deletes what it built.
        if (slot.session && slot.lockCount > 0)
            m_Orphans.push_back({slot.session, slot.lockCount});
        else if (slot.session)
            unheld.push_back(slot.session);
        freeSlot(slot);
    }
    return unheld;
}

CConsolidatedError SessionHandler::initialize() {
    std::lock_guard lifecycle(m_LifecycleMutex);
    if (m_Initialized.load())
        return CConsolidatedError(CConsolidatedError::UVI_DUPLICATE);
    std::vector<Session*> unheld;
    {
        SectionLock lock(m_Lock);
        unheld = clearSlots();
    }
    DeleteSessions(unheld);
    const CConsolidatedError loaded = m_RemapRequests.load();
    if (loaded.IsError())
        MOX_TRACE(TRACE_LEVEL_WARNING, "Remap request not loaded: 0x%X %s",
                  static_cast<unsigned>(loaded.GetErrorCode()), loaded.GetErrorMessage());
    m_Initialized.store(true);
    return CConsolidatedError();
}

CConsolidatedError SessionHandler::finalize() {
    std::lock_guard lifecycle(m_LifecycleMutex);
    if (!m_Initialized.load())
        return CConsolidatedError(CConsolidatedError::UVI_NOTINITIALIZED);
    {
        alignas(ComConnectionHandler) unsigned char storage[sizeof(ComConnectionHandler)];
        ComConnectionHandler* com = MakeComConnectionHandler(storage);
        releaseVdsService();
        com->~ComConnectionHandler();
    }
    std::vector<Session*> unheld;
    {
        SectionLock lock(m_Lock);
        unheld = clearSlots();
    }
    DeleteSessions(unheld);
    CDictionarySingleton::Release();
    m_Initialized.store(false);
    return CConsolidatedError();
}

CConsolidatedError SessionHandler::openSession(unsigned& id) {
    if (!m_Initialized.load())
        return CConsolidatedError(CConsolidatedError::UVI_NOTINITIALIZED);
    id = 0;
    Slot* claimed = nullptr;
    unsigned generation = 0;
    {
        SectionLock lock(m_Lock);
        for (Slot& slot : m_Slots) {
            int expected = 0;
            if (slot.inUse.compare_exchange_strong(expected, 1)) {
                claimed = &slot;
                generation = slot.generation;
                break;
            }
        }
    }
    if (!claimed) {
        CConsolidatedError error;
        error.SetError(CConsolidatedError::UVI_INSUFFICIENTRESOURCES, "Too many sessions opened!");
        return error;
    }

    Session* built = nullptr;
    CConsolidatedError result;
    try {
        result = m_Builder(built, &m_RemapRequests);
    } catch (...) {
        // The slot must not stay claimed by a build that did not return.
        SectionLock lock(m_Lock);
        if (claimed->generation == generation)
            freeSlot(*claimed);
        throw;
    }

    Session* discard = nullptr;
    {
        SectionLock lock(m_Lock);
        const bool stillClaimed = claimed->generation == generation;
        if (result.IsError()) {
            if (stillClaimed)
                freeSlot(*claimed);
            discard = built;
        } else if (!stillClaimed) {
            // The library was stopped (and perhaps restarted) while this session was built: the
            // slot is no longer this build's.
            discard = built;
            result.SetError(CConsolidatedError::UVI_NOTINITIALIZED, nullptr,
                            "Session handler, open session: library stopped during the build");
        } else {
            claimed->session = built;
            claimed->lockCount = 0;
            claimed->closePending = false;
            claimed->id = m_NextId++;
            id = static_cast<unsigned>(claimed->id);
        }
    }
    if (result.IsError())
        MOX_TRACE(TRACE_LEVEL_ERROR, "Session open failed: 0x%X %s",
                  static_cast<unsigned>(result.GetErrorCode()), result.GetErrorMessage());
    delete discard;
    return result;
}

CConsolidatedError SessionHandler::closeSession(int id) {
    Session* discard = nullptr;
    {
        SectionLock lock(m_Lock);
        Slot* found = nullptr;
        for (Slot& slot : m_Slots)
            if (slot.inUse.load() != 0 && slot.session && slot.id == id) {
                found = &slot;
                break;
            }
        if (!found)
            return NotFound("Session handler, destroy session: session not found");
        found->closePending = true;
        if (found->lockCount == 0)
            discard = freeSlot(*found);
    }
    delete discard;
    return CConsolidatedError();
}

CConsolidatedError SessionHandler::lockSession(int id, Session*& session) {
    SectionLock lock(m_Lock);
    for (Slot& slot : m_Slots)
        if (slot.inUse.load() != 0 && slot.session && !slot.closePending && slot.id == id) {
            session = slot.session;
            ++slot.lockCount;
            return CConsolidatedError();
        }
    return NotFound("Session handler, lock session: session not found");
}

CConsolidatedError SessionHandler::unlockSession(Session* session) {
    Session* discard = nullptr;
    {
        SectionLock lock(m_Lock);
        bool found = false;
        for (Slot& slot : m_Slots)
            if (session && slot.inUse.load() != 0 && slot.session == session) {
                found = true;
                if (--slot.lockCount == 0 && slot.closePending)
                    discard = freeSlot(slot);
                break;
            }
        if (!found)
            for (auto orphan = m_Orphans.begin(); session && orphan != m_Orphans.end(); ++orphan)
                if (orphan->session == session) {
                    found = true;
                    if (--orphan->lockCount == 0) {
                        discard = orphan->session;
                        m_Orphans.erase(orphan);
                    }
                    break;
                }
        if (!found)
            return NotFound("Session handler, unlock session: session not found");
    }
    delete discard;
    return CConsolidatedError();
}

CConsolidatedError SessionHandler::createTemporarySession(Session*& session) {
    static_cast<void>(m_RemapRequests.load()); // a failure shows in the remap rules, not here
    CConsolidatedError result = m_Builder(session, &m_RemapRequests);
    if (result.IsError() && session) {
        delete session;
        session = nullptr;
        MOX_TRACE(TRACE_LEVEL_ERROR, "Temporary session failed: 0x%X %s",
                  static_cast<unsigned>(result.GetErrorCode()), result.GetErrorMessage());
    }
    return result;
}

void SessionHandler::deleteTemporarySession(Session*& session) {
    delete session;
    session = nullptr;
}
