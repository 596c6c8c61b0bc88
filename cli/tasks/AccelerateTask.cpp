#include "cli/tasks/AccelerateTask.h"

#include "cli/Options.h"

namespace MOX {

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
}

std::unique_ptr<ITask> AccelerateTaskFactory::createTask(CommandParser&) {
    ThrowModeNotAvailable(Options().accelerate);
}

} // namespace MOX
