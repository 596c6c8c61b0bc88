// Gathering the records of one kind through the two-call handle query, narrowing them to a scope and
// a name, and the look-ups built on that.
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "cli/ScopeFilters.h"
#include "cli/ValueTexts.h"
#include "cli/access/CliSession.h"

namespace MOX {

namespace {

using HandleQuery = _UVI_Error (*)(unsigned int, unsigned int*, unsigned int*);

// The handles of one kind. `done` is set when the gathering ends here: with success when the session
// holds no object of the kind, or with the failure.
Error ReadHandles(HandleQuery query, uint32_t session, const std::string& kindWord,
                  std::vector<uint32_t>& handles, bool& done) {
    done = true;
    uint32_t count = 0;
    const _UVI_Error first = CallUvi(query, session, nullptr, &count);
    if (first.status == 0)
        return QuietConversion(first);
    if (first.status != UVI_STATUS_BUFFER_TOO_SMALL) {
        (void)QuietConversion(first);
        Error failure;
        failure.set(1, "Could not get " + kindWord + " Handles");
        return failure;
    }
    handles.assign(count, 0);
    Error second = FullConversion(CallUvi(query, session, handles.data(), &count));
    if (second.isError())
        return second;
    // Never more than the slots the second call was given.
    if (count < handles.size())
        handles.resize(count);
    done = false;
    return second;
}

struct EndDeviceKind {
    using Record = _UVI_EndDeviceInfo;
    static constexpr const char* word = "End Device";
    static constexpr HandleQuery handles = UviGetEndDeviceHandles;
    static _UVI_Error info(uint32_t s, uint32_t h, Record* r) {
        return CallUvi(UviGetEndDeviceInfo, s, h, r);
    }
    static Error append(const Record& r, uint32_t owner, int32_t kind, std::vector<Record>& list) {
        return AppendEndDeviceInScope(r, kind, owner, list);
    }
    static bool matches(const Record& r, const std::string& filter) {
        if (filter == DiskIdToText(r.scsiAddress))
            return true;
        // The alternate id: a flag byte and a 64-bit number in the record's identity block.
        uint8_t alternateFlag = 0;
        uint64_t alternateId = 0;
        std::memcpy(&alternateFlag, reinterpret_cast<const unsigned char*>(&r) + 12, 1);
        std::memcpy(&alternateId, reinterpret_cast<const unsigned char*>(&r) + 16, 8);
        return alternateFlag != 0 && filter == NumberToText(alternateId);
    }
};

struct PhyKind {
    using Record = UVI_PhyInfo;
    static constexpr const char* word = "Phy";
    static constexpr HandleQuery handles = UviGetPhyHandles;
    static _UVI_Error info(uint32_t s, uint32_t h, Record* r) { return CallUvi(UviGetPhyInfo, s, h, r); }
    static Error append(const Record& r, uint32_t owner, int32_t, std::vector<Record>& list) {
        return AppendPhyOfEndDevice(r, owner, list);
    }
    static bool matches(const Record&, const std::string&) { return false; }
};

struct ArrayKind {
    using Record = _UVI_ArrayInfo;
    static constexpr const char* word = "Array";
    static constexpr HandleQuery handles = UviGetArrayHandles;
    static _UVI_Error info(uint32_t s, uint32_t h, Record* r) { return CallUvi(UviGetArrayInfo, s, h, r); }
    static Error append(const Record& r, uint32_t owner, int32_t kind, std::vector<Record>& list) {
        return AppendArrayInScope(r, kind, owner, list);
    }
    static bool matches(const Record& r, const std::string& filter) { return filter == RecordText(r.name); }
};

struct VolumeKind {
    using Record = _UVI_VolumeInfo;
    static constexpr const char* word = "Volume";
    static constexpr HandleQuery handles = UviGetVolumeHandles;
    static _UVI_Error info(uint32_t s, uint32_t h, Record* r) { return CallUvi(UviGetVolumeInfo, s, h, r); }
    static Error append(const Record& r, uint32_t owner, int32_t kind, std::vector<Record>& list) {
        return AppendVolumeInScope(r, kind, owner, list);
    }
    static bool matches(const Record& r, const std::string& filter) { return filter == RecordText(r.name); }
};

// What one gathering read: the handle query's end, or the records read in handle order up to the
// first failed information query.
template <class Record> struct Gathered {
    // The handle query ended the gathering with `result`.
    bool done = false;
    bool readFailed = false;
    Error result;
    std::vector<Record> records;
};

template <class Kind> Gathered<typename Kind::Record> Gather(uint32_t session) {
    Gathered<typename Kind::Record> gathered;
    std::vector<uint32_t> handles;
    gathered.result = ReadHandles(Kind::handles, session, Kind::word, handles, gathered.done);
    if (gathered.done)
        return gathered;
    for (uint32_t handle : handles) {
        typename Kind::Record record{};
        Error read = FullConversion(Kind::info(session, handle, &record));
        if (read.isError()) {
            gathered.result = std::move(read);
            gathered.readFailed = true;
            break;
        }
        gathered.records.push_back(record);
    }
    return gathered;
}

// The gathered records in scope appended to the list, then the list narrowed to the filter.
template <class Kind>
Error Narrow(const Gathered<typename Kind::Record>& gathered, std::vector<typename Kind::Record>& list,
             uint32_t owner, int32_t kind, const std::string& filter) {
    if (gathered.done)
        return gathered.result;
    for (const typename Kind::Record& record : gathered.records) {
        Error scoped = Kind::append(record, owner, kind, list);
        if (scoped.isError())
            return scoped;
    }
    if (gathered.readFailed)
        return gathered.result;
    if (list.empty() || filter.empty())
        return Error();
    std::erase_if(list, [&](const typename Kind::Record& record) { return !Kind::matches(record, filter); });
    Error outcome;
    if (list.empty())
        outcome.set(3, std::string(Kind::word) + " does not exist! Id: " + filter);
    return outcome;
}

template <class Kind>
Error GetScoped(uint32_t session, std::vector<typename Kind::Record>& list, uint32_t owner, int32_t kind,
                const std::string& filter) {
    return Narrow<Kind>(Gather<Kind>(session), list, owner, kind, filter);
}

// The records of the kind kept from the session's first whole gathering, narrowed as GetScoped
// narrows them. A failed gathering is not kept: the next request reads again, as it would without
// the keeping, so one failure is reported once and does not stand in for later answers.
template <class Kind>
Error GetGathered(uint32_t session, std::optional<Gathered<typename Kind::Record>>& gathered,
                  std::vector<typename Kind::Record>& list, uint32_t owner, int32_t kind,
                  const std::string& filter) {
    if (!gathered) {
        Gathered<typename Kind::Record> fresh = Gather<Kind>(session);
        if (fresh.result.isError())
            return Narrow<Kind>(fresh, list, owner, kind, filter);
        gathered = std::move(fresh);
    }
    return Narrow<Kind>(*gathered, list, owner, kind, filter);
}

Error Failure(int32_t type, std::string detail) {
    Error failure;
    failure.set(type, std::move(detail));
    return failure;
}

// The objects of the owners found by name, merged owner by owner until the first failure. A name that
// several owners carry is refused.
template <class Owner, class Gather>
Error MergeOverOwners(Error found, const std::vector<Owner>& owners, const std::string& name,
                      const char* multiple, Gather gather) {
    if (found.isError())
        return found;
    if (!name.empty() && owners.size() > 1)
        return Failure(1, multiple);
    for (const Owner& owner : owners) {
        found.merge(gather(owner));
        if (found.isError())
            break;
    }
    return found;
}

// Arrays of several controllers can share a name (each controller numbers its own): the caller who
// knows the array's handle keeps that one alone.
void KeepArrayOfHandle(std::vector<_UVI_ArrayInfo>& arrays, uint32_t handle) {
    if (handle != 0)
        std::erase_if(arrays, [handle](const _UVI_ArrayInfo& array) { return array.handle != handle; });
}

} // namespace

Error GetScopedEndDevices(uint32_t session, std::vector<_UVI_EndDeviceInfo>& list, uint32_t owner,
                          int32_t kind, std::string filter) {
    return GetScoped<EndDeviceKind>(session, list, owner, kind, filter);
}

Error GetScopedPhys(uint32_t session, std::vector<UVI_PhyInfo>& list, uint32_t owner, int32_t kind,
                    std::string filter) {
    return GetScoped<PhyKind>(session, list, owner, kind, filter);
}

Error GetScopedArrays(uint32_t session, std::vector<_UVI_ArrayInfo>& list, uint32_t owner, int32_t kind,
                      std::string filter) {
    return GetScoped<ArrayKind>(session, list, owner, kind, filter);
}

Error GetScopedVolumes(uint32_t session, std::vector<_UVI_VolumeInfo>& list, uint32_t owner, int32_t kind,
                       std::string filter) {
    return GetScoped<VolumeKind>(session, list, owner, kind, filter);
}

// An open session is one snapshot of the configuration: its records of a kind are the same at every
// read. Each kind is therefore gathered once per session and narrowed to each request's scope and
// filter, instead of being read again for every end device and array a view is made of.
struct CliSession::Gatherings {
    uint32_t session = 0;
    std::optional<Gathered<_UVI_EndDeviceInfo>> endDevices;
    std::optional<Gathered<UVI_PhyInfo>> phys;
    std::optional<Gathered<_UVI_ArrayInfo>> arrays;
    std::optional<Gathered<_UVI_VolumeInfo>> volumes;
};

CliSession::Gatherings& CliSession::Kept() {
    if (!gathered_ || gathered_->session != session_) {
        gathered_ = std::make_shared<Gatherings>();
        gathered_->session = session_;
    }
    return *gathered_;
}

Error CliSession::GetEndDevicesInScope(std::vector<_UVI_EndDeviceInfo>& list, uint32_t owner, int32_t kind,
                                       std::string filter) {
    return GetGathered<EndDeviceKind>(session_, Kept().endDevices, list, owner, kind, filter);
}

Error CliSession::GetArraysInScope(std::vector<_UVI_ArrayInfo>& list, uint32_t owner, int32_t kind,
                                   std::string filter) {
    return GetGathered<ArrayKind>(session_, Kept().arrays, list, owner, kind, filter);
}

Error CliSession::GetVolumesInScope(std::vector<_UVI_VolumeInfo>& list, uint32_t owner, int32_t kind,
                                    std::string filter) {
    return GetGathered<VolumeKind>(session_, Kept().volumes, list, owner, kind, filter);
}

void CliSession::ForgetGathered() {
    gathered_.reset();
}

Error CliSession::GetControllerInfos(std::vector<_UVI_ControllerInfo>& list, std::string name) {
    std::vector<uint32_t> handles;
    bool done = false;
    Error result = ReadHandles(UviGetControllerHandles, session_, "Controller", handles, done);
    if (done)
        return result;
    for (uint32_t handle : handles) {
        _UVI_ControllerInfo record{};
        Error read = FullConversion(CallUvi(UviGetControllerInfo, session_, handle, &record));
        if (read.isError())
            return read;
        if (name.empty() || name == RecordText(record.name))
            list.push_back(record);
    }
    if (list.empty()) {
        if (name.empty())
            return Failure(1, "No controllers found.");
        return Failure(3, "Controller by that name does not exist! Name: " + name);
    }
    return result;
}

Error CliSession::FindEndDeviceById(_UVI_EndDeviceInfo& info, std::string id) {
    std::vector<_UVI_EndDeviceInfo> found;
    Error result = GetEndDevicesInScope(found, 0, SCOPE_KIND_ALL, id);
    if (result.isError())
        return result;
    if (found.size() == 1) {
        info = found.front();
        return result;
    }
    if (found.size() > 1)
        return Failure(3, "Found multiple End Devices with same id");
    return Failure(3, "End Device does not exist! Id: " + id);
}

Error CliSession::FindControllerHandleOfEndDevice(std::string id, uint32_t& controllerHandle) {
    controllerHandle = 0;
    _UVI_EndDeviceInfo info{};
    Error result = FindEndDeviceById(info, std::move(id));
    if (!result.isError())
        controllerHandle = info.controllerHandle;
    return result;
}

Error CliSession::FindPhyOfEndDevice(uint32_t endDeviceHandle, UVI_PhyInfo& info) {
    std::vector<UVI_PhyInfo> found;
    Error result = GetGathered<PhyKind>(session_, Kept().phys, found, endDeviceHandle, SCOPE_KIND_ALL, "");
    if (result.isError()) {
        result.set(3, "Phy doesn't exists for specified End Device");
        return result;
    }
    if (found.size() == 1) {
        info = found.front();
        return result;
    }
    if (found.empty())
        return Failure(3, "Phy doesn't exists for specified End Device");
    return Failure(3, "Found multiple Phy for device");
}

Error CliSession::FindEndDevicesOfController(std::vector<_UVI_EndDeviceInfo>& list,
                                             std::string controllerName) {
    std::vector<_UVI_ControllerInfo> controllers;
    Error found = GetControllerInfos(controllers, controllerName);
    return MergeOverOwners(std::move(found), controllers, controllerName,
                           "Multiple controllers of that name.", [&](const _UVI_ControllerInfo& controller) {
                               return GetEndDevicesInScope(list, controller.controllerHandle,
                                                           SCOPE_KIND_CONTROLLER, "");
                           });
}

Error CliSession::FindEndDevicesOfArray(std::vector<_UVI_EndDeviceInfo>& list, std::string arrayName,
                                        uint32_t arrayHandle) {
    std::vector<_UVI_ArrayInfo> arrays;
    Error found = GetArraysInScope(arrays, 0, SCOPE_KIND_ALL, arrayName);
    KeepArrayOfHandle(arrays, arrayHandle);
    return MergeOverOwners(std::move(found), arrays, arrayName, "Multiple arrays of that name.",
                           [&](const _UVI_ArrayInfo& array) {
                               return GetEndDevicesInScope(list, array.handle, SCOPE_KIND_ARRAY, "");
                           });
}

Error CliSession::FindEndDevicesOfVolume(std::vector<_UVI_EndDeviceInfo>& list, std::string volumeName) {
    std::vector<_UVI_VolumeInfo> volumes;
    Error found = GetVolumesInScope(volumes, 0, SCOPE_KIND_ALL, volumeName);
    return MergeOverOwners(std::move(found), volumes, volumeName, "Multiple volumes of that name.",
                           [&](const _UVI_VolumeInfo& volume) {
                               return GetEndDevicesInScope(list, volume.arrayHandle, SCOPE_KIND_ARRAY, "");
                           });
}

Error CliSession::FindArraysOfController(std::vector<_UVI_ArrayInfo>& list, std::string controllerName) {
    std::vector<_UVI_ControllerInfo> controllers;
    Error result = GetControllerInfos(controllers, controllerName);
    if (result.isError())
        return result;
    if (!controllerName.empty() && controllers.size() > 1)
        return Failure(1, "Multiple controllers of that name.");
    // Every controller is gathered; the first failure is the one reported, so that a later
    // controller's success does not hide it.
    int32_t firstFailure = 0;
    for (const _UVI_ControllerInfo& controller : controllers) {
        result.merge(GetArraysInScope(list, controller.controllerHandle, SCOPE_KIND_CONTROLLER, ""));
        if (result.isError() && firstFailure == 0)
            firstFailure = result.getType();
    }
    if (firstFailure != 0 && !result.isError())
        result.merge(Error(firstFailure));
    return result;
}

Error CliSession::FindVolumesOfArray(std::vector<_UVI_VolumeInfo>& list, std::string arrayName,
                                     uint32_t arrayHandle) {
    std::vector<_UVI_ArrayInfo> arrays;
    Error found = GetArraysInScope(arrays, 0, SCOPE_KIND_ALL, arrayName);
    if (found.isError()) {
        found.set(1, "Could not get Array Handles");
        return found;
    }
    KeepArrayOfHandle(arrays, arrayHandle);
    return MergeOverOwners(std::move(found), arrays, arrayName, "Multiple arrays of that name.",
                           [&](const _UVI_ArrayInfo& array) {
                               return GetVolumesInScope(list, array.handle, SCOPE_KIND_ARRAY, "");
                           });
}

Error CliSession::FindControllerHandleOfVolume(std::string name, uint32_t& controllerHandle) {
    controllerHandle = 0;
    std::vector<_UVI_VolumeInfo> volumes;
    Error result = GetVolumesInScope(volumes, 0, SCOPE_KIND_ALL, name);
    if (result.isError())
        return result;
    if (volumes.empty())
        return Failure(3, "Volume does not exist! Id: " + name);
    controllerHandle = volumes.front().controllerHandle;
    return result;
}

Error CliSession::FindVolumeInfoByName(_UVI_VolumeInfo& info, std::string name) {
    uint32_t count = 0;
    const _UVI_Error first = CallUvi(UviGetVolumeHandles, session_, nullptr, &count);
    if (first.status != 0 && first.status != UVI_STATUS_BUFFER_TOO_SMALL) {
        Error result = FullConversion(first);
        result.addDetail("Could not get Volume Handles");
        return result;
    }
    (void)QuietConversion(first);
    std::vector<uint32_t> handles(first.status == 0 ? 0 : count, 0);
    Error result = FullConversion(
        CallUvi(UviGetVolumeHandles, session_, handles.empty() ? nullptr : handles.data(), &count));
    if (result.isError())
        return result;
    if (count < handles.size())
        handles.resize(count);
    for (uint32_t handle : handles) {
        _UVI_VolumeInfo record{};
        Error read = QuietConversion(CallUvi(UviGetVolumeInfo, session_, handle, &record));
        if (read.isError())
            return read;
        if (RecordText(record.name) == name) {
            info = record;
            return Error();
        }
    }
    if (name.empty())
        return Failure(1, "Volume does not exist.");
    return Failure(3, "Volume by that name does not exist! Name: " + name);
}

} // namespace MOX
