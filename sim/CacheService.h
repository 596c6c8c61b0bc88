#pragma once
// The cache product's service "KeplinAfsService" as its clients reach it: the local RPC endpoint
// "KeplinAfsServiceRpcEndpoint" with the context open and close procedures, the message procedure
// and the pinning interface (sim/CacheServicePinning.h), answered in the calling process from the
// machine's state ("cache_service" section).
// The endpoint listens while the service runs in the service database (sim/Services.h).
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace sim::cacheservice {

constexpr const char* kEndpoint = "KeplinAfsServiceRpcEndpoint";

struct Answer {
    // The RPC exception the call raises (0: none).
    uint32_t exception = 0;
    std::vector<uint8_t> out;
};

// One call of a procedure of one of the endpoint's interfaces, [in] and [out] marshalled as
// sim/README.md describes.
Answer Call(const GUID& interfaceUuid, uint16_t majorVersion, uint16_t minorVersion, uint32_t procedure,
            const std::vector<uint8_t>& in);

// For tests: the contexts opened and not closed yet, the contexts ever opened and closed, and the
// messages answered.
size_t OpenContexts();
size_t ContextsOpened();
size_t ContextsClosed();
size_t MessagesAnswered();

} // namespace sim::cacheservice
