#pragma once
#include <string>
#include <vector>

#include "cli/ITaskFactory.h"
#include "cli/access/CliSession.h"
#include "middleware/api/UviVolumeCreation.h"

namespace MOX {

class ModifyTaskFactory : public ITaskFactory {
public:
    ModifyTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

// Changes one volume: adds disks to its array, expands it, renames it, or migrates it to another
// RAID level (with added disks, another strip size and a new name).
class ModifyTask : public virtual ITask {
public:
    enum Action : int32_t { NONE = 0, ADD_DISKS = 1, EXPAND = 2, MIGRATE = 3, RENAME = 4 };

    ~ModifyTask() override;

    Error run() override;

    // Return code 3 when no volume has the name.
    Error setVolume(const std::string& name);
    // Return code 21 for a name longer than 16 characters, which is not kept.
    Error setNewName(const std::string& name);
    void setDisksToAdd(const std::string& first, const std::vector<std::string>& further);
    void setMigration(uint32_t levelCode) {
        raidLevel = levelCode;
        action = MIGRATE;
    }
    void setExpand() { action = EXPAND; }
    void setStripSize(uint32_t code);
    Error resolveDisksToAdd();

    int32_t getAction() const { return action; }
    const std::vector<std::string>& getDiskIds() const { return diskIds; }
    const std::string& getNewName() const { return newName; }

private:
    Error addDisks();
    Error expand();
    Error rename();
    Error migrate();
    // The checks of a migration, all made before anything changes; fills modifyParams.
    Error checkMigration(const _UVI_VolumeInfo& volume);

    _UVI_RaidLevelModifyParams modifyParams{};
    std::string volumeName;
    int32_t action = NONE;
    std::vector<std::string> diskIds;
    std::string newName;
    uint32_t raidLevel = 0;
    uint32_t stripSize = 0;
    bool addDisksGiven = false;
    bool renameRequested = false;
    bool stripSizeGiven = false;
    CliSession session;
    // The handles of the disks to add; modifyParams points into it while they are resolved.
    std::vector<uint32_t> addHandles;
};

} // namespace MOX
