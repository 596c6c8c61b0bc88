// A fault rule a test injects must fire: a rule that never did means the test did not reach the
// path it was written for, so the test fails and names the rule.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/Machine.h"

namespace {

struct FaultsMustFire {
    FaultsMustFire() {
        sim::OnUnfiredFaults([](const std::vector<std::string>& rules) {
            for (const auto& rule : rules)
                ADD_FAILURE() << "fault rule never fired: " << rule;
        });
    }
} g_faultsMustFire;

} // namespace
