#include "tests/support/ChildProcess.h"

#include <fcntl.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace moxtest {

namespace {

// MOX_TEST_CHILD (set by ctest), else the helper built beside the test executable, so that a test
// executable run directly finds it too.
std::string HelperProgram() {
    const char* named = std::getenv("MOX_TEST_CHILD");
    if (named && *named)
        return named;
    std::error_code error;
    const auto beside =
        std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "mox_test_child";
    if (error || !std::filesystem::exists(beside, error))
        throw std::runtime_error("MOX_TEST_CHILD does not name the test helper program");
    return beside.string();
}

} // namespace

Child::Child(const std::vector<std::string>& args) : Child(HelperProgram(), args) {}

Child::Child(const std::string& path, const std::vector<std::string>& args) {
    const char* program = path.c_str();
    int in[2], out[2];
    // Close-on-exec, so that no process started later holds this child's input open and keeps it
    // from seeing its end.
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    // Built before the fork: another thread of the test may hold the allocator's lock at that
    // moment, and the child would wait for it forever.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::close(in[0]);
        ::close(in[1]);
        ::close(out[0]);
        ::close(out[1]);
        ::execv(program, argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
}

Child::~Child() {
    if (pid_ > 0 && status_ < 0)
        Kill();
    if (toChild_ >= 0)
        ::close(toChild_);
    if (fromChild_ >= 0)
        ::close(fromChild_);
}

std::string Child::ReadLine() {
    for (;;) {
        auto nl = buffered_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffered_.substr(0, nl);
            buffered_.erase(0, nl + 1);
            return line;
        }
        char chunk[256];
        ssize_t n = ::read(fromChild_, chunk, sizeof chunk);
        if (n <= 0) {
            std::string rest;
            rest.swap(buffered_);
            return rest;
        }
        buffered_.append(chunk, static_cast<size_t>(n));
    }
}

void Child::WriteLine(const std::string& line) {
    std::string text = line + "\n";
    if (::write(toChild_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("cannot write to the child");
}

int Child::Wait() {
    if (status_ >= 0)
        return status_;
    if (toChild_ >= 0) {
        ::close(toChild_);
        toChild_ = -1;
    }
    int st = 0;
    ::waitpid(pid_, &st, 0);
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return status_;
}

void Child::Kill() {
    if (status_ >= 0)
        return;
    ::kill(pid_, SIGKILL);
    Wait();
}

std::string Child::ReadAll() {
    std::string all;
    all.swap(buffered_);
    char chunk[256];
    ssize_t n;
    while ((n = ::read(fromChild_, chunk, sizeof chunk)) > 0)
        all.append(chunk, static_cast<size_t>(n));
    return all;
}

namespace {

ChildResult Collect(Child& child) {
    std::string output = child.ReadAll();
    return ChildResult{child.Wait(), output};
}

} // namespace

ChildResult RunChild(const std::vector<std::string>& args) {
    Child child(args);
    return Collect(child);
}

ChildResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
    Child child(program, args);
    return Collect(child);
}

} // namespace moxtest
