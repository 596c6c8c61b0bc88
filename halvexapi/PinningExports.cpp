// The seven exports: each checks its pointers, makes sure of the service connection where it needs
// one, turns the caller's list into the arrays the procedure takes and copies the answers back.
#include <cstddef>

#include "halvexapi/HalvexApi.h"
#include "halvexapi/PinningTrace.h"
#include "halvexapi/ServiceCalls.h"
#include "middleware/cacheservice/PinningRpc.h"
#include "middleware/core/ExportGuard.h"
#include "platform/win/WinBase.h"

namespace {

constexpr int32_t kPerFileResults = 17;

// A working array of `count` elements, freed with the object; zero-filled.
template <class T> class WorkingArray {
public:
    explicit WorkingArray(uint32_t count)
        : data_(static_cast<T*>(
              LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, static_cast<SIZE_T>(count) * sizeof(T)))) {}
    ~WorkingArray() { LocalFree(data_); }
    WorkingArray(const WorkingArray&) = delete;
    WorkingArray& operator=(const WorkingArray&) = delete;
    T* get() const { return data_; }
    T& operator[](size_t i) const { return data_[i]; }

private:
    T* data_;
};

constexpr int32_t kGoOn = -1;

// Runs an export's body: whatever is raised in it ends as result 1.
template <class Body> int32_t Exported(Body&& body) noexcept {
    return ExportedOr<int32_t>(kServiceUnreachable, body);
}

// The connection step: kGoOn, or the 1 to return.
int32_t Connect(Export which) {
    if (int32_t connected = EnsureServiceConnection()) {
        TraceNoConnection(which, connected);
        return connected;
    }
    return kGoOn;
}

// The steps every export with a list starts with: 14 for a missing list or entries, 0 for an empty
// list (nothing to send, nothing to write back), the connection's 1, or kGoOn.
template <class List> int32_t Admit(Export which, const List* list) {
    TraceEntry(which);
    if (!list || !list->entries) {
        TraceNullArgument(which);
        return kNullArgument;
    }
    // The procedure cannot carry more files than its signed count holds.
    if (list->count > INT32_MAX)
        return kServiceUnreachable;
    if (list->count == 0)
        return 0;
    return Connect(which);
}

template <class Record> int32_t AdmitRecord(Export which, const Record* record) {
    TraceEntry(which);
    if (!record) {
        TraceNullArgument(which);
        return kNullArgument;
    }
    return Connect(which);
}

int32_t PinOrUnpin(Export which, PinFileList* list,
                   int32_t (*procedure)(RPC_BINDING_HANDLE, int32_t, const wchar_t* const*, int32_t*)) {
    if (int32_t refused = Admit(which, list); refused != kGoOn)
        return refused;
    const uint32_t count = list->count;
    WorkingArray<int32_t> results(count);
    WorkingArray<const wchar_t*> paths(count);
    if (!results.get() || !paths.get()) {
        TraceNoWorkingArrays(which);
        return kServiceUnreachable;
    }
    for (uint32_t i = 0; i < count; ++i)
        paths[i] = list->entries[i].path;
    const int32_t result = InvokeLocked(procedure, static_cast<int32_t>(count), paths.get(), results.get());
    if (result == 0 || result == kPerFileResults)
        for (uint32_t i = 0; i < count; ++i)
            list->entries[i].result = results[i];
    return result;
}

} // namespace

extern "C" int32_t HalvexGetPinningStatus(PinningStatus* status) {
    return Exported([&] {
        TraceEntry(Export::GetPinningStatus);
        if (!status) {
            TraceNullArgument(Export::GetPinningStatus);
            return kNullArgument;
        }
        // No service, no answer or a refusal all read as state 0: the caller sees a state, not an error.
        if (InvokeWithBinding(RpcGetPinningStatus, status) != 0)
            status->state = 0;
        return 0;
    });
}

extern "C" int32_t HalvexPinFiles(PinFileList* list) {
    return Exported([&] { return PinOrUnpin(Export::PinFiles, list, RpcPinFiles); });
}

extern "C" int32_t HalvexUnpinFiles(PinFileList* list) {
    return Exported([&] { return PinOrUnpin(Export::UnpinFiles, list, RpcUnpinFiles); });
}

extern "C" int32_t HalvexGetPinStatusFiles(PinStatusFileList* list) {
    return Exported([&] {
        if (int32_t refused = Admit(Export::GetPinStatusFiles, list); refused != kGoOn)
            return refused;
        const uint32_t count = list->count;
        WorkingArray<const wchar_t*> paths(count);
        WorkingArray<int32_t> first(count), second(count), third(count);
        if (!paths.get() || !first.get() || !second.get() || !third.get()) {
            TraceNoWorkingArrays(Export::GetPinStatusFiles);
            return kServiceUnreachable;
        }
        for (uint32_t i = 0; i < count; ++i)
            paths[i] = list->entries[i].path;
        const int32_t result = InvokeWithBinding(RpcGetPinStatusFiles, static_cast<int32_t>(count),
                                                 paths.get(), first.get(), second.get(), third.get());
        // Whatever the answer: zeros where the service wrote nothing.
        for (uint32_t i = 0; i < count; ++i) {
            list->entries[i].result = first[i];
            list->entries[i].secondStatus = second[i];
            list->entries[i].thirdStatus = third[i];
        }
        return result;
    });
}

extern "C" int32_t HalvexTriggerMigration(void) {
    return Exported([&] {
        TraceEntry(Export::TriggerMigration);
        if (int32_t refused = Connect(Export::TriggerMigration); refused != kGoOn)
            return refused;
        return InvokeWithBinding(RpcTriggerMigration);
    });
}

extern "C" int32_t HalvexGetFileCacheStatus(FileCacheStatus* status) {
    return Exported([&] {
        if (int32_t refused = AdmitRecord(Export::GetFileCacheStatus, status); refused != kGoOn)
            return refused;
        return InvokeWithBinding(RpcGetFileCacheStatus, status);
    });
}

extern "C" int32_t HalvexGetPinningApiVersion(PinningApiVersion* version) {
    return Exported([&] {
        if (int32_t refused = AdmitRecord(Export::GetPinningApiVersion, version); refused != kGoOn)
            return refused;
        const int32_t result = InvokeWithBinding(RpcGetPinningApiVersion, version);
        if (result == 0) {
            version->major = 1;
            version->minor = 1;
        }
        return result;
    });
}
