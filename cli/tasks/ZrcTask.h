#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "cli/ConsoleOutput.h"
#include "cli/ITaskFactory.h"

namespace MOX {

class ZrcTaskFactory : public ITaskFactory {
public:
    ZrcTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

// The number N of a controller id "scsiN" (any letter case). Another text is a usage error (return
// code 2); a number beyond 32 bits throws std::out_of_range.
uint32_t ParseControllerId(const std::string& id);

// Schedules one controller (with the controllers it forms a hybrid disk with), or every eligible one,
// to be remapped behind the remapping controller at the next boot.
class ZrcTask : public ITask {
public:
    static constexpr int32_t REMAP_ONE = 0;
    static constexpr int32_t REMAP_ALL = 1;

    explicit ZrcTask(std::shared_ptr<Printer> printer);

    Error run() override;
    Error remapController();

    int32_t subTask = REMAP_ONE;
    uint32_t controllerNumber = UINT32_MAX;

private:
    std::shared_ptr<Printer> printer;
};

} // namespace MOX
