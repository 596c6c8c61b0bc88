#pragma once
// The access layer keeps the library records of one controller or one array while it walks the
// handles of a kind. The records are the library's plain C records; the filters read the handles at
// their documented offsets.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "cli/Error.h"

namespace MOX {

constexpr int32_t SCOPE_ALL = 0;
constexpr int32_t SCOPE_CONTROLLER = 1;
constexpr int32_t SCOPE_ARRAY = 3;

namespace scope {

template <class Record> uint32_t HandleAt(const Record& record, size_t offset) {
    static_assert(std::is_trivially_copyable_v<Record>);
    uint32_t handle = 0;
    std::memcpy(&handle, reinterpret_cast<const unsigned char*>(&record) + offset, sizeof handle);
    return handle;
}

Error InvalidScope();

// Offsets of the controller and array handles; SIZE_MAX where a record has no such scope.
template <class Record>
Error AppendInScope(const Record& record, int32_t kind, uint32_t id, std::vector<Record>& out,
                    size_t controllerOffset, size_t arrayOffset) {
    size_t offset = SIZE_MAX;
    if (kind == SCOPE_ALL) {
        out.push_back(record);
        return Error();
    }
    if (kind == SCOPE_CONTROLLER)
        offset = controllerOffset;
    else if (kind == SCOPE_ARRAY)
        offset = arrayOffset;
    if (offset == SIZE_MAX)
        return InvalidScope();
    if (HandleAt(record, offset) == id)
        out.push_back(record);
    return Error();
}

} // namespace scope

// _UVI_EndDeviceInfo (720 bytes): controller handle at 260, array handle at 32.
template <class EndDeviceInfo>
Error AppendEndDeviceInScope(const EndDeviceInfo& record, int32_t kind, uint32_t id,
                             std::vector<EndDeviceInfo>& out) {
    static_assert(sizeof(EndDeviceInfo) == 720);
    return scope::AppendInScope(record, kind, id, out, 260, 32);
}

// _UVI_VolumeInfo (176 bytes): controller handle at 88, array handle at 4.
template <class VolumeInfo>
Error AppendVolumeInScope(const VolumeInfo& record, int32_t kind, uint32_t id, std::vector<VolumeInfo>& out) {
    static_assert(sizeof(VolumeInfo) == 176);
    return scope::AppendInScope(record, kind, id, out, 88, 4);
}

// _UVI_ArrayInfo (72 bytes): controller handle at 60; arrays have no array scope.
template <class ArrayInfo>
Error AppendArrayInScope(const ArrayInfo& record, int32_t kind, uint32_t id, std::vector<ArrayInfo>& out) {
    static_assert(sizeof(ArrayInfo) == 72);
    return scope::AppendInScope(record, kind, id, out, 60, SIZE_MAX);
}

// UVI_PhyInfo (216 bytes): kept when its end-device handle (at 40) is the id.
template <class PhyInfo>
Error AppendPhyOfEndDevice(const PhyInfo& record, uint32_t id, std::vector<PhyInfo>& out) {
    static_assert(sizeof(PhyInfo) == 216);
    if (scope::HandleAt(record, 40) == id)
        out.push_back(record);
    return Error();
}

} // namespace MOX
