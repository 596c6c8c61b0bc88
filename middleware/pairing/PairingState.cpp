#include "middleware/pairing/PairingState.h"

#include <cstring>
#include <memory>
#include <mutex>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/NamedCriticalSection.h"
#include "middleware/core/Registry.h"
#include "middleware/core/RegistrySettings.h"
#include "platform/win/Trace.h"

namespace {

uint32_t Word(std::span<const uint8_t> bytes, size_t offset) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

int32_t SignedWord(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<int32_t>(Word(bytes, offset));
}

bool HasPairingAnswer(std::span<const uint8_t> answer) {
    return answer.size() >= pairing_answer::kMinimumSize;
}

// The "IsHalvexEnabled" flag as another process left it; a value that cannot be read is not 1.
bool EnabledFlagSet() {
    try {
        DWORD value = 0;
        return ReadBexlWow64Dword("IsHalvexEnabled", &value) && value == 1;
    } catch (const CConsolidatedError&) {
        return false;
    }
}

struct RegistryValues {
    CachedRegistrySetting status{"HalvexStatus"};
    CachedRegistrySetting enabled{"IsHalvexEnabled"};
};

std::mutex g_valuesMutex;
std::unique_ptr<RegistryValues> g_values;

} // namespace

int ComputeVezkOperationStatus(std::span<const uint8_t> pairingAnswer, std::span<const uint8_t> nvCacheInfo,
                               bool flaggedVolume, bool memberFlag, uint32_t bootProgress) {
    if (!HasPairingAnswer(pairingAnswer) || nvCacheInfo.size() < nv_cache_info::kMinimumSize)
        return 0;
    if (NamedCriticalSection(kClearCacheSection).isInUse())
        return 10;
    const uint32_t pairState = Word(pairingAnswer, pairing_answer::kPairState);
    if (pairState == 2 || !flaggedVolume)
        return 0;
    const uint32_t mode = Word(nvCacheInfo, nv_cache_info::kMode);
    const int32_t acceleratedIndex = SignedWord(nvCacheInfo, nv_cache_info::kAcceleratedVolumeIndex);
    if (mode != 0 &&
        (SignedWord(nvCacheInfo, nv_cache_info::kCacheVolumeIndex) == -1 || acceleratedIndex == -1))
        return 0;

    if (pairState != 0) {
        const uint32_t migrationType = Word(pairingAnswer, pairing_answer::kMigrationType);
        if (migrationType == 1)
            return 5;
        if (migrationType == 2)
            return 1;
        if (migrationType == 3 && bootProgress <= 99)
            return 6;
        switch (mode) {
        case 0:
            return 9;
        case 3:
            return memberFlag ? 0 : 9;
        case 7:
            return 8;
        default:
            return 0;
        }
    }

    NamedCriticalSection enable(kEnableOneStepSection);
    if (enable.isInUse() || (enable.exists() && EnabledFlagSet()))
        return 7;
    if (Word(nvCacheInfo, nv_cache_info::kState) == 3 && mode == 0)
        return acceleratedIndex != -1 ? 2 : 4;
    switch (mode) {
    case 0:
        return 4;
    case 3:
        return 2;
    case 4:
        return 3;
    case 5:
        return 2;
    default:
        return 0;
    }
}

bool ReadBexlWow64Dword(const std::string& valueName, DWORD* value) {
    const LONG result =
        RegistryReadDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node\\Orvex\\Bexl", valueName, value);
    if (result == ERROR_SUCCESS)
        return true;
    if (result == static_cast<LONG>(ERROR_FILE_NOT_FOUND))
        return false;
    CConsolidatedError error;
    error.SetError(KEDO2_ERROR_TYPE_WIN32, static_cast<unsigned long>(result), "Error reading registry");
    throw error;
}

void UpdateHalvexRegistryValues(std::span<const uint8_t> pairingAnswer) {
    if (!HasPairingAnswer(pairingAnswer))
        return;
    const uint32_t status = Word(pairingAnswer, pairing_answer::kStatus);
    const bool enabled = status != 0 || Word(pairingAnswer, pairing_answer::kPairedWord) != 0;
    std::lock_guard<std::mutex> lock(g_valuesMutex);
    if (!g_values)
        g_values = std::make_unique<RegistryValues>();
    g_values->status.setDword(status);
    g_values->enabled.setBool(enabled);
}

void ResetHalvexRegistryValuesCache() {
    std::lock_guard<std::mutex> lock(g_valuesMutex);
    g_values.reset();
}

void SetExtendedPairingAddress(std::span<const uint8_t> extendedAnswer, std::span<uint8_t> pairingAnswer) {
    if (extendedAnswer.size() < kExtendedVolumeAddress + 4 ||
        pairingAnswer.size() < pairing_answer::kMinimumSize)
        return;
    std::memcpy(pairingAnswer.data() + pairing_answer::kVolumeAddress,
                extendedAnswer.data() + kExtendedVolumeAddress, 4);
}

void SetExtendedPairingFlag(std::span<uint8_t> pairingAnswer) {
    if (pairingAnswer.size() > pairing_answer::kExtendedFlag)
        pairingAnswer[pairing_answer::kExtendedFlag] = 1;
}
