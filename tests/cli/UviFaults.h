#pragma once
// Chosen calls of the library's C interface made to fail, or their records changed, for the command
// line's tests: the library answers a real session consistently, so the access layer's handling of a
// failure in the middle of a gathering is reached only this way. The test program is linked with
// --wrap for each function UviFaults.cpp wraps (tests/CMakeLists.txt), so the command line's calls of
// them pass through here; a call no rule takes goes to the library unchanged.
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace clitest {

struct UviFault {
    UviFault() = default;
    UviFault(std::string function, int skip = 0, int times = 1, std::function<void(void*)> edit = {})
        : function(std::move(function)), skip(skip), times(times), edit(std::move(edit)) {}

    std::string function; // the export's name, e.g. "UviGetRaidInfo"
    int skip = 0;         // matching calls let through first
    int times = 1;        // how often the rule fires; -1: always
    // When set, the call is made and its record (the function's last argument; for a close, the
    // session handle) is given to it after the call.
    // When not, the call is made on a handle the library does not know (an information query) or on a
    // session it does not know (a handle list query), so the answer is the library's own failure.
    std::function<void(void* record)> edit;
};

// The rules hold while the object lives; each must have fired by then, or the test fails naming it.
class ScopedUviFaults {
public:
    explicit ScopedUviFaults(std::vector<UviFault> rules);
    ~ScopedUviFaults();
    ScopedUviFaults(const ScopedUviFaults&) = delete;
    ScopedUviFaults& operator=(const ScopedUviFaults&) = delete;
};

// A handle no session of the library gives out.
constexpr unsigned int UNKNOWN_HANDLE = 0x7FFFFFF0u;

} // namespace clitest
