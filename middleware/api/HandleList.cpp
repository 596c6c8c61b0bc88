#include "middleware/api/HandleList.h"

#include <cstring>

namespace {

template <class Handle>
CConsolidatedError Fill(const std::vector<uint32_t>& handles, Handle* list, unsigned* count,
                        const char* nullListMessage, const char* tooSmallMessage) {
    static_assert(sizeof(Handle) == sizeof(uint32_t));
    CConsolidatedError error;
    if (!count || (*count != 0 && !list)) {
        error.SetError(UVI_STATUS_INVALID_PARAMETER, nullListMessage, nullptr);
        return error;
    }
    const size_t room = *count;
    for (size_t i = 0; i < handles.size() && i < room; ++i)
        std::memcpy(&list[i], &handles[i], sizeof(uint32_t));
    *count = static_cast<unsigned>(handles.size());
    if (handles.size() > room)
        error.SetError(UVI_STATUS_BUFFER_TOO_SMALL, tooSmallMessage, nullptr);
    return error;
}

} // namespace

CConsolidatedError FillHandleList(const std::vector<uint32_t>& handles, uint32_t* list, unsigned* count,
                                  const char* nullListMessage, const char* tooSmallMessage) {
    return Fill(handles, list, count, nullListMessage, tooSmallMessage);
}

CConsolidatedError FillHandleList(const std::vector<uint32_t>& handles, int* list, unsigned* count,
                                  const char* nullListMessage, const char* tooSmallMessage) {
    return Fill(handles, list, count, nullListMessage, tooSmallMessage);
}
