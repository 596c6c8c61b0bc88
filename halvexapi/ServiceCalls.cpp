#include "halvexapi/ServiceCalls.h"

#include "halvexapi/PinningTrace.h"
#include "middleware/cacheservice/PinningRpc.h"

int32_t EnsureServiceConnection() {
    if (!GetServiceBinding())
        return kServiceUnreachable;
    if (!OpenServiceContext(RpcPinningOpenContext)) {
        TraceContextNotOpened();
        return kServiceUnreachable;
    }
    CloseServiceContextAtUnload();
    return 0;
}
