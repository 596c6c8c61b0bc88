#include "middleware/api/ExportedCall.h"

CConsolidatedError ErrorOfException(std::exception_ptr exception) {
    CConsolidatedError error;
    try {
        std::rethrow_exception(exception);
    } catch (const CConsolidatedError& thrown) {
        error = thrown;
    } catch (const std::exception& thrown) {
        error.SetError(CConsolidatedError::UVI_INTERNALERROR, thrown.what());
    } catch (...) {
        error.SetError(CConsolidatedError::UVI_INTERNALERROR, "Unknown exception");
    }
    return error;
}

_UVI_Error RunExportedCall(const std::function<CConsolidatedError()>& work) {
    _UVI_Error record{};
    try {
        ConvertToUviError(record, work());
    } catch (...) {
        // The conversion itself may run out of memory; the record then reports the exception.
        try {
            ConvertToUviError(record, ErrorOfException(std::current_exception()));
        } catch (...) {
            record = _UVI_Error{UVI_STATUS_INTERNAL_ERROR, KEDO2_ERROR_TYPE_KEDO2,
                                CConsolidatedError::UVI_INTERNALERROR, 0, 0};
        }
    }
    return record;
}
