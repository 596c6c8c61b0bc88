// The exported operations on one disk.
#include <cstdio>
#include <memory>

#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviOperations.h"
#include "middleware/model/Session.h"
#include "middleware/model/WinDiskInterface.h"

namespace {

CConsolidatedError NotImplemented() {
    return CConsolidatedError(CConsolidatedError::UVI_NOTIMPLEMENTED);
}

// Applies a setting to the Windows drive with the number; only 1 enables.
CConsolidatedError SetWindowsDriveSetting(Session& session, int driveNumber, const char* what,
                                          CConsolidatedError (WinDiskInterface::*set)(bool), int setting) {
    const std::unique_ptr<WinDiskInterface>& drive = session.findWinDiskInterfaceByDeviceNumber(driveNumber);
    if (!drive) {
        CConsolidatedError error;
        char message[128];
        std::snprintf(message, sizeof(message), "Cannot set %s. Invalid drive number %d:", what, driveNumber);
        error.SetError(CConsolidatedError::UVI_INVALIDHANDLE, message);
        return error;
    }
    return ((*drive).*set)(setting == 1);
}

} // namespace

extern "C" {

_UVI_Error UviDiskAssignStoragePool() {
    return RunExportedCall(NotImplemented);
}

_UVI_Error UviSetOrvexHybridDiskSubClassCode() {
    return RunExportedCall(NotImplemented);
}

_UVI_Error UviDiskSetCacheBufferFlushSetting(int driveNumber, int setting) {
    return RunSessionCall(0, [=](Session& session) {
        return SetWindowsDriveSetting(session, driveNumber, "cache buffer flush",
                                      &WinDiskInterface::setCacheBufferFlush, setting);
    });
}

_UVI_Error UviDiskSetWriteCachingPolicySetting(int driveNumber, int setting) {
    return RunSessionCall(0, [=](Session& session) {
        return SetWindowsDriveSetting(session, driveNumber, "write caching policy",
                                      &WinDiskInterface::setWriteCachingPolicy, setting);
    });
}

} // extern "C"
