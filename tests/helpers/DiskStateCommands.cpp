// What a second process reads of the disks after an operation changed them.
#include <cstdio>
#include <vector>

#include "middleware/api/UviApi.h"
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/core/ConsolidatedError.h"
#include "tests/helpers/ChildCommands.h"

namespace {

// uvi-disk-states: starts the library and prints, from one session, a line "<serial> <state>
// <usage> <SMART event>" per end device, the serial the driver's RAID record gives (else the
// device's own).
moxtest::ChildCommandRegistrar diskStates("uvi-disk-states", [](const std::vector<std::string>&) {
    // A failed call is printed with its code and texts, so that the test that reads the states says
    // why they are missing.
    const auto failed = [](const char* call, const _UVI_Error& error) {
        const CConsolidatedError logged = GetLoggedError(error);
        std::printf("error %s 0x%X %s %s\n", call, static_cast<unsigned>(error.code),
                    logged.GetErrorMessage() ? logged.GetErrorMessage() : "", logged.GetDebugInformation());
        return 1;
    };
    unsigned session = 0;
    if (const _UVI_Error e = UviInitialize(); e.status != UVI_STATUS_SUCCESS)
        return failed("UviInitialize", e);
    if (const _UVI_Error e = UviSessionOpen(&session); e.status != UVI_STATUS_SUCCESS)
        return failed("UviSessionOpen", e);
    uint32_t count = 64;
    std::vector<uint32_t> handles(count);
    if (const _UVI_Error e = UviGetEndDeviceHandles(session, handles.data(), &count);
        e.status != UVI_STATUS_SUCCESS)
        return failed("UviGetEndDeviceHandles", e);
    for (uint32_t i = 0; i < count; ++i) {
        _UVI_EndDeviceInfo info{};
        if (const _UVI_Error e = UviGetEndDeviceInfo(session, handles[i], &info);
            e.status != UVI_STATUS_SUCCESS)
            return failed("UviGetEndDeviceInfo", e);
        std::printf("%s %u %u %u\n", info.raidSerialNumber[0] ? info.raidSerialNumber : info.serialNumber,
                    info.state, info.usage, static_cast<unsigned>(info.smartEvent));
    }
    static_cast<void>(UviSessionClose(session));
    static_cast<void>(UviFinalize());
    return 0;
});

} // namespace
