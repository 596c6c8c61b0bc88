#pragma once
// The help of moxcli, generated from the option vocabulary and the mode factories and filtered by a
// help level: the current layout and the legacy readme layout.
#include <cstdint>
#include <list>
#include <set>

#include "cli/CommandParser.h"
#include "cli/ITaskFactory.h"
#include "cli/OptionDescriptor.h"

namespace MOX {

struct ModeEntry {
    OptionDescriptor mode;
    ITaskFactory* factory = nullptr;
};
using ModeEntryList = std::list<ModeEntry>;
using CollectedOptions = std::set<OptionDescriptor, OptionDescriptorLess>;

// The help of the modes given on the command line, or of every mode of the level; the legacy layout
// when legacyHelp is given.
void PrintHelp(int32_t level, const CommandParser& parser);
void PrintModeHelp(int32_t level, const ModeEntryList& modes);
void PrintLegacyHelp(int32_t level, const ModeEntryList& modes);

void PrintModeOptionsTable(int32_t level, OptionDescriptorSet allowed);
void PrintModeUsage(int32_t level, const OptionDescriptor& mode, const ITaskFactory& factory);
void PrintModeExamples(int32_t level, const ITaskFactory& factory);
void PrintOptionsList(int32_t level, const CollectedOptions& options);
void PrintReturnCodes(int32_t level);

} // namespace MOX
