#include "middleware/core/UviError.h"

#include <climits>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/GlobalLogger.h"

_UVI_Status UviStatusFromCode(uint32_t code) {
    using E = CConsolidatedError;
    const uint32_t family = code & 0xFFFF0000u;
    const uint32_t low = code & 0xFFFFu;
    switch (code) {
    case E::SUCCESS:
        return UVI_STATUS_SUCCESS;
    case E::UVI_INVALID_REQUEST:
        return UVI_STATUS_INVALID_REQUEST;
    case E::GENERAL_FAULT:
    case E::GENERAL_UNKNOWN_ERROR:
    case E::UVI_FAULT:
        return UVI_STATUS_FAILED;
    case E::GENERAL_INVALID_VALUE:
    case E::GENERAL_NULL_PARAMETER:
        return UVI_STATUS_INVALID_PARAMETER;
    case E::GENERAL_INVALID_STATE:
        return UVI_STATUS_INVALID_STATE;
    case E::GENERAL_INSUFF_MEM:
        return UVI_STATUS_BUFFER_TOO_SMALL;
    case E::GENERAL_NOT_IMPLEMENTED:
        return UVI_STATUS_NOT_IMPLEMENTED;
    case E::DRIVER_BUSY:
        return UVI_STATUS_DRIVER_BUSY;
    case E::UVI_EVENT_TIMEOUT:
        return UVI_STATUS_TIMEOUT;
    case E::UVI_SHRINK_FAILED_GENERIC:
        return UVI_STATUS_SHRINK_FAILED_GENERIC;
    case E::UVI_SHRINK_LAST_PARTITION_NOT_DATA:
        return UVI_STATUS_SHRINK_LAST_PARTITION_NOT_DATA;
    case E::UVI_SHRINK_LAST_PARTITION_TOO_SMALL:
        return UVI_STATUS_SHRINK_LAST_PARTITION_TOO_SMALL;
    case E::UVI_SHRINK_NOT_ENOUGH_SPACE:
        return UVI_STATUS_SHRINK_NOT_ENOUGH_SPACE;
    case E::UVI_SHRINK_REQUESTED_SIZE_LESS_THAN_MIN:
        return UVI_STATUS_SHRINK_REQUESTED_SIZE_LESS_THAN_MIN;
    case E::IOCTL_INTERFACE_NOT_SUPPORTED:
        return UVI_STATUS_INTERFACE_NOT_SUPPORTED;
    case E::HALVEX_KEDO2_SETTING_BLOCK_CACHE_TO_SAFE_FAILED:
        return UVI_STATUS_HALVEX_KEDO2_SETTING_BLOCK_CACHE_TO_SAFE_FAILED;
    case E::HALVEX_CONCATENATE_KEDO2_DISKCONTAINSSYSTEMCOMPONENTS:
        return UVI_STATUS_HALVEX_CONCATENATE_KEDO2_DISKCONTAINSSYSTEMCOMPONENTS;
    default:
        break;
    }
    if (family == 0xA0010000u && low >= 0x0001 && low <= 0x0016)
        return static_cast<_UVI_Status>(low);
    if (family == 0xA0070000u && low <= 0x0030)
        return static_cast<_UVI_Status>(UVI_STATUS_HALVEX_UNKNOWN + low);
    return UVI_STATUS_INTERNAL_ERROR;
}

void ConvertToUviError(_UVI_Error& record, const CConsolidatedError& error) {
    record.status = UviStatusFromCode(error.GetErrorCode());
    record.errorType = error.GetErrorType();
    record.code = error.GetErrorCode();
    record.win32Error = error.GetWin32Error();
    record.errorId = 0;
    GlobalLogger::get().setError(error, record);
}

CConsolidatedError::operator _UVI_Error() const {
    _UVI_Error record{};
    ConvertToUviError(record, *this);
    return record;
}

CConsolidatedError GetLoggedError(const _UVI_Error& record) {
    return GlobalLogger::get().getError(record.errorId, false);
}

namespace {

enum class Text { Message, Debug };

// Size first, then a copy only into a buffer that holds the whole text.
unsigned int CopyText(const CConsolidatedError& error, Text which, char* buffer, unsigned int length) {
    const auto get = [&](char* target, int size) {
        return which == Text::Message ? error.GetErrorMessage(target, size)
                                      : error.GetDebugInformation(target, size);
    };
    const unsigned int size = get(nullptr, 0);
    if (size == 0 || !buffer || length < size)
        return size;
    get(buffer, static_cast<int>(std::min<unsigned int>(length, INT_MAX)));
    return size;
}

} // namespace

extern "C" unsigned int UviGetErrorMessage(unsigned int errorId, char* buffer, unsigned int length) {
    try {
        const CConsolidatedError error = GlobalLogger::get().getError(errorId, false);
        if (error.IsSuccessful())
            return 0;
        return CopyText(error, Text::Message, buffer, length);
    } catch (...) {
        return 0;
    }
}

extern "C" unsigned int UviGetErrorDebugMessage(unsigned int errorId, char* buffer, unsigned int length) {
    try {
        return CopyText(GlobalLogger::get().getError(errorId, false), Text::Debug, buffer, length);
    } catch (...) {
        return 0;
    }
}

extern "C" unsigned int UviGetLastErrorMessage(char* buffer, unsigned int length) {
    try {
        const CConsolidatedError error = GlobalLogger::get().getLastError(false);
        if (error.IsSuccessful())
            return 0;
        return CopyText(error, Text::Message, buffer, length);
    } catch (...) {
        return 0;
    }
}

extern "C" unsigned int UviGetLastErrorDebugMessage(char* buffer, unsigned int length) {
    try {
        return CopyText(GlobalLogger::get().getLastError(false), Text::Debug, buffer, length);
    } catch (...) {
        return 0;
    }
}

extern "C" void CleanupUviError(unsigned int errorId) {
    try {
        GlobalLogger::get().clean(errorId);
    } catch (...) {
    }
}

void CleanupUviError(_UVI_Error* record) {
    if (!record)
        return;
    CleanupUviError(record->errorId);
}
