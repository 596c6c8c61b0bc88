#include "cli/tasks/ModeTable.h"

#include <iterator>

#include "cli/Options.h"
#include "cli/tasks/AccelerateTask.h"
#include "cli/tasks/CreateTask.h"
#include "cli/tasks/HalvexMemoryTask.h"
#include "cli/tasks/InformationTask.h"
#include "cli/tasks/ManageTask.h"
#include "cli/tasks/ModifyTask.h"
#include "cli/tasks/RescanTask.h"
#include "cli/tasks/VersionTask.h"
#include "cli/tasks/ZrcTask.h"

namespace MOX {

namespace {

template <class Factory> ITaskFactory* Make() {
    return new Factory;
}

struct ModeRow {
    OptionDescriptor OptionTable::*mode;
    ITaskFactory* (*makeFactory)();
};

// The mode table, in the descriptors' order.
constexpr ModeRow MODES[] = {
    {&OptionTable::create, Make<CreateTaskFactory>},
    {&OptionTable::manage, Make<ManageTaskFactory>},
    {&OptionTable::modify, Make<ModifyTaskFactory>},
    {&OptionTable::rescan, Make<RescanTaskFactory>},
    {&OptionTable::information, Make<InformationTaskFactory>},
    {&OptionTable::accelerate, Make<AccelerateTaskFactory>},
    {&OptionTable::halvexMemory, Make<HalvexMemoryTaskFactory>},
    {&OptionTable::version, Make<VersionTaskFactory>},
    {&OptionTable::zrc, Make<ZrcTaskFactory>},
};

ModeFactoryMap BuildModeFactories() {
    // The factories are never destroyed; this static table keeps them reachable until the process
    // ends, when the map that points at them is already gone.
    static ITaskFactory* factories[std::size(MODES)] = {};
    ModeFactoryMap map;
    for (size_t i = 0; i < std::size(MODES); ++i) {
        factories[i] = MODES[i].makeFactory();
        map.emplace(Options().*MODES[i].mode, factories[i]);
    }
    return map;
}

} // namespace

const ModeFactoryMap& ModeFactories() {
    static const ModeFactoryMap map = BuildModeFactories();
    return map;
}

} // namespace MOX
