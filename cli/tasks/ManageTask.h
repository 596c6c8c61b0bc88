#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/ITaskFactory.h"
#include "cli/access/CliSession.h"
#include "cli/access/ManageOperations.h"

namespace MOX {

class ManageTaskFactory : public ITaskFactory {
public:
    ManageTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

// Changes disks, arrays and volumes: one action per command, run over the task's session.
class ManageTask : public ITask {
public:
    enum Kind : int32_t {
        SPARE = 0,
        NOT_SPARE = 1,
        UNLOCK = 2,
        REBUILD = 3,
        VOLUME_CACHE_POLICY = 4,
        WRITE_CACHE = 5,
        NORMAL = 6,
        NORMAL_VOLUME = 7,
        DELETE_VOLUME = 8,
        INITIALIZE = 9,
        VERIFY = 10,
        VERIFY_REPAIR = 11,
        CANCEL_VERIFY = 12,
        DELETE_METADATA = 13,
        DELETE_ALL_METADATA = 14,
    };
    struct Action {
        int32_t kind;
        std::vector<std::string> args;
    };

    Error run() override;

    void addAction(int32_t kind, std::string arg);
    void addAction(int32_t kind, std::vector<std::string> args);
    void addUnlockAction(std::string password, const std::vector<std::string>& positional);
    void addDeleteAllMetadataAction(bool noSync);
    const std::vector<Action>& getActions() const { return actions; }
    // How the delete-all action separates cache-memory pairs.
    void setPairSeparation(PairSeparation separation) { separatePairs = std::move(separation); }

    // ---- disks ----
    Error markAsSpare(const std::string& diskId);
    Error unmarkSpare(const std::string& diskId);
    Error unlockDisk(const std::string& password, const std::string& diskId);
    Error markDiskNormal(const std::string& diskId);
    Error deleteDiskMetadata(const std::string& diskId);

    // ---- volumes and arrays ----
    Error rebuildVolume(const std::string& volume, const std::string& diskId);
    Error setVolumeCachePolicy(const std::string& volume, const std::string& policy);
    Error setArrayWriteCache(const std::string& array, const std::string& state);
    Error markVolumeNormal(const std::string& volume);
    Error deleteVolume(const std::string& volume);
    Error initializeVolume(const std::string& volume);
    Error verifyVolume(const std::string& volume);
    Error verifyRepairVolume(const std::string& volume);
    Error cancelVerify(const std::string& volume);

    // ---- every disk back to a state without RAID metadata ----
    Error deleteAllMetadata(bool noSync);
    void disableHalvexPairs(Error& result, uint32_t& failures, bool noSync);
    void clearOfflineArrayMetadata(Error& result, uint32_t& failures);

private:
    // The family of the volume and array actions: look the view up by its exact name, make the call,
    // print the header and the confirmation.
    template <class View, class Call>
    Error actOnNamed(const std::vector<View>& views, Error gathering, const std::string& kindWord,
                     const std::string& name, Call call, const std::string& header,
                     const std::string& confirmation);
    using VolumeCall = std::function<Error(ManageOperations&, uint32_t volumeHandle)>;
    Error actOnVolume(const std::string& name, const VolumeCall& call, const std::string& header,
                      const std::string& confirmation);
    Error spareAction(const std::string& diskId, bool mark);
    // Closes the session and opens a new one; the record takes each result.
    bool reopen(Error& result);
    void turnAccelerationOff(const std::vector<Controller>& controllers, Error& result, uint32_t& failures,
                             bool noSync);
    void waitForAccelerationOff(Error& result, uint32_t& failures);
    void deleteVolumes(Error& result, uint32_t& failures);
    void resetDisks(Error& result, uint32_t& failures);

    std::vector<Action> actions;
    CliSession session;
    PairSeparation separatePairs = SeparatePairsThroughFacade;
};

} // namespace MOX
