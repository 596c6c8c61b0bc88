#pragma once
// The base of every mode factory: the texts the help prints for the mode, by help level, and the
// options the mode accepts.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "cli/ITask.h"
#include "cli/OptionDescriptor.h"

namespace MOX {

class CommandParser;

class ITaskFactory {
public:
    // Every factory has a usage and an example text for help levels 0 and 1, a line break each until
    // the factory replaces it.
    ITaskFactory();
    ITaskFactory(const ITaskFactory&) = delete;
    ITaskFactory& operator=(const ITaskFactory&) = delete;

    // Builds the task from a successful parse; bad usage is thrown as MoxErrorException or another
    // std::exception.
    virtual std::unique_ptr<ITask> createTask(CommandParser& parser) = 0;
    virtual ~ITaskFactory() = default;

    std::unordered_map<int32_t, std::string> usageTexts;
    std::unordered_map<int32_t, std::string> exampleTexts;
    OptionDescriptorSet allowedOptions;
};

// A mode whose task is not part of this build yet fails its command with this exception's text.
[[noreturn]] void ThrowModeNotAvailable(const OptionDescriptor& mode);

} // namespace MOX
