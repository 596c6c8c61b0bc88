#include "cli/TaskFactory.h"

#include <stdexcept>
#include <vector>

#include "cli/CommandParser.h"
#include "cli/Options.h"
#include "cli/tasks/ModeTable.h"

namespace MOX {

std::unique_ptr<ITask> TaskFactory::createTask(CommandParser& parser) {
    std::vector<OptionDescriptor> given;
    for (const OptionDescriptor& mode : ModeOptions())
        if (parser.getOption(mode.longName).isSet)
            given.push_back(mode);
    if (given.empty())
        throw std::runtime_error("Not enough mode options provided");
    if (given.size() > 1)
        throw std::runtime_error("Too many mode options provided");
    const auto factory = ModeFactories().find(given.front());
    if (factory == ModeFactories().end() || factory->second == nullptr)
        throw std::runtime_error("Unknown mode option provided. Type --help for modes switches information.");
    return factory->second->createTask(parser);
}

} // namespace MOX
