#pragma once
// The modes of the command line: one row per mode binds its descriptor to the factory of its task.
#include <unordered_map>

#include "cli/ITaskFactory.h"
#include "cli/OptionDescriptor.h"

namespace MOX {

using ModeFactoryMap = std::unordered_map<OptionDescriptor, ITaskFactory*, OptionDescriptorHash>;

// Each mode to its factory, made from the mode table's rows in the descriptors' order on first use;
// the factories live until the process ends.
const ModeFactoryMap& ModeFactories();

} // namespace MOX
