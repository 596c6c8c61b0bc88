#include "halvexapi/PinningTrace.h"

#include "halvexapi/LibraryState.h"

namespace {

enum Event : uint16_t { kEntry = 1, kNullArgument = 2, kNoConnection = 3, kNoWorkingArrays = 4 };
constexpr uint16_t kContextNotOpened = 90;

void Emit(UCHAR level, Export which, Event event, std::initializer_list<int64_t> values = {}) {
    platform::TraceProviderEvent(HalvexTraceProvider(), level, 0xFFFFFFFFu,
                                 static_cast<USHORT>(static_cast<uint16_t>(which) * 10 + event), values);
}

} // namespace

void TraceEntry(Export which) {
    Emit(TRACE_LEVEL_VERBOSE, which, kEntry);
}

void TraceNullArgument(Export which) {
    Emit(TRACE_LEVEL_WARNING, which, kNullArgument);
}

void TraceNoConnection(Export which, int32_t result) {
    Emit(TRACE_LEVEL_ERROR, which, kNoConnection, {result});
}

void TraceNoWorkingArrays(Export which) {
    Emit(TRACE_LEVEL_WARNING, which, kNoWorkingArrays);
}

void TraceContextNotOpened() {
    platform::TraceProviderEvent(HalvexTraceProvider(), TRACE_LEVEL_VERBOSE, 0xFFFFFFFFu, kContextNotOpened);
}
