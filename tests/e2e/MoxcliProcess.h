#pragma once
// Runs the built moxcli as a process on a simulated machine and compares what it printed with the
// golden files of tests/e2e/golden. MOX_UPDATE_GOLDEN=1 rewrites them from the program's output
// (read each change before committing it).
#include <sys/types.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/MachineBuilder.h"
#include "sim/Value.h"

namespace moxe2e {

namespace fs = std::filesystem;

// This folder of the source tree (tests/e2e).
fs::path SourceDir();
std::string ReadAll(const fs::path& path);

// A fresh state directory for every run, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

struct Run {
    int exitCode = -1;
    std::string out, err;

    std::string Transcript() const;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// moxcli (or another built program of this machine) started with the arguments on the machine
// description file (empty: the embedded default), with the state directory state/machine and its
// output in state/stdout.txt and state/stderr.txt. `environment` is set on top (MOX_TRACE is unset
// otherwise). A program still running when the object goes is killed.
class MoxcliProcess {
public:
    MoxcliProcess(const fs::path& machine, const std::vector<std::string>& args, const fs::path& state,
                  const Environment& environment = {}, const fs::path& program = MOX_CLI_PATH);
    ~MoxcliProcess();
    MoxcliProcess(const MoxcliProcess&) = delete;
    MoxcliProcess& operator=(const MoxcliProcess&) = delete;

    // Whether the program has not ended yet; asks without waiting.
    bool Running();
    // Waits for the program to end, at most `limit`: a program still running then is killed (exit
    // code 128 + SIGKILL) and `hung` says so. What it printed is read from its files.
    Run Finish(std::chrono::seconds limit, bool* hung = nullptr);

private:
    bool Reap(int options);

    pid_t pid_ = -1;
    int ended_ = -1; // read end of a pipe whose only writer is the program: it closes when the program ends
    int status_ = -1;
    fs::path outPath_, errPath_;
};

// Long enough for any run on a loaded machine; only a hung program reaches it.
constexpr std::chrono::seconds kGenerousLimit{120};

// Runs moxcli to its end (see MoxcliProcess).
Run RunMoxcli(const fs::path& machine, const std::vector<std::string>& args, const fs::path& state);
// Runs another built program of this machine the same way.
Run RunProgram(const fs::path& program, const fs::path& machine, const std::vector<std::string>& args,
               const fs::path& state);

// Commands run one after another on one machine, as a user types them: each sees what the ones
// before it changed, and State reads what they left.
class Scenario {
public:
    // A file of sim/machines, or empty for the embedded default.
    explicit Scenario(const std::string& machine = "");
    // A machine made for the scenario, written beside its state.
    explicit Scenario(const sim::MachineBuilder& machine);
    // The environment is set on top for this command only (MOX_SIM_CLOCK=virtual for long waits).
    Run Command(const std::vector<std::string>& args, const Environment& environment = {});
    // The value at a JSON pointer of the machine's state now; null when there is none.
    sim::Value State(std::string_view pointer) const;

private:
    TempDir state_;
    fs::path machine_;
};

// Sets environment variables for the processes started in its scope, and restores them after.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const Environment& environment) {
        for (const auto& [name, value] : environment) {
            const char* old = std::getenv(name.c_str());
            saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, old] : saved_) {
            if (old)
                ::setenv(name.c_str(), old->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Compares the run with golden/<name>.txt (or rewrites it under MOX_UPDATE_GOLDEN=1).
void ExpectGolden(const Run& run, const std::string& name);

} // namespace moxe2e
