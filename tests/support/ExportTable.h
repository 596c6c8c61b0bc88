#pragma once
// A deliverable's dynamic symbol table read both ways against its export list (the list the build
// hands the linker, cmake/MoxTargets.cmake): every listed name is defined, and nothing else is.
#include <string>
#include <vector>

namespace moxtest {

// The defined names of the binary's dynamic symbol table, demangled ("UviInitialize",
// "GlobalLogger::get()", "typeinfo for CConsolidatedError").
std::vector<std::string> DefinedDynamicSymbols(const std::string& binary);

// Expects the binary's defined dynamic symbols to be exactly the list's names, besides the few the
// linker defines itself, and none of them to be or start with one of `forbidden` (names, or
// namespaces as "sim::").
void ExpectExportsExactly(const std::string& binary, const std::string& exportList,
                          const std::vector<std::string>& forbidden);

} // namespace moxtest
