// The exported operations on one disk.
#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviOperations.h"

namespace {

CConsolidatedError NotImplemented() {
    return CConsolidatedError(CConsolidatedError::UVI_NOTIMPLEMENTED);
}

} // namespace

extern "C" {

_UVI_Error UviDiskAssignStoragePool() {
    return RunExportedCall(NotImplemented);
}

_UVI_Error UviSetOrvexHybridDiskSubClassCode() {
    return RunExportedCall(NotImplemented);
}

} // extern "C"
