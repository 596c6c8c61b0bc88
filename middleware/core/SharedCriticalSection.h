#pragma once
// A critical section shared by reference count: every copy of a SharedCriticalSection and every lock
// taken through one keeps the one section alive.
#include <memory>

#include "platform/win/WinSync.h"

// Deletes a heap critical section: DeleteCriticalSection, then frees its storage.
struct CriticalSectionDeleter {
    void operator()(CRITICAL_SECTION* section) const;
};

// Proof that the section is entered; leaves it when destroyed. It holds a reference of its own, so a
// lock may outlive the SharedCriticalSection it came from.
class SharedCriticalSectionLock {
public:
    SharedCriticalSectionLock(std::shared_ptr<CRITICAL_SECTION> section, CRITICAL_SECTION* entered);
    SharedCriticalSectionLock(SharedCriticalSectionLock&&) noexcept = default;
    SharedCriticalSectionLock& operator=(SharedCriticalSectionLock&& other) noexcept;

private:
    struct Leave {
        void operator()(CRITICAL_SECTION* section) const { LeaveCriticalSection(section); }
    };
    // Declared first, destroyed last: the section is left before the reference goes.
    std::shared_ptr<CRITICAL_SECTION> section_;
    std::unique_ptr<CRITICAL_SECTION, Leave> entered_;
};

class SharedCriticalSection {
public:
    SharedCriticalSection();

    // Enters the section (re-entrant for the thread that holds it).
    SharedCriticalSectionLock lock() const;

private:
    std::shared_ptr<CRITICAL_SECTION> section_;
};
