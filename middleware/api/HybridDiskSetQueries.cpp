// The hybrid disk sets of a session: their handles and one set's members.
#include <cstring>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviHybridRecords.h"
#include "middleware/model/HybridDiskSet.h"
#include "middleware/model/Session.h"

namespace {

CConsolidatedError NullParameter() {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, nullptr);
    return error;
}

// Copies at most the record's eight slots; the number copied.
uint32_t CopyHandles(const std::vector<uint32_t>& handles, uint32_t (&slots)[8]) {
    uint32_t copied = 0;
    for (; copied < handles.size() && copied < 8; ++copied)
        slots[copied] = handles[copied];
    return copied;
}

} // namespace

extern "C" _UVI_Error UviGetHybridDiskSetHandles(unsigned int session, unsigned int* handleList,
                                                 unsigned int* handleCount) {
    if (!handleCount)
        return RunExportedCall(NullParameter);
    return RunSessionCall(session, [=](Session& s) {
        CConsolidatedError error;
        if (!handleList && *handleCount != 0) {
            error.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, nullptr);
            error.AddErrorMessage("Input buffer can't be null");
            return error;
        }
        const auto& sets = s.getHybridDiskSets();
        const unsigned int capacity = *handleCount;
        *handleCount = static_cast<unsigned int>(sets.size());
        if (capacity < sets.size()) {
            error.SetError(CConsolidatedError::UVI_BUFFERTOOSMALL, nullptr);
            return error;
        }
        for (size_t i = 0; i < sets.size(); ++i)
            if (sets[i]->getHandle() != 0)
                handleList[i] = sets[i]->getHandle();
        return error;
    });
}

extern "C" _UVI_Error UviGetHybridDiskSetInfo(unsigned int session, unsigned int setHandle,
                                              _UVI_HybridDiskSetInfo* info) {
    if (!info)
        return RunExportedCall(NullParameter);
    return RunSessionCall(session, [=](Session& s) {
        CConsolidatedError error;
        for (const auto& set : s.getHybridDiskSets()) {
            if (set->getHandle() != setHandle)
                continue;
            info->handle = set->getHandle();
            info->numDiskHandles = CopyHandles(set->getDiskHandles(), info->diskHandles);
            info->numControllerHandles = CopyHandles(set->getControllerHandles(), info->controllerHandles);
            return error;
        }
        return InvalidHandleError("Invalid Handle passed in UviGetHybridDiskSetInfo, Received: %d",
                                  setHandle);
    });
}
