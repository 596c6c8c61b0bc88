// The master file table reader's run-list decoder: the input is a run list as a file record carries
// it. Whatever the bytes, the decoder stays inside them and inside its table of eight runs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "cli/tasks/LoadMft.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MOX::MftRunTable runs{};
    const size_t count = MOX::DecodeRunList(std::span<const uint8_t>(data, size), runs);
    // Every run takes a header byte and at least two field bytes.
    if (count > runs.size() || count * 3 > size)
        std::abort();
    return 0;
}
