#pragma once
// The registry of the simulated machine ("registry" section): a tree of keys with typed values.
// Paths are full native paths that begin with a root ("HKLM\SOFTWARE\Orvex\Bexl"; HKLM, HKCU, HKCR,
// HKU and HKCC, or their long names); key and value names compare without case, and keep the
// spelling they were first written with. A key exists when it is listed or a listed key lies below
// it; HKLM\SOFTWARE and HKLM\SYSTEM (and HKLM\SOFTWARE\WOW6432Node on a 64-bit machine) always exist.
// Every change is appended to the section's write log, which tests read.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/Value.h"

namespace sim::registry {

// How a program's text crosses the boundary: narrow (UTF-8) or wide (wchar_t) characters.
enum class TextForm { Narrow, Wide };

// A stored value is {"type": "REG_DWORD", "data": ...}: a number for REG_DWORD, REG_DWORD_BIG_ENDIAN
// and REG_QWORD, a string for REG_SZ and REG_EXPAND_SZ, an array of strings for REG_MULTI_SZ, a hex
// string for REG_BINARY and other types; a value whose bytes do not fit its type's form keeps them
// as a hex string in "bytes". Types without a name are stored as their number.
// (The conversions to and from bytes are the simulator's, in sim/RegistryStore.h.)
std::string TypeName(uint32_t type);

// The native path of a key that a program names in a registry view: in the 32-bit view of a 64-bit
// machine, HKLM\SOFTWARE\x is HKLM\SOFTWARE\WOW6432Node\x.
std::string ViewPath(const std::string& path, bool view32);

bool KeyExists(const std::string& path);
// The names of the key's listed subkeys, as first spelled.
std::vector<std::string> SubKeys(const std::string& path);
// Creates the key and its missing parents; created tells whether it was new.
uint32_t CreateKey(const std::string& path, bool* created);
// ERROR_FILE_NOT_FOUND when the key or value does not exist; an empty name is the default value.
uint32_t QueryValue(const std::string& key, const std::string& name, Value* value);
uint32_t SetValue(const std::string& key, const std::string& name, const Value& value);
uint32_t DeleteValue(const std::string& key, const std::string& name);
// Deletes the key's subkeys and values, and the key itself when includeKey.
uint32_t DeleteTree(const std::string& key, bool includeKey);

// The changes, oldest first: {"op": "set_value" | "delete_value" | "create_key" | "delete_tree",
// "key", and for values "name" and the stored "type" and "data"}. The log keeps the latest 1000.
std::vector<Value> WriteLog();
void ClearWriteLog();

} // namespace sim::registry
