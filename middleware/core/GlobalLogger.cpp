#include "middleware/core/GlobalLogger.h"

std::atomic<bool> GlobalLogger::_disableLogging{false};

GlobalLogger& GlobalLogger::get() {
    thread_local GlobalLogger logger;
    return logger;
}

GlobalLogger::GlobalLogger() : m_state(new State) {}

GlobalLogger::~GlobalLogger() {
    delete m_state;
}

uint64_t GlobalLogger::setError(const CConsolidatedError& error) {
    if (_disableLogging.load())
        return NO_ID;
    if (m_state->lastError.IsError() && error.IsSuccessful())
        return NO_ID;
    if (++m_state->idCounter == NO_ID)
        ++m_state->idCounter;
    m_state->lastError = error;
    m_state->lastId = m_state->idCounter;
    return m_state->lastId;
}

uint32_t GlobalLogger::setError(const CConsolidatedError& error, _UVI_Error& record) {
    record.errorId = static_cast<uint32_t>(setError(error));
    return record.errorId;
}

CConsolidatedError GlobalLogger::getError(uint64_t id, bool clean) {
    if (id != m_state->lastId)
        return CConsolidatedError();
    CConsolidatedError copy(m_state->lastError);
    if (clean)
        this->clean(id);
    return copy;
}

CConsolidatedError GlobalLogger::getLastError(bool clean) {
    CConsolidatedError copy(m_state->lastError);
    if (clean)
        this->clean(m_state->lastId);
    return copy;
}

uint64_t GlobalLogger::getLastId() const {
    return m_state->lastId;
}

void GlobalLogger::clean(uint64_t id) {
    if (id != m_state->lastId)
        return;
    m_state->lastError = CConsolidatedError();
    m_state->lastId = NO_ID;
}

void GlobalLogger::SetLoggingOff() {
    _disableLogging.store(true);
}

void GlobalLogger::SetLoggingOn() {
    _disableLogging.store(false);
}

bool GlobalLogger::IsLoggingOn() {
    return !_disableLogging.load();
}
