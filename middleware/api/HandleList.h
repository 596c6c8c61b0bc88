#pragma once
// The two-call convention of the handle-list queries: the caller passes the capacity of its array
// in *count; the query writes the handles that fit, sets *count to how many objects there are, and
// fails with status 13 when they did not all fit, so the caller asks once with 0, allocates and
// asks again.
#include <cstdint>
#include <vector>

#include "middleware/core/ConsolidatedError.h"

// A null count, or a null list with a non-zero capacity: status 2 with `nullListMessage`, nothing
// written. Capacity too small: the handles that fit are written, *count becomes the number of
// handles, status 13 with `tooSmallMessage`.
CConsolidatedError FillHandleList(const std::vector<uint32_t>& handles, uint32_t* list, unsigned* count,
                                  const char* nullListMessage, const char* tooSmallMessage);
CConsolidatedError FillHandleList(const std::vector<uint32_t>& handles, int* list, unsigned* count,
                                  const char* nullListMessage, const char* tooSmallMessage);
