#pragma once
// The master file table reader of the cache preloading: the whole table of the NTFS system volume
// read from the raw volume, so that it passes through the RAID driver into the SSD cache. It reads
// just enough of NTFS to find the table: the boot sector, the table's own first file record, its data
// attribute and that attribute's run list.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "cli/Error.h"
#include "platform/win/WinTypes.h"

namespace MOX {

// One run of the table's data: its clusters, and its first cluster relative to the previous run's.
struct MftRun {
    uint32_t clusters = 0;
    int64_t offset = 0;
};

constexpr size_t MFT_RUN_TABLE_SIZE = 8;
using MftRunTable = std::array<MftRun, MFT_RUN_TABLE_SIZE>;

// Decodes a run list, which ends at a zero header byte or at the end of the bytes given. Each entry's
// length field (at most 4 bytes, not empty) is the cluster count; its offset field (1 to 8 bytes) is
// signed and sign-extended, as NTFS places a later fragment before an earlier one. Decoding stops at
// an entry whose fields do not fit these limits or the bytes, and after the table's last entry; the
// runs decoded before stay. Returns the number of runs written.
size_t DecodeRunList(std::span<const uint8_t> list, MftRunTable& runs);

class loadmft {
public:
    virtual ~loadmft() = default;

    // The whole read; the result tells the caller, which may ignore it: every failure is also
    // printed on standard output as it happens.
    Error load();
    Error readMft();
    // Reads clusters of the table's data, from virtual cluster firstVcn, into the buffer.
    Error readClusters(HANDLE volume, size_t runCount, const MftRun* runs, uint64_t firstVcn, uint64_t count);
    // Reads whole sectors of the volume.
    Error readSectors(HANDLE volume, uint8_t* destination, uint64_t firstSector, uint64_t sectorCount,
                      uint64_t& sectorsRead);
};

} // namespace MOX
