// Runs the built moxcli as a process on simulated machines and compares its standard output,
// standard error and exit code with golden files.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/MachineBuilder.h"
#include "tests/e2e/MoxcliProcess.h"
#include "tests/support/ExportTable.h"

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
    });
}

TEST(Moxcli, ACommandLeavesItsChangesToTheNext) {
    // The listing records the cache-memory pairing's status for the cache product's programs; the
    // next listing on the same machine finds it there and prints what a lone run prints.
    Scenario pc("pairing.json");
    ExpectGolden(pc.Command({"-I"}), "information-pairing");
    const sim::Value bexl = pc.State("/registry/keys/HKLM\\SOFTWARE\\WOW6432Node\\Orvex\\Bexl");
    for (const char* name : {"HalvexStatus", "IsHalvexEnabled"}) {
        EXPECT_EQ(bexl[name]["type"], sim::Value("REG_DWORD")) << name;
        EXPECT_TRUE(bexl[name]["data"].is_number()) << name;
    }
    ExpectGolden(pc.Command({"-I"}), "information-pairing");
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

// The defined symbols of the program's dynamic symbol table as nm lists them with these options.
std::string DynamicSymbols(const std::string& options) {
    std::string symbols;
    FILE* pipe =
        ::popen(("nm -D --defined-only " + options + " '" + std::string(MOX_CLI_PATH) + "'").c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (!pipe)
        return symbols;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        symbols.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0);
    return symbols;
}

// Other programs link against the program's exports: the C interface, the error class and the
// per-thread error store must be in its dynamic symbol table, defined.
TEST(Moxcli, ExportsTheLibraryInterface) {
    const std::string symbols = DynamicSymbols("");
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

TEST(Moxcli, ShippedMachineWithoutAnOwnDriverController) {
    // ports-demo has the vendor's driver on its remap port but no RAID controller of it.
    RunCases({{"information-ports-demo", "ports-demo.json", {"-I"}}});
}

// Runs moxcli through the shell with the environment given as "NAME=value ..." words, the
// simulator's and the tracing variables unset otherwise; the machine's state is wherever that
// environment puts it.
Run RunInEnvironment(const std::string& environment, const std::string& args, const fs::path& scratch) {
    const fs::path outPath = scratch / "stdout.txt", errPath = scratch / "stderr.txt";
    const std::string command = "env -u MOX_SIM_STATE -u MOX_SIM_MACHINE -u XDG_STATE_HOME -u MOX_TRACE "
                                "-u MOX_TRACE_LEVEL -u MOX_TRACE_FLAGS " +
                                environment + " '" + MOX_CLI_PATH + "' " + args + " >'" + outPath.string() +
                                "' 2>'" + errPath.string() + "'";
    const int status = std::system(command.c_str());
    Run run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadAll(outPath);
    run.err = ReadAll(errPath);
    return run;
}

// Without MOX_SIM_STATE the state lives in the user's own state directory, named after the machine
// file, and survives between runs: a description changed after the first run is not read again.
TEST(Moxcli, DefaultStateDirectoryIsTheUsersOwnAndSurvives) {
    TempDir home;
    const fs::path machine = home.path() / "desk.json";
    auto describe = [&](const char* volumeName) {
        sim::MachineBuilder builder = sim::MachineBuilder::Default();
        builder.Set("/adapters/0/raid/volumes/0/name", std::string("\"") + volumeName + "\"");
        std::ofstream(machine, std::ios::trunc) << builder.Text();
    };
    const std::string xdg = "XDG_STATE_HOME='" + (home.path() / "xdg").string() + "' HOME='" +
                            home.path().string() + "' MOX_SIM_MACHINE='" + machine.string() + "'";
    const std::string homeOnly =
        "HOME='" + home.path().string() + "' MOX_SIM_MACHINE='" + machine.string() + "'";

    describe("FirstName");
    const auto first = RunInEnvironment(xdg, "-I", home.path());
    ASSERT_EQ(first.exitCode, 0) << first.Transcript();
    EXPECT_NE(first.out.find("FirstName"), std::string::npos);
    EXPECT_TRUE(fs::exists(home.path() / "xdg" / "moxsim" / "desk" / "machine.json"));

    describe("SecondName");
    const auto again = RunInEnvironment(xdg, "-I", home.path());
    EXPECT_EQ(again.out, first.out);
    EXPECT_EQ(again.out.find("SecondName"), std::string::npos);

    // Without XDG_STATE_HOME: under the home directory, a directory of its own, filled afresh.
    const auto fresh = RunInEnvironment(homeOnly, "-I", home.path());
    EXPECT_NE(fresh.out.find("SecondName"), std::string::npos) << fresh.Transcript();
    EXPECT_TRUE(fs::exists(home.path() / ".local" / "state" / "moxsim" / "desk" / "machine.json"));
}

// Tracing writes nothing unless enabled; main's messages need the information level and flag 1.
TEST(Moxcli, TracingIsOffUnlessEnabled) {
    TempDir scratch;
    const fs::path trace = scratch.path() / "trace.txt";
    const std::string state = "MOX_SIM_STATE='" + (scratch.path() / "machine").string() + "'";
    const std::string to = " MOX_TRACE='" + trace.string() + "'";
    struct Case {
        std::string environment;
        bool started; // main's start and finish messages are written
    };
    const Case cases[] = {
        {state, false},
        {state + to + " MOX_TRACE_LEVEL=4", true},
        {state + to + " MOX_TRACE_LEVEL=3", false},
        {state + to + " MOX_TRACE_LEVEL=4 MOX_TRACE_FLAGS=2", false},
    };
    for (const Case& c : cases) {
        std::error_code ignored;
        fs::remove(trace, ignored);
        const auto run = RunInEnvironment(c.environment, "-V", scratch.path());
        // The program's own output is the same either way.
        ExpectGolden(run, "version");
        const std::string text = ReadAll(trace);
        EXPECT_EQ(text.find("[moxcli] INFO moxcli started, middleware version 20.1.0.1007\n") !=
                      std::string::npos,
                  c.started)
            << c.environment << "\n"
            << text;
        EXPECT_EQ(text.find("[moxcli] INFO moxcli finished, middleware version 20.1.0.1007\n") !=
                      std::string::npos,
                  c.started)
            << c.environment;
        if (c.environment == state) {
            EXPECT_FALSE(fs::exists(trace));
        }
    }
}

// The program's dynamic symbol table is exactly its export list: every function the library's headers
// mark for export, the error classes and the logger; not the entry points without an export name,
// nor anything of the simulator, the JSON library, the option library or the C++ library.
TEST(Moxcli, ExportsExactlyItsList) {
    const fs::path root = SourceDir().parent_path().parent_path();
    moxtest::ExpectExportsExactly(MOX_CLI_PATH, (root / "cli" / "moxcli.exports").string(),
                                  {"UviEventSetUpForKindWithHandle", "UviGetHybridDiskSetHandles",
                                   "UviGetHybridDiskSetInfo",
                                   "sim::", "platform::", "nlohmann::", "boost::", "std::", "testing::"});

    const std::vector<std::string> defined = moxtest::DefinedDynamicSymbols(MOX_CLI_PATH);
    auto isDefined = [&](const std::string& name) {
        return std::any_of(defined.begin(), defined.end(), [&](const std::string& symbol) {
            return symbol == name || symbol.starts_with(name + "(");
        });
    };
    // A declaration that starts with the mark (after an optional extern "C"); the mark's own
    // definition does not.
    const std::regex marked(R"((?:^|\n)(?:extern "C" )?MOX_EXPORT\s+[^;{(]*?(\w+)\s*\()");
    size_t found = 0;
    for (const char* folder : {"middleware/api", "middleware/core"})
        for (const auto& entry : fs::directory_iterator(root / folder)) {
            if (entry.path().extension() != ".h")
                continue;
            const std::string text = ReadAll(entry.path());
            for (std::sregex_iterator it(text.begin(), text.end(), marked), end; it != end; ++it) {
                ++found;
                EXPECT_TRUE(isDefined((*it)[1])) << (*it)[1] << " of " << entry.path().filename();
            }
        }
    EXPECT_GT(found, 100u);
    for (const char* member :
         {"CConsolidatedError::operator _UVI_Error() const", "CConsolidatedError::GetWynEolError()",
          "GlobalLogger::get()", "GlobalLogger::clean(unsigned long)", "UviGetVezkInfoEx"})
        EXPECT_TRUE(isDefined(member)) << member;
}

TEST(Moxcli, ModeOptionsOutsideTheMode) {
    RunCases({
        // The version mode reads no option: the report is the same.
        {"version", "", {"-V", "--progress"}},
        // The information mode refuses an option of another mode before its task exists.
        {"information-other-mode-option", "", {"-I", "--info"}},
    });
}

} // namespace

namespace {

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

TEST(Moxcli, InformationListsEveryArrayOfControllersWhoseArraysShareNames) {
    // Sixteen controllers, each numbering its two arrays from 0: every controller has a
    // "SATA_Array_0000".
    moxe2e::TempDir state;
    const moxe2e::Run run = moxe2e::RunMoxcli(sim::MachinesDir() / "large.json", {"-I"}, state.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Occurrences(run.out, "--ARRAY INFORMATION--"), 32u);
    EXPECT_EQ(Occurrences(run.out, "--VOLUME INFORMATION--"), 32u);
    EXPECT_EQ(run.out.find("Multiple arrays of that name."), std::string::npos);
}

} // namespace
