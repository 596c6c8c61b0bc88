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

// Registered providers by handle, and what each provider text saw, for tests.
struct Registered {
    std::string name;
};
std::mutex g_providerMutex;
std::map<TRACEHANDLE, Registered> g_providers;
std::map<std::string, sim::trace::ProviderCounts> g_counts;
TRACEHANDLE g_nextProvider = 0;

} // namespace

ULONG TraceRegisterProvider(const GUID&, const char* name, TRACEHANDLE* handle) {
    if (!name || !handle)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_providerMutex);
    *handle = ++g_nextProvider;
    g_providers[*handle] = Registered{name};
    ++g_counts[name].registrations;
    return ERROR_SUCCESS;
}

ULONG TraceUnregisterProvider(TRACEHANDLE handle) {
    std::lock_guard lock(g_providerMutex);
    auto it = g_providers.find(handle);
    if (it == g_providers.end())
        return ERROR_INVALID_PARAMETER;
    ++g_counts[it->second.name].unregistrations;
    g_providers.erase(it);
    return ERROR_SUCCESS;
}

void TraceProviderEvent(TRACEHANDLE provider, UCHAR level, ULONG flags, USHORT message,
                        std::initializer_list<int64_t> values) {
    if (!TraceEnabled(level, flags))
        return;
    std::string name;
    {
        std::lock_guard lock(g_providerMutex);
        auto it = g_providers.find(provider);
        if (it == g_providers.end())
            return;
        name = it->second.name;
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
    std::lock_guard lock(platform::g_providerMutex);
    auto it = platform::g_counts.find(name);
    return it == platform::g_counts.end() ? ProviderCounts{} : it->second;
}

} // namespace sim::trace
