#include "sim/devio/ScsiPassThrough.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win/WinError.h"
#include "sim/devio/Bytes.h"

namespace sim::devio {
namespace {

using nlohmann::json;

// SCSI_PASS_THROUGH_DIRECT of 64-bit Windows.
constexpr uint16_t kRecordLength = 56;
constexpr size_t kScsiStatus = 2;
constexpr size_t kCdbLength = 6;
constexpr size_t kSenseInfoLength = 7;
constexpr size_t kDataIn = 8;
constexpr size_t kDataTransferLength = 12;
constexpr size_t kDataBuffer = 24;
constexpr size_t kSenseInfoOffset = 32;
constexpr size_t kCdb = 36;
constexpr uint8_t kScsiIoctlDataIn = 1;

constexpr uint8_t kTestUnitReady = 0x00;
constexpr uint8_t kSecurityProtocolIn = 0xA2;
constexpr uint8_t kStatusGood = 0x00;
constexpr uint8_t kStatusCheckCondition = 0x02;
constexpr uint8_t kIllegalRequest = 0x05;
constexpr uint8_t kInvalidOpcode = 0x20;
constexpr uint8_t kInvalidFieldInCdb = 0x24;

uint64_t Number(const json& object, const char* key, uint64_t def) {
    auto it = object.find(key);
    if (it == object.end())
        return def;
    if (it->is_boolean())
        return it->get<bool>() ? 1 : 0;
    if (it->is_number())
        return it->get<uint64_t>();
    if (it->is_string())
        return std::strtoull(it->get<std::string>().c_str(), nullptr, 0);
    return def;
}

bool Flag(const json& object, const char* key, bool def) {
    return Number(object, key, def ? 1 : 0) != 0;
}

void Be16(ByteWriter& w, size_t at, uint32_t v) {
    w.U8(at, v >> 8);
    w.U8(at + 1, v);
}

void Be32(ByteWriter& w, size_t at, uint64_t v) {
    for (size_t i = 0; i < 4; ++i)
        w.U8(at + i, v >> (24 - 8 * i));
}

void Be64(ByteWriter& w, size_t at, uint64_t v) {
    for (size_t i = 0; i < 8; ++i)
        w.U8(at + i, v >> (56 - 8 * i));
}

std::vector<uint8_t> HexBytes(const std::string& hex) {
    std::vector<uint8_t> out;
    std::string digits;
    for (char c : hex)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
    return out;
}

// Supported security protocols: 0 (this list) and 1 (TCG).
std::vector<uint8_t> SupportedProtocols() {
    std::vector<uint8_t> data(10);
    data[7] = 2;
    data[8] = 0x00;
    data[9] = 0x01;
    return data;
}

struct Outcome {
    uint8_t status = kStatusGood;
    uint8_t senseKey = 0;
    uint8_t asc = 0;
    std::vector<uint8_t> data;
};

Outcome CheckCondition(uint8_t asc) {
    return {kStatusCheckCondition, kIllegalRequest, asc, {}};
}

Outcome SecurityProtocolIn(const json& disk, ByteReader& cdb) {
    auto tcg = disk.find("tcg");
    if (tcg == disk.end() || !tcg->is_object())
        return CheckCondition(kInvalidOpcode);
    const uint8_t protocol = cdb.U8(1);
    const uint32_t specific = uint32_t{cdb.U8(2)} << 8 | cdb.U8(3);
    Outcome o;
    if (protocol == 0 && specific == 0)
        o.data = SupportedProtocols();
    else if (protocol == 1 && specific == 1)
        o.data = TcgLevel0Discovery(*tcg);
    else
        return CheckCondition(kInvalidFieldInCdb);
    // Allocation length (bytes 6-9), in 512-byte units with INC_512.
    uint64_t allocation =
        uint64_t{cdb.U8(6)} << 24 | uint64_t{cdb.U8(7)} << 16 | uint64_t{cdb.U8(8)} << 8 | cdb.U8(9);
    if (cdb.U8(4) & 0x80)
        allocation *= 512;
    if (o.data.size() > allocation)
        o.data.resize(allocation);
    return o;
}

} // namespace

std::vector<uint8_t> TcgLevel0Discovery(const json& tcg) {
    if (tcg.contains("discovery_hex") && tcg.at("discovery_hex").is_string())
        return HexBytes(tcg.at("discovery_hex").get<std::string>());
    std::vector<uint8_t> data(48);
    auto add = [&](uint16_t code, uint8_t version, size_t length) {
        const size_t at = data.size();
        data.resize(at + 4 + length);
        ByteWriter w(data);
        Be16(w, at, code);
        w.U8(at + 2, version << 4);
        w.U8(at + 3, length);
        return at;
    };
    ByteWriter header(data);
    Be32(header, 4, 1); // data structure revision

    // TPer: synchronous protocol and streaming.
    size_t at = add(0x0001, 1, 12);
    data[at + 4] = 0x11;
    // Locking: supported, enabled, locked, media encryption, MBR enabled, MBR done.
    at = add(0x0002, 1, 12);
    uint8_t locking = 0;
    if (Flag(tcg, "locking_supported", true))
        locking |= 0x01;
    if (Flag(tcg, "locking_enabled", false))
        locking |= 0x02;
    if (Flag(tcg, "locked", false))
        locking |= 0x04;
    if (Flag(tcg, "media_encryption", true))
        locking |= 0x08;
    if (Flag(tcg, "mbr_enabled", false))
        locking |= 0x10;
    if (Flag(tcg, "mbr_done", false))
        locking |= 0x20;
    data[at + 4] = locking;
    // Geometry: alignment required, 512-byte logical blocks, 8-block granularity.
    at = add(0x0003, 1, 28);
    {
        ByteWriter w(data);
        w.U8(at + 4, 1);
        Be32(w, at + 12, Number(tcg, "logical_block_size", 512));
        Be64(w, at + 16, 8);
        Be64(w, at + 24, 0);
    }
    // Opal SSC 2: base ComID, one ComID, admin and user authorities.
    if (Flag(tcg, "opal", true)) {
        at = add(0x0203, 1, 16);
        ByteWriter w(data);
        Be16(w, at + 4, 0x1000);
        Be16(w, at + 6, 1);
        Be16(w, at + 9, 4);
        Be16(w, at + 11, 8);
    }
    ByteWriter whole(data);
    Be32(whole, 0, data.size() - 4);
    return data;
}

StorageAnswer AnswerScsiPassThroughDirect(const json& disk, std::span<uint8_t> buffer, uint32_t inputSize,
                                          uint32_t outputSize) {
    StorageAnswer answer;
    answer.handled = true;
    ByteReader r(buffer.first(std::min<size_t>(buffer.size(), inputSize)));
    if (!r.Has(0, kRecordLength) || r.U16(0) != kRecordLength || r.U8(kCdbLength) > 16) {
        answer.error = ERROR_INVALID_PARAMETER;
        return answer;
    }
    const uint32_t transfer = r.U32(kDataTransferLength);
    const uint64_t dataBuffer = r.U64(kDataBuffer);
    const uint32_t senseOffset = r.U32(kSenseInfoOffset);
    const uint8_t senseLength = r.U8(kSenseInfoLength);
    std::array<uint8_t, 16> cdbBytes{};
    for (size_t i = 0; i < cdbBytes.size(); ++i)
        cdbBytes[i] = r.U8(kCdb + i);
    ByteReader cdb(cdbBytes);

    Outcome o;
    switch (cdb.U8(0)) {
    case kTestUnitReady:
        break;
    case kSecurityProtocolIn:
        if (r.U8(kDataIn) != kScsiIoctlDataIn) {
            o = CheckCondition(kInvalidFieldInCdb);
            break;
        }
        o = SecurityProtocolIn(disk, cdb);
        break;
    default:
        o = CheckCondition(kInvalidOpcode);
        break;
    }
    const size_t moved = std::min<size_t>(o.data.size(), transfer);
    if (moved != 0 && dataBuffer == 0) {
        answer.error = ERROR_NOACCESS;
        return answer;
    }
    if (moved != 0)
        std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(dataBuffer)), o.data.data(), moved);

    ByteWriter w(buffer);
    w.U8(kScsiStatus, o.status);
    w.U32(kDataTransferLength, moved);
    uint32_t bytes = std::max<uint32_t>(kRecordLength, senseOffset);
    if (o.status == kStatusCheckCondition && senseLength >= 14 && senseOffset >= kRecordLength &&
        uint64_t{senseOffset} + 18 <= outputSize) {
        // Fixed-format sense data.
        w.U8(senseOffset, 0x70);
        w.U8(senseOffset + 2, o.senseKey);
        w.U8(senseOffset + 7, 10);
        w.U8(senseOffset + 12, o.asc);
        w.U8(kSenseInfoLength, 18);
        bytes = senseOffset + 18;
    } else {
        w.U8(kSenseInfoLength, 0);
    }
    answer.bytes = std::min(bytes, outputSize);
    return answer;
}

} // namespace sim::devio
