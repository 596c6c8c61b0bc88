#include "cli/PropertyFormatter.h"

#include <algorithm>
#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace MOX {

namespace {

class NullPrinterError : public std::exception {
public:
    const char* what() const noexcept override {
        return "Null pointer provided as printer to property formatter.";
    }
};

} // namespace

PropertyFormatter::PropertyFormatter(const std::shared_ptr<Printer>& printer) : printer_(printer) {
    if (!printer_)
        throw NullPrinterError();
}

TwoColumnPropertyFormatter::TwoColumnPropertyFormatter(const std::shared_ptr<Printer>& printer, int,
                                                       bool rightAlignNames)
    : PropertyFormatter(printer), rightAlignNames_(rightAlignNames) {}

void TwoColumnPropertyFormatter::format(PropertyList properties) {
    size_t longest = 0;
    for (const auto& [name, value] : properties)
        longest = std::max(longest, name.size());
    const int width = static_cast<int>(longest + 2);
    for (const auto& [name, value] : properties) {
        std::ostringstream line;
        line << (rightAlignNames_ ? std::right : std::left) << std::setw(width) << name + ": " << value;
        printer_->printWrapped(line.str(), 0, 0);
    }
}

CommaPropertyFormatter::CommaPropertyFormatter(const std::shared_ptr<Printer>& printer)
    : PropertyFormatter(printer) {}

void CommaPropertyFormatter::format(PropertyList properties) {
    if (properties.empty())
        return;
    std::ostringstream line;
    bool first = true;
    for (const auto& [name, value] : properties) {
        if (!first)
            line << ", ";
        first = false;
        line << name << ": " << value;
    }
    printer_->printWrapped(line.str(), 0, 0);
}

} // namespace MOX
