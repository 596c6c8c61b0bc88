#include "sim/devio/DeviceIo.h"
#include "sim/DeviceTreeState.h"
#include "sim/devio/Lookup.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/win/WinError.h"
#include "sim/CallScope.h"
#include "sim/DescriptionValues.h"
#include "sim/DeviceTree.h"
#include "sim/MachineState.h"
#include "sim/PlatformCall.h"
#include "sim/devio/Bytes.h"
#include "sim/devio/Miniport.h"
#include "sim/devio/StorageRequests.h"
#include "sim/storage/DiskEntries.h"
#include "sim/storage/NtfsImage.h"

namespace sim::devio {
namespace {

using nlohmann::json;

constexpr uint32_t kIoctlStorageQueryProperty = 0x2D1400;
constexpr DWORD kOpenExisting = 3;
constexpr DWORD kOpenAlways = 4;

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == Lower(prefix);
}

// The number at the end of a legacy name ("\\.\Scsi12:" -> 12), or nullopt.
std::optional<int> TrailingNumber(const std::string& text) {
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    return std::atoi(text.c_str());
}

const json* FindIn(const json& state, const char* section, const char* key, const json& value) {
    if (!state.contains(section) || !state.at(section).is_array())
        return nullptr;
    for (const auto& entry : state.at(section)) {
        if (!entry.contains(key))
            continue;
        const json& v = entry.at(key);
        if (v.is_string() && value.is_string()
                ? Lower(v.get<std::string>()) == Lower(value.get<std::string>())
                : v == value)
            return &entry;
    }
    return nullptr;
}

int DiskPort(const json& disk) {
    return disk.value("port", -1);
}

struct Resolved {
    ObjectKind kind;
    int port = -1;
    int deviceNumber = -1;
    std::string letter;
};

std::optional<Resolved> ResolveDisk(const json& disk) {
    return Resolved{ObjectKind::Disk, DiskPort(disk), disk.value("device_number", -1), {}};
}

std::optional<Resolved> ResolveVolume(const json& state, const json& volume) {
    int number = volume.value("disk", -1);
    const json* disk = FindDisk(state, number);
    return Resolved{ObjectKind::Volume, disk ? DiskPort(*disk) : -1, number, volume.value("letter", "")};
}

std::optional<Resolved> Resolve(const json& state, const std::string& path) {
    if (StartsWithNoCase(path, "\\\\.\\")) {
        std::string rest = path.substr(4);
        if (StartsWithNoCase(rest, "scsi") && !rest.empty() && rest.back() == ':') {
            if (auto n = TrailingNumber(rest.substr(4, rest.size() - 5)))
                if (FindAdapter(state, *n))
                    return Resolved{ObjectKind::Adapter, *n, -1, {}};
            return std::nullopt;
        }
        if (StartsWithNoCase(rest, "physicaldrive")) {
            if (auto n = TrailingNumber(rest.substr(13)))
                if (const json* disk = FindDisk(state, *n))
                    return ResolveDisk(*disk);
            return std::nullopt;
        }
        if (rest.size() == 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
            if (const json* volume = FindVolume(state, rest.substr(0, 1)))
                return ResolveVolume(state, *volume);
            return std::nullopt;
        }
    }
    auto instance = sim::devices::DeviceOfInterface(state, path);
    if (!instance)
        return std::nullopt;
    if (const json* a = FindIn(state, "adapters", "instance_id", *instance))
        return Resolved{ObjectKind::Adapter, a->value("port", -1), -1, {}};
    if (const json* d = FindIn(state, "disks", "instance_id", *instance); d && storage::SeenByWindows(*d))
        return ResolveDisk(*d);
    if (const json* v = FindIn(state, "volumes", "instance_id", *instance))
        return ResolveVolume(state, *v);
    return std::nullopt;
}

// Whether the object a handle names is still in the machine.
bool StillPresent(const json& state, const OpenDevice& d) {
    switch (d.kind) {
    case ObjectKind::Adapter:
        return FindAdapter(state, d.port) != nullptr;
    case ObjectKind::Disk:
        return FindDisk(state, d.deviceNumber) != nullptr;
    case ObjectKind::Volume:
        return FindVolume(state, d.letter) != nullptr;
    }
    return false;
}

json DeviceSelectors(const OpenDevice& d) {
    json s = {{"path", d.path}, {"object", KindName(d.kind)}, {"port", d.port}};
    if (d.kind != ObjectKind::Adapter)
        s["device_number"] = d.deviceNumber;
    if (d.kind == ObjectKind::Volume)
        s["letter"] = d.letter;
    return s;
}

// The bytes of a patch outcome; a patch that is no hex is a mistake in the test, told at once.
std::vector<uint8_t> PatchBytes(const std::string& hex) {
    auto bytes = ParseDescHex(hex);
    if (!bytes)
        throw std::invalid_argument("fault patch is not hexadecimal: " + hex);
    return *bytes;
}

// Changes an outcome asks for in an answer that was produced: overwritten bytes, and for miniport
// requests the SRB header's ReturnCode or HeaderLength.
void ApplyAnswerPatches(const json& outcome, std::span<uint8_t> buffer) {
    ByteWriter w(buffer);
    if (outcome.contains("srb_return_code"))
        w.U32(20, DescValue(outcome.at("srb_return_code")));
    if (outcome.contains("srb_header_length"))
        w.U32(0, DescValue(outcome.at("srb_header_length")));
    if (outcome.contains("patch"))
        for (const auto& p : outcome.at("patch"))
            w.Bytes(DescValue(p.at("offset")), PatchBytes(p.at("hex").get<std::string>()));
}

IoResult FailWith(const json& outcome) {
    IoResult r;
    r.error = static_cast<DWORD>(DescValue(outcome.at("win32_error")));
    r.keepLastError = r.error == 0;
    r.bytes = static_cast<uint32_t>(
        outcome.contains("bytes_returned") ? DescValue(outcome.at("bytes_returned")) : 0);
    return r;
}

// A fault that stands for the whole answer (its bytes, and their count as the length returned):
// the seam through which a fuzz target feeds the product's answer parsers. The request is not
// carried out.
IoResult ReplacedAnswer(const json& outcome, std::span<uint8_t> output) {
    const std::vector<uint8_t> bytes = PatchBytes(outcome.at("answer").get<std::string>());
    const size_t copied = std::min(bytes.size(), output.size());
    std::copy_n(bytes.begin(), copied, output.begin());
    IoResult result{true, 0, static_cast<uint32_t>(copied), false};
    if (outcome.contains("bytes_returned"))
        result.bytes = static_cast<uint32_t>(DescValue(outcome.at("bytes_returned")));
    return result;
}

} // namespace

const char* KindName(ObjectKind kind) {
    switch (kind) {
    case ObjectKind::Adapter:
        return "adapter";
    case ObjectKind::Disk:
        return "disk";
    case ObjectKind::Volume:
        return "volume";
    }
    return "?";
}

const json* FindAdapter(const json& state, int port) {
    return FindIn(state, "adapters", "port", port);
}

const json* FindDisk(const json& state, int deviceNumber) {
    // A RAID volume's disk reads as its volume describes it.
    const json* disk = FindIn(state, "disks", "device_number", deviceNumber);
    return disk ? &storage::Resolved(state, *disk) : nullptr;
}

const json* FindVolume(const json& state, const std::string& letter) {
    return FindIn(state, "volumes", "letter", letter);
}

bool IsDevicePath(const std::string& path) {
    if (StartsWithNoCase(path, "\\\\.\\"))
        return true;
    // "\\?\C:\dir\file" is a file; "\\?\pci#ven_...#{guid}" is a device interface.
    return StartsWithNoCase(path, "\\\\?\\") && path.find('#') != std::string::npos;
}

OpenResult Open(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    Machine& m = Current();
    json selectors = {
        {"path", path}, {"access", access}, {"share", share}, {"disposition", disposition}, {"flags", flags}};
    if (auto outcome = PlatformCall("CreateFile", selectors); outcome && outcome->contains("win32_error"))
        return {nullptr, static_cast<DWORD>(DescValue(outcome->at("win32_error")))};
    if (disposition != kOpenExisting && disposition != kOpenAlways)
        return {nullptr, ERROR_INVALID_PARAMETER};

    std::optional<Resolved> found;
    m.Read([&](const json& state) { found = Resolve(state, path); });
    if (!found)
        return {nullptr, ERROR_FILE_NOT_FOUND};
    auto device = std::make_shared<OpenDevice>();
    device->kind = found->kind;
    device->path = path;
    device->port = found->port;
    device->deviceNumber = found->deviceNumber;
    device->letter = found->letter;
    device->access = access;
    return {device, 0};
}

IoResult Control(OpenDevice& device, uint32_t ioControlCode, std::span<const uint8_t> input,
                 std::span<uint8_t> output) {
    CallScope call;
    Machine& m = Current();
    json selectors = DeviceSelectors(device);
    selectors["code"] = ioControlCode;
    selectors["in_size"] = input.size();
    selectors["out_size"] = output.size();
    std::optional<SrbHeader> srb;
    if (ioControlCode == kIoctlScsiMiniport && (srb = ParseSrbHeader(input))) {
        selectors["signature"] = srb->signature;
        selectors["control_code"] = srb->controlCode;
        selectors["target"] = srb->returnCode;
    }
    if (ioControlCode == kIoctlStorageQueryProperty && input.size() >= 4)
        selectors["property_id"] = ByteReader(input).U32(0);
    std::optional<json> outcome = PlatformCall("DeviceIoControl", selectors, input);
    if (outcome && outcome->contains("answer") && !outcome->contains("win32_error"))
        return ReplacedAnswer(*outcome, output);
    const bool failAfterRun = outcome && outcome->contains("win32_error") && outcome->value("run", false);
    if (outcome && outcome->contains("win32_error") && !failAfterRun)
        return FailWith(*outcome);

    // The system buffer of a buffered request: input first, answer written over it.
    std::vector<uint8_t> buffer(std::max(input.size(), output.size()));
    std::copy(input.begin(), input.end(), buffer.begin());
    const auto inSize = static_cast<uint32_t>(input.size());
    const auto outSize = static_cast<uint32_t>(output.size());

    bool present = false;
    StorageAnswer answer;
    std::optional<std::string> driver;
    m.Read([&](const json& state) {
        present = StillPresent(state, device);
        if (!present)
            return;
        if (ioControlCode != kIoctlScsiMiniport)
            answer = AnswerStorageRequest(state, device, ioControlCode, buffer, inSize, outSize);
        if (!answer.handled)
            if (const json* a = FindAdapter(state, device.port))
                driver = DescText(*a, "driver");
    });
    if (!present)
        return {false, ERROR_DEVICE_NOT_CONNECTED, 0, false};

    DWORD error = answer.error;
    uint32_t bytes = answer.bytes;
    if (!answer.handled) {
        // Disks and volumes pass miniport requests down to their adapter; adapters pass on what
        // their driver defines itself.
        if (!driver || (ioControlCode != kIoctlScsiMiniport && device.kind != ObjectKind::Adapter)) {
            error = ERROR_INVALID_FUNCTION;
            bytes = 0;
        } else {
            DriverRequest request;
            request.port = device.port;
            request.driver = *driver;
            request.path = device.path;
            request.ioControlCode = ioControlCode;
            request.srb = srb;
            request.buffer = buffer;
            request.inputSize = inSize;
            request.outputSize = outSize;
            DriverResult r = RunDriverRequest(request);
            error = r.win32Error;
            bytes = r.bytesReturned;
        }
    }
    if (error == 0 && answer.change)
        m.Update(answer.change);

    if (failAfterRun)
        return FailWith(*outcome);
    if (error != 0)
        return {false, error, bytes, false};

    if (outcome)
        ApplyAnswerPatches(*outcome, buffer);
    const uint32_t produced = std::min<uint32_t>(bytes, outSize);
    std::copy_n(buffer.begin(), produced, output.begin());
    IoResult result{true, 0, produced, false};
    // A driver that reports another length than it wrote: short, or longer than the caller's buffer.
    if (outcome && outcome->contains("bytes_returned")) {
        result.bytes = static_cast<uint32_t>(DescValue(outcome->at("bytes_returned")));
        if (result.bytes > produced && result.bytes <= outSize)
            std::copy(buffer.begin() + produced, buffer.begin() + result.bytes, output.begin() + produced);
    }
    return result;
}

IoResult Read(OpenDevice& device, std::span<uint8_t> out) {
    Machine& m = Current();
    std::lock_guard lock(device.positionMutex);
    json selectors = DeviceSelectors(device);
    selectors["offset"] = device.position;
    selectors["size"] = out.size();
    std::optional<json> outcome = PlatformCall("ReadFile", selectors);
    if (outcome && outcome->contains("win32_error"))
        return FailWith(*outcome);

    IoResult result{true, 0, 0, false};
    m.Read([&](const json& state) {
        if (!StillPresent(state, device)) {
            result = {false, ERROR_DEVICE_NOT_CONNECTED, 0, false};
            return;
        }
        if (device.kind == ObjectKind::Adapter) {
            result = {false, ERROR_INVALID_FUNCTION, 0, false};
            return;
        }
        const json* disk = FindDisk(state, device.deviceNumber);
        if (!disk) {
            result = {false, ERROR_DEVICE_NOT_CONNECTED, 0, false};
            return;
        }
        // Unbuffered device reads move whole sectors.
        const uint32_t sector = LogicalSectorSize(*disk);
        if (out.size() % sector != 0 || device.position % sector != 0) {
            result = {false, ERROR_INVALID_PARAMETER, 0, false};
            return;
        }
        // A volume reads as its NTFS image when it describes one, else as zeros.
        const json* volume = device.kind == ObjectKind::Volume ? FindVolume(state, device.letter) : nullptr;
        const bool ntfs = volume && storage::HasNtfs(*volume);
        const uint64_t total = ntfs ? storage::NtfsSectors(*volume) : DiskSectors(*disk);
        uint64_t lba = device.position / sector;
        size_t done = 0;
        for (; done < out.size() && lba < total; done += sector, ++lba) {
            std::vector<uint8_t> data = device.kind == ObjectKind::Disk ? DiskSector(*disk, lba)
                                        : ntfs ? storage::NtfsSector(*volume, sector, lba)
                                               : std::vector<uint8_t>(sector);
            std::copy(data.begin(), data.end(), out.begin() + static_cast<ptrdiff_t>(done));
        }
        result.bytes = static_cast<uint32_t>(done);
    });
    if (!result.ok)
        return result;
    device.position += result.bytes;
    if (outcome && outcome->contains("bytes_read"))
        result.bytes =
            std::min<uint32_t>(static_cast<uint32_t>(DescValue(outcome->at("bytes_read"))), result.bytes);
    return result;
}

IoResult Seek(OpenDevice& device, int64_t distance, uint32_t method, uint64_t& position) {
    std::lock_guard lock(device.positionMutex);
    // The end of a device is not a position this binding offers.
    const bool known = method == kFileBegin || method == kFileCurrent;
    const int64_t base = method == kFileCurrent ? static_cast<int64_t>(device.position) : 0;
    const int64_t target = base + distance;
    json selectors = DeviceSelectors(device);
    selectors["offset"] = target;
    std::optional<json> outcome = PlatformCall("SetFilePointer", selectors);
    if (outcome && outcome->contains("win32_error"))
        return FailWith(*outcome);
    if (!known)
        return {false, ERROR_INVALID_PARAMETER, 0, false};
    if (target < 0)
        return {false, ERROR_NEGATIVE_SEEK, 0, false};
    device.position = static_cast<uint64_t>(target);
    position = device.position;
    return {true, 0, 0, false};
}

} // namespace sim::devio
