#include "sim/driver/RaidState.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <map>
#include <memory>
#include <mutex>

#include "platform/win/WinError.h"
#include "sim/Clock.h"
#include "sim/KernelObjects.h"
#include "sim/Machine.h"
#include "sim/MachineState.h"
#include "sim/storage/DiskEntries.h"

namespace sim::driver {

void Announce(json& adapter, Announcements& out, uint64_t flags) {
    json& vp = adapter["volume_port"];
    if (!vp.is_object())
        vp = json::object();
    vp["event_counter"] = static_cast<uint64_t>(Num(vp, "event_counter")) + 1;
    constexpr uint64_t kFlagMask = 0x7Full << 20;
    vp["event_value"] = (static_cast<uint64_t>(Num(vp, "event_value")) & ~kFlagMask) | (flags & kFlagMask);
    out.raised = true;
    if (auto it = vp.find("events"); it != vp.end() && it->is_array())
        for (const auto& name : *it)
            if (name.is_string())
                out.events.push_back("Global\\" + name.get<std::string>());
}

void SignalAnnounced(const Announcements& announced) {
    for (const auto& name : announced.events)
        sim::SignalNamedEvent(name);
}

namespace {

// Resolved views of the controllers' "raid" sections, kept while the state they were built from is
// the one being read.
struct ViewCache {
    std::mutex mutex;
    uint64_t generation = 0;
    std::map<const json*, std::shared_ptr<const json>> views;
};

ViewCache& Views() {
    static ViewCache cache;
    return cache;
}

} // namespace

RaidView::RaidView(const json& state, const json& raid) {
    const uint64_t generation = Machine::ReadGeneration();
    if (generation == 0) {
        view_ = std::make_shared<const json>(ResolvedRaid(state, raid));
        return;
    }
    ViewCache& cache = Views();
    std::lock_guard lock(cache.mutex);
    if (cache.generation != generation) {
        cache.views.clear();
        cache.generation = generation;
    }
    auto& slot = cache.views[&raid];
    if (!slot)
        slot = std::make_shared<const json>(ResolvedRaid(state, raid));
    view_ = slot;
}

devio::DriverAnswer RunOnController(int port, bool writes, const ControllerWork& answer) {
    Machine& m = Current();
    const uint64_t now = Clock::NowMs();
    Announcements out;
    devio::DriverAnswer result;
    bool found = false;
    bool needWrite = writes;
    try {
        if (!writes) {
            m.Read([&](const json& state) {
                const json* adapter = AdapterOf(state, port);
                if (!adapter)
                    return;
                found = true;
                if (WorkDue(*adapter, now)) {
                    needWrite = true;
                    return;
                }
                // A request that changes the controller says `writes`; one that does not reads the
                // machine's own adapter (no copy per request).
                result = answer(state, const_cast<json&>(*adapter), now, out);
            });
        }
        if (needWrite) {
            m.Update([&](json& state) {
                json* adapter = AdapterOf(state, port);
                found = adapter != nullptr;
                if (!adapter)
                    return;
                Advance(state, *adapter, now, out);
                result = answer(state, *adapter, now, out);
                PublishCreatedVolumes(state, *adapter);
            });
        }
    } catch (const std::exception&) {
        // A description the driver cannot read (a text where a number belongs, ...) fails the
        // request as a device error rather than ending the caller.
        return {ERROR_IO_DEVICE, 0};
    }
    if (!found)
        return {ERROR_INVALID_FUNCTION, 0};
    SignalAnnounced(out);
    return result;
}

} // namespace sim::driver
