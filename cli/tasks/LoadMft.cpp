#include "cli/tasks/LoadMft.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "platform/win/WinBase.h"
#include "platform/win/WinDeviceIo.h"
#include "platform/win/WinError.h"

namespace MOX {

namespace {

// Boot sector fields.
constexpr size_t BYTES_PER_SECTOR_AT = 11;
constexpr size_t SECTORS_PER_CLUSTER_AT = 13;
constexpr size_t TOTAL_SECTORS_AT = 40;
constexpr size_t MFT_CLUSTER_AT = 48;
// The boot sector is read as the first 4 KiB: a whole number of sectors of every size up to 4 KiB,
// before the sector size is known.
constexpr uint32_t BOOT_READ_BYTES = 4096;
constexpr uint32_t MAX_SECTOR_BYTES = 4096;

// File record header and attribute header fields.
constexpr size_t RECORD_BYTES = 1024;
constexpr size_t FIRST_ATTRIBUTE_AT = 20;
constexpr size_t NEXT_ATTRIBUTE_ID_AT = 40;
constexpr size_t ATTRIBUTE_LENGTH_AT = 4;
constexpr size_t LAST_VCN_AT = 24;
constexpr size_t RUN_LIST_OFFSET_AT = 32;
// The end of the fields the reader takes from a data attribute's header.
constexpr size_t DATA_ATTRIBUTE_MIN_BYTES = RUN_LIST_OFFSET_AT + 2;
constexpr uint32_t DATA_ATTRIBUTE = 0x80;
constexpr uint32_t END_OF_ATTRIBUTES = 0xFFFFFFFF;

constexpr uint64_t MAX_REQUEST_BYTES = 0x40000000;

uint64_t Little(const uint8_t* bytes, size_t width) {
    uint64_t value = 0;
    for (size_t i = width; i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}

void Say(const std::string& line) {
    std::cout << line << std::endl;
}

Error Failed() {
    return Error(1);
}

struct PagesRelease {
    void operator()(uint8_t* pages) const { VirtualFree(pages, 0, MEM_RELEASE); }
};
using Pages = std::unique_ptr<uint8_t, PagesRelease>;

Pages AllocatePages(uint64_t bytes) {
    return Pages(
        static_cast<uint8_t*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)));
}

// What the reader keeps between its steps during one load.
struct MftState {
    uint32_t bytesPerSector = 512;
    uint32_t sectorsPerCluster = 0;
    uint64_t totalSectors = 0;
    uint64_t mftCluster = 0;
    Pages buffer;
    uint64_t bufferBytes = 0;
    uint64_t clusterCount = 0;
    uint64_t sizeInBytes = 0;
};
MftState g_state;

struct HandleClose {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

} // namespace

size_t DecodeRunList(std::span<const uint8_t> list, MftRunTable& runs) {
    size_t count = 0;
    size_t at = 0;
    while (count < runs.size() && at < list.size() && list[at] != 0) {
        const size_t lengthBytes = list[at] & 0x0F;
        const size_t offsetBytes = list[at] >> 4;
        // An empty length, a length beyond 32 bits or a sparse run (no offset) is not a run of the
        // table's data.
        if (lengthBytes == 0 || lengthBytes > 4 || offsetBytes == 0 || offsetBytes > 8 ||
            list.size() - at - 1 < lengthBytes + offsetBytes)
            break;
        const uint8_t* fields = list.data() + at + 1;
        uint64_t offset = Little(fields + lengthBytes, offsetBytes);
        if (offsetBytes < 8 && (fields[lengthBytes + offsetBytes - 1] & 0x80))
            offset |= ~uint64_t{0} << (8 * offsetBytes);
        runs[count].clusters = static_cast<uint32_t>(Little(fields, lengthBytes));
        runs[count].offset = static_cast<int64_t>(offset);
        ++count;
        at += 1 + lengthBytes + offsetBytes;
    }
    return count;
}

Error loadmft::load() {
    g_state = MftState{};
    Error result = readMft();
    g_state.buffer.reset();
    return result;
}

Error loadmft::readMft() {
    MftState& s = g_state;
    std::unique_ptr<void, HandleClose> volume(CreateFileA(
        "\\\\.\\c:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (volume.get() == INVALID_HANDLE_VALUE) {
        volume.release();
        Say("Failed to get handle");
        return Failed();
    }
    HANDLE v = volume.get();

    // The first read takes its sectors as 512 bytes each, whatever the volume's size turns out to be.
    Pages boot = AllocatePages(BOOT_READ_BYTES);
    if (!boot)
        return Failed();
    s.bytesPerSector = 512;
    uint64_t read = 0;
    Error result = readSectors(v, boot.get(), 0, BOOT_READ_BYTES / 512, read);
    if (result.isError())
        return result;
    s.bytesPerSector = static_cast<uint32_t>(Little(boot.get() + BYTES_PER_SECTOR_AT, 2));
    s.sectorsPerCluster = boot.get()[SECTORS_PER_CLUSTER_AT];
    s.totalSectors = Little(boot.get() + TOTAL_SECTORS_AT, 8);
    s.mftCluster = Little(boot.get() + MFT_CLUSTER_AT, 8);
    boot.reset();
    // Every position below is a product of these: a sector size that is no power of two from 512 to
    // 4096, or no cluster size, is no NTFS volume.
    if (s.bytesPerSector < 512 || s.bytesPerSector > MAX_SECTOR_BYTES ||
        (s.bytesPerSector & (s.bytesPerSector - 1)) != 0 || s.sectorsPerCluster == 0)
        return Failed();
    if (s.totalSectors < s.mftCluster || s.mftCluster > s.totalSectors / s.sectorsPerCluster) {
        result.set(1, "Logical cluster number larger than total sectors");
        return result;
    }

    // The first file record, in as many whole sectors as it takes (one for 4 KiB sectors).
    const uint64_t recordSectors = (RECORD_BYTES + s.bytesPerSector - 1) / s.bytesPerSector;
    s.bufferBytes = recordSectors * s.bytesPerSector;
    s.buffer = AllocatePages(s.bufferBytes);
    if (!s.buffer)
        return Failed();
    result = readSectors(v, s.buffer.get(), s.mftCluster * s.sectorsPerCluster, recordSectors, read);
    if (result.isError())
        return result;
    const uint8_t* record = s.buffer.get();
    const size_t firstAttribute = Little(record + FIRST_ATTRIBUTE_AT, 2);
    const size_t nextAttributeId = Little(record + NEXT_ATTRIBUTE_ID_AT, 2);
    if (firstAttribute >= RECORD_BYTES)
        return Failed();

    MftRunTable runs{};
    size_t runCount = 0;
    uint64_t lastVcnPlusOne = 0;
    size_t at = firstAttribute;
    for (size_t count = 0; count < nextAttributeId; ++count) {
        // Every attribute lies inside the record, or the walk ends.
        if (RECORD_BYTES - at < 8)
            break;
        const uint32_t type = static_cast<uint32_t>(Little(record + at, 4));
        if (type == END_OF_ATTRIBUTES)
            break;
        const uint64_t length = Little(record + at + ATTRIBUTE_LENGTH_AT, 4);
        if (length < 8 || length > RECORD_BYTES - at)
            break;
        if (type == DATA_ATTRIBUTE && length >= DATA_ATTRIBUTE_MIN_BYTES) {
            lastVcnPlusOne = Little(record + at + LAST_VCN_AT, 8) + 1;
            const size_t runList = Little(record + at + RUN_LIST_OFFSET_AT, 2);
            runs = MftRunTable{};
            runCount =
                runList < length
                    ? DecodeRunList(std::span<const uint8_t>(record + at + runList, length - runList), runs)
                    : 0;
        }
        at += length;
    }
    // Only the runs the table holds are read: a longer list, or a last cluster number beyond them,
    // reads what the runs cover.
    uint64_t runClusters = 0;
    for (size_t i = 0; i < runCount; ++i)
        runClusters += runs[i].clusters;
    s.clusterCount = std::min(lastVcnPlusOne, runClusters);
    if (nextAttributeId == 0 || runCount == 0 || s.clusterCount == 0) {
        Say("Map has a size of 0");
        return Failed();
    }
    const uint64_t clusterBytes = uint64_t{s.bytesPerSector} * s.sectorsPerCluster;
    s.sizeInBytes = s.clusterCount * clusterBytes;

    // One buffer for the whole data when memory allows, halved while it does not; no chunk is larger
    // than one request.
    uint64_t chunkClusters = s.clusterCount;
    while (chunkClusters > 1 && chunkClusters * clusterBytes > MAX_REQUEST_BYTES)
        chunkClusters /= 2;
    s.buffer.reset();
    for (;;) {
        s.buffer = AllocatePages(chunkClusters * clusterBytes);
        if (s.buffer)
            break;
        if (chunkClusters == 1)
            return Failed();
        chunkClusters /= 2;
    }
    s.bufferBytes = chunkClusters * clusterBytes;

    // A chunk that cannot be read ends the load: the failure is reported, never retried.
    for (uint64_t vcn = 0; vcn < s.clusterCount; vcn += chunkClusters) {
        result = readClusters(v, runCount, runs.data(), vcn, std::min(chunkClusters, s.clusterCount - vcn));
        if (result.isError())
            return result;
    }
    return Error();
}

Error loadmft::readClusters(HANDLE volume, size_t runCount, const MftRun* runs, uint64_t firstVcn,
                            uint64_t count) {
    const MftState& s = g_state;
    const uint64_t clusterBytes = uint64_t{s.bytesPerSector} * s.sectorsPerCluster;
    if (count * clusterBytes > s.bufferBytes)
        return Failed();
    uint8_t* into = s.buffer.get();
    uint64_t vcn = firstVcn;
    uint64_t remaining = count;
    uint64_t runVcn = 0;
    int64_t lcn = 0;
    for (size_t i = 0; i < runCount && remaining > 0; ++i) {
        lcn += runs[i].offset;
        const uint64_t runEnd = runVcn + runs[i].clusters;
        if (runEnd <= vcn) {
            runVcn = runEnd;
            continue;
        }
        const int64_t first = lcn + static_cast<int64_t>(vcn - runVcn);
        const uint64_t clusters = std::min(remaining, runEnd - vcn);
        uint64_t read = 0;
        // A run placed before the volume's start is not read.
        const bool ok =
            first >= 0 && !readSectors(volume, into, static_cast<uint64_t>(first) * s.sectorsPerCluster,
                                       clusters * s.sectorsPerCluster, read)
                               .isError();
        if (!ok) {
            Say("Could not read " + std::to_string(clusters) + " clusters @ lcn " + std::to_string(first));
            return Failed();
        }
        remaining -= clusters;
        into += clusters * clusterBytes;
        vcn += clusters;
        runVcn = runEnd;
    }
    if (remaining == 0)
        return Error();
    Say("Read past end of map!");
    return Failed();
}

Error loadmft::readSectors(HANDLE volume, uint8_t* destination, uint64_t firstSector, uint64_t sectorCount,
                           uint64_t& sectorsRead) {
    const uint32_t bytesPerSector = g_state.bytesPerSector;
    sectorsRead = 0;
    const uint64_t position = firstSector * bytesPerSector;
    LONG high = static_cast<LONG>(position >> 32);
    SetLastError(NO_ERROR);
    if (SetFilePointer(volume, static_cast<LONG>(position & 0xFFFFFFFF), &high, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR) {
        Say("Could not get file pointer");
        return Failed();
    }
    uint64_t left = sectorCount * bytesPerSector;
    while (left > 0) {
        const DWORD request = static_cast<DWORD>(std::min(left, MAX_REQUEST_BYTES));
        DWORD got = 0;
        // A failed request, or one that reads nothing, ends the reading.
        if (!ReadFile(volume, destination, request, &got, nullptr) || got == 0)
            break;
        got = std::min(got, request);
        sectorsRead += got / bytesPerSector;
        destination += got;
        left -= got;
    }
    if (sectorsRead == sectorCount)
        return Error();
    Say("Could not read file");
    return Failed();
}

} // namespace MOX
