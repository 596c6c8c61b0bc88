// Local RPC over the simulated machine: string bindings, binding handles, and procedure calls routed
// to the endpoints the simulator serves (the cache service, sim/CacheService.h).
#include "platform/win/WinRpc.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <mutex>
#include <string>

#include "platform/win/WinGuid.h"
#include "sim/CacheService.h"
#include "sim/WideText.h"
#include "sim/win32/SimCall.h"

namespace {

struct Binding {
    std::string endpoint;
};

std::mutex g_mutex;
std::map<uintptr_t, Binding> g_bindings;
uintptr_t g_next = 0xB1000;

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::wstring Text(RPC_WSTR s) {
    return s ? std::wstring(s) : std::wstring();
}

} // namespace

RPC_STATUS RpcStringBindingComposeW(RPC_WSTR objectUuid, RPC_WSTR protSeq, RPC_WSTR networkAddress,
                                    RPC_WSTR endpoint, RPC_WSTR options, RPC_WSTR* stringBinding) {
    if (!stringBinding)
        return ERROR_INVALID_PARAMETER;
    std::wstring text;
    if (objectUuid && *objectUuid)
        text += Text(objectUuid) + L"@";
    text += Text(protSeq) + L":" + Text(networkAddress);
    if ((endpoint && *endpoint) || (options && *options)) {
        text += L"[" + Text(endpoint);
        if (options && *options)
            text += L"," + Text(options);
        text += L"]";
    }
    auto* block = static_cast<wchar_t*>(std::calloc(text.size() + 1, sizeof(wchar_t)));
    if (!block)
        return ERROR_OUTOFMEMORY;
    std::wmemcpy(block, text.c_str(), text.size());
    *stringBinding = block;
    return RPC_S_OK;
}

RPC_STATUS RpcBindingFromStringBindingW(RPC_WSTR stringBinding, RPC_BINDING_HANDLE* binding) {
    if (!binding)
        return ERROR_INVALID_PARAMETER;
    *binding = nullptr;
    if (!stringBinding)
        return RPC_S_INVALID_STRING_BINDING;
    std::string text = sim::ToUtf8(stringBinding);
    if (const size_t at = text.find('@'); at != std::string::npos)
        text = text.substr(at + 1);
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        return RPC_S_INVALID_STRING_BINDING;
    if (Lower(text.substr(0, colon)) != "ncalrpc")
        return RPC_S_PROTSEQ_NOT_SUPPORTED;
    std::string endpoint;
    if (const size_t open = text.find('[', colon); open != std::string::npos) {
        const size_t close = text.find(']', open);
        if (close == std::string::npos)
            return RPC_S_INVALID_STRING_BINDING;
        endpoint = text.substr(open + 1, close - open - 1);
        endpoint = endpoint.substr(0, endpoint.find(','));
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    g_next += 8;
    g_bindings[g_next] = Binding{endpoint};
    *binding = reinterpret_cast<RPC_BINDING_HANDLE>(g_next);
    return RPC_S_OK;
}

RPC_STATUS RpcStringFreeW(RPC_WSTR* string) {
    if (!string)
        return ERROR_INVALID_PARAMETER;
    std::free(*string);
    *string = nullptr;
    return RPC_S_OK;
}

RPC_STATUS RpcBindingFree(RPC_BINDING_HANDLE* binding) {
    if (!binding)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_bindings.erase(reinterpret_cast<uintptr_t>(*binding)) == 0)
        return RPC_S_INVALID_BINDING;
    *binding = nullptr;
    return RPC_S_OK;
}

namespace platform::rpc {

std::vector<uint8_t> CallProcedure(RPC_BINDING_HANDLE binding, const InterfaceId& interfaceId,
                                   uint32_t procedure, const std::vector<uint8_t>& in) {
    std::string endpoint;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_bindings.find(reinterpret_cast<uintptr_t>(binding));
        if (it == g_bindings.end())
            throw RpcException(RPC_S_INVALID_BINDING);
        endpoint = it->second.endpoint;
    }
    wchar_t braced[39] = {};
    StringFromGUID2(interfaceId.uuid, braced, 39);
    const std::string uuid = Lower(sim::ToUtf8(std::wstring(braced + 1, 36)));
    auto outcome = platform::SimCall(
        "RpcCall", {{"endpoint", endpoint}, {"interface", uuid}, {"procedure", procedure}}, in);
    if (outcome)
        throw RpcException(platform::OutcomeNumber(*outcome, "exception", RPC_S_CALL_FAILED));
    if (Lower(endpoint) != Lower(sim::cacheservice::kEndpoint))
        throw RpcException(RPC_S_SERVER_UNAVAILABLE);
    // RPC failures are raised; a service state that cannot be read raises ERROR_INVALID_DATA.
    sim::cacheservice::Answer answer = platform::Guarded(
        [&] {
            return sim::cacheservice::Call(interfaceId.uuid, interfaceId.majorVersion,
                                           interfaceId.minorVersion, procedure, in);
        },
        [](uint32_t error) -> sim::cacheservice::Answer { throw RpcException(error); });
    if (answer.exception)
        throw RpcException(answer.exception);
    return answer.out;
}

} // namespace platform::rpc
