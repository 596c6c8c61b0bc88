#pragma once
// Software tracing. On Windows this is a WPP trace provider whose level and flags a trace session
// enables; here a message is written when MOX_TRACE names a file (or "stderr"), and the enabled
// level comes from MOX_TRACE_LEVEL (default 5, verbose) and the flags from MOX_TRACE_FLAGS (default
// all). Messages are formatted only when their level and flag are enabled.
#include <cstdint>

#include "platform/win/WinTypes.h"

constexpr UCHAR TRACE_LEVEL_CRITICAL = 1;
constexpr UCHAR TRACE_LEVEL_ERROR = 2;
constexpr UCHAR TRACE_LEVEL_WARNING = 3;
constexpr UCHAR TRACE_LEVEL_INFORMATION = 4;
constexpr UCHAR TRACE_LEVEL_VERBOSE = 5;

namespace platform {

// Whether a message of this level and flag would be written.
bool TraceEnabled(UCHAR level, ULONG flags);
// Writes one line: "[provider] LEVEL text"; a null provider is the running program's name.
void TraceWrite(const char* provider, UCHAR level, ULONG flags, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

} // namespace platform

// The product's own trace calls: the provider is the program that runs them.
#define MOX_TRACE(level, ...)                                                                                \
    do {                                                                                                     \
        if (::platform::TraceEnabled((level), 0xFFFFFFFFu))                                                  \
            ::platform::TraceWrite(nullptr, (level), 0xFFFFFFFFu, __VA_ARGS__);                              \
    } while (0)
