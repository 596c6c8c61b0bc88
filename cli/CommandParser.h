#pragma once
// The parsed command line: one record per registered option, the set of given options and the
// positional arguments. Everything after parsing reads options through here, never argv.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/OptionDescriptor.h"

namespace MOX {

struct ParsedOption {
    OptionDescriptor descriptor;
    std::string optionValue;
    bool isSet = false;

    std::string value() const { return optionValue; }
    // Converts like std::stoi in base 10: "12GB" gives 12; no leading digit throws
    // std::invalid_argument, a value outside int32 std::out_of_range.
    int32_t intValue() const;
};

// The record of every option that was not registered: not set, empty value.
const ParsedOption& EmptyParsedOption();

class CommandParser {
public:
    virtual void registerOptions(const std::vector<OptionDescriptor>& descriptors) = 0;
    // argv[0] is the program name. Every problem with the command line is thrown.
    virtual void parse(int argc, const char* const argv[]) = 0;
    // The earliest registered option with the descriptor's long name, or EmptyParsedOption().
    virtual const ParsedOption& getOption(const OptionDescriptor& descriptor) const = 0;
    virtual const OptionDescriptorSet& getSetOptions() const = 0;
    virtual const std::vector<std::string>& getPositionalArgs() const = 0;
    virtual ~CommandParser() = default;

    const ParsedOption& getOption(const std::string& longName) const;
};

} // namespace MOX
