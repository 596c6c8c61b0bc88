#pragma once
// Fresh GUIDs (COM runtime) and their narrow text form (RPC runtime).
#include <cstdint>

#include "platform/win/WinError.h"
#include "platform/win/WinTypes.h"

using UUID = GUID;
using RPC_STATUS = LONG;
using RPC_CSTR = unsigned char*;

constexpr RPC_STATUS RPC_S_OK = 0;
constexpr RPC_STATUS RPC_S_OUT_OF_MEMORY = 14;
constexpr RPC_STATUS RPC_S_INVALID_ARG = 87;

// A new random GUID (version 4); a failure leaves *guid unchanged and returns a failing HRESULT.
HRESULT CoCreateGuid(GUID* guid);

// Allocates "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (lower case, 36 characters and a NUL) for the
// caller, who frees it with RpcStringFreeA; *text is null on failure.
RPC_STATUS UuidToStringA(const UUID* uuid, RPC_CSTR* text);
// Frees a string of UuidToStringA and sets *text to null; a null pointer or string is accepted.
RPC_STATUS RpcStringFreeA(RPC_CSTR* text);
