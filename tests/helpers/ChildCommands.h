#pragma once
// Commands of the test helper program: each test source in tests/helpers registers the commands
// its tests run in a second process. A command prints what the test reads and returns the exit code.
#include <functional>
#include <string>
#include <vector>

namespace moxtest {

using ChildCommand = std::function<int(const std::vector<std::string>& args)>;

struct ChildCommandRegistrar {
    ChildCommandRegistrar(const std::string& name, ChildCommand command);
};

} // namespace moxtest
