#include "middleware/api/EndDeviceCollections.h"

#include <cstdio>
#include <cstring>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/HybridDiskExtension.h"
#include "middleware/model/NonOrvexDisk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/Session.h"
#include "middleware/model/WinDiskInterface.h"

namespace {

std::vector<std::shared_ptr<Disk>> AllDisks(const Controller& controller) {
    return controller.getDisks();
}

// One controller's part: with room for all its disks they are written (a disk of handle 0 leaves
// its place), else nothing; *room becomes the number of disks.
CConsolidatedError FillControllerPart(const Controller& controller, uint32_t* list, uint32_t* room,
                                      const DiskSelector& selector) {
    std::vector<uint32_t> handles;
    for (const auto& disk : selector(controller))
        handles.push_back(disk ? disk->getHandle() : 0);
    return FillHandlesWhenAllFit(handles, list, room);
}

void CopyText(char* field, size_t size, const std::string& text) {
    if (!text.empty())
        std::snprintf(field, size, "%s", text.c_str());
}

uint32_t PartitionStyleCode(uint32_t style) {
    switch (style) {
    case 0:
        return 2;
    case 1:
        return 1;
    default:
        return 0;
    }
}

} // namespace

CConsolidatedError collectEndDeviceHandles(Session&, uint32_t* handleList, uint32_t* count,
                                           const std::vector<std::shared_ptr<Controller>>& controllers,
                                           const DiskSelector& selector) {
    const uint32_t capacity = *count;
    uint32_t total = 0;
    for (const auto& controller : controllers) {
        uint32_t room = total < capacity ? capacity - total : 0;
        uint32_t* target = total < capacity && handleList ? handleList + total : nullptr;
        CConsolidatedError part = FillControllerPart(*controller, target, &room, selector);
        if (part.IsError() && part.GetErrorCode() != CConsolidatedError::UVI_BUFFERTOOSMALL)
            return part;
        total += room;
    }
    *count = total;
    CConsolidatedError result;
    if (capacity < total)
        result.SetError(CConsolidatedError::UVI_BUFFERTOOSMALL, nullptr);
    return result;
}

CConsolidatedError collectEndDeviceRecords(Session& session, uint32_t controllerHandle,
                                           _UVI_EndDeviceInfo* records, uint32_t* count,
                                           const DiskSelector& selector) {
    CConsolidatedError result;
    if (!count || (!records && *count != 0)) {
        result.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, "count and records cannot be null");
        return result;
    }
    const uint32_t capacity = *count;
    std::vector<uint32_t> handles(ScratchRoom(session, controllerHandle, capacity,
                                              [&](const Controller& c) { return selector(c).size(); }),
                                  0);
    const auto held = static_cast<uint32_t>(handles.size());
    if (controllerHandle == 0) {
        *count = held;
        result = collectEndDeviceHandles(session, handles.data(), count, session.getControllers(), selector);
    } else {
        const auto controller = session.getControllerByHandle(controllerHandle);
        if (!controller) {
            result.SetError(CConsolidatedError::UVI_INVALIDHANDLE, nullptr);
            result.AddErrorMessage("Invalid controller handle: %d", static_cast<int>(controllerHandle));
            return result;
        }
        *count = held;
        result = FillControllerPart(*controller, handles.data(), count, selector);
    }
    if (result.IsError())
        return result;
    for (uint32_t i = 0; i < capacity; ++i) {
        if (i == *count) {
            result.SetError(CConsolidatedError::UVI_BUFFERTOOSMALL, nullptr);
            return result;
        }
        result = internalUviGetEndDeviceInfo(session, handles[i], &records[i]);
        if (result.IsError())
            return result;
        const auto disk = session.getEndDeviceByHandle(handles[i]);
        const auto controller = disk ? session.getControllerByHandle(disk->getControllerHandle()) : nullptr;
        if (!controller) {
            result.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, "Invalid controller");
            return result;
        }
        if (const auto& config = disk->getRaidDiskConfig())
            if (const auto original = config->getOriginalArray()) {
                records[i].arrayIndex = original->getIndex();
                records[i].arrayHandle = original->getHandle();
            }
    }
    return result;
}

CConsolidatedError internalUviGetThirdPartyEndDeviceInfo(Session& session, uint32_t handle,
                                                         _UVI_ThirdPartyEndDeviceInfo* info) {
    CConsolidatedError result;
    const auto disk = session.getThirdPartyEndDeviceByHandle(handle);
    if (!disk) {
        return InvalidHandleError("Invalid Handle passed in GetThirdPartyEndDeviceInfo, Received: %d",
                                  handle);
    }
    _UVI_ThirdPartyEndDeviceInfo& r = *info;
    r.endDeviceHandle = disk->getHandle();
    r.scsiAddress = disk->getScsiAddress();
    r.deviceType = 1;
    if (const char* serial = disk->getSerialNumber())
        std::snprintf(r.serialNumber, sizeof r.serialNumber, "%s", serial);
    if (const char* nvmeSerial = disk->getNvmeSerialNumber())
        std::snprintf(r.nvmeSerialNumber, sizeof r.nvmeSerialNumber, "%s", nvmeSerial);
    CopyText(r.modelNumber, sizeof r.modelNumber, disk->modelNumber());
    CopyText(r.firmwareRevision, sizeof r.firmwareRevision, disk->firmwareRevision());
    r.oldFirmware = IsOldFirmware(disk->firmwareRevision().c_str());
    if (const auto* other = dynamic_cast<const NonOrvexDisk*>(disk.get())) {
        if (other->getDiskKind() == 1)
            r.busType = 1;
        else if (other->getDiskKind() == 2)
            r.busType = 3;
    }
    if (const auto& win = disk->getWinDiskInterface()) {
        r.diskLength = win->getDiskLength();
        r.blockLength = win->getBlockLength();
        r.numberOfBlocks = win->getNumberOfBlocks();
        r.systemDisk = win->hasEfiSystemPartition() ? 1 : 0;
        r.deviceNumber = static_cast<int32_t>(win->getDeviceNumber());
        r.windowsDeviceType = static_cast<int32_t>(win->getStorageDeviceNumber().DeviceType);
        DISK_CACHE_SETTING setting{};
        r.cacheSettingState = win->getCachePolicy(setting) ? (setting.IsPowerProtected ? 2 : 1) : 0;
        bool seekPenalty = false;
        r.seekPenaltyState = win->getSeekPenalty(seekPenalty) ? (seekPenalty ? 1 : 2) : 0;
        DISK_CACHE_INFORMATION information{};
        r.writeCacheState =
            win->getCacheInformation(information) ? (information.WriteCacheEnabled ? 1 : 2) : 0;
        const DRIVE_LAYOUT_INFORMATION_EX layout = win->getDriveLayoutInfo();
        r.partitionCount = layout.PartitionCount;
        r.hasPartitions = layout.PartitionCount != 0 ? 1 : 0;
        r.partitionStyle = PartitionStyleCode(layout.PartitionStyle);
    }
    r.state = 6;
    r.usage = 2;
    r.controllerHandle = disk->getControllerHandle();
    r.logicalSectorSize = disk->logicalSectorSize();
    r.physicalSectorSize = disk->physicalSectorSize();
    r.solidState = disk->solidState() ? 1 : 0;
    r.hybridMemberKind = 0;
    if (const auto& hybrid = disk->getHybridDiskExtension(); hybrid && hybrid->isHybridDisk()) {
        const uint32_t kinds[3] = {3, 1, 2};
        r.hybridMemberKind = hybrid->getMemberKind() < 3 ? kinds[hybrid->getMemberKind()] : 0;
    }
    return result;
}

extern "C" {

_UVI_Error UviGetThirdPartyEndDeviceHandles(unsigned int session, uint32_t* handleList,
                                            uint32_t* handleCount) {
    if (!handleCount)
        return NullParameterError("handleCount cannot be null in GetThirdPartyEndDeviceHandles");
    return RunSessionCall(session, [&](Session& s) {
        const auto controllers = s.getThirdPartyControllers();
        return collectEndDeviceHandles(s, handleList, handleCount, controllers, AllDisks);
    });
}

_UVI_Error UviGetThirdPartyEndDeviceInfo(unsigned int session, uint32_t endDeviceHandle,
                                         _UVI_ThirdPartyEndDeviceInfo* info) {
    if (!info)
        return NullParameterError("endDeviceInfo cannot be null in GetThirdPartyEndDeviceInfo");
    return RunSessionCall(
        session, [&](Session& s) { return internalUviGetThirdPartyEndDeviceInfo(s, endDeviceHandle, info); });
}
}
