// The process's session table and the calls that run on it.
#include "middleware/model/Session.h"
#include "middleware/model/SessionHandler.h"
#include "middleware/model/SessionHolder.h"

SessionHandler& SessionHandler::get() {
    static SessionHandler handler(&Session::Create);
    return handler;
}

CConsolidatedError runWithSession(int handle, const SessionOperation& operation) {
    return runWithSession(SessionHandler::get(), handle, operation);
}

CConsolidatedError runWithSession(int handle, const SessionOperationWithHandle& operation) {
    return runWithSession(SessionHandler::get(), handle, operation);
}

CConsolidatedError runWithNewSession(const SessionOperation& operation) {
    return runWithNewSession(SessionHandler::get(), operation);
}

CConsolidatedError runWithNewSession(const SessionOperationWithHandle& operation) {
    return runWithNewSession(SessionHandler::get(), operation);
}
