#include "middleware/core/RollbackList.h"

#include <exception>

#include "middleware/core/GlobalLogger.h"
#include "platform/win/Trace.h"

RollbackList::~RollbackList() {
    if (committed_)
        return;
    GlobalLogger::SetLoggingOff();
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
    GlobalLogger::SetLoggingOn();
}

void RollbackList::push(std::function<void()> undo) {
    steps_.push_back(std::move(undo));
}

void RollbackList::commit() {
    committed_ = true;
}
