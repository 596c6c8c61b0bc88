// The NVMe miniport ("OrvexNvm"): Identify Controller of a device behind the remap port, Get
// Features through the pass-through record, the SMART / health information log page, and
// asynchronous event registration and reading.
#include <algorithm>
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

constexpr const char* kSignature = "OrvexNvm";
constexpr uint32_t kGetLogPage = 0xF0000010;
constexpr uint32_t kGetIdentify = 0xF0002800;
constexpr uint32_t kGetFeatures = 0xF0002808;
constexpr uint32_t kRegisterAer = 0xF0003000;
constexpr uint32_t kGetAerData = 0xF0003800;

// The remapped-device and pass-through requests answer 1 when the device answered.
constexpr uint32_t kDeviceAnswered = 1;

constexpr uint8_t kGetFeaturesOpcode = 0x0A;
constexpr uint8_t kHostMemoryBuffer = 0x0D;
constexpr uint8_t kHealthLog = 0x02;
// Completion status word: bit 0 phase tag, bits 1-8 status code, bits 9-11 status code type.
constexpr uint16_t kPhase = 0x0001;
constexpr uint16_t kInvalidField = 0x02 << 1 | kPhase;

// The event words the event-data answer has room for.
constexpr size_t kMaxEvents = 10;

std::optional<PortView> NvmeDeviceAt(const json& state, int port, DeviceAddress address) {
    auto view = FindPort(state, port, address);
    if (!view || view->connection != Connection::Nvme || !view->device || !IsNvmeDevice(*view->device))
        return std::nullopt;
    return view;
}

const json& NvmeOf(const json& device) {
    static const json empty = json::object();
    auto it = device.find("nvme");
    return it != device.end() && it->is_object() ? *it : empty;
}

const json& Sub(const json& object, const char* key) {
    static const json empty = json::object();
    auto it = object.find(key);
    return it != object.end() && it->is_object() ? *it : empty;
}

DriverAnswer Identify(DriverRequest& request) {
    return AnswerFromMachine([&](const json& state) {
        auto view = NvmeDeviceAt(state, request.port, AddressOfWord(request.srb->returnCode));
        if (!view) {
            request.SetReturnCode(kNoSuchDevice);
            return DriverAnswer{};
        }
        ByteWriter(request.buffer).Bytes(28, NvmeIdentifyData(*view->device));
        request.SetReturnCode(kDeviceAnswered);
        return DriverAnswer{};
    });
}

// Host Memory Buffer attributes: size in memory pages, descriptor list address and entry count.
std::vector<uint8_t> HostMemoryBufferAttributes(const json& hmb) {
    std::vector<uint8_t> data(16);
    ByteWriter w(data);
    if (DescFlag(hmb, "enabled")) {
        w.U32(0, DescNumber(hmb, "size", DescNumber(hmb, "preferred_size")));
        w.U64(4, DescNumber(hmb, "descriptor_list_address", 0x7FF00000));
        w.U32(12, DescNumber(hmb, "descriptors", 1));
    }
    return data;
}

DriverAnswer GetFeatures(DriverRequest& request) {
    return AnswerFromMachine([&](const json& state) {
        ByteReader r(request.buffer);
        ByteWriter w(request.buffer);
        auto view = NvmeDeviceAt(state, request.port, {r.U8(29), r.U8(30), r.U8(31)});
        if (!view) {
            request.SetReturnCode(kNoSuchDevice);
            return DriverAnswer{};
        }
        request.SetReturnCode(kDeviceAnswered);
        const json& hmb = Sub(NvmeOf(*view->device), "hmb");
        if (r.U8(32) != kGetFeaturesOpcode || r.U8(72) != kHostMemoryBuffer) {
            w.U32(97, 0);
            w.U16(111, kInvalidField);
            return DriverAnswer{};
        }
        // Dword 0: bit 0 enable host memory.
        w.U32(97, DescFlag(hmb, "enabled") ? 1 : 0);
        w.U16(111, DescNumber(hmb, "status", kPhase));
        // The data go where the record says, as far as the buffer and the stated length allow.
        const uint64_t offset = r.U32(116);
        const uint64_t length = std::min<uint64_t>(r.U32(120), 4096);
        if (offset < 124 || offset >= request.buffer.size())
            return DriverAnswer{};
        std::vector<uint8_t> data = HostMemoryBufferAttributes(hmb);
        data.resize(std::min<uint64_t>(length, request.buffer.size() - offset));
        w.Bytes(offset, data);
        return DriverAnswer{};
    });
}

std::vector<uint8_t> HealthLog(const json& health) {
    std::vector<uint8_t> log(512);
    ByteWriter w(log);
    w.U8(0, DescNumber(health, "critical_warning"));
    w.U16(1, DescNumber(health, "temperature", 310));
    w.U8(3, DescNumber(health, "available_spare", 100));
    w.U8(4, DescNumber(health, "available_spare_threshold", 10));
    w.U8(5, DescNumber(health, "percentage_used"));
    // 128-bit counters; the simulated values fit their low halves.
    w.U64(32, DescNumber(health, "data_units_read"));
    w.U64(48, DescNumber(health, "data_units_written"));
    w.U64(64, DescNumber(health, "host_read_commands"));
    w.U64(80, DescNumber(health, "host_write_commands"));
    w.U64(96, DescNumber(health, "controller_busy_time"));
    w.U64(112, DescNumber(health, "power_cycles"));
    w.U64(128, DescNumber(health, "power_on_hours"));
    w.U64(144, DescNumber(health, "unsafe_shutdowns"));
    w.U64(160, DescNumber(health, "media_errors"));
    w.U64(176, DescNumber(health, "error_log_entries"));
    w.U32(192, DescNumber(health, "warning_temperature_time"));
    w.U32(196, DescNumber(health, "critical_temperature_time"));
    if (auto sensors = health.find("sensors"); sensors != health.end() && sensors->is_array())
        for (size_t i = 0; i < sensors->size() && i < 8; ++i)
            w.U16(200 + 2 * i, DescValue((*sensors)[i]));
    return log;
}

DriverAnswer LogPage(DriverRequest& request) {
    return AnswerFromMachine([&](const json& state) {
        ByteReader r(request.buffer);
        auto view = NvmeDeviceAt(state, request.port, AddressOfWord(request.srb->returnCode));
        if (!view || r.U8(28) != kHealthLog) {
            request.SetReturnCode(kNoSuchDevice);
            return DriverAnswer{};
        }
        std::vector<uint8_t> log = HealthLog(Sub(*view->device, "health"));
        log.resize(std::min<uint64_t>(r.U32(36), log.size()));
        ByteWriter(request.buffer).Bytes(40, log);
        request.SetReturnCode(kDriverOk);
        return DriverAnswer{};
    });
}

std::string EventName(ByteReader& r, size_t at) {
    return r.Text(at, 32);
}

json& AerOf(json& device) {
    json& nvme = device["nvme"];
    if (!nvme.is_object())
        nvme = json::object();
    json& aer = nvme["aer"];
    if (!aer.is_object())
        aer = json::object();
    if (!aer.contains("registrations") || !aer["registrations"].is_object())
        aer["registrations"] = json::object();
    return aer;
}

DriverAnswer RegisterAer(DriverRequest& request) {
    return ChangeMachine([&](json& state, std::vector<std::string>& signal) {
        ByteReader r(request.buffer);
        auto view = NvmeDeviceAt(state, request.port, AddressOfWord(request.srb->returnCode));
        const std::string name = EventName(r, 32);
        if (!view || name.empty()) {
            request.SetReturnCode(kNoSuchDevice);
            return DriverAnswer{};
        }
        json& aer = AerOf(state.at(view->devicePath));
        json& queue = aer["registrations"][name];
        if (!queue.is_array())
            queue = json::array();
        // Events that came before anyone listened go to the first registration.
        if (aer.contains("pending") && aer["pending"].is_array()) {
            for (const auto& word : aer["pending"])
                queue.push_back(word);
            aer.erase("pending");
        }
        if (!queue.empty())
            signal.push_back("Global\\" + name);
        request.SetReturnCode(kDriverOk);
        return DriverAnswer{};
    });
}

DriverAnswer GetAerData(DriverRequest& request) {
    return ChangeMachine([&](json& state, std::vector<std::string>&) {
        ByteReader r(request.buffer);
        ByteWriter w(request.buffer);
        auto view = NvmeDeviceAt(state, request.port, AddressOfWord(request.srb->returnCode));
        if (!view) {
            request.SetReturnCode(kNoSuchDevice);
            return DriverAnswer{};
        }
        const std::string name = EventName(r, 28);
        json& registrations = AerOf(state.at(view->devicePath))["registrations"];
        size_t count = 0;
        if (registrations.contains(name) && registrations[name].is_array()) {
            json& queue = registrations[name];
            for (; count < kMaxEvents && count < queue.size(); ++count)
                w.U32(61 + 4 * count, DescValue(queue[count]));
            queue.erase(queue.begin(), queue.begin() + static_cast<ptrdiff_t>(count));
        }
        w.U32(104, count);
        request.SetReturnCode(kDriverOk);
        return DriverAnswer{};
    });
}

} // namespace

bool RaiseNvmeAsyncEvent(int adapterPort, DeviceAddress address, uint32_t eventWord) {
    bool found = false;
    ChangeMachine([&](json& state, std::vector<std::string>& signal) {
        auto view = NvmeDeviceAt(state, adapterPort, address);
        if (!view)
            return DriverAnswer{};
        found = true;
        json& aer = AerOf(state.at(view->devicePath));
        json& registrations = aer["registrations"];
        if (registrations.empty()) {
            aer["pending"].push_back(eventWord);
            return DriverAnswer{};
        }
        for (auto& [name, queue] : registrations.items()) {
            if (!queue.is_array())
                queue = json::array();
            queue.push_back(eventWord);
            signal.push_back("Global\\" + name);
        }
        return DriverAnswer{};
    });
    return found;
}

void RegisterNvmeFamily(devio::DriverDispatch& dispatch) {
    const std::string driver = devio::kRaidDriver;
    dispatch.AddMiniport(driver, kSignature, kGetIdentify, Identify);
    dispatch.AddMiniport(driver, kSignature, kGetFeatures, GetFeatures);
    dispatch.AddMiniport(driver, kSignature, kGetLogPage, LogPage);
    dispatch.AddMiniport(driver, kSignature, kRegisterAer, RegisterAer);
    dispatch.AddMiniport(driver, kSignature, kGetAerData, GetAerData);
}

} // namespace sim::driver
