#pragma once
// What a fresh session of another process reads of the RAID configuration (the helper program's
// "raid-topology"): a line "volume <name> <raw state>" per volume and "disk <serial> <usage>
// <state flags>" per disk with a RAID record.
#include <string>

#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"

namespace apitest {

inline std::string RaidTopology() {
    moxtest::ChildResult r = moxtest::RunChild({"raid-topology"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return r.output;
}

} // namespace apitest
