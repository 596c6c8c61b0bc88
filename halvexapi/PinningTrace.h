#pragma once
// The library's trace events. They carry message numbers (export number x 10 + event) and values
// only; the texts are the provider's message table's.
#include <cstdint>

enum class Export : uint16_t {
    GetPinningStatus = 1,
    PinFiles,
    UnpinFiles,
    GetPinStatusFiles,
    TriggerMigration,
    GetFileCacheStatus,
    GetPinningApiVersion
};

// Verbose, at entry.
void TraceEntry(Export which);
// Warning: a required pointer is null.
void TraceNullArgument(Export which);
// Error: the service connection is missing; carries the result.
void TraceNoConnection(Export which, int32_t result);
// Warning: the working arrays cannot be made.
void TraceNoWorkingArrays(Export which);
// Verbose: the service context could not be opened (it is tried again on the next call).
void TraceContextNotOpened();
