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

// Made on first use and kept: a library closes its service context from its own destructors, in
// whatever order the loader runs them.
struct Bindings {
    std::mutex mutex;
    std::map<uintptr_t, Binding> byHandle;
    uintptr_t next = 0xB1000;
};
Bindings& TheBindings() {
    static Bindings* bindings = new Bindings;
    return *bindings;
}

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
    Bindings& b = TheBindings();
    std::lock_guard<std::mutex> lock(b.mutex);
    b.next += 8;
    b.byHandle[b.next] = Binding{endpoint};
    *binding = reinterpret_cast<RPC_BINDING_HANDLE>(b.next);
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
    Bindings& b = TheBindings();
    std::lock_guard<std::mutex> lock(b.mutex);
    if (b.byHandle.erase(reinterpret_cast<uintptr_t>(*binding)) == 0)
        return RPC_S_INVALID_BINDING;
    *binding = nullptr;
    return RPC_S_OK;
}

namespace platform::rpc {
namespace {

constexpr int32_t kEnumMax = 32767;
constexpr uint32_t kSurrogateBase = 0x10000, kReplacement = 0xFFFD;

void Append(std::vector<uint8_t>& bytes, const void* value, size_t size) {
    const auto* p = static_cast<const uint8_t*>(value);
    bytes.insert(bytes.end(), p, p + size);
}

// A wide string of this machine (UTF-32) as the UTF-16 units Windows would send.
std::vector<uint16_t> Utf16(const wchar_t* text) {
    std::vector<uint16_t> units;
    for (; *text; ++text) {
        uint32_t c = static_cast<uint32_t>(*text);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = kReplacement;
        if (c >= kSurrogateBase) {
            c -= kSurrogateBase;
            units.push_back(static_cast<uint16_t>(0xD800 | (c >> 10)));
            units.push_back(static_cast<uint16_t>(0xDC00 | (c & 0x3FF)));
        } else {
            units.push_back(static_cast<uint16_t>(c));
        }
    }
    units.push_back(0);
    return units;
}

} // namespace

std::vector<uint8_t> CallProcedure(RPC_BINDING_HANDLE binding, const InterfaceId& interfaceId,
                                   uint32_t procedure, const std::vector<uint8_t>& in) {
    std::string endpoint;
    {
        Bindings& b = TheBindings();
        std::lock_guard<std::mutex> lock(b.mutex);
        auto it = b.byHandle.find(reinterpret_cast<uintptr_t>(binding));
        if (it == b.byHandle.end())
            throw RpcException(RPC_S_INVALID_BINDING);
        endpoint = it->second.endpoint;
    }
    wchar_t braced[39] = {};
    StringFromGUID2(interfaceId.uuid, braced, 39);
    const std::string uuid = Lower(sim::ToUtf8(std::wstring(braced + 1, 36)));
    auto outcome = platform::SimCall(
        "RpcCall", {{"endpoint", endpoint}, {"interface", uuid}, {"procedure", procedure}}, in);
    if (outcome && outcome->contains("hold")) {
        platform::HoldCall((*outcome)["hold"]);
        if (!outcome->contains("exception"))
            outcome.reset();
    }
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

void NdrRequest::U32(uint32_t value) {
    Append(bytes_, &value, sizeof value);
}

void NdrRequest::Int32(int32_t value) {
    Append(bytes_, &value, sizeof value);
}

void NdrRequest::U64(uint64_t value) {
    Append(bytes_, &value, sizeof value);
}

void NdrRequest::Raw(const uint8_t* bytes, size_t size) {
    Append(bytes_, bytes, size);
}

void NdrRequest::Conformance(uint32_t count) {
    U32(count);
}

void NdrRequest::UniqueString(const wchar_t* text) {
    if (!text) {
        U32(0);
        return;
    }
    const std::vector<uint16_t> units = Utf16(text);
    U32(static_cast<uint32_t>(units.size()));
    Append(bytes_, units.data(), units.size() * sizeof(uint16_t));
}

void RequireReference(const void* pointer) {
    if (!pointer)
        throw RpcException(RPC_X_NULL_REF_POINTER);
}

NdrReply::NdrReply(uint8_t* data, size_t size, const StubMemory& memory)
    : data_(data), size_(size), memory_(memory) {}

NdrReply::NdrReply(NdrReply&& other) noexcept
    : data_(other.data_), size_(other.size_), at_(other.at_), memory_(other.memory_) {
    other.data_ = nullptr;
}

NdrReply::~NdrReply() {
    if (data_)
        memory_.release(data_);
}

const uint8_t* NdrReply::Take(size_t size) {
    if (size > size_ - at_)
        throw RpcException(RPC_X_BAD_STUB_DATA);
    const uint8_t* p = data_ + at_;
    at_ += size;
    return p;
}

uint16_t NdrReply::U16() {
    uint16_t v;
    std::memcpy(&v, Take(sizeof v), sizeof v);
    return v;
}

uint32_t NdrReply::U32() {
    uint32_t v;
    std::memcpy(&v, Take(sizeof v), sizeof v);
    return v;
}

int32_t NdrReply::Int32() {
    return static_cast<int32_t>(U32());
}

uint64_t NdrReply::U64() {
    uint64_t v;
    std::memcpy(&v, Take(sizeof v), sizeof v);
    return v;
}

void NdrReply::Raw(uint8_t* out, size_t size) {
    std::memcpy(out, Take(size), size);
}

int32_t NdrReply::Enum16() {
    const uint16_t v = U16();
    if (v > kEnumMax)
        throw RpcException(RPC_X_ENUM_VALUE_OUT_OF_RANGE);
    return v;
}

void NdrReply::Conformance(uint32_t count) {
    if (U32() != count)
        throw RpcException(RPC_X_BAD_STUB_DATA);
}

void NdrReply::End() const {
    if (at_ != size_)
        throw RpcException(RPC_X_BAD_STUB_DATA);
}

NdrReply CallProcedure(RPC_BINDING_HANDLE binding, const InterfaceId& interfaceId, uint32_t procedure,
                       const NdrRequest& in, const StubMemory& memory) {
    const std::vector<uint8_t> out = CallProcedure(binding, interfaceId, procedure, in.Bytes());
    // Even an empty reply is a block of the stub's, as the runtime's buffer would be.
    auto* data = static_cast<uint8_t*>(memory.allocate(out.empty() ? 1 : out.size()));
    if (!data)
        throw RpcException(RPC_S_OUT_OF_MEMORY);
    if (!out.empty())
        std::memcpy(data, out.data(), out.size());
    return NdrReply(data, out.size(), memory);
}

} // namespace platform::rpc
