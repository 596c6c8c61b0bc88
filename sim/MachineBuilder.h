#pragma once
// Machine descriptions for tests and tools, built without their sources touching the JSON library:
// start from a shared description (the embedded default, a file of sim/machines, or an empty
// machine) and change it with JSON text. ScopedMachine takes the result.
#include <filesystem>
#include <string>
#include <string_view>

#include "sim/Value.h"

namespace sim {

class MachineBuilder {
public:
    // An empty machine: {"name": name}.
    explicit MachineBuilder(std::string_view name = "test");
    // The embedded default machine.
    static MachineBuilder Default();
    // A description under sim/machines ("controllers.json"), or any path.
    static MachineBuilder FromFile(const std::filesystem::path& nameOrPath);
    // Any JSON text.
    static MachineBuilder FromText(std::string_view json);

    // Applies a JSON merge patch (RFC 7386): objects merge, null removes a key, anything else replaces.
    MachineBuilder& Merge(std::string_view patchJson);
    // Sets the value at a JSON pointer ("/disks/0/sectors"), creating objects on the way.
    MachineBuilder& Set(std::string_view pointer, std::string_view valueJson);
    // Appends to the array at a JSON pointer (made if missing).
    MachineBuilder& Append(std::string_view arrayPointer, std::string_view valueJson);
    // Removes the value at a JSON pointer; a missing one is an error.
    MachineBuilder& Remove(std::string_view pointer);

    const std::string& Text() const { return text_; }
    // The description as a value, for a test that edits it further.
    Value AsValue() const;

private:
    std::string text_;
};

// The folder of the machine descriptions of the source tree.
std::filesystem::path MachinesDir();

} // namespace sim
