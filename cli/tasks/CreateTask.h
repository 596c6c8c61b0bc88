#pragma once
#include <string>
#include <vector>

#include "cli/ITaskFactory.h"
#include "cli/access/CliSession.h"
#include "middleware/api/UviVolumeCreation.h"

namespace MOX {

class CreateTaskFactory : public ITaskFactory {
public:
    CreateTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

// Creates a volume: a new array and volume over free disks (keeping a source disk's data when one
// is named), or a further volume on an array whose members are all named.
class CreateTask : public virtual ITask {
public:
    CreateTask();
    ~CreateTask() override;

    Error run() override;

    // Return code 2 for an empty name, 21 for one longer than 16 characters.
    Error setName(const std::string& name);
    Error setSourceDisk(const std::string& id);
    Error setDiskIds(std::vector<std::string> ids);
    void setRaidLevel(uint32_t code) { params.raidLevel = code; }
    void setStripSize(uint32_t code) { params.stripSize = code; }
    void setSizeInBytes(uint64_t bytes) { params.sizeInBytes = bytes; }
    void accept() { subTask = 0; }

    const _UVI_VolumeCreateFromDisksParams& getParams() const { return params; }
    const std::vector<std::string>& getDiskIds() const { return diskIds; }

private:
    Error createVolume();

    // Never opened: every query runs on a snapshot of its own.
    CliSession session;
    int32_t subTask = -1;
    _UVI_VolumeCreateFromDisksParams params{};
    std::vector<std::string> diskIds;
};

} // namespace MOX
