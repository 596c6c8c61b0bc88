#pragma once
// The command parser on Boost.Program_options.
#include <string>
#include <vector>

#include <boost/program_options.hpp>

#include "cli/CommandParser.h"

namespace MOX {

class BoostCommandParser : public CommandParser {
public:
    // The description's layout never reaches the user (the help is printed from the descriptors).
    BoostCommandParser(std::string caption, unsigned lineLength, unsigned minDescriptionLength);

    void registerOptions(const std::vector<OptionDescriptor>& descriptors) override;
    // Not repeatable: a second call would add the positional collector again.
    void parse(int argc, const char* const argv[]) override;
    const ParsedOption& getOption(const OptionDescriptor& descriptor) const override;
    const OptionDescriptorSet& getSetOptions() const override { return givenOptions_; }
    const std::vector<std::string>& getPositionalArgs() const override { return positionalArgs_; }
    using CommandParser::getOption;

    // allow_long | allow_short | allow_dash_for_short | long_allow_next | short_allow_next |
    // allow_long_disguise: no adjacent values, no sticky or guessed options, exact case.
    static constexpr int STYLE = 0x10A7;

private:
    std::string caption_;
    boost::program_options::options_description description_;
    boost::program_options::variables_map variables_;
    std::vector<ParsedOption> registered_;
    std::vector<std::string> positionalArgs_;
    OptionDescriptorSet givenOptions_;
};

} // namespace MOX
