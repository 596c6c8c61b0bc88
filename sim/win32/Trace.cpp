#include "platform/win/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "sim/Os.h"

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

} // namespace

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
