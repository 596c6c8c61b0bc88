// What a second process reads of the disks after an operation changed them.
#include <cstdio>
#include <vector>

#include "middleware/api/UviApi.h"
#include "middleware/api/UviDeviceQueries.h"
#include "tests/helpers/ChildCommands.h"

namespace {

// uvi-disk-states: starts the library and prints, from one session, a line "<serial> <state>
// <usage> <SMART event>" per end device, the serial the driver's RAID record gives (else the
// device's own).
moxtest::ChildCommandRegistrar diskStates("uvi-disk-states", [](const std::vector<std::string>&) {
    unsigned session = 0;
    if (UviInitialize().status != UVI_STATUS_SUCCESS || UviSessionOpen(&session).status != UVI_STATUS_SUCCESS)
        return 1;
    uint32_t count = 64;
    std::vector<uint32_t> handles(count);
    if (UviGetEndDeviceHandles(session, handles.data(), &count).status != UVI_STATUS_SUCCESS)
        return 1;
    for (uint32_t i = 0; i < count; ++i) {
        _UVI_EndDeviceInfo info{};
        if (UviGetEndDeviceInfo(session, handles[i], &info).status != UVI_STATUS_SUCCESS)
            return 1;
        std::printf("%s %u %u %u\n", info.raidSerialNumber[0] ? info.raidSerialNumber : info.serialNumber,
                    info.state, info.usage, static_cast<unsigned>(info.smartEvent));
    }
    static_cast<void>(UviSessionClose(session));
    static_cast<void>(UviFinalize());
    return 0;
});

} // namespace
