#pragma once
// What the manage mode (and the modes that change volumes) asks of the library beyond the session's
// reads and views: the changes to disks, volumes and arrays, the turning off of SSD acceleration, the
// separation of cache-memory pairs and the preinstallation environment check.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/access/CliSession.h"
#include "middleware/api/UviCacheOperations.h"
#include "middleware/api/UviDiskOperations.h"
#include "middleware/api/UviOperations.h"
#include "middleware/api/UviVolumeOperations.h"

namespace MOX {

// The earliest view in list order whose name is exactly this one (case-sensitive), or null.
template <class View> const View* FirstNamed(const std::vector<View>& views, const std::string& name) {
    for (const View& view : views)
        if (view.getName() == name)
            return &view;
    return nullptr;
}

// Separates the cache-memory pair of the machine: the pairing facade's one-step disable with its
// data migration, or with noSync its clearing of the pairing metadata without flushing the cache.
using PairSeparation = std::function<_UVI_Error(bool noSync)>;

// A separation that answers it is not implemented (status 10, no texts): the pair is reported,
// never silently left paired.
_UVI_Error SeparationNotAvailable(bool noSync);
// The pairing facade's separation, what the task uses unless told otherwise.
_UVI_Error SeparatePairsThroughFacade(bool noSync);

class ManageOperations {
public:
    // Works on the session the task opened; the session outlives the operations.
    explicit ManageOperations(CliSession& session) : session_(session) {}

    // ---- disks ----
    Error MarkAsSpare(uint32_t disk);
    Error UnmarkSpare(uint32_t disk);
    Error Unlock(uint32_t disk, const _UVI_DiskUnlockInfo& info);
    Error ResetSmartEvent(uint32_t disk);
    Error MarkDiskNormal(uint32_t disk);
    Error ClearMetadata(uint32_t disk);
    Error GetControllerInfo(uint32_t controller, _UVI_ControllerInfo& info);

    // ---- volumes and arrays ----
    Error RebuildVolume(uint32_t volume, uint32_t disk);
    Error SetVolumeCachePolicy(uint32_t volume, uint32_t policy);
    Error SetArrayWriteCache(uint32_t array, bool enabled);
    Error MarkVolumeNormal(uint32_t volume);
    Error DeleteVolume(uint32_t volume);
    Error InitializeVolume(uint32_t volume);
    Error VerifyVolume(uint32_t volume, bool repair);
    Error CancelVerify(uint32_t volume);

    // ---- SSD acceleration off: the library's answers as they are, the caller decides on the texts ----
    _UVI_Error DiskSetCacheModeOff(uint32_t disk);
    _UVI_Error DiskDestroyCache(uint32_t disk);
    _UVI_Error VolumeSetCacheModeOff(uint32_t volume);
    _UVI_Error VolumeDestroyCache(uint32_t volume);
    _UVI_Error NvcDisassociate(uint32_t cacheVolume);

    // Whether the Windows Preinstallation Environment runs: its marker key exists.
    static bool IsPreinstallationEnvironment();

private:
    CliSession& session_;
};

} // namespace MOX
