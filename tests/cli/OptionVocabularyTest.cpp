#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/BoostCommandParser.h"
#include "cli/ITaskFactory.h"
#include "cli/Options.h"
#include "cli/tasks/ModeTable.h"

namespace {

using MOX::OptionDescriptor;

OptionDescriptor Named(std::string longName, std::string shortName = "") {
    OptionDescriptor d;
    d.longName = std::move(longName);
    d.shortName = std::move(shortName);
    return d;
}

TEST(OptionVocabulary, DescriptorsAreEqualByBothNamesAndHashedByTheLongName) {
    OptionDescriptor a = Named("remap");
    a.description = "one";
    OptionDescriptor b = Named("remap");
    b.helpLevel = 1;
    b.valueKind = 0;
    EXPECT_EQ(a, b);
    const OptionDescriptor c = Named("remap", "r");
    EXPECT_FALSE(a == c);
    EXPECT_EQ(MOX::OptionDescriptorHash()(a), MOX::OptionDescriptorHash()(c));
    MOX::OptionDescriptorSet set{a, c};
    EXPECT_EQ(set.size(), 2u);
    EXPECT_EQ(set.count(Named("remap", "R")), 0u);
}

TEST(OptionVocabulary, HashIsFnv1aOfTheLongName) {
    EXPECT_EQ(MOX::Fnv1a64(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(MOX::Fnv1a64("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(MOX::Fnv1a64("foobar"), 0x85944171f73967e8ull);
}

TEST(OptionVocabulary, DefaultDescriptorIsAnUnlistedSwitchOfLevelZero) {
    const OptionDescriptor d;
    EXPECT_TRUE(d.longName.empty() && d.shortName.empty() && d.description.empty() && d.valueName.empty());
    EXPECT_FALSE(d.listed);
    EXPECT_EQ(d.helpLevel, 0);
    EXPECT_EQ(d.valueKind, OptionDescriptor::VALUE_NONE);
    EXPECT_EQ(MOX::ModeFactories().count(d), 0u);
}

TEST(OptionVocabulary, TableHoldsSeventySevenDescriptorsInThreeSets) {
    const auto rows = MOX::Options().rows();
    ASSERT_EQ(rows.size(), 77u);
    EXPECT_EQ(rows.front()->longName, "create");
    EXPECT_EQ(rows[9]->longName, "help");
    EXPECT_EQ(rows.back()->longName, "remap-all");
    EXPECT_EQ(MOX::ModeOptions().size(), 9u);
    EXPECT_EQ(MOX::GeneralOptions().size(), 5u);
    EXPECT_EQ(MOX::AllOptions().size(), 68u);
    std::set<std::string> names;
    for (const auto* row : rows) {
        names.insert(row->longName);
        EXPECT_TRUE(row->helpLevel == 0 || row->helpLevel == 1) << row->longName;
        EXPECT_EQ(row->valueKind == OptionDescriptor::VALUE_NONE, row->valueName.empty()) << row->longName;
    }
    EXPECT_EQ(names.size(), 77u);
    for (const auto& mode : MOX::ModeOptions())
        EXPECT_EQ(MOX::AllOptions().count(mode), 0u) << mode.longName;
}

TEST(OptionVocabulary, OnlySixteenDescriptorsReachTheParser) {
    std::set<std::string> level1;
    for (const auto* row : MOX::Options().rows())
        if (row->helpLevel >= 1)
            level1.insert(row->longName);
    const std::set<std::string> expected = {
        "manage",     "information",         "HalvexMemory",   "version",  "zrc",    "help",
        "legacyHelp", "fast-drive",          "drive-to-accel", "disable",  "enable", "progress",
        "info",       "delete-all-metadata", "remap",          "remap-all"};
    EXPECT_EQ(level1, expected);
}

TEST(OptionVocabulary, TextsAreStoredAsWritten) {
    const auto& o = MOX::Options();
    EXPECT_EQ(o.ssd.description, "see --fast-drive ");
    EXPECT_NE(o.help.description.find("(create, information, mange, modify, or accelerate)"),
              std::string::npos);
    EXPECT_EQ(o.loadCache.valueName, "\"Path\\filename(s)\"");
    EXPECT_EQ(o.controller.valueKind, OptionDescriptor::VALUE_OPTIONAL);
    EXPECT_EQ(o.remap.valueName, "ScsiX");
    EXPECT_FALSE(o.legacyHelp.listed);
    EXPECT_TRUE(o.disVerCheck.description.empty() && o.disableVersionCheck.description.empty());
    EXPECT_EQ(o.deleteAllMetadata.shortName, "Z");
}

TEST(OptionVocabulary, EveryModeHasAFactoryWithTextsForLevelsZeroAndOne) {
    ASSERT_EQ(MOX::ModeFactories().size(), 9u);
    for (const auto& mode : MOX::ModeOptions()) {
        auto found = MOX::ModeFactories().find(mode);
        ASSERT_NE(found, MOX::ModeFactories().end()) << mode.longName;
        const MOX::ITaskFactory& factory = *found->second;
        for (int32_t level : {0, 1}) {
            EXPECT_EQ(factory.usageTexts.count(level), 1u) << mode.longName;
            EXPECT_EQ(factory.exampleTexts.count(level), 1u) << mode.longName;
        }
        EXPECT_EQ(factory.usageTexts.size(), 2u);
        EXPECT_EQ(factory.allowedOptions.count(mode), 1u) << mode.longName;
    }
    const auto& zrc = *MOX::ModeFactories().at(MOX::Options().zrc);
    EXPECT_EQ(zrc.allowedOptions.size(), 3u);
    EXPECT_EQ(MOX::ModeFactories().at(MOX::Options().manage)->allowedOptions.size(), 19u);
    EXPECT_EQ(MOX::ModeFactories().at(MOX::Options().halvexMemory)->allowedOptions.size(), 18u);
    EXPECT_EQ(MOX::ModeFactories().at(MOX::Options().accelerate)->allowedOptions.size(), 20u);
    // A level without texts of its own keeps the base's line break; the texts themselves are the help
    // goldens' (help-level-0.txt shows every mode's texts of level 0).
    EXPECT_EQ(MOX::ModeFactories().at(MOX::Options().accelerate)->usageTexts.at(1), "\n");
}

class BareFactory : public MOX::ITaskFactory {
public:
    std::unique_ptr<MOX::ITask> createTask(MOX::CommandParser&) override { return nullptr; }
};

TEST(OptionVocabulary, FreshFactoryAnswersALineBreakForLevelsZeroAndOneOnly) {
    const BareFactory factory;
    for (int32_t level : {0, 1}) {
        EXPECT_EQ(factory.usageTexts.at(level), "\n");
        EXPECT_EQ(factory.exampleTexts.at(level), "\n");
    }
    EXPECT_EQ(factory.usageTexts.count(2), 0u);
    EXPECT_EQ(factory.exampleTexts.count(-1), 0u);
    EXPECT_TRUE(factory.allowedOptions.empty());
}

TEST(OptionVocabulary, SortedOrderLeadsWithTheShortName) {
    const auto& o = MOX::Options();
    std::set<OptionDescriptor, MOX::OptionDescriptorLess> sorted;
    for (const auto* d : {&o.manage, &o.help, &o.deleteAllMetadata, &o.zrc, &o.remap, &o.information,
                          &o.version, &o.halvexMemory, &o.fastDrive})
        sorted.insert(*d);
    std::vector<std::string> names;
    for (const auto& d : sorted)
        names.push_back(d.longName);
    // Keys: fast-drive, halvexmemory, hhelp, iinformation, mmanage, remap, vversion, zdelete-all-metadata,
    // zrc.
    EXPECT_EQ(names, (std::vector<std::string>{"fast-drive", "HalvexMemory", "help", "information", "manage",
                                               "remap", "version", "delete-all-metadata", "zrc"}));
    // Equal keys are one element.
    EXPECT_FALSE(sorted.insert(Named("Remap")).second);
}

} // namespace

namespace {

TEST(OptionVocabulary, ModesWithoutTheirTaskFailWithAClearText) {
    MOX::BoostCommandParser parser("MOX CLI Tool", 80, 40);
    for (const auto& [mode, factory] : MOX::ModeFactories()) {
        try {
            factory->createTask(parser);
            // A mode whose task is built creates it; nothing more to check here.
        } catch (const MOX::MoxErrorException&) {
            // Usage errors of a built mode.
        } catch (const std::runtime_error& e) {
            if (std::string(e.what()).find("not available") != std::string::npos) {
                EXPECT_EQ(std::string(e.what()),
                          "The --" + mode.longName + " mode is not available in this version of moxcli.");
            }
        }
    }
}

} // namespace
