#include "middleware/model/ZrcRemapRequestCache.h"

#include <exception>

#include "middleware/model/ZrcRemapBiosVarProxy.h"

CConsolidatedError ZrcRemapRequestCache::load() {
    std::lock_guard lock(mutex_);
    if (loaded_)
        return CConsolidatedError();
    try {
        ZrcRemapBiosVarProxy proxy;
        record_ = proxy;
        loaded_ = true;
        loadError_.ClearError();
        return CConsolidatedError();
    } catch (const CConsolidatedError& failure) {
        loadError_ = failure;
        return failure;
    } catch (const std::exception& e) {
        loadError_ = CConsolidatedError(CConsolidatedError::UVI_INTERNALERROR);
        loadError_.AddErrorMessage("%s", e.what());
        return loadError_;
    }
}

bool ZrcRemapRequestCache::isScheduled(uint16_t location) const {
    std::lock_guard lock(mutex_);
    return record_.lists(location);
}

bool ZrcRemapRequestCache::isRemapSupported() const {
    std::lock_guard lock(mutex_);
    return loaded_ && loadError_.GetErrorType() == KEDO2_ERROR_TYPE_NONE;
}

ZrcRemapBiosVariable ZrcRemapRequestCache::record() const {
    std::lock_guard lock(mutex_);
    return record_;
}

bool ZrcRemapRequestCache::isLoaded() const {
    std::lock_guard lock(mutex_);
    return loaded_;
}

CConsolidatedError ZrcRemapRequestCache::loadError() const {
    std::lock_guard lock(mutex_);
    return loadError_;
}

void ZrcRemapRequestCache::keep(const ZrcRemapBiosVariable& record) {
    std::lock_guard lock(mutex_);
    record_ = record;
}
