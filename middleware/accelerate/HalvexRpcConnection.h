#pragma once
// The connection to the cache service "KeplinAfsService" over its local RPC endpoint: one binding
// for the process, made on first use and kept, and one service context, opened by an exchange and
// closed after it.
#include "middleware/accelerate/CacheServiceRpc.h"
#include "middleware/accelerate/HalvexMessages.h"

// The process's binding to "ncalrpc" endpoint "KeplinAfsServiceRpcEndpoint"; null when it cannot be
// made (tried again on the next call).
RPC_BINDING_HANDLE GetServiceBinding();
// The cached context, opened when there is none; null without a binding or when the service does not
// answer.
ServiceContextHandle OpenServiceContext();
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
