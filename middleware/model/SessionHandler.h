#pragma once
// The process's table of open sessions: ten slots, each holding one built Session under an id that
// is never given out twice in the process. Calls take a session for their duration (lockSession)
// and give it back (unlockSession); a session closed while calls hold it is deleted by the last of
// them. The table also keeps the process's copy of the remap request, which every session it builds
// reads, and the library's started flag.
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/model/ZrcRemapRequestCache.h"
#include "platform/win/WinSync.h"

class Session;

class SessionHandler {
public:
    static constexpr int kSlotCount = 10;
    // How a session is built: Session::Create in the library; tests give builders of their own.
    using Builder = std::function<CConsolidatedError(Session*& session, ZrcRemapRequestCache* remapRequests)>;

    // The process's table, built on first use.
    static SessionHandler& get();

    explicit SessionHandler(Builder builder);
    ~SessionHandler();
    SessionHandler(const SessionHandler&) = delete;
    SessionHandler& operator=(const SessionHandler&) = delete;

    // 0xA001000B when already started; the remap request cache's load failure is only traced.
    CConsolidatedError initialize();
    // 0xA001000C when not started.
    CConsolidatedError finalize();
    // Builds a session in a free slot (outside the table's lock) and gives out its id; 0xA001000C
    // when not started, 0xA0010001 "Too many sessions opened!" when all slots are taken, the
    // build's error when it fails (no id is given out then).
    CConsolidatedError openSession(unsigned& id);
    // Deletes the session now, or when the last call holding it gives it back; 0xA0000004 for an
    // id that is not open.
    CConsolidatedError closeSession(int id);
    // Takes the open (not closed) session with the id for one call; 0xA0000004 when there is none.
    CConsolidatedError lockSession(int id, Session*& session);
    // Gives back a session lockSession handed out; 0xA0000004 when the table does not hold it.
    CConsolidatedError unlockSession(Session* session);
    // A session for one call, outside the table; a build that returns a session with an error
    // (0xA0010050) has it deleted and the pointer null.
    CConsolidatedError createTemporarySession(Session*& session);
    void deleteTemporarySession(Session*& session);

    bool isInitialized() const { return m_Initialized.load(); }
    ZrcRemapRequestCache& remapRequestCache() { return m_RemapRequests; }

private:
    struct Slot {
        Session* session = nullptr;
        int lockCount = 0;
        bool closePending = false;
        int id = 0;
        std::atomic<int> inUse{0};
        // Counts the times the slot was freed, so that a build finds out whether its claim still
        // stands when it returns.
        unsigned generation = 0;
    };
    // A session that was open when the library stopped while calls held it: deleted by the last
    // of them.
    struct Orphan {
        Session* session;
        int lockCount;
    };

    // Frees the slot; returns its session for deletion outside the lock. Caller holds the lock.
    Session* freeSlot(Slot& slot);
    // Empties every slot: sessions no call holds are returned for deletion, held ones become
    // orphans. Caller holds the lock.
    std::vector<Session*> clearSlots();

    Builder m_Builder;
    int m_NextId = 1;
    Slot m_Slots[kSlotCount];
    std::vector<Orphan> m_Orphans;
    ZrcRemapRequestCache m_RemapRequests;
    CRITICAL_SECTION m_Lock;
    // Serialises starting and stopping the library against each other.
    std::mutex m_LifecycleMutex;
    std::atomic<bool> m_Initialized{false};
};
