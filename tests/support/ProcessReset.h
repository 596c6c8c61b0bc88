#pragma once
// Process-wide state of the product (tables built once, caches, flags) outlives a test. CTest runs
// every test in a process of its own; a test executable run directly runs them all in one. A test
// folder registers here what brings its state back to a new process's, and it runs before each
// test (before the fixture is made).
#include <functional>

namespace moxtest {

struct ResetBeforeEachTest {
    explicit ResetBeforeEachTest(std::function<void()> reset);
};

} // namespace moxtest
