// Runs the built moxcli as a process on simulated machines and compares its standard output,
// standard error and exit code with golden files.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/MachineBuilder.h"
#include "tests/e2e/MoxcliProcess.h"

namespace {

using namespace moxe2e;

struct Case {
    std::string golden;
    std::string machine; // a file of sim/machines, or empty for the embedded default
    std::vector<std::string> args;
};

void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        TempDir state;
        const fs::path machine = c.machine.empty() ? fs::path() : sim::MachinesDir() / c.machine;
        ExpectGolden(RunMoxcli(machine, c.args, state.path()), c.golden);
    }
}

// A machine made for one case, written beside its state directory.
Run RunOnBuiltMachine(const sim::MachineBuilder& builder, const std::vector<std::string>& args) {
    TempDir state;
    const fs::path machine = state.path() / "machine.json";
    std::ofstream(machine) << builder.Text();
    return RunMoxcli(machine, args, state.path());
}

TEST(Moxcli, ScopeAndFormatOptionsAreNotOffered) {
    // The narrowing options and the comma format are not registered with the parser.
    RunCases({
        {"information-controller", "", {"-I", "--controller", "SATA"}},
        {"information-array", "", {"-I", "--array"}},
        {"information-volume", "", {"-I", "--volume", "Volume0"}},
        {"information-disk", "", {"-I", "--disk", "0-0-2-0"}},
        {"information-comma", "", {"-I", "--comma"}},
    });
}

TEST(Moxcli, InformationOnEachMachine) {
    // Every controller kind, a degraded volume, a spare, a missing disk and other vendors' devices.
    RunCases({
        {"information-default", "", {"-I"}},
        {"information-long-option", "", {"--information"}},
        {"information-raid-demo", "raid-demo.json", {"-I"}},
        {"information-controllers", "controllers.json", {"-I"}},
        {"information-pairing", "pairing.json", {"-I"}},
        {"information-states", "states.json", {"-I"}},
    });
}

TEST(Moxcli, VersionHelpAndCommandLineErrors) {
    RunCases({
        {"version", "", {"-V"}},
        {"help", "", {"--help"}},
        {"information-help", "", {"--information", "--help"}},
        {"parse-error-hidden-mode", "", {"--create"}},
        {"parse-error-unknown-option", "", {"-I", "--bogus"}},
        {"no-mode", "", {}},
        {"two-modes", "", {"-I", "-V"}},
        {"mode-not-available", "", {"--manage"}},
    });
}

TEST(Moxcli, DriverVersionMustFitTheLibrary) {
    // The library is 20.1; the second controller's driver decides, so the text names that one.
    const std::pair<const char*, const char*> cases[] = {
        {"20.31.0.1007", "driver-minor-plus-30"},
        {"20.30.0.1007", "driver-minor-plus-29"},
        {"20.32.0.1007", "driver-minor-plus-31"},
        {"21.1.0.1007", "driver-other-major"},
    };
    for (const auto& [version, golden] : cases) {
        sim::MachineBuilder machine = sim::MachineBuilder::Default();
        machine.Set("/adapters/1/raid/controller/driver_version", std::string("\"") + version + "\"");
        ExpectGolden(RunOnBuiltMachine(machine, {"-V"}), golden);
    }
}

TEST(Moxcli, MachineWithoutTheVendorsDriver) {
    const sim::MachineBuilder empty("nodriver");
    ExpectGolden(RunOnBuiltMachine(empty, {"-I"}), "no-driver-information");
    ExpectGolden(RunOnBuiltMachine(empty, {"-V"}), "no-driver-version");
    ExpectGolden(RunOnBuiltMachine(empty, {"--help"}), "no-driver-help");
}

// Other programs link against the program's exports: the C interface, the error class and the
// per-thread error store must be in its dynamic symbol table, defined.
TEST(Moxcli, ExportsTheLibraryInterface) {
    std::string symbols;
    {
        FILE* pipe = ::popen(("nm -D --defined-only '" + std::string(MOX_CLI_PATH) + "'").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char buffer[4096];
        while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            symbols.append(buffer, n);
        ASSERT_EQ(::pclose(pipe), 0);
    }
    auto defines = [&](const std::string& name) {
        std::istringstream lines(symbols);
        for (std::string line; std::getline(lines, line);)
            if (line.size() > name.size() &&
                line.compare(line.size() - name.size(), name.size(), name) == 0 &&
                line[line.size() - name.size() - 1] == ' ')
                return true;
        return false;
    };
    for (const char* name :
         {"UviInitialize", "UviFinalize", "UviSessionOpen", "UviSessionClose", "UviGetControllerHandles",
          "UviGetControllerInfo", "UviGetEndDeviceInfo", "UviGetPhyInfo", "UviGetMiddlewareVersionInfo",
          "UviGetErrorMessage", "UviGetErrorDebugMessage", "UviEventWaitWithHandle"})
        EXPECT_TRUE(defines(name)) << name;
    // C++ exports: the error class's members and the logger's accessor (mangled names).
    EXPECT_NE(symbols.find("18CConsolidatedError"), std::string::npos);
    EXPECT_NE(symbols.find("_ZN12GlobalLogger3getEv"), std::string::npos);
}

} // namespace
