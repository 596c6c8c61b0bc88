#include "sim/Machine.h"

#include "sim/CallScope.h"
#include "sim/Clock.h"
#include "sim/MachineState.h"
#include "sim/PlatformCall.h"
#include "sim/Schema.h"
#include "sim/ValueJson.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <sys/file.h>
#include <sys/mman.h>
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
    : stateDir_(std::move(stateDir)), statePath_(stateDir_ / "machine.json"),
      state_(std::make_unique<Document>()) {}

Machine::~Machine() {
    if (changes_)
        ::munmap(changes_, sizeof *changes_);
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

namespace {

// A file's whole text; an error names the file and the system's reason (a directory in its place,
// no permission to read it).
std::string ReadWhole(const fs::path& file, const std::string& what) {
    int fd;
    do
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw SysError("Cannot read " + what + " " + file.string());
    std::string text;
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            throw SysError("Cannot read " + what + " " + file.string());
        }
        if (n == 0)
            break;
        text.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

// The change count lives in the first eight bytes of machine.lock, which every process of the
// directory opens anyway. Called under the exclusive lock.
uint64_t* MapChangeCount(int lockFd) {
    struct stat st {};
    if (::fstat(lockFd, &st) != 0)
        return nullptr;
    // Reserved, not only sized: a store through the mapping into a block a full disk could not give
    // would be a SIGBUS. Without the count every read compares the file (one stat).
    if (st.st_size < static_cast<off_t>(sizeof(uint64_t)) &&
        ::posix_fallocate(lockFd, 0, sizeof(uint64_t)) != 0)
        return nullptr;
    void* at = ::mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, lockFd, 0);
    return at == MAP_FAILED ? nullptr : static_cast<uint64_t*>(at);
}

} // namespace

uint64_t Machine::ChangeCount() const {
    return std::atomic_ref<uint64_t>(*changes_).load(std::memory_order_acquire);
}

void Machine::CountChangeLocked() {
    if (changes_)
        std::atomic_ref<uint64_t>(*changes_).fetch_add(1, std::memory_order_release);
}

std::shared_ptr<Machine> OpenMachine(const fs::path& stateDir,
                                     const std::function<void(Machine::Document&)>& describe,
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
            m->changes_ = MapChangeCount(m->lockFd_);
            if (!fs::exists(m->statePath_)) {
                // The description becomes the state as it is: no second parse of what was written.
                describe(*m->state_);
                m->WriteLocked(*m->state_);
                m->CountChangeLocked();
                m->stamp_ = m->StampLocked();
                m->generation_ = ++g_generations;
            } else {
                m->RefreshLocked();
            }
        } catch (...) {
            m->Unlock();
            throw;
        }
        m->Unlock();
    }
    (void)where;
    // A user asks for the call log with MOX_SIM_CALL_LOG=<how many calls to keep>.
    if (const char* keep = std::getenv("MOX_SIM_CALL_LOG"); keep && *keep)
        m->calls_.Keep(std::strtoul(keep, nullptr, 10));
    const nlohmann::json& state = m->state_->json;
    if (state.contains("faults"))
        for (const auto& rule : state.at("faults"))
            m->faults_.AddFromDescription(FaultRuleFromJson(rule));
    return m;
}

namespace {

// The embedded default is checked once per process, however many machines start from it.
void CheckOnce(const nlohmann::json& description, const std::string& where) {
    static std::once_flag defaultChecked;
    if (&description == &DefaultDescription())
        std::call_once(defaultChecked, [&] { schema::CheckDescription(description, where); });
    else
        schema::CheckDescription(description, where);
}

} // namespace

std::shared_ptr<Machine> OpenMachine(const fs::path& stateDir, const nlohmann::json& description,
                                     const std::string& where) {
    return OpenMachine(
        stateDir,
        [&](Machine::Document& d) {
            CheckOnce(description, where);
            d.json = description;
        },
        where);
}

std::shared_ptr<Machine> OpenMachine(const fs::path& stateDir,
                                     const std::function<nlohmann::json()>& describe,
                                     const std::string& where) {
    return OpenMachine(
        stateDir,
        [&](Machine::Document& d) {
            d.json = describe();
            CheckOnce(d.json, where);
        },
        where);
}

std::shared_ptr<Machine> Machine::Open(const fs::path& stateDir, const Value& description,
                                       const std::string& where) {
    return OpenMachine(
        stateDir,
        [&](Document& d) {
            d.json = ToJson(description);
            schema::CheckDescription(d.json, where);
        },
        where);
}

std::shared_ptr<Machine> Machine::Open(const fs::path& stateDir, const MachineBuilder& description,
                                       const std::string& where) {
    return OpenMachine(
        stateDir,
        [&](Document& d) {
            d.json = schema::ParseText(description.Text(), where);
            schema::CheckDescription(d.json, where);
        },
        where);
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
    std::string text = ReadWhole(statePath_, "the simulator state");
    try {
        state_->json = schema::ParseText(text, statePath_.string());
        // A hand-edited state meets the description's checks, so no service reads a value that is
        // not of its field's form (a fraction, a negative count, a dangling reference).
        schema::CheckDescription(state_->json, statePath_.string());
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(std::string("The simulator state is damaged: ") + e.what());
    }
    stamp_ = now;
    generation_ = ++g_generations;
}

void Machine::WriteLocked(const Document& state) {
    fs::path tmp = stateDir_ / ("machine.json.tmp." + std::to_string(::getpid()));
    const std::string text = state.json.dump();
    int fd;
    do
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw SysError("Cannot write the simulator state " + tmp.string());
    for (size_t done = 0; done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            const int error = errno;
            ::close(fd);
            ::unlink(tmp.c_str());
            errno = error;
            throw SysError("Cannot write the simulator state " + tmp.string());
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(tmp.c_str());
        errno = error;
        throw SysError("Cannot write the simulator state " + tmp.string());
    }
    if (::rename(tmp.c_str(), statePath_.c_str()) != 0)
        throw SysError("Cannot replace the simulator state " + statePath_.string());
}

void Machine::ReadDocument(const std::function<void(const Document&)>& f) const {
    std::lock_guard guard(mutex_);
    // Writers replace the state file whole (rename) and then count the change in machine.lock, so
    // while the count is the one the document was checked at, the document is the current state and
    // serves without a system call. Otherwise the file is compared with the one read (one stat) and,
    // when another process replaced it, read again under the shared lock.
    const uint64_t changes = changes_ ? ChangeCount() : 0;
    const bool checked =
        (t_callDepth > 0 && t_checked == this) || (changes_ && checked_ && changes == checkedAt_);
    if (!checked) {
        if (StampLocked() != stamp_) {
            Lock(false);
            try {
                RefreshLocked();
            } catch (...) {
                Unlock();
                throw;
            }
            Unlock();
        }
        checkedAt_ = changes;
        checked_ = true;
    }
    if (t_callDepth > 0)
        t_checked = this;
    struct Generation {
        explicit Generation(uint64_t g) { t_readGeneration = g; }
        ~Generation() { t_readGeneration = 0; }
    } reading(generation_);
    f(*state_);
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

void Machine::UpdateDocument(const std::function<void(Document&)>& f) {
    std::lock_guard guard(mutex_);
    Lock(true);
    try {
        RefreshLocked();
        // The change works on the state itself; should it throw, the state is read back from the
        // file it has not reached.
        generation_ = ++g_generations;
        f(*state_);
        WriteLocked(*state_);
        CountChangeLocked();
        stamp_ = StampLocked();
        // Under the exclusive lock no other change came between: the document is the counted state.
        checkedAt_ = changes_ ? ChangeCount() : 0;
        checked_ = true;
    } catch (...) {
        stamp_ = Stamp{};
        checked_ = false;
        t_checked = nullptr;
        Unlock();
        throw;
    }
    Unlock();
}

nlohmann::json Snapshot(const Machine& machine) {
    nlohmann::json copy;
    machine.Read([&](const nlohmann::json& s) { copy = s; });
    return copy;
}

namespace {

nlohmann::json::json_pointer Pointer(std::string_view pointer) {
    try {
        return nlohmann::json::json_pointer(std::string(pointer));
    } catch (const nlohmann::json::exception& e) {
        throw std::invalid_argument(std::string("Not a JSON pointer: ") + std::string(pointer) + ": " +
                                    e.what());
    }
}

} // namespace

Value Machine::At(std::string_view pointer) const {
    const auto p = Pointer(pointer);
    Value out;
    Read([&](const nlohmann::json& s) {
        if (s.contains(p))
            out = ToValue(s.at(p));
    });
    return out;
}

bool Machine::Has(std::string_view pointer) const {
    const auto p = Pointer(pointer);
    bool has = false;
    Read([&](const nlohmann::json& s) { has = s.contains(p); });
    return has;
}

void Machine::SetValue(std::string_view pointer, const Value& value) {
    const auto p = Pointer(pointer);
    nlohmann::json v = ToJson(value);
    Update([&](nlohmann::json& s) {
        try {
            s[p] = std::move(v);
        } catch (const nlohmann::json::exception& e) {
            throw std::invalid_argument("Cannot set " + std::string(pointer) + ": " + e.what());
        }
    });
}

void Machine::Change(std::string_view pointer, const std::function<void(Value&)>& f) {
    const auto p = Pointer(pointer);
    Update([&](nlohmann::json& s) {
        Value v = s.contains(p) ? ToValue(s.at(p)) : Value();
        f(v);
        s[p] = ToJson(v);
    });
}

void Machine::Remove(std::string_view pointer) {
    const auto p = Pointer(pointer);
    Update([&](nlohmann::json& s) {
        if (p.empty() || !s.contains(p))
            throw std::invalid_argument("Nothing to remove at " + std::string(pointer));
        nlohmann::json& parent = s.at(p.parent_pointer());
        if (parent.is_array())
            parent.erase(std::stoul(p.back()));
        else
            parent.erase(p.back());
    });
}

nlohmann::json LoadDescription(const fs::path& file) {
    nlohmann::json description = schema::ParseText(ReadWhole(file, "the machine description"), file.string());
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
    {
        std::lock_guard lock(g_currentMutex);
        if (g_current)
            return g_current;
    }
    // Opened outside the lock: opening takes the new machine's own lock, and a change holding a
    // machine's lock asks for the current machine (the state logs), so holding both here would
    // order them against that change. Two threads that open at once keep the first one installed.
    std::shared_ptr<Machine> opened;
    {
        const char* machineFile = std::getenv("MOX_SIM_MACHINE");
        const char* stateDir = std::getenv("MOX_SIM_STATE");
        const bool fromFile = machineFile && *machineFile;
        const std::string file = fromFile ? machineFile : "";
        fs::path dir = stateDir && *stateDir ? fs::path(stateDir)
                                             : DefaultStateDir(fromFile ? fs::path(file).stem().string()
                                                                        : std::string("default"));
        // A warm start reads the state; the description is parsed only to fill a fresh directory.
        opened = OpenMachine(
            dir, [&] { return fromFile ? LoadDescription(file) : DefaultDescription(); },
            fromFile ? file : std::string("the embedded default machine"));
        // A program run by an end-to-end test waits in virtual time when asked: minutes of polling
        // finish at once.
        if (const char* clock = std::getenv("MOX_SIM_CLOCK"); clock && std::string_view(clock) == "virtual")
            Clock::UseVirtual();
    }
    std::lock_guard lock(g_currentMutex);
    if (!g_current)
        g_current = std::move(opened);
    return g_current;
}

Machine& Current() {
    return *CurrentPtr();
}

void Install(std::shared_ptr<Machine> machine) {
    std::lock_guard lock(g_currentMutex);
    g_current = std::move(machine);
}

ScopedMachine::ScopedMachine() : ScopedMachine(std::function<void(Machine::Document&)>()) {}

ScopedMachine::ScopedMachine(const MachineBuilder& description)
    : ScopedMachine([&](Machine::Document& d) {
          d.json = schema::ParseText(description.Text(), "machine description");
          schema::CheckDescription(d.json, "machine description");
      }) {}

ScopedMachine::ScopedMachine(const Value& description)
    : ScopedMachine([&](Machine::Document& d) {
          d.json = ToJson(description);
          schema::CheckDescription(d.json, "machine description");
      }) {}

ScopedMachine::ScopedMachine(const std::function<void(Machine::Document&)>& describe) {
    std::string pattern = (fs::temp_directory_path() / "moxsim-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw SysError("Cannot make a temporary simulator state directory");
    dir_ = pattern;
    if (describe)
        machine_ = OpenMachine(dir_, describe, "machine description");
    else
        machine_ = OpenMachine(dir_, DefaultDescription(), "the embedded default machine");
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
