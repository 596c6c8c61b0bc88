// The zero-power optical drive request ("OrvexATA", IOCTL_ZERO_POWER_ODD): the power state, media
// and tray of the optical drive at an address, acknowledged by echoing the caller's marker 0x1234.
#include <string>

#include "sim/devio/Bytes.h"
#include "sim/driver/RemapPortDevices.h"

namespace sim::driver {
namespace {

using devio::ByteReader;
using devio::ByteWriter;
using devio::DriverAnswer;
using devio::DriverRequest;
using nlohmann::json;

constexpr const char* kSignature = "OrvexATA";
constexpr uint32_t kZeroPowerOdd = 0x80000C00;
constexpr uint32_t kMarker = 0x1234;
// Power states: 1 awake, 2 dozing, 3 asleep, 4 awakening, 5 the drive lacks zero-power support.
constexpr uint32_t kDriveNotSupported = 5;

uint32_t PowerState(const json& zpodd) {
    if (zpodd.contains("power_state") && zpodd.at("power_state").is_string()) {
        const std::string s = zpodd.at("power_state").get<std::string>();
        if (s == "awake")
            return 1;
        if (s == "dozing")
            return 2;
        if (s == "asleep")
            return 3;
        if (s == "awakening")
            return 4;
    }
    return static_cast<uint32_t>(DescNumber(zpodd, "power_state", 1));
}

DriverAnswer ZeroPowerOdd(DriverRequest& request) {
    return AnswerFromMachine([&](const json& state) {
        ByteReader r(request.buffer);
        ByteWriter w(request.buffer);
        request.SetReturnCode(kDriverOk);
        auto view = FindPort(state, request.port, AddressOfWord(request.srb->returnCode));
        // Only an optical drive answers, and only a request that carries the marker.
        if (!view || !view->device || !IsAtapiDevice(*view->device) || r.U32(28) != kMarker)
            return DriverAnswer{};
        const json& device = *view->device;
        if (!device.contains("zpodd") || !device.at("zpodd").is_object()) {
            w.U32(32, kMarker);
            w.U32(36, kDriveNotSupported);
            return DriverAnswer{};
        }
        const json& zpodd = device.at("zpodd");
        if (DescFlag(zpodd, "acknowledge", true))
            w.U32(32, kMarker);
        w.U32(36, PowerState(zpodd));
        w.U32(40, DescFlag(zpodd, "media") ? 1 : 0);
        w.U32(52, DescFlag(zpodd, "tray_open") ? 1 : 0);
        return DriverAnswer{};
    });
}

} // namespace

void RegisterZpoddFamily(devio::DriverDispatch& dispatch) {
    dispatch.AddMiniport(devio::kRaidDriver, kSignature, kZeroPowerOdd, ZeroPowerOdd);
}

} // namespace sim::driver
