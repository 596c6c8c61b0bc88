#include <cstdlib>
#include <functional>
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

// What the runtime checks for the stubs, over the cache service's pinning interface: references,
// enumeration ranges, array counts, the length of the reply, and the memory it takes for it.
TEST(WinRpc, TheRuntimeRefusesWhatAStubMustNotPassOrReceive) {
    sim::ScopedMachine machine(sim::MachineBuilder("rpc").Set("/cache_service/listening", "true"));
    RPC_STATUS status = 0;
    RPC_BINDING_HANDLE binding = Bind(L"ncalrpc", L"KeplinAfsServiceRpcEndpoint", &status);
    ASSERT_EQ(status, RPC_S_OK);
    const platform::rpc::InterfaceId pinning{
        {0x0362fd69, 0xab89, 0x41fa, {0x8c, 0xe8, 0x75, 0xaa, 0xa5, 0xa3, 0xcd, 0x52}}, 1, 1};
    static int allocations = 0;
    static bool refuse = false;
    const platform::rpc::StubMemory memory{[](size_t size) -> void* {
                                               ++allocations;
                                               return refuse ? nullptr : std::malloc(size);
                                           },
                                           [](void* block) { std::free(block); }};
    auto raised = [&](const std::function<void()>& f) -> DWORD {
        try {
            f();
        } catch (const platform::rpc::RpcException& e) {
            return e.code();
        }
        return 0;
    };

    EXPECT_EQ(raised([] { platform::rpc::RequireReference(nullptr); }),
              static_cast<DWORD>(RPC_X_NULL_REF_POINTER));

    // Procedure 7 answers one 16-bit enumeration.
    machine->SetValue("/cache_service/pinning/answers/migration", 32767);
    {
        platform::rpc::NdrReply reply = platform::rpc::CallProcedure(binding, pinning, 7, {}, memory);
        EXPECT_EQ(reply.Enum16(), 32767);
        reply.End();
    }
    EXPECT_EQ(allocations, 1);
    machine->SetValue("/cache_service/pinning/answers/migration", 40000);
    EXPECT_EQ(raised([&] { platform::rpc::CallProcedure(binding, pinning, 7, {}, memory).Enum16(); }),
              static_cast<DWORD>(RPC_X_ENUM_VALUE_OUT_OF_RANGE));
    // Read past its end, or not read to its end: malformed.
    EXPECT_EQ(raised([&] { platform::rpc::CallProcedure(binding, pinning, 7, {}, memory).U32(); }),
              static_cast<DWORD>(RPC_X_BAD_STUB_DATA));
    EXPECT_EQ(raised([&] { platform::rpc::CallProcedure(binding, pinning, 7, {}, memory).End(); }),
              static_cast<DWORD>(RPC_X_BAD_STUB_DATA));
    refuse = true;
    EXPECT_EQ(raised([&] { platform::rpc::CallProcedure(binding, pinning, 7, {}, memory); }),
              static_cast<DWORD>(RPC_S_OUT_OF_MEMORY));
    refuse = false;

    // A path array: two paths, the second absent; a per-file array answers for each.
    platform::rpc::NdrRequest in;
    in.Int32(2);
    in.Conformance(2);
    in.UniqueString(L"C:\\a\U0001F600");
    in.UniqueString(nullptr);
    EXPECT_EQ(in.Bytes().size(), 4u + 4 + 4 + 2 * 7 + 4);
    {
        platform::rpc::NdrReply reply = platform::rpc::CallProcedure(binding, pinning, 3, in, memory);
        EXPECT_EQ(raised([&] { reply.Conformance(3); }), static_cast<DWORD>(RPC_X_BAD_STUB_DATA));
    }
    platform::rpc::NdrReply reply = platform::rpc::CallProcedure(binding, pinning, 3, in, memory);
    reply.Conformance(2);
    EXPECT_EQ(reply.Enum16(), 2);  // no such file
    EXPECT_EQ(reply.Enum16(), 87); // the absent path arrived as null
    EXPECT_EQ(reply.Enum16(), 17);
    reply.End();
    // The server checks the correlation too.
    platform::rpc::NdrRequest uncorrelated;
    uncorrelated.Int32(2);
    uncorrelated.Conformance(1);
    uncorrelated.UniqueString(nullptr);
    EXPECT_EQ(raised([&] { platform::rpc::CallProcedure(binding, pinning, 3, uncorrelated, memory); }),
              static_cast<DWORD>(RPC_X_BAD_STUB_DATA));
}

} // namespace
