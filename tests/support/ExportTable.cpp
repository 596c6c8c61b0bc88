#include "tests/support/ExportTable.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"

namespace moxtest {

namespace {

// What the linker puts into every program's table whatever the version script says.
const std::set<std::string> kLinkerDefined = {"_IO_stdin_used", "__bss_start", "_edata", "_end",
                                              "__data_start",   "data_start",  "_init",  "_fini"};

struct ExportList {
    std::set<std::string> names; // C functions and C++ functions, as nm -C prints them
    std::vector<std::string> classes;
};

ExportList ReadExportList(const std::string& path) {
    ExportList list;
    std::ifstream file(path);
    EXPECT_TRUE(file) << path;
    for (std::string line; std::getline(file, line);) {
        line.erase(0, line.find_first_not_of(' '));
        if (line.empty() || line[0] == '#')
            continue;
        if (line.starts_with("class "))
            list.classes.push_back(line.substr(6));
        else if (line.starts_with("c++ "))
            list.names.insert(line.substr(4));
        else
            list.names.insert(line);
    }
    return list;
}

bool OfClass(const std::string& symbol, const std::string& name) {
    return symbol.starts_with(name + "::") || symbol == "typeinfo for " + name ||
           symbol == "typeinfo name for " + name || symbol == "vtable for " + name;
}

} // namespace

namespace {

// What a binary tool prints about the binary.
std::string Read(const char* tool, const std::vector<std::string>& options, const std::string& binary) {
    std::vector<std::string> args = options;
    args.push_back(binary);
    const ChildResult run = RunProgram(tool, args);
    EXPECT_EQ(run.exitCode, 0) << tool << " " << binary;
    return run.output;
}

// "std::cout@GLIBCXX_3.4" names the same symbol as "std::cout".
std::string Unversioned(const std::string& symbol) {
    return symbol.substr(0, symbol.find('@'));
}

// Data another library defines, of which the program holds a copy (copy relocations: the C++
// library's streams, the sanitizers' flags): in its table, but not its export.
std::set<std::string> CopiedData(const std::string& binary) {
    std::set<std::string> copied;
    std::istringstream lines(Read("/usr/bin/readelf", {"-rW", "-C"}, binary));
    for (std::string line; std::getline(lines, line);) {
        if (line.find("R_X86_64_COPY") == std::string::npos)
            continue;
        std::istringstream fields(line);
        std::string offset, info, type, value, name;
        fields >> offset >> info >> type >> value;
        std::getline(fields >> std::ws, name);
        copied.insert(Unversioned(name.substr(0, name.rfind(" + "))));
    }
    return copied;
}

// The entity a symbol belongs to: "typeinfo for sim::X" is of "sim::X".
std::string Entity(const std::string& symbol) {
    for (const char* prefix :
         {"typeinfo for ", "typeinfo name for ", "vtable for ", "VTT for ", "guard variable for "})
        if (symbol.starts_with(prefix))
            return symbol.substr(std::string(prefix).size());
    return symbol;
}

} // namespace

std::vector<std::string> DefinedDynamicSymbols(const std::string& binary) {
    std::vector<std::string> symbols;
    // "<address> <type> <name>"
    std::istringstream lines(Read("/usr/bin/nm", {"-D", "--defined-only", "-C"}, binary));
    for (std::string line; std::getline(lines, line);)
        if (const size_t at = line.find(' ', line.find(' ') + 1); at != std::string::npos)
            symbols.push_back(Unversioned(line.substr(at + 1)));
    return symbols;
}

void ExpectExportsExactly(const std::string& binary, const std::string& exportList,
                          const std::vector<std::string>& forbidden) {
    const ExportList list = ReadExportList(exportList);
    EXPECT_FALSE(list.names.empty()) << exportList;
    const std::vector<std::string> defined = DefinedDynamicSymbols(binary);
    const std::set<std::string> definedSet(defined.begin(), defined.end());
    for (const std::string& name : list.names)
        EXPECT_TRUE(definedSet.contains(name)) << name << " is not exported";
    for (const std::string& name : list.classes)
        EXPECT_TRUE(std::any_of(defined.begin(), defined.end(),
                                [&](const std::string& symbol) { return OfClass(symbol, name); }))
            << "nothing of class " << name << " is exported";
    const std::set<std::string> copied = CopiedData(binary);
    for (const std::string& symbol : defined) {
        if (kLinkerDefined.contains(symbol) || copied.contains(symbol))
            continue;
        const bool listed = list.names.contains(symbol) ||
                            std::any_of(list.classes.begin(), list.classes.end(),
                                        [&](const std::string& c) { return OfClass(symbol, c); });
        EXPECT_TRUE(listed) << symbol << " is exported but not listed";
        const std::string entity = Entity(symbol);
        for (const std::string& name : forbidden)
            EXPECT_FALSE(entity == name || entity.starts_with(name + "(") ||
                         (name.ends_with("::") && entity.starts_with(name)))
                << symbol << " must not be exported";
    }
}

} // namespace moxtest
