#pragma once
// A command line parsed the way moxcli parses it, with the parse's result record.
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "cli/BoostCommandParser.h"
#include "cli/Options.h"
#include "cli/ParseCommandLine.h"

namespace clitest {

struct Parsed {
    MOX::BoostCommandParser parser{"MOX CLI Tool", 80, 40};
    MOX::Error result;

    // Level 1 is the program's own parse. Level 0 registers every descriptor, for the tests of the
    // factories whose options the program does not offer (create, modify, rescan, accelerate and the
    // sub-options of level 0); a bad command line then gives return code 2 with the parser's text.
    explicit Parsed(std::vector<std::string> args, int32_t level = 1) {
        args.insert(args.begin(), "moxcli");
        std::vector<const char*> argv;
        for (const auto& a : args)
            argv.push_back(a.c_str());
        const int argc = static_cast<int>(argv.size());
        if (level == 1) {
            result = MOX::ParseCommandLine(argc, argv.data(), parser);
            return;
        }
        try {
            std::vector<MOX::OptionDescriptor> options;
            MOX::CopyOptionsOfLevel(MOX::ModeOptions(), level, options);
            MOX::CopyOptionsOfLevel(MOX::AllOptions(), level, options);
            parser.registerOptions(options);
            parser.parse(argc, argv.data());
        } catch (const std::exception& e) {
            result.set(2, e.what());
        }
    }
};

} // namespace clitest
