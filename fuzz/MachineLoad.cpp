// The machine description and state loaders: the input is a description (first byte even) or a
// state file written into a fresh state directory (odd). Refusing it is an answer; what is accepted
// must then serve every query of the exported C interface without a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    sim::ScopedVirtualClock clock;
    moxtest::ResetLibraryProcessState();
    try {
        if (data[0] % 2 == 0) {
            sim::ScopedMachine machine(sim::MachineBuilder::FromText(text));
            moxfuzz::WalkQueries();
        } else {
            // A state directory of its own, installed as the process's machine while it is walked.
            struct StateDir {
                std::filesystem::path path;
                StateDir() {
                    std::string pattern =
                        (std::filesystem::temp_directory_path() / "moxfuzz-XXXXXX").string();
                    if (!::mkdtemp(pattern.data()))
                        throw std::runtime_error("no temporary directory");
                    path = pattern;
                }
                ~StateDir() {
                    sim::Install(nullptr);
                    std::error_code ec;
                    std::filesystem::remove_all(path, ec);
                }
            } dir;
            std::ofstream(dir.path / "machine.json", std::ios::binary) << text;
            sim::Install(sim::Machine::Open(dir.path, sim::MachineBuilder::Default()));
            moxfuzz::WalkQueries();
        }
    } catch (const std::runtime_error&) {
    } catch (const std::invalid_argument&) {
    }
    return 0;
}
