#include "cli/tasks/HalvexMemoryTask.h"

#include "cli/CommandParser.h"
#include "cli/Options.h"
#include "cli/tasks/AccelerateTask.h"
#include "middleware/accelerate/UVIAccelerateAction.h"

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
    for (const OptionDescriptor* option :
         {&o.enable, &o.start, &o.disable, &o.progress, &o.info, &o.clearCache})
        actionOptions.insert(*option);
}

std::unique_ptr<ITask> HalvexMemoryTaskFactory::createTask(CommandParser& parser) {
    const OptionTable& o = Options();
    Error result;
    auto task = std::make_unique<AccelerateTask>(std::make_shared<ConsolePrinter>());
    auto given = [&](const OptionDescriptor& option) { return parser.getOption(option); };
    auto effective = [&](const OptionDescriptor& first, const OptionDescriptor& second) {
        const ParsedOption chosen = given(first);
        return chosen.isSet ? chosen : given(second);
    };

    int setCount = 0;
    for (const OptionDescriptor& option : actionOptions)
        if (given(option).isSet)
            ++setCount;
    if (setCount > 1)
        result.set(2, "Too many sub options set.\nFor complete USAGE and HELP, type: moxcli --help");
    else if (setCount == 0)
        result.set(2, "Too few HalvexMemory options.\nFor complete USAGE and HELP, type: moxcli --help");
    if (result.isError())
        throw MoxErrorException(result);

    const ParsedOption fileCacheSize = effective(o.fileCacheSize, o.migrationSize);
    const ParsedOption fileCacheOffset = effective(o.fileCacheOffset, o.migrationStart);
    const ParsedOption cacheVolumeSize = effective(o.blockCacheSize, o.cacheSize);
    const ParsedOption driveToAccel = effective(o.diskToAccel, o.driveToAccel);
    const ParsedOption fastDrive = given(o.fastDrive);

    if (given(o.wait).isSet)
        task->waitForCompletion = true;
    if (fastDrive.isSet)
        task->fastDriveId = fastDrive.value();
    if (driveToAccel.isSet)
        task->accelDriveId = driveToAccel.value();
    if (fileCacheSize.isSet)
        task->fileCacheSizeMb = static_cast<int32_t>(fileCacheSize.intValue() * 1024.0); // GB to MB
    if (fileCacheOffset.isSet)
        task->fileCacheOffset = fileCacheOffset.intValue();

    if (cacheVolumeSize.isSet)
        TakeCacheSize(cacheVolumeSize.intValue(), true, *task, result);

    if (!result.isError()) {
        if (given(o.info).isSet) {
            task->addAction(given(o.verbose).isSet ? AccelerateTask::HALVEX_INFO_VERBOSE
                                                   : AccelerateTask::HALVEX_INFO);
        } else if (given(o.enable).isSet) {
            if (fastDrive.isSet != driveToAccel.isSet)
                result.set(2,
                           "Usage: --HalvexMemory --enable --fast-drive <diskId> --drive-to-accel <diskId>");
            task->addAction(AccelerateTask::HALVEX_ENABLE);
        } else if (given(o.start).isSet) {
            task->addAction(AccelerateTask::HALVEX_START_TOOLS);
        } else if (given(o.disable).isSet) {
            task->addAction(AccelerateTask::HALVEX_DISABLE);
        } else if (given(o.progress).isSet) {
            task->addAction(AccelerateTask::HALVEX_PROGRESS);
        } else if (given(o.clearCache).isSet) {
            task->addAction(AccelerateTask::HALVEX_CLEAR_CACHE);
        } else {
            result.set(2, "HalvexMemory parameters are incorrect or missing");
        }
    }
    if (!result.isError() && task->getActions().empty())
        result.set(2, "Subtask for accelerate switch not found.");
    if (result.isError())
        throw MoxErrorException(result);
    return task;
}

} // namespace MOX
