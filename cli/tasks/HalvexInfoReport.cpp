// The cache-memory information report: per controller, the enabled pairing's configuration or the
// platform's readiness and the cache-memory modules found.
#include <algorithm>

#include "cli/PropertyFormatter.h"
#include "cli/ValueTexts.h"
#include "cli/tasks/AccelerateTask.h"

namespace MOX {

namespace {

// Operation states a report does not warn about: none, or an enable the driver is still carrying out.
bool LeavesNothingPending(uint32_t operationStatus) {
    return operationStatus == 0 || operationStatus == 5 || operationStatus == 6 || operationStatus == 7;
}

std::string DiskTypeText(uint32_t type) {
    switch (type) {
    case 1:
        return "SATA";
    case 2:
        return "SAS";
    case 3:
        return "PCIE";
    default:
        return "Unknown disk type";
    }
}

} // namespace

Error AccelerateTask::printHalvexInfo(bool verbose) {
    std::vector<Controller> controllers;
    Error result = session.GetControllers(controllers, "");
    if (result.isError())
        return result;
    TwoColumnPropertyFormatter formatter(printer, 0, true);
    for (const Controller& controller : controllers) {
        printer->printWrapped("", 0, 0);
        printer->printWrapped("Controller: " + controller.getName() + " --", 0, 0);
        _UVI_VezkInfo pairing{};
        result = session.GetVezkInfoEx(pairing, controller.getHandle());
        if (result.isError())
            return result;
        if (pairing.pairType != 0) {
            result = printSystemConfiguration(pairing, verbose);
            if (result.isError())
                return result;
        } else {
            std::vector<EndDevice> modules;
            result = session.GetEndDevicesOfKind(modules, controller.getHandle());
            if (result.isError())
                return result;
            printer->printWrapped("Orvex Halvex Memory is not enabled on this Controller", 0, 0);
            printer->printWrapped("", 0, 0);
            if (pairing.vezkSupported && !modules.empty()) {
                printer->printWrapped("Platform is Orvex Halvex ready.", 0, 0);
            } else {
                printer->printWrapped("Equipment is not Orvex Halvex ready because", 0, 0);
                printer->printWrapped(PlatformSupportToText(pairing), 0, 0);
            }
            if (!modules.empty()) {
                printer->printWrapped("Orvex Halvex memory module detected:", 0, 0);
                for (const EndDevice& module : modules)
                    formatter.format(module.serialize());
            } else {
                printer->printWrapped(
                    "Orvex Halvex memory module not detected: not present or remapping disabled", 0, 0);
            }
        }
        if (!LeavesNothingPending(pairing.halvexStatus)) {
            printer->printWrapped("", 0, 0);
            printer->printWrapped("An unfinished Halvex operation is pending", 0, 0);
            printer->printWrapped(std::string("Current operation status: ") +
                                      UVI_VezkOperationStatusToDescription(pairing.halvexStatus),
                                  0, 0);
            printer->printWrapped("Please run --HalvexMemory --disable to continue", 0, 0);
        }
    }
    return result;
}

Error AccelerateTask::printSystemConfiguration(const _UVI_VezkInfo& pairing, bool verbose) {
    TwoColumnPropertyFormatter formatter(printer, 0, true);
    std::vector<Volume> volumes;
    Error result = session.GetVolumes(volumes, "");
    if (result.isError())
        return result;
    const auto volume = std::find_if(volumes.begin(), volumes.end(), [&](const Volume& v) {
        return v.getInfo().handle == pairing.pairingVolumeHandle;
    });
    if (volume == volumes.end()) {
        printer->printWrapped("No Halvex Memory System on Platform", 0, 0);
        return Error();
    }
    // Read for completeness of the snapshot's views; the sections below name the drives by handle.
    std::vector<EndDevice> members;
    (void)session.GetVolumeEndDevices(members, volume->getName());

    printer->printWrapped("", 0, 0);
    printer->printWrapped("-- HALVEX MEMORY SYSTEM CONFIGURATION --", 0, 0);
    PropertyList properties{{"State", CachePairStateToText(pairing.pairingState)}};
    if (pairing.migrationType != 3) {
        properties.emplace_back("Type", MigrationStateToText(pairing.migrationType));
        properties.emplace_back("Migration Progress",
                                std::to_string(pairing.overallMigrationProgress) + " %");
    }
    if (verbose)
        properties.emplace_back("Block Cache usage", std::to_string(pairing.blockCacheUsedPercent) + "%");
    formatter.format(properties);

    if (pairing.fastDiskHandle != 0) {
        printer->printWrapped("", 0, 0);
        printer->printWrapped("-- HALVEX DRIVE CONFIGURATION -- ", 0, 0);
        EndDevice fast;
        (void)session.GetEndDeviceByHandle(fast, pairing.fastDiskHandle);
        printDrive(fast, formatter);
    }
    if (pairing.slowDiskHandle != 0) {
        EndDevice capacity;
        (void)session.GetEndDeviceByHandle(capacity, pairing.slowDiskHandle);
        printer->printWrapped("", 0, 0);
        printer->printWrapped("-- CAPACITY DRIVE CONFIGURATION --", 0, 0);
        printDrive(capacity, formatter);
    }
    return Error();
}

void AccelerateTask::printDrive(const EndDevice& drive, PropertyFormatter& formatter) {
    printer->printWrapped("", 0, 0);
    formatter.format({{"ID", drive.getId()},
                      {"Disk Type", DiskTypeText(drive.getDiskType())},
                      {"Size", SizeToText(drive.getSize()) + " GB"},
                      {"Serial Number", drive.getSerialNumber()},
                      {"Model", drive.getModel()}});
}

} // namespace MOX
