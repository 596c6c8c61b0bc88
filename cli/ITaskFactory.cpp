#include "cli/ITaskFactory.h"

#include <stdexcept>

namespace MOX {

ITaskFactory::ITaskFactory() : usageTexts{{0, "\n"}, {1, "\n"}}, exampleTexts{{0, "\n"}, {1, "\n"}} {}

void ThrowModeNotAvailable(const OptionDescriptor& mode) {
    throw std::runtime_error("The --" + mode.longName + " mode is not available in this version of moxcli.");
}

} // namespace MOX
