// The information task's listings on simulated machines: what each scope prints and how a failed or
// empty gathering ends it. The shipped machines' whole listings are compared by the e2e goldens.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CaptureStdout.h"
#include "cli/ConsoleOutput.h"
#include "cli/PropertyFormatter.h"
#include "cli/UviWrapper.h"
#include "cli/tasks/InformationTask.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/cli/UviFaults.h"

namespace {

using MOX::Error;
using MOX::InformationTask;

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

struct Listing {
    Error result;
    std::string text;
};

// Runs the task with one scope on the machine.
Listing RunScope(const sim::MachineBuilder& machineDescription, int32_t kind, const std::string& name,
                 bool comma = false) {
    sim::ScopedMachine machine(machineDescription);
    MOX::UviWrapper library;
    auto printer = std::make_shared<MOX::ConsolePrinter>();
    Listing listing;
    clitest::CaptureStdout out;
    {
        InformationTask task(printer);
        if (comma)
            task.setFormatter(std::make_unique<MOX::CommaPropertyFormatter>(printer));
        else
            task.setFormatter(std::make_unique<MOX::TwoColumnPropertyFormatter>(printer, 0, false));
        task.addScope(kind, name);
        listing.result = task.run();
    }
    listing.text = out.text();
    return listing;
}

// The default machine without its array and volume.
sim::MachineBuilder WithoutArrays() {
    sim::MachineBuilder machine = sim::MachineBuilder::Default();
    machine.Remove("/adapters/0/raid/volumes").Remove("/adapters/0/raid/arrays");
    return machine;
}

TEST(InformationTask, EverythingListsEachControllerWithItsArraysVolumesAndDevices) {
    const Listing all = RunScope(sim::MachineBuilder::Default(), InformationTask::SCOPE_EVERYTHING, "");
    EXPECT_FALSE(all.result.isError()) << all.text;
    EXPECT_EQ(Count(all.text, "--CONTROLLER INFORMATION--"), 2u);
    EXPECT_EQ(Count(all.text, "--ARRAY INFORMATION--"), 1u);
    EXPECT_EQ(Count(all.text, "--VOLUME INFORMATION--"), 1u);
    // Every own-driver controller has its end-device heading, one with no devices too.
    EXPECT_EQ(Count(all.text, "--END DEVICE INFORMATION--"), 2u);
    EXPECT_EQ(Count(all.text, "--NON-MOX CONTROLLER INFORMATION--"), 1u);
    EXPECT_LT(all.text.find("--END DEVICE INFORMATION--"),
              all.text.find("--NON-MOX CONTROLLER INFORMATION--"));

    // The comma format puts each property list on one line of "name: value" pairs.
    const Listing comma =
        RunScope(sim::MachineBuilder::Default(), InformationTask::SCOPE_EVERYTHING, "", true);
    EXPECT_FALSE(comma.result.isError());
    EXPECT_NE(comma.text.find("ID: Scsi0, Name: "), std::string::npos) << comma.text;
}

TEST(InformationTask, ArrayScope) {
    const Listing none = RunScope(WithoutArrays(), InformationTask::SCOPE_ARRAYS, "");
    EXPECT_FALSE(none.result.isError());
    EXPECT_NE(none.text.find("There are no arrays in the system."), std::string::npos) << none.text;

    const Listing unknown =
        RunScope(sim::MachineBuilder::Default(), InformationTask::SCOPE_ARRAYS, "NoSuchArray");
    EXPECT_TRUE(unknown.result.isError());
    ASSERT_FALSE(unknown.result.getDetails().empty());
    EXPECT_EQ(unknown.result.getDetails().back(), "Array does not exist.");

    const Listing all = RunScope(sim::MachineBuilder::Default(), InformationTask::SCOPE_ARRAYS, "");
    EXPECT_FALSE(all.result.isError()) << all.text;
    EXPECT_EQ(Count(all.text, "--ARRAY INFORMATION--"), 1u);
    EXPECT_EQ(Count(all.text, "--VOLUMES IN ARRAY: "), 1u);
    EXPECT_EQ(Count(all.text, "--DISKS IN ARRAY: "), 1u);
}

TEST(InformationTask, VolumeAndDiskScopes) {
    const Listing volumes = RunScope(sim::MachineBuilder::Default(), InformationTask::SCOPE_VOLUMES, "");
    EXPECT_FALSE(volumes.result.isError()) << volumes.text;
    EXPECT_EQ(Count(volumes.text, "--VOLUME INFORMATION--"), 1u);
    EXPECT_EQ(Count(volumes.text, "--DISKS IN VOLUME: Volume0 --"), 1u);

    const Listing noVolumes = RunScope(WithoutArrays(), InformationTask::SCOPE_VOLUMES, "");
    EXPECT_FALSE(noVolumes.result.isError());
    EXPECT_NE(noVolumes.text.find("There are no volumes in the system."), std::string::npos);

    // The disk scope without a name: the heading once, then every end device.
    const Listing disks = RunScope(sim::MachineBuilder::Default(), InformationTask::SCOPE_DISKS, "");
    EXPECT_FALSE(disks.result.isError()) << disks.text;
    EXPECT_EQ(Count(disks.text, "--DISK INFORMATION--"), 1u);
}

TEST(InformationTask, ControllerNames) {
    // A name that matches no own-driver controller still lists the other vendors' controllers.
    const Listing unknown =
        RunScope(sim::MachineBuilder::Default(), InformationTask::SCOPE_CONTROLLERS, "NoSuch");
    EXPECT_FALSE(unknown.result.isError()) << unknown.text;
    EXPECT_EQ(Count(unknown.text, "--CONTROLLER INFORMATION--"), 0u);
    EXPECT_EQ(Count(unknown.text, "--NON-MOX CONTROLLER INFORMATION--"), 1u);
}

TEST(InformationTask, FailedReadsOfTheOwnControllersAreNotHiddenByTheOtherVendors) {
    struct Case {
        const char* what;
        std::vector<clitest::UviFault> faults;
        std::string name;
        size_t controllers; // own-driver controller sections
        bool failed;
    };
    const Case cases[] = {
        {"a controller record cannot be read", {{UviGetControllerInfo}}, "", 0, true},
        {"the first controller's RAID information cannot be read", {{UviGetRaidInfo}}, "", 2, true},
        {"the first controller's RAID 5 limits cannot be read", {{UviGetRaidLevelInfo, 2}}, "", 0, true},
        // Only a listing that found no controller gives way to the other vendors' result.
        {"no controller of that name", {}, "NoSuch", 0, false},
    };
    for (const Case& c : cases) {
        clitest::ScopedUviFaults faults(c.faults);
        const Listing listing =
            RunScope(sim::MachineBuilder::Default(), InformationTask::SCOPE_CONTROLLERS, c.name);
        EXPECT_EQ(listing.result.isError(), c.failed) << c.what;
        EXPECT_EQ(Count(listing.text, "--CONTROLLER INFORMATION--"), c.controllers) << c.what;
        EXPECT_EQ(Count(listing.text, "--END DEVICE INFORMATION--"), c.controllers) << c.what;
        // The other vendors' controllers and devices are listed all the same.
        EXPECT_EQ(Count(listing.text, "--NON-MOX CONTROLLER INFORMATION--"), 1u) << c.what;
        EXPECT_EQ(Count(listing.text, "--NON-MOX END DEVICE INFORMATION--"), 1u) << c.what;
    }
}

TEST(InformationTask, DuplicateControllerNamesEndTheListing) {
    // Both own-driver controllers read with one name.
    clitest::ScopedUviFaults faults{{UviGetControllerInfo, 0, -1, [](void* record) {
                                         auto* info = static_cast<_UVI_ControllerInfo*>(record);
                                         std::memset(info->name, 0, sizeof info->name);
                                         std::strcpy(info->name, "Orvex Twin \\\\Scsi0");
                                     }}};
    const Listing twins = RunScope(sim::MachineBuilder::Default(), InformationTask::SCOPE_EVERYTHING, "");
    EXPECT_EQ(twins.result.getType(), 1);
    EXPECT_EQ(twins.result.getDetails(), std::vector<std::string>{"Multiple controllers of that name."});
    EXPECT_EQ(Count(twins.text, "--CONTROLLER INFORMATION--"), 1u);
    EXPECT_EQ(Count(twins.text, "--ARRAY INFORMATION--"), 0u);
    EXPECT_EQ(Count(twins.text, "--NON-MOX CONTROLLER INFORMATION--"), 0u);
}

TEST(InformationTask, AControllerNotCompatibleWithTheDriverListsOnlyItself) {
    clitest::ScopedUviFaults faults{{UviGetControllerInfo, 0, -1, [](void* record) {
                                         static_cast<_UVI_ControllerInfo*>(record)->interfaceNotSupported = 1;
                                     }}};
    const Listing listing = RunScope(sim::MachineBuilder::Default(), InformationTask::SCOPE_EVERYTHING, "");
    EXPECT_FALSE(listing.result.isError()) << listing.text;
    EXPECT_EQ(Count(listing.text,
                    "--CONTROLLER INFORMATION--\n\n"
                    "Warning: Controller not compatible with driver. Information may be inaccurate.\n"
                    "ID"),
              2u)
        << listing.text;
    EXPECT_EQ(Count(listing.text, "--ARRAY INFORMATION--"), 0u);
    EXPECT_EQ(Count(listing.text, "--END DEVICE INFORMATION--"), 0u);
    EXPECT_EQ(Count(listing.text, "--NON-MOX CONTROLLER INFORMATION--"), 1u);
}

TEST(InformationTask, AControllerWithoutDevicesKeepsItsEndDeviceHeading) {
    // The NVMe controller without its one drive (and the drive's Windows volume).
    sim::MachineBuilder machine = sim::MachineBuilder::Default();
    machine.Set("/adapters/1/ports", "[]")
        .Remove("/adapters/1/raid/disks")
        .Remove("/volumes/4")
        .Remove("/disks/2");
    const Listing listing = RunScope(machine, InformationTask::SCOPE_EVERYTHING, "");
    EXPECT_FALSE(listing.result.isError()) << listing.text;
    EXPECT_EQ(Count(listing.text, "--CONTROLLER INFORMATION--"), 2u);
    EXPECT_EQ(Count(listing.text, "--END DEVICE INFORMATION--"), 2u);
    EXPECT_NE(listing.text.find("--END DEVICE INFORMATION--\n\n\n--NON-MOX CONTROLLER INFORMATION--"),
              std::string::npos)
        << listing.text;
}

} // namespace
