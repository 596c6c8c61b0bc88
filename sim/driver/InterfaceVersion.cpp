// The interface version request (SRB control code 0x7EF50410): 28-byte SRB_IO_CONTROL with the
// interface's signature, then the major (offset 28) and minor (offset 32) version the driver
// implements. An interface the driver does not have fails the request with ERROR_INVALID_FUNCTION,
// as when no handler takes a signature. The target address word is ignored: every device behind
// the controller speaks the same interface version.
#include <cstdio>
#include <map>
#include <string>

#include "platform/win/WinError.h"
#include "sim/devio/Bytes.h"
#include "sim/devio/Lookup.h"
#include "sim/driver/InterfaceVersion.h"

#include "sim/MachineState.h"
#include "sim/devio/DeviceIo.h"

namespace sim::driver {
namespace {

using nlohmann::json;

constexpr uint32_t kInterfaceVersionCode = 0x7EF50410;

struct Version {
    uint32_t major;
    uint32_t minor;
};

// What the driver implements unless the adapter says otherwise.
const std::map<std::string, Version>& DefaultVersions() {
    static const std::map<std::string, Version> versions = {
        {"OrvexATA", {1, 0}}, {"OrvexRmp", {1, 5}}, {"OrvexCST", {1, 0}}, {"OrvexFw ", {1, 0}},
        {"OrvexNvm", {1, 2}}, {"OrvexRdp", {1, 2}}, {"OrvexVlp", {1, 3}},
    };
    return versions;
}

// The adapter's version of the interface: its "interface_versions" entry ("major.minor", or null
// for an interface it does not have), else the default.
bool VersionOf(const json& adapter, const std::string& signature, Version& out) {
    auto section = adapter.find("interface_versions");
    if (section != adapter.end() && section->is_object()) {
        auto it = section->find(signature);
        if (it != section->end()) {
            unsigned major = 0, minor = 0;
            if (!it->is_string() || std::sscanf(it->get<std::string>().c_str(), "%u.%u", &major, &minor) != 2)
                return false;
            out = {major, minor};
            return true;
        }
    }
    auto it = DefaultVersions().find(signature);
    if (it == DefaultVersions().end())
        return false;
    out = it->second;
    return true;
}

devio::DriverAnswer InterfaceVersion(devio::DriverRequest& r) {
    Version version{};
    bool known = false;
    Current().Read([&](const nlohmann::json& state) {
        static const nlohmann::json none = nlohmann::json::object();
        const nlohmann::json* adapter = devio::FindAdapter(state, r.port);
        known = VersionOf(adapter ? *adapter : none, r.srb->signature, version);
    });
    if (!known)
        return devio::DriverAnswer{ERROR_INVALID_FUNCTION, 0};
    devio::ByteWriter w(r.buffer);
    if (r.buffer.size() < 36)
        return devio::DriverAnswer{ERROR_INVALID_PARAMETER, 0};
    w.U32(28, version.major);
    w.U32(32, version.minor);
    r.SetReturnCode(0);
    return devio::DriverAnswer{};
}

} // namespace

void RegisterInterfaceVersionFamily(devio::DriverDispatch& dispatch) {
    dispatch.AddMiniport(devio::kRaidDriver, std::string(), kInterfaceVersionCode, InterfaceVersion);
}

} // namespace sim::driver
