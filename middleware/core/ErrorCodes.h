#pragma once
// The consolidated code set as data: every code with its name and, where it has one, its code text.
#include <cstddef>
#include <span>

#include "middleware/core/ConsolidatedError.h"

struct ErrorCodeInfo {
    KEDO2_ERRORS code;
    const char* name; // the name the code is listed under ("UVI INVALIDPARAMETER")
    const char* text; // the code text, or null when the code has none
};

// All codes, ordered by value.
std::span<const ErrorCodeInfo> ErrorCodeTable();
// The row of `code`, or null when the code is not in the set.
const ErrorCodeInfo* FindErrorCode(uint32_t code);
// The code text of `code`: "Error Missing Error String" for a code without one.
const char* ErrorCodeText(uint32_t code);
