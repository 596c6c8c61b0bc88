#pragma once
// The drivers that run the simulated storage adapters. A request that Windows passes down to the
// adapter's driver (IOCTL_SCSI_MINIPORT with its SRB_IO_CONTROL header, or one of the driver's own
// device control codes) is routed by the adapter's "driver" name, then by the header's signature and
// control code (or by the device control code), to a handler in this dispatch table.
//
// The vendor's RAID driver ("moxraid") answers family by family: each request family is one source
// under sim/driver/ with a registration function, listed once in sim/devio/DriverFamilies.cpp.
// A request nobody answers fails with ERROR_INVALID_FUNCTION, as a driver without that interface does.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <tuple>

#include "platform/win/WinTypes.h"

namespace sim::devio {

// The vendor's RAID driver, by its service name as adapter descriptions give it.
inline constexpr const char* kRaidDriver = "moxraid";

inline constexpr uint32_t kIoctlScsiMiniport = 0x4D008;
inline constexpr uint32_t kSrbHeaderSize = 28;

// SRB_IO_CONTROL, as the request carried it.
struct SrbHeader {
    uint32_t headerLength = 0; // offset 0
    std::string signature;     // offset 4, 8 bytes, up to the first NUL
    uint32_t timeout = 0;      // offset 12
    uint32_t controlCode = 0;  // offset 16
    uint32_t returnCode = 0;   // offset 20: the target address word on the way in
    uint32_t length = 0;       // offset 24
};

struct DriverRequest {
    // The adapter that received the request.
    int port = -1;
    std::string driver;
    std::string path; // the path the handle was opened by

    uint32_t ioControlCode = 0;
    // Set for IOCTL_SCSI_MINIPORT requests.
    std::optional<SrbHeader> srb;

    // The system buffer: the input bytes, zero-extended to the larger buffer; the driver writes its
    // answer in place, as a buffered request does on Windows.
    std::span<uint8_t> buffer;
    uint32_t inputSize = 0;
    uint32_t outputSize = 0;

    // Writes the answer's SRB_IO_CONTROL.ReturnCode.
    void SetReturnCode(uint32_t code);
};

struct DriverAnswer {
    // Non-zero: the device call fails with this error.
    DWORD win32Error = 0;
    // Bytes the answer holds; unset: the output size (miniport: at most HeaderLength + Length).
    std::optional<uint32_t> bytesReturned;
};

using DriverHandler = std::function<DriverAnswer(DriverRequest&)>;

class DriverDispatch {
public:
    // The process's table, with every family of sim/devio/DriverFamilies.cpp registered.
    static DriverDispatch& Instance();

    // An empty signature answers the control code under any signature (a request every interface
    // of the driver knows, such as the interface version query).
    void AddMiniport(const std::string& driver, const std::string& signature, uint32_t controlCode,
                     DriverHandler handler);
    void AddControlCode(const std::string& driver, uint32_t ioControlCode, DriverHandler handler);

    // The handler for a request, if any: an exact signature first, then the any-signature entry.
    DriverHandler FindMiniport(const std::string& driver, const std::string& signature,
                               uint32_t controlCode) const;
    DriverHandler FindControlCode(const std::string& driver, uint32_t ioControlCode) const;

    // Replaces one entry and gives back the one it replaced (empty when none); tests use it through
    // ScopedDriverHandler.
    DriverHandler ExchangeMiniport(const std::string& driver, const std::string& signature,
                                   uint32_t controlCode, DriverHandler handler);
    DriverHandler ExchangeControlCode(const std::string& driver, uint32_t ioControlCode,
                                      DriverHandler handler);

private:
    DriverDispatch() = default;
    using MiniportKey = std::tuple<std::string, std::string, uint32_t>;
    using CodeKey = std::tuple<std::string, uint32_t>;
    mutable std::mutex mutex_;
    std::map<MiniportKey, DriverHandler> miniport_;
    std::map<CodeKey, DriverHandler> codes_;
};

// A handler installed for one scope (a test); the previous entry comes back afterwards.
class ScopedDriverHandler {
public:
    ScopedDriverHandler(const std::string& driver, const std::string& signature, uint32_t controlCode,
                        DriverHandler handler);
    ScopedDriverHandler(const std::string& driver, uint32_t ioControlCode, DriverHandler handler);
    ~ScopedDriverHandler();
    ScopedDriverHandler(const ScopedDriverHandler&) = delete;
    ScopedDriverHandler& operator=(const ScopedDriverHandler&) = delete;

private:
    bool miniport_;
    std::string driver_, signature_;
    uint32_t code_;
    DriverHandler previous_;
};

// Parses the header at the start of a miniport buffer; nullopt when the buffer is shorter than it.
std::optional<SrbHeader> ParseSrbHeader(std::span<const uint8_t> buffer);

// Runs a request that reached an adapter's driver. `buffer` is the system buffer (see DriverRequest).
struct DriverResult {
    DWORD win32Error = 0;
    uint32_t bytesReturned = 0;
};
DriverResult RunDriverRequest(DriverRequest& request);

} // namespace sim::devio
