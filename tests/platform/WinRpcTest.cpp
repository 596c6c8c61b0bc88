#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win/WinRpc.h"
#include "sim/Machine.h"

namespace {

const platform::rpc::InterfaceId kCacheService{
    {0x95e08e4d, 0x4f3f, 0x4bc6, {0xbc, 0x79, 0xca, 0xb3, 0x9a, 0x13, 0x1b, 0xfa}}, 1, 1};

RPC_BINDING_HANDLE Bind(const wchar_t* protocol, const wchar_t* endpoint, RPC_STATUS* status) {
    RPC_WSTR text = nullptr;
    std::wstring p = protocol, e = endpoint;
    EXPECT_EQ(RpcStringBindingComposeW(nullptr, p.data(), nullptr, e.data(), nullptr, &text), RPC_S_OK);
    RPC_BINDING_HANDLE binding = nullptr;
    *status = RpcBindingFromStringBindingW(text, &binding);
    EXPECT_EQ(RpcStringFreeW(&text), RPC_S_OK);
    EXPECT_EQ(text, nullptr);
    return binding;
}

DWORD ExceptionOf(RPC_BINDING_HANDLE binding, platform::rpc::InterfaceId id, uint32_t procedure) {
    try {
        platform::rpc::CallProcedure(binding, id, procedure, {});
    } catch (const platform::rpc::RpcException& e) {
        return e.code();
    }
    return 0;
}

TEST(WinRpc, StringBindingsAreComposedAsTheRuntimeSpellsThem) {
    RPC_WSTR text = nullptr;
    wchar_t protocol[] = L"ncalrpc", endpoint[] = L"KeplinAfsServiceRpcEndpoint";
    ASSERT_EQ(RpcStringBindingComposeW(nullptr, protocol, nullptr, endpoint, nullptr, &text), RPC_S_OK);
    EXPECT_STREQ(text, L"ncalrpc:[KeplinAfsServiceRpcEndpoint]");
    RpcStringFreeW(&text);
}

TEST(WinRpc, CallsReachOnlyTheServedEndpointAndRaiseTheirFailures) {
    sim::ScopedMachine machine(sim::MachineBuilder("rpc").Set("/cache_service/listening", "true"));
    RPC_STATUS status = 0;
    EXPECT_EQ(Bind(L"ncacn_ip_tcp", L"1234", &status), nullptr);
    EXPECT_EQ(status, RPC_S_PROTSEQ_NOT_SUPPORTED);

    RPC_BINDING_HANDLE nobody = Bind(L"ncalrpc", L"NoSuchEndpoint", &status);
    ASSERT_EQ(status, RPC_S_OK);
    EXPECT_EQ(ExceptionOf(nobody, kCacheService, 0), RPC_S_SERVER_UNAVAILABLE);

    RPC_BINDING_HANDLE binding = Bind(L"ncalrpc", L"KeplinAfsServiceRpcEndpoint", &status);
    ASSERT_EQ(status, RPC_S_OK);
    platform::rpc::InterfaceId newer = kCacheService;
    newer.minorVersion = 2;
    EXPECT_EQ(ExceptionOf(binding, newer, 0), static_cast<DWORD>(RPC_S_UNKNOWN_IF));
    EXPECT_EQ(ExceptionOf(binding, kCacheService, 7), static_cast<DWORD>(RPC_S_PROCNUM_OUT_OF_RANGE));
    // Closing a context the service never gave out.
    try {
        platform::rpc::CallProcedure(binding, kCacheService, 1, std::vector<uint8_t>(20, 0xAB));
        ADD_FAILURE() << "no exception";
    } catch (const platform::rpc::RpcException& e) {
        EXPECT_EQ(e.code(), static_cast<DWORD>(RPC_X_SS_CONTEXT_MISMATCH));
    }
    const std::vector<uint8_t> context = platform::rpc::CallProcedure(binding, kCacheService, 0, {});
    EXPECT_EQ(context.size(), 20u);
    EXPECT_EQ(platform::rpc::CallProcedure(binding, kCacheService, 1, context), std::vector<uint8_t>(20, 0));

    EXPECT_EQ(RpcBindingFree(&binding), RPC_S_OK);
    EXPECT_EQ(ExceptionOf(binding, kCacheService, 0), RPC_S_INVALID_BINDING);
}

} // namespace
