#include "cli/HelpPrinter.h"

#include <algorithm>
#include <cctype>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ConsoleOutput.h"
#include "cli/LegacyHelpTexts.h"
#include "cli/Options.h"
#include "cli/tasks/ModeTable.h"

namespace MOX {

namespace {

const std::string& ReturnCodesText() {
    static const std::string text =
        "\n   0,  Success \n    Request completed successfully. \n\n   1,  Request Failed \n    Request is "
        "formatted correctly but failed to execute. \n\n   2,  Invalid Request\n    Unrecognized command, "
        "request was formatted incorrectly. \n\n   3,  Invalid Device\n    Request not formatted correctly, "
        "device passed in does not exist. \n\n   4,  Request Unsupported\n    Request is not supported with "
        "the current configuration. \n\n   5,  Device State Invalid\n    Request is not supported with the "
        "current device state.\n ";
    return text;
}

const std::string& CreateReturnCodesText() {
    static const std::string text =
        "\n   20, Invalid Stripe Size\n    Stripe size is not supported. \n\n   21, Invalid Name\n    Volume "
        "name is too long, has invalid characters, or already exists.\n    Volume name cannot exceed 16 "
        "English characters. \n\n   22, Invalid Size\n    Size requested is invalid. \n\n   23, Invalid "
        "Number Disks\n    Number of disks requested is invalid. \n\n   24, Invalid RAID Level\n    RAID "
        "level "
        "requested is invalid. \n";
    return text;
}

const std::string& ProductParagraph() {
    static const std::string text =
        "The MOX CLI Tool is an end user command line utility for basic RAID operations on RAID-enabled "
        "systems. It supports RAID 0, RAID 1, RAID 5 and RAID 10 volumes. Use the Create mode to create a "
        "new "
        "volume, on new disks or on an existing array, and use the Manage mode to manage the existing "
        "volumes, arrays and disks, such as marking a disk as a spare.";
    return text;
}

std::string Title(const OptionDescriptor& mode) {
    std::string title = mode.longName;
    if (!title.empty())
        title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
    return title;
}

void PrintModeSection(int32_t level, const ModeEntry& entry, CollectedOptions& collected) {
    if (!entry.factory)
        return;
    const std::string title = Title(entry.mode);
    PrintWrapped(title + " Options:\n", 3, 80);
    PrintModeOptionsTable(level, entry.factory->allowedOptions);
    std::cout << '\n';
    PrintWrapped(title + " Usage:\n", 3, 80);
    PrintModeUsage(level, entry.mode, *entry.factory);
    std::cout << '\n';
    PrintWrapped(title + " Examples:", 3, 80);
    PrintModeExamples(level, *entry.factory);
    std::cout << "\n\n";
    collected.insert(entry.factory->allowedOptions.begin(), entry.factory->allowedOptions.end());
}

void PrintModeSectionsAndOptions(int32_t level, const ModeEntryList& modes) {
    CollectedOptions collected;
    for (const auto& entry : modes)
        PrintModeSection(level, entry, collected);
    collected.insert(GeneralOptions().begin(), GeneralOptions().end());
    std::cout << "OPTIONS:"
              << "\n\n";
    PrintOptionsList(level, collected);
}

bool Shown(int32_t level, const OptionDescriptor& option) {
    return option.listed && option.helpLevel >= level;
}

} // namespace

void PrintHelp(int32_t level, const CommandParser& parser) {
    ModeEntryList ofLevel;
    ModeEntryList given;
    for (const auto& [mode, factory] : ModeFactories()) {
        if (mode.helpLevel >= level)
            ofLevel.push_back({mode, factory});
        if (parser.getOption(mode).isSet)
            given.push_back({mode, factory});
    }
    if (parser.getOption(Options().legacyHelp).isSet)
        PrintLegacyHelp(level, ofLevel);
    else
        PrintModeHelp(level, given.empty() ? ofLevel : given);
}

void PrintModeHelp(int32_t level, const ModeEntryList& modes) {
    std::cout << "\nUSAGE:"
              << "\n\n";
    PrintModeSectionsAndOptions(level, modes);
    std::cout << "\nRETURN CODES: \n";
    PrintReturnCodes(level);
    if (level <= 0)
        PrintWrapped(ProductParagraph(), 3, 80);
    std::cout << '\n';
}

void PrintLegacyHelp(int32_t level, const ModeEntryList& modes) {
    std::cout << (level == 1 ? LegacyReadmeBannerLevel1() : LegacyReadmeBanner()) << "\n\n";
    PrintModeSectionsAndOptions(level, modes);
    if (level == 1) {
        std::cout << LegacyReturnCodesHeading() << '\n';
        PrintReturnCodes(level);
        std::cout << LegacyUsageScenarios() << '\n';
        std::cout << LegacyErrorCodesHeadingLevel1() << '\n';
    } else {
        std::cout << LegacyErrorCodesHeading() << '\n';
    }
    std::cout << SymbolicErrorCodeList() << "\n\n";
    std::cout << LegacyLicenceText() << '\n';
    std::cout << LegacyDisclaimer() << '\n';
}

void PrintModeOptionsTable(int32_t level, OptionDescriptorSet allowed) {
    std::vector<OptionDescriptor> kept;
    size_t longest = 0;
    for (const auto& option : allowed) {
        if (!Shown(level, option))
            continue;
        kept.push_back(option);
        longest = std::max(longest, option.longName.size());
    }
    if (kept.empty())
        return;
    const int width = static_cast<int>(longest + 2);
    const std::string rule = "   " + std::string(width + 11, '-') + "\n";
    std::cout << std::left;
    std::cout << rule;
    std::cout << "   | "
              << "Flag"
              << " | " << std::setw(width) << "Name"
              << " |\n";
    std::cout << rule;
    for (const auto& option : kept) {
        const std::string flag = option.shortName.empty() ? "" : "-" + option.shortName;
        std::cout << "   | " << std::setw(4) << flag << " | " << std::setw(width) << "--" + option.longName
                  << " |\n";
    }
    std::cout << rule;
}

void PrintModeUsage(int32_t level, const OptionDescriptor& mode, const ITaskFactory& factory) {
    PrintWrapped(mode.description, 3, 80);
    std::cout << factory.usageTexts.at(level);
}

void PrintModeExamples(int32_t level, const ITaskFactory& factory) {
    std::cout << factory.exampleTexts.at(level);
}

void PrintOptionsList(int32_t level, const CollectedOptions& options) {
    for (const auto& option : options) {
        if (!Shown(level, option))
            continue;
        const std::string value =
            option.valueKind == OptionDescriptor::VALUE_NONE ? "" : " <" + option.valueName + ">";
        const std::string line = option.shortName.empty()
                                     ? "--" + option.longName + value
                                     : "-" + option.shortName + value + ",  --" + option.longName + value;
        PrintWrapped(line, 3, 80);
        std::cout << '\n';
        PrintWrapped(option.description, 5, 75);
        std::cout << "\n\n";
    }
}

void PrintReturnCodes(int32_t level) {
    std::cout << ReturnCodesText();
    if (level <= 0)
        std::cout << CreateReturnCodesText();
    std::cout << '\n';
}

} // namespace MOX
