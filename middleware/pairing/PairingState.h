#pragma once
// The cache-memory pairing state that the topology model cannot read from the driver alone, and its
// publication in the product's registry key. The driver's answers are passed as their bytes (an
// empty span: the controller has none), so nothing here depends on the model's types.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "middleware/pairing/PairingInfoLayout.h"
#include "platform/win/WinTypes.h"

// Offsets into the NV cache information group data.
namespace nv_cache_info {
constexpr size_t kState = 0x08;
constexpr size_t kMode = 0x0C;                   // the driver's mode number, 0 off
constexpr size_t kCacheVolumeIndex = 0x14;       // -1 none
constexpr size_t kAcceleratedVolumeIndex = 0x18; // -1 none
constexpr size_t kMinimumSize = 0x1C;
} // namespace nv_cache_info

// The extended pairing answer (VOLPORT_IOCTL_GET_VEZK_INFO_EXT): its pairing volume address.
constexpr size_t kExtendedVolumeAddress = 0x20;

// The named sections of the clear-cache and enable operations; only looked at here.
inline constexpr const char* kClearCacheSection = "Global\\HalvexClearCacheSemaphore";
inline constexpr const char* kEnableOneStepSection = "Global\\HalvexEnableOneStepSemaphore";

// The pairing operation status 0..10 (10 a cache clear running, 7 an enable running; 0 when either
// answer is missing). flaggedVolume: one of the controller's volumes carries the pairing volume
// flag; memberFlag: a disk of the accelerated or pairing volume carries the member property;
// bootProgress: the answer's boot migration progress.
int ComputeVezkOperationStatus(std::span<const uint8_t> pairingAnswer, std::span<const uint8_t> nvCacheInfo,
                               bool flaggedVolume, bool memberFlag, uint32_t bootProgress);

// Reads a DWORD under HKLM "SOFTWARE\WOW6432Node\Orvex\Bexl": true when read, false when the key or
// value does not exist; any other failure throws CConsolidatedError (Win32, "Error reading registry").
bool ReadBexlWow64Dword(const std::string& valueName, DWORD* value);

// "HalvexStatus" := the answer's status; "IsHalvexEnabled" := status or paired word not 0. Each is
// written (32-bit view) only when it differs from what this place last wrote.
void UpdateHalvexRegistryValues(std::span<const uint8_t> pairingAnswer);
// Forgets what UpdateHalvexRegistryValues wrote, so that its next call writes again (tests).
void ResetHalvexRegistryValuesCache();

// Copies the extended answer's volume address into the pairing answer (nothing without one).
void SetExtendedPairingAddress(std::span<const uint8_t> extendedAnswer, std::span<uint8_t> pairingAnswer);
// Marks the pairing answer's extended flag.
void SetExtendedPairingFlag(std::span<uint8_t> pairingAnswer);
// The same under the names the controller model uses.
inline void SetVezkVolumeAddressFromExtendedInfo(std::span<const uint8_t> extendedAnswer,
                                                 std::span<uint8_t> pairingAnswer) {
    SetExtendedPairingAddress(extendedAnswer, pairingAnswer);
}
inline void SetVezkExtendedFlag(std::span<uint8_t> pairingAnswer) {
    SetExtendedPairingFlag(pairingAnswer);
}
