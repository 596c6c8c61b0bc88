#include "sim/KernelObjects.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/win/WinError.h"
#include "sim/Clock.h"
#include "sim/MachineState.h"
#include "sim/Os.h"
#include "sim/PlatformCall.h"
#include "sim/Schema.h"

namespace sim {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr size_t kMaxNameLength = 260;
// How often a wait on a named object looks at what other processes did.
constexpr std::chrono::milliseconds kPollSlice{2};

// A thread's id does not change; asking the kernel once per thread keeps a wait or release to the
// system calls the object itself needs.
uint32_t ThreadId() {
    thread_local const uint32_t tid = static_cast<uint32_t>(::syscall(SYS_gettid));
    return tid;
}

// ---- names -------------------------------------------------------------------------------------

struct ObjectName {
    bool global = false;
    std::string base;
    // The one spelling of the object's name: "Global\x" or "Local\x".
    std::string canonical;
    // The stem of its files in the objects folder.
    std::string fileStem;
};

std::string FileStem(bool global, const std::string& base) {
    static const char* hex = "0123456789abcdef";
    std::string encoded;
    for (unsigned char c : base) {
        if (std::isalnum(c) || c == '-' || c == '_') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        }
    }
    if (encoded.size() > 180) {
        uint64_t h = 1469598103934665603ull;
        for (unsigned char c : base)
            h = (h ^ c) * 1099511628211ull;
        std::string tail;
        for (int i = 15; i >= 0; --i)
            tail += hex[(h >> (i * 4)) & 15];
        encoded = encoded.substr(0, 150) + "~" + tail;
    }
    return (global ? "g_" : "l_") + encoded;
}

uint32_t ParseName(const std::string& name, ObjectName& out) {
    if (name.size() > kMaxNameLength)
        return ERROR_FILENAME_EXCED_RANGE;
    static const std::string globalPrefix = "Global\\";
    static const std::string localPrefix = "Local\\";
    if (name.compare(0, globalPrefix.size(), globalPrefix) == 0) {
        out.global = true;
        out.base = name.substr(globalPrefix.size());
    } else if (name.compare(0, localPrefix.size(), localPrefix) == 0) {
        out.base = name.substr(localPrefix.size());
    } else {
        out.base = name;
    }
    if (out.base.empty())
        return ERROR_INVALID_NAME;
    // Only the namespace prefix may hold a backslash: anything else names a directory that the
    // object namespace does not have.
    if (out.base.find('\\') != std::string::npos)
        return ERROR_PATH_NOT_FOUND;
    out.canonical = (out.global ? globalPrefix : localPrefix) + out.base;
    out.fileStem = FileStem(out.global, out.base);
    return ERROR_SUCCESS;
}

// ---- files and locks ---------------------------------------------------------------------------

int OpenFile(const fs::path& path) {
    int fd;
    do
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool Flock(int fd, int operation) {
    for (;;) {
        if (::flock(fd, operation) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

std::string ReadAll(int fd) {
    std::string text;
    char chunk[512];
    off_t offset = 0;
    for (;;) {
        ssize_t n = ::pread(fd, chunk, sizeof chunk, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return text;
        text.append(chunk, static_cast<size_t>(n));
        offset += n;
    }
}

bool WriteAll(int fd, const std::string& text) {
    if (::ftruncate(fd, 0) != 0)
        return false;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Gives the file at least `size` bytes of allocated blocks (0, or the errno: ENOSPC on a full disk).
int ReserveFile(int fd, size_t size) {
    int error;
    do
        error = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    while (error == EINTR);
    return error;
}

// The ownership file of a named mutex: "1 <pid> <tid>" while an owner holds it, "0" (or nothing)
// once released. An owner that ends without releasing leaves the 1 behind: the next taker is told
// the mutex was abandoned. Fixed-width records, kept mapped for the life of the handle, so that a
// take and a release cost no more than the two flock calls.
constexpr size_t kOwnerRecord = 32;

void PutAt(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

class OwnerFile {
public:
    // The caller holds the namespace lock, so that the file is only ever grown here and never
    // emptied while a process has it mapped (it is emptied only when no process has the object).
    // The record's blocks are reserved before the mapping: a store through a mapping of a block
    // the file system could not give is a SIGBUS, a reservation that fails is an error.
    explicit OwnerFile(const fs::path& path) : fd_(OpenFile(path)) {
        if (fd_ < 0 || ReserveFile(fd_, kOwnerRecord) != 0) {
            Close();
            return;
        }
        void* map = ::mmap(nullptr, kOwnerRecord, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (map != MAP_FAILED)
            map_ = static_cast<char*>(map);
    }
    ~OwnerFile() {
        if (map_)
            ::munmap(map_, kOwnerRecord);
        Close();
    }
    OwnerFile(const OwnerFile&) = delete;
    OwnerFile& operator=(const OwnerFile&) = delete;

    bool ok() const { return fd_ >= 0; }
    bool TryLock() const { return ::flock(fd_, LOCK_EX | LOCK_NB) == 0; }
    void Unlock() const { Flock(fd_, LOCK_UN); }

    bool HeldMark() const {
        if (map_)
            return map_[0] == '1';
        char first = 0;
        ssize_t n;
        do
            n = ::pread(fd_, &first, 1, 0);
        while (n < 0 && errno == EINTR);
        return n == 1 && first == '1';
    }

    void MarkHeld(uint32_t tid) const {
        char record[kOwnerRecord + 1];
        // The process id of the thread's process (a thread id is the process id of its first thread).
        thread_local const int pid = static_cast<int>(::getpid());
        std::snprintf(record, sizeof record, "1 %-10d %-10u", pid, tid);
        std::memset(record + std::strlen(record), ' ', kOwnerRecord - std::strlen(record));
        record[kOwnerRecord - 1] = '\n';
        Put(record, kOwnerRecord);
    }

    void MarkReleased() const { Put("0", 1); }

private:
    void Put(const char* data, size_t size) const {
        if (map_)
            std::memcpy(map_, data, size);
        else
            PutAt(fd_, data, size);
    }

    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    int fd_;
    char* map_ = nullptr;
};

// An exclusive lock of one file for one scope; every scope opens the file anew, so threads of one
// process exclude each other as processes do.
class FileLock {
public:
    explicit FileLock(const fs::path& path) : fd_(OpenFile(path)) {
        if (fd_ >= 0 && !Flock(fd_, LOCK_EX)) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~FileLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    json ReadRecord() const {
        std::string text = ReadAll(fd_);
        if (text.empty())
            return nullptr;
        try {
            return json::parse(text);
        } catch (const json::exception&) {
            return nullptr;
        }
    }
    bool WriteRecord(const json& record) const { return WriteAll(fd_, record.dump()); }

private:
    int fd_;
};

struct ObjectFiles {
    fs::path dir;
    std::string stem;
    fs::path ref() const { return dir / (stem + ".ref"); }
    fs::path record() const { return dir / (stem + ".obj"); }
    fs::path owner() const { return dir / (stem + ".own"); }
    // Creating, opening and closing objects are serialised machine-wide by this lock.
    fs::path namespaceLock() const { return dir / "namespace.lock"; }
};

// Whether some process holds the object open; the caller holds the namespace lock.
bool HeldByAnyProcess(const ObjectFiles& files) {
    int fd = OpenFile(files.ref());
    if (fd < 0)
        return false;
    bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return !free;
}

// This process's hold on a named object: a shared lock of its reference file while any handle of
// the process is open. The last holder to go removes the object's files.
class Backing {
public:
    Backing(ObjectFiles files, int refFd) : files_(std::move(files)), refFd_(refFd) {}
    ~Backing() {
        FileLock ns(files_.namespaceLock());
        ::close(refFd_);
        if (ns.ok() && !HeldByAnyProcess(files_)) {
            std::error_code ec;
            fs::remove(files_.record(), ec);
            fs::remove(files_.owner(), ec);
            fs::remove(files_.ref(), ec);
        }
    }
    Backing(const Backing&) = delete;
    Backing& operator=(const Backing&) = delete;

    const ObjectFiles& files() const { return files_; }

private:
    ObjectFiles files_;
    int refFd_;
};

// ---- the process's named objects ---------------------------------------------------------------

// Never destroyed: objects may be closed by static destructors of other files at exit.
std::recursive_mutex& RegistryMutex() {
    static auto* m = new std::recursive_mutex;
    return *m;
}
std::map<std::string, std::weak_ptr<SyncObject>>& Registry() {
    static auto* r = new std::map<std::string, std::weak_ptr<SyncObject>>;
    return *r;
}

// The process's objects of one machine: a machine installed later (a test's next machine) has
// its own namespace, as another computer would.
std::string RegistryKey(const ObjectName& name) {
    return Current().stateDir().string() + '|' + name.canonical;
}

std::shared_ptr<SyncObject> Lookup(const std::string& canonical) {
    auto& registry = Registry();
    auto it = registry.find(canonical);
    return it == registry.end() ? nullptr : it->second.lock();
}

void Unregister(const std::string& canonical) {
    auto& registry = Registry();
    auto it = registry.find(canonical);
    if (it != registry.end() && it->second.expired())
        registry.erase(it);
}

// ---- waits -------------------------------------------------------------------------------------

// A wait on an object that other processes change: tries again whenever this process signals the
// object and every poll slice otherwise. In virtual time a finite wait polls for the clock's grace
// slice and then jumps to its deadline.
template <class Try>
WaitOutcome PollWait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, uint32_t timeoutMs,
                     Try tryOnce) {
    if (auto r = tryOnce())
        return *r;
    if (timeoutMs == 0)
        return WaitOutcome::Timeout;
    const bool infinite = timeoutMs == Clock::kInfinite;
    const uint64_t start = Clock::NowMs();
    if (Clock::IsVirtual() && !infinite) {
        const auto graceEnd = std::chrono::steady_clock::now() + Clock::kVirtualGrace;
        while (std::chrono::steady_clock::now() < graceEnd) {
            cv.wait_for(lock, kPollSlice);
            if (auto r = tryOnce())
                return *r;
        }
        Clock::AdvanceToMs(start + timeoutMs);
        if (auto r = tryOnce())
            return *r;
        return WaitOutcome::Timeout;
    }
    for (;;) {
        auto slice = kPollSlice;
        if (!infinite) {
            const uint64_t now = Clock::NowMs();
            if (now >= start + timeoutMs)
                return WaitOutcome::Timeout;
            slice = std::min<std::chrono::milliseconds>(slice,
                                                        std::chrono::milliseconds(start + timeoutMs - now));
        }
        cv.wait_for(lock, slice);
        if (auto r = tryOnce())
            return *r;
    }
}

// A wait on an object only this process changes.
template <class Try>
WaitOutcome LocalWait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, uint32_t timeoutMs,
                      Try tryOnce) {
    std::optional<WaitOutcome> result;
    Clock::WaitFor(lock, cv, timeoutMs, [&] {
        result = tryOnce();
        return result.has_value();
    });
    return result.value_or(WaitOutcome::Timeout);
}

// ---- mutex -------------------------------------------------------------------------------------

class MutexObject;

// The mutexes the thread owns: when the thread ends without releasing them they become abandoned.
struct OwnedMutexes {
    std::vector<std::shared_ptr<MutexObject>> list;
    ~OwnedMutexes();
};
thread_local OwnedMutexes t_owned;

class MutexObject final : public SyncMutex, public std::enable_shared_from_this<MutexObject> {
public:
    MutexObject(std::string name, std::string canonical, std::unique_ptr<Backing> backing)
        : name_(std::move(name)), canonical_(std::move(canonical)), backing_(std::move(backing)) {
        if (backing_)
            ownerFile_ = std::make_unique<OwnerFile>(backing_->files().owner());
    }
    ~MutexObject() override {
        std::lock_guard registryLock(RegistryMutex());
        ownerFile_.reset();
        if (backing_) {
            Unregister(canonical_);
            backing_.reset();
        }
    }

    SyncType type() const override { return SyncType::Mutex; }
    const std::string& name() const override { return name_; }

    WaitOutcome Wait(uint32_t timeoutMs) override {
        const uint32_t tid = ThreadId();
        std::unique_lock lock(mutex_);
        auto attempt = [&] { return TryTakeLocked(tid); };
        return backing_ ? PollWait(lock, cv_, timeoutMs, attempt) : LocalWait(lock, cv_, timeoutMs, attempt);
    }

    bool Release() override {
        const uint32_t tid = ThreadId();
        {
            std::lock_guard lock(mutex_);
            if (owner_ != tid || count_ == 0)
                return false;
            if (--count_ > 0)
                return true;
            if (backing_) {
                ownerFile_->MarkReleased();
                ownerFile_->Unlock();
            }
            owner_ = 0;
        }
        cv_.notify_all();
        ForgetOwnership();
        return true;
    }

    // The owner thread ended: the mutex is free and the next taker is told it was abandoned. A
    // named mutex keeps the dead owner in its ownership file, which is what any process reads.
    void OnOwnerThreadEnded(uint32_t tid) {
        {
            std::lock_guard lock(mutex_);
            if (owner_ != tid || count_ == 0)
                return;
            count_ = 0;
            owner_ = 0;
            if (backing_)
                ownerFile_->Unlock();
            else
                abandoned_ = true;
        }
        cv_.notify_all();
    }

private:
    std::optional<WaitOutcome> TryTakeLocked(uint32_t tid) {
        if (owner_ == tid && count_ > 0) {
            ++count_;
            return WaitOutcome::Signaled;
        }
        if (owner_ != 0)
            return std::nullopt;
        bool abandoned = abandoned_;
        if (backing_) {
            if (!ownerFile_->ok())
                return WaitOutcome::Failed;
            if (!ownerFile_->TryLock())
                return std::nullopt;
            abandoned = ownerFile_->HeldMark();
            ownerFile_->MarkHeld(tid);
        }
        abandoned_ = false;
        owner_ = tid;
        count_ = 1;
        t_owned.list.push_back(shared_from_this());
        return abandoned ? WaitOutcome::Abandoned : WaitOutcome::Signaled;
    }

    void ForgetOwnership() {
        auto& list = t_owned.list;
        for (auto it = list.begin(); it != list.end(); ++it)
            if (it->get() == this) {
                // Keep this object alive until the list no longer holds it.
                std::shared_ptr<MutexObject> keep = std::move(*it);
                list.erase(it);
                return;
            }
    }

    std::string name_;
    std::string canonical_;
    std::unique_ptr<Backing> backing_;
    std::unique_ptr<OwnerFile> ownerFile_;
    std::mutex mutex_;
    std::condition_variable cv_;
    uint32_t owner_ = 0;
    uint32_t count_ = 0;
    bool abandoned_ = false;
};

OwnedMutexes::~OwnedMutexes() {
    const uint32_t tid = ThreadId();
    std::vector<std::shared_ptr<MutexObject>> owned;
    owned.swap(list);
    for (auto& m : owned)
        m->OnOwnerThreadEnded(tid);
}

// ---- events and semaphores ---------------------------------------------------------------------

// The state of an event or semaphore: in memory for an unnamed object, in the record file for a
// named one. Every change runs under the record's lock and is written back.
class ObjectState {
public:
    ObjectState(json initial, std::unique_ptr<Backing> backing)
        : local_(std::move(initial)), backing_(std::move(backing)) {}

    bool named() const { return backing_ != nullptr; }

    // Runs f on the state; f returns whether it changed it. False when the state could not be read
    // or written.
    template <class F> bool Update(F f) {
        if (!backing_) {
            f(local_);
            return true;
        }
        FileLock lock(backing_->files().record());
        if (!lock.ok())
            return false;
        json record = lock.ReadRecord();
        if (!record.is_object())
            return false;
        if (f(record) && !lock.WriteRecord(record))
            return false;
        return true;
    }

    void Close() { backing_.reset(); }

private:
    json local_;
    std::unique_ptr<Backing> backing_;
};

class EventObject final : public SyncEvent {
public:
    EventObject(std::string name, std::string canonical, json initial, std::unique_ptr<Backing> backing)
        : name_(std::move(name)), canonical_(std::move(canonical)),
          state_(std::move(initial), std::move(backing)) {}
    ~EventObject() override {
        std::lock_guard registryLock(RegistryMutex());
        if (state_.named()) {
            Unregister(canonical_);
            state_.Close();
        }
    }

    SyncType type() const override { return SyncType::Event; }
    const std::string& name() const override { return name_; }

    WaitOutcome Wait(uint32_t timeoutMs) override {
        std::unique_lock lock(mutex_);
        auto attempt = [&]() -> std::optional<WaitOutcome> {
            bool signaled = false;
            bool ok = state_.Update([&](json& s) {
                signaled = s.value("signaled", false);
                if (signaled && !s.value("manual", false)) {
                    s["signaled"] = false;
                    return true;
                }
                return false;
            });
            if (!ok)
                return WaitOutcome::Failed;
            return signaled ? std::optional(WaitOutcome::Signaled) : std::nullopt;
        };
        return state_.named() ? PollWait(lock, cv_, timeoutMs, attempt)
                              : LocalWait(lock, cv_, timeoutMs, attempt);
    }

    bool Set() override { return Change(true); }
    bool Reset() override { return Change(false); }

private:
    bool Change(bool signaled) {
        bool ok;
        {
            std::lock_guard lock(mutex_);
            ok = state_.Update([&](json& s) {
                s["signaled"] = signaled;
                return true;
            });
        }
        cv_.notify_all();
        return ok;
    }

    std::string name_;
    std::string canonical_;
    std::mutex mutex_;
    std::condition_variable cv_;
    ObjectState state_;
};

class SemaphoreObject final : public SyncSemaphore {
public:
    SemaphoreObject(std::string name, std::string canonical, json initial, std::unique_ptr<Backing> backing)
        : name_(std::move(name)), canonical_(std::move(canonical)),
          state_(std::move(initial), std::move(backing)) {}
    ~SemaphoreObject() override {
        std::lock_guard registryLock(RegistryMutex());
        if (state_.named()) {
            Unregister(canonical_);
            state_.Close();
        }
    }

    SyncType type() const override { return SyncType::Semaphore; }
    const std::string& name() const override { return name_; }

    WaitOutcome Wait(uint32_t timeoutMs) override {
        std::unique_lock lock(mutex_);
        auto attempt = [&]() -> std::optional<WaitOutcome> {
            bool taken = false;
            bool ok = state_.Update([&](json& s) {
                int64_t count = s.value("count", int64_t{0});
                if (count <= 0)
                    return false;
                s["count"] = count - 1;
                taken = true;
                return true;
            });
            if (!ok)
                return WaitOutcome::Failed;
            return taken ? std::optional(WaitOutcome::Signaled) : std::nullopt;
        };
        return state_.named() ? PollWait(lock, cv_, timeoutMs, attempt)
                              : LocalWait(lock, cv_, timeoutMs, attempt);
    }

    bool Release(int32_t count, int32_t* previous) override {
        bool released = false;
        {
            std::lock_guard lock(mutex_);
            state_.Update([&](json& s) {
                int64_t now = s.value("count", int64_t{0});
                int64_t maximum = s.value("maximum", int64_t{1});
                if (count <= 0 || now + count > maximum)
                    return false;
                if (previous)
                    *previous = static_cast<int32_t>(now);
                s["count"] = now + count;
                released = true;
                return true;
            });
        }
        cv_.notify_all();
        return released;
    }

private:
    std::string name_;
    std::string canonical_;
    std::mutex mutex_;
    std::condition_variable cv_;
    ObjectState state_;
};

// ---- timers ------------------------------------------------------------------------------------

class TimerObject final : public SyncTimer {
public:
    TimerObject(std::string name, std::string canonical, bool manualReset)
        : name_(std::move(name)), canonical_(std::move(canonical)), manual_(manualReset) {}
    ~TimerObject() override {
        if (!canonical_.empty()) {
            std::lock_guard registryLock(RegistryMutex());
            Unregister(canonical_);
        }
    }

    SyncType type() const override { return SyncType::Timer; }
    const std::string& name() const override { return name_; }

    WaitOutcome Wait(uint32_t timeoutMs) override {
        std::unique_lock lock(mutex_);
        const bool infinite = timeoutMs == Clock::kInfinite;
        const uint64_t start = Clock::NowMs();
        for (;;) {
            if (TryTakeLocked())
                return WaitOutcome::Signaled;
            const uint64_t now = Clock::NowMs();
            const uint64_t deadline = infinite ? UINT64_MAX : start + timeoutMs;
            if (now >= deadline)
                return WaitOutcome::Timeout;
            if (Clock::IsVirtual()) {
                // Nothing but time fires a timer: go straight to whichever comes first, the due time
                // or the deadline.
                if (armed_ && dueMs_ <= deadline) {
                    Clock::AdvanceToMs(dueMs_);
                    continue;
                }
                if (!infinite) {
                    Clock::AdvanceToMs(deadline);
                    return TryTakeLocked() ? WaitOutcome::Signaled : WaitOutcome::Timeout;
                }
                // Unarmed and waited on for ever: only another thread arming it ends the wait.
                cv_.wait(lock);
                continue;
            }
            uint64_t until = armed_ ? std::min(dueMs_, deadline) : deadline;
            if (until == UINT64_MAX)
                cv_.wait(lock);
            else
                cv_.wait_for(lock, std::chrono::milliseconds(until - now));
        }
    }

    void Set(uint64_t dueInMs, uint32_t periodMs) override {
        {
            std::lock_guard lock(mutex_);
            armed_ = true;
            signaled_ = false;
            dueMs_ = Clock::NowMs() + dueInMs;
            periodMs_ = periodMs;
        }
        cv_.notify_all();
    }

    void Cancel() override {
        std::lock_guard lock(mutex_);
        armed_ = false;
    }

private:
    bool TryTakeLocked() {
        const uint64_t now = Clock::NowMs();
        if (armed_ && now >= dueMs_) {
            signaled_ = true;
            if (periodMs_ > 0)
                dueMs_ += (now - dueMs_) / periodMs_ * periodMs_ + periodMs_;
            else
                armed_ = false;
        }
        if (!signaled_)
            return false;
        if (!manual_)
            signaled_ = false;
        return true;
    }

    std::string name_;
    std::string canonical_;
    bool manual_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool armed_ = false;
    bool signaled_ = false;
    uint64_t dueMs_ = 0;
    uint32_t periodMs_ = 0;
};

// ---- creating and opening ----------------------------------------------------------------------

SyncType TypeFromName(const std::string& name) {
    if (name == "event")
        return SyncType::Event;
    if (name == "semaphore")
        return SyncType::Semaphore;
    if (name == "timer")
        return SyncType::Timer;
    return SyncType::Mutex;
}

// What the machine says about an object of this name: a service's object that always exists and
// refuses creation rights ("kernel_objects" "deny_create"), and whether programs run elevated.
struct NamePolicy {
    std::optional<json> serviceObject;
    bool elevated = true;
};

NamePolicy PolicyFor(const ObjectName& name) {
    NamePolicy policy;
    Current().Read([&](const json& s) {
        if (!s.contains("kernel_objects") || !s["kernel_objects"].contains("deny_create"))
            return;
        for (const auto& entry : s["kernel_objects"]["deny_create"]) {
            ObjectName listed;
            if (entry.is_object() && ParseName(entry.value("name", ""), listed) == ERROR_SUCCESS &&
                listed.canonical == name.canonical)
                policy.serviceObject = entry;
        }
    });
    policy.elevated = os::Elevated();
    return policy;
}

json ServiceRecord(const json& entry) {
    std::string type = entry.value("type", "mutex");
    if (type == "event")
        return json{{"type", type},
                    {"manual", entry.value("manual", true)},
                    {"signaled", entry.value("signaled", false)}};
    if (type == "semaphore")
        return json{
            {"type", type}, {"count", entry.value("count", 0)}, {"maximum", entry.value("maximum", 1)}};
    return json{{"type", type}};
}

using Factory = std::function<std::shared_ptr<SyncObject>(const ObjectName&, std::unique_ptr<Backing>)>;

// Finds or makes the process's object for a name. A record is the state of a new object; null for
// an open, which never makes one. onNew runs on a new object before any other thread or process
// can find it.
SyncResult NamedObject(SyncType type, const std::string& rawName, const json& freshRecord,
                       const Factory& make, const std::function<void(SyncObject&)>& onNew = nullptr) {
    ObjectName name;
    if (uint32_t error = ParseName(rawName, name))
        return {nullptr, error, false};
    const bool create = !freshRecord.is_null();

    std::lock_guard registryLock(RegistryMutex());
    NamePolicy policy = PolicyFor(name);
    if (auto existing = Lookup(RegistryKey(name))) {
        if (existing->type() != type)
            return {nullptr, ERROR_INVALID_HANDLE, false};
        if (create && policy.serviceObject)
            return {nullptr, ERROR_ACCESS_DENIED, false};
        return {existing, ERROR_SUCCESS, true};
    }
    if (type == SyncType::Timer) {
        if (!create)
            return {nullptr, ERROR_FILE_NOT_FOUND, false};
        auto object = make(name, nullptr);
        if (onNew)
            onNew(*object);
        Registry()[RegistryKey(name)] = object;
        return {object, ERROR_SUCCESS, false};
    }

    ObjectFiles files{Current().stateDir() / "objects", name.fileStem};
    // The machine's files failing is no answer of the object namespace: the create fails for want
    // of resources and the user is told which file and why.
    auto unusable = [&](const fs::path& file, int error) {
        ReportFailure("Cannot use the kernel object file " + file.string() + " of \"" + name.canonical +
                      "\": " + std::strerror(error));
        return SyncResult{nullptr, ERROR_NO_SYSTEM_RESOURCES, false};
    };
    std::error_code ec;
    fs::create_directories(files.dir, ec);
    if (ec)
        return unusable(files.dir, ec.value());
    FileLock ns(files.namespaceLock());
    if (!ns.ok())
        return unusable(files.namespaceLock(), errno);
    int refFd = OpenFile(files.ref());
    if (refFd < 0)
        return unusable(files.ref(), errno);
    auto fail = [&](uint32_t error) {
        ::close(refFd);
        return SyncResult{nullptr, error, false};
    };
    auto failWith = [&](const fs::path& file, int error) {
        ::close(refFd);
        return unusable(file, error);
    };
    const bool held = ::flock(refFd, LOCK_EX | LOCK_NB) != 0;
    const bool exists = held || policy.serviceObject.has_value();
    {
        FileLock recordLock(files.record());
        if (!recordLock.ok())
            return failWith(files.record(), errno);
        json record = recordLock.ReadRecord();
        if (exists) {
            // A service's object that no process has open: its state starts from the machine.
            if (!held) {
                record = ServiceRecord(*policy.serviceObject);
                recordLock.WriteRecord(record);
                int owner = OpenFile(files.owner());
                if (owner >= 0) {
                    WriteAll(owner, "");
                    ::close(owner);
                }
            }
            if (!record.is_object() || TypeFromName(record.value("type", "")) != type)
                return fail(ERROR_INVALID_HANDLE);
            if (create && policy.serviceObject)
                return fail(ERROR_ACCESS_DENIED);
        } else {
            if (!create)
                return fail(ERROR_FILE_NOT_FOUND);
            // Making an object in the global namespace takes a privilege that only elevated
            // programs (and services) hold.
            if (name.global && !policy.elevated)
                return fail(ERROR_ACCESS_DENIED);
            if (!recordLock.WriteRecord(freshRecord))
                return failWith(files.record(), errno);
            // Whoever owned an earlier object of this name is gone with it.
            int owner = OpenFile(files.owner());
            if (owner >= 0) {
                WriteAll(owner, "");
                ::close(owner);
            }
        }
    }
    if (type == SyncType::Mutex) {
        // The ownership record is mapped for the handle's life: its blocks are reserved now, so a
        // full disk fails the create instead of a later take.
        int owner = OpenFile(files.owner());
        const int error = owner < 0 ? errno : ReserveFile(owner, kOwnerRecord);
        if (owner >= 0)
            ::close(owner);
        if (error != 0)
            return failWith(files.owner(), error);
    }
    if (!Flock(refFd, LOCK_SH))
        return failWith(files.ref(), errno);
    auto object = make(name, std::make_unique<Backing>(files, refFd));
    if (!exists && onNew)
        onNew(*object);
    Registry()[RegistryKey(name)] = object;
    return {object, ERROR_SUCCESS, exists};
}

json MutexRecord() {
    return json{{"type", "mutex"}};
}
json EventRecord(bool manual, bool signaled) {
    return json{{"type", "event"}, {"manual", manual}, {"signaled", signaled}};
}
json SemaphoreRecord(int32_t count, int32_t maximum) {
    return json{{"type", "semaphore"}, {"count", count}, {"maximum", maximum}};
}

std::shared_ptr<SyncObject> MakeMutex(const std::string& rawName, const ObjectName& name,
                                      std::unique_ptr<Backing> backing) {
    return std::make_shared<MutexObject>(rawName, RegistryKey(name), std::move(backing));
}

std::shared_ptr<SyncObject> MakeEvent(const std::string& rawName, const ObjectName& name,
                                      std::unique_ptr<Backing> backing, const json& initial) {
    return std::make_shared<EventObject>(rawName, RegistryKey(name), initial, std::move(backing));
}

std::shared_ptr<SyncObject> MakeSemaphore(const std::string& rawName, const ObjectName& name,
                                          std::unique_ptr<Backing> backing, const json& initial) {
    return std::make_shared<SemaphoreObject>(rawName, RegistryKey(name), initial, std::move(backing));
}

} // namespace

const char* SyncTypeName(SyncType type) {
    switch (type) {
    case SyncType::Mutex:
        return "mutex";
    case SyncType::Event:
        return "event";
    case SyncType::Semaphore:
        return "semaphore";
    case SyncType::Timer:
        return "timer";
    }
    return "unknown";
}

SyncResult CreateMutexObject(const std::string& name, bool initialOwner) {
    // The creator of a new mutex takes it before the namespace lets anyone else find it; one that
    // found the mutex gets no ownership.
    auto takeNew = [initialOwner](SyncObject& mutex) {
        if (initialOwner)
            mutex.Wait(0);
    };
    if (name.empty()) {
        SyncResult result{std::make_shared<MutexObject>("", "", nullptr), ERROR_SUCCESS, false};
        takeNew(*result.object);
        return result;
    }
    return NamedObject(
        SyncType::Mutex, name, MutexRecord(),
        [&](const ObjectName& n, auto backing) { return MakeMutex(name, n, std::move(backing)); }, takeNew);
}

SyncResult CreateEventObject(const std::string& name, bool manualReset, bool initialState) {
    const json record = EventRecord(manualReset, initialState);
    if (name.empty())
        return {std::make_shared<EventObject>("", "", record, nullptr), ERROR_SUCCESS, false};
    return NamedObject(SyncType::Event, name, record, [&](const ObjectName& n, auto backing) {
        return MakeEvent(name, n, std::move(backing), record);
    });
}

SyncResult CreateSemaphoreObject(const std::string& name, int32_t initialCount, int32_t maximumCount) {
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount)
        return {nullptr, ERROR_INVALID_PARAMETER, false};
    const json record = SemaphoreRecord(initialCount, maximumCount);
    if (name.empty())
        return {std::make_shared<SemaphoreObject>("", "", record, nullptr), ERROR_SUCCESS, false};
    return NamedObject(SyncType::Semaphore, name, record, [&](const ObjectName& n, auto backing) {
        return MakeSemaphore(name, n, std::move(backing), record);
    });
}

SyncResult CreateTimerObject(const std::string& name, bool manualReset) {
    if (name.empty())
        return {std::make_shared<TimerObject>("", "", manualReset), ERROR_SUCCESS, false};
    return NamedObject(SyncType::Timer, name, json{{"type", "timer"}}, [&](const ObjectName& n, auto) {
        return std::make_shared<TimerObject>(name, RegistryKey(n), manualReset);
    });
}

SyncResult OpenSyncObject(SyncType type, const std::string& name) {
    if (name.empty())
        return {nullptr, ERROR_INVALID_PARAMETER, false};
    return NamedObject(type, name, nullptr, [&](const ObjectName& n, std::unique_ptr<Backing> backing) {
        switch (type) {
        case SyncType::Mutex:
            return MakeMutex(name, n, std::move(backing));
        case SyncType::Event:
            return MakeEvent(name, n, std::move(backing), json::object());
        case SyncType::Semaphore:
            return MakeSemaphore(name, n, std::move(backing), json::object());
        case SyncType::Timer:
            break;
        }
        return std::shared_ptr<SyncObject>();
    });
}

bool SignalNamedEvent(const std::string& name) {
    SyncResult opened = OpenSyncObject(SyncType::Event, name);
    auto event = std::dynamic_pointer_cast<SyncEvent>(opened.object);
    return event && event->Set();
}

bool NamedObjectExists(const std::string& name) {
    ObjectName parsed;
    if (ParseName(name, parsed) != ERROR_SUCCESS)
        return false;
    std::lock_guard registryLock(RegistryMutex());
    if (Lookup(RegistryKey(parsed)))
        return true;
    if (PolicyFor(parsed).serviceObject)
        return true;
    ObjectFiles files{Current().stateDir() / "objects", parsed.fileStem};
    if (!fs::exists(files.ref()))
        return false;
    FileLock ns(files.namespaceLock());
    return ns.ok() && HeldByAnyProcess(files);
}

} // namespace sim

namespace sim {
namespace {

using namespace sim::schema;

const Section
    kKernelObjects("kernel_objects",
                   Object({{"deny_create", Array(Object({{"name", Text()},
                                                         {"type", OneOfText({"mutex", "event", "semaphore"})},
                                                         {"manual", Bool()},
                                                         {"signaled", Bool()},
                                                         {"count", Int(0, INT32_MAX)},
                                                         {"maximum", Int(1, INT32_MAX)}},
                                                        {"name", "type"}))}}));

} // namespace
} // namespace sim
