#pragma once
// Shared pieces of the fuzz targets: reading numbers and byte runs off the input, the shipped
// machines, and a walk over the exported C interface's queries.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace moxfuzz {

// The input as a stream; past its end every read gives zeros (or nothing).
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    uint8_t U8() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(U8() | U8() << 8); }
    uint32_t U32() { return static_cast<uint32_t>(U16() | static_cast<uint32_t>(U16()) << 16); }
    // Up to n bytes.
    std::vector<uint8_t> Bytes(size_t n);
    std::vector<uint8_t> Rest() { return Bytes(size_ - at_); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

std::string Hex(const std::vector<uint8_t>& bytes);

// The machine descriptions shipped in sim/machines, by file name, read once.
const std::vector<std::string>& ShippedMachines();

// A fresh state directory of a shipped machine (by the input's choice), current for the scope, on
// virtual time: a retry loop of the product costs no real time.
class FuzzMachine;
// `everyMachine` false leaves out large.json, whose session build alone takes seconds: the answer
// targets then run often enough to search.
std::unique_ptr<FuzzMachine> OpenShipped(uint8_t choice, bool everyMachine = true);
// How many driver requests (DeviceIoControl calls) WalkQueries makes on that machine (of those
// OpenShipped(choice, false) chooses from), counted once.
size_t WalkRequests(uint8_t choice);

// Opens the library and a session on the current machine, calls every query of the exported C
// interface on each handle the session gives out, and closes everything again. A failure is an
// answer; only a crash or a sanitizer report is a finding.
void WalkQueries();

} // namespace moxfuzz

#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/support/LibraryProcessState.h"

namespace moxfuzz {

class FuzzMachine {
public:
    // The library's process-wide tables start afresh too, as in a process of its own: a table read
    // once per process would otherwise take no replaced answer after the first input.
    explicit FuzzMachine(const sim::MachineBuilder& description) : machine_(description) {
        moxtest::ResetLibraryProcessState();
    }
    sim::ScopedMachine& operator*() { return machine_; }
    sim::ScopedMachine* operator->() { return &machine_; }

private:
    sim::ScopedVirtualClock clock_;
    sim::ScopedMachine machine_;
};

// Replaces the answer of the `skip`-th DeviceIoControl from now with `answer` (the whole answer,
// cut to the caller's buffer), optionally reporting `reported` bytes.
void ReplaceAnswer(sim::ScopedMachine& machine, unsigned skip, const std::vector<uint8_t>& answer,
                   std::optional<uint32_t> reported = std::nullopt);

} // namespace moxfuzz
