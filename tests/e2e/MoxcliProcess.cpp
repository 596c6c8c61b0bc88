#include "tests/e2e/MoxcliProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace moxe2e {

fs::path SourceDir() {
    fs::path source(__FILE__);
    if (source.is_relative())
        source = fs::read_symlink("/proc/self/exe").parent_path() / source;
    return source.parent_path();
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "moxcli-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()))
        path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string Run::Transcript() const {
    return "exit: " + std::to_string(exitCode) + "\n--- stdout\n" + out + "\n--- stderr\n" + err + "\n";
}

MoxcliProcess::MoxcliProcess(const fs::path& machine, const std::vector<std::string>& args,
                             const fs::path& state, const Environment& environment, const fs::path& program)
    : outPath_(state / "stdout.txt"), errPath_(state / "stderr.txt") {
    // Everything the child needs is built before the fork: another thread of the test may hold the
    // allocator's lock at that moment, and the child would wait for it forever.
    std::vector<std::string> env;
    const auto replaced = [&](const std::string& entry) {
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "MOX_SIM_STATE" || name == "MOX_SIM_MACHINE" || name == "MOX_TRACE")
            return true;
        return std::any_of(environment.begin(), environment.end(),
                           [&](const auto& item) { return item.first == name; });
    };
    for (char** e = environ; *e; ++e)
        if (!replaced(*e))
            env.emplace_back(*e);
    env.push_back("MOX_SIM_STATE=" + (state / "machine").string());
    if (!machine.empty())
        env.push_back("MOX_SIM_MACHINE=" + machine.string());
    for (const auto& [name, value] : environment)
        env.push_back(name + "=" + value);
    std::vector<const char*> envp;
    for (const auto& e : env)
        envp.push_back(e.c_str());
    envp.push_back(nullptr);
    std::vector<const char*> argv = {program.c_str()};
    for (const auto& a : args)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);
    const std::string outPath = outPath_.string(), errPath = errPath_.string();

    int ended[2];
    if (::pipe2(ended, O_CLOEXEC) != 0)
        return;
    pid_ = ::fork();
    if (pid_ < 0) {
        ::close(ended[0]);
        ::close(ended[1]);
        return;
    }
    if (pid_ == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        // Only the standard streams and the write end of the pipe (as descriptor 3, open until
        // the program ends) reach the program: a pipe of another child of the test, such as its
        // input, must not stay open in it.
        if (ended[1] == 3)
            ::fcntl(3, F_SETFD, 0);
        else
            ::dup2(ended[1], 3);
        ::close_range(4, ~0U, 0);
        ::execve(program.c_str(), const_cast<char* const*>(argv.data()),
                 const_cast<char* const*>(envp.data()));
        ::_exit(127);
    }
    ::close(ended[1]);
    ended_ = ended[0];
}

MoxcliProcess::~MoxcliProcess() {
    if (pid_ > 0 && status_ < 0) {
        ::kill(pid_, SIGKILL);
        Reap(0);
    }
    if (ended_ >= 0)
        ::close(ended_);
}

bool MoxcliProcess::Reap(int options) {
    int status = 0;
    if (::waitpid(pid_, &status, options) != pid_)
        return false;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

bool MoxcliProcess::Running() {
    return pid_ > 0 && status_ < 0 && !Reap(WNOHANG);
}

Run MoxcliProcess::Finish(std::chrono::seconds limit, bool* hung) {
    if (hung)
        *hung = false;
    if (pid_ > 0 && status_ < 0) {
        pollfd ended{ended_, POLLIN, 0};
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int ready = 0;
        // The pipe reports its end (POLLHUP) when the program's copy closes as it exits.
        do {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            ready = ::poll(&ended, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            ::kill(pid_, SIGKILL);
            if (hung)
                *hung = true;
        }
        Reap(0);
    }
    Run run;
    run.exitCode = status_;
    run.out = ReadAll(outPath_);
    run.err = ReadAll(errPath_);
    return run;
}

Run RunMoxcli(const fs::path& machine, const std::vector<std::string>& args, const fs::path& state) {
    return MoxcliProcess(machine, args, state).Finish(kGenerousLimit);
}

Scenario::Scenario(const std::string& machine)
    : machine_(machine.empty() ? fs::path() : sim::MachinesDir() / machine) {}

Scenario::Scenario(const sim::MachineBuilder& machine) : machine_(state_.path() / "description.json") {
    std::ofstream(machine_) << machine.Text();
}

Run Scenario::Command(const std::vector<std::string>& args, const Environment& environment) {
    return MoxcliProcess(machine_, args, state_.path(), environment).Finish(kGenerousLimit);
}

sim::Value Scenario::State(std::string_view pointer) const {
    return sim::Machine::Open(state_.path() / "machine")->At(pointer);
}

Run RunProgram(const fs::path& program, const fs::path& machine, const std::vector<std::string>& args,
               const fs::path& state) {
    return MoxcliProcess(machine, args, state, {}, program).Finish(kGenerousLimit);
}

void ExpectGolden(const Run& run, const std::string& name) {
    const fs::path path = SourceDir() / "golden" / (name + ".txt");
    if (const char* update = std::getenv("MOX_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::ofstream(path, std::ios::binary) << run.Transcript();
        return;
    }
    ASSERT_TRUE(fs::exists(path)) << path;
    EXPECT_TRUE(run.Transcript() == ReadAll(path)) << name << " differs; the run gave:\n" << run.Transcript();
}

} // namespace moxe2e
