// The session build (the snapshot of controllers, disks, arrays, volumes and pairs) over several
// replaced driver answers at once, each at a request the input chooses.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "middleware/api/UviApi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    moxfuzz::Input in(data, size);
    auto machine = moxfuzz::OpenShipped(in.U8(), false);
    unsigned skip = 0;
    for (int rule = 0; rule < 8 && !in.empty(); ++rule) {
        // Each rule counts the requests from the start: the next one fires at a later request.
        skip += in.U8();
        const size_t length = in.U16() % 4096;
        moxfuzz::ReplaceAnswer(**machine, skip, in.Bytes(length));
    }
    UviInitialize();
    unsigned session = 0;
    if (UviSessionOpen(&session).status == 0)
        UviSessionClose(session);
    UviFinalize();
    return 0;
}
