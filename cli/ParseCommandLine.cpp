#include "cli/ParseCommandLine.h"

#include <exception>

#include "cli/Options.h"

namespace MOX {

void CopyOptionsOfLevel(const OptionDescriptorSet& set, int32_t level, std::vector<OptionDescriptor>& list) {
    for (const auto& descriptor : set)
        if (descriptor.helpLevel >= level)
            list.push_back(descriptor);
}

Error ParseCommandLine(int argc, const char* const argv[], CommandParser& parser) {
    Error result;
    try {
        std::vector<OptionDescriptor> options;
        CopyOptionsOfLevel(ModeOptions(), 1, options);
        CopyOptionsOfLevel(AllOptions(), 1, options);
        parser.registerOptions(options);
        parser.parse(argc, argv);
    } catch (const std::exception& e) {
        result.set(2, e.what());
        result.addDetail("Failed to parse command parameters.");
    }
    return result;
}

} // namespace MOX
