#include "cli/tasks/CreateTask.h"

#include <cstring>

#include "cli/CommandParser.h"
#include "cli/ConsoleOutput.h"
#include "cli/Options.h"
#include "cli/access/VolumeConfigOperations.h"
#include "middleware/api/UviEndDeviceRecords.h"

namespace MOX {

namespace {

[[noreturn]] void ThrowUsage(int32_t type, std::string detail) {
    Error usage;
    usage.set(type, std::move(detail));
    throw MoxErrorException(usage);
}

constexpr size_t kMaxVolumeName = 16;

// Usages of a disk that is a member of an array.
bool IsArrayMemberUsage(uint32_t usage) {
    return usage == UVI_DISK_USAGE_ARRAY_MEMBER || usage == UVI_DISK_USAGE_OFFLINE_ARRAY ||
           usage == UVI_DISK_USAGE_ARRAY_MEMBER_READ_ONLY;
}

} // namespace

CreateTaskFactory::CreateTaskFactory() {
    usageTexts[0] = "\n    --create --level x [--size y] [--stripe-size z] --name string \n    "
                    "[--create-from-existing diskId] diskId {[diskId]}\n";
    exampleTexts[0] =
        "\n    -C -l 1 -n Volume 0-1-0-0 0-2-0-0\n    --create -l 0 -z 5 --name RAID0Volume 0-3-0-0 0-4-0-0 "
        "0-5-0-0\n    -C -l 1 -E 0-1-0-0 -n VolumeWithData 0-2-0-0\n    --create --help\n";
    const OptionTable& o = Options();
    for (const OptionDescriptor* option :
         {&o.create, &o.createFromExisting, &o.level, &o.name, &o.stripeSize, &o.size})
        allowedOptions.insert(*option);
}

std::unique_ptr<ITask> CreateTaskFactory::createTask(CommandParser& parser) {
    const OptionTable& o = Options();
    auto task = std::make_unique<CreateTask>();
    const ParsedOption& level = parser.getOption(o.level.longName);
    const ParsedOption& name = parser.getOption(o.name.longName);
    if (!level.isSet || !name.isSet)
        ThrowUsage(2, "Create command was missing required options.");
    // Every look-up below names a member disk; a command without one has nothing to create.
    if (parser.getPositionalArgs().empty())
        ThrowUsage(2, "Create command was missing required options.");

    const uint32_t levelCode = RaidLevelCodeOfNumber(level.intValue());
    if (levelCode == 0)
        ThrowUsage(24, "Cannot create a volume.");
    task->setRaidLevel(levelCode);

    Error named = task->setName(name.value());
    if (named.isError())
        throw MoxErrorException(named);

    const ParsedOption& stripe = parser.getOption(o.stripeSize.longName);
    if (stripe.isSet) {
        const uint32_t stripCode = StripSizeCodeOfKb(stripe.intValue());
        if (stripCode == 0)
            ThrowUsage(20, "Cannot create a volume. Stripe Size invalid.");
        task->setStripSize(stripCode);
    }

    const ParsedOption& size = parser.getOption(o.size.longName);
    if (size.isSet) {
        const int32_t gigabytes = size.intValue();
        // A negative size would widen to a byte count of many exabytes.
        if (gigabytes < 0)
            ThrowUsage(2, "Cannot create a volume. Size invalid.");
        task->setSizeInBytes(static_cast<uint64_t>(gigabytes) << 30);
    }

    const ParsedOption& source = parser.getOption(o.createFromExisting.longName);
    if (source.isSet) {
        Error found = task->setSourceDisk(source.value());
        if (found.isError())
            throw MoxErrorException(found);
    }

    task->accept();
    task->setDiskIds(parser.getPositionalArgs());
    return task;
}

CreateTask::CreateTask() = default;

CreateTask::~CreateTask() {
    session.CloseSessionQuietly();
}

Error CreateTask::setName(const std::string& name) {
    Error result;
    if (name.empty()) {
        result.set(2, "--create --level x [--size y] [--stripe-size z] --name string");
        return result;
    }
    if (name.size() > kMaxVolumeName) {
        result.set(21, "Cannot create a volume.");
        return result;
    }
    std::memset(params.name, 0, sizeof(params.name));
    std::memcpy(params.name, name.data(), name.size());
    return result;
}

Error CreateTask::setSourceDisk(const std::string& id) {
    EndDevice view;
    Error result = FirstEndDevice(session, id, view);
    if (!result.isError() && view.getId() == id)
        params.sourceDiskHandle = view.getHandle();
    return result;
}

Error CreateTask::setDiskIds(std::vector<std::string> ids) {
    diskIds = std::move(ids);
    return Error();
}

Error CreateTask::run() {
    if (subTask != 0) {
        Error result;
        result.set(1, "Unrecognized subtask of Create task");
        return result;
    }
    return createVolume();
}

Error CreateTask::createVolume() {
    Error result;
    std::vector<EndDevice> devices;

    if (params.sourceDiskHandle != 0) {
        EndDevice source;
        result = session.GetEndDeviceByHandle(source, params.sourceDiskHandle);
        if (result.isError()) {
            result.addDetail("Could not find a source disk specified.");
            return result;
        }
        devices.push_back(source);
    }

    EndDevice first;
    result = FirstEndDevice(session, diskIds.front(), first);
    if (result.isError())
        return result;
    const uint32_t diskType = first.getDiskType();

    for (const std::string& id : diskIds) {
        EndDevice view;
        result = FirstEndDevice(session, id, view);
        if (result.isError()) {
            result.addDetail("Could not find a disk(s) specified.");
            return result;
        }
        if (view.getDiskType() != diskType) {
            result.set(2, "Could not create volume using mixed disk configuration.");
            return result;
        }
        devices.push_back(view);
    }

    size_t arrayMembers = 0;
    for (const EndDevice& device : devices)
        if (IsArrayMemberUsage(device.getUsage()))
            ++arrayMembers;

    _UVI_RaidLevelInfo limits{};
    result = session.GetRaidLevelInfo(devices.front().getInfo().raidInfoHandle, params.raidLevel, limits);
    if (result.isError())
        return result;
    if (!limits.supported) {
        result.set(24, "Cannot create a volume. Volume level you have specified is not supported.");
        return result;
    }

    bool defaultStrip = false;
    if (params.stripSize != 0) {
        if ((limits.stripMask & params.stripSize) != params.stripSize) {
            result.set(20, "Cannot create a volume. Stripe size you have specified is not supported.");
            return result;
        }
    } else {
        bool allSsd = true;
        for (const EndDevice& device : devices) {
            _UVI_EndDeviceInfo record{};
            result = session.GetEndDeviceInfo(record, device.getHandle());
            if (result.isError())
                return result;
            allSsd = allSsd && record.solidState != 0;
        }
        defaultStrip = true;
        params.stripSize = DefaultStripSize(limits, allSsd, devices.size());
    }

    const size_t count = devices.size();
    if (count < limits.minDisks)
        result.set(23, "Cannot create a volume. Does not meet minimum number of disks required for this raid "
                       "level.");
    if (count > MaxDisksForStrip(limits, defaultStrip))
        result.set(23, "Cannot create a volume. Does not meet maximum number of disks supported by this raid "
                       "level.");
    if (result.isError())
        return result;

    if (arrayMembers == count) {
        if (params.sourceDiskHandle != 0) {
            result.set(1, "Cannot create a volume from array using source disk");
            return result;
        }
        const uint32_t arrayHandle = devices.front().getInfo().arrayHandle;
        for (const EndDevice& device : devices) {
            if (device.getInfo().arrayHandle != arrayHandle) {
                result.set(1, "Cannot create a volume. Disks are not in a same array.");
                return result;
            }
        }
        _UVI_ArrayInfo array{};
        result = session.GetArrayInfo(array, arrayHandle);
        if (result.isError())
            return result;
        if (array.availableSizeInBytes == 0 || array.availableSizeInBytes < params.sizeInBytes) {
            result.set(1, "Cannot create a volume. There are not enough space to create a volume.");
            return result;
        }
        if (array.numDisks != count) {
            result.set(1, "Cannot create a volume. Number of disks in Array does not match number of disks "
                          "specified.");
            return result;
        }
        _UVI_VolumeCreateParams onArray{};
        onArray.arrayHandle = arrayHandle;
        std::memcpy(onArray.name, params.name, sizeof(params.name));
        onArray.stripSize = params.stripSize;
        onArray.raidLevel = params.raidLevel;
        onArray.sizeInBytes = params.sizeInBytes;
        result = CreateVolumeOnArray(onArray);
        if (result.isError())
            result.addDetail("Cannot create a volume on an existing array.");
    } else if (arrayMembers != 0) {
        result.set(1, "Cannot create a volume. Disks span an existing array.");
        return result;
    } else {
        std::vector<uint32_t> handles;
        for (const EndDevice& device : devices)
            handles.push_back(device.getHandle());
        params.diskHandles = handles.data();
        params.diskCount = static_cast<uint32_t>(handles.size());
        // The system disk's data survives in the new volume.
        if (params.sourceDiskHandle == 0) {
            for (const EndDevice& device : devices) {
                if (device.isSystemDisk()) {
                    params.sourceDiskHandle = device.getHandle();
                    break;
                }
            }
        }
        result = CreateVolumeFromDisks(params);
        params.diskHandles = nullptr;
        if (result.isError())
            result.addDetail("Cannot create a new volume given disk(s).");
    }

    if (!result.isError()) {
        PrintLine("--CREATE VOLUME--");
        PrintLine("Creating Volume " + std::string(params.name, strnlen(params.name, 16)));
    }
    return result;
}

} // namespace MOX
