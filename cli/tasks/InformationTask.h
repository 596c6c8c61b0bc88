#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/ConsoleOutput.h"
#include "cli/ITaskFactory.h"
#include "cli/PropertyFormatter.h"
#include "cli/access/CliSession.h"

namespace MOX {

class InformationTaskFactory : public ITaskFactory {
public:
    InformationTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
    // Throws "Invalid option set" for a given option that is neither this mode's nor a general one.
    void checkOptions(const CommandParser& parser) const;
};

// Prints the storage system: the vendor's controllers with their arrays, volumes and end devices,
// then the other vendors' controllers with theirs; or one kind of object, narrowed to a name.
class InformationTask : public ITask {
public:
    static constexpr int32_t SCOPE_CONTROLLERS = 0;
    static constexpr int32_t SCOPE_ARRAYS = 1;
    static constexpr int32_t SCOPE_VOLUMES = 2;
    static constexpr int32_t SCOPE_DISKS = 3;
    static constexpr int32_t SCOPE_EVERYTHING = 4;

    explicit InformationTask(std::shared_ptr<Printer> printer);

    Error run() override;
    void addScope(int32_t kind, std::string name);
    void setFormatter(std::unique_ptr<PropertyFormatter> formatter);
    bool commaFormat = false;

    Error printControllers(const std::string& name);
    Error printArrays(const std::string& name);
    Error printVolumes(const std::string& name);
    Error printDisks(const std::string& name);

private:
    void line(const std::string& text);
    void heading(const std::string& title);
    // Each device's properties, an empty line after each.
    template <class Device> void printEach(const std::vector<Device>& devices);

    CliSession session_;
    std::vector<std::pair<int32_t, std::string>> scopes_;
    std::shared_ptr<Printer> printer_;
    std::unique_ptr<PropertyFormatter> formatter_;
};

} // namespace MOX
