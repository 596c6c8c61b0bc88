#include "halvexapi/LibraryState.h"

#include "middleware/cacheservice/HalvexRpcConnection.h"

namespace {

constexpr GUID kTraceControl{0x98f6a9ec, 0x30f0, 0x402e, {0xa8, 0x83, 0xf1, 0x22, 0x85, 0xe0, 0x5b, 0xb2}};
// Spin 1024 times before waiting; the high bit has the section's wait event made at once.
constexpr DWORD kLockSpinCount = 0x80000400;

struct TraceRegistration {
    TRACEHANDLE handle = 0;
    TraceRegistration() { platform::TraceRegisterProvider(kTraceControl, "Halvex API DFP", &handle); }
    ~TraceRegistration() { platform::TraceUnregisterProvider(handle); }
};

struct Lock {
    CRITICAL_SECTION section;
    Lock() { InitializeCriticalSectionAndSpinCount(&section, kLockSpinCount); }
    ~Lock() { DeleteCriticalSection(&section); }
};

// The service context itself is the connection's (null until the first call that needs it); the
// slot's part is to close it when the library goes.
struct ServiceContextSlot {
    ~ServiceContextSlot() { CloseServiceContext(); }
};

// One translation unit, so that they are made in this order and undone in the reverse one.
TraceRegistration g_trace;
Lock g_lock;

} // namespace

TRACEHANDLE HalvexTraceProvider() {
    return g_trace.handle;
}

CRITICAL_SECTION& LibraryLock() {
    return g_lock.section;
}

void CloseServiceContextAtUnload() {
    static ServiceContextSlot slot;
}
