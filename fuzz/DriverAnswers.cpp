// Every parser of a driver answer, fed through the simulator's whole-answer fault: one request of a
// walk over the exported queries (chosen by the input, on a shipped machine it also chooses, all but
// the large one) gets the input's bytes as its answer, with or without a reported length of its own.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    moxfuzz::Input in(data, size);
    const uint8_t choice = in.U8();
    const size_t requests = moxfuzz::WalkRequests(choice);
    auto machine = moxfuzz::OpenShipped(choice, false);
    const unsigned skip = static_cast<unsigned>(in.U16() % requests);
    const uint8_t form = in.U8();
    std::optional<uint32_t> reported;
    if (form & 1)
        reported = in.U32() % 0x20000;
    moxfuzz::ReplaceAnswer(**machine, skip, in.Rest(), reported);
    moxfuzz::WalkQueries();
    return 0;
}
