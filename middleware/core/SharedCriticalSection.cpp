#include "middleware/core/SharedCriticalSection.h"

void CriticalSectionDeleter::operator()(CRITICAL_SECTION* section) const {
    DeleteCriticalSection(section);
    delete section;
}

SharedCriticalSectionLock::SharedCriticalSectionLock(std::shared_ptr<CRITICAL_SECTION> section,
                                                     CRITICAL_SECTION* entered)
    : section_(std::move(section)), entered_(entered) {}

SharedCriticalSection::SharedCriticalSection() {
    auto* section = new CRITICAL_SECTION;
    InitializeCriticalSection(section);
    section_ = std::shared_ptr<CRITICAL_SECTION>(section, CriticalSectionDeleter());
}

SharedCriticalSectionLock SharedCriticalSection::lock() const {
    EnterCriticalSection(section_.get());
    return SharedCriticalSectionLock(section_, section_.get());
}
