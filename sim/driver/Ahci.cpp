// The ATA/AHCI miniport ("OrvexATA"): controller and port capabilities, the device map and identify
// data of a port, the security unlock of a password-locked disk and the runtime D3 information;
// and the I/O classifier statistics ("OrvexCST").
#include <algorithm>
#include <string>

#include "platform/win/WinError.h"
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
constexpr uint32_t kGetSetCapabilities = 0x80000A00;
constexpr uint32_t kIdentify = 0x80000A01;
constexpr uint32_t kGetPortDeviceMap = 0x80000A04;
constexpr uint32_t kUnlockDisk = 0x80000A08;
constexpr uint32_t kRtd3Info = 0x80000F00;

constexpr const char* kClassifierSignature = "OrvexCST";
constexpr uint32_t kGetClassifierStats = 0x42004;

// Capabilities record: after the SRB header, its length, direction, sub-function, data offset,
// data length and status, then the data.
constexpr uint32_t kCapabilitiesRecord = 52;
constexpr uint32_t kShortHeaderLength = 24;
enum CapabilityStatus : uint32_t {
    kStsOk = 0,
    kStsError = 1,
    kInvalidDirection = 2,
    kInvalidGroup = 3,
    kTooSmall = 4
};
constexpr uint32_t kAhciInfo = 100;
constexpr uint32_t kSpeed = 200;
constexpr uint32_t kPortCapabilities = 204;
constexpr uint32_t kPortRegisters = 208;

// Unlock results.
constexpr uint32_t kUnlocked = 0;
constexpr uint32_t kNotLocked = 1;
constexpr uint32_t kAttemptsExhausted = 2;
constexpr uint32_t kWrongPassword = 3;

const json& AdapterSection(const json& state, int port, const char* name) {
    static const json empty = json::object();
    if (auto a = state.find("adapters"); a != state.end() && a->is_array())
        for (const auto& adapter : *a)
            if (adapter.is_object() && adapter.value("port", -1) == port) {
                auto it = adapter.find(name);
                return it != adapter.end() && it->is_object() ? *it : empty;
            }
    return empty;
}

// The controller's AHCI words: CAP, GHC, a driver word, PI (ports implemented) and CAP2.
void WriteAhciInfo(const json& state, int port, ByteWriter& w, size_t at) {
    const json& ahci = AdapterSection(state, port, "ahci");
    uint32_t implemented = 0;
    uint32_t count = 0;
    for (const auto& view : PortsOf(state, port))
        if (view.connection == Connection::Ata && view.address.target < 32) {
            implemented |= 1u << view.address.target;
            ++count;
        }
    // 64-bit addressing, NCQ, aggressive link power management, command list override, Gen 3
    // speed, and the number of ports.
    const uint32_t cap = 0xC7300000u | ((count == 0 ? 0 : count - 1) & 0x1F);
    w.U32(at, DescNumber(ahci, "cap", cap));
    w.U32(at + 4, DescNumber(ahci, "ghc", 0x80000000u));
    w.U32(at + 8, DescNumber(ahci, "pm", 0));
    w.U32(at + 12, DescNumber(ahci, "pi", implemented));
    w.U32(at + 16, DescNumber(ahci, "cap2", 0));
}

// The port's register block (PxCLB at 0 to PxDEVSLP at 0x44 and beyond), from "registers"
// (offset -> value) over defaults derived from the port.
void WritePortRegisters(const PortView& view, ByteWriter& w, size_t at) {
    const json& p = *view.port;
    const bool present = view.device != nullptr;
    w.U32(at + 0x18, DescNumber(p, "cmd", 0x00000016u));
    w.U32(at + 0x20, present ? 0x50 : 0x7F);
    const bool atapi = present && IsAtapiDevice(*view.device);
    w.U32(at + 0x24, present ? (atapi ? 0xEB140101u : 0x00000101u) : 0xFFFFFFFFu);
    // PxSSTS: device present with communication established, at the current speed, active.
    const uint64_t speed = DescNumber(p, "speed", present ? 3 : 0);
    w.U32(at + 0x28, present ? (0x103 | (speed & 0xF) << 4) : 0);
    if (auto regs = p.find("registers"); regs != p.end() && regs->is_object())
        for (const auto& [key, value] : regs->items()) {
            const uint64_t offset = std::strtoull(key.c_str(), nullptr, 0);
            if (offset + 4 <= 128)
                w.U32(at + offset, DescNumber(*regs, key.c_str()));
        }
}

DriverAnswer Capabilities(DriverRequest& request) {
    return AnswerFromMachine([&](const json& state) {
        ByteReader r(request.buffer);
        ByteWriter w(request.buffer);
        const bool shortHeader = request.srb->length == kShortHeaderLength;
        if (!shortHeader && DescFlag(AdapterSection(state, request.port, "ahci"), "short_header_only"))
            return DriverAnswer{ERROR_GEN_FAILURE, 0};
        const uint32_t direction = r.U32(32);
        const uint32_t subFunction = r.U32(36);
        const uint64_t dataOffset = r.U32(40);
        const uint64_t dataLength = r.U32(44);
        const DriverAnswer whole{0, request.outputSize};
        request.SetReturnCode(kDriverOk);
        auto status = [&](uint32_t s) {
            w.U32(48, s);
            return whole;
        };
        if (r.U32(28) != kCapabilitiesRecord || dataOffset < kCapabilitiesRecord)
            return status(kStsError);
        if (direction != 0)
            return status(kInvalidDirection);
        uint64_t needed = 0;
        switch (subFunction) {
        case kAhciInfo:
            needed = 20;
            break;
        case kSpeed:
            needed = 6;
            break;
        case kPortCapabilities:
            needed = 4;
            break;
        case kPortRegisters:
            needed = 128;
            break;
        default:
            return status(kInvalidGroup);
        }
        if (dataLength < needed || dataOffset + needed > request.buffer.size())
            return status(kTooSmall);
        if (subFunction == kAhciInfo) {
            WriteAhciInfo(state, request.port, w, dataOffset);
            return status(kStsOk);
        }
        auto view = FindPort(state, request.port, AddressOfWord(request.srb->returnCode));
        if (!view || view->connection != Connection::Ata) {
            request.SetReturnCode(kNoSuchDevice);
            return whole;
        }
        const json& p = *view->port;
        const bool present = view->device != nullptr;
        if (subFunction == kSpeed) {
            w.U16(dataOffset, DescNumber(p, "speed", present ? 3 : 0));
            w.U16(dataOffset + 2, DescNumber(p, "driver_max_speed", 3));
            w.U16(dataOffset + 4, DescNumber(p, "controller_max_speed", 3));
        } else if (subFunction == kPortCapabilities) {
            w.U32(dataOffset, DescNumber(p, "cmd", 0x00000016u));
        } else {
            WritePortRegisters(*view, w, dataOffset);
        }
        return status(kStsOk);
    });
}

DriverAnswer Identify(DriverRequest& request) {
    return AnswerFromMachine([&](const json& state) {
        auto view = FindPort(state, request.port, AddressOfWord(request.srb->returnCode));
        if (!view || !view->device || IsNvmeDevice(*view->device)) {
            request.SetReturnCode(kNoSuchDevice);
            return DriverAnswer{};
        }
        ByteWriter(request.buffer).Bytes(28, AtaIdentifyData(*view->device));
        request.SetReturnCode(kDriverOk);
        return DriverAnswer{};
    });
}

DriverAnswer DeviceMap(DriverRequest& request) {
    return AnswerFromMachine([&](const json& state) {
        auto view = FindPort(state, request.port, AddressOfWord(request.srb->returnCode));
        if (!view || view->connection != Connection::Ata) {
            request.SetReturnCode(kNoSuchDevice);
            return DriverAnswer{};
        }
        // Bit 0: a device is attached.
        ByteWriter(request.buffer).U32(28, DescNumber(*view->port, "device_map", view->device ? 1 : 0));
        request.SetReturnCode(kDriverOk);
        return DriverAnswer{};
    });
}

// The 32-byte password field: the text, zero padded.
std::string PasswordField(const std::string& text) {
    std::string field = text.substr(0, 32);
    field.resize(32, '\0');
    return field;
}

// The RAID disk record of an unlocked disk no longer reports it locked.
void ClearRaidLockedFlag(json& state, int port, DeviceAddress address, const json& device) {
    constexpr uint64_t kLockedFlag = 0x1000000;
    auto adapters = state.find("adapters");
    if (adapters == state.end() || !adapters->is_array())
        return;
    for (auto& adapter : *adapters) {
        if (!adapter.is_object() || adapter.value("port", -1) != port || !adapter.contains("raid"))
            continue;
        json& disks = adapter["raid"]["disks"];
        if (!disks.is_array())
            return;
        for (auto& d : disks) {
            const bool same =
                d.contains("device_number")
                    ? device.contains("device_number") && d["device_number"] == device["device_number"]
                    : DescNumber(d, "path") == address.path && DescNumber(d, "target") == address.target &&
                          DescNumber(d, "lun") == address.lun;
            if (same && d.contains("state_flags"))
                d["state_flags"] = DescNumber(d, "state_flags") & ~kLockedFlag;
        }
    }
}

DriverAnswer Unlock(DriverRequest& request) {
    return ChangeMachine([&](json& state, std::vector<std::string>&) {
        auto view = FindPort(state, request.port, AddressOfWord(request.srb->returnCode));
        if (!view || !view->device || IsNvmeDevice(*view->device)) {
            request.SetReturnCode(kNoSuchDevice);
            return DriverAnswer{};
        }
        ByteReader r(request.buffer);
        ByteWriter w(request.buffer);
        std::string given(32, '\0');
        for (size_t i = 0; i < 32; ++i)
            given[i] = static_cast<char>(r.U8(28 + i));
        const uint32_t type = r.U32(60);
        request.SetReturnCode(kDriverOk);

        json& device = state.at(view->devicePath);
        if (!device.contains("security") || !device["security"].is_object() ||
            !DescFlag(device["security"], "locked")) {
            w.U32(64, kNotLocked);
            return DriverAnswer{};
        }
        json& security = device["security"];
        const uint64_t left = DescNumber(security, "attempts_left", 5);
        if (left == 0) {
            w.U32(64, kAttemptsExhausted);
            return DriverAnswer{};
        }
        // A master password unlocks only at the high security level.
        const bool master = type == 1;
        const bool allowed = !master || DescText(security, "level", "high") == "high";
        const std::string expected =
            PasswordField(DescText(security, master ? "master_password" : "user_password"));
        if (allowed && given == expected) {
            security["locked"] = false;
            ClearRaidLockedFlag(state, request.port, view->address, device);
            w.U32(64, kUnlocked);
        } else {
            security["attempts_left"] = left - 1;
            w.U32(64, kWrongPassword);
        }
        return DriverAnswer{};
    });
}

DriverAnswer Rtd3(DriverRequest& request) {
    return AnswerFromMachine([&](const json& state) {
        auto view = FindPort(state, request.port, AddressOfWord(request.srb->returnCode));
        if (!view) {
            request.SetReturnCode(kNoSuchDevice);
            return DriverAnswer{};
        }
        ByteWriter w(request.buffer);
        const json rtd3 = view->port->value("rtd3", json::array());
        for (size_t i = 0; i < 2 && rtd3.is_array() && i < rtd3.size(); ++i)
            w.U32(28 + 4 * i, DescValue(rtd3[i]));
        request.SetReturnCode(kDriverOk);
        return DriverAnswer{};
    });
}

// The classifier block: 64 unsigned 64-bit counters (two halves of sixteen pairs) from offset 32;
// the volume word the request names is echoed at 28.
DriverAnswer ClassifierStats(DriverRequest& request) {
    return AnswerFromMachine([&](const json& state) {
        ByteWriter w(request.buffer);
        w.U32(28, request.srb->returnCode);
        const json& section = AdapterSection(state, request.port, "classifier");
        if (auto counters = section.find("counters"); counters != section.end() && counters->is_array())
            for (size_t i = 0; i < counters->size() && i < 64; ++i)
                w.U64(32 + 8 * i, DescValue((*counters)[i]));
        request.SetReturnCode(0);
        return DriverAnswer{};
    });
}

} // namespace

void RegisterAhciFamily(devio::DriverDispatch& dispatch) {
    const std::string driver = devio::kRaidDriver;
    dispatch.AddMiniport(driver, kSignature, kGetSetCapabilities, Capabilities);
    dispatch.AddMiniport(driver, kSignature, kIdentify, Identify);
    dispatch.AddMiniport(driver, kSignature, kGetPortDeviceMap, DeviceMap);
    dispatch.AddMiniport(driver, kSignature, kUnlockDisk, Unlock);
    dispatch.AddMiniport(driver, kSignature, kRtd3Info, Rtd3);
    dispatch.AddMiniport(driver, kClassifierSignature, kGetClassifierStats, ClassifierStats);
}

} // namespace sim::driver
