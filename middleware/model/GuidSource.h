#pragma once
// Maker of fresh GUID texts for the names of the events registered with the driver.
#include <string>

#include "middleware/core/ConsolidatedError.h"

class GuidSource {
public:
    virtual ~GuidSource() = default;
    // A new GUID as 32 hexadecimal digits (its text without hyphens); 0xA001000F on failure, text
    // left empty.
    CConsolidatedError newGuidString(std::string& text) const;
};
