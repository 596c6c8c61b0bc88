#include "middleware/accelerate/CacheServiceRpc.h"

#include <array>
#include <cstring>
#include <vector>

namespace {

// The wire form of a context handle: attributes and a 16-byte id.
constexpr size_t kContextWireSize = 20;
constexpr DWORD kNullContext = 1775; // RPC_X_SS_IN_NULL_CONTEXT

struct ClientContext {
    RPC_BINDING_HANDLE binding;
    std::array<uint8_t, kContextWireSize> wire;
};

void Append32(std::vector<uint8_t>& b, uint32_t v) {
    const size_t at = b.size();
    b.resize(at + 4);
    std::memcpy(b.data() + at, &v, 4);
}

} // namespace

const platform::rpc::InterfaceId kCacheServiceRpcInterface{
    {0x95e08e4d, 0x4f3f, 0x4bc6, {0xbc, 0x79, 0xca, 0xb3, 0x9a, 0x13, 0x1b, 0xfa}}, 1, 1};
const platform::rpc::InterfaceId kMessageRpcInterface{
    {0x83926e07, 0x4438, 0x4162, {0x81, 0x8d, 0xe8, 0xd9, 0xac, 0xae, 0x08, 0x13}}, 1, 0};

void CacheServiceOpenContext(RPC_BINDING_HANDLE binding, ServiceContextHandle* context) {
    const std::vector<uint8_t> out = platform::rpc::CallProcedure(binding, kCacheServiceRpcInterface, 0, {});
    if (out.size() != kContextWireSize)
        throw platform::rpc::RpcException(RPC_X_BAD_STUB_DATA);
    auto* opened = new ClientContext{binding, {}};
    std::memcpy(opened->wire.data(), out.data(), kContextWireSize);
    *context = opened;
}

void CacheServiceCloseContext(ServiceContextHandle* context) {
    auto* held = static_cast<ClientContext*>(*context);
    if (!held)
        throw platform::rpc::RpcException(kNullContext);
    *context = nullptr;
    const ClientContext copy = *held;
    delete held;
    platform::rpc::CallProcedure(copy.binding, kCacheServiceRpcInterface, 1,
                                 std::vector<uint8_t>(copy.wire.begin(), copy.wire.end()));
}

uint64_t MessageExchange(ServiceContextHandle context, uint32_t requestLength, const uint8_t* request,
                         uint32_t replyCapacity, uint8_t* reply, uint32_t* replyLength) {
    const auto* held = static_cast<const ClientContext*>(context);
    if (!held)
        throw platform::rpc::RpcException(kNullContext);
    std::vector<uint8_t> in(held->wire.begin(), held->wire.end());
    Append32(in, requestLength);
    in.insert(in.end(), request, request + requestLength);
    Append32(in, replyCapacity);
    const std::vector<uint8_t> out = platform::rpc::CallProcedure(held->binding, kMessageRpcInterface, 0, in);

    // [out]: the reply's count and bytes, its length, the 64-bit status.
    uint32_t count = 0;
    if (out.size() < 4 || (std::memcpy(&count, out.data(), 4), count != replyCapacity) ||
        out.size() != 4 + static_cast<size_t>(count) + 4 + 8)
        throw platform::rpc::RpcException(RPC_X_BAD_STUB_DATA);
    std::memcpy(reply, out.data() + 4, count);
    std::memcpy(replyLength, out.data() + 4 + count, 4);
    uint64_t status = 0;
    std::memcpy(&status, out.data() + 8 + count, 8);
    return status;
}
