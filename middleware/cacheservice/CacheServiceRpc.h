#pragma once
// Client stubs of the cache service's context and message interfaces. Each stub marshals its
// arguments, calls the procedure and unmarshals the answer; every failure is raised as
// platform::rpc::RpcException.
#include <cstddef>
#include <cstdint>

#include "platform/win/WinRpc.h"

// A context handle of the cache service, as the client holds it (null: none).
using ServiceContextHandle = void*;

extern const platform::rpc::InterfaceId kCacheServiceRpcInterface; // 95e08e4d-..., 1.1
extern const platform::rpc::InterfaceId kMessageRpcInterface;      // 83926e07-..., 1.0

// The memory routines of the stubs, with which the runtime takes the memory of a reply:
// LocalAlloc(LMEM_FIXED, size) and LocalFree.
void* RpcAllocate(size_t size);
void RpcFree(void* block);
extern const platform::rpc::StubMemory kCacheServiceStubMemory;

// Procedure 0 of an interface whose procedure 0 opens a service context (this one's, the pinning
// interface's: both belong to the one server and share its contexts).
void OpenServiceContextThrough(RPC_BINDING_HANDLE binding, const platform::rpc::InterfaceId& interfaceId,
                               ServiceContextHandle* context);
// CacheServiceRpcInterface procedure 0: opens a context on the service.
void CacheServiceOpenContext(RPC_BINDING_HANDLE binding, ServiceContextHandle* context);
// Procedure 1: closes a context, however it was opened. The client's context is released and
// nulled even when the call fails; a null one raises RPC_X_SS_IN_NULL_CONTEXT.
void RpcServiceCloseContext(ServiceContextHandle* context);
// MessageRpcInterface procedure 0: one message out, one reply (at most replyCapacity bytes) back;
// the service's 64-bit status.
uint64_t MessageExchange(ServiceContextHandle context, uint32_t requestLength, const uint8_t* request,
                         uint32_t replyCapacity, uint8_t* reply, uint32_t* replyLength);
