#pragma once
// How a call gets the Session it runs on: a session of the table by its id (locked for the call),
// or, for id 0, a temporary session built for the call alone and deleted after it.
#include <functional>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/model/SessionHandler.h"

class Session;

// A call's work on a session; the second form also gets the session's id (0 for a temporary one).
using SessionOperation = std::function<CConsolidatedError(Session&)>;
using SessionOperationWithHandle = std::function<CConsolidatedError(Session&, int)>;

class SessionHolder {
public:
    explicit SessionHolder(SessionHandler& handler = SessionHandler::get()) : m_Handler(handler) {}
    // Gives back what the holder still holds; the result is dropped.
    ~SessionHolder();
    SessionHolder(const SessionHolder&) = delete;
    SessionHolder& operator=(const SessionHolder&) = delete;

    // Handle not 0: 0xA001000C when the library is not started, else the table's lockSession.
    // Handle 0: a temporary session.
    static CConsolidatedError acquire(SessionHolder& holder, int handle, Session*& session);
    // The unlock's result, or success.
    static CConsolidatedError release(SessionHolder& holder);

private:
    SessionHandler& m_Handler;
    Session* m_Session = nullptr;
    bool m_Temporary = false;
    bool m_Locked = false;
};

// Runs the operation on the session with the handle (0: a temporary session): 0xA001000C when the
// library is not started, the error that kept the session from being taken, or the operation's
// result. The session is given back whatever the operation does; the give-back's result is dropped.
CConsolidatedError runWithSession(int handle, const SessionOperation& operation);
CConsolidatedError runWithSession(int handle, const SessionOperationWithHandle& operation);
CConsolidatedError runWithSession(SessionHandler& handler, int handle, const SessionOperation& operation);
CConsolidatedError runWithSession(SessionHandler& handler, int handle,
                                  const SessionOperationWithHandle& operation);
// Opens a table session for the call (0xA0010001 when no slot is free), runs the operation on it
// and closes it; the operation's result is returned, whatever the close answers.
CConsolidatedError runWithNewSession(const SessionOperation& operation);
CConsolidatedError runWithNewSession(const SessionOperationWithHandle& operation);
CConsolidatedError runWithNewSession(SessionHandler& handler, const SessionOperation& operation);
CConsolidatedError runWithNewSession(SessionHandler& handler, const SessionOperationWithHandle& operation);
