#include "middleware/core/SharedCriticalSection.h"

void CriticalSectionDeleter::operator()(CRITICAL_SECTION* section) const {
    DeleteCriticalSection(section);
    delete section;
}

SharedCriticalSectionLock::SharedCriticalSectionLock(std::shared_ptr<CRITICAL_SECTION> section,
                                                     CRITICAL_SECTION* entered)
    : section_(std::move(section)), entered_(entered) {}

SharedCriticalSectionLock& SharedCriticalSectionLock::operator=(SharedCriticalSectionLock&& other) noexcept {
    if (this != &other) {
        // Leave while the reference still keeps the old section alive: it may be the last one.
        entered_.reset();
        section_ = std::move(other.section_);
        entered_ = std::move(other.entered_);
    }
    return *this;
}

SharedCriticalSection::SharedCriticalSection() {
    auto* section = new CRITICAL_SECTION;
    InitializeCriticalSection(section);
    section_ = std::shared_ptr<CRITICAL_SECTION>(section, CriticalSectionDeleter());
}

SharedCriticalSectionLock SharedCriticalSection::lock() const {
    EnterCriticalSection(section_.get());
    return SharedCriticalSectionLock(section_, section_.get());
}
