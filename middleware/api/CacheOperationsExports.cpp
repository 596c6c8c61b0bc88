// The exported SSD cache operations: each runs its internal function on a session of its own.
#include "middleware/api/ActionValidator.h"
#include "middleware/api/CacheOperations.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/NvcDisassociate.h"
#include "middleware/api/UviCacheOperations.h"

namespace {

constexpr const char kWynNotSupported[] = "WYN is not supported in this version of the MOX Driver. Note: "
                                          "Booting from previously existing WYN volumes is allowed.";

_UVI_Error WynNotSupported() {
    return RunExportedCall([] {
        CConsolidatedError error;
        error.SetError(CConsolidatedError::UVI_NOTSUPPORTED, kWynNotSupported);
        return error;
    });
}

} // namespace

extern "C" {

_UVI_Error UviDiskSetCacheMode(unsigned int diskHandle, _UVI_NvcMode mode) {
    if (mode != UVI_NVC_MODE_OFF)
        return WynNotSupported();
    return RunOwnSessionCall([diskHandle](Session& session) {
        return ValidateThenRun(
            session, [diskHandle] { return UviActionValidator::RulesForDiskMarkAsSpare(diskHandle); },
            [&] { return internalUviDiskSetCacheMode(session, diskHandle, UVI_NVC_MODE_OFF); });
    });
}

_UVI_Error UviVolumeSetCacheMode(unsigned int volumeHandle, _UVI_NvcMode mode) {
    if (mode != UVI_NVC_MODE_OFF)
        return WynNotSupported();
    return RunTemporarySessionCall([volumeHandle](Session& session) {
        return internalUviVolumeSetCacheMode(session, volumeHandle, UVI_NVC_MODE_OFF);
    });
}

_UVI_Error UviDiskDestroyCache(unsigned int diskHandle) {
    return RunTemporarySessionCall(
        [diskHandle](Session& session) { return internalUviDiskDestroyCache(session, diskHandle); });
}

_UVI_Error UviVolumeDestroyCache(unsigned int volumeHandle) {
    return RunTemporarySessionCall(
        [volumeHandle](Session& session) { return internalUviVolumeDestroyCache(session, volumeHandle); });
}

_UVI_Error UviDiskSetCacheSpindownPolicy(unsigned int diskHandle, int policy) {
    return RunTemporarySessionCall(
        [=](Session& session) { return internalUviDiskSetCacheSpindownPolicy(session, diskHandle, policy); });
}

_UVI_Error UviVolumeSetCacheSpindownPolicy(unsigned int volumeHandle, int policy) {
    return RunTemporarySessionCall([=](Session& session) {
        return internalUviVolumeSetCacheSpindownPolicy(session, volumeHandle, policy);
    });
}

_UVI_Error UviNvcDisassociate(unsigned int volumeHandle) {
    return RunTemporarySessionCall(
        [volumeHandle](Session& session) { return internalUviNvcDisassociate(session, volumeHandle); });
}

_UVI_Error UviCacheVolumeCreateFromDisks() {
    return WynNotSupported();
}

_UVI_Error UviCacheVolumeCreateFromArray() {
    return WynNotSupported();
}

} // extern "C"
