#include "cli/tasks/HalvexMemoryTask.h"

#include "cli/Options.h"

namespace MOX {

HalvexMemoryTaskFactory::HalvexMemoryTaskFactory() {
    usageTexts[0] =
        "\n    --HalvexMemory --enable\n                  [--file-cache-offset <starting LBA>]\n    "
        "--HalvexMemory --enable --fast-drive <driveId> --drive-to-accel <driveId>\n                  "
        "[--file-cache-offset <starting LBA>]\n    --HalvexMemory --disable\n    --HalvexMemory --progress\n "
        "   --HalvexMemory --clear-cache\n    --HalvexMemory --info <--verbose>\n";
    usageTexts[1] = "\n    --HalvexMemory --enable [--fast-drive <driveId> --drive-to-accel <driveId>]\n    "
                    "--HalvexMemory --disable\n    --HalvexMemory --progress\n    --HalvexMemory --info\n";
    exampleTexts[0] =
        "\n    --HalvexMemory --enable\n    --HalvexMemory --enable --fast-drive 0-3-0-0 --drive-to-accel "
        "0-5-0-0\n    --HalvexMemory --enable --fast-drive 0-3-0-0 --drive-to-accel 0-5-0-0 "
        "--file-cache-offset 468000\n    --HalvexMemory --disable\n    --HalvexMemory --clear-cache\n    "
        "--HalvexMemory --info --verbose\n    --HalvexMemory --help\n";
    exampleTexts[1] =
        "\n    --HalvexMemory --enable\n    --HalvexMemory --enable --fast-drive 0-3-0-0 --drive-to-accel "
        "0-5-0-0\n    --HalvexMemory --disable\n    --HalvexMemory --help\n    --HalvexMemory --info\n";
    const OptionTable& o = Options();
    for (const OptionDescriptor* option :
         {&o.halvexMemory, &o.enable, &o.start, &o.disable, &o.progress, &o.info, &o.clearCache,
          &o.fileCacheSize, &o.migrationSize, &o.fileCacheOffset, &o.migrationStart, &o.blockCacheSize,
          &o.cacheSize, &o.diskToAccel, &o.driveToAccel, &o.wait, &o.fastDrive, &o.verbose})
        allowedOptions.insert(*option);
}

std::unique_ptr<ITask> HalvexMemoryTaskFactory::createTask(CommandParser&) {
    ThrowModeNotAvailable(Options().halvexMemory);
}

} // namespace MOX
