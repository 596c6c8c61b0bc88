// Other vendors' controllers and end devices and the hybrid disk sets, gathered by one operation over
// the three kinds.
#include <algorithm>

#include "cli/access/CliSession.h"

namespace MOX {

namespace {

using HandleQuery = _UVI_Error (*)(unsigned int, unsigned int*, unsigned int*);

template <class Record, class InfoQuery, class Accept, class Append>
Error GatherSessionObjects(uint32_t session, HandleQuery handleQuery, InfoQuery infoQuery, Accept accept,
                           Append append) {
    uint32_t count = 0;
    std::vector<uint32_t> handles;
    _UVI_Error deciding = CallUvi(handleQuery, session, nullptr, &count);
    if (deciding.status == UVI_STATUS_BUFFER_TOO_SMALL) {
        (void)QuietConversion(deciding);
        handles.assign(count, 0);
        deciding = CallUvi(handleQuery, session, handles.data(), &count);
    }
    if (deciding.status != 0) {
        (void)QuietConversion(deciding);
        Error failure;
        failure.set(1, "Could not get handles for UVI objects");
        return failure;
    }
    if (count > handles.size()) {
        Error failure;
        failure.set(1, "GetSessionObjects: Received different count of handles than expected.");
        return failure;
    }
    for (uint32_t i = 0; i < count; ++i) {
        Record record{};
        Error read = FullConversion(CallUvi(infoQuery, session, handles[i], &record));
        if (read.isError())
            return read;
        if (accept(record))
            append(record);
    }
    return Error();
}

} // namespace

Error CliSession::GetSessionObjects(std::vector<ThirdPartyController>& list, uint32_t controllerHandle) {
    return GatherSessionObjects<_UVI_ThirdPartyControllerInfo>(
        session_, UviGetThirdPartyControllerHandles, UviGetThirdPartyControllerInfo,
        [&](const _UVI_ThirdPartyControllerInfo& r) {
            return controllerHandle == 0 || r.controllerHandle == controllerHandle;
        },
        [&](const _UVI_ThirdPartyControllerInfo& r) { list.emplace_back(r); });
}

Error CliSession::GetSessionObjects(std::vector<ThirdPartyEndDevice>& list, uint32_t controllerHandle) {
    return GatherSessionObjects<_UVI_ThirdPartyEndDeviceInfo>(
        session_, UviGetThirdPartyEndDeviceHandles, UviGetThirdPartyEndDeviceInfo,
        [&](const _UVI_ThirdPartyEndDeviceInfo& r) { return r.controllerHandle == controllerHandle; },
        [&](const _UVI_ThirdPartyEndDeviceInfo& r) { list.emplace_back(r); });
}

Error CliSession::GetSessionObjects(std::vector<HybridDiskSetEntry>& list,
                                    const HybridDiskSetFilter& accept) {
    bool clamped = false;
    Error result = GatherSessionObjects<_UVI_HybridDiskSetInfo>(
        session_, UviGetHybridDiskSetHandles, UviGetHybridDiskSetInfo,
        [&](const _UVI_HybridDiskSetInfo& r) { return accept && accept(r); },
        [&](const _UVI_HybridDiskSetInfo& r) {
            HybridDiskSetEntry entry;
            entry.handle = r.handle;
            // The record has eight slots; a larger count is not read past them.
            const auto slots = static_cast<uint32_t>(std::size(r.controllerHandles));
            clamped = clamped || r.numControllerHandles > slots;
            const uint32_t used = std::min(r.numControllerHandles, slots);
            entry.controllerHandles.assign(r.controllerHandles, r.controllerHandles + used);
            list.push_back(std::move(entry));
        });
    // A set that claims more controllers than its record holds is listed with those it holds and
    // reported, so that no caller takes it for the whole set.
    if (clamped && !result.isError())
        result.set(1, "GetSessionObjects: Received different count of handles than expected.");
    return result;
}

} // namespace MOX
