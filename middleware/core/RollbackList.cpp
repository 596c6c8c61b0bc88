#include "middleware/core/RollbackList.h"

#include <exception>
#include <mutex>

#include "middleware/core/GlobalLogger.h"
#include "platform/win/Trace.h"

namespace {

// Registration is off while any rollback of the process runs its steps (one nested in an undo step,
// or on another thread): it comes back on when the last one ends, and only if it was on before the
// first began.
struct RunningRollbacks {
    std::mutex lock;
    unsigned running = 0;
    bool wasOn = true;
};

RunningRollbacks& Running() {
    static RunningRollbacks running;
    return running;
}

void BeginRollback() {
    RunningRollbacks& r = Running();
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.running++ == 0)
        r.wasOn = GlobalLogger::IsLoggingOn();
    GlobalLogger::SetLoggingOff();
}

void EndRollback() {
    RunningRollbacks& r = Running();
    std::lock_guard<std::mutex> guard(r.lock);
    if (--r.running == 0 && r.wasOn)
        GlobalLogger::SetLoggingOn();
}

} // namespace

RollbackList::~RollbackList() {
    if (committed_)
        return;
    BeginRollback();
    while (!steps_.empty()) {
        // A step that throws or holds nothing must not keep the older ones from running, nor leave
        // registration switched off.
        try {
            if (steps_.back())
                steps_.back()();
        } catch (const std::exception& e) {
            MOX_TRACE(TRACE_LEVEL_ERROR, "RollbackList: an undo step failed: %s", e.what());
        } catch (...) {
            MOX_TRACE(TRACE_LEVEL_ERROR, "RollbackList: an undo step failed");
        }
        steps_.pop_back();
    }
    EndRollback();
}

void RollbackList::push(std::function<void()> undo) {
    steps_.push_back(std::move(undo));
}

void RollbackList::commit() {
    committed_ = true;
}
