#include "middleware/cacheservice/CacheServiceRpc.h"

#include <array>
#include <cstring>
#include <memory>

#include "platform/win/WinBase.h"

namespace {

using platform::rpc::NdrReply;
using platform::rpc::NdrRequest;

// The wire form of a context handle: attributes and a 16-byte id.
constexpr size_t kContextWireSize = 20;

struct ClientContext {
    RPC_BINDING_HANDLE binding;
    std::array<uint8_t, kContextWireSize> wire;
};

NdrReply Call(RPC_BINDING_HANDLE binding, const platform::rpc::InterfaceId& interfaceId, uint32_t procedure,
              const NdrRequest& in) {
    return platform::rpc::CallProcedure(binding, interfaceId, procedure, in, kCacheServiceStubMemory);
}

const ClientContext& Held(ServiceContextHandle context) {
    if (!context)
        throw platform::rpc::RpcException(RPC_X_SS_IN_NULL_CONTEXT);
    return *static_cast<const ClientContext*>(context);
}

} // namespace

const platform::rpc::InterfaceId kCacheServiceRpcInterface{
    {0x95e08e4d, 0x4f3f, 0x4bc6, {0xbc, 0x79, 0xca, 0xb3, 0x9a, 0x13, 0x1b, 0xfa}}, 1, 1};
const platform::rpc::InterfaceId kMessageRpcInterface{
    {0x83926e07, 0x4438, 0x4162, {0x81, 0x8d, 0xe8, 0xd9, 0xac, 0xae, 0x08, 0x13}}, 1, 0};

void* RpcAllocate(size_t size) {
    return LocalAlloc(LMEM_FIXED, size);
}

void RpcFree(void* block) {
    LocalFree(block);
}

const platform::rpc::StubMemory kCacheServiceStubMemory{RpcAllocate, RpcFree};

void OpenServiceContextThrough(RPC_BINDING_HANDLE binding, const platform::rpc::InterfaceId& interfaceId,
                               ServiceContextHandle* context) {
    platform::rpc::RequireReference(context);
    NdrReply out = Call(binding, interfaceId, 0, {});
    auto opened = std::make_unique<ClientContext>(ClientContext{binding, {}});
    out.Raw(opened->wire.data(), kContextWireSize);
    out.End();
    *context = opened.release();
}

void CacheServiceOpenContext(RPC_BINDING_HANDLE binding, ServiceContextHandle* context) {
    OpenServiceContextThrough(binding, kCacheServiceRpcInterface, context);
}

void RpcServiceCloseContext(ServiceContextHandle* context) {
    platform::rpc::RequireReference(context);
    const ClientContext held = Held(*context);
    delete static_cast<ClientContext*>(*context);
    *context = nullptr;
    NdrRequest in;
    in.Raw(held.wire.data(), kContextWireSize);
    // [out]: the context, cleared by the server.
    NdrReply out = Call(held.binding, kCacheServiceRpcInterface, 1, in);
    std::array<uint8_t, kContextWireSize> cleared;
    out.Raw(cleared.data(), kContextWireSize);
    out.End();
}

uint64_t MessageExchange(ServiceContextHandle context, uint32_t requestLength, const uint8_t* request,
                         uint32_t replyCapacity, uint8_t* reply, uint32_t* replyLength) {
    const ClientContext& held = Held(context);
    NdrRequest in;
    in.Raw(held.wire.data(), kContextWireSize);
    in.U32(requestLength);
    in.Raw(request, requestLength);
    in.U32(replyCapacity);
    NdrReply out = Call(held.binding, kMessageRpcInterface, 0, in);

    // [out]: the reply's count and bytes, its length, the 64-bit status.
    out.Conformance(replyCapacity);
    out.Raw(reply, replyCapacity);
    *replyLength = out.U32();
    const uint64_t status = out.U64();
    out.End();
    return status;
}
