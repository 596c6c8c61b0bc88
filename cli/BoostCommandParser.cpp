#include "cli/BoostCommandParser.h"

namespace po = boost::program_options;

namespace MOX {

namespace {

constexpr const char* kPositionalArgs = "positionalArgs";

static_assert(BoostCommandParser::STYLE ==
              (po::command_line_style::allow_long | po::command_line_style::allow_short |
               po::command_line_style::allow_dash_for_short | po::command_line_style::long_allow_next |
               po::command_line_style::short_allow_next | po::command_line_style::allow_long_disguise));

std::string LibraryName(const OptionDescriptor& d) {
    if (!d.longName.empty() && !d.shortName.empty())
        return d.longName + "," + d.shortName;
    return d.longName.empty() ? d.shortName : d.longName;
}

} // namespace

BoostCommandParser::BoostCommandParser(std::string caption, unsigned lineLength,
                                       unsigned minDescriptionLength)
    : caption_(std::move(caption)), description_(caption_, lineLength, minDescriptionLength) {}

void BoostCommandParser::registerOptions(const std::vector<OptionDescriptor>& descriptors) {
    for (const auto& d : descriptors) {
        const std::string name = LibraryName(d);
        switch (d.valueKind) {
        case OptionDescriptor::VALUE_REQUIRED:
            description_.add_options()(name.c_str(), po::value<std::string>()->value_name(d.valueName),
                                       d.description.c_str());
            break;
        case OptionDescriptor::VALUE_OPTIONAL:
            description_.add_options()(name.c_str(),
                                       po::value<std::string>()->value_name(d.valueName)->implicit_value(""),
                                       d.description.c_str());
            break;
        default:
            description_.add_options()(name.c_str(), d.description.c_str());
            break;
        }
        registered_.push_back(ParsedOption{d, {}, false});
    }
}

void BoostCommandParser::parse(int argc, const char* const argv[]) {
    description_.add_options()(kPositionalArgs, po::value<std::vector<std::string>>()->value_name("disks"),
                               "Positional arguments");
    po::positional_options_description positional;
    positional.add(kPositionalArgs, -1);

    const int count = argc > 0 ? argc - 1 : 0;
    const char* const* first = argc > 0 ? argv + 1 : argv;
    std::vector<std::string> args(first, first + count);
    auto parsed =
        po::command_line_parser(args).options(description_).positional(positional).style(STYLE).run();
    po::store(parsed, variables_, false);

    for (auto& option : registered_) {
        auto found = variables_.find(option.descriptor.longName);
        if (found == variables_.end())
            continue;
        option.optionValue = option.descriptor.valueKind == OptionDescriptor::VALUE_NONE
                                 ? std::string()
                                 : boost::any_cast<std::string>(found->second.value());
        option.isSet = true;
        givenOptions_.insert(option.descriptor);
    }
    if (auto found = variables_.find(kPositionalArgs); found != variables_.end())
        positionalArgs_ = boost::any_cast<std::vector<std::string>>(found->second.value());
}

const ParsedOption& BoostCommandParser::getOption(const OptionDescriptor& descriptor) const {
    for (const auto& option : registered_)
        if (option.descriptor.longName == descriptor.longName)
            return option;
    return EmptyParsedOption();
}

} // namespace MOX
