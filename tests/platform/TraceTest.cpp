// The trace of a program names that program: each line of the product's own trace calls starts with
// the running program's name, so that the lines of several programs writing one trace tell apart.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/Machine.h"
#include "tests/support/ChildProcess.h"

namespace {

// Sets an environment variable for the processes this one starts within a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* was = std::getenv(name))
            previous_ = was;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (previous_)
            ::setenv(name_, previous_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> previous_;
};

std::vector<std::string> Lines(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(Trace, ALineOfAnotherProgramStartsWithThatProgramsName) {
    sim::ScopedMachine machine;
    const std::filesystem::path trace = machine.stateDir() / "child-trace.log";
    {
        ScopedEnv target("MOX_TRACE", trace.string());
        ScopedEnv level("MOX_TRACE_LEVEL", "5");
        const moxtest::ChildResult run = moxtest::RunChild({"trace", "volume Volume0 renamed"});
        ASSERT_EQ(run.exitCode, 0) << run.output;
    }
    EXPECT_EQ(Lines(trace), std::vector<std::string>{"[mox_test_child] INFO volume Volume0 renamed"});
}

} // namespace
