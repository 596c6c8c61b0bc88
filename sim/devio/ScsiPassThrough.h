#pragma once
// SCSI pass-through with a separate data buffer (IOCTL_SCSI_PASS_THROUGH_DIRECT) on a disk handle.
// The disk answers SECURITY PROTOCOL IN with its TCG Level 0 Discovery data (its "tcg" object),
// written through the request's DataBuffer pointer as a driver writes into the caller's locked pages;
// any other command ends with CHECK CONDITION and sense data.
#include <cstdint>
#include <span>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/devio/StorageRequests.h"

namespace sim::devio {

inline constexpr uint32_t kIoctlScsiPassThroughDirect = 0x4D014;

StorageAnswer AnswerScsiPassThroughDirect(const nlohmann::json& disk, std::span<uint8_t> buffer,
                                          uint32_t inputSize, uint32_t outputSize);

// The Level 0 Discovery data the disk reports (header and feature descriptors, length as stated).
std::vector<uint8_t> TcgLevel0Discovery(const nlohmann::json& tcg);

} // namespace sim::devio
