#pragma once
// The disk-side face of the Virtual Disk Service operations for one disk of the topology model: the
// identity by which the service finds the same disk, the bytes RAID metadata needs at its end, the
// making of that room, and the size and free space of its last GPT partition. Made on the stack for
// one call over the disk's Windows view, which it does not own.
#include <cstdint>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/model/WinDiskInterface.h"
#include "platform/win/WinTypes.h"

class DiskShrinkExtension {
public:
    // Identity kinds (the service's partition styles).
    static constexpr uint32_t kNoPartitionTable = 0;
    static constexpr uint32_t kMbr = 1;
    static constexpr uint32_t kGpt = 2;

    // `view` may be null: the extension is then not linked.
    explicit DiskShrinkExtension(const WinDiskInterface* view) : m_View(view) {}

    bool isLinked() const { return m_View != nullptr; }

    // Kind 1 with the MBR signature, kind 2 with the GPT disk GUID, kind 0 without partitions. A
    // dynamic disk is refused (the identity is still filled in).
    CConsolidatedError getDiskIdentifyData(GUID& gptGuid, uint32_t& mbrSignature, uint32_t& kind) const;
    // The bytes of RAID metadata of a kind, computed in 32 bits as the metadata sizes need.
    static uint32_t getMetadataSpaceSize(uint32_t sectors, uint32_t sectorSize, uint32_t kind);
    // Frees the metadata's bytes at the end of the disk, shrinking its last volume when needed.
    CConsolidatedError makeSpaceForMetadata(uint32_t sectors, uint32_t sectorSize, uint32_t kind) const;
    // Shrinks the disk's last volume by `bytes` (at least 1 MiB).
    CConsolidatedError makeSpace(uint64_t bytes) const;
    // The size and free bytes of the disk's last GPT partition; both 0 for any other disk.
    CConsolidatedError getLastGptPartitionInfo(uint64_t& freeBytes, uint64_t& sizeBytes) const;
    // What Windows reports of a volume's space, by the volume's GUID path.
    static CConsolidatedError getVolumeFreeSpace(const GUID& volumeId, uint64_t& freeBytes,
                                                 uint64_t& totalBytes);

private:
    const WinDiskInterface* m_View;
};
