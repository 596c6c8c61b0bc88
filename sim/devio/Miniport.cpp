#include "sim/devio/Miniport.h"

#include <algorithm>

#include "platform/win/WinError.h"
#include "sim/devio/Bytes.h"
#include "sim/devio/DriverFamilies.h"

namespace sim::devio {

void DriverRequest::SetReturnCode(uint32_t code) {
    ByteWriter(buffer).U32(20, code);
}

DriverDispatch& DriverDispatch::Instance() {
    static DriverDispatch* instance = [] {
        auto* d = new DriverDispatch();
        RegisterDriverFamilies(*d);
        return d;
    }();
    return *instance;
}

void DriverDispatch::AddMiniport(const std::string& driver, const std::string& signature,
                                 uint32_t controlCode, DriverHandler handler) {
    ExchangeMiniport(driver, signature, controlCode, std::move(handler));
}

void DriverDispatch::AddControlCode(const std::string& driver, uint32_t ioControlCode,
                                    DriverHandler handler) {
    ExchangeControlCode(driver, ioControlCode, std::move(handler));
}

DriverHandler DriverDispatch::FindMiniport(const std::string& driver, const std::string& signature,
                                           uint32_t controlCode) const {
    std::lock_guard lock(mutex_);
    auto it = miniport_.find({driver, signature, controlCode});
    if (it == miniport_.end())
        it = miniport_.find({driver, std::string(), controlCode});
    return it == miniport_.end() ? DriverHandler() : it->second;
}

DriverHandler DriverDispatch::FindControlCode(const std::string& driver, uint32_t ioControlCode) const {
    std::lock_guard lock(mutex_);
    auto it = codes_.find({driver, ioControlCode});
    return it == codes_.end() ? DriverHandler() : it->second;
}

DriverHandler DriverDispatch::ExchangeMiniport(const std::string& driver, const std::string& signature,
                                               uint32_t controlCode, DriverHandler handler) {
    std::lock_guard lock(mutex_);
    MiniportKey key{driver, signature, controlCode};
    DriverHandler previous;
    if (auto it = miniport_.find(key); it != miniport_.end()) {
        previous = std::move(it->second);
        miniport_.erase(it);
    }
    if (handler)
        miniport_.emplace(key, std::move(handler));
    return previous;
}

DriverHandler DriverDispatch::ExchangeControlCode(const std::string& driver, uint32_t ioControlCode,
                                                  DriverHandler handler) {
    std::lock_guard lock(mutex_);
    CodeKey key{driver, ioControlCode};
    DriverHandler previous;
    if (auto it = codes_.find(key); it != codes_.end()) {
        previous = std::move(it->second);
        codes_.erase(it);
    }
    if (handler)
        codes_.emplace(key, std::move(handler));
    return previous;
}

ScopedDriverHandler::ScopedDriverHandler(const std::string& driver, const std::string& signature,
                                         uint32_t controlCode, DriverHandler handler)
    : miniport_(true), driver_(driver), signature_(signature), code_(controlCode) {
    previous_ =
        DriverDispatch::Instance().ExchangeMiniport(driver, signature, controlCode, std::move(handler));
}

ScopedDriverHandler::ScopedDriverHandler(const std::string& driver, uint32_t ioControlCode,
                                         DriverHandler handler)
    : miniport_(false), driver_(driver), code_(ioControlCode) {
    previous_ = DriverDispatch::Instance().ExchangeControlCode(driver, ioControlCode, std::move(handler));
}

ScopedDriverHandler::~ScopedDriverHandler() {
    if (miniport_)
        DriverDispatch::Instance().ExchangeMiniport(driver_, signature_, code_, std::move(previous_));
    else
        DriverDispatch::Instance().ExchangeControlCode(driver_, code_, std::move(previous_));
}

std::optional<SrbHeader> ParseSrbHeader(std::span<const uint8_t> buffer) {
    ByteReader r(buffer);
    if (!r.Has(0, kSrbHeaderSize))
        return std::nullopt;
    SrbHeader h;
    h.headerLength = r.U32(0);
    h.signature = r.Text(4, 8);
    h.timeout = r.U32(12);
    h.controlCode = r.U32(16);
    h.returnCode = r.U32(20);
    h.length = r.U32(24);
    return h;
}

DriverResult RunDriverRequest(DriverRequest& request) {
    DriverHandler handler;
    uint32_t defaultBytes = request.outputSize;
    if (request.ioControlCode == kIoctlScsiMiniport) {
        if (!request.srb)
            request.srb = ParseSrbHeader(
                request.buffer.first(std::min<size_t>(request.buffer.size(), request.inputSize)));
        const auto& h = request.srb;
        // The port driver refuses a header that does not describe the buffer it came in.
        if (!h || h->headerLength < kSrbHeaderSize ||
            uint64_t{h->headerLength} + h->length > std::max(request.inputSize, request.outputSize))
            return {ERROR_INVALID_PARAMETER, 0};
        handler = DriverDispatch::Instance().FindMiniport(request.driver, h->signature, h->controlCode);
        defaultBytes = static_cast<uint32_t>(
            std::min<uint64_t>(request.outputSize, uint64_t{h->headerLength} + h->length));
    } else {
        handler = DriverDispatch::Instance().FindControlCode(request.driver, request.ioControlCode);
    }
    if (!handler)
        return {ERROR_INVALID_FUNCTION, 0};
    DriverAnswer answer = handler(request);
    if (answer.win32Error != 0)
        return {answer.win32Error, answer.bytesReturned.value_or(0)};
    return {0, answer.bytesReturned.value_or(defaultBytes)};
}

} // namespace sim::devio
