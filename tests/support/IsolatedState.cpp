// Every test process gets a simulated machine of its own: a test that reaches the machine without
// installing one must not share (and change) the user's default state directory with the tests that
// ctest runs beside it.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct IsolatedState {
    std::string dir;

    IsolatedState() {
        if (const char* set = std::getenv("MOX_SIM_STATE"); set && *set)
            return;
        std::string pattern = (std::filesystem::temp_directory_path() / "moxsim-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            return;
        dir = pattern;
        ::setenv("MOX_SIM_STATE", dir.c_str(), 1);
    }

    ~IsolatedState() {
        if (dir.empty())
            return;
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
} g_isolatedState;

} // namespace
