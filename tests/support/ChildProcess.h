#pragma once
// Runs the test helper program (mox_test_child) as a second process, for tests of what one
// process sees of another: shared state, named objects, abandoned owners.
#include <string>
#include <sys/types.h>
#include <vector>

namespace moxtest {

class Child {
public:
    // Starts the helper with the given command and arguments; it inherits the environment, so it
    // opens the same simulated machine (MOX_SIM_STATE) as the test.
    explicit Child(const std::vector<std::string>& args);
    // Starts another program of the build the same way (a C program that links a library).
    Child(const std::string& program, const std::vector<std::string>& args);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The next line the child printed, without its newline; "" at end of output.
    std::string ReadLine();
    // Everything the child prints until it closes its output.
    std::string ReadAll();
    void WriteLine(const std::string& line);
    // Waits for the child to end; its exit code, or 128 + signal.
    int Wait();
    // Ends the child at once (SIGKILL), as a crash would, and reaps it.
    void Kill();

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string buffered_;
    int status_ = -1;
};

struct ChildResult {
    int exitCode;
    std::string output;
};

// Runs the helper to completion and collects what it printed.
ChildResult RunChild(const std::vector<std::string>& args);
// The same for another program.
ChildResult RunProgram(const std::string& program, const std::vector<std::string>& args);

} // namespace moxtest
