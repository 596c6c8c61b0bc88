#pragma once
// How the exports reach the cache service: the connection step, and the call of one pinning
// procedure over the process's binding with every failure of the call turned into result 1.
#include <cstdint>

#include "halvexapi/LibraryState.h"
#include "middleware/cacheservice/HalvexRpcConnection.h"

// The library's own results.
constexpr int32_t kServiceUnreachable = 1;
constexpr int32_t kNullArgument = 14;

// 0 when the binding and the service context exist (made as needed), else 1. The context opened
// here is never passed to a procedure: it is the service's record of this client, closed at unload.
int32_t EnsureServiceConnection();

// Holds the library lock for its scope.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& section) : section_(section) {
        EnterCriticalSection(&section_);
    }
    ~CriticalSectionLock() { LeaveCriticalSection(&section_); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& section_;
};

// Calls the procedure's stub with the binding first and the arguments after it: the service's
// answer, or 1 without a binding or when anything is raised during the call.
template <class... Parameters, class... Arguments>
int32_t InvokeWithBinding(int32_t (*procedure)(RPC_BINDING_HANDLE, Parameters...), Arguments... arguments) {
    try {
        RPC_BINDING_HANDLE binding = GetServiceBinding();
        if (!binding)
            return kServiceUnreachable;
        return procedure(binding, arguments...);
    } catch (...) {
        return kServiceUnreachable;
    }
}

// The same under the library lock, so that one such call of the process is in flight at a time.
template <class... Parameters, class... Arguments>
int32_t InvokeLocked(int32_t (*procedure)(RPC_BINDING_HANDLE, Parameters...), Arguments... arguments) {
    CriticalSectionLock lock(LibraryLock());
    return InvokeWithBinding(procedure, arguments...);
}
