#include <cstdio>
#include <exception>
#include <map>

#include "tests/helpers/ChildCommands.h"

namespace moxtest {

static std::map<std::string, ChildCommand>& Commands() {
    static std::map<std::string, ChildCommand> commands;
    return commands;
}

ChildCommandRegistrar::ChildCommandRegistrar(const std::string& name, ChildCommand command) {
    Commands()[name] = std::move(command);
}

} // namespace moxtest

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: mox_test_child COMMAND [ARG...]\n");
        return 2;
    }
    auto it = moxtest::Commands().find(argv[1]);
    if (it == moxtest::Commands().end()) {
        std::fprintf(stderr, "unknown command %s\n", argv[1]);
        return 2;
    }
    try {
        int rc = it->second(std::vector<std::string>(argv + 2, argv + argc));
        std::fflush(stdout);
        return rc;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
}
