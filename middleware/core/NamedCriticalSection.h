#pragma once
// A cross-process try-lock for long operations: whoever comes second is told at once that the
// operation is busy, never made to wait. The section is a named mutex; while it is held, an event of
// the mutex's name with "_E" appended is signalled, so that any process can see the operation
// running without trying to enter it.
//
// Two objects of one name exclude each other on every thread, the holder's own included: the
// Windows mutex would let its owner thread in again, so the process also keeps the names its
// objects hold. The mutex belongs to the thread that entered, so leave() and the destruction of a
// held section belong on that thread.
#include <string>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/ScopedHandle.h"

class NamedCriticalSection {
public:
    explicit NamedCriticalSection(const std::string& name);
    ~NamedCriticalSection();
    NamedCriticalSection(const NamedCriticalSection&) = delete;
    NamedCriticalSection& operator=(const NamedCriticalSection&) = delete;

    // 0xA0070037 when another holder is inside, 0xA0070038 when this object already holds it; a
    // previous holder that ended without leaving (its process or its thread) counts as gone. Throws
    // CConsolidatedError when the mutex can be neither created nor opened.
    CConsolidatedError enter();
    // Gives the section back when held; throws CConsolidatedError (staying held) when the mutex
    // cannot be released.
    void leave();
    // A mutex of the name exists in the system.
    bool exists() const;
    // Some holder, in any process, is inside right now.
    bool isInUse() const;

private:
    bool held_ = false;
    std::string mutexName_;
    std::string eventName_;
    ScopedHandle mutex_;
    ScopedHandle event_;
};
