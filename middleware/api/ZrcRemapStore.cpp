#include "middleware/api/ZrcRemapStore.h"

#include <algorithm>
#include <exception>
#include <functional>

#include "middleware/model/ZrcRemapBiosVarProxy.h"

namespace {

std::vector<uint16_t> Distinct(const std::vector<uint16_t>& locations) {
    std::vector<uint16_t> out;
    for (uint16_t location : locations)
        if (std::find(out.begin(), out.end(), location) == out.end())
            out.push_back(location);
    return out;
}

CConsolidatedError Refusal(KEDO2_ERRORS code, const char* text) {
    CConsolidatedError refusal(code);
    refusal.AddErrorMessage("%s", text);
    return refusal;
}

CConsolidatedError ControllerRefusal(KEDO2_ERRORS code, uint16_t location, const char* what) {
    CConsolidatedError refusal(code);
    refusal.AddErrorMessage("Scsi controller %s %s", ZrcRemapLocationText(location).c_str(), what);
    return refusal;
}

// Makes the proxy, keeps the record as read, and runs the change, which either throws its refusal
// or has written the record; what escapes becomes the result.
CConsolidatedError
Guarded(ZrcRemapRequestCache& cache,
        const std::function<void(ZrcRemapBiosVarProxy&, const ZrcRemapBiosVariable&)>& change) {
    try {
        ZrcRemapBiosVarProxy proxy;
        const ZrcRemapBiosVariable read = proxy;
        cache.keep(read);
        change(proxy, read);
        cache.keep(proxy);
        return CConsolidatedError();
    } catch (const CConsolidatedError& failure) {
        return failure;
    } catch (const std::exception& e) {
        CConsolidatedError failure(CConsolidatedError::UVI_INTERNALERROR);
        failure.AddErrorMessage("%s", e.what());
        return failure;
    }
}

} // namespace

CConsolidatedError scheduleZrcRemap(ZrcRemapRequestCache& cache, const std::vector<uint16_t>& locations) {
    if (locations.empty())
        return Refusal(CConsolidatedError::UVI_ACTION_ZRC_REMAP_NOTHING_TO_REMAP,
                       "No controller available for remapping detected");
    return Guarded(cache, [&](ZrcRemapBiosVarProxy& record, const ZrcRemapBiosVariable& read) {
        for (uint16_t location : Distinct(locations)) {
            if (read.lists(location))
                throw ControllerRefusal(CConsolidatedError::UVI_ACTION_ZRC_REMAP_NOTHING_TO_REMAP, location,
                                        "already scheduled for remap");
            const unsigned count = record.countField();
            if (count >= ZrcRemapBiosVariable::kSlots)
                throw ControllerRefusal(CConsolidatedError::UVI_ACTION_ZRC_REMAP_UNSUPPORTED_REMAP_OPERATION,
                                        location,
                                        "cannot be remapped because too many controllers already scheduled");
            record.words[count + 1] = location;
            record.setCountField(count + 1);
        }
        record.write();
    });
}

CConsolidatedError clearZrcRemapRequest(ZrcRemapRequestCache& cache) {
    return Guarded(cache, [&](ZrcRemapBiosVarProxy& record, const ZrcRemapBiosVariable& read) {
        if (read.countField() == 0)
            throw Refusal(CConsolidatedError::UVI_ACTION_ZRC_REMAP_NOTHING_TO_REVERT,
                          "Nothing scheduled for remap");
        record.setCountField(0);
        std::fill(record.words + 1, record.words + ZrcRemapBiosVariable::kWords, uint16_t{0});
        record.write();
    });
}

CConsolidatedError revertZrcRemap(ZrcRemapRequestCache& cache, const std::vector<uint16_t>& locations) {
    return Guarded(cache, [&](ZrcRemapBiosVarProxy& record, const ZrcRemapBiosVariable& read) {
        if (read.countField() == 0)
            throw Refusal(CConsolidatedError::UVI_ACTION_ZRC_REMAP_NOTHING_TO_REVERT,
                          "Cannot revert - nothing is scheduled for remap");
        for (uint16_t location : Distinct(locations)) {
            if (!read.lists(location))
                throw ControllerRefusal(CConsolidatedError::UVI_ACTION_ZRC_REMAP_UNSUPPORTED_REVERT_OPERATION,
                                        location, "is not scheduled for remap");
            // A word listed twice by another writer goes with all its copies: the controller is
            // no longer scheduled afterwards. The last scheduled word fills each hole; the word it
            // leaves keeps its old value.
            unsigned count = record.count();
            for (unsigned i = 0; i < count;) {
                if (record.words[i + 1] != location) {
                    ++i;
                    continue;
                }
                record.words[i + 1] = record.words[count];
                --count;
            }
            record.setCountField(count);
        }
        record.write();
    });
}
