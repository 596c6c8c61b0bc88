// Commands of the cache-memory pairing tests that run in a second process.
#include <cstdio>

#include "middleware/accelerate/UVIAccelerateAction.h"
#include "middleware/api/UviApi.h"
#include "middleware/api/UviVezkRecords.h"
#include "tests/helpers/ChildCommands.h"

namespace {

// vezk-enable: enables the pairing in one step with the facade's defaults and prints the status and
// the code.
moxtest::ChildCommandRegistrar vezkEnable("vezk-enable", [](const std::vector<std::string>&) {
    static_cast<void>(UviInitialize()); // the facade's actions take temporary sessions
    UVIAccelerateAction facade;
    const _UVI_Error result = facade.doVezkEnableOneStep();
    std::printf("%u %#X\n", static_cast<unsigned>(result.status), static_cast<unsigned>(result.code));
    return 0;
});

// vezk-info: prints the first pairing controller's pairing state, operation status and members.
moxtest::ChildCommandRegistrar vezkInfo("vezk-info", [](const std::vector<std::string>&) {
    static_cast<void>(UviInitialize()); // a second start answers "duplicate" and changes nothing
    _UVI_VezkInfo info{};
    const _UVI_Error result = UviGetVezkInfo(0, 0, &info);
    std::printf("%#X pair %u status %u fast %u slow %u\n", static_cast<unsigned>(result.code), info.pairType,
                info.halvexStatus, info.fastDiskHandle, info.slowDiskHandle);
    return 0;
});

} // namespace
