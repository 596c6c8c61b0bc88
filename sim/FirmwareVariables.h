#pragma once
// The UEFI variable store of the simulated machine ("firmware" section): every variable is kept by
// its name (case-sensitive) and its vendor GUID (compared without case), with its attributes and
// its bytes, and persists with the machine like every other change.
//
//   "firmware": { "variables": [
//     { "name": "OrvexZrcOsVariable", "guid": "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}",
//       "attributes": 7, "hex": "0100 0101 0000 ..." } ] }
//
// `attributes` defaults to 7 (non-volatile, boot-service and run-time access). A variable of any
// size can be described, so the too-short and too-long values a reader must cope with are one
// entry away; a missing variable is simply not listed.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Value.h"

namespace sim::firmware {

struct Variable {
    std::string name;
    std::string guid; // lower case, in braces
    uint32_t attributes = 7;
    std::vector<uint8_t> data;
};

// The GUID in its stored spelling (lower case, in braces), or nothing when the text is no GUID in
// braces.
std::optional<std::string> NormalGuid(std::string_view text);

// Throws std::runtime_error naming the entry (its path in the machine document) when the section is
// malformed: an unknown key, a name or GUID missing or of the wrong form, bytes that are no hex.
std::vector<Variable> Variables();
std::optional<Variable> Find(const std::string& name, const std::string& guid);
// Creates or replaces the variable in one change of the machine.
void Write(const Variable& variable);
// False when there was no such variable.
bool Remove(const std::string& name, const std::string& guid);

// The write log: what programs wrote through SetFirmwareEnvironmentVariable, oldest first (the
// latest 1000), appended to the state directory's "firmware-writes.jsonl" as {"op": "set" |
// "delete", "name", "guid", "hex"}. A test reads it to see whether and what a program wrote.
void RecordWrite(const Variable& variable, bool deleted);
std::vector<Value> WriteLog();

} // namespace sim::firmware
