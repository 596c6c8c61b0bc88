// Subscribers of the event interface in a process of their own: what a subscription sees on another
// machine, and a process that exits while it is subscribed.
#include <cstdio>
#include <string>

#include "middleware/api/UviApi.h"
#include "tests/helpers/ChildCommands.h"

namespace {

// uvi-event-subscribe-all [N]: subscribes to everything N times (default once), printing each handle.
moxtest::ChildCommandRegistrar subscribeAll("uvi-event-subscribe-all", [](const std::vector<std::string>& a) {
    const int times = a.empty() ? 1 : std::stoi(a[0]);
    for (int i = 0; i < times; ++i)
        std::printf("%llu\n", UviEventSetUpForAllWithHandle());
    return 0;
});

// uvi-event-exit-subscribed: subscribes, says "ready", waits (up to a minute) for one event, prints its kind
// and flags, and exits with the subscription and its workers still running.
moxtest::ChildCommandRegistrar
    exitSubscribed("uvi-event-exit-subscribed", [](const std::vector<std::string>&) {
        const unsigned long long handle = UviEventSetUpForAllWithHandle();
        if (handle == 0)
            return 1;
        std::printf("ready\n");
        std::fflush(stdout);
        _UVI_EventRecord record{};
        const _UVI_Error result = UviEventWaitWithHandle(60000, handle, &record);
        std::printf("%u %u %u\n", static_cast<unsigned>(result.code), record.kind, record.flags);
        return 0;
    });

} // namespace
