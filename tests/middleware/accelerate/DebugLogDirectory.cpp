// The pairing operations write their debug log ("MW_DEBUG_LOG_%04d.txt") into the current
// directory, as the product does; this folder's tests run in a temporary directory of their own,
// removed at the end, so the logs land neither in the build tree nor in the sources.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct TemporaryWorkingDirectory {
    std::string dir;
    std::filesystem::path previous;
    TemporaryWorkingDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "moxaccel-cwd-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            return;
        std::error_code ec;
        previous = std::filesystem::current_path(ec);
        std::filesystem::current_path(pattern, ec);
        if (!ec)
            dir = pattern;
    }
    ~TemporaryWorkingDirectory() {
        if (dir.empty())
            return;
        std::error_code ec;
        std::filesystem::current_path(previous, ec);
        std::filesystem::remove_all(dir, ec);
    }
} g_workingDirectory;

} // namespace
