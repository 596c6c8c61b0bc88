#include "middleware/api/ArrayQueries.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/model/AhciPort.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"

namespace {

// Array group record fields.
constexpr size_t kGroupVolumes = 12;
constexpr size_t kGroupFreeMb = 16;
constexpr size_t kGroupState = 20;
constexpr size_t kGroupSizeMb = 24;
constexpr size_t kGroupFlags = 32;
constexpr size_t kGroupFreeHigh = 36;
constexpr size_t kGroupFreeLow = 40;
constexpr uint32_t kGroupLastState = 6;
constexpr uint64_t kMiB = 1048576;

// Connection kinds of a remap port's connection answer.
constexpr uint32_t kConnectionSata = 2;
constexpr uint32_t kConnectionPcie = 3;
constexpr uint32_t kConnectionPcieOther = 4;

// The end-device state of a member the array lost.
constexpr uint32_t kEndDeviceMissing = 2;
// The member free space reads through a fixed list of this many end-device handles.
constexpr uint32_t kMemberHandleRoom = 256;
constexpr uint64_t kNoMemberFreeSpace = 0x7FFFFFFFFFFFFFFFull;

CConsolidatedError Failure(CConsolidatedError::KEDO2_ERRORS code, const char* message) {
    CConsolidatedError error;
    error.SetError(code, message);
    return error;
}

// "SATA" or "PCIe" by what the members' ports report, the last member with an answer winning.
const char* BusWord(const Controller& controller, const RaidArray& array) {
    const char* word = "Unknown";
    for (const auto& disk : controller.getDisks()) {
        const auto& config = disk->getRaidDiskConfig();
        if (!config || !config->isMemberOfArrayIndex(array.getIndex()))
            continue;
        const auto port = controller.getPortByNumber(disk->getScsiAddress());
        if (!port || !port->getConnectionInfo())
            continue;
        // A kept answer that fails verification throws; the exported framing returns its error.
        const uint32_t kind = port->getConnectionInfo()->GetConnectionInfo().ConnectionKind;
        if (kind == kConnectionSata)
            word = "SATA";
        else if (kind == kConnectionPcie || kind == kConnectionPcieOther)
            word = "PCIe";
    }
    return word;
}

void FillName(const Controller& controller, const RaidArray& array, _UVI_ArrayInfo& info) {
    if (array.isSynthetic()) {
        std::snprintf(info.name, sizeof info.name, "%s", "Array_Orvex_Halvex");
        return;
    }
    // The field holds 20 characters; a longer name is cut.
    std::snprintf(info.name, sizeof info.name, "%s_Array_%4.4d", BusWord(controller, array),
                  static_cast<int>(array.getRecordWord(RaidArray::kNumber)));
}

// While a member is missing, the array can grow only by what its smallest present member has left.
uint64_t MemberFreeSpace(Session& session, const RaidArray& array) {
    std::vector<uint32_t> handles(kMemberHandleRoom);
    uint32_t count = kMemberHandleRoom;
    // With more end devices than the list holds the query answers "too small" with the larger
    // count; the handles it did write are still read, and never more than the list holds.
    static_cast<void>(internalUviGetEndDeviceHandles(&session, handles.data(), &count));
    count = std::min(count, kMemberHandleRoom);
    bool memberMissing = false;
    uint64_t smallest = kNoMemberFreeSpace;
    for (uint32_t i = 0; i < count; ++i) {
        _UVI_EndDeviceInfo member{};
        try {
            if (internalUviGetEndDeviceInfo(session, handles[i], &member).IsError())
                continue;
        } catch (const CConsolidatedError&) {
            continue; // a device whose record cannot be read is left out
        }
        if (member.arrayHandle != array.getHandle())
            continue;
        if (member.state == kEndDeviceMissing)
            memberMissing = true;
        if (member.sectorCount == 0)
            continue;
        // A free count above the total would wrap to an enormous size; such a member has nothing left.
        const uint64_t freeSectors =
            member.sectorCount > member.freeSectorCount ? member.sectorCount - member.freeSectorCount : 0;
        smallest = std::min(smallest, freeSectors * member.sectorSize);
    }
    if (memberMissing)
        return smallest;
    return static_cast<uint64_t>(array.getRecordWord(kGroupFreeHigh)) << 32 |
           array.getRecordWord(kGroupFreeLow);
}

// Handles of the visible arrays of the controllers, in session and controller order.
std::vector<uint32_t> VisibleArrays(const Session& session, const Controller* only) {
    std::vector<uint32_t> handles;
    for (const auto& controller : session.getControllers()) {
        if (only && controller.get() != only)
            continue;
        for (const auto& array : controller->getArrays())
            if (!IsCacheArray(*controller, array))
                handles.push_back(array->getHandle());
    }
    return handles;
}

CConsolidatedError CheckHandleArguments(Session* session, const uint32_t* handleList,
                                        const uint32_t* handleCount) {
    if (!session)
        return Failure(CConsolidatedError::UVI_INVALIDSESSION,
                       "NULL Session passed into internalUviGetArrayHandles");
    if (*handleCount != 0 && !handleList)
        return Failure(CConsolidatedError::UVI_INVALIDPARAMETER,
                       "NULL handleList was passed for a non-zero handleCount");
    return {};
}

// Copies the handles only when all of them fit; otherwise the count tells how many there are.
CConsolidatedError CopyWhenAllFit(const std::vector<uint32_t>& handles, uint32_t* handleList,
                                  uint32_t* handleCount) {
    const auto needed = static_cast<uint32_t>(handles.size());
    if (*handleCount < needed) {
        *handleCount = needed;
        return Failure(CConsolidatedError::GENERAL_INSUFF_MEM,
                       "Insufficient handle count passed into get Array handles\n");
    }
    std::copy(handles.begin(), handles.end(), handleList);
    *handleCount = needed;
    return {};
}

// The objects of one controller by index, written at `list` when `room` holds all of them.
CConsolidatedError CollectOne(const Controller& controller, uint32_t* list, uint32_t room, uint32_t& objects,
                              const RaidIndexSource& source) {
    const std::vector<uint32_t> handles = source(controller);
    objects = static_cast<uint32_t>(handles.size());
    if (!list && room != 0)
        return Failure(CConsolidatedError::UVI_INVALIDPARAMETER, "Input buffer can't be null");
    if (room < objects)
        return Failure(CConsolidatedError::UVI_BUFFERTOOSMALL, nullptr);
    std::copy(handles.begin(), handles.end(), list);
    return {};
}

// Handles by index from 0 up to the group's count, and further while the controller has objects
// with higher indexes: the synthetic pairing array and volume come after the driver's.
template <class Object, class Lookup>
std::vector<uint32_t> ByIndex(int32_t groupCount, const std::vector<std::shared_ptr<Object>>& objects,
                              Lookup lookup) {
    int32_t end = std::max(groupCount, 0);
    for (const auto& object : objects)
        if (object && static_cast<int32_t>(object->getIndex()) >= end)
            end = static_cast<int32_t>(object->getIndex()) + 1;
    std::vector<uint32_t> handles;
    for (int32_t i = 0; i < end; ++i) {
        const auto object = lookup(i);
        handles.push_back(object ? object->getHandle() : 0);
    }
    return handles;
}

} // namespace

std::vector<uint32_t> ArraysByRaidIndex(const Controller& controller) {
    return ByIndex(controller.getArrayCount(), controller.getArrays(),
                   [&](int32_t i) { return controller.getArrayByIndex(i); });
}

std::vector<uint32_t> VolumesByRaidIndex(const Controller& controller) {
    return ByIndex(controller.getVolumeCount(), controller.getVolumes(),
                   [&](int32_t i) { return controller.getVolumeByIndex(i); });
}

CConsolidatedError internalUviGetArrayHandles(Session* session, uint32_t* handleList, uint32_t* handleCount) {
    CConsolidatedError result = CheckHandleArguments(session, handleList, handleCount);
    if (result.IsError())
        return result;
    const std::vector<uint32_t> handles = VisibleArrays(*session, nullptr);
    if (handles.empty()) {
        *handleCount = 0;
        return result;
    }
    return CopyWhenAllFit(handles, handleList, handleCount);
}

CConsolidatedError internalUviGetArrayHandlesByControllerHandle(Session* session, uint32_t controllerHandle,
                                                                uint32_t* handleList, uint32_t* handleCount) {
    CConsolidatedError result = CheckHandleArguments(session, handleList, handleCount);
    if (result.IsError())
        return result;
    if (controllerHandle == 0)
        return Failure(CConsolidatedError::UVI_INVALIDPARAMETER, "NULL controllerHandle was passed");
    const auto controller = session->getControllerByHandle(controllerHandle);
    const std::vector<uint32_t> handles =
        controller ? VisibleArrays(*session, controller.get()) : std::vector<uint32_t>();
    if (handles.empty() && !handleList)
        return Failure(CConsolidatedError::UVI_INVALIDPARAMETER, "HandleList cannot be null");
    return CopyWhenAllFit(handles, handleList, handleCount);
}

CConsolidatedError fillArrayInfo(Session& session, uint32_t arrayHandle, _UVI_ArrayInfo* info) {
    const auto array = session.getArrayByHandle(arrayHandle);
    if (!array)
        return InvalidHandleError("Invalid Handle passed in internalUviArrayInfo, Received: %d", arrayHandle);
    const auto controller = session.getControllerByHandle(array->getControllerHandle());
    if (!controller)
        return NullParameterError("UviArrayInfo Controller cannot be null");
    if (!info)
        return NullParameterError("UviArrayInfo ArrayInfo cannot be null");
    _UVI_ArrayInfo& r = *info;
    std::memset(&r, 0, sizeof r);
    r.handle = array->getHandle();
    FillName(*controller, *array, r);
    r.controllerHandle = controller->getHandle();
    if (!array->getRecord())
        return Failure(CConsolidatedError::UVI_INTERNALERROR, "No Valid RaidArrayGroup inside fillArrayInfo");
    const uint32_t state = array->getRecordWord(kGroupState);
    r.state = state <= kGroupLastState ? state + 1 : 0;
    r.sizeInBytes = array->getRecordWord(kGroupSizeMb) * kMiB;
    r.availableSizeInBytes = array->getRecordWord(kGroupFreeMb) * kMiB;
    r.writeCache = (array->getRecord()[kGroupFlags] & 1) + 1;
    r.numDisks = array->getRecordWord(RaidArray::kNumDisks);
    r.numVolumes = array->getRecordWord(kGroupVolumes);
    r.memberFreeSpace = MemberFreeSpace(session, *array);
    return {};
}

CConsolidatedError CollectByRaidIndex(Session& session, uint32_t controllerHandle, bool haveRecords,
                                      uint32_t* count, const RaidIndexSource& source,
                                      const RaidIndexFiller& filler) {
    if (!count)
        return NullParameterError("The record count cannot be null");
    if (!haveRecords && *count != 0)
        return Failure(CConsolidatedError::UVI_INVALIDPARAMETER, "Input buffer can't be null");
    const uint32_t capacity = *count;
    std::vector<uint32_t> scratch(ScratchRoom(session, controllerHandle, capacity,
                                              [&](const Controller& c) { return source(c).size(); }),
                                  0);
    const auto held = static_cast<uint32_t>(scratch.size());
    if (controllerHandle == 0) {
        uint32_t total = 0;
        for (const auto& controller : session.getControllers()) {
            const uint32_t room = total < held ? held - total : 0;
            uint32_t objects = 0;
            const CConsolidatedError one =
                CollectOne(*controller, room != 0 ? scratch.data() + total : nullptr, room, objects, source);
            if (one.IsError() && one.GetErrorCode() != CConsolidatedError::UVI_BUFFERTOOSMALL)
                return one;
            total += objects;
        }
        *count = total;
        if (capacity < total)
            return Failure(CConsolidatedError::UVI_BUFFERTOOSMALL, nullptr);
    } else {
        const auto controller = session.getControllerByHandle(controllerHandle);
        if (!controller) {
            CConsolidatedError error = Failure(CConsolidatedError::UVI_INVALIDHANDLE, nullptr);
            error.AddErrorMessage("Invalid controller handle: %d", static_cast<int>(controllerHandle));
            return error;
        }
        uint32_t objects = 0;
        const CConsolidatedError one =
            CollectOne(*controller, capacity != 0 ? scratch.data() : nullptr, held, objects, source);
        *count = objects;
        if (one.IsError())
            return one;
    }
    for (uint32_t i = 0; i < capacity; ++i) {
        if (i >= *count)
            return Failure(CConsolidatedError::UVI_BUFFERTOOSMALL, nullptr);
        const CConsolidatedError filled = filler(session, scratch[i], i);
        if (filled.IsError())
            return filled;
    }
    return {};
}

extern "C" {

_UVI_Error UviGetArrayHandles(unsigned int session, unsigned int* handleList, unsigned int* handleCount) {
    if (!handleCount)
        return NullParameterError("handleCount cannot be null in GetArrayHandles");
    return RunSessionCall(
        session, [&](Session& s) { return internalUviGetArrayHandles(&s, handleList, handleCount); });
}

_UVI_Error UviGetArrayHandlesByControllerHandle(unsigned int session, unsigned int controllerHandle,
                                                unsigned int* handleList, unsigned int* handleCount) {
    if (!handleCount)
        return NullParameterError("handleCount cannot be null in GetArrayHandlesByControllerHandle");
    return RunSessionCall(session, [&](Session& s) {
        return internalUviGetArrayHandlesByControllerHandle(&s, controllerHandle, handleList, handleCount);
    });
}

_UVI_Error UviGetArrayInfo(unsigned int session, unsigned int arrayHandle, _UVI_ArrayInfo* info) {
    return RunSessionCall(session, [&](Session& s) { return fillArrayInfo(s, arrayHandle, info); });
}

_UVI_Error UviGetIxoArrays(unsigned int session, unsigned int controllerHandle, _UVI_ArrayInfo* records,
                           unsigned int* recordCount) {
    return RunSessionCall(session, [&](Session& s) {
        return CollectByRaidIndex(s, controllerHandle, records != nullptr, recordCount, ArraysByRaidIndex,
                                  [&](Session& inner, uint32_t handle, uint32_t position) {
                                      return fillArrayInfo(inner, handle, &records[position]);
                                  });
    });
}
}
