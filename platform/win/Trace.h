#pragma once
// Software tracing. On Windows this is a WPP trace provider whose level and flags a trace session
// enables; here a message is written when MOX_TRACE names a file (or "stderr"), and the enabled
// level comes from MOX_TRACE_LEVEL (default 5, verbose) and the flags from MOX_TRACE_FLAGS (default
// all). Messages are formatted only when their level and flag are enabled.
#include <cstdint>
#include <initializer_list>

#include "platform/win/WinTypes.h"

constexpr UCHAR TRACE_LEVEL_CRITICAL = 1;
constexpr UCHAR TRACE_LEVEL_ERROR = 2;
constexpr UCHAR TRACE_LEVEL_WARNING = 3;
constexpr UCHAR TRACE_LEVEL_INFORMATION = 4;
constexpr UCHAR TRACE_LEVEL_VERBOSE = 5;

using TRACEHANDLE = uint64_t;

namespace platform {

// Whether a message of this level and flag would be written.
bool TraceEnabled(UCHAR level, ULONG flags);
// Writes one line: "[provider] LEVEL text"; a null provider is the running program's name.
void TraceWrite(const char* provider, UCHAR level, ULONG flags, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// A trace provider of a library's own, named by its control GUID and its provider text. Its events
// carry a message number and integer values only (the texts live in the provider's message table);
// they are written as "[name] LEVEL #number value ..." while the provider is registered.
ULONG TraceRegisterProvider(const GUID& control, const char* name, TRACEHANDLE* handle);
ULONG TraceUnregisterProvider(TRACEHANDLE handle);
void TraceProviderEvent(TRACEHANDLE provider, UCHAR level, ULONG flags, USHORT message,
                        std::initializer_list<int64_t> values = {});

} // namespace platform

// The product's own trace calls: the provider is the program that runs them.
#define MOX_TRACE(level, ...)                                                                                \
    do {                                                                                                     \
        if (::platform::TraceEnabled((level), 0xFFFFFFFFu))                                                  \
            ::platform::TraceWrite(nullptr, (level), 0xFFFFFFFFu, __VA_ARGS__);                              \
    } while (0)
