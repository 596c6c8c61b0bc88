#pragma once
// Local RPC, as narrow as the product uses it: compose a string binding and make a binding handle
// from it, and call one procedure of an interface (by UUID, version and procedure number) through
// the binding with the procedure's marshalled [in] arguments, getting its marshalled [out]
// arguments back. A failure of the call, raised by the runtime or by the server, is an RPC
// exception: here a C++ exception carrying its code, caught where Windows code has RpcExcept.
//
// The client stubs are the product's; what the runtime does for them (marshalling, the checks of
// enumerations, references and array sizes, the memory it takes for the reply) is here.
#include <cstddef>
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
constexpr RPC_STATUS RPC_S_OUT_OF_MEMORY = 14;
constexpr RPC_STATUS RPC_X_INVALID_BOUND = 1734;
constexpr RPC_STATUS RPC_X_SS_IN_NULL_CONTEXT = 1775;
constexpr RPC_STATUS RPC_X_NULL_REF_POINTER = 1780;
constexpr RPC_STATUS RPC_X_ENUM_VALUE_OUT_OF_RANGE = 1781;
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

// The memory routines of a client stub descriptor: what the runtime unmarshals on the client's
// behalf (the [out] bytes of a call) is allocated and released with them.
struct StubMemory {
    void* (*allocate)(size_t size);
    void (*release)(void* block);
};

// [in] arguments in the wire form the servers of this machine read (sim/README.md): little-endian,
// no padding, conformant arrays preceded by their element count.
class NdrRequest {
public:
    void U32(uint32_t value);
    void Int32(int32_t value);
    void U64(uint64_t value);
    void Raw(const uint8_t* bytes, size_t size);
    // The element count of a conformant array, from the parameter that sizes it.
    void Conformance(uint32_t count);
    // A [unique] NUL-terminated wide string: its length in UTF-16 units with the terminator and the
    // units, or a length of 0 for a null pointer (an absent string).
    void UniqueString(const wchar_t* text);
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// A [ref] pointer of a stub's parameters: null raises RPC_X_NULL_REF_POINTER before anything is sent.
void RequireReference(const void* pointer);

// The [out] arguments of one call, read in order from memory of the stub's routines. Reading past
// the end, a conformant array whose count is not the one its parameter correlates with, and bytes
// left over raise RPC_X_BAD_STUB_DATA: a malformed reply never reaches the caller.
class NdrReply {
public:
    NdrReply(NdrReply&& other) noexcept;
    NdrReply& operator=(NdrReply&&) = delete;
    NdrReply(const NdrReply&) = delete;
    ~NdrReply();

    uint16_t U16();
    uint32_t U32();
    int32_t Int32();
    uint64_t U64();
    void Raw(uint8_t* out, size_t size);
    // A 16-bit enumeration, widened to 32 bits; a value above 32767 raises
    // RPC_X_ENUM_VALUE_OUT_OF_RANGE.
    int32_t Enum16();
    // The element count of a conformant [out] array; it must be `count`.
    void Conformance(uint32_t count);
    // Every byte has been read.
    void End() const;

private:
    friend NdrReply CallProcedure(RPC_BINDING_HANDLE, const InterfaceId&, uint32_t, const NdrRequest&,
                                  const StubMemory&);
    NdrReply(uint8_t* data, size_t size, const StubMemory& memory);
    const uint8_t* Take(size_t size);

    uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    StubMemory memory_;
};

// Calls the procedure with marshalled [in] arguments; the reply lives in memory from `memory`
// (RPC_S_OUT_OF_MEMORY raised when it cannot be had). Raises RpcException for any failure.
NdrReply CallProcedure(RPC_BINDING_HANDLE binding, const InterfaceId& interfaceId, uint32_t procedure,
                       const NdrRequest& in, const StubMemory& memory);

} // namespace platform::rpc
