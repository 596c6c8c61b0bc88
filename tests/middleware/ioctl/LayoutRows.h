#pragma once
// A table of one record's fields as the product places them and as the simulator's layout does.
#include <cstddef>
#include <initializer_list>

#include <gtest/gtest.h>

namespace layouttest {

struct LayoutRow {
    const char* field;
    size_t product;
    size_t simulator;
};

inline void ExpectSame(std::initializer_list<LayoutRow> rows) {
    for (const LayoutRow& row : rows)
        EXPECT_EQ(row.product, row.simulator) << row.field;
}

} // namespace layouttest
