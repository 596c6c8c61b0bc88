#include "sim/storage/NtfsImage.h"

#include <algorithm>
#include <cstring>

#include <nlohmann/json.hpp>

#include "sim/DescriptionNumbers.h"
#include "sim/DescriptionValues.h"
#include "sim/Schema.h"

namespace sim::storage {
namespace {

using nlohmann::json;
using namespace sim::schema;

const MoreFields kNtfsFields(
    "volumes",
    {{"ntfs", Object({{"sectors_per_cluster", Uint(255)},
                      {"total_sectors", Uint64()},
                      {"mft_cluster", Uint64()},
                      {"mft_runs",
                       Array(Object({{"lcn", Uint64()}, {"clusters", Uint32()}}, {"lcn", "clusters"}), 64)},
                      {"last_vcn", Uint64()},
                      {"next_attribute_id", Uint16()},
                      {"first_attribute", Uint16()},
                      {"run_list", Hex()}})}});

constexpr size_t kRecordBytes = 1024;
constexpr size_t kBootBytes = 512;
constexpr uint64_t kDefaultSectors = 0x200000;

void Put(std::vector<uint8_t>& bytes, size_t at, uint64_t value, size_t width) {
    for (size_t i = 0; i < width && at + i < bytes.size(); ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The fewest bytes that hold the value as a signed little-endian number.
size_t SignedWidth(int64_t value) {
    size_t width = 1;
    while (width < 8) {
        const int64_t low = -(int64_t{1} << (8 * width - 1));
        const int64_t high = (int64_t{1} << (8 * width - 1)) - 1;
        if (value >= low && value <= high)
            break;
        ++width;
    }
    return width;
}

size_t UnsignedWidth(uint64_t value) {
    size_t width = 1;
    while (width < 8 && (value >> (8 * width)) != 0)
        ++width;
    return width;
}

const json& Ntfs(const json& volume) {
    return volume.at("ntfs");
}

uint32_t SectorsPerCluster(const json& ntfs) {
    return static_cast<uint32_t>(std::max<uint64_t>(DescNumber(ntfs, "sectors_per_cluster", 8), 1));
}

// The run list from the runs, each offset relative to the run before, ended by a zero byte.
std::vector<uint8_t> EncodeRuns(const json& ntfs) {
    std::vector<uint8_t> list;
    if (ntfs.contains("run_list"))
        return ParseDescHex(DescText(ntfs, "run_list")).value_or(std::vector<uint8_t>{});
    int64_t previous = 0;
    if (ntfs.contains("mft_runs"))
        for (const json& run : ntfs.at("mft_runs")) {
            const auto lcn = static_cast<int64_t>(DescNumber(run, "lcn"));
            const uint64_t clusters = DescNumber(run, "clusters");
            const int64_t offset = lcn - previous;
            previous = lcn;
            const size_t lengthWidth = UnsignedWidth(clusters);
            const size_t offsetWidth = SignedWidth(offset);
            list.push_back(static_cast<uint8_t>(offsetWidth << 4 | lengthWidth));
            for (size_t i = 0; i < lengthWidth; ++i)
                list.push_back(static_cast<uint8_t>(clusters >> (8 * i)));
            for (size_t i = 0; i < offsetWidth; ++i)
                list.push_back(static_cast<uint8_t>(static_cast<uint64_t>(offset) >> (8 * i)));
        }
    list.push_back(0);
    return list;
}

uint64_t RunClusters(const json& ntfs) {
    uint64_t clusters = 0;
    if (ntfs.contains("mft_runs"))
        for (const json& run : ntfs.at("mft_runs"))
            clusters += DescNumber(run, "clusters");
    return clusters;
}

uint64_t MftCluster(const json& ntfs) {
    if (ntfs.contains("mft_cluster"))
        return DescNumber(ntfs, "mft_cluster");
    if (ntfs.contains("mft_runs") && !ntfs.at("mft_runs").empty())
        return DescNumber(ntfs.at("mft_runs")[0], "lcn");
    return 4;
}

std::vector<uint8_t> BootSector(const json& volume, uint32_t sectorSize) {
    const json& ntfs = Ntfs(volume);
    std::vector<uint8_t> boot(kBootBytes);
    const uint8_t jump[] = {0xEB, 0x52, 0x90, 'N', 'T', 'F', 'S', ' ', ' ', ' ', ' '};
    std::memcpy(boot.data(), jump, sizeof jump);
    Put(boot, 11, sectorSize, 2);
    Put(boot, 13, SectorsPerCluster(ntfs), 1);
    Put(boot, 21, 0xF8, 1);
    Put(boot, 40, NtfsSectors(volume), 8);
    Put(boot, 48, MftCluster(ntfs), 8);
    Put(boot, 56, 2, 8);
    Put(boot, 64, 0xF6, 1); // file records of 2^10 bytes
    Put(boot, 510, 0xAA55, 2);
    return boot;
}

// The table's own file record: standard information, its name "$MFT", its data attribute, the end.
std::vector<uint8_t> FirstRecord(const json& ntfs) {
    std::vector<uint8_t> record(kRecordBytes);
    std::memcpy(record.data(), "FILE", 4);
    Put(record, 4, 0x30, 2); // update sequence: offset and count
    Put(record, 6, 3, 2);
    Put(record, 16, 1, 2); // sequence number
    Put(record, 18, 1, 2); // hard links
    const size_t first = DescNumber(ntfs, "first_attribute", 0x38);
    Put(record, 20, first, 2);
    Put(record, 22, 1, 2); // in use
    Put(record, 28, kRecordBytes, 4);
    Put(record, 40, DescNumber(ntfs, "next_attribute_id", 3), 2);
    if (first >= kRecordBytes)
        return record;

    size_t at = first;
    auto resident = [&](uint32_t type, uint16_t id, const std::vector<uint8_t>& content) {
        const size_t length = (24 + content.size() + 7) / 8 * 8;
        if (at + length + 4 > kRecordBytes)
            return;
        Put(record, at, type, 4);
        Put(record, at + 4, length, 4);
        Put(record, at + 10, 0x18, 2);
        Put(record, at + 14, id, 2);
        Put(record, at + 16, content.size(), 4);
        Put(record, at + 20, 0x18, 2);
        std::copy(content.begin(), content.end(), record.begin() + static_cast<ptrdiff_t>(at + 24));
        at += length;
    };
    resident(0x10, 0, std::vector<uint8_t>(0x48));
    std::vector<uint8_t> name(66 + 8);
    Put(name, 0, 5, 6); // parent: the root folder
    Put(name, 64, 4, 1);
    Put(name, 65, 3, 1);
    for (size_t i = 0; i < 4; ++i)
        Put(name, 66 + 2 * i, static_cast<uint8_t>("$MFT"[i]), 2);
    resident(0x30, 1, name);

    const std::vector<uint8_t> runs = EncodeRuns(ntfs);
    const uint64_t clusters = RunClusters(ntfs);
    const size_t length = std::min((64 + runs.size() + 7) / 8 * 8, kRecordBytes - 4 - at);
    Put(record, at, 0x80, 4);
    Put(record, at + 4, length, 4);
    Put(record, at + 8, 1, 1); // not resident
    Put(record, at + 10, 0x40, 2);
    Put(record, at + 14, 2, 2);
    Put(record, at + 24, DescNumber(ntfs, "last_vcn", clusters ? clusters - 1 : 0), 8);
    Put(record, at + 32, 0x40, 2);
    std::copy_n(runs.begin(), std::min(runs.size(), length - std::min<size_t>(length, 64)),
                record.begin() + static_cast<ptrdiff_t>(at + 64));
    at += length;
    Put(record, at, 0xFFFFFFFF, 4);
    Put(record, 24, at + 8, 4); // bytes in use
    return record;
}

void Overlay(std::vector<uint8_t>& sector, uint64_t sectorStart, const std::vector<uint8_t>& part,
             uint64_t partStart) {
    const uint64_t from = std::max(sectorStart, partStart);
    const uint64_t to = std::min(sectorStart + sector.size(), partStart + part.size());
    for (uint64_t at = from; at < to; ++at)
        sector[at - sectorStart] = part[at - partStart];
}

} // namespace

bool HasNtfs(const json& volume) {
    return volume.is_object() && volume.contains("ntfs") && volume.at("ntfs").is_object();
}

uint64_t NtfsSectors(const json& volume) {
    return DescNumber(Ntfs(volume), "total_sectors", kDefaultSectors);
}

std::vector<uint8_t> NtfsSector(const json& volume, uint32_t sectorSize, uint64_t lba) {
    const json& ntfs = Ntfs(volume);
    std::vector<uint8_t> sector(sectorSize);
    const uint64_t start = lba * sectorSize;
    if (start < kBootBytes)
        Overlay(sector, start, BootSector(volume, sectorSize), 0);
    const uint64_t recordStart = MftCluster(ntfs) * SectorsPerCluster(ntfs) * sectorSize;
    if (start < recordStart + kRecordBytes && recordStart < start + sectorSize)
        Overlay(sector, start, FirstRecord(ntfs), recordStart);
    return sector;
}

} // namespace sim::storage
