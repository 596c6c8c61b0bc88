#include "middleware/ioctl/AtaRequestFormat.h"

#include <string>

#include "platform/win/WinError.h"

CConsolidatedError CheckRequestInBufferSize(DWORD inBufferSize, DWORD recordSize, const char* recordName,
                                            const char* className, bool withRecordSize) {
    CConsolidatedError result;
    if (inBufferSize >= recordSize)
        return result;
    const std::string message = std::string("InBufferSize is too small, must be >= sizeof(") + recordName +
                                ") " + className + "::_realFormatInputBuffer";
    result.SetError(CConsolidatedError::IOCTL_IN_BUFFER_SIZE, message.c_str());
    result.AddDebugInformation("InBufferSize = %d", static_cast<int>(inBufferSize));
    if (withRecordSize)
        result.AddDebugInformation(", sizeof(%s)= %d", recordName, static_cast<int>(recordSize));
    return result;
}

CConsolidatedError NameAllocationFailure(const CConsolidatedError& failure, const char* className,
                                         DWORD inBufferSize) {
    if (failure.GetErrorType() != KEDO2_ERROR_TYPE_WIN32 || failure.GetWin32Error() != ERROR_OUTOFMEMORY)
        return failure;
    const std::string debug =
        std::string("malloc returned null in ") + className + "::_realFormatInputBuffer";
    CConsolidatedError result;
    result.SetError(KEDO2_ERROR_TYPE_WIN32, ERROR_OUTOFMEMORY, debug.c_str());
    result.AddDebugInformation("InBufferSize = %d", static_cast<int>(inBufferSize));
    return result;
}
