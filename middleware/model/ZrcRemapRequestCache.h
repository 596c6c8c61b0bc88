#pragma once
// The process's copy of the remap request, kept by the session table: loaded once when the library
// starts (and again until a load succeeds), refreshed by every store operation with the record it
// read and the record it wrote. Sessions ask it which controllers are scheduled; validator rules ask
// it whether remapping can be used at all. Callers on several threads may use it at once.
#include <cstdint>
#include <mutex>

#include "middleware/model/ZrcRemapBiosVariable.h"
#include "middleware/core/ConsolidatedError.h"

class ZrcRemapRequestCache {
public:
    // Success at once after a successful load; otherwise reads the variable. A failure is kept as
    // the load error and returned, and the next call reads again; a later success clears it.
    CConsolidatedError load();
    bool isScheduled(uint16_t location) const;
    // The variable has been read and the last load did not fail.
    bool isRemapSupported() const;

    ZrcRemapBiosVariable record() const;
    bool isLoaded() const;
    CConsolidatedError loadError() const;
    // Takes over a record the store operations read or wrote; they call it while they hold the
    // variable's section, so the copy never goes back to an older state.
    void keep(const ZrcRemapBiosVariable& record);

private:
    mutable std::mutex mutex_;
    CConsolidatedError loadError_;
    bool loaded_ = false;
    ZrcRemapBiosVariable record_;
};
