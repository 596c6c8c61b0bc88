#include "cli/tasks/InformationTask.h"

#include <stdexcept>

#include "cli/CommandParser.h"
#include "cli/Options.h"

namespace MOX {

namespace {

// The listing read the controllers but none of them was of the vendor's driver or had the name.
bool FoundNoController(const Error& listing) {
    if (!listing.isError() || listing.getDetails().empty())
        return false;
    const std::string& last = listing.getDetails().back();
    return last == "No controllers found." ||
           last.starts_with("Controller by that name does not exist! Name: ");
}

} // namespace

InformationTaskFactory::InformationTaskFactory() {
    usageTexts[0] = "\n    --information [--controller <name>|--array <name>|--volume <name>|--disk <PTL>]\n "
                    "                 [--comma]\n";
    usageTexts[1] = "\n    --information\n";
    exampleTexts[0] = "\n    -I -v Volume\n    -I -d 0-5-0-0\n    -I --comma\n    -I -v --comma\n    -I -d "
                      "0-2-0-0 --comma\n    --information --array Array_0000\n    --information --help\n";
    exampleTexts[1] = "\n    --information\n    --information --help\n    -I\n";
    const OptionTable& o = Options();
    for (const OptionDescriptor* option :
         {&o.information, &o.array, &o.comma, &o.controller, &o.disk, &o.volume})
        allowedOptions.insert(*option);
}

void InformationTaskFactory::checkOptions(const CommandParser& parser) const {
    for (const OptionDescriptor& option : parser.getSetOptions())
        if (!allowedOptions.contains(option) && !GeneralOptions().contains(option))
            throw std::runtime_error("Invalid option set");
}

std::unique_ptr<ITask> InformationTaskFactory::createTask(CommandParser& parser) {
    checkOptions(parser);
    auto printer = std::make_shared<ConsolePrinter>();
    auto task = std::make_unique<InformationTask>(printer);
    task->setFormatter(std::make_unique<TwoColumnPropertyFormatter>(printer, 0, false));
    const OptionTable& o = Options();
    if (parser.getOption(o.comma).isSet && !task->commaFormat) {
        task->commaFormat = true;
        task->setFormatter(std::make_unique<CommaPropertyFormatter>(printer));
    }
    const std::pair<const OptionDescriptor*, int32_t> scopes[] = {
        {&o.controller, InformationTask::SCOPE_CONTROLLERS},
        {&o.array, InformationTask::SCOPE_ARRAYS},
        {&o.disk, InformationTask::SCOPE_DISKS},
        {&o.volume, InformationTask::SCOPE_VOLUMES}};
    for (const auto& [option, kind] : scopes) {
        const ParsedOption& given = parser.getOption(*option);
        if (given.isSet) {
            task->addScope(kind, given.value());
            return task;
        }
    }
    task->addScope(InformationTask::SCOPE_EVERYTHING, "");
    return task;
}

InformationTask::InformationTask(std::shared_ptr<Printer> printer) : printer_(std::move(printer)) {
    if (!printer_)
        throw std::runtime_error("Null pointer provided as printer to information task.");
}

void InformationTask::addScope(int32_t kind, std::string name) {
    scopes_.emplace_back(kind, std::move(name));
}

void InformationTask::setFormatter(std::unique_ptr<PropertyFormatter> formatter) {
    formatter_ = std::move(formatter);
}

void InformationTask::line(const std::string& text) {
    printer_->printWrapped(text, 0, 0);
}

void InformationTask::heading(const std::string& title) {
    line("");
    line(title);
    line("");
}

template <class Device> void InformationTask::printEach(const std::vector<Device>& devices) {
    for (const Device& device : devices) {
        formatter_->format(device.serialize());
        line("");
    }
}

Error InformationTask::run() {
    Error result = session_.OpenSession();
    if (result.isError())
        return result;
    for (const auto& [kind, name] : scopes_) {
        switch (kind) {
        case SCOPE_ARRAYS:
            result = printArrays(name);
            break;
        case SCOPE_VOLUMES:
            result = printVolumes(name);
            break;
        case SCOPE_DISKS:
            result = printDisks(name);
            break;
        default:
            result = printControllers(name);
            break;
        }
    }
    session_.CloseSessionQuietly();
    return result;
}

Error InformationTask::printControllers(const std::string& name) {
    std::vector<Controller> controllers;
    Error listing = session_.GetControllers(controllers, name);
    Error result = listing;
    // A controller whose RAID information could not be read is still listed; the failure is kept.
    for (const Controller& controller : controllers) {
        heading("--CONTROLLER INFORMATION--");
        if (!controller.isCompatibleWithDriver()) {
            line("Warning: Controller not compatible with driver. Information may be inaccurate.");
            formatter_->format(controller.serialize());
            continue;
        }
        formatter_->format(controller.serialize());
        std::vector<Array> arrays;
        result.merge(session_.GetControllerArrays(arrays, controller.getName()));
        if (result.isError())
            return result;
        for (const Array& array : arrays) {
            heading("--ARRAY INFORMATION--");
            formatter_->format(array.getProperties());
            std::vector<Volume> volumes;
            result.merge(session_.GetArrayVolumes(volumes, array.getInfo()));
            if (result.isError())
                return result;
            for (const Volume& volume : volumes) {
                heading("--VOLUME INFORMATION--");
                formatter_->format(volume.getProperties());
            }
        }
        std::vector<EndDevice> devices;
        result.merge(session_.GetControllerEndDevices(devices, controller.getName()));
        if (result.isError())
            return result;
        heading("--END DEVICE INFORMATION--");
        printEach(devices);
    }
    std::vector<ThirdPartyController> others;
    Error othersResult = session_.GetSessionObjects(others, 0);
    // The other vendors' result stands in for the listing's only when the listing found no
    // controller; any other failure of the listing is kept.
    const bool noController = controllers.empty() && FoundNoController(listing);
    if (othersResult.isError() || noController)
        result = othersResult;
    if (othersResult.isError())
        return result;
    for (const ThirdPartyController& controller : others) {
        heading("--NON-MOX CONTROLLER INFORMATION--");
        formatter_->format(controller.serialize());
        std::vector<ThirdPartyEndDevice> devices;
        result.merge(session_.GetSessionObjects(devices, controller.getHandle()));
        if (!devices.empty()) {
            heading("--NON-MOX END DEVICE INFORMATION--");
            printEach(devices);
        }
    }
    // The merges of successful gatherings above set the type back to 0; the listing's failure stands.
    if (listing.isError() && !noController && !result.isError())
        result.merge(Error(listing.getType()));
    return result;
}

Error InformationTask::printArrays(const std::string& name) {
    std::vector<Array> arrays;
    Error result = session_.GetArrays(arrays, name);
    if (result.isError()) {
        if (arrays.empty())
            result.addDetail("Array does not exist.");
        return result;
    }
    if (arrays.empty())
        line("There are no arrays in the system.");
    for (const Array& array : arrays) {
        heading("--ARRAY INFORMATION--");
        formatter_->format(array.getProperties());
        std::vector<Volume> volumes;
        result.merge(session_.GetArrayVolumes(volumes, array.getInfo()));
        if (result.isError())
            return result;
        heading("--VOLUMES IN ARRAY: " + array.getName() + " --");
        for (const Volume& volume : volumes)
            formatter_->format(volume.getProperties());
        std::vector<EndDevice> devices;
        result.merge(session_.GetArrayEndDevices(devices, array.getInfo()));
        if (result.isError())
            continue;
        heading("--DISKS IN ARRAY: " + array.getName() + " --");
        printEach(devices);
    }
    return result;
}

Error InformationTask::printVolumes(const std::string& name) {
    std::vector<Volume> volumes;
    Error result = session_.GetVolumes(volumes, name);
    if (result.isError())
        return result;
    if (volumes.empty()) {
        line("There are no volumes in the system.");
        return result;
    }
    for (const Volume& volume : volumes) {
        heading("--VOLUME INFORMATION--");
        formatter_->format(volume.getProperties());
        std::vector<EndDevice> devices;
        result.merge(session_.GetVolumeEndDevices(devices, volume.getName()));
        if (result.isError())
            continue;
        heading("--DISKS IN VOLUME: " + volume.getName() + " --");
        printEach(devices);
    }
    return result;
}

Error InformationTask::printDisks(const std::string& name) {
    std::vector<EndDevice> devices;
    Error result = session_.GetEndDevices(devices, name);
    if (result.isError())
        return result;
    line("");
    line("--DISK INFORMATION--");
    printEach(devices);
    return result;
}

} // namespace MOX
