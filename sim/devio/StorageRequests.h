#pragma once
// The Windows storage requests that simulated adapters, disks and volumes answer themselves
// (everything but the requests passed down to an adapter's driver).
#include <cstdint>
#include <functional>
#include <span>

#include <nlohmann/json.hpp>

#include "platform/win/WinTypes.h"
#include "sim/devio/DeviceIo.h"

namespace sim::devio {

struct StorageAnswer {
    // false: not a storage request of this object; the caller passes it on (or refuses it).
    bool handled = false;
    DWORD error = 0;
    uint32_t bytes = 0;
    // A change of the machine state the request makes, applied when the call succeeds.
    std::function<void(nlohmann::json&)> change;
};

// `buffer` is the system buffer: the input bytes zero-extended to the larger of the two sizes; the
// answer is written into it from offset 0.
StorageAnswer AnswerStorageRequest(const nlohmann::json& state, const OpenDevice& device,
                                   uint32_t ioControlCode, std::span<uint8_t> buffer, uint32_t inputSize,
                                   uint32_t outputSize);

// Bytes of one logical sector of a disk, as ReadFile reads them.
std::vector<uint8_t> DiskSector(const nlohmann::json& disk, uint64_t lba);
uint32_t LogicalSectorSize(const nlohmann::json& disk);
uint64_t DiskSectors(const nlohmann::json& disk);

} // namespace sim::devio
