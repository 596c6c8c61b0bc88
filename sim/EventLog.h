#pragma once
// The event log of the simulated machine ("eventlog" section): the application log's entries, oldest
// first, as programs report them. The log keeps its latest 1000 entries.
#include <cstdint>
#include <string>
#include <vector>

namespace sim::eventlog {

struct Entry {
    uint64_t record = 0; // given by Append, counting from 1
    std::string source;
    uint16_t type = 0;
    uint16_t category = 0;
    uint32_t eventId = 0;
    std::vector<std::string> strings;
    std::vector<uint8_t> data;
};

// Appends the entry to the application log; returns its record number.
uint64_t Append(Entry entry);
std::vector<Entry> Entries();
void Clear();

} // namespace sim::eventlog
