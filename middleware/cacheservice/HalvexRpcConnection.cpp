#include "middleware/cacheservice/HalvexRpcConnection.h"

#include <mutex>

#include "platform/win/Trace.h"

namespace {

// moxcli makes one exchange at a time; the lock keeps the two caches whole if that rule is broken,
// and lets one of HalvexApi's threads open the context while the others wait for it.
std::mutex g_mutex;
RPC_BINDING_HANDLE g_binding = nullptr;
ServiceContextHandle g_context = nullptr;

// The code of the exception being handled: an RPC exception's own, else that of a failed call.
DWORD CurrentFailure() {
    try {
        throw;
    } catch (const platform::rpc::RpcException& e) {
        return e.code();
    } catch (...) {
        return RPC_S_CALL_FAILED;
    }
}

} // namespace

RPC_BINDING_HANDLE GetServiceBinding() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_binding)
        return g_binding;
    wchar_t protocol[] = L"ncalrpc";
    wchar_t endpoint[] = L"KeplinAfsServiceRpcEndpoint";
    RPC_WSTR text = nullptr;
    if (RPC_STATUS status = RpcStringBindingComposeW(nullptr, protocol, nullptr, endpoint, nullptr, &text)) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "Composing the cache service binding failed with %d", status);
        return nullptr;
    }
    RPC_BINDING_HANDLE binding = nullptr;
    const RPC_STATUS status = RpcBindingFromStringBindingW(text, &binding);
    RpcStringFreeW(&text);
    if (status != RPC_S_OK) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "Binding to the cache service failed with %d", status);
        return nullptr;
    }
    g_binding = binding;
    return g_binding;
}

ServiceContextHandle OpenServiceContext(OpenContextStub open) {
    RPC_BINDING_HANDLE binding = GetServiceBinding();
    if (!binding)
        return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_context) {
        try {
            open(binding, &g_context);
        } catch (...) {
            MOX_TRACE(TRACE_LEVEL_ERROR, "Opening a cache service context failed with %u", CurrentFailure());
            g_context = nullptr;
        }
    }
    return g_context;
}

void CloseServiceContext() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_context)
        return;
    try {
        RpcServiceCloseContext(&g_context);
    } catch (...) {
        MOX_TRACE(TRACE_LEVEL_WARNING, "Closing the cache service context failed with %u", CurrentFailure());
    }
    g_context = nullptr;
}

unsigned long HalvexRpcMsgConnection::Send(Request& request, Reply& reply) {
    ServiceContextHandle context = OpenServiceContext();
    if (!context)
        return RPC_S_INVALID_BINDING;
    uint32_t replyLength = 0;
    try {
        const uint64_t status = MessageExchange(context, request.Size(), request.Buffer(), reply.Size(),
                                                reply.Buffer(), &replyLength);
        return static_cast<unsigned long>(status & 0xFFFFFFFFu);
    } catch (const platform::rpc::RpcException& e) {
        return e.code();
    }
}

HalvexRpcMsgConnection::~HalvexRpcMsgConnection() {
    CloseServiceContext();
}
