#pragma once
// The simulated PC. Its whole state is one JSON document (the machine description, changed by what
// the product does), kept in a state directory so that one process sees what another changed:
// every read re-loads the document when another process replaced it, every change is written back
// atomically (temporary file and rename) under an exclusive lock of the directory.
//
// Each subsystem of the simulator owns its own top-level section of the document ("registry",
// "devices", "controllers", ...); sim/README.md lists them.
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/CallLog.h"
#include "sim/Faults.h"
#include "sim/MachineBuilder.h"

namespace sim {

class Machine {
public:
    // Opens the machine kept in stateDir; a fresh or empty directory is initialised from the
    // description, which is checked first (std::runtime_error naming `where`, the JSON pointer and
    // the problem). `describe` runs only when the directory is fresh.
    static std::shared_ptr<Machine> Open(const std::filesystem::path& stateDir,
                                         const nlohmann::json& description,
                                         const std::string& where = "machine description");
    static std::shared_ptr<Machine> Open(const std::filesystem::path& stateDir,
                                         const std::function<nlohmann::json()>& describe,
                                         const std::string& where);
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Runs f on the current state under a shared lock. Do not call Read or Update from inside f.
    // f gets the machine's own document: take what the request needs by reference, copy no section.
    void Read(const std::function<void(const nlohmann::json&)>& f) const;
    // Runs f on the current state under the exclusive lock and writes the result back. A throwing f
    // leaves the state as it was (the next access reads it back from the state directory).
    void Update(const std::function<void(nlohmann::json&)>& f);
    nlohmann::json Snapshot() const;

    Faults& faults() { return faults_; }
    CallLog& calls() { return calls_; }
    const std::filesystem::path& stateDir() const { return stateDir_; }

    // While this thread is inside Read: a number that names the state it reads (no two states of
    // any machine of the process share it), for caches of views derived from the state. 0 outside a
    // Read, where the state may change under the caller.
    static uint64_t ReadGeneration();

private:
    explicit Machine(std::filesystem::path stateDir);
    void Lock(bool exclusive) const;
    void Unlock() const;
    void RefreshLocked() const;
    void WriteLocked(const nlohmann::json& state);

    std::filesystem::path stateDir_;
    std::filesystem::path statePath_;
    int lockFd_ = -1;
    mutable std::mutex mutex_;
    mutable nlohmann::json state_;
    struct Stamp {
        uint64_t ino = 0, size = 0;
        int64_t mtimeNs = -1;
        bool operator==(const Stamp&) const = default;
    };
    Stamp StampLocked() const;
    mutable Stamp stamp_;
    mutable uint64_t generation_ = 0;
    Faults faults_;
    CallLog calls_;
};

// The embedded default machine (sim/machines/default.json).
nlohmann::json DefaultDescription();
// Reads and checks a machine description file; throws std::runtime_error with the file, the JSON
// pointer and the reason.
nlohmann::json LoadDescription(const std::filesystem::path& file);

// Where a ScopedMachine reports the fault rules a test added that never fired (the test support
// fails the test); unset, they are ignored. Returns the handler it replaces.
using UnfiredFaultsHandler = std::function<void(const std::vector<std::string>& rules)>;
UnfiredFaultsHandler OnUnfiredFaults(UnfiredFaultsHandler handler);
// Where the state lives when MOX_SIM_STATE is unset: a per-user directory per machine.
std::filesystem::path DefaultStateDir(const std::string& machineName);

// The machine of this process: the installed one, else the one named by MOX_SIM_MACHINE and
// MOX_SIM_STATE (opened on first use).
Machine& Current();
std::shared_ptr<Machine> CurrentPtr();
// Installs a machine for this process; nullptr makes the next Current() open it from the environment.
void Install(std::shared_ptr<Machine> machine);

// A machine for one test: a fresh temporary state directory initialised from the description,
// installed for the scope and named by MOX_SIM_STATE so that child processes share it.
class ScopedMachine {
public:
    explicit ScopedMachine(const nlohmann::json& description = DefaultDescription());
    explicit ScopedMachine(const MachineBuilder& description);
    ~ScopedMachine();
    ScopedMachine(const ScopedMachine&) = delete;
    ScopedMachine& operator=(const ScopedMachine&) = delete;

    Machine& machine() { return *machine_; }
    Machine* operator->() { return machine_.get(); }
    const std::filesystem::path& stateDir() const { return dir_; }

private:
    std::filesystem::path dir_;
    std::shared_ptr<Machine> machine_;
    std::shared_ptr<Machine> previous_;
    std::string previousEnv_;
    bool hadEnv_ = false;
};

} // namespace sim
