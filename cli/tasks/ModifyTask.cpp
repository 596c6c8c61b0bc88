#include "cli/tasks/ModifyTask.h"

#include <stdexcept>

#include "cli/CommandParser.h"
#include "cli/ConsoleOutput.h"
#include "cli/Options.h"
#include "cli/access/ManageOperations.h"
#include "cli/access/VolumeConfigOperations.h"

namespace MOX {

namespace {

constexpr size_t kMaxVolumeName = 16;

Error Failure(int32_t type, std::string detail) {
    Error failure;
    failure.set(type, std::move(detail));
    return failure;
}

void ThrowIfFailed(const Error& result) {
    if (result.isError())
        throw MoxErrorException(result);
}

} // namespace

ModifyTaskFactory::ModifyTaskFactory() {
    usageTexts[0] =
        "\n    --modify --volume VolumeName --add diskId {[diskId]}\n    --modify --volume VolumeName "
        "--expand\n    --modify --volume VolumeName --level L [--add diskId {[diskId]}\n    [--stripe-size "
        "s] [--name N]\n    --modify --volume VolumeName --name n\n";
    exampleTexts[0] = "\n    -m -v Volume_0000 -A 0-3-0-0 0-4-0-0\n    -m --volume ModifyVolume --level 5\n  "
                      "  --modify -v Volume -n RenameVolume\n    --modify --help\n";
    const OptionTable& o = Options();
    for (const OptionDescriptor* option :
         {&o.modify, &o.add, &o.expand, &o.level, &o.name, &o.stripeSize, &o.volume})
        allowedOptions.insert(*option);
}

std::unique_ptr<ITask> ModifyTaskFactory::createTask(CommandParser& parser) {
    const OptionTable& o = Options();
    const ParsedOption& volume = parser.getOption(o.volume.longName);
    if (!volume.isSet)
        throw std::runtime_error("INVALID_REQUEST missing volume parameter");
    if (volume.value().empty())
        throw std::runtime_error("INVALID_REQUEST missing volume name");

    auto task = std::make_unique<ModifyTask>();
    ThrowIfFailed(task->setVolume(volume.value()));

    const ParsedOption& level = parser.getOption(o.level.longName);
    const ParsedOption& name = parser.getOption(o.name.longName);
    const ParsedOption& add = parser.getOption(o.add.longName);
    const ParsedOption& expand = parser.getOption(o.expand.longName);
    if (level.isSet) {
        const ParsedOption& stripe = parser.getOption(o.stripeSize.longName);
        if (stripe.isSet) {
            const uint32_t code = StripSizeCodeOfKb(stripe.intValue());
            if (code == 0)
                ThrowIfFailed(Failure(20, "Cannot modify volume. Stripe Size invalid."));
            task->setStripSize(code);
        }
        if (name.isSet)
            ThrowIfFailed(task->setNewName(name.value()));
        // A migration adds the --add disk alone; positional words are not taken in this form.
        if (add.isSet)
            task->setDisksToAdd(add.value(), {});
        task->setMigration(RaidLevelCodeOfNumber(level.intValue()));
        return task;
    }

    if (int(name.isSet) + int(add.isSet) + int(expand.isSet) > 1)
        ThrowIfFailed(Failure(2, "Valid options for modifying a volume: --add, --expand --level. Only one "
                                 "option at a time."));
    if (add.isSet)
        task->setDisksToAdd(add.value(), parser.getPositionalArgs());
    else if (expand.isSet)
        task->setExpand();
    else if (name.isSet)
        ThrowIfFailed(task->setNewName(name.value()));
    return task;
}

ModifyTask::~ModifyTask() {
    session.CloseSessionQuietly();
}

Error ModifyTask::setVolume(const std::string& name) {
    std::vector<Volume> views;
    Error result = session.GetVolumes(views, name);
    if (result.isError())
        return result;
    if (!FirstNamed(views, name))
        return Failure(3, "ERROR: Volume " + name + " not found.");
    volumeName = name;
    return result;
}

Error ModifyTask::setNewName(const std::string& name) {
    Error result;
    if (name.size() > kMaxVolumeName)
        result.set(21, "Cannot modify a volume.");
    else
        newName = name;
    action = RENAME;
    renameRequested = true;
    return result;
}

void ModifyTask::setDisksToAdd(const std::string& first, const std::vector<std::string>& further) {
    diskIds.push_back(first);
    diskIds.insert(diskIds.end(), further.begin(), further.end());
    action = ADD_DISKS;
    addDisksGiven = true;
}

void ModifyTask::setStripSize(uint32_t code) {
    stripSize = code;
    modifyParams.stripSize = code;
    stripSizeGiven = true;
}

Error ModifyTask::resolveDisksToAdd() {
    addHandles.assign(diskIds.size(), 0);
    modifyParams.diskCount = static_cast<uint32_t>(diskIds.size());
    for (size_t i = 0; i < diskIds.size(); ++i) {
        EndDevice view;
        Error found = FirstEndDevice(session, diskIds[i], view);
        if (found.isError()) {
            found.addDetail("Could not find a disk(s) specified.");
            return found;
        }
        addHandles[i] = view.getHandle();
    }
    return Error();
}

Error ModifyTask::run() {
    Error result = session.OpenSession();
    if (result.isError())
        return result;
    switch (action) {
    case ADD_DISKS:
        result = addDisks();
        break;
    case EXPAND:
        result = expand();
        break;
    case MIGRATE:
        result = migrate();
        break;
    case RENAME:
        result = rename();
        break;
    default:
        result = Error(2);
        break;
    }
    if (!result.isError()) {
        PrintLine("--MODIFY VOLUME--");
        PrintLine("Modifying Volume " + volumeName + ".");
    }
    addHandles.clear();
    modifyParams.diskHandles = nullptr;
    modifyParams.diskCount = 0;
    session.CloseSession();
    return result;
}

Error ModifyTask::addDisks() {
    Error result = resolveDisksToAdd();
    if (result.isError())
        return result;
    _UVI_VolumeInfo volume{};
    result = FirstVolume(session, volumeName, volume);
    if (result.isError()) {
        result.set(3, "ERROR: Volume " + volumeName + " not found.");
        return result;
    }
    _UVI_EndDeviceInfo disk{};
    result = session.GetEndDeviceInfo(disk, addHandles.front());
    if (result.isError())
        return result;
    _UVI_RaidLevelInfo limits{};
    result = session.GetRaidLevelInfo(disk.raidInfoHandle, volume.raidLevel, limits);
    if (result.isError())
        return result;
    if (volume.numDisks + addHandles.size() > limits.maxDisks)
        return Failure(23, "Cannot modify a volume. Does not meet maximum number of disks supported by this "
                           "raid level.");
    result = AddDisksToArray(volume.arrayHandle, addHandles);
    if (result.isError())
        result.addDetail("Cannot add disk(s) to the volume indicated.");
    return result;
}

Error ModifyTask::expand() {
    _UVI_VolumeInfo volume{};
    Error result = FirstVolume(session, volumeName, volume);
    if (result.isError())
        return result;
    result = ExpandVolume(volume.handle);
    if (result.isError())
        result.addDetail("Cannot expand a volume specified.");
    return result;
}

Error ModifyTask::rename() {
    _UVI_VolumeInfo volume{};
    Error result = FirstVolume(session, volumeName, volume);
    if (result.isError())
        return result;
    result = RenameVolume(volume.handle, newName);
    if (result.isError())
        result.addDetail("Cannot rename a volume specified.");
    return result;
}

Error ModifyTask::checkMigration(const _UVI_VolumeInfo& volume) {
    _UVI_ArrayInfo array{};
    Error result = session.GetArrayInfo(array, volume.arrayHandle);
    if (result.isError())
        return result;

    // The limits of the target level on the controller of the array's first disk.
    std::vector<_UVI_EndDeviceInfo> arrayDisks;
    _UVI_RaidLevelInfo target{};
    uint32_t raidInfoHandle = 0;
    Error limits = session.FindEndDevicesOfArray(arrayDisks, RecordText(array.name));
    if (!limits.isError() && !arrayDisks.empty()) {
        raidInfoHandle = arrayDisks.front().raidInfoHandle;
        limits = session.GetRaidLevelInfo(raidInfoHandle, raidLevel, target);
    }
    if (limits.isError() || arrayDisks.empty()) {
        limits.set(1, "Could not get RAID level info");
        return limits;
    }

    std::vector<EndDevice> members;
    result = session.GetVolumeEndDevices(members, volumeName);
    if (result.isError()) {
        result.addDetail("Could not get volume disks.");
        return result;
    }
    bool allSsd = true;
    for (const EndDevice& member : members) {
        _UVI_EndDeviceInfo record{};
        if (session.GetEndDeviceInfo(record, member.getHandle()).isError())
            return Failure(1, "Could not get end device info.");
        allSsd = allSsd && record.solidState != 0;
    }
    if (addDisksGiven) {
        result = resolveDisksToAdd();
        if (result.isError())
            return result;
        for (size_t i = 0; allSsd && i < addHandles.size(); ++i) {
            _UVI_EndDeviceInfo record{};
            if (session.GetEndDeviceInfo(record, addHandles[i]).isError())
                return Failure(1, "Could not get end device info.");
            allSsd = record.solidState != 0;
        }
    }

    const size_t total = members.size() + addHandles.size();
    modifyParams.stripSize = DefaultStripSize(target, allSsd, total);
    modifyParams.raidLevel = raidLevel;
    modifyParams.unused = addHandles.empty() ? volume.sizeInBytes : 0;
    modifyParams.diskHandles = addHandles.empty() ? nullptr : addHandles.data();
    modifyParams.diskCount = static_cast<uint32_t>(addHandles.size());
    if (stripSizeGiven)
        modifyParams.stripSize = stripSize;

    if (stripSizeGiven && (target.stripMask & stripSize) != stripSize)
        result.set(20,
                   "Cannot modify a volume. Stripe size you have specified is not supported for this raid "
                   "level.");
    if (total < target.minDisks)
        result.set(23, "Cannot modify a volume. Does not meet minimum number of disks required for this raid "
                       "level.");
    else if (total > MaxDisksForStrip(target, !stripSizeGiven))
        result.set(23, "Cannot modify a volume. Does not meet maximum number of disks supported by this raid "
                       "level.");
    if (result.isError())
        return result;

    _UVI_RaidLevelInfo current{};
    result = session.GetRaidLevelInfo(raidInfoHandle, volume.raidLevel, current);
    if (result.isError())
        return result;
    if ((current.migrationMask & raidLevel) == 0)
        return Failure(24, "Cannot modify a volume. Does not support migrating to this raid level.");
    return result;
}

Error ModifyTask::migrate() {
    if (raidLevel == 0)
        return Failure(24, "Cannot modify volume. Raid level invalid.");
    _UVI_VolumeInfo volume{};
    Error result = FirstVolume(session, volumeName, volume);
    if (result.isError())
        return result;
    // Every check is made before the rename, so a refused migration leaves the volume as it was.
    result = checkMigration(volume);
    if (result.isError())
        return result;

    if (renameRequested) {
        result = RenameVolume(volume.handle, newName);
        if (result.isError()) {
            result.addDetail("Cannot rename a volume specified.");
            return result;
        }
        PrintLine("--MODIFY VOLUME--");
        PrintLine("Volume " + volumeName + "has been renamed to " + newName + ".");
        result.merge(session.CloseSession());
        if (result.isError()) {
            result.addDetail("Could not close the session.");
            return result;
        }
        result.merge(session.OpenSession());
        if (result.isError()) {
            result.addDetail("Could not re-open the session.");
            return result;
        }
        session.ForgetGathered();
        result = FirstVolume(session, newName, volume);
        if (result.isError())
            return result;
    }

    result = ModifyRaidLevel(volume.handle, modifyParams);
    if (result.isError())
        result.addDetail("Cannot modify volume.");
    return result;
}

} // namespace MOX
