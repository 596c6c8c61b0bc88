// The create mode on the default machine with free disks: what the factory refuses before any
// library call, the checks the task makes against the library's view before its one create call,
// and the record that call is given.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/access/CliSession.h"
#include "middleware/api/UviApi.h"
#include "middleware/api/UviVolumeCreation.h"
#include "tests/cli/UviFaults.h"
#include "tests/cli/VolumeModesFixture.h"

namespace {

using clitest::LastDetail;
using clitest::VolumeModes;

struct Expected {
    std::vector<std::string> args;
    int32_t type;
    std::string detail;
};

// Records what the create calls were given, without creating anything.
struct CapturedCreate {
    int calls = 0;
    _UVI_VolumeCreateFromDisksParams params{};
    std::vector<uint32_t> handles;
    MOX::ScopedUviStandIn<_UVI_Error, _UVI_VolumeCreateFromDisksParams> fromDisks{
        UviVolumeCreateFromDisks, [this](_UVI_VolumeCreateFromDisksParams p) {
            ++calls;
            params = p;
            handles.assign(p.diskHandles, p.diskHandles + p.diskCount);
            return _UVI_Error{};
        }};
    MOX::ScopedUviStandIn<_UVI_Error, const _UVI_VolumeCreateParams*> onArray{
        UviVolumeCreate, [this](const _UVI_VolumeCreateParams*) {
            ++calls;
            return _UVI_Error{};
        }};
};

uint32_t HandleOf(const std::string& id) {
    MOX::CliSession session;
    std::vector<MOX::EndDevice> views;
    EXPECT_FALSE(session.GetEndDevices(views, id).isError()) << id;
    return views.empty() ? 0 : views.front().getHandle();
}

TEST(CreateTask, BadCommandLinesAreRefusedBeforeAnyCreateCall) {
    VolumeModes pc;
    CapturedCreate create;
    const Expected cases[] = {
        {{"--create", "-l", "1", "0-0-0-0", "0-0-4-0"}, 2, "Create command was missing required options."},
        {{"--create", "-n", "V", "0-0-0-0", "0-0-4-0"}, 2, "Create command was missing required options."},
        // No member disk: nothing to look up.
        {{"--create", "-l", "1", "-n", "V"}, 2, "Create command was missing required options."},
        {{"--create", "-l", "2", "-n", "V", "0-0-0-0", "0-0-4-0"}, 24, "Cannot create a volume."},
        {{"--create", "-l", "1", "-n", "", "0-0-0-0", "0-0-4-0"},
         2,
         "--create --level x [--size y] [--stripe-size z] --name string"},
        {{"--create", "-l", "1", "-n", "ABCDEFGHIJKLMNOPQ", "0-0-0-0", "0-0-4-0"},
         21,
         "Cannot create a volume."},
        {{"--create", "-l", "1", "-n", "V", "-s", "256", "0-0-0-0", "0-0-4-0"},
         20,
         "Cannot create a volume. Stripe Size invalid."},
        // A negative size would become a byte count of many exabytes.
        {{"--create", "-l", "1", "-n", "V", "-z", "-1", "0-0-0-0", "0-0-4-0"},
         2,
         "Cannot create a volume. Size invalid."},
        {{"--create", "-l", "one", "-n", "V", "0-0-0-0", "0-0-4-0"}, 1, "stoi"},
        {{"--create", "-l", "1", "-n", "V", "-E", "9-9-9-9", "0-0-0-0"},
         3,
         "End Device does not exist! Id: 9-9-9-9"},
        {{"--create", "-l", "1", "-n", "V", "0-0-0-0", "0-0-9-0"}, 3, "Could not find a disk(s) specified."},
        {{"--create", "-l", "1", "-n", "V", "0-0-0-0", "1-0-0-0"},
         2,
         "Could not create volume using mixed disk configuration."},
        {{"--create", "-l", "1", "-n", "V", "1-0-0-0", "0-0-0-0"},
         2,
         "Could not create volume using mixed disk configuration."},
        // RAID 1 offers only a 64 KB strip.
        {{"--create", "-l", "1", "-n", "V", "-s", "4", "0-0-0-0", "0-0-4-0"},
         20,
         "Cannot create a volume. Stripe size you have specified is not supported."},
        {{"--create", "-l", "5", "-n", "V", "0-0-0-0", "0-0-4-0"},
         23,
         "Cannot create a volume. Does not meet minimum number of disks required for this raid level."},
        {{"--create", "-l", "1", "-n", "V", "0-0-0-0", "0-0-4-0", "0-0-5-0"},
         23,
         "Cannot create a volume. Does not meet maximum number of disks supported by this raid level."},
        {{"--create", "-l", "1", "-n", "V", "0-0-0-0", "0-0-2-0"},
         1,
         "Cannot create a volume. Disks span an existing array."},
        {{"--create", "-l", "1", "-n", "V", "-E", "0-0-2-0", "0-0-3-0"},
         1,
         "Cannot create a volume from array using source disk"},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args[2] + " ... " + c.args.back());
        const clitest::ModeRun run = pc.Run(c.args);
        EXPECT_EQ(run.result.getType(), c.type);
        EXPECT_NE(LastDetail(run.result).find(c.detail), std::string::npos) << LastDetail(run.result);
        EXPECT_EQ(run.text, "");
    }
    EXPECT_EQ(create.calls, 0);
}

TEST(CreateTask, MoreDisksThanTheDefaultStripTablesCoverNeedAStripSize) {
    VolumeModes pc(5);
    CapturedCreate create;
    std::vector<std::string> args = {"--create", "-l", "0", "-n", "Wide", "0-0-0-0", "0-0-1-0"};
    for (int target = 4; target < 9; ++target)
        args.push_back("0-0-" + std::to_string(target) + "-0");
    const clitest::ModeRun defaulted = pc.Run(args);
    EXPECT_EQ(defaulted.result.getType(), 23);
    EXPECT_EQ(LastDetail(defaulted.result),
              "Cannot create a volume. Does not meet maximum number of disks supported by this raid level.");
    EXPECT_EQ(create.calls, 0);

    args.insert(args.begin() + 1, {"-s", "64"});
    const clitest::ModeRun given = pc.Run(args);
    EXPECT_EQ(given.result.getType(), 0);
    EXPECT_EQ(create.handles.size(), 7u);
    EXPECT_EQ(create.params.stripSize, 32u);
}

TEST(CreateTask, TwoFreeDisksMakeAMirrorThatASecondProcessSees) {
    VolumeModes pc;
    const clitest::ModeRun run = pc.Run({"--create", "-l", "1", "-n", "Mirror", "0-0-0-0", "0-0-4-0"});
    ASSERT_EQ(run.result.getType(), 0) << LastDetail(run.result);
    EXPECT_EQ(run.text, "\n--CREATE VOLUME--\n\nCreating Volume Mirror\n");
    EXPECT_NE(VolumeModes::VolumesOfAnotherProcess().find("Mirror 0x2 "), std::string::npos);
}

TEST(CreateTask, TheRecordGivenToTheLibrary) {
    VolumeModes pc;
    const uint32_t free0 = HandleOf("0-0-0-0");
    const uint32_t free4 = HandleOf("0-0-4-0");
    ASSERT_NE(free0, 0u);

    {
        SCOPED_TRACE("a named source disk leads the handle array; a 16-character name has no terminator");
        CapturedCreate create;
        const clitest::ModeRun run =
            pc.Run({"--create", "-l", "1", "-n", "ABCDEFGHIJKLMNOP", "-E", "0-0-0-0", "0-0-4-0"});
        EXPECT_EQ(run.result.getType(), 0);
        EXPECT_EQ(create.handles, (std::vector<uint32_t>{free0, free4}));
        EXPECT_EQ(create.params.sourceDiskHandle, free0);
        EXPECT_EQ(std::memcmp(create.params.name, "ABCDEFGHIJKLMNOP", 16), 0);
        EXPECT_EQ(create.params.raidLevel, 2u);
        // RAID 1 over two hard disks: the level's default strip for two members.
        EXPECT_EQ(create.params.stripSize, 32u);
        EXPECT_EQ(create.params.sizeInBytes, 0u);
    }
    {
        SCOPED_TRACE("a listed system disk becomes the source; the size is in GiB");
        CapturedCreate create;
        clitest::ScopedUviFaults systemDisk{{UviGetEndDeviceInfo, 0, -1, [](void* record) {
                                                 auto* info = static_cast<_UVI_EndDeviceInfo*>(record);
                                                 if (info->scsiAddress == 0x00000400u)
                                                     info->systemDisk = 1;
                                             }}};
        const clitest::ModeRun run =
            pc.Run({"--create", "-l", "0", "-n", "Boot", "-z", "5", "0-0-0-0", "0-0-4-0"});
        EXPECT_EQ(run.result.getType(), 0);
        EXPECT_EQ(create.params.sourceDiskHandle, free4);
        EXPECT_EQ(create.params.sizeInBytes, 5ull << 30);
    }
}

TEST(CreateTask, AFurtherVolumeOnAnArrayWhoseMembersAreAllNamed) {
    // Volume0 leaves room on its array.
    VolumeModes pc(clitest::DefaultWithFreeDisks(2).Set("/adapters/0/raid/volumes/0/size_mb", "100000"));
    {
        SCOPED_TRACE("the array is full");
        clitest::ScopedUviFaults full{{UviGetArrayInfo, 0, -1, [](void* record) {
                                           static_cast<_UVI_ArrayInfo*>(record)->availableSizeInBytes = 0;
                                       }}};
        const clitest::ModeRun run = pc.Run({"--create", "-l", "1", "-n", "Second", "0-0-2-0", "0-0-3-0"});
        EXPECT_EQ(run.result.getType(), 1);
        EXPECT_EQ(LastDetail(run.result),
                  "Cannot create a volume. There are not enough space to create a volume.");
    }
    {
        SCOPED_TRACE("not every member named");
        clitest::ScopedUviFaults threeMembers{{UviGetArrayInfo, 0, -1, [](void* record) {
                                                   static_cast<_UVI_ArrayInfo*>(record)->numDisks = 3;
                                               }}};
        const clitest::ModeRun run = pc.Run({"--create", "-l", "1", "-n", "Second", "0-0-2-0", "0-0-3-0"});
        EXPECT_EQ(run.result.getType(), 1);
        EXPECT_EQ(
            LastDetail(run.result),
            "Cannot create a volume. Number of disks in Array does not match number of disks specified.");
    }
    {
        SCOPED_TRACE("a size on an existing array is the library's to refuse");
        const clitest::ModeRun run =
            pc.Run({"--create", "-l", "1", "-n", "Second", "-z", "5", "0-0-2-0", "0-0-3-0"});
        EXPECT_TRUE(run.result.isError());
        EXPECT_EQ(LastDetail(run.result), "Cannot create a volume on an existing array.");
    }
    const clitest::ModeRun run = pc.Run({"--create", "-l", "1", "-n", "Second", "0-0-2-0", "0-0-3-0"});
    ASSERT_EQ(run.result.getType(), 0) << LastDetail(run.result);
    const std::string volumes = VolumeModes::VolumesOfAnotherProcess();
    EXPECT_NE(volumes.find("Volume0 0x2 "), std::string::npos) << volumes;
    EXPECT_NE(volumes.find("Second 0x2 "), std::string::npos) << volumes;
}

TEST(CreateTask, LevelTheControllerDoesNotOffer) {
    VolumeModes pc;
    clitest::ScopedUviFaults unsupported{{UviGetRaidLevelInfo, 0, 1, [](void* record) {
                                              static_cast<_UVI_RaidLevelInfo*>(record)->supported = 0;
                                          }}};
    const clitest::ModeRun run = pc.Run({"--create", "-l", "1", "-n", "V", "0-0-0-0", "0-0-4-0"});
    EXPECT_EQ(run.result.getType(), 24);
    EXPECT_EQ(LastDetail(run.result),
              "Cannot create a volume. Volume level you have specified is not supported.");
}

} // namespace
