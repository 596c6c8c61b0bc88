#include "tests/support/ProcessReset.h"

#include <gtest/gtest.h>

namespace moxtest {
namespace {

class ResetListener : public ::testing::EmptyTestEventListener {
public:
    explicit ResetListener(std::function<void()> reset) : reset_(std::move(reset)) {}
    void OnTestStart(const ::testing::TestInfo&) override { reset_(); }

private:
    std::function<void()> reset_;
};

} // namespace

ResetBeforeEachTest::ResetBeforeEachTest(std::function<void()> reset) {
    // The listener list owns the listener.
    ::testing::UnitTest::GetInstance()->listeners().Append(new ResetListener(std::move(reset)));
}

} // namespace moxtest
