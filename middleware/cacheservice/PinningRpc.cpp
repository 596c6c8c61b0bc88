#include "middleware/cacheservice/PinningRpc.h"

#include <algorithm>
#include <vector>

namespace {

using platform::rpc::NdrReply;
using platform::rpc::NdrRequest;
using platform::rpc::RequireReference;

enum Procedure : uint32_t {
    kOpenContext = 0,
    kStatus = 2,
    kPin = 3,
    kUnpin = 4,
    kPinStatus = 6,
    kMigration = 7,
    kFileCache = 8,
    kApiVersion = 9
};

constexpr size_t kStatusTextUnits = 8;

NdrReply Call(RPC_BINDING_HANDLE binding, uint32_t procedure, const NdrRequest& in = {}) {
    return platform::rpc::CallProcedure(binding, kPinningRpcInterface, procedure, in,
                                        kCacheServiceStubMemory);
}

// The count and the path array it sizes.
NdrRequest PathArray(int32_t count, const wchar_t* const* paths) {
    RequireReference(paths);
    if (count < 0)
        throw platform::rpc::RpcException(RPC_X_INVALID_BOUND);
    NdrRequest in;
    in.Int32(count);
    in.Conformance(static_cast<uint32_t>(count));
    for (int32_t i = 0; i < count; ++i)
        in.UniqueString(paths[i]);
    return in;
}

std::vector<int32_t> ValueArray(NdrReply& out, int32_t count) {
    out.Conformance(static_cast<uint32_t>(count));
    std::vector<int32_t> values(static_cast<size_t>(count));
    for (int32_t& v : values)
        v = out.Enum16();
    return values;
}

// The service's answer, after which nothing may follow.
int32_t Answer(NdrReply& out) {
    const int32_t answer = out.Enum16();
    out.End();
    return answer;
}

int32_t PerFile(RPC_BINDING_HANDLE binding, uint32_t procedure, int32_t count, const wchar_t* const* paths,
                int32_t* results) {
    RequireReference(results);
    NdrReply out = Call(binding, procedure, PathArray(count, paths));
    const std::vector<int32_t> values = ValueArray(out, count);
    const int32_t answer = Answer(out);
    std::copy(values.begin(), values.end(), results);
    return answer;
}

} // namespace

const platform::rpc::InterfaceId kPinningRpcInterface{
    {0x0362fd69, 0xab89, 0x41fa, {0x8c, 0xe8, 0x75, 0xaa, 0xa5, 0xa3, 0xcd, 0x52}}, 1, 1};

void RpcPinningOpenContext(RPC_BINDING_HANDLE binding, ServiceContextHandle* context) {
    OpenServiceContextThrough(binding, kPinningRpcInterface, context);
}

int32_t RpcGetPinningStatus(RPC_BINDING_HANDLE binding, PinningStatus* status) {
    RequireReference(status);
    NdrReply out = Call(binding, kStatus);
    PinningStatus received{};
    received.state = out.Enum16();
    for (size_t i = 0; i < kStatusTextUnits; ++i)
        received.text[i] = out.U16();
    const int32_t answer = Answer(out);
    *status = received;
    return answer;
}

int32_t RpcPinFiles(RPC_BINDING_HANDLE binding, int32_t count, const wchar_t* const* paths,
                    int32_t* results) {
    return PerFile(binding, kPin, count, paths, results);
}

int32_t RpcUnpinFiles(RPC_BINDING_HANDLE binding, int32_t count, const wchar_t* const* paths,
                      int32_t* results) {
    return PerFile(binding, kUnpin, count, paths, results);
}

int32_t RpcGetPinStatusFiles(RPC_BINDING_HANDLE binding, int32_t count, const wchar_t* const* paths,
                             int32_t* first, int32_t* second, int32_t* third) {
    for (const int32_t* values : {first, second, third})
        RequireReference(values);
    NdrReply out = Call(binding, kPinStatus, PathArray(count, paths));
    const std::vector<int32_t> firsts = ValueArray(out, count);
    const std::vector<int32_t> seconds = ValueArray(out, count);
    const std::vector<int32_t> thirds = ValueArray(out, count);
    const int32_t answer = Answer(out);
    std::copy(firsts.begin(), firsts.end(), first);
    std::copy(seconds.begin(), seconds.end(), second);
    std::copy(thirds.begin(), thirds.end(), third);
    return answer;
}

int32_t RpcTriggerMigration(RPC_BINDING_HANDLE binding) {
    NdrReply out = Call(binding, kMigration);
    return Answer(out);
}

int32_t RpcGetFileCacheStatus(RPC_BINDING_HANDLE binding, FileCacheStatus* status) {
    RequireReference(status);
    NdrReply out = Call(binding, kFileCache);
    FileCacheStatus received{};
    for (uint64_t& counter : received.counters)
        counter = out.U64();
    const int32_t answer = Answer(out);
    *status = received;
    return answer;
}

int32_t RpcGetPinningApiVersion(RPC_BINDING_HANDLE binding, PinningApiVersion* version) {
    RequireReference(version);
    NdrReply out = Call(binding, kApiVersion);
    PinningApiVersion received{};
    received.major = out.Int32();
    received.minor = out.Int32();
    received.build = out.Int32();
    received.revision = out.Int32();
    const int32_t answer = Answer(out);
    *version = received;
    return answer;
}
