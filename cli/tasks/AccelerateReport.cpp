// The acceleration report: per controller whether acceleration is supported and used, and for the
// first controller with a cache volume, the accelerated device, the fast drive and its volumes.
#include <cstring>

#include "cli/PropertyFormatter.h"
#include "cli/ValueTexts.h"
#include "cli/tasks/AccelerateStats.h"
#include "cli/tasks/AccelerateTask.h"

namespace MOX {

Error AccelerateTask::printAccelInfo() {
    std::vector<Controller> controllers;
    Error result = session.GetControllers(controllers, "");
    if (result.isError())
        return result;
    for (const Controller& controller : controllers) {
        printer->printWrapped("", 0, 0);
        printer->printWrapped("Controller: " + controller.getName() + " --", 0, 0);
        _UVI_ControllerInfo info{};
        result =
            FullConversion(CallUvi(UviGetControllerInfo, session.getHandle(), controller.getHandle(), &info));
        if (result.isError()) {
            printer->printWrapped("Can't read Controller information.", 0, 0);
            return result;
        }
        if (!info.capabilities[SSD_CACHING_FLAG]) {
            printer->printWrapped("Acceleration is not supported by this Controller.", 0, 0);
            return Error();
        }
        _UVI_NvcInfo cache{};
        result = session.GetNvcInfo(cache, controller.getHandle());
        if (result.isError())
            return result;
        if (cache.cacheVolumeHandle != 0)
            return printAccelConfiguration(cache, controller);
        printer->printWrapped("Acceleration is not enabled on this Controller", 0, 0);
    }
    return Error();
}

Error AccelerateTask::printAccelConfiguration(const _UVI_NvcInfo& cache, const Controller& controller) {
    auto line = [&](const std::string& text) { printer->printWrapped(text, 0, 0); };
    std::vector<Volume> volumes;
    Error result = session.GetVolumes(volumes, "");
    if (result.isError())
        return result;
    _UVI_VolumeInfo cacheVolume{};
    bool cacheVolumeFound = false;
    for (const Volume& volume : volumes) {
        if (volume.getInfo().handle == cache.cacheVolumeHandle) {
            (void)session.FindVolumeInfoByName(cacheVolume, volume.getName());
            cacheVolumeFound = true;
            break;
        }
    }
    std::vector<EndDevice> devices;
    result.merge(session.GetControllerEndDevices(devices, controller.getName()));

    _UVI_EndDeviceInfo fastDrive{};
    bool fastDriveFound = false;
    if (cacheVolumeFound) {
        for (const EndDevice& device : devices) {
            if (device.getInfo().arrayHandle == cacheVolume.arrayHandle) {
                (void)session.GetEndDeviceInfo(fastDrive, device.getHandle());
                fastDriveFound = true;
                break;
            }
        }
    }

    line("");
    line("-- ACCELERATION CONFIGURATION --");
    if (cache.acceleratedDiskHandle == 0 && cache.acceleratedVolumeHandle == 0) {
        line("");
        line("Accelerated Device: None");
        line("Acceleration Mode : None");
    } else if (cache.acceleratedDiskHandle != 0) {
        _UVI_EndDeviceInfo disk{};
        (void)session.GetEndDeviceInfo(disk, cache.acceleratedDiskHandle);
        line("");
        line("Accelerated Device: Disk with SCSI Address " + DiskIdToText(disk.scsiAddress));
        line("Acceleration Mode : " + AccelerationModeToText(cache.mode));
    } else {
        _UVI_VolumeInfo volume{};
        (void)session.GetVolumeInfo(volume, cache.acceleratedVolumeHandle);
        line("");
        line("Accelerated Device: Volume: " +
             std::string(volume.name, strnlen(volume.name, sizeof volume.name)));
        line("Acceleration Mode : " + AccelerationModeToText(cache.mode));
    }

    if (!fastDriveFound) {
        // Without a fast drive there is no array to read: the configuration above is the report,
        // rather than a failed read of array handle 0 after it.
        return result;
    }
    line("");
    line("-- FAST DRIVE CONFIGURATION -- ");
    line("");
    line("FAST DRIVE (" + DiskIdToText(fastDrive.scsiAddress) + "):  " + DiskStateToText(fastDrive.state));
    line("Usage:          Cache Device");
    line("Serial number:  " +
         std::string(fastDrive.serialNumber, strnlen(fastDrive.serialNumber, sizeof fastDrive.serialNumber)));

    _UVI_ArrayInfo array{};
    if (!result.isError())
        result = FullConversion(CallUvi(UviGetArrayInfo, session.getHandle(), fastDrive.arrayHandle, &array));
    std::vector<Volume> arrayVolumes;
    if (!result.isError() && array.handle != 0) {
        result = session.GetArrayVolumes(arrayVolumes, array);
        line("");
        line("VOLUMES IN FAST DRIVE [Array " +
             std::string(array.name, strnlen(array.name, sizeof array.name)) + "]");
    }
    if (!result.isError() && !arrayVolumes.empty()) {
        TwoColumnPropertyFormatter formatter(printer, 0, false);
        for (const Volume& volume : arrayVolumes) {
            formatter.format(volume.getProperties());
            line("");
        }
    }
    return result;
}

} // namespace MOX
