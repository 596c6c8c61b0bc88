#include "cli/tasks/ZrcTask.h"

#include <climits>
#include <regex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "cli/CommandParser.h"
#include "cli/Options.h"
#include "cli/access/CliSession.h"
#include "cli/access/ZrcOperations.h"

namespace MOX {

namespace {

[[noreturn]] void ThrowUsage(const std::string& detail) {
    Error usage;
    usage.set(2, detail);
    throw MoxErrorException(usage);
}

} // namespace

ZrcTaskFactory::ZrcTaskFactory() {
    // The same texts at every help level.
    for (int32_t level : {0, 1}) {
        usageTexts[level] = "\n    --zrc --remap <scsiX>\n    --zrc --remap-all\n";
        exampleTexts[level] = "\n    --zrc --remap scsi2\n    --zrc --remap-all\n";
    }
    const OptionTable& o = Options();
    for (const OptionDescriptor* option : {&o.zrc, &o.remap, &o.remapAll})
        allowedOptions.insert(*option);
}

std::unique_ptr<ITask> ZrcTaskFactory::createTask(CommandParser& parser) {
    auto task = std::make_unique<ZrcTask>(std::make_shared<ConsolePrinter>());
    const OptionTable& o = Options();
    const ParsedOption remap = parser.getOption(o.remap);
    if (remap.isSet) {
        // With --remap-all as well, the one controller named is what is meant.
        if (remap.value().empty())
            ThrowUsage("Usage: --zrc --remap scsiX");
        if (!parser.getPositionalArgs().empty())
            ThrowUsage("Usage: --zrc --remap scsiX\nTo remap more than one controller, please call remap "
                       "command multpile times.");
        task->controllerNumber = ParseControllerId(remap.value());
        task->subTask = ZrcTask::REMAP_ONE;
    } else if (parser.getOption(o.remapAll).isSet) {
        task->subTask = ZrcTask::REMAP_ALL;
    } else {
        ThrowUsage("Unknown ZRC sub task. Please see help for ZRC commands reference.");
    }
    return task;
}

uint32_t ParseControllerId(const std::string& id) {
    static const std::regex form("scsi([0-9]+)", std::regex::ECMAScript | std::regex::icase);
    std::smatch match;
    if (!std::regex_match(id, match, form))
        ThrowUsage("Provided controller id was in incorrect format: " + id + " (expected format: scsiX)");
    // unsigned long is 32 bits on Windows, where stoul refuses a larger number with this text; here it
    // is 64 bits and its own text differs.
    unsigned long number = 0;
    try {
        number = std::stoul(match[1].str(), nullptr, 10);
    } catch (const std::out_of_range&) {
        number = ULONG_MAX;
    }
    if (number > UINT32_MAX)
        throw std::out_of_range("stoul argument out of range");
    return static_cast<uint32_t>(number);
}

ZrcTask::ZrcTask(std::shared_ptr<Printer> printer) : printer(std::move(printer)) {
    if (!this->printer)
        throw std::runtime_error("Null pointer provided as printer to ZRC task.");
}

Error ZrcTask::run() {
    switch (subTask) {
    case REMAP_ONE:
        return remapController();
    case REMAP_ALL: {
        // The library works in a session of its own.
        printer->printWrapped("Remapping all valid controllers.", 0, 0);
        return FullConversion(CallUvi(UviZrcRemapControllerAll));
    }
    default: {
        Error result(2);
        return result;
    }
    }
}

Error ZrcTask::remapController() {
    printer->printWrapped("Remapping controller: Scsi" + std::to_string(controllerNumber), 0, 0);
    CliSession session;
    Error result = session.OpenSession();
    if (result.isError()) {
        session.CloseSessionQuietly();
        return result;
    }
    // A failed gathering leaves the list empty: it is reported as no such controller, with its texts.
    std::vector<std::unique_ptr<BasicController>> controllers;
    Error working = session.GetAllControllers(controllers);
    const BasicController* selected = nullptr;
    for (const auto& controller : controllers)
        if (controller && controller->getScsiPortNumber() == controllerNumber) {
            selected = controller.get();
            break;
        }
    if (!selected) {
        working.set(3, "Selected controller does not exist.");
        session.CloseSessionQuietly();
        return working;
    }
    if (!selected->isRemapCapable()) {
        result = Error();
        result.set(3, "Selected controller is not valid for remapping.");
        session.CloseSessionQuietly();
        return result;
    }
    ZrcOperations operations(session);
    std::vector<uint32_t> together;
    result = operations.CheckRemapCandidate(selected->getHandle(), together);
    if (result.isError()) {
        session.CloseSessionQuietly();
        return result;
    }
    if (together.size() >= 2) {
        printer->printWrapped("Warning: Selected controller is part of Hybrid Disk.", 0, 0);
        printer->printWrapped("Below disk member will be also scheduled for remapping: ", 0, 0);
        for (uint32_t handle : together) {
            if (handle == selected->getHandle())
                continue;
            std::unique_ptr<BasicController> partner;
            result = session.GetAnyControllerByHandle(partner, handle);
            if (result.isError()) {
                session.CloseSessionQuietly();
                return result;
            }
            printer->printWrapped("- " + partner->getName(), 0, 0);
        }
    }
    result = operations.RemapControllers(together);
    session.CloseSessionQuietly();
    return result;
}

} // namespace MOX
