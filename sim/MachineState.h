#pragma once
// The simulator's own view of a machine: its state as a JSON document, and the descriptions it
// starts from. Only the simulator's sources include this; tests reach machines through
// sim/Machine.h and sim/MachineBuilder.h.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "sim/Machine.h"

namespace sim {

struct Machine::Document {
    nlohmann::json json;
};

template <class F> void Machine::Read(F&& f) const {
    ReadDocument([&](const Document& d) { f(d.json); });
}

template <class F> void Machine::Update(F&& f) {
    UpdateDocument([&](Document& d) { f(d.json); });
}

// Opens the machine kept in stateDir, initialising a fresh directory from the description (checked
// first; std::runtime_error naming `where`, the JSON pointer and the problem). `describe` runs only
// when the directory is fresh.
std::shared_ptr<Machine> OpenMachine(const std::filesystem::path& stateDir, const nlohmann::json& description,
                                     const std::string& where = "machine description");
std::shared_ptr<Machine> OpenMachine(const std::filesystem::path& stateDir,
                                     const std::function<nlohmann::json()>& describe,
                                     const std::string& where);

// A copy of the whole state.
nlohmann::json Snapshot(const Machine& machine);

// The embedded default machine (sim/machines/default.json), checked.
const nlohmann::json& DefaultDescription();
// Reads and checks a machine description file; throws std::runtime_error with the file, the JSON
// pointer and the reason.
nlohmann::json LoadDescription(const std::filesystem::path& file);

} // namespace sim
