#pragma once
// Prints a view's name/value list through a printer: aligned in two columns, or on one line.
#include <list>
#include <memory>
#include <string>
#include <utility>

#include "cli/ConsoleOutput.h"

namespace MOX {

using PropertyList = std::list<std::pair<std::string, std::string>>;

class PropertyFormatter {
public:
    // A null printer throws before anything is printed.
    explicit PropertyFormatter(const std::shared_ptr<Printer>& printer);
    virtual ~PropertyFormatter() = default;
    virtual void format(PropertyList properties) = 0;

protected:
    std::shared_ptr<Printer> printer_;
};

class TwoColumnPropertyFormatter : public PropertyFormatter {
public:
    // The column width argument has no effect: the column follows the longest name.
    TwoColumnPropertyFormatter(const std::shared_ptr<Printer>& printer, int columnWidth,
                               bool rightAlignNames);
    void format(PropertyList properties) override;

private:
    bool rightAlignNames_;
};

class CommaPropertyFormatter : public PropertyFormatter {
public:
    explicit CommaPropertyFormatter(const std::shared_ptr<Printer>& printer);
    void format(PropertyList properties) override;
};

} // namespace MOX
