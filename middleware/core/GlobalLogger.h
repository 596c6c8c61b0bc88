#pragma once
// The per-thread store of the last error handed out through the C interface, so that a caller can
// fetch the texts of a failure by the id in its _UVI_Error record.
#include <atomic>
#include <cstdint>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

class MOX_EXPORT GlobalLogger {
public:
    static constexpr uint64_t NO_ID = 0;

    // The calling thread's logger, created on its first call and destroyed when the thread ends.
    static GlobalLogger& get();

    GlobalLogger(const GlobalLogger&) = delete;
    GlobalLogger& operator=(const GlobalLogger&) = delete;
    ~GlobalLogger();

    // Stores the error and returns its new id, or NO_ID when refused: while logging is off, and for a
    // success while a failure is stored (a success never hides a failure not yet read).
    uint64_t setError(const CConsolidatedError& error);
    // The same; the low 32 bits of the id go into the record's error id and are returned.
    uint32_t setError(const CConsolidatedError& error, _UVI_Error& record);

    // A copy of the stored error when `id` is the last id, otherwise a success value.
    CConsolidatedError getError(uint64_t id, bool clean);
    // A copy of the stored error whatever its id.
    CConsolidatedError getLastError(bool clean);
    uint64_t getLastId() const;
    // Forgets the stored error when `id` is the last id; any other id is ignored.
    void clean(uint64_t id);

    // Process-wide: stops registration on every thread until switched on again.
    static void SetLoggingOff();
    static void SetLoggingOn();
    static bool IsLoggingOn();

private:
    friend struct GlobalLoggerTestPeer; // lets a test put the id counter near its wrap

    struct State {
        uint64_t lastId = NO_ID;
        CConsolidatedError lastError;
        uint64_t idCounter = 0;
    };

    GlobalLogger();
    GlobalLogger& operator=(GlobalLogger&&) = delete;

    State* m_state;

    static std::atomic<bool> _disableLogging;
};
