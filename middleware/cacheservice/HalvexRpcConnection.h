#pragma once
// The connection to the cache service "KeplinAfsService" over its local RPC endpoint: one binding
// for the process (of each module that links it: moxcli, HalvexApi), made on first use and kept,
// and one service context. moxcli opens it for an exchange and closes it after; HalvexApi opens it
// through the pinning interface and keeps it until it is unloaded.
#include "middleware/cacheservice/CacheServiceRpc.h"
#include "middleware/cacheservice/HalvexMessages.h"

// The process's binding to "ncalrpc" endpoint "KeplinAfsServiceRpcEndpoint"; null when it cannot be
// made (tried again on the next call).
RPC_BINDING_HANDLE GetServiceBinding();
// The stub of a procedure that opens a service context.
using OpenContextStub = void (*)(RPC_BINDING_HANDLE binding, ServiceContextHandle* context);
// The cached context, opened through `open` when there is none (one thread opens it, the others
// wait for it); null without a binding or when the service does not answer, and tried again on the
// next call.
ServiceContextHandle OpenServiceContext(OpenContextStub open = CacheServiceOpenContext);
// Closes the cached context, if any; a failure of the service is ignored.
void CloseServiceContext();

class HalvexRpcConnection {
public:
    virtual ~HalvexRpcConnection() = default;
};

// One message exchange, made on the stack; its destruction closes the service context.
class HalvexRpcMsgConnection : public HalvexRpcConnection {
public:
    // 0; RPC_S_INVALID_BINDING (1702) when no context can be had; an RPC exception's code; or the
    // lower 32 bits of the service's status. The context stays open for the caller to close.
    virtual unsigned long Send(Request& request, Reply& reply);
    ~HalvexRpcMsgConnection() override;
};
