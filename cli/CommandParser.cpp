#include "cli/CommandParser.h"

#include <stdexcept>

namespace MOX {

int32_t ParsedOption::intValue() const {
    // std::stoi's own texts, whatever the standard library would say.
    size_t used = 0;
    long long number = 0;
    try {
        number = std::stoll(optionValue, &used, 10);
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("invalid stoi argument");
    } catch (const std::out_of_range&) {
        throw std::out_of_range("stoi argument out of range");
    }
    if (number < INT32_MIN || number > INT32_MAX)
        throw std::out_of_range("stoi argument out of range");
    return static_cast<int32_t>(number);
}

const ParsedOption& EmptyParsedOption() {
    static const ParsedOption empty;
    return empty;
}

const ParsedOption& CommandParser::getOption(const std::string& longName) const {
    OptionDescriptor query;
    query.longName = longName;
    return getOption(query);
}

} // namespace MOX
