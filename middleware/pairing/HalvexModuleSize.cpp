#include "middleware/pairing/HalvexModuleSize.h"

#include <algorithm>
#include <cstring>

#include "middleware/pairing/PairingState.h"

CConsolidatedError GetHalvexModuleSize(const HalvexModuleController* controller, uint64_t* size) {
    CConsolidatedError error;
    if (!controller) {
        error.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER,
                       "Get Halvex module size: controller can't be null.");
        return error;
    }
    uint64_t result = 0;
    const std::span<const uint8_t> answer = controller->pairingAnswer;
    uint32_t pairState = 0;
    if (answer.size() >= pairing_answer::kMinimumSize)
        std::memcpy(&pairState, answer.data() + pairing_answer::kPairState, sizeof pairState);
    if (pairState != 0) {
        uint32_t arrayIndex = 0;
        std::memcpy(&arrayIndex, answer.data() + pairing_answer::kArrayIndex, sizeof arrayIndex);
        for (const HalvexModuleDisk& disk : controller->disks)
            if (disk.isMemberOfArrayIndex && disk.isMemberOfArrayIndex(arrayIndex) && !disk.memberFlag) {
                result = disk.windowsCapacity;
                break;
            }
    } else {
        if (controller->disks.empty()) {
            error.SetError(CConsolidatedError::HALVEX_CONCATENATE_DRIVER_DISKSARENOTVALID, nullptr);
            return error;
        }
        for (const HalvexModuleDisk& disk : controller->disks)
            if (disk.validForPairing)
                result = std::max(result, disk.capacity);
    }
    if (size)
        *size = result;
    if (result == 0)
        error.SetError(CConsolidatedError::HALVEX_CONCATENATE_DRIVER_DISKSARENOTVALID, nullptr);
    return error;
}
