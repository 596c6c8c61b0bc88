#include "sim/StateLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/Machine.h"

namespace sim {
namespace {

// Cut the file back once it holds about four times the entries it keeps.
constexpr size_t kBytesPerEntry = 256;

class LockedFile {
public:
    LockedFile(const std::string& path, int lock) {
        do
            fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        while (fd_ < 0 && errno == EINTR);
        if (fd_ >= 0)
            while (::flock(fd_, lock) != 0 && errno == EINTR) {
            }
    }
    ~LockedFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    int fd() const { return fd_; }

    std::string Read(off_t from = 0) const {
        std::string text;
        char chunk[8192];
        for (off_t at = from;;) {
            ssize_t n = ::pread(fd_, chunk, sizeof chunk, at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return text;
            text.append(chunk, static_cast<size_t>(n));
            at += n;
        }
    }
    // 0, or the errno of the write that failed (ENOSPC on a full disk).
    int Write(const std::string& text) const {
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? errno : ENOSPC;
            done += static_cast<size_t>(n);
        }
        return 0;
    }
    off_t Size() const {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 ? st.st_size : 0;
    }

private:
    int fd_ = -1;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::optional<nlohmann::json> Parse(const std::string& line) {
    nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
    if (entry.is_discarded())
        return std::nullopt;
    return entry;
}

} // namespace

StateLog::StateLog(std::string file, size_t keep) : file_(std::move(file)), keep_(keep) {}

void StateLog::Append(const std::function<nlohmann::json(const std::optional<nlohmann::json>& last)>& make) {
    const std::string path = (Current().stateDir() / file_).string();
    LockedFile log(path, LOCK_EX);
    if (log.fd() < 0)
        throw std::runtime_error("Cannot open the simulator log " + path + ": " + std::strerror(errno));
    std::optional<nlohmann::json> last;
    const off_t size = log.Size();
    if (size > 0) {
        // The last line: entries are short, so the tail of the file holds it.
        const off_t from = size > 65536 ? size - 65536 : 0;
        auto lines = Lines(log.Read(from));
        if (!lines.empty())
            last = Parse(lines.back());
    }
    if (int error = log.Write(make(last).dump() + "\n")) {
        // A partly written entry would join the next one on its line.
        [[maybe_unused]] const int cut = ::ftruncate(log.fd(), size);
        throw std::runtime_error("Cannot write the simulator log " + path + ": " + std::strerror(error));
    }
    if (static_cast<size_t>(log.Size()) > keep_ * kBytesPerEntry * 4) {
        auto lines = Lines(log.Read());
        std::string kept;
        for (size_t i = lines.size() > keep_ ? lines.size() - keep_ : 0; i < lines.size(); ++i)
            kept += lines[i] + "\n";
        if (::ftruncate(log.fd(), 0) == 0)
            log.Write(kept);
    }
}

void StateLog::Append(const nlohmann::json& entry) {
    Append([&](const std::optional<nlohmann::json>&) { return entry; });
}

std::vector<nlohmann::json> StateLog::Entries() const {
    LockedFile log((Current().stateDir() / file_).string(), LOCK_SH);
    std::vector<nlohmann::json> out;
    auto lines = Lines(log.Read());
    for (size_t i = lines.size() > keep_ ? lines.size() - keep_ : 0; i < lines.size(); ++i)
        if (auto entry = Parse(lines[i]))
            out.push_back(std::move(*entry));
    return out;
}

void StateLog::Clear() {
    LockedFile log((Current().stateDir() / file_).string(), LOCK_EX);
    if (log.fd() >= 0 && ::ftruncate(log.fd(), 0) != 0)
        throw std::runtime_error("Cannot clear the simulator log " + file_);
}

} // namespace sim
