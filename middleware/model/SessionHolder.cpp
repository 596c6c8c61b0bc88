#include "middleware/model/SessionHolder.h"

#include "middleware/model/Session.h"

SessionHolder::~SessionHolder() {
    if (m_Session)
        static_cast<void>(release(*this)); // nobody is left to hear of a failed give-back
}

CConsolidatedError SessionHolder::acquire(SessionHolder& holder, int handle, Session*& session) {
    if (handle != 0) {
        if (!holder.m_Handler.isInitialized())
            return CConsolidatedError(CConsolidatedError::UVI_NOTINITIALIZED);
        CConsolidatedError result = holder.m_Handler.lockSession(handle, holder.m_Session);
        if (result.IsSuccessful()) {
            holder.m_Locked = true;
            session = holder.m_Session;
        }
        return result;
    }
    CConsolidatedError result = holder.m_Handler.createTemporarySession(holder.m_Session);
    if (result.IsSuccessful()) {
        holder.m_Temporary = true;
        session = holder.m_Session;
    }
    return result;
}

CConsolidatedError SessionHolder::release(SessionHolder& holder) {
    CConsolidatedError result;
    if (holder.m_Locked) {
        result = holder.m_Handler.unlockSession(holder.m_Session);
        holder.m_Locked = false;
        holder.m_Session = nullptr;
    }
    if (holder.m_Temporary) {
        holder.m_Handler.deleteTemporarySession(holder.m_Session);
        holder.m_Temporary = false;
    }
    return result;
}

namespace {

CConsolidatedError RunOnHeldSession(SessionHandler& handler, int handle,
                                    const std::function<CConsolidatedError(Session&)>& run) {
    if (!handler.isInitialized())
        return CConsolidatedError(CConsolidatedError::UVI_NOTINITIALIZED);
    SessionHolder holder(handler);
    Session* session = nullptr;
    CConsolidatedError result = SessionHolder::acquire(holder, handle, session);
    if (result.IsSuccessful())
        result = run(*session);
    static_cast<void>(SessionHolder::release(holder)); // the operation's result is what counts
    return result;
}

template <class Operation>
CConsolidatedError RunOnNewSession(SessionHandler& handler, const Operation& operation) {
    unsigned id = 0;
    CConsolidatedError opened = handler.openSession(id);
    if (opened.IsError())
        return opened;
    const Operation copy = operation;
    CConsolidatedError result;
    try {
        result = runWithSession(handler, static_cast<int>(id), copy);
    } catch (...) {
        static_cast<void>(handler.closeSession(static_cast<int>(id))); // the slot is not kept
        throw;
    }
    static_cast<void>(handler.closeSession(static_cast<int>(id))); // the operation's result counts
    return result;
}

} // namespace

CConsolidatedError runWithSession(SessionHandler& handler, int handle, const SessionOperation& operation) {
    return RunOnHeldSession(handler, handle, [&](Session& session) { return operation(session); });
}

CConsolidatedError runWithSession(SessionHandler& handler, int handle,
                                  const SessionOperationWithHandle& operation) {
    return RunOnHeldSession(handler, handle, [&](Session& session) { return operation(session, handle); });
}

CConsolidatedError runWithNewSession(SessionHandler& handler, const SessionOperation& operation) {
    return RunOnNewSession(handler, operation);
}

CConsolidatedError runWithNewSession(SessionHandler& handler, const SessionOperationWithHandle& operation) {
    return RunOnNewSession(handler, operation);
}
