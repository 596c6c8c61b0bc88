#pragma once
// Client stubs of the cache service's pinning interface (PinningRpcInterface,
// 0362fd69-ab89-41fa-8ce8-75aaa5a3cd52 1.1). Each takes the binding handle, then the procedure's
// parameters in order, and returns the service's answer, a 16-bit enumeration widened to 32 bits.
// Every failure of the call (the endpoint not listening, the server gone, an answer outside 0 to
// 32767, a null required pointer, a malformed reply) is raised as platform::rpc::RpcException; the
// stubs catch nothing. [out] records are written only from a whole, well-formed reply.
#include <cstdint>

#include "middleware/cacheservice/CacheServiceRpc.h"
#include "middleware/cacheservice/PinningRecords.h"

extern const platform::rpc::InterfaceId kPinningRpcInterface;

// Procedure 0: opens a service context (closed through RpcServiceCloseContext).
void RpcPinningOpenContext(RPC_BINDING_HANDLE binding, ServiceContextHandle* context);
// Procedure 2.
int32_t RpcGetPinningStatus(RPC_BINDING_HANDLE binding, PinningStatus* status);
// Procedures 3 and 4: `count` paths (a null one travels as an absent string) and one answer per
// file back in `results`.
int32_t RpcPinFiles(RPC_BINDING_HANDLE binding, int32_t count, const wchar_t* const* paths, int32_t* results);
int32_t RpcUnpinFiles(RPC_BINDING_HANDLE binding, int32_t count, const wchar_t* const* paths,
                      int32_t* results);
// Procedure 6: three values per file back.
int32_t RpcGetPinStatusFiles(RPC_BINDING_HANDLE binding, int32_t count, const wchar_t* const* paths,
                             int32_t* first, int32_t* second, int32_t* third);
// Procedure 7.
int32_t RpcTriggerMigration(RPC_BINDING_HANDLE binding);
// Procedure 8.
int32_t RpcGetFileCacheStatus(RPC_BINDING_HANDLE binding, FileCacheStatus* status);
// Procedure 9.
int32_t RpcGetPinningApiVersion(RPC_BINDING_HANDLE binding, PinningApiVersion* version);
