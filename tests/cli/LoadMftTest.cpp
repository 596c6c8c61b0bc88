// The master file table reader over the simulator's NTFS image of C: (the "ntfs" entry of its
// volume): which clusters it reads, how it reports what it cannot read.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cli/tasks/LoadMft.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/cli/CaptureStdout.h"

namespace {

using Reads = std::vector<std::pair<uint64_t, uint64_t>>; // offset, bytes

// The default PC, whose C: (volume entry 1, on a disk of 512-byte sectors) carries this NTFS entry.
sim::MachineBuilder WithNtfs(const std::string& ntfs) {
    sim::MachineBuilder pc = sim::MachineBuilder::Default();
    pc.Set("/volumes/1/ntfs", ntfs);
    return pc;
}

// C: on the pass-through disk with 4 KiB sectors instead.
sim::MachineBuilder WithNtfsOn4kSectors(const std::string& ntfs) {
    sim::MachineBuilder pc = sim::MachineBuilder::Default();
    pc.Remove("/volumes/1/letter");
    pc.Set("/volumes/3/letter", R"("C")");
    pc.Set("/disks/1/logical_sector_size", "4096");
    pc.Set("/volumes/3/ntfs", ntfs);
    return pc;
}

struct Load {
    int32_t type = 0;
    std::vector<std::string> details;
    std::string text;
    Reads reads;
};

Load RunLoad(sim::ScopedMachine& machine) {
    Load load;
    clitest::CaptureStdout out;
    const MOX::Error result = MOX::loadmft().load();
    load.type = result.getType();
    load.details = result.getDetails();
    load.text = out.text();
    for (const sim::Call& call : machine->calls().Of("ReadFile"))
        if (call.selectors["path"].get<std::string>() == "\\\\.\\c:")
            load.reads.emplace_back(call.selectors["offset"].get<uint64_t>(),
                                    call.selectors["size"].get<uint64_t>());
    return load;
}

constexpr uint64_t CLUSTER = 8 * 512;
// The boot sector is read as the first 4 KiB, the first file record as two 512-byte sectors.
const std::pair<uint64_t, uint64_t> BOOT{0, 4096};
std::pair<uint64_t, uint64_t> Record(uint64_t cluster) {
    return {cluster * CLUSTER, 1024};
}
std::pair<uint64_t, uint64_t> Clusters(uint64_t lcn, uint64_t count) {
    return {lcn * CLUSTER, count * CLUSTER};
}

TEST(LoadMft, ReadsEveryRunOfTheTableWhereItsRunListPlacesIt) {
    const struct {
        const char* name;
        std::string ntfs;
        std::vector<std::string> faults;
        Reads reads;
    } cases[] = {
        {"one run, in one piece",
         R"({"mft_runs": [{"lcn": 16, "clusters": 4}]})",
         {},
         {BOOT, Record(16), Clusters(16, 4)}},
        {"two runs, the second 50 clusters after the first",
         R"({"mft_runs": [{"lcn": 100, "clusters": 8}, {"lcn": 150, "clusters": 8}]})",
         {},
         {BOOT, Record(100), Clusters(100, 8), Clusters(150, 8)}},
        // Allocations of 16, 8 and 4 clusters fail: chunks of 2, so virtual clusters 10 to 13 are
        // clusters 152 to 155.
        {"chunks of two clusters across two runs",
         R"({"mft_runs": [{"lcn": 100, "clusters": 8}, {"lcn": 150, "clusters": 8}]})",
         {R"({"kind": "VirtualAlloc", "match": {"size": 65536}})",
          R"({"kind": "VirtualAlloc", "match": {"size": 32768}})",
          R"({"kind": "VirtualAlloc", "match": {"size": 16384}, "outcome": {"win32_error": 23}})"},
         {BOOT, Record(100), Clusters(100, 2), Clusters(102, 2), Clusters(104, 2), Clusters(106, 2),
          Clusters(150, 2), Clusters(152, 2), Clusters(154, 2), Clusters(156, 2)}},
        {"five clusters in chunks of 2, 2 and 1",
         R"({"mft_runs": [{"lcn": 16, "clusters": 5}]})",
         {R"({"kind": "VirtualAlloc", "match": {"size": 20480}})"},
         {BOOT, Record(16), Clusters(16, 2), Clusters(18, 2), Clusters(20, 1)}},
        // The second run's offset is -150: a later fragment before an earlier one.
        {"a run placed before the one before it",
         R"({"mft_runs": [{"lcn": 200, "clusters": 4}, {"lcn": 50, "clusters": 4}]})",
         {},
         {BOOT, Record(200), Clusters(200, 4), Clusters(50, 4)}},
        // The table holds eight runs: the ninth and tenth are not read, and nothing is read past
        // the table.
        {"ten runs",
         R"({"mft_runs": [{"lcn": 100, "clusters": 1}, {"lcn": 102, "clusters": 1}, {"lcn": 104, "clusters": 1},
             {"lcn": 106, "clusters": 1}, {"lcn": 108, "clusters": 1}, {"lcn": 110, "clusters": 1},
             {"lcn": 112, "clusters": 1}, {"lcn": 114, "clusters": 1}, {"lcn": 116, "clusters": 1},
             {"lcn": 118, "clusters": 1}]})",
         {},
         {BOOT, Record(100), Clusters(100, 1), Clusters(102, 1), Clusters(104, 1), Clusters(106, 1),
          Clusters(108, 1), Clusters(110, 1), Clusters(112, 1), Clusters(114, 1)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ScopedMachine machine(WithNtfs(c.ntfs));
        for (const std::string& rule : c.faults)
            machine->faults().Add(rule);
        const Load load = RunLoad(machine);
        EXPECT_EQ(load.type, 0) << load.text;
        EXPECT_EQ(load.text, "");
        EXPECT_EQ(load.reads, c.reads);
    }
}

TEST(LoadMft, FourKibSectorsReadTheFirstRecordAsOneSector) {
    sim::ScopedMachine machine(
        WithNtfsOn4kSectors(R"({"sectors_per_cluster": 1, "mft_runs": [{"lcn": 16, "clusters": 3}]})"));
    const Load load = RunLoad(machine);
    EXPECT_EQ(load.type, 0) << load.text;
    EXPECT_EQ(load.reads, (Reads{{0, 4096}, {16 * 4096, 4096}, {16 * 4096, 3 * 4096}}));
}

TEST(LoadMft, WhatCannotBeReadIsReportedOnceAndEndsTheLoad) {
    const std::string twoRuns = R"({"mft_runs": [{"lcn": 16, "clusters": 4}, {"lcn": 40, "clusters": 4}]})";
    const struct {
        const char* name;
        std::string ntfs;
        std::vector<std::string> faults;
        std::string text;
        std::vector<std::string> details;
        size_t reads;
    } cases[] = {
        {"no attribute to look at",
         R"({"next_attribute_id": 0, "mft_runs": [{"lcn": 16, "clusters": 4}]})",
         {},
         "Map has a size of 0\n",
         {},
         2},
        {"a data attribute without runs", R"({"mft_runs": []})", {}, "Map has a size of 0\n", {}, 2},
        {"a run list with a 5-byte length field",
         R"({"mft_runs": [{"lcn": 16, "clusters": 4}], "run_list": "15 04 00 00 00 00 10 00"})",
         {},
         "Map has a size of 0\n",
         {},
         2},
        {"first attribute past the record",
         R"({"first_attribute": 1024, "mft_runs": [{"lcn": 16, "clusters": 4}]})",
         {},
         "",
         {},
         2},
        {"table beyond the volume",
         R"({"total_sectors": 100, "mft_runs": [{"lcn": 16, "clusters": 4}]})",
         {},
         "",
         {"Logical cluster number larger than total sectors"},
         1},
        {"the volume cannot be opened",
         twoRuns,
         {R"({"kind": "CreateFile", "outcome": {"win32_error": 5}})"},
         "Failed to get handle\n",
         {},
         0},
        {"the position cannot be set",
         twoRuns,
         {R"({"kind": "SetFilePointer", "match": {"object": "volume", "offset": 163840}, "outcome": {"win32_error": 23}})"},
         "Could not get file pointer\nCould not read 4 clusters @ lcn 40\n",
         {},
         3},
        // The failed chunk is not read again.
        {"a data read fails",
         twoRuns,
         {R"({"kind": "ReadFile", "match": {"object": "volume", "offset": 65536, "size": 16384}, "outcome": {"win32_error": 23}})"},
         "Could not read file\nCould not read 4 clusters @ lcn 16\n",
         {},
         3},
        {"the first record cannot be read",
         twoRuns,
         {R"({"kind": "ReadFile", "match": {"object": "volume", "size": 1024}, "outcome": {"win32_error": 23}})"},
         "Could not read file\n",
         {},
         2},
        {"no memory for any chunk",
         twoRuns,
         {R"({"kind": "VirtualAlloc", "skip": 2, "times": -1})"},
         "",
         {},
         2},
        {"a run before the volume's start",
         R"({"mft_runs": [{"lcn": 16, "clusters": 4}], "last_vcn": 7, "run_list": "11 04 10 11 04 E0 00"})",
         {},
         "Could not read 4 clusters @ lcn -16\n",
         {},
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ScopedMachine machine(WithNtfs(c.ntfs));
        for (const std::string& rule : c.faults)
            machine->faults().Add(rule);
        const Load load = RunLoad(machine);
        EXPECT_EQ(load.type, 1);
        EXPECT_EQ(load.text, c.text);
        EXPECT_EQ(load.details, c.details);
        EXPECT_EQ(load.reads.size(), c.reads);
    }
}

TEST(LoadMftRunList, DecodesSignedOffsetsAndStopsAtWhatDoesNotFit) {
    using MOX::MftRunTable;
    const struct {
        const char* name;
        std::vector<uint8_t> list;
        std::vector<std::pair<uint32_t, int64_t>> runs;
    } cases[] = {
        {"one run", {0x21, 0x08, 0x00, 0x01, 0x00}, {{8, 0x100}}},
        {"a negative offset is sign-extended",
         {0x11, 0x04, 0x64, 0x11, 0x04, 0x9C, 0x00},
         {{4, 100}, {4, -100}}},
        {"an 8-byte offset", {0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, {{1, -1}}},
        {"the list ends with the bytes", {0x11, 0x04, 0x10}, {{4, 16}}},
        {"a field cut off by the end", {0x11, 0x04, 0x10, 0x31, 0x02, 0x01}, {{4, 16}}},
        {"a length wider than 32 bits", {0x11, 0x04, 0x10, 0x15, 1, 2, 3, 4, 5, 6, 0x00}, {{4, 16}}},
        {"a sparse run", {0x11, 0x04, 0x10, 0x01, 0x04, 0x00}, {{4, 16}}},
        {"nine runs",
         {0x11, 1,    1, 0x11, 1,    1, 0x11, 1,    1, 0x11, 1,    1, 0x11, 1,
          1,    0x11, 1, 1,    0x11, 1, 1,    0x11, 1, 1,    0x11, 1, 1,    0x00},
         {{1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}}},
        {"empty", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MftRunTable table{};
        const size_t count = MOX::DecodeRunList(c.list, table);
        std::vector<std::pair<uint32_t, int64_t>> runs;
        for (size_t i = 0; i < count; ++i)
            runs.emplace_back(table[i].clusters, table[i].offset);
        EXPECT_EQ(runs, c.runs);
    }
}

} // namespace
