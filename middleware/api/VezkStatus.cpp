#include "middleware/api/VezkStatus.h"

#include <iterator>

namespace {

template <size_t N>
const char* TextOf(const char* const (&texts)[N], unsigned int value, const char* unknown) {
    return value < N ? texts[value] : unknown;
}

} // namespace

extern "C" MOX_EXPORT const char* UVI_VezkDiskPairStatusToDescription(unsigned int status) {
    static constexpr const char* kTexts[] = {
        "Pair valid",
        "Fast drive must be different than slow drive",
        "Fast drive is not supported",
        "Slow drive is not supported",
        "Fast drive can't be bigger than slow drive",
        "Internal error",
        "Volume not exist",
        "Fast disk contains one or more system components: active bootloader, system boot, page file, "
        "hibernation file, crash dump",
        "Accelerating dynamic disk is not supported",
    };
    return TextOf(kTexts, status, "Unknown disk pair status");
}

extern "C" MOX_EXPORT const char* UVI_VezkDiskValidForConcatenationStatusToDescription(unsigned int status) {
    static constexpr const char* kTexts[] = {
        "Disk valid",
        "Internal error",
        "Volume does not exist",
        "Is not disk",
        "Disk has incorrect block size",
        "Disk too small",
        "Icorrect disk type",
        "Incorrect partition type",
    };
    return TextOf(kTexts, status, "Unknown disk status");
}

extern "C" MOX_EXPORT const char* UVI_VezkOperationStatusToDescription(unsigned int status) {
    static constexpr const char* kTexts[] = {
        "Not in progress",
        "Halvex separation",
        "Halvex separation Complete",
        "Block cache acceleration disabling",
        "Block cache acceleration disabling complete",
        "Halvex concatenation",
        "Halvex concatenation finalizing",
        "Halvex creation started",
        "Block cache acceleration switch to WT mode",
        "Block cache acceleration switch to WT mode complete",
        "Clearing Halvex's block cache",
    };
    return TextOf(kTexts, status, "Unknown");
}

_UVI_VezkFileCacheMode ToVezkFileCacheMode(uint32_t value) {
    if (value <= 2)
        return static_cast<_UVI_VezkFileCacheMode>(value);
    CConsolidatedError error;
    error.SetError(CConsolidatedError::UVI_INTERNALERROR, nullptr);
    error.AddErrorMessage("Cannot convert value: 0x%X to FileCacheMode", value);
    throw error;
}

_UVI_VezkDiskPairStatus ToVezkDiskPairStatus(uint32_t verdict) {
    if (verdict <= 4)
        return static_cast<_UVI_VezkDiskPairStatus>(verdict);
    if (verdict >= 6 && verdict <= 8)
        return static_cast<_UVI_VezkDiskPairStatus>(verdict + 1);
    return UVI_VEZK_DISK_PAIR_INTERNAL_ERROR;
}

CConsolidatedError PairStatusToError(uint32_t status) {
    CConsolidatedError error;
    if (status == 0)
        return error;
    CConsolidatedError::KEDO2_ERRORS code;
    switch (status) {
    case 1:
        code = CConsolidatedError::HALVEX_CONCATENATE_DRIVER_DISKPAIRDISKIDAREEQUAL;
        break;
    case 2:
        code = CConsolidatedError::HALVEX_CONCATENATE_DRIVER_DISKPAIRFASTDISKNOTSUPPORTED;
        break;
    case 3:
        code = CConsolidatedError::HALVEX_CONCATENATE_DRIVER_DISKPAIRSLOWDISKNOTSUPPORTED;
        break;
    case 4:
        code = CConsolidatedError::HALVEX_CONCATENATE_DRIVER_DISKPAIRFASTDISKISTOOBIG;
        break;
    case 7:
        code = CConsolidatedError::HALVEX_CONCATENATE_KEDO2_DISKCONTAINSSYSTEMCOMPONENTS;
        break;
    default:
        code = CConsolidatedError::HALVEX_CONCATENATE_DRIVER_DISKPAIRINTERNALERROR;
        break;
    }
    error.SetError(code, nullptr);
    error.AddErrorMessage("Disk pair not valid");
    error.AddErrorMessage("%s", UVI_VezkDiskPairStatusToDescription(status));
    return error;
}
