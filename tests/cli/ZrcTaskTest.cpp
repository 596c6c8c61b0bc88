// The remap mode: the factory's reading of the command line, and the task on the PC with one
// controller of every kind (own SATA RAID on port 0, own NVMe on 1, the remapping controller on 2,
// other vendors' adapters from 3 on) whose firmware keeps an empty remap request.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/UviWrapper.h"
#include "cli/tasks/ZrcTask.h"
#include "middleware/api/UviApi.h"
#include "sim/FirmwareVariables.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/cli/CaptureStdout.h"
#include "tests/cli/ParsedCommandLine.h"
#include "tests/cli/UviFaults.h"
#include "tests/support/MachineParts.h"

namespace {

using MOX::Error;
using MOX::ZrcTask;

struct Outcome {
    int32_t returnCode = 0;
    std::vector<std::string> details;
    int32_t subTask = -1;
    uint32_t controllerNumber = 0;
};

Outcome Build(const std::vector<std::string>& args) {
    clitest::Parsed parsed(args);
    EXPECT_FALSE(parsed.result.isError()) << parsed.result.getDetails().front();
    Outcome outcome;
    try {
        std::unique_ptr<MOX::ITask> task = MOX::ZrcTaskFactory().createTask(parsed.parser);
        const auto* zrc = dynamic_cast<ZrcTask*>(task.get());
        EXPECT_NE(zrc, nullptr);
        outcome.subTask = zrc->subTask;
        outcome.controllerNumber = zrc->controllerNumber;
    } catch (const MOX::MoxErrorException& e) {
        outcome.returnCode = e.getError().getType();
        outcome.details = e.getError().getDetails();
    } catch (const std::out_of_range& e) {
        outcome.returnCode = 1;
        outcome.details = {e.what()};
    }
    return outcome;
}

TEST(ZrcTaskFactory, ReadsTheControllerIdOrTheRemapAllForm) {
    auto format = [](const std::string& id) {
        return std::vector<std::string>{"Provided controller id was in incorrect format: " + id +
                                        " (expected format: scsiX)"};
    };
    const struct {
        std::vector<std::string> args;
        Outcome expected;
    } cases[] = {
        {{"--zrc", "--remap", "SCSI3"}, {0, {}, ZrcTask::REMAP_ONE, 3}},
        {{"--zrc", "--remap", "Scsi3"}, {0, {}, ZrcTask::REMAP_ONE, 3}},
        {{"--zrc", "--remap", "scsi007"}, {0, {}, ZrcTask::REMAP_ONE, 7}},
        {{"--zrc", "--remap", "scsi4294967295"}, {0, {}, ZrcTask::REMAP_ONE, UINT32_MAX}},
        // Both forms: the one controller named is handled.
        {{"--zrc", "--remap", "scsi1", "--remap-all"}, {0, {}, ZrcTask::REMAP_ONE, 1}},
        // A stray word beside --remap-all is ignored.
        {{"--zrc", "--remap-all", "scsi1"}, {0, {}, ZrcTask::REMAP_ALL, UINT32_MAX}},
        {{"--zrc", "--remap", "3"}, {2, format("3")}},
        {{"--zrc", "--remap", "scsi"}, {2, format("scsi")}},
        {{"--zrc", "--remap", "scsi 2"}, {2, format("scsi 2")}},
        {{"--zrc", "--remap", "scsi3x"}, {2, format("scsi3x")}},
        {{"--zrc", "--remap", ""}, {2, {"Usage: --zrc --remap scsiX"}}},
        {{"--zrc", "--remap", "scsi1", "scsi2"},
         {2,
          {"Usage: --zrc --remap scsiX\nTo remap more than one controller, please call remap command "
           "multpile times."}}},
        {{"--zrc"}, {2, {"Unknown ZRC sub task. Please see help for ZRC commands reference."}}},
        {{"--zrc", "--remap", "scsi4294967296"}, {1, {"stoul argument out of range"}}},
        {{"--zrc", "--remap", "scsi99999999999999999999999"}, {1, {"stoul argument out of range"}}},
    };
    for (const auto& c : cases) {
        const Outcome got = Build(c.args);
        const std::string what = c.args.back();
        EXPECT_EQ(got.returnCode, c.expected.returnCode) << what;
        EXPECT_EQ(got.details, c.expected.details) << what;
        if (c.expected.returnCode == 0) {
            EXPECT_EQ(got.subTask, c.expected.subTask) << what;
            EXPECT_EQ(got.controllerNumber, c.expected.controllerNumber) << what;
        }
    }
}

TEST(ZrcTask, RefusesANullPrinter) {
    try {
        ZrcTask task(nullptr);
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Null pointer provided as printer to ZRC task.");
    }
}

constexpr const char* kGuid = "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}";

// How many controllers the firmware's remap request holds.
unsigned Scheduled() {
    const auto variable = sim::firmware::Find("OrvexZrcOsVariable", kGuid);
    return variable && !variable->data.empty() ? variable->data[0] & 0x3F : 0;
}

struct Report {
    Error result;
    std::string text;
    std::vector<std::vector<uint32_t>> remapCalls; // the lists the task handed to the library
};

class ZrcTaskRun : public ::testing::Test {
protected:
    void Start(sim::MachineBuilder description) {
        machine_ = std::make_unique<sim::ScopedMachine>(moxtest::AddRemapRequest(description));
        library_ = std::make_unique<MOX::UviWrapper>();
    }
    Report Run(int32_t subTask, uint32_t number = UINT32_MAX) {
        Report report;
        MOX::ScopedUviStandIn watch(UviZrcRemapController, [&](const uint32_t* list, int count) {
            report.remapCalls.emplace_back(list, list + count);
            return UviZrcRemapController(list, count);
        });
        clitest::CaptureStdout out;
        ZrcTask task(std::make_shared<MOX::ConsolePrinter>());
        task.subTask = subTask;
        task.controllerNumber = number;
        report.result = task.run();
        report.text = out.text();
        return report;
    }
    void TearDown() override {
        library_.reset();
        machine_.reset();
    }

    std::unique_ptr<sim::ScopedMachine> machine_;
    std::unique_ptr<MOX::UviWrapper> library_;
};

TEST_F(ZrcTaskRun, OneControllerIsScheduledAndASecondTimeTheLibraryRefuses) {
    Start(sim::MachineBuilder::FromFile("controllers.json"));
    Report first = Run(ZrcTask::REMAP_ONE, 0);
    EXPECT_EQ(first.text, "Remapping controller: Scsi0\n");
    EXPECT_EQ(first.result.getType(), 0) << first.result.getDetails().size();
    EXPECT_EQ(static_cast<uint32_t>(first.result.getCode()), 0x20000000u);
    ASSERT_EQ(first.remapCalls.size(), 1u);
    EXPECT_EQ(first.remapCalls[0].size(), 1u);
    EXPECT_EQ(Scheduled(), 1u);

    const Report again = Run(ZrcTask::REMAP_ONE, 0);
    EXPECT_NE(again.result.getType(), 0);
    EXPECT_EQ(static_cast<uint32_t>(again.result.getCode()), 0xA0010070u);
    ASSERT_FALSE(again.result.getDetails().empty());
    EXPECT_NE(again.result.getDetails().front().find("already scheduled for remap"), std::string::npos);
    EXPECT_EQ(Scheduled(), 1u);
}

TEST_F(ZrcTaskRun, AControllerThatCannotBeScheduledIsRefusedBeforeTheLibrary) {
    Start(sim::MachineBuilder::FromFile("controllers.json"));
    const struct {
        uint32_t port;
        int32_t returnCode;
        const char* detail;
    } cases[] = {
        {9, 3, "Selected controller does not exist."},
        {2, 3, "Selected controller is not valid for remapping."}, // the remapping controller itself
    };
    for (const auto& c : cases) {
        const Report report = Run(ZrcTask::REMAP_ONE, c.port);
        EXPECT_EQ(report.text, "Remapping controller: Scsi" + std::to_string(c.port) + "\n");
        EXPECT_EQ(report.result.getType(), c.returnCode) << c.port;
        EXPECT_EQ(report.result.getDetails(), std::vector<std::string>{c.detail}) << c.port;
        EXPECT_TRUE(report.remapCalls.empty());
    }
    EXPECT_EQ(Scheduled(), 0u);
}

TEST_F(ZrcTaskRun, AFailedGatheringIsReportedAsNoSuchControllerWithItsTexts) {
    Start(sim::MachineBuilder::FromFile("controllers.json"));
    clitest::ScopedUviFaults faults{{UviGetControllerHandles}};
    const Report report = Run(ZrcTask::REMAP_ONE, 0);
    EXPECT_EQ(report.result.getType(), 3);
    ASSERT_FALSE(report.result.getDetails().empty());
    EXPECT_EQ(report.result.getDetails().back(), "Selected controller does not exist.");
    EXPECT_GE(report.result.getDetails().size(), 2u);
}

TEST_F(ZrcTaskRun, AHybridDiskTakesItsOtherControllerAlongInOneCall) {
    Start(moxtest::HybridMachine({{2, 1, "ABC123-1", "0x4A21"}, {1, 0, "ABC123-2", "0x4A22"}}));
    const Report report = Run(ZrcTask::REMAP_ONE, 1);
    EXPECT_EQ(report.text, "Remapping controller: Scsi1\n"
                           "Warning: Selected controller is part of Hybrid Disk.\n"
                           "Below disk member will be also scheduled for remapping: \n"
                           "- Orvex Remapping Controller \\\\Scsi2\n");
    ASSERT_EQ(report.remapCalls.size(), 1u);
    EXPECT_EQ(report.remapCalls[0].size(), 2u);
}

TEST_F(ZrcTaskRun, AHybridDiskWithItsOtherHalfMissingIsRefused) {
    Start(moxtest::HybridMachine({{1, 0, "ABC123-1", "0x4A21"}, {1, 1, "ABC123-2", "0x4A22"}}));
    const Report report = Run(ZrcTask::REMAP_ONE, 1);
    EXPECT_EQ(report.result.getType(), 5);
    EXPECT_EQ(
        report.result.getDetails(),
        std::vector<std::string>{"Selected controller is part of Hybrid Disk with other disk missing."});
    EXPECT_TRUE(report.remapCalls.empty());
}

TEST_F(ZrcTaskRun, RemapAllSchedulesTheEligibleThenFindsNone) {
    Start(sim::MachineBuilder::FromFile("controllers.json"));
    const Report first = Run(ZrcTask::REMAP_ALL);
    EXPECT_EQ(first.text, "Remapping all valid controllers.\n");
    EXPECT_EQ(first.result.getType(), 0);
    EXPECT_GE(Scheduled(), 1u);

    const Report none = Run(ZrcTask::REMAP_ALL);
    EXPECT_NE(none.result.getType(), 0);
    EXPECT_EQ(static_cast<uint32_t>(none.result.getCode()), 0xA0010070u);
}

TEST_F(ZrcTaskRun, AnUnknownSubTaskIsReturnCodeTwo) {
    Start(sim::MachineBuilder::FromFile("controllers.json"));
    const Report report = Run(7);
    EXPECT_EQ(report.result.getType(), 2);
    EXPECT_TRUE(report.result.getDetails().empty());
    EXPECT_EQ(report.text, "");
}

} // namespace
