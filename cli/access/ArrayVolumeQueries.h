#pragma once
// The array and volume queries of the library as the command line's access layer calls them. The
// volume queries are referenced weakly while the library lacks them: a missing query answers as a
// failed call (code 0xA0010010) instead of being called.
#include "middleware/api/UviApi.h"

extern "C" {
__attribute__((weak)) _UVI_Error UviGetVolumeHandles(unsigned int session, unsigned int* handleList,
                                                     unsigned int* handleCount);
__attribute__((weak)) _UVI_Error UviGetVolumeInfo(unsigned int session, unsigned int volumeHandle,
                                                  _UVI_VolumeInfo* info);
}

namespace MOX {

inline _UVI_Error QueryNotAvailable() {
    _UVI_Error result{};
    result.status = static_cast<_UVI_Status>(16);
    result.code = 0xA0010010u;
    return result;
}

inline _UVI_Error QueryArrayHandles(unsigned int session, unsigned int* handles, unsigned int* count) {
    return UviGetArrayHandles(session, handles, count);
}
inline _UVI_Error QueryArrayInfo(unsigned int session, unsigned int handle, _UVI_ArrayInfo* info) {
    return UviGetArrayInfo(session, handle, info);
}
inline _UVI_Error QueryVolumeHandles(unsigned int session, unsigned int* handles, unsigned int* count) {
    return UviGetVolumeHandles ? UviGetVolumeHandles(session, handles, count) : QueryNotAvailable();
}
inline _UVI_Error QueryVolumeInfo(unsigned int session, unsigned int handle, _UVI_VolumeInfo* info) {
    return UviGetVolumeInfo ? UviGetVolumeInfo(session, handle, info) : QueryNotAvailable();
}

} // namespace MOX
