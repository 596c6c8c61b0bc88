#pragma once
// The factory of the accelerate mode (SSD caching): one action of the acceleration task per command.
#include <string>
#include <vector>

#include "cli/Error.h"
#include "cli/ITaskFactory.h"

namespace MOX {

// The flag texts the factory puts into a load-cache action; the preloading compares their wide forms.
extern const std::string TRUE_TEXT;
extern const std::string FALSE_TEXT;

// SSD caching is at its end of life: the text every refused switch-on carries.
extern const char* const WYN_END_OF_LIFE_TEXT;

class AccelerateTask;

// Takes a cache size in GB into the task when it lies within the facade's bounds of the mode
// (pairing or SSD caching); otherwise sets return code 42 with the bounds text.
void TakeCacheSize(double sizeGb, bool pairing, AccelerateTask& task, Error& result);

class AccelerateTaskFactory : public ITaskFactory {
public:
    AccelerateTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;

    // At most one of these may be set; dumpStats and clear-stats select actions without counting.
    std::vector<OptionDescriptor> actionOptions;
};

} // namespace MOX
