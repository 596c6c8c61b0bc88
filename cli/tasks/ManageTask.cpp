#include "cli/tasks/ManageTask.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <utility>

#include "cli/CommandParser.h"
#include "cli/ConsoleOutput.h"
#include "cli/Options.h"
#include "middleware/core/GlobalLogger.h"
#include "platform/win/WinBase.h"

namespace MOX {

ManageTaskFactory::ManageTaskFactory() {
    usageTexts[0] =
        "\n    --manage --cancel-verify volumeName\n    --manage --delete volumeName\n    --manage "
        "--verify-repair volumeName\n    --manage --normal-volume volumeName\n    --manage --normal diskId\n "
        "   --manage --initialize volumeName\n    --manage --delete-metadata diskId\n    --manage "
        "--not-spare diskId\n    --manage --volume-cache-policy off|wb --volume volumeName\n    --manage "
        "--rebuild volumeName --target diskId\n    --manage --spare diskId\n    --manage --verify "
        "volumeName\n    --manage --write-cache true|false --array arrayName\n    --manage "
        "--delete-all-metadata [--no-sync]\n";
    usageTexts[1] = "\n    --manage --delete-all-metadata\n";
    exampleTexts[0] =
        "\n    --manage --spare 0-3-0-0\n    -M -D VolumeDelete\n    -M --normal 0-2-0-0\n    --manage -w "
        "true -array Array_0000\n    -M -U VolumeVerify\n    --manage --help\n    --manage -Z\n    -M -Z "
        "--no-sync (Do not synchronize cache durning metadata deletion. Allowed only in WinPE)";
    exampleTexts[1] = "\n    --manage --delete-all-metadata\n    -M -Z\n";
    const OptionTable& o = Options();
    for (const OptionDescriptor* option :
         {&o.manage, &o.cancelVerify, &o.deleteVolume, &o.verifyRepair, &o.normalVolume, &o.normal,
          &o.initialize, &o.level, &o.deleteMetadata, &o.notSpare, &o.volumeCachePolicy, &o.rebuild, &o.spare,
          &o.target, &o.verify, &o.writeCache, &o.deleteAllMetadata, &o.noSync, &o.unlock})
        allowedOptions.insert(*option);
}

namespace {

[[noreturn]] void ThrowUsage(const std::string& detail) {
    Error usage;
    usage.set(2, detail);
    throw MoxErrorException(usage);
}

const char* const kSupportedControllerNotFound =
    "Supported controller not found. Clear metadata feature requires "
    "SATA controller in Premium mode or ZRC controller.";

// The product generation the unlock action names when it ends.
constexpr const char* kProductGeneration = "20";

// Passes of the wait for acceleration to end without progress before it gives up.
constexpr uint32_t kStalledPassLimit = 120;
constexpr DWORD kPassIntervalMs = 1000;

// The flags of a volume that takes part in SSD acceleration.
bool TakesPartInAcceleration(const _UVI_VolumeInfo& info) {
    return info.isBlockCacheVolume || info.isAcceleratedVolume || info.isPairingVolume;
}

} // namespace

std::unique_ptr<ITask> ManageTaskFactory::createTask(CommandParser& parser) {
    const OptionTable& o = Options();
    auto task = std::make_unique<ManageTask>();
    const OptionDescriptor* const counted[] = {
        &o.cancelVerify,   &o.deleteVolume, &o.verifyRepair,      &o.normalVolume, &o.normal,
        &o.deleteMetadata, &o.notSpare,     &o.volumeCachePolicy, &o.rebuild,      &o.spare,
        &o.verify,         &o.writeCache,   &o.deleteAllMetadata, &o.initialize,   &o.unlock};
    int setCount = 0;
    for (const OptionDescriptor* option : counted)
        if (parser.getOption(*option).isSet)
            ++setCount;
    if (setCount != 1)
        ThrowUsage("Only exactly one manage task switch is allowe. See manage help.");

    auto given = [&](const OptionDescriptor& option) { return parser.getOption(option); };
    auto valued = [&](const OptionDescriptor& option) {
        const ParsedOption parsed = given(option);
        return parsed.isSet && !parsed.value().empty();
    };
    // The switches that take one non-empty value and nothing else, in the order they are looked at.
    const struct {
        const OptionDescriptor* option;
        int32_t kind;
        const char* usage;
    } single[] = {
        {&o.spare, ManageTask::SPARE, "Usage: --manage --spare diskId"},
        {&o.notSpare, ManageTask::NOT_SPARE, "Usage: --manage --not-spare diskId"},
        {nullptr, ManageTask::UNLOCK, nullptr},
        {&o.normal, ManageTask::NORMAL, "Usage: --manage --normal diskId"},
        {&o.normalVolume, ManageTask::NORMAL_VOLUME, "Usage: --manage --normal-volume volumeId"},
        {&o.deleteVolume, ManageTask::DELETE_VOLUME, "Usage: --manage --delete volumeId"},
        {&o.initialize, ManageTask::INITIALIZE, "Usage: --manage --initialize volumeId"},
        {&o.verify, ManageTask::VERIFY, "Usage: --manage --verify volumeId"},
        {&o.verifyRepair, ManageTask::VERIFY_REPAIR, "Usage: --manage --verify-repair volumeId"},
        {&o.cancelVerify, ManageTask::CANCEL_VERIFY, "Usage: --manage --cancel-verify volumeId"},
        {&o.deleteMetadata, ManageTask::DELETE_METADATA, "Usage: --manage --delete-metadata diskId"},
    };

    if (given(o.rebuild).isSet) {
        if (!given(o.target).isSet)
            ThrowUsage("Usage: --manage --rebuild volumeId --target diskId");
        task->addAction(ManageTask::REBUILD, {given(o.rebuild).value(), given(o.target).value()});
        return task;
    }
    if (given(o.volumeCachePolicy).isSet) {
        if (!valued(o.volume))
            ThrowUsage("Usage: --manage --volume-cache-policy off|wb --volume volumeId");
        task->addAction(ManageTask::VOLUME_CACHE_POLICY,
                        {given(o.volume).value(), given(o.volumeCachePolicy).value()});
        return task;
    }
    if (given(o.writeCache).isSet) {
        if (!valued(o.array))
            ThrowUsage("Usage: --manage --write-cache true|false --array arrayId");
        task->addAction(ManageTask::WRITE_CACHE, {given(o.array).value(), given(o.writeCache).value()});
        return task;
    }
    for (const auto& entry : single) {
        if (entry.kind == ManageTask::UNLOCK) {
            if (!given(o.unlock).isSet)
                continue;
            const std::vector<std::string> positional = parser.getPositionalArgs();
            if (positional.empty())
                ThrowUsage("Missing diskID for manage unlod disk task.");
            task->addUnlockAction(given(o.unlock).value(), positional);
            return task;
        }
        if (!given(*entry.option).isSet)
            continue;
        if (!valued(*entry.option))
            ThrowUsage(entry.usage);
        task->addAction(entry.kind, given(*entry.option).value());
        return task;
    }
    task->addDeleteAllMetadataAction(given(o.noSync).isSet);
    return task;
}

// ---- the task ----

void ManageTask::addAction(int32_t kind, std::string arg) {
    addAction(kind, std::vector<std::string>{std::move(arg)});
}

void ManageTask::addAction(int32_t kind, std::vector<std::string> args) {
    actions.push_back({kind, std::move(args)});
}

void ManageTask::addUnlockAction(std::string password, const std::vector<std::string>& positional) {
    std::vector<std::string> args{std::move(password)};
    args.insert(args.end(), positional.begin(), positional.end());
    addAction(UNLOCK, std::move(args));
}

void ManageTask::addDeleteAllMetadataAction(bool noSync) {
    addAction(DELETE_ALL_METADATA, noSync ? "1" : "0");
}

Error ManageTask::run() {
    Error result = session.OpenSession();
    if (result.isError())
        return result;
    for (const Action& action : actions) {
        const std::vector<std::string>& a = action.args;
        auto arg = [&](size_t i) { return i < a.size() ? a[i] : std::string(); };
        switch (action.kind) {
        case SPARE:
            result = markAsSpare(arg(0));
            break;
        case NOT_SPARE:
            result = unmarkSpare(arg(0));
            break;
        case UNLOCK:
            result = unlockDisk(arg(0), arg(1));
            break;
        case REBUILD:
            result = rebuildVolume(arg(0), arg(1));
            break;
        case VOLUME_CACHE_POLICY:
            result = setVolumeCachePolicy(arg(0), arg(1));
            break;
        case WRITE_CACHE:
            result = setArrayWriteCache(arg(0), arg(1));
            break;
        case NORMAL:
            result = markDiskNormal(arg(0));
            break;
        case NORMAL_VOLUME:
            result = markVolumeNormal(arg(0));
            break;
        case DELETE_VOLUME:
            result = deleteVolume(arg(0));
            break;
        case INITIALIZE:
            result = initializeVolume(arg(0));
            break;
        case VERIFY:
            result = verifyVolume(arg(0));
            break;
        case VERIFY_REPAIR:
            result = verifyRepairVolume(arg(0));
            break;
        case CANCEL_VERIFY:
            result = cancelVerify(arg(0));
            break;
        case DELETE_METADATA:
            result = deleteDiskMetadata(arg(0));
            break;
        case DELETE_ALL_METADATA:
            result = deleteAllMetadata(arg(0) == "1");
            break;
        default:
            break;
        }
    }
    (void)session.CloseSession();
    return result;
}

// ---- disks ----

Error ManageTask::spareAction(const std::string& diskId, bool mark) {
    std::vector<EndDevice> disks;
    Error result = session.GetEndDevices(disks, diskId);
    if (result.isError())
        return result;
    ManageOperations operations(session);
    for (const EndDevice& disk : disks) {
        if (disk.getId() != diskId)
            continue;
        result = mark ? operations.MarkAsSpare(disk.getHandle()) : operations.UnmarkSpare(disk.getHandle());
        if (result.isError())
            continue;
        if (mark) {
            PrintLine("--MARK A DISK AS SPARE--");
            PrintLine("Disk " + diskId + " marked as a spare.");
        } else {
            PrintLine("--MARK SPARE DISK AS AVAILABLE--");
            PrintLine("Disk " + diskId + " is not a spare.");
        }
    }
    return result;
}

Error ManageTask::markAsSpare(const std::string& diskId) {
    return spareAction(diskId, true);
}

Error ManageTask::unmarkSpare(const std::string& diskId) {
    return spareAction(diskId, false);
}

Error ManageTask::unlockDisk(const std::string& password, const std::string& diskId) {
    Error result;
    if (diskId.empty()) {
        result.set(2, "No Valid Disk Provided");
        return result;
    }
    if (password.empty() || password.size() > 32) {
        result.set(2, "Password is either NULL or larger than expected length");
        return result;
    }
    ManageOperations operations(session);
    [&] {
        uint32_t controllerHandle = 0;
        result = session.FindControllerHandleOfEndDevice(diskId, controllerHandle);
        if (result.isError())
            return;
        _UVI_ControllerInfo controller{};
        result = operations.GetControllerInfo(controllerHandle, controller);
        if (result.isError())
            return;
        // The management interface always gives 0 here, so the disk is never looked up: the library
        // then answers for handle 0.
        _UVI_EndDeviceInfo disk{};
        if (controller.reserved12[0] == 1) {
            std::cout << "\n"
                      << "--UNLOCK DISK--"
                      << "\n"
                      << std::flush;
            result = session.FindEndDeviceById(disk, diskId);
            if (result.isError())
                return;
            if (disk.state != 7) {
                result.set(2, "Disk is not in a Locked state");
                return;
            }
        }
        _UVI_DiskUnlockInfo unlock{};
        std::memcpy(unlock.password, password.data(), password.size());
        unlock.passwordKind = 1;
        result = operations.Unlock(disk.endDeviceHandle, unlock);
    }();
    std::cout << "\n"
              << "NOT SUPPORTED in Xqjd" << kProductGeneration << "\n"
              << std::flush;
    return result;
}

Error ManageTask::markDiskNormal(const std::string& diskId) {
    std::vector<EndDevice> disks;
    Error result = session.GetEndDevices(disks, diskId);
    if (result.isError())
        return result;
    if (disks.empty()) {
        result.set(1, "getEndDevices returned success but disks are empty for input: " + diskId);
        return result;
    }
    const EndDevice& disk = disks.front();
    const bool smart = disk.hasSmartEvent();
    const bool failed = disk.getState() == 3;
    if (!smart && !failed)
        return Error(5);
    ManageOperations operations(session);
    Error reset(1), normal(1);
    if (smart)
        reset = operations.ResetSmartEvent(disk.getHandle());
    if (failed)
        normal = operations.MarkDiskNormal(disk.getHandle());
    if (!reset.isError() || !normal.isError()) {
        PrintLine("--SET DISK TO NORMAL--");
        if (!normal.isError())
            PrintLine("Set " + diskId + " to Normal.");
        if (!reset.isError())
            PrintLine("Reset " + diskId + " SMART event.");
    }
    if (failed && normal.isError()) {
        if (smart && reset.isError()) {
            normal.addDetail("Reset Smart error:");
            for (const std::string& line : reset.getDetails())
                normal.addDetail(line);
        }
        return normal;
    }
    if (smart && reset.isError())
        return reset;
    return Error(0);
}

Error ManageTask::deleteDiskMetadata(const std::string& diskId) {
    std::vector<EndDevice> disks;
    Error result = session.GetEndDevices(disks, diskId);
    if (result.isError())
        return result;
    if (disks.empty()) {
        result.set(2, "Disk was not found.");
        return result;
    }
    const EndDevice& disk = disks.front();
    Controller controller;
    result = session.GetControllerByHandle(controller, disk.getControllerHandle());
    if (result.isError())
        return result;
    if (controller.getInfo().raidSupported == 0) {
        result.set(5, kSupportedControllerNotFound);
        return result;
    }
    if (disk.getId() == diskId) {
        result = ManageOperations(session).ClearMetadata(disk.getHandle());
        if (!result.isError()) {
            PrintLine("--DELETE METADATA--");
            PrintLine("Delete metadata from " + diskId + ".");
        }
    }
    return result;
}

// ---- volumes and arrays ----

template <class View, class Call>
Error ManageTask::actOnNamed(const std::vector<View>& views, Error gathering, const std::string& kindWord,
                             const std::string& name, Call call, const std::string& header,
                             const std::string& confirmation) {
    if (gathering.isError())
        return gathering;
    const View* view = FirstNamed(views, name);
    if (!view) {
        gathering.set(3, "ERROR: " + kindWord + " " + name + " not found.");
        return gathering;
    }
    Error result = call(*view);
    if (result.isError())
        return result;
    PrintLine(header);
    PrintLine(confirmation);
    return result;
}

Error ManageTask::actOnVolume(const std::string& name, const VolumeCall& call, const std::string& header,
                              const std::string& confirmation) {
    std::vector<Volume> volumes;
    Error gathering = session.GetVolumes(volumes, name);
    ManageOperations operations(session);
    return actOnNamed(
        volumes, gathering, "Volume", name,
        [&](const Volume& volume) { return call(operations, volume.getInfo().handle); }, header,
        confirmation);
}

Error ManageTask::setVolumeCachePolicy(const std::string& volume, const std::string& policy) {
    // Any other text reaches the library as 0, which it refuses.
    const uint32_t value = policy == "off" ? 1 : policy == "wb" ? 3 : 0;
    return actOnVolume(
        volume, [&](ManageOperations& o, uint32_t handle) { return o.SetVolumeCachePolicy(handle, value); },
        "--VOLUME CACHE POLICY--", "Policy is set to " + policy + ".");
}

Error ManageTask::setArrayWriteCache(const std::string& array, const std::string& state) {
    // Only the exact text "false" turns the write cache off.
    const bool enabled = state != "false";
    std::vector<Array> arrays;
    Error gathering = session.GetArrays(arrays, array);
    ManageOperations operations(session);
    return actOnNamed(
        arrays, gathering, "Array", array,
        [&](const Array& view) { return operations.SetArrayWriteCache(view.getInfo().handle, enabled); },
        "--SET WRITE CACHE--", "Set write cache to " + state + ".");
}

Error ManageTask::markVolumeNormal(const std::string& volume) {
    return actOnVolume(
        volume, [](ManageOperations& o, uint32_t handle) { return o.MarkVolumeNormal(handle); },
        "--SET VOLUME TO NORMAL--", "Set " + volume + " to Normal.");
}

Error ManageTask::deleteVolume(const std::string& volume) {
    return actOnVolume(
        volume, [](ManageOperations& o, uint32_t handle) { return o.DeleteVolume(handle); },
        "--DELETE A VOLUME--", "Delete " + volume + ".");
}

Error ManageTask::initializeVolume(const std::string& volume) {
    return actOnVolume(
        volume, [](ManageOperations& o, uint32_t handle) { return o.InitializeVolume(handle); },
        "--INITIALIZE A VOLUME--", "Initialize the redundant data on " + volume + ".");
}

Error ManageTask::verifyVolume(const std::string& volume) {
    return actOnVolume(
        volume, [](ManageOperations& o, uint32_t handle) { return o.VerifyVolume(handle, false); },
        "--VERIFY A VOLUME--", "Verify " + volume + ".");
}

Error ManageTask::verifyRepairVolume(const std::string& volume) {
    return actOnVolume(
        volume, [](ManageOperations& o, uint32_t handle) { return o.VerifyVolume(handle, true); },
        "--VERIFY AND REPAIR A VOLUME--", "Verify and repair " + volume + ".");
}

Error ManageTask::cancelVerify(const std::string& volume) {
    return actOnVolume(
        volume, [](ManageOperations& o, uint32_t handle) { return o.CancelVerify(handle); },
        "--CANCEL VERIFY--", "Cancel verify operation for " + volume + ".");
}

Error ManageTask::rebuildVolume(const std::string& volume, const std::string& diskId) {
    std::vector<Volume> volumes;
    Error result = session.GetVolumes(volumes, volume);
    if (result.isError())
        return result;
    const Volume* view = FirstNamed(volumes, volume);
    if (!view) {
        result.set(3, "ERROR: Volume " + volume + " not found.");
        return result;
    }
    if (view->getInfo().raidLevel == UVI_RAID_LEVEL_0) {
        result.set(24, "Cannot rebuild RAID 0 volume.");
        return result;
    }
    std::vector<EndDevice> disks;
    result = session.GetEndDevices(disks, diskId);
    if (result.isError())
        return result;
    if (disks.empty() || disks.front().getId() != diskId)
        return result;
    result = ManageOperations(session).RebuildVolume(view->getInfo().handle, disks.front().getHandle());
    if (!result.isError()) {
        PrintLine("--REBUILD--");
        PrintLine("Rebuild " + volume + " to disk " + diskId + ".");
    }
    return result;
}

// ---- delete all metadata ----

bool ManageTask::reopen(Error& result) {
    result = session.CloseSession();
    if (result.isError())
        return false;
    result = session.OpenSession();
    // A new snapshot: what was gathered from the last one is not kept.
    session.ForgetGathered();
    return !result.isError();
}

Error ManageTask::deleteAllMetadata(bool noSync) {
    Error result;
    uint32_t failures = 0;
    if (noSync && !ManageOperations::IsPreinstallationEnvironment()) {
        result.set(4, "Clearing metadata with --no-sync is only allowed in WinPe");
        return result;
    }
    std::vector<Controller> controllers;
    result = session.GetControllers(controllers, "");
    bool supported = false;
    for (const Controller& controller : controllers)
        supported = supported || controller.getInfo().raidSupported != 0;
    if (!supported) {
        result.set(5, kSupportedControllerNotFound);
        return result;
    }

    disableHalvexPairs(result, failures, noSync);

    // A step that cannot start on a fresh snapshot has not done its work: it counts as a failure.
    if (reopen(result))
        clearOfflineArrayMetadata(result, failures);
    else
        ++failures;

    if (reopen(result)) {
        turnAccelerationOff(controllers, result, failures, noSync);
        if (!result.isError())
            waitForAccelerationOff(result, failures);
    } else {
        ++failures;
    }

    if (reopen(result))
        deleteVolumes(result, failures);
    else
        ++failures;

    if (reopen(result))
        resetDisks(result, failures);
    else
        ++failures;

    if (failures == 0) {
        PrintLine("All metadata has been deleted");
    } else {
        PrintLine("Unable to delete all metadata");
        result.setType(1);
    }
    return result;
}

void ManageTask::disableHalvexPairs(Error& result, uint32_t& failures, bool noSync) {
    std::vector<Controller> controllers;
    result = session.GetControllers(controllers, "");
    if (result.isError()) {
        ++failures;
        return;
    }
    for (const Controller& controller : controllers) {
        _UVI_VezkInfo pairing{};
        result = session.GetVezkInfoEx(pairing, controller.getHandle());
        if (result.isError()) {
            ++failures;
            PrintLine("Unable to get Halvex info for controller: " + controller.getName());
            result.setType(1);
            continue;
        }
        if (pairing.pairType == 0) // no cache-memory pair
            continue;
        PrintLine(
            "Disabling Halvex and performing data migration. This could take about an hour, depending on "
            "the system's configuration...");
        const _UVI_Error separated = separatePairs(noSync);
        if (separated.status == 0)
            continue;
        PrintLine(noSync ? "Unable to clear Halvex metadata" : "Unable to disable Halvex");
        Error failure;
        failure.assignFromUviError(separated); // takes the texts and releases them from the thread's store
        failure.printMessage();
        failure.printDetails();
        ++failures;
        result.setType(1);
    }
}

void ManageTask::clearOfflineArrayMetadata(Error& result, uint32_t& failures) {
    if (result.isError())
        return;
    std::vector<Controller> controllers;
    result = session.GetControllers(controllers, "");
    if (result.isError()) {
        ++failures;
        return;
    }
    ManageOperations operations(session);
    for (const Controller& controller : controllers) {
        std::vector<_UVI_EndDeviceInfo> disks;
        result = session.FindEndDevicesOfController(disks, controller.getName());
        if (result.isError()) {
            ++failures;
            PrintLine("Unable to get end devices info for controller: " + controller.getName());
            result.setType(1);
            continue;
        }
        // Failures here are not counted: the disk step tries such disks again and counts there.
        for (const _UVI_EndDeviceInfo& gathered : disks) {
            const std::string serial = RecordText(gathered.serialNumber);
            _UVI_EndDeviceInfo disk{};
            result = session.GetEndDeviceInfo(disk, gathered.endDeviceHandle);
            if (result.isError()) {
                PrintLine("Unable to get end devices info for device: " + serial);
                result.setType(1);
                continue;
            }
            if (disk.vezkDiskKind != 4) // not a member of an offline array
                continue;
            result = operations.ClearMetadata(disk.endDeviceHandle);
            if (result.isError()) {
                PrintLine("Unable to remove metadata from device: " + serial);
                result.setType(1);
            }
        }
    }
}

void ManageTask::turnAccelerationOff(const std::vector<Controller>& controllers, Error& result,
                                     uint32_t& failures, bool noSync) {
    ManageOperations operations(session);
    for (const Controller& controller : controllers) {
        _UVI_NvcInfo cache{};
        result = session.GetNvcInfo(cache, controller.getHandle());
        if (result.isError())
            continue;
        if (cache.mode != UVI_NVC_MODE_SAFE && cache.mode != UVI_NVC_MODE_PERFORMANCE)
            continue;
        PrintLine("Disabling acceleration. This could take a few minutes depending on the system's "
                  "configuration...");
        // Without synchronisation a cache in performance mode is dropped, not flushed.
        const bool drop = noSync && cache.mode == UVI_NVC_MODE_PERFORMANCE;
        _UVI_Error answer;
        if (cache.acceleratedDiskHandle != 0)
            answer = drop ? operations.DiskDestroyCache(cache.acceleratedDiskHandle)
                          : operations.DiskSetCacheModeOff(cache.acceleratedDiskHandle);
        else if (cache.acceleratedVolumeHandle != 0)
            answer = drop ? operations.VolumeDestroyCache(cache.acceleratedVolumeHandle)
                          : operations.VolumeSetCacheModeOff(cache.acceleratedVolumeHandle);
        else
            answer = operations.NvcDisassociate(cache.cacheVolumeHandle);
        if (answer.status == 0)
            continue;
        ++failures;
        PrintLine("Unable to disable acceleration");
        GlobalLogger::get().clean(answer.errorId);
        result.setType(1);
    }
}

void ManageTask::waitForAccelerationOff(Error& result, uint32_t& failures) {
    uint32_t stalled = 0;
    int32_t lastProgress = 0;
    bool again = true;
    while (again) {
        again = false;
        result = session.CloseSession();
        std::vector<Controller> controllers;
        if (!result.isError()) {
            result = session.OpenSession();
            session.ForgetGathered();
            if (!result.isError())
                result = session.GetControllers(controllers, "");
        }
        if (result.isError()) {
            ++failures; // the wait could not look: acceleration may still be on
            Sleep(kPassIntervalMs);
            return;
        }
        // Every controller is looked at: one that is off does not hide a later one still leaving its mode.
        for (const Controller& controller : controllers) {
            _UVI_NvcInfo cache{};
            result = session.GetNvcInfo(cache, controller.getHandle());
            if (result.isError())
                continue;
            if (cache.mode == UVI_NVC_MODE_OFF)
                continue;
            again = true;
            if (stalled == kStalledPassLimit) {
                PrintLine(
                    "Disabling acceleration timed out. Metadata may not be deleted on the SSD. Please try "
                    "disabling acceleration again.");
                ++failures;
                result = Error(1);
                again = false;
                break;
            }
            if (cache.mode == UVI_NVC_MODE_32) {
                stalled = cache.progress != lastProgress ? 0 : stalled + 1;
                lastProgress = cache.progress;
            } else if (cache.mode == UVI_NVC_MODE_64) {
                PrintLine("Acceleration cannot be turned off while changing modes. Please try disabling "
                          "acceleration again.");
                ++failures;
                result.setType(1);
                again = false;
                break;
            } else {
                ++stalled;
            }
        }
        Sleep(kPassIntervalMs);
    }
}

void ManageTask::deleteVolumes(Error& result, uint32_t& failures) {
    std::vector<Volume> volumes;
    result = session.GetVolumes(volumes, "");
    if (result.isError()) {
        ++failures;
        return;
    }
    PrintLine("Deleting volumes...");
    ManageOperations operations(session);
    for (const Volume& volume : volumes) {
        const _UVI_VolumeInfo& info = volume.getInfo();
        uint32_t controllerHandle = 0;
        result = session.FindControllerHandleOfVolume(volume.getName(), controllerHandle);
        if (result.isError()) {
            ++failures;
            PrintLine("Unable to get controller info");
            result.setType(1);
            continue;
        }
        const bool kept = info.handle == 0 || info.systemVolume;
        _UVI_NvcInfo cache{};
        result = session.GetNvcInfo(cache, controllerHandle);
        if (result.isError()) {
            if (!kept)
                ++failures; // the volume is left in place
            continue;
        }
        if (kept)
            continue;
        if (cache.mode != UVI_NVC_MODE_OFF && TakesPartInAcceleration(info)) {
            ++failures;
            PrintLine("Unable to delete volume " + volume.getName() + " while WYN is enabled");
            result.setType(1);
            continue;
        }
        result = operations.DeleteVolume(info.handle);
        if (result.isError()) {
            ++failures;
            PrintLine("Unable to delete volume " + volume.getName());
            result.setType(1);
        }
    }
}

void ManageTask::resetDisks(Error& result, uint32_t& failures) {
    std::vector<EndDevice> disks;
    result = session.GetEndDevices(disks, "");
    if (result.isError()) {
        ++failures;
        return;
    }
    PrintLine("Resetting Disks...");
    // The members of the system volume's array carry the system as the system disk does: kept.
    std::vector<uint32_t> systemArrays;
    std::vector<Volume> volumes;
    if (!session.GetVolumes(volumes, "").isError())
        for (const Volume& volume : volumes)
            if (volume.getInfo().systemVolume)
                systemArrays.push_back(volume.getInfo().arrayHandle);
    ManageOperations operations(session);
    for (const EndDevice& disk : disks) {
        const _UVI_EndDeviceInfo& info = disk.getInfo();
        if (info.endDeviceHandle == 0 || info.systemDisk)
            continue;
        if (info.arrayHandle != 0 &&
            std::find(systemArrays.begin(), systemArrays.end(), info.arrayHandle) != systemArrays.end())
            continue;
        if (info.usage == 2) // pass-through: no metadata
            continue;
        const bool spare = info.usage == 4;
        result = spare ? operations.UnmarkSpare(info.endDeviceHandle)
                       : operations.ClearMetadata(info.endDeviceHandle);
        if (result.isError()) {
            ++failures;
            PrintLine(
                (spare ? "Unable to clear metadata for spare disk " : "Unable to clear metadata for disk ") +
                disk.getId());
            result.setType(1);
        }
    }
}

} // namespace MOX
