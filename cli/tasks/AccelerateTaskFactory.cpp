#include "cli/tasks/AccelerateTaskFactory.h"

#include <memory>
#include <sstream>

#include "cli/CommandParser.h"
#include "cli/Options.h"
#include "cli/tasks/AccelerateTask.h"
#include "middleware/accelerate/UVIAccelerateAction.h"

namespace MOX {

const std::string TRUE_TEXT = "TRUE";
const std::string FALSE_TEXT = "FALSE";

const char* const WYN_END_OF_LIFE_TEXT = "WYN is not supported in this version of the MOX Driver. Note: "
                                         "Booting from previously existing WYN volumes is allowed.";

AccelerateTaskFactory::AccelerateTaskFactory() {
    usageTexts[0] =
        "\n    --accelerate --setAccelConfig|--disassociate|\n                 "
        "--reset-to-available|--accel-info\n    --accelerate --setAccelConfig --drive-to-accel <driveId> | "
        "\n                 --volume-to-accel <volume name>  --mode off\n    --accelerate --disassociate "
        "--cache-volume <volume name>\n    --accelerate --reset-to-available --cache-volume <volume name>\n  "
        "  --accelerate --loadCache <path\\filename(s)> --recurse\n   Common information options\n    "
        "--accelerate --accel-info\n    --accelerate --stats\n";
    exampleTexts[0] =
        "\n    --accelerate --setAccelConfig --drive-to-accel 0-5-0-0 --mode off\n    --accelerate "
        "--setAccelConfig --volume-to-accel MyVolume --mode off\n    --accelerate --disassociate "
        "--cache-volume Cache_Volume\n    --accelerate --reset-to-available --cache-volume Cache_Volume\n\n  "
        "  --accelerate --loadCache \"C:\\*\" --recurse\n    --accelerate --loadCache \"C:\\Windows\\*\" "
        "--recurse -q\n\n    --accelerate --accel-info\n    --accelerate --stats\n    --accelerate --help\n";
    const OptionTable& o = Options();
    for (const OptionDescriptor* option :
         {&o.accelerate,   &o.createCache, &o.setAccelConfig, &o.disassociate,
          &o.ssd,          &o.fastDrive,   &o.volumeToAccel,  &o.diskToAccel,
          &o.driveToAccel, &o.mode,        &o.cacheSize,      &o.resetToAvailable,
          &o.cacheVolume,  &o.accelInfo,   &o.loadCache,      &o.recurse,
          &o.stats,        &o.dumpStats,   &o.clearStats,     &o.wait})
        allowedOptions.insert(*option);
    for (const OptionDescriptor* option : {&o.createCache, &o.setAccelConfig, &o.disassociate,
                                           &o.resetToAvailable, &o.accelInfo, &o.loadCache, &o.stats})
        actionOptions.push_back(*option);
}

namespace {

double BytesToGb(uint64_t bytes) {
    return static_cast<double>(bytes) * (1.0 / 1024) * (1.0 / 1024) * (1.0 / 1024);
}

} // namespace

void TakeCacheSize(double sizeGb, bool pairing, AccelerateTask& task, Error& result) {
    const double min = BytesToGb(UVIAccelerateAction::getMinCacheSize(pairing));
    const double max = BytesToGb(UVIAccelerateAction::getMaxCacheSize(pairing));
    std::ostringstream bounds;
    bounds << "Cache size cannot be less than " << min << " GB or more than the disk size up to " << max
           << " GB.";
    if (sizeGb < min || sizeGb > max)
        result.set(42, bounds.str());
    else
        task.blockCacheSizeGb = sizeGb;
}

std::unique_ptr<ITask> AccelerateTaskFactory::createTask(CommandParser& parser) {
    const OptionTable& o = Options();
    Error result;
    auto task = std::make_unique<AccelerateTask>(std::make_shared<ConsolePrinter>());
    auto given = [&](const OptionDescriptor& option) { return parser.getOption(option); };

    int setCount = 0;
    for (const OptionDescriptor& option : actionOptions)
        if (given(option).isSet)
            ++setCount;
    if (setCount > 1) {
        result.set(2, "Too many sub options set. See Accelerate task help for mor information.");
        throw MoxErrorException(result);
    }

    const ParsedOption disk = given(o.diskToAccel).isSet ? given(o.diskToAccel) : given(o.driveToAccel);

    if (const ParsedOption cacheSize = given(o.cacheSize); cacheSize.isSet) {
        TakeCacheSize(cacheSize.intValue(), false, *task, result);
        if (result.isError())
            throw MoxErrorException(result);
    }

    if (given(o.createCache).isSet) {
        result.set(1, WYN_END_OF_LIFE_TEXT);
    } else if (given(o.setAccelConfig).isSet) {
        if (given(o.wait).isSet)
            task->waitForCompletion = true;
        const ParsedOption volume = given(o.volumeToAccel);
        const ParsedOption mode = given(o.mode);
        if ((!volume.isSet && !disk.isSet) || !mode.isSet) {
            result.set(42,
                       "Usage: --accelerate --setAccelConfig --volume-to-accel volName or --drive-to-accel "
                       "driveId --mode off");
            result.addDetail(WYN_END_OF_LIFE_TEXT);
        } else if (volume.isSet && disk.isSet) {
            result.set(2, "Only Drive or Volume mode can be changed");
        } else if (mode.value() != "off") {
            // Switching acceleration on is refused as a failure; a word that names no mode is a bad
            // parameter.
            const bool onMode = mode.value() == "enhanced" || mode.value() == "maximized";
            result.set(onMode ? 1 : 42, "Usage: --accelerate --setAccelConfig --volume-to-accel volName or "
                                        "--drive-to-accel <driveId> --mode off");
            result.addDetail(WYN_END_OF_LIFE_TEXT);
        }
        if (!result.isError()) {
            if (volume.isSet)
                task->addAction(AccelerateTask::CONFIGURE_VOLUME_ACCELERATION, volume.value(), mode.value());
            else
                task->addAction(AccelerateTask::CONFIGURE_DISK_ACCELERATION, disk.value(), mode.value());
        }
    } else if (given(o.disassociate).isSet) {
        if (const ParsedOption cacheVolume = given(o.cacheVolume); cacheVolume.isSet)
            task->addAction(AccelerateTask::DISASSOCIATE, cacheVolume.value());
        else
            result.set(2, "Usage: --accelerate --disassociate --cache-volume [volume_name]");
    } else if (given(o.resetToAvailable).isSet) {
        if (const ParsedOption cacheVolume = given(o.cacheVolume); cacheVolume.isSet)
            task->addAction(AccelerateTask::RESET_TO_AVAILABLE, cacheVolume.value());
        else
            result.set(2, "Usage: --accelerate --reset-to-available --cache-volume [volume_name]");
    } else if (given(o.accelInfo).isSet) {
        task->addAction(AccelerateTask::ACCELERATION_INFO);
    } else if (const ParsedOption loadCache = given(o.loadCache); loadCache.isSet) {
        task->addLoadCacheAction({given(o.quiet).isSet ? TRUE_TEXT : FALSE_TEXT,
                                  given(o.recurse).isSet ? TRUE_TEXT : FALSE_TEXT, loadCache.value()});
    } else if (given(o.stats).isSet) {
        task->addAction(AccelerateTask::STATS);
    } else if (given(o.dumpStats).isSet) {
        task->addAction(AccelerateTask::DUMP_STATS);
    } else if (given(o.clearStats).isSet) {
        task->addAction(AccelerateTask::CLEAR_STATS);
    } else {
        result.set(2, "Accelerate parameters are incorrect or missing");
    }
    if (result.isError())
        throw MoxErrorException(result);
    return task;
}

} // namespace MOX
