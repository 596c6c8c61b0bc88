#include "cli/tasks/CreateTask.h"

#include "cli/Options.h"

namespace MOX {

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

std::unique_ptr<ITask> CreateTaskFactory::createTask(CommandParser&) {
    ThrowModeNotAvailable(Options().create);
}

} // namespace MOX
