#pragma once
// The simulated PC. Its whole state is one JSON document (the machine description, changed by what
// the product does), kept in a state directory so that one process sees what another changed:
// every read re-loads the document when another process replaced it, every change is written back
// atomically (temporary file and rename) under an exclusive lock of the directory.
//
// Each subsystem of the simulator owns its own top-level section of the document ("registry",
// "devices", "controllers", ...); sim/README.md lists them.
//
// This header is what tests and tools see; it does not bring in the JSON library. The simulator's
// own sources reach the document through sim/MachineState.h (Read, Update and the description
// loaders); tests read and change the state through At, Has, SetValue and Remove.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "sim/CallLog.h"
#include "sim/Faults.h"
#include "sim/MachineBuilder.h"
#include "sim/Value.h"

namespace sim {

class Machine {
public:
    // The document (sim/MachineState.h).
    struct Document;

    // Opens the machine kept in stateDir; a fresh or empty directory is initialised from the
    // description, which is checked first (std::runtime_error naming `where`, the JSON pointer and
    // the problem). The simulator's forms with a document are in sim/MachineState.h.
    static std::shared_ptr<Machine> Open(const std::filesystem::path& stateDir,
                                         const MachineBuilder& description = MachineBuilder::Default(),
                                         const std::string& where = "machine description");
    static std::shared_ptr<Machine> Open(const std::filesystem::path& stateDir, const Value& description,
                                         const std::string& where = "machine description");
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Runs f on the current state (a const nlohmann::json&) under a shared lock. Do not call Read
    // or Update from inside f. f gets the machine's own document: take what the request needs by
    // reference, copy no section. Defined in sim/MachineState.h.
    template <class F> void Read(F&& f) const;
    // A test's form: f reads the whole state as a value.
    template <class F>
    requires std::is_invocable_v<F&, const Value&>
    void Read(F&& f) const {
        const Value state = At("");
        f(state);
    }
    // Runs f on the current state (a nlohmann::json&) under the exclusive lock and writes the result
    // back. A throwing f leaves the state as it was (the next access reads it back from the state
    // directory). Defined in sim/MachineState.h.
    template <class F> void Update(F&& f);
    // A test's form: f changes the whole state as a value (see Change).
    template <class F>
    requires std::is_invocable_v<F&, Value&>
    void Update(F&& f) { Change("", f); }

    // The value at a JSON pointer ("/disks/0/cache/power_protected"; "" is the whole state), or a
    // null value when there is none.
    Value At(std::string_view pointer) const;
    bool Has(std::string_view pointer) const;
    // Sets the value at a JSON pointer, making the objects on the way; removes one (a missing one
    // is an error, std::invalid_argument).
    void SetValue(std::string_view pointer, const Value& value);
    void Remove(std::string_view pointer);
    // Runs f on the value at a JSON pointer (null when there is none) under the exclusive lock and
    // stores what f leaves there: a change no other process's change interleaves with.
    void Change(std::string_view pointer, const std::function<void(Value&)>& f);
    // The whole state, as a value.
    Value Snapshot() const { return At(""); }

    Faults& faults() { return faults_; }
    CallLog& calls() { return calls_; }
    const std::filesystem::path& stateDir() const { return stateDir_; }

    // While this thread is inside Read: a number that names the state it reads (no two states of
    // any machine of the process share it), for caches of views derived from the state. 0 outside a
    // Read, where the state may change under the caller.
    static uint64_t ReadGeneration();

private:
    friend std::shared_ptr<Machine> OpenMachine(const std::filesystem::path&,
                                                const std::function<void(Document&)>&, const std::string&);
    explicit Machine(std::filesystem::path stateDir);
    void ReadDocument(const std::function<void(const Document&)>& f) const;
    void UpdateDocument(const std::function<void(Document&)>& f);
    void Lock(bool exclusive) const;
    void Unlock() const;
    void RefreshLocked() const;
    void WriteLocked(const Document& state);

    std::filesystem::path stateDir_;
    std::filesystem::path statePath_;
    int lockFd_ = -1;
    mutable std::mutex mutex_;
    std::unique_ptr<Document> state_;
    struct Stamp {
        uint64_t ino = 0, size = 0;
        int64_t mtimeNs = -1;
        bool operator==(const Stamp&) const = default;
    };
    Stamp StampLocked() const;
    mutable Stamp stamp_;
    // The count of changes every process sharing the directory keeps in machine.lock (mapped; null
    // where it cannot be mapped) and the count this machine's document was last checked at.
    uint64_t* changes_ = nullptr;
    mutable uint64_t checkedAt_ = 0;
    mutable bool checked_ = false;
    uint64_t ChangeCount() const;
    void CountChangeLocked();
    mutable uint64_t generation_ = 0;
    Faults faults_;
    CallLog calls_;
};

// Opens a machine from a description given by the simulator (sim/MachineState.h): `describe`
// fills the document and runs only when the directory is fresh.
std::shared_ptr<Machine> OpenMachine(const std::filesystem::path& stateDir,
                                     const std::function<void(Machine::Document&)>& describe,
                                     const std::string& where);

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
    // The embedded default machine.
    ScopedMachine();
    explicit ScopedMachine(const MachineBuilder& description);
    explicit ScopedMachine(const Value& description);
    ~ScopedMachine();
    ScopedMachine(const ScopedMachine&) = delete;
    ScopedMachine& operator=(const ScopedMachine&) = delete;

    Machine& machine() { return *machine_; }
    Machine* operator->() { return machine_.get(); }
    const std::filesystem::path& stateDir() const { return dir_; }

private:
    explicit ScopedMachine(const std::function<void(Machine::Document&)>& describe);
    std::filesystem::path dir_;
    std::shared_ptr<Machine> machine_;
    std::shared_ptr<Machine> previous_;
    std::string previousEnv_;
    bool hadEnv_ = false;
};

} // namespace sim
