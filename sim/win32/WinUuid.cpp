// GUID creation and text over the simulated machine: random version-4 GUIDs; both calls can be made
// to fail by fault rules ("CoCreateGuid", "UuidToString").
#include "platform/win/WinUuid.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>

#include "sim/Schema.h"
#include "sim/win32/SimCall.h"

namespace {

constexpr size_t kUuidTextChars = 36;

const sim::schema::FaultKind kCreateFaults("CoCreateGuid", {},
                                           sim::schema::Object({{"hresult", sim::schema::Word32()}}));
const sim::schema::FaultKind kTextFaults("UuidToString", {},
                                         sim::schema::Object({{"rpc_status", sim::schema::Word32()}}));

uint64_t RandomWord() {
    static std::mutex mutex;
    static std::mt19937_64 engine{std::random_device{}()};
    std::lock_guard lock(mutex);
    return engine();
}

} // namespace

HRESULT CoCreateGuid(GUID* guid) {
    if (auto outcome = platform::SimCall("CoCreateGuid", nlohmann::json::object()))
        return static_cast<HRESULT>(
            platform::OutcomeNumber(*outcome, "hresult", static_cast<uint32_t>(E_FAIL)));
    if (!guid)
        return static_cast<HRESULT>(0x80070057); // E_INVALIDARG
    const uint64_t high = RandomWord();
    const uint64_t low = RandomWord();
    guid->Data1 = static_cast<uint32_t>(high >> 32);
    guid->Data2 = static_cast<uint16_t>(high >> 16);
    // Version 4 in the top nibble of Data3, the RFC 4122 variant in the top bits of Data4[0].
    guid->Data3 = static_cast<uint16_t>((high & 0x0FFF) | 0x4000);
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = static_cast<uint8_t>(low >> (8 * (7 - i)));
    guid->Data4[0] = static_cast<uint8_t>((guid->Data4[0] & 0x3F) | 0x80);
    return S_OK;
}

RPC_STATUS UuidToStringA(const UUID* uuid, RPC_CSTR* text) {
    if (!text)
        return RPC_S_INVALID_ARG;
    *text = nullptr;
    if (auto outcome = platform::SimCall("UuidToString", nlohmann::json::object()))
        return static_cast<RPC_STATUS>(platform::OutcomeNumber(*outcome, "rpc_status", RPC_S_OUT_OF_MEMORY));
    if (!uuid)
        return RPC_S_INVALID_ARG;
    auto* out = new (std::nothrow) unsigned char[kUuidTextChars + 1];
    if (!out)
        return RPC_S_OUT_OF_MEMORY;
    const GUID& g = *uuid;
    std::snprintf(reinterpret_cast<char*>(out), kUuidTextChars + 1,
                  "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", static_cast<unsigned>(g.Data1),
                  static_cast<unsigned>(g.Data2), static_cast<unsigned>(g.Data3), g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    *text = out;
    return RPC_S_OK;
}

RPC_STATUS RpcStringFreeA(RPC_CSTR* text) {
    if (!text)
        return RPC_S_INVALID_ARG;
    delete[] * text;
    *text = nullptr;
    return RPC_S_OK;
}
