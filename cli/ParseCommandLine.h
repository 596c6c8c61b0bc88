#pragma once
// Registering the options the command line offers and parsing the arguments into a result record.
#include <cstdint>
#include <vector>

#include "cli/CommandParser.h"
#include "cli/Error.h"

namespace MOX {

// Appends every descriptor of the set whose help level is at least `level`.
void CopyOptionsOfLevel(const OptionDescriptorSet& set, int32_t level, std::vector<OptionDescriptor>& list);

// Registers the modes, then the other options, of help level 1 or more and parses. A bad command line
// gives return code 2 with the parser's text and "Failed to parse command parameters.".
Error ParseCommandLine(int argc, const char* const argv[], CommandParser& parser);

} // namespace MOX
