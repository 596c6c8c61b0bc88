#include "platform/win/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/win/WinError.h"
#include "sim/Os.h"
#include "sim/PlatformCall.h"
#include "sim/TraceProviders.h"

namespace platform {
namespace {

struct TraceConfig {
    FILE* out = nullptr;
    UCHAR level = TRACE_LEVEL_VERBOSE;
    ULONG flags = 0xFFFFFFFFu;
};

const TraceConfig& Config() {
    static const TraceConfig config = [] {
        TraceConfig c;
        const char* target = std::getenv("MOX_TRACE");
        if (target && *target)
            c.out = std::strcmp(target, "stderr") == 0 ? stderr : std::fopen(target, "a");
        if (const char* level = std::getenv("MOX_TRACE_LEVEL"))
            c.level = static_cast<UCHAR>(std::strtoul(level, nullptr, 0));
        if (const char* flags = std::getenv("MOX_TRACE_FLAGS"))
            c.flags = static_cast<ULONG>(std::strtoul(flags, nullptr, 0));
        return c;
    }();
    return config;
}

const char* LevelName(UCHAR level) {
    switch (level) {
    case TRACE_LEVEL_CRITICAL:
        return "CRITICAL";
    case TRACE_LEVEL_ERROR:
        return "ERROR";
    case TRACE_LEVEL_WARNING:
        return "WARNING";
    case TRACE_LEVEL_INFORMATION:
        return "INFO";
    default:
        return "VERBOSE";
    }
}

std::mutex g_writeMutex;

// The program's name as a trace provider: its file name without the extension.
const std::string& ProgramProvider() {
    static const std::string name = [] {
        std::string base = sim::os::ProgramBaseName();
        return base.substr(0, base.rfind('.'));
    }();
    return name;
}

// Registered providers by handle, and what each provider text saw, for tests. Made on first use and
// kept: libraries register from their own static initialisers and unregister from their
// destructors, in whatever order the loader runs them.
struct Providers {
    std::mutex mutex;
    std::map<TRACEHANDLE, std::string> names;
    std::map<std::string, sim::trace::ProviderCounts> counts;
    TRACEHANDLE next = 0;
};
Providers& TheProviders() {
    static Providers* providers = new Providers;
    return *providers;
}

} // namespace

ULONG TraceRegisterProvider(const GUID&, const char* name, TRACEHANDLE* handle) {
    if (!name || !handle)
        return ERROR_INVALID_PARAMETER;
    Providers& p = TheProviders();
    std::lock_guard lock(p.mutex);
    *handle = ++p.next;
    p.names[*handle] = name;
    ++p.counts[name].registrations;
    return ERROR_SUCCESS;
}

ULONG TraceUnregisterProvider(TRACEHANDLE handle) {
    Providers& p = TheProviders();
    std::lock_guard lock(p.mutex);
    auto it = p.names.find(handle);
    if (it == p.names.end())
        return ERROR_INVALID_PARAMETER;
    ++p.counts[it->second].unregistrations;
    p.names.erase(it);
    return ERROR_SUCCESS;
}

void TraceProviderEvent(TRACEHANDLE provider, UCHAR level, ULONG flags, USHORT message,
                        std::initializer_list<int64_t> values) {
    if (!TraceEnabled(level, flags))
        return;
    std::string name;
    {
        Providers& p = TheProviders();
        std::lock_guard lock(p.mutex);
        auto it = p.names.find(provider);
        if (it == p.names.end())
            return;
        name = it->second;
    }
    std::string text = "#" + std::to_string(message);
    for (int64_t v : values)
        text += " " + std::to_string(v);
    TraceWrite(name.c_str(), level, flags, "%s", text.c_str());
}

bool TraceEnabled(UCHAR level, ULONG flags) {
    const TraceConfig& c = Config();
    return c.out && level <= c.level && (flags & c.flags) != 0;
}

void TraceWrite(const char* provider, UCHAR level, ULONG flags, const char* format, ...) {
    if (!TraceEnabled(level, flags))
        return;
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard lock(g_writeMutex);
    std::fprintf(Config().out, "[%s] %s %s\n", provider ? provider : ProgramProvider().c_str(),
                 LevelName(level), text);
    std::fflush(Config().out);
}

} // namespace platform

namespace sim::trace {

ProviderCounts Provider(const std::string& name) {
    platform::Providers& p = platform::TheProviders();
    std::lock_guard lock(p.mutex);
    auto it = p.counts.find(name);
    return it == p.counts.end() ? ProviderCounts{} : it->second;
}

} // namespace sim::trace

namespace {

// The simulator's own failures (a state file it cannot read or write) go to the trace as well.
const bool g_failureTraceSet =
    (sim::SetFailureTraceSink([](const std::string& what) {
         platform::TraceWrite("moxsim", TRACE_LEVEL_ERROR, 0xFFFFFFFFu, "%s", what.c_str());
     }),
     true);

} // namespace
