#include "cli/tasks/ManageTask.h"

#include "cli/Options.h"

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

std::unique_ptr<ITask> ManageTaskFactory::createTask(CommandParser&) {
    ThrowModeNotAvailable(Options().manage);
}

} // namespace MOX
