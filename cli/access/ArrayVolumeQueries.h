#pragma once
// The array and volume queries of the library as the command line's access layer calls them.
#include "middleware/api/UviApi.h"

namespace MOX {

inline _UVI_Error QueryArrayHandles(unsigned int session, unsigned int* handles, unsigned int* count) {
    return UviGetArrayHandles(session, handles, count);
}
inline _UVI_Error QueryArrayInfo(unsigned int session, unsigned int handle, _UVI_ArrayInfo* info) {
    return UviGetArrayInfo(session, handle, info);
}
inline _UVI_Error QueryVolumeHandles(unsigned int session, unsigned int* handles, unsigned int* count) {
    return UviGetVolumeHandles(session, handles, count);
}
inline _UVI_Error QueryVolumeInfo(unsigned int session, unsigned int handle, _UVI_VolumeInfo* info) {
    return UviGetVolumeInfo(session, handle, info);
}

} // namespace MOX
