// The views the tasks print and judge, built from the records the access layer gathers.
#include <utility>

#include "cli/ValueTexts.h"
#include "cli/access/CliSession.h"

namespace MOX {

Error CliSession::AddRaidCapabilities(Controller& view, const _UVI_ControllerInfo& info, bool& raidInfoRead) {
    Error result;
    _UVI_RaidInfo raid{};
    result.merge(FullConversion(CallUvi(UviGetRaidInfo, session_, info.raidInfoHandle, &raid)));
    raidInfoRead = !result.isError();
    if (!raidInfoRead)
        return result;
    view.setRaidInfo(raid);
    if (raid.raidSupported == 0)
        return result;
    for (uint32_t level : {UVI_RAID_LEVEL_0, UVI_RAID_LEVEL_1, UVI_RAID_LEVEL_5, UVI_RAID_LEVEL_10}) {
        _UVI_RaidLevelInfo levelInfo{};
        result.merge(
            FullConversion(CallUvi(UviGetRaidLevelInfo, session_, info.raidInfoHandle, level, &levelInfo)));
        if (result.isError())
            return result;
        if (levelInfo.supported != 0)
            view.addRaidLevel(levelInfo, level);
    }
    return result;
}

Error CliSession::GetControllers(std::vector<Controller>& list, std::string name) {
    std::vector<_UVI_ControllerInfo> records;
    Error result = GetControllerInfos(records, std::move(name));
    if (result.isError())
        return result;
    int32_t raidInfoFailure = 0;
    for (const _UVI_ControllerInfo& record : records) {
        Controller view(record);
        bool raidInfoRead = false;
        result.merge(AddRaidCapabilities(view, record, raidInfoRead));
        if (raidInfoRead && result.isError())
            return result;
        // A controller whose RAID information cannot be read stays listed with what its own record
        // gives, and the failure stays in the result (a later controller's success does not clear it).
        if (!raidInfoRead && raidInfoFailure == 0)
            raidInfoFailure = result.getType();
        list.push_back(view);
    }
    if (raidInfoFailure != 0 && !result.isError())
        result.merge(Error(raidInfoFailure));
    return result;
}

Error CliSession::GetControllerByHandle(Controller& view, uint32_t handle) {
    _UVI_ControllerInfo record{};
    Error result = FullConversion(CallUvi(UviGetControllerInfo, session_, handle, &record));
    if (result.isError())
        return result;
    view = Controller(record);
    bool raidInfoRead = false;
    result.merge(AddRaidCapabilities(view, record, raidInfoRead));
    return result;
}

Error CliSession::ArrayOfHandle(_UVI_ArrayInfo& info, uint32_t handle) {
    // The session's gathered arrays hold the record its information query gives; only a handle they
    // do not hold is asked for.
    std::vector<_UVI_ArrayInfo> arrays;
    if (!GetArraysInScope(arrays, 0, SCOPE_KIND_ALL, "").isError())
        for (const _UVI_ArrayInfo& array : arrays)
            if (array.handle == handle) {
                info = array;
                return Error();
            }
    return GetArrayInfo(info, handle);
}

EndDevice CliSession::MakeEndDeviceView(const _UVI_EndDeviceInfo& info) {
    if (info.deviceType != 1 && info.deviceType != 2)
        return EndDevice();
    UVI_PhyInfo phy{};
    if (FindPhyOfEndDevice(info.endDeviceHandle, phy).isError())
        phy = UVI_PhyInfo{};
    std::vector<_UVI_VolumeInfo> volumes;
    if (info.usage == UVI_DISK_USAGE_ARRAY_MEMBER) {
        _UVI_ArrayInfo array{};
        // Without the array's name no volumes are gathered: an empty name would select every array's.
        if (!ArrayOfHandle(array, info.arrayHandle).isError() && !RecordText(array.name).empty())
            (void)FindVolumesOfArray(volumes, RecordText(array.name), array.handle);
    }
    _UVI_NvcInfo nvc{};
    if (GetNvcInfo(nvc, info.controllerHandle).isError())
        nvc = _UVI_NvcInfo{};
    return EndDevice(info, phy, std::move(volumes), nvc);
}

Error CliSession::MakeEndDeviceViews(Error gathering, const std::vector<_UVI_EndDeviceInfo>& records,
                                     std::vector<EndDevice>& list) {
    if (gathering.isError())
        return gathering;
    for (const _UVI_EndDeviceInfo& record : records)
        list.push_back(MakeEndDeviceView(record));
    return Error();
}

Error CliSession::GetEndDevices(std::vector<EndDevice>& list, std::string id) {
    std::vector<_UVI_EndDeviceInfo> records;
    Error gathering = GetEndDevicesInScope(records, 0, SCOPE_KIND_ALL, std::move(id));
    return MakeEndDeviceViews(std::move(gathering), records, list);
}

Error CliSession::GetEndDeviceByHandle(EndDevice& view, uint32_t handle) {
    _UVI_EndDeviceInfo record{};
    Error result = GetEndDeviceInfo(record, handle);
    if (result.isError())
        return result;
    view = MakeEndDeviceView(record);
    return Error();
}

Error CliSession::GetControllerEndDevices(std::vector<EndDevice>& list, std::string controllerName) {
    std::vector<_UVI_EndDeviceInfo> records;
    Error gathering = FindEndDevicesOfController(records, std::move(controllerName));
    return MakeEndDeviceViews(std::move(gathering), records, list);
}

Error CliSession::GetArrayEndDevices(std::vector<EndDevice>& list, const _UVI_ArrayInfo& array) {
    std::vector<_UVI_EndDeviceInfo> records;
    Error gathering = FindEndDevicesOfArray(records, RecordText(array.name), array.handle);
    return MakeEndDeviceViews(std::move(gathering), records, list);
}

Error CliSession::GetVolumeEndDevices(std::vector<EndDevice>& list, std::string volumeName) {
    std::vector<_UVI_EndDeviceInfo> records;
    Error gathering = FindEndDevicesOfVolume(records, std::move(volumeName));
    return MakeEndDeviceViews(std::move(gathering), records, list);
}

Error CliSession::GetEndDevicesOfKind(std::vector<EndDevice>& list, uint32_t controllerHandle) {
    std::vector<EndDevice> all;
    Error result = GetEndDevices(all, "");
    if (result.isError())
        return result;
    for (const EndDevice& device : all)
        if (device.getControllerHandle() == controllerHandle && device.getInfo().vezkDiskKind == 1)
            list.push_back(device);
    return result;
}

Error CliSession::GetArrays(std::vector<Array>& list, std::string name) {
    std::vector<_UVI_ArrayInfo> records;
    Error result = GetArraysInScope(records, 0, SCOPE_KIND_ALL, std::move(name));
    if (result.isError())
        return result;
    for (const _UVI_ArrayInfo& record : records)
        list.emplace_back(record);
    return result;
}

Error CliSession::GetControllerArrays(std::vector<Array>& list, std::string controllerName) {
    std::vector<_UVI_ArrayInfo> records;
    Error result = FindArraysOfController(records, std::move(controllerName));
    if (result.isError())
        return result;
    for (const _UVI_ArrayInfo& record : records)
        list.emplace_back(record);
    return result;
}

Error CliSession::MakeVolumeViews(Error gathering, const std::vector<_UVI_VolumeInfo>& records,
                                  std::vector<Volume>& list) {
    if (gathering.isError())
        return gathering;
    for (const _UVI_VolumeInfo& record : records) {
        _UVI_NvcInfo nvc{};
        if (GetNvcInfo(nvc, record.controllerHandle).isError())
            nvc = _UVI_NvcInfo{};
        list.emplace_back(record, nvc, RecordText(record.name));
    }
    return gathering;
}

Error CliSession::GetVolumes(std::vector<Volume>& list, std::string name) {
    std::vector<_UVI_VolumeInfo> records;
    Error gathering = GetVolumesInScope(records, 0, SCOPE_KIND_ALL, std::move(name));
    return MakeVolumeViews(std::move(gathering), records, list);
}

Error CliSession::GetArrayVolumes(std::vector<Volume>& list, const _UVI_ArrayInfo& array) {
    std::vector<_UVI_VolumeInfo> records;
    Error gathering = FindVolumesOfArray(records, RecordText(array.name), array.handle);
    return MakeVolumeViews(std::move(gathering), records, list);
}

Error CliSession::GetAllControllers(std::vector<std::unique_ptr<BasicController>>& list) {
    std::vector<Controller> own;
    Error result = GetControllers(own, "");
    if (result.isError())
        return result;
    std::vector<ThirdPartyController> others;
    result = GetSessionObjects(others, 0);
    if (result.isError())
        return result;
    for (const Controller& controller : own)
        list.push_back(std::make_unique<Controller>(controller));
    for (const ThirdPartyController& controller : others)
        list.push_back(std::make_unique<ThirdPartyController>(controller));
    return result;
}

Error CliSession::GetAnyControllerByHandle(std::unique_ptr<BasicController>& controller, uint32_t handle) {
    _UVI_ControllerInfo own{};
    Error result = FullConversion(CallUvi(UviGetControllerInfo, session_, handle, &own));
    if (!result.isError()) {
        controller = std::make_unique<Controller>(own);
        return result;
    }
    _UVI_ThirdPartyControllerInfo other{};
    result = FullConversion(CallUvi(UviGetThirdPartyControllerInfo, session_, handle, &other));
    if (!result.isError())
        controller = std::make_unique<ThirdPartyController>(other);
    return result;
}

} // namespace MOX
