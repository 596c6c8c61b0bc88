// What the simulator does when its state directory lets it down: a full disk, damaged or unreadable
// files. Each is an error that names its cause, never a signal or a garbage figure.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/win/WinError.h"
#include "platform/win/WinRegistry.h"
#include "sim/KernelObjects.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace fs = std::filesystem;

namespace {

sim::Value Tiny() {
    return {{"name", "tiny"}, {"test", {{"greeting", "hello"}}}};
}

// Fills the file system holding `dir` up to `freePages` free pages.
void Fill(const fs::path& dir, int freePages) {
    int fd = ::open((dir / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        std::_Exit(90);
    static char page[4096];
    off_t size = 0;
    while (::write(fd, page, sizeof page) == static_cast<ssize_t>(sizeof page))
        size += sizeof page;
    if (::ftruncate(fd, size > freePages * 4096 ? size - freePages * 4096 : 0) != 0)
        std::_Exit(91);
    ::close(fd);
}

// A small file system of the test's own: a tmpfs in a mount namespace of this (child) process. False
// where the machine does not allow it; then a file size limit makes the writes fail instead.
bool SmallFileSystem(const fs::path& dir) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    return ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=512k") == 0;
}

// Runs `body` in a child process whose state directory sits on a full disk, with `freePages` pages
// left; the child's exit code (128 + signal when one ended it).
template <class Body> int OnFullDisk(int freePages, Body body) {
    std::string pattern = (fs::temp_directory_path() / "moxsim-full-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return -1;
    const fs::path dir = pattern;
    ::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        const bool mounted = SmallFileSystem(dir);
        std::shared_ptr<sim::Machine> m;
        try {
            m = sim::Machine::Open(dir / "state", Tiny());
        } catch (const std::exception&) {
            std::_Exit(92);
        }
        sim::Install(m);
        if (mounted) {
            Fill(dir, freePages);
        } else {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{static_cast<rlim_t>(freePages) * 8, static_cast<rlim_t>(freePages) * 8};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::_Exit(body(*m));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(StateFiles, AFullDiskFailsANamedObjectInsteadOfKillingTheProcess) {
    // With a page or two left the object's record fits and the mutex's ownership record may not.
    for (int freePages = 0; freePages <= 3; ++freePages) {
        int code = OnFullDisk(freePages, [&](sim::Machine&) {
            auto made = sim::CreateMutexObject("Local\\full-disk", false);
            if (!made.object)
                return made.error == ERROR_NO_SYSTEM_RESOURCES ? 0 : 1;
            auto taken = made.object->Wait(0);
            if (taken != sim::WaitOutcome::Signaled)
                return 2;
            return static_cast<sim::SyncMutex&>(*made.object).Release() ? 0 : 3;
        });
        EXPECT_EQ(code, 0) << freePages << " free pages";
    }
}

TEST(StateFiles, AFullDiskFailsAChangeWithItsCause) {
    for (int freePages = 0; freePages <= 1; ++freePages) {
        int code = OnFullDisk(freePages, [](sim::Machine& m) {
            try {
                m.Update([](sim::Value& s) { s["test"]["greeting"] = std::string(100000, 'x'); });
            } catch (const std::runtime_error& e) {
                // The file and the reason the system gave (the file size limit where no file
                // system of the test's own could be made).
                const std::string what = e.what();
                const bool reason = what.find(std::strerror(ENOSPC)) != std::string::npos ||
                                    what.find(std::strerror(EFBIG)) != std::string::npos;
                return what.find("machine.json") != std::string::npos && reason ? 0 : 4;
            }
            return 5;
        });
        EXPECT_EQ(code, 0) << freePages << " free pages";
    }
}

TEST(StateFiles, AStateEditedPastTheDescriptionChecksIsRefusedWhenRead) {
    struct Case {
        const char* pointer;
        sim::Value value;
        const char* problem;
    };
    const Case cases[] = {
        {"/disks/0/sectors", 1.5, "expected a whole number, found a fraction"},
        {"/disks/0/sectors", -4, "number -4 out of range"},
        {"/disks/0/logical_sector_size", "many", "expected a number"},
        {"/disks/0/modell", "X", "unknown key"},
    };
    for (const Case& c : cases) {
        sim::ScopedMachine m;
        m->SetValue(c.pointer, c.value);
        // The next process to read the state (here: another opening of the directory) checks it.
        try {
            sim::Machine::Open(m.stateDir(), sim::MachineBuilder::Default());
            ADD_FAILURE() << c.pointer << " loaded";
        } catch (const std::runtime_error& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find((m.stateDir() / "machine.json").string()), std::string::npos) << what;
            EXPECT_NE(what.find(std::string(c.pointer) + ": " + c.problem), std::string::npos) << what;
        }
    }
}

TEST(StateFiles, AStateFileThatCannotBeReadIsNamedWithTheSystemsReason) {
    sim::ScopedMachine m;
    const fs::path dir = m.stateDir() / "other";
    fs::create_directories(dir / "machine.json");
    try {
        sim::Machine::Open(dir, sim::MachineBuilder::Default());
        ADD_FAILURE() << "a directory in place of the state loaded";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot read the simulator state " +
                                             (dir / "machine.json").string() + ": " + std::strerror(EISDIR));
    }
}

TEST(StateFiles, APlatformCallOnAnUnusableStateFailsAndTellsTheUserWhy) {
    sim::ScopedMachine m;
    // Another program put a directory where the state file was.
    fs::rename(m.stateDir() / "machine.json", m.stateDir() / "moved.json");
    fs::create_directories(m.stateDir() / "machine.json");
    testing::internal::CaptureStderr();
    HKEY key = nullptr;
    const LSTATUS status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\StateFilesTest", 0, nullptr,
                                           REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, static_cast<LSTATUS>(ERROR_INVALID_DATA));
    EXPECT_NE(told.find((m.stateDir() / "machine.json").string() + ": " + std::strerror(EISDIR)),
              std::string::npos)
        << told;
    fs::remove(m.stateDir() / "machine.json");
    fs::rename(m.stateDir() / "moved.json", m.stateDir() / "machine.json");
}

TEST(StateFiles, AnObjectsFolderThatIsAFileFailsNamedObjectsWithItsCause) {
    sim::ScopedMachine m;
    std::ofstream(m.stateDir() / "objects") << "not a folder";
    testing::internal::CaptureStderr();
    auto made = sim::CreateEventObject("Local\\StateFilesTest", true, false);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(made.object);
    EXPECT_EQ(made.error, ERROR_NO_SYSTEM_RESOURCES);
    EXPECT_NE(told.find((m.stateDir() / "objects").string()), std::string::npos) << told;
    EXPECT_NE(told.find("Local\\StateFilesTest"), std::string::npos) << told;
}

TEST(StateFiles, AReadOnlyStateDirectoryNamesTheStateAndTheReason) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser writes into a read-only directory";
    sim::ScopedMachine m(Tiny());
    fs::permissions(m.stateDir(), fs::perms::owner_read | fs::perms::owner_exec);
    try {
        m->SetValue("/test/greeting", "changed");
        ADD_FAILURE() << "a change was written";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(std::strerror(EACCES)), std::string::npos) << e.what();
    }
    fs::permissions(m.stateDir(), fs::perms::owner_all);
}

} // namespace
