#include "sim/Machine.h"

#include "sim/CallScope.h"
#include "sim/Schema.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {
namespace fs = std::filesystem;

namespace {

std::runtime_error SysError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// A test reads what it sent; the latest calls are plenty for that.
constexpr size_t kTestCallLogLimit = 10000;

std::atomic<uint64_t> g_generations{0};
thread_local uint64_t t_readGeneration = 0;
// The call this thread is in (CallScope) and the machine whose state it has checked in it.
thread_local int t_callDepth = 0;
thread_local const void* t_checked = nullptr;

std::mutex g_currentMutex;
std::shared_ptr<Machine> g_current;
// Set from other translation units' static initialisers, so it is made on first use.
std::function<void(const std::vector<std::string>&)>& UnfiredHandler() {
    static std::function<void(const std::vector<std::string>&)> handler;
    return handler;
}

const schema::Section kName("name", schema::Text());
const schema::Section kDescription("description", schema::Text());
// Free data no service reads: the machine's own tests keep their values here.
const schema::Section kTest("test", schema::Map(schema::Any()));

} // namespace

Machine::Machine(fs::path stateDir)
    : stateDir_(std::move(stateDir)), statePath_(stateDir_ / "machine.json") {}

Machine::~Machine() {
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

std::shared_ptr<Machine> Machine::Open(const fs::path& stateDir, const nlohmann::json& description,
                                       const std::string& where) {
    return Open(
        stateDir, [&] { return description; }, where);
}

std::shared_ptr<Machine> Machine::Open(const fs::path& stateDir,
                                       const std::function<nlohmann::json()>& describe,
                                       const std::string& where) {
    std::error_code ec;
    fs::create_directories(stateDir, ec);
    if (ec)
        throw std::runtime_error("Cannot create the simulator state directory " + stateDir.string() + ": " +
                                 ec.message());
    std::shared_ptr<Machine> m(new Machine(stateDir));
    m->lockFd_ = ::open((stateDir / "machine.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m->lockFd_ < 0)
        throw SysError("Cannot open the simulator lock in " + stateDir.string());
    {
        std::lock_guard guard(m->mutex_);
        m->Lock(true);
        try {
            if (!fs::exists(m->statePath_)) {
                nlohmann::json description = describe();
                schema::CheckDescription(description, where);
                m->WriteLocked(description);
            }
            m->RefreshLocked();
        } catch (...) {
            m->Unlock();
            throw;
        }
        m->Unlock();
    }
    // A user asks for the call log with MOX_SIM_CALL_LOG=<how many calls to keep>.
    if (const char* keep = std::getenv("MOX_SIM_CALL_LOG"); keep && *keep)
        m->calls_.Keep(std::strtoul(keep, nullptr, 10));
    if (m->state_.contains("faults"))
        for (const auto& rule : m->state_.at("faults"))
            m->faults_.AddFromDescription(FaultRule::FromJson(rule));
    return m;
}

void Machine::Lock(bool exclusive) const {
    while (::flock(lockFd_, exclusive ? LOCK_EX : LOCK_SH) != 0)
        if (errno != EINTR)
            throw SysError("Cannot lock the simulator state");
}

void Machine::Unlock() const {
    ::flock(lockFd_, LOCK_UN);
}

Machine::Stamp Machine::StampLocked() const {
    struct stat st {};
    if (::stat(statePath_.c_str(), &st) != 0)
        throw SysError("Cannot read the simulator state " + statePath_.string());
    return Stamp{static_cast<uint64_t>(st.st_ino), static_cast<uint64_t>(st.st_size),
                 static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void Machine::RefreshLocked() const {
    Stamp now = StampLocked();
    if (now == stamp_)
        return;
    std::ifstream in(statePath_);
    std::stringstream text;
    text << in.rdbuf();
    try {
        state_ = schema::ParseText(text.str(), statePath_.string());
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(std::string("The simulator state is damaged: ") + e.what());
    }
    stamp_ = now;
    generation_ = ++g_generations;
}

void Machine::WriteLocked(const nlohmann::json& state) {
    fs::path tmp = stateDir_ / ("machine.json.tmp." + std::to_string(::getpid()));
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << state.dump();
        if (!out.flush())
            throw std::runtime_error("Cannot write the simulator state " + tmp.string());
    }
    if (::rename(tmp.c_str(), statePath_.c_str()) != 0)
        throw SysError("Cannot replace the simulator state " + statePath_.string());
}

void Machine::Read(const std::function<void(const nlohmann::json&)>& f) const {
    std::lock_guard guard(mutex_);
    // Writers replace the state file whole (rename), so a file that has not changed since it was
    // read is the current state: the cached document serves without taking the directory's lock.
    // Only a changed file is read again, under the shared lock.
    const bool checked = t_callDepth > 0 && t_checked == this;
    if (!checked && StampLocked() != stamp_) {
        Lock(false);
        try {
            RefreshLocked();
        } catch (...) {
            Unlock();
            throw;
        }
        Unlock();
    }
    if (t_callDepth > 0)
        t_checked = this;
    struct Generation {
        explicit Generation(uint64_t g) { t_readGeneration = g; }
        ~Generation() { t_readGeneration = 0; }
    } reading(generation_);
    f(state_);
}

CallScope::CallScope() {
    ++t_callDepth;
}

CallScope::~CallScope() {
    if (--t_callDepth == 0)
        t_checked = nullptr;
}

uint64_t Machine::ReadGeneration() {
    return t_readGeneration;
}

void Machine::Update(const std::function<void(nlohmann::json&)>& f) {
    std::lock_guard guard(mutex_);
    Lock(true);
    try {
        RefreshLocked();
        // The change works on the state itself; should it throw, the state is read back from the
        // file it has not reached.
        generation_ = ++g_generations;
        f(state_);
        WriteLocked(state_);
        stamp_ = StampLocked();
    } catch (...) {
        stamp_ = Stamp{};
        t_checked = nullptr;
        Unlock();
        throw;
    }
    Unlock();
}

nlohmann::json Machine::Snapshot() const {
    nlohmann::json copy;
    Read([&](const nlohmann::json& s) { copy = s; });
    return copy;
}

nlohmann::json LoadDescription(const fs::path& file) {
    std::ifstream in(file);
    if (!in)
        throw std::runtime_error("Cannot open the machine description " + file.string());
    std::stringstream text;
    text << in.rdbuf();
    nlohmann::json description = schema::ParseText(text.str(), file.string());
    schema::CheckDescription(description, file.string());
    return description;
}

UnfiredFaultsHandler OnUnfiredFaults(UnfiredFaultsHandler handler) {
    std::lock_guard lock(g_currentMutex);
    std::swap(UnfiredHandler(), handler);
    return handler;
}

fs::path DefaultStateDir(const std::string& machineName) {
    fs::path base;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".local" / "state";
    else
        base = fs::temp_directory_path();
    return base / "moxsim" / machineName;
}

std::shared_ptr<Machine> CurrentPtr() {
    std::lock_guard lock(g_currentMutex);
    if (!g_current) {
        const char* machineFile = std::getenv("MOX_SIM_MACHINE");
        const char* stateDir = std::getenv("MOX_SIM_STATE");
        const bool fromFile = machineFile && *machineFile;
        const std::string file = fromFile ? machineFile : "";
        fs::path dir = stateDir && *stateDir ? fs::path(stateDir)
                                             : DefaultStateDir(fromFile ? fs::path(file).stem().string()
                                                                        : std::string("default"));
        // A warm start reads the state; the description is parsed only to fill a fresh directory.
        g_current = Machine::Open(
            dir, [&] { return fromFile ? LoadDescription(file) : DefaultDescription(); },
            fromFile ? file : std::string("the embedded default machine"));
    }
    return g_current;
}

Machine& Current() {
    return *CurrentPtr();
}

void Install(std::shared_ptr<Machine> machine) {
    std::lock_guard lock(g_currentMutex);
    g_current = std::move(machine);
}

ScopedMachine::ScopedMachine(const nlohmann::json& description) {
    std::string pattern = (fs::temp_directory_path() / "moxsim-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw SysError("Cannot make a temporary simulator state directory");
    dir_ = pattern;
    machine_ = Machine::Open(dir_, description);
    machine_->calls().Keep(kTestCallLogLimit);
    {
        std::lock_guard lock(g_currentMutex);
        previous_ = g_current;
        g_current = machine_;
    }
    if (const char* env = std::getenv("MOX_SIM_STATE")) {
        hadEnv_ = true;
        previousEnv_ = env;
    }
    ::setenv("MOX_SIM_STATE", dir_.c_str(), 1);
}

ScopedMachine::ScopedMachine(const MachineBuilder& description)
    : ScopedMachine(schema::ParseText(description.Text(), "machine description")) {}

ScopedMachine::~ScopedMachine() {
    std::function<void(const std::vector<std::string>&)> report;
    {
        std::lock_guard lock(g_currentMutex);
        report = UnfiredHandler();
    }
    if (report)
        if (auto unfired = machine_->faults().Unfired(); !unfired.empty())
            report(unfired);
    {
        std::lock_guard lock(g_currentMutex);
        g_current = previous_;
    }
    if (hadEnv_)
        ::setenv("MOX_SIM_STATE", previousEnv_.c_str(), 1);
    else
        ::unsetenv("MOX_SIM_STATE");
    machine_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

} // namespace sim
