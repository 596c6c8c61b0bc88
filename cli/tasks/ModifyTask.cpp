#include "cli/tasks/ModifyTask.h"

#include "cli/Options.h"

namespace MOX {

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

std::unique_ptr<ITask> ModifyTaskFactory::createTask(CommandParser&) {
    ThrowModeNotAvailable(Options().modify);
}

} // namespace MOX
