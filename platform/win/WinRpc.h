#pragma once
// Local RPC, as narrow as the product uses it: compose a string binding and make a binding handle
// from it, and call one procedure of an interface (by UUID, version and procedure number) through
// the binding with the procedure's marshalled [in] arguments, getting its marshalled [out]
// arguments back. A failure of the call, raised by the runtime or by the server, is an RPC
// exception: here a C++ exception carrying its code, caught where Windows code has RpcExcept.
#include <cstdint>
#include <exception>
#include <vector>

#include "platform/win/WinError.h"
#include "platform/win/WinTypes.h"

using RPC_STATUS = LONG;
using RPC_BINDING_HANDLE = void*;
using RPC_WSTR = wchar_t*;

constexpr RPC_STATUS RPC_S_OK = 0;
constexpr RPC_STATUS RPC_S_INVALID_STRING_BINDING = 1700;
constexpr RPC_STATUS RPC_S_PROTSEQ_NOT_SUPPORTED = 1703;
constexpr RPC_STATUS RPC_S_UNKNOWN_IF = 1717;
constexpr RPC_STATUS RPC_S_PROCNUM_OUT_OF_RANGE = 1745;
constexpr RPC_STATUS RPC_X_SS_CONTEXT_MISMATCH = 6;
constexpr RPC_STATUS RPC_X_BAD_STUB_DATA = 1783;

// Makes "protseq:networkAddress[endpoint,options]" (with "uuid@" in front when given); free the
// result with RpcStringFreeW.
RPC_STATUS RpcStringBindingComposeW(RPC_WSTR objectUuid, RPC_WSTR protSeq, RPC_WSTR networkAddress,
                                    RPC_WSTR endpoint, RPC_WSTR options, RPC_WSTR* stringBinding);
// Only the "ncalrpc" protocol sequence is supported. The server is not reached here: a binding to an
// endpoint nobody listens on fails at its first call.
RPC_STATUS RpcBindingFromStringBindingW(RPC_WSTR stringBinding, RPC_BINDING_HANDLE* binding);
RPC_STATUS RpcStringFreeW(RPC_WSTR* string);
RPC_STATUS RpcBindingFree(RPC_BINDING_HANDLE* binding);

namespace platform::rpc {

struct InterfaceId {
    GUID uuid;
    uint16_t majorVersion;
    uint16_t minorVersion;
};

// An RPC exception and its code (RPC_S_SERVER_UNAVAILABLE, RPC_S_INVALID_BINDING, ...).
class RpcException : public std::exception {
public:
    explicit RpcException(DWORD code) : code_(code) {}
    DWORD code() const { return code_; }
    const char* what() const noexcept override { return "RPC exception"; }

private:
    DWORD code_;
};

// Calls the procedure through the binding. The byte layouts of [in] and [out] are the interface's
// (each server documents its own); raises RpcException for any failure of the call.
std::vector<uint8_t> CallProcedure(RPC_BINDING_HANDLE binding, const InterfaceId& interfaceId,
                                   uint32_t procedure, const std::vector<uint8_t>& in);

} // namespace platform::rpc
