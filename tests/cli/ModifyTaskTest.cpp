// The modify mode on the default machine ("Volume0", RAID 1 over 0-0-2-0 and 0-0-3-0) with free
// disks: the factory's choice of action, the checks of each action, and what a second process reads
// after a change.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/UviApi.h"
#include "middleware/api/UviVolumeCreation.h"
#include "middleware/api/UviVolumeOperations.h"
#include "tests/cli/UviFaults.h"
#include "tests/cli/VolumeModesFixture.h"

namespace {

using clitest::LastDetail;
using clitest::VolumeModes;

// Records the volume-changing calls, without changing anything.
struct CapturedChanges {
    std::vector<std::string> calls;
    std::vector<uint32_t> added;
    _UVI_RaidLevelModifyParams modify{};
    MOX::ScopedUviStandIn<_UVI_Error, unsigned int, const uint32_t*, unsigned int> add{
        UviAddDisksToArray, [this](unsigned int, const uint32_t* disks, unsigned int count) {
            calls.push_back("add");
            added.assign(disks, disks + count);
            return _UVI_Error{};
        }};
    MOX::ScopedUviStandIn<_UVI_Error, unsigned int> expand{UviExpandVolume, [this](unsigned int) {
                                                               calls.push_back("expand");
                                                               return _UVI_Error{};
                                                           }};
    MOX::ScopedUviStandIn<_UVI_Error, unsigned int, const _UVI_RaidLevelModifyParams*> level{
        UviRaidLevelModify, [this](unsigned int, const _UVI_RaidLevelModifyParams* params) {
            calls.push_back("level");
            modify = *params;
            added.assign(params->diskHandles, params->diskHandles + params->diskCount);
            return _UVI_Error{};
        }};
};

struct Expected {
    std::vector<std::string> args;
    int32_t type;
    std::string detail;
};

TEST(ModifyTask, CommandLinesThatChangeNothing) {
    VolumeModes pc;
    CapturedChanges changes;
    const Expected cases[] = {
        {{"--modify", "-n", "New"}, 1, "INVALID_REQUEST missing volume parameter"},
        {{"--modify", "-v", "", "-n", "New"}, 1, "INVALID_REQUEST missing volume name"},
        {{"--modify", "-v", "Nope", "-n", "New"}, 3, "Volume does not exist! Id: Nope"},
        {{"--modify", "-v", "Volume0", "-n", "New", "-X"},
         2,
         "Valid options for modifying a volume: --add, --expand --level. Only one option at a time."},
        {{"--modify", "-v", "Volume0", "-l", "0", "-s", "256"},
         20,
         "Cannot modify volume. Stripe Size invalid."},
        {{"--modify", "-v", "Volume0", "-n", "ABCDEFGHIJKLMNOPQ"}, 21, "Cannot modify a volume."},
        {{"--modify", "-v", "Volume0", "-l", "0", "-n", "ABCDEFGHIJKLMNOPQ"}, 21, "Cannot modify a volume."},
        {{"--modify", "-v", "Volume0"}, 2, ""},
        {{"--modify", "-v", "Volume0", "-l", "2"}, 24, "Cannot modify volume. Raid level invalid."},
        {{"--modify", "-v", "Volume0", "-A", "0-0-9-0"}, 3, "Could not find a disk(s) specified."},
        {{"--modify", "-v", "Volume0", "-A", "0-0-0-0"},
         23,
         "Cannot modify a volume. Does not meet maximum number of disks supported by this raid level."},
        // RAID 1 to RAID 5 needs a third disk.
        {{"--modify", "-v", "Volume0", "-l", "5"},
         23,
         "Cannot modify a volume. Does not meet minimum number of disks required for this raid level."},
        {{"--modify", "-v", "Volume0", "-l", "0", "-s", "4"}, 0, ""},
        {{"--modify", "-v", "Volume0", "-l", "5", "-s", "4", "-A", "0-0-0-0"},
         20,
         "Cannot modify a volume. Stripe size you have specified is not supported for this raid level."},
        {{"--modify", "-v", "Volume0", "-l", "1"},
         24,
         "Cannot modify a volume. Does not support migrating to this raid level."},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.args.size() > 2 ? c.args[2] + " " + c.args.back() : c.args.back());
        changes.calls.clear();
        const clitest::ModeRun run = pc.Run(c.args);
        EXPECT_EQ(run.result.getType(), c.type);
        EXPECT_EQ(LastDetail(run.result), c.detail);
        if (c.type != 0) {
            EXPECT_TRUE(changes.calls.empty());
        }
    }
}

TEST(ModifyTask, AddTakesThePositionalDisksOnlyWithoutALevel) {
    VolumeModes pc(2);
    CapturedChanges changes;
    // RAID 0 over the two members allows more disks than RAID 1.
    clitest::ScopedUviFaults roomy{{UviGetRaidLevelInfo, 0, 1, [](void* record) {
                                        static_cast<_UVI_RaidLevelInfo*>(record)->maxDisks = 8;
                                    }}};
    const clitest::ModeRun add = pc.Run({"--modify", "-v", "Volume0", "-A", "0-0-0-0", "0-0-4-0"});
    EXPECT_EQ(add.result.getType(), 0) << LastDetail(add.result);
    EXPECT_EQ(changes.calls, (std::vector<std::string>{"add"}));
    EXPECT_EQ(changes.added.size(), 2u);
    EXPECT_EQ(add.text, "\n--MODIFY VOLUME--\n\nModifying Volume Volume0.\n");

    changes.calls.clear();
    const clitest::ModeRun migrate =
        pc.Run({"--modify", "-v", "Volume0", "-l", "5", "-A", "0-0-0-0", "0-0-4-0"});
    EXPECT_EQ(migrate.result.getType(), 0) << LastDetail(migrate.result);
    EXPECT_EQ(changes.calls, (std::vector<std::string>{"level"}));
    EXPECT_EQ(changes.added.size(), 1u);
    EXPECT_EQ(changes.modify.raidLevel, 8u);
    EXPECT_EQ(changes.modify.unused, 0u);
    // Two SSD members and a hard disk: the RAID 5 default for three disks that are not all SSDs.
    EXPECT_EQ(changes.modify.stripSize, 64u);
}

TEST(ModifyTask, ExpandWithALevelOnlyMigrates) {
    VolumeModes pc;
    CapturedChanges changes;
    const clitest::ModeRun run = pc.Run({"--modify", "-v", "Volume0", "-X", "-l", "0"});
    EXPECT_EQ(run.result.getType(), 0) << LastDetail(run.result);
    EXPECT_EQ(changes.calls, (std::vector<std::string>{"level"}));
    EXPECT_EQ(changes.modify.raidLevel, 1u);
    EXPECT_NE(changes.modify.unused, 0u); // no disks added: the volume's size
    EXPECT_EQ(changes.modify.diskHandles, nullptr);
}

TEST(ModifyTask, RenameIsSeenByASecondProcess) {
    VolumeModes pc;
    const clitest::ModeRun run = pc.Run({"--modify", "-v", "Volume0", "-n", "ABCDEFGHIJKLMNOP"});
    ASSERT_EQ(run.result.getType(), 0) << LastDetail(run.result);
    EXPECT_EQ(run.text, "\n--MODIFY VOLUME--\n\nModifying Volume Volume0.\n");
    EXPECT_NE(VolumeModes::VolumesOfAnotherProcess().find("ABCDEFGHIJKLMNOP 0x2 "), std::string::npos);
}

TEST(ModifyTask, MigrationWithANewNameRenamesOnlyOnceEveryCheckPassed) {
    VolumeModes pc;
    const clitest::ModeRun refused = pc.Run({"--modify", "-v", "Volume0", "-l", "5", "-n", "Parity"});
    EXPECT_EQ(refused.result.getType(), 23);
    EXPECT_EQ(refused.text, "");
    EXPECT_NE(VolumeModes::VolumesOfAnotherProcess().find("Volume0 0x2 "), std::string::npos);

    const clitest::ModeRun run =
        pc.Run({"--modify", "-v", "Volume0", "-l", "5", "-A", "0-0-0-0", "-n", "Parity"});
    ASSERT_EQ(run.result.getType(), 0) << LastDetail(run.result);
    EXPECT_EQ(run.text, "\n--MODIFY VOLUME--\n\nVolume Volume0has been renamed to Parity.\n"
                        "\n--MODIFY VOLUME--\n\nModifying Volume Volume0.\n");
    const std::string volumes = VolumeModes::VolumesOfAnotherProcess();
    // The driver runs the migration from here on; the name is already the new one.
    EXPECT_NE(volumes.find("Parity "), std::string::npos) << volumes;
}

} // namespace
