#pragma once
// A command line parsed the way moxcli parses it, with the parse's result record.
#include <string>
#include <vector>

#include "cli/BoostCommandParser.h"
#include "cli/ParseCommandLine.h"

namespace clitest {

struct Parsed {
    MOX::BoostCommandParser parser{"MOX CLI Tool", 80, 40};
    MOX::Error result;

    explicit Parsed(std::vector<std::string> args) {
        args.insert(args.begin(), "moxcli");
        std::vector<const char*> argv;
        for (const auto& a : args)
            argv.push_back(a.c_str());
        result = MOX::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), parser);
    }
};

} // namespace clitest
