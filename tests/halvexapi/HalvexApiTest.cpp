// The file pinning client over the simulated cache service: what each export sends and copies back,
// the failures it turns into results, the lock around pin and unpin, and the process state's unload.
#include <array>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "sim/CacheService.h"
#include "sim/Clock.h"
#include "sim/KernelObjects.h"
#include "sim/Machine.h"
#include "sim/TraceProviders.h"
#include "tests/halvexapi/HalvexLibrary.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ExportTable.h"

namespace {

using halvextest::HalvexLibrary;

constexpr const char* kMachine = R"({
  "name": "halvex",
  "files": { "entries": [ { "path": "C:\\Data\\report.docx", "id": 1 }, { "path": "C:\\Data\\photo.jpg", "id": 2 } ] },
  "cache_service": { "listening": true }
})";
constexpr const char* kPinning = R"({"interface": "0362fd69-ab89-41fa-8ce8-75aaa5a3cd52"})";
const wchar_t* const kReportPath = L"C:\\Data\\report.docx";
const wchar_t* const kMissingPath = L"C:\\Data\\missing.txt";

std::u16string Text(const PinningStatus& status) {
    std::u16string text;
    for (uint16_t unit : status.text)
        text += static_cast<char16_t>(unit);
    return text;
}

class HalvexApi : public ::testing::Test {
protected:
    // The machine first: the library is unloaded before the machine goes.
    sim::ScopedMachine machine_{sim::MachineBuilder::FromText(kMachine)};
    HalvexLibrary halvex_;

    size_t PinningCalls(const std::string& procedure = "") {
        std::string match = kPinning;
        if (!procedure.empty())
            match = match.substr(0, match.size() - 1) + R"(, "procedure": )" + procedure + "}";
        return machine_->calls().CountMatching("RpcCall", match);
    }
    void Answer(const char* procedure, int value) {
        machine_->SetValue(std::string("/cache_service/pinning/answers/") + procedure, value);
    }
};

TEST_F(HalvexApi, NullPointersGive14WithoutContactingTheService) {
    PinFileEntry pinEntry{-5, kReportPath};
    PinStatusFileEntry statusEntry{-5, kReportPath, -5, -5};
    struct Case {
        const char* what;
        std::function<int32_t()> call;
    } cases[] = {
        {"pinning status", [&] { return halvex_.GetPinningStatus(nullptr); }},
        {"pin list", [&] { return halvex_.PinFiles(nullptr); }},
        {"pin entries",
         [&] {
             PinFileList l{1, nullptr};
             return halvex_.PinFiles(&l);
         }},
        {"unpin list", [&] { return halvex_.UnpinFiles(nullptr); }},
        {"unpin entries",
         [&] {
             PinFileList l{1, nullptr};
             return halvex_.UnpinFiles(&l);
         }},
        {"pin-status list", [&] { return halvex_.GetPinStatusFiles(nullptr); }},
        {"pin-status entries",
         [&] {
             PinStatusFileList l{1, nullptr};
             return halvex_.GetPinStatusFiles(&l);
         }},
        {"file cache status", [&] { return halvex_.GetFileCacheStatus(nullptr); }},
        {"API version", [&] { return halvex_.GetPinningApiVersion(nullptr); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), 14);
    }
    EXPECT_EQ(machine_->calls().CountMatching("RpcCall", "{}"), 0u);
    EXPECT_EQ(machine_->calls().CountMatching("LocalAlloc", "{}"), 0u);
    EXPECT_EQ(pinEntry.result, -5);
    EXPECT_EQ(statusEntry.secondStatus, -5);
}

TEST_F(HalvexApi, EmptyListsAnswer0WithoutACall) {
    PinFileEntry pinEntry{-5, kReportPath};
    PinStatusFileEntry statusEntry{-5, kReportPath, -5, -5};
    PinFileList pins{0, &pinEntry};
    PinStatusFileList statuses{0, &statusEntry};
    EXPECT_EQ(halvex_.PinFiles(&pins), 0);
    EXPECT_EQ(halvex_.UnpinFiles(&pins), 0);
    EXPECT_EQ(halvex_.GetPinStatusFiles(&statuses), 0);
    EXPECT_EQ(machine_->calls().CountMatching("RpcCall", "{}"), 0u);
    EXPECT_EQ(pinEntry.result, -5);
    EXPECT_EQ(statusEntry.result, -5);
}

TEST_F(HalvexApi, AStoppedServiceGives1AndLeavesTheRecordsAsTheyWere) {
    machine_->SetValue("/cache_service/listening", false);
    FileCacheStatus cache;
    std::memset(&cache, 0xAB, sizeof cache);
    const FileCacheStatus cacheBefore = cache;
    EXPECT_EQ(halvex_.GetFileCacheStatus(&cache), 1);
    EXPECT_EQ(std::memcmp(&cache, &cacheBefore, sizeof cache), 0);

    PinningApiVersion version{7, 7, 7, 7};
    EXPECT_EQ(halvex_.GetPinningApiVersion(&version), 1);
    EXPECT_EQ(version.major, 7);
    EXPECT_EQ(halvex_.TriggerMigration(), 1);

    PinFileEntry pinEntry{-5, kReportPath};
    PinFileList pins{1, &pinEntry};
    EXPECT_EQ(halvex_.PinFiles(&pins), 1);
    EXPECT_EQ(halvex_.UnpinFiles(&pins), 1);
    EXPECT_EQ(pinEntry.result, -5);
    PinStatusFileEntry statusEntry{-5, kReportPath, -5, -5};
    PinStatusFileList statuses{1, &statusEntry};
    EXPECT_EQ(halvex_.GetPinStatusFiles(&statuses), 1);
    EXPECT_EQ(statusEntry.thirdStatus, -5);

    // The pinning status is a state, not an error: 0, with state 0.
    PinningStatus status{77, {'o', 'l', 'd'}};
    EXPECT_EQ(halvex_.GetPinningStatus(&status), 0);
    EXPECT_EQ(status.state, 0);
    EXPECT_EQ(status.text[0], 'o');
}

TEST_F(HalvexApi, PinAndUnpinCopyPerFileResultsOnlyFor0And17) {
    PinFileEntry entries[] = {{-5, kReportPath}, {-5, kMissingPath}, {-5, nullptr}};
    PinFileList list{3, entries};
    // A null path reaches the service as an absent one, which it answers for itself (87).
    EXPECT_EQ(halvex_.PinFiles(&list), 17);
    EXPECT_EQ(entries[0].result, 0);
    EXPECT_EQ(entries[1].result, 2);
    EXPECT_EQ(entries[2].result, 87);
    EXPECT_EQ(machine_->At("/cache_service/pinning/pinned/0/path").dump(), R"("C:\\Data\\report.docx")");

    for (auto& e : entries)
        e.result = -5;
    Answer("pin", 5);
    EXPECT_EQ(halvex_.PinFiles(&list), 5);
    for (const auto& e : entries)
        EXPECT_EQ(e.result, -5);

    PinFileList one{1, entries};
    EXPECT_EQ(halvex_.UnpinFiles(&one), 0);
    EXPECT_EQ(entries[0].result, 0);
    EXPECT_EQ(machine_->At("/cache_service/pinning/pinned").size(), 0u);
    EXPECT_EQ(halvex_.UnpinFiles(&one), 17); // no longer pinned
    EXPECT_EQ(entries[0].result, 2);
}

TEST_F(HalvexApi, APinStatusQueryWritesAllThreeValuesOfEveryEntryWhateverTheAnswer) {
    PinFileEntry pin{-5, kReportPath};
    PinFileList pins{1, &pin};
    ASSERT_EQ(halvex_.PinFiles(&pins), 0);
    ASSERT_EQ(halvex_.TriggerMigration(), 0);

    PinStatusFileEntry entries[] = {{-5, kReportPath, -5, -5}, {-5, L"C:\\Data\\photo.jpg", -5, -5}};
    PinStatusFileList list{2, entries};
    Answer("pin_status", 9);
    EXPECT_EQ(halvex_.GetPinStatusFiles(&list), 9);
    EXPECT_EQ((std::array{entries[0].result, entries[0].secondStatus, entries[0].thirdStatus}),
              (std::array{0, 1, 1}));
    EXPECT_EQ((std::array{entries[1].result, entries[1].secondStatus, entries[1].thirdStatus}),
              (std::array{0, 0, 0}));

    // A call that fails leaves zeros, not what the caller had.
    for (auto& e : entries)
        e.result = e.secondStatus = e.thirdStatus = -5;
    machine_->faults().Add(
        R"({"kind": "RpcCall", "match": {"procedure": 6}, "outcome": {"exception": 1726}})");
    EXPECT_EQ(halvex_.GetPinStatusFiles(&list), 1);
    for (const auto& e : entries)
        EXPECT_EQ((std::array{e.result, e.secondStatus, e.thirdStatus}), (std::array{0, 0, 0}));
}

TEST_F(HalvexApi, TheApiVersionReadsOneOneAfterASuccessfulCall) {
    machine_->SetValue("/cache_service/pinning/api_version", sim::Value::parse("[7, 8, 3, -4]"));
    PinningApiVersion version{};
    EXPECT_EQ(halvex_.GetPinningApiVersion(&version), 0);
    EXPECT_EQ((std::array{version.major, version.minor, version.build, version.revision}),
              (std::array{1, 1, 3, -4}));
    Answer("api_version", 3);
    EXPECT_EQ(halvex_.GetPinningApiVersion(&version), 3);
    EXPECT_EQ((std::array{version.major, version.minor, version.build, version.revision}),
              (std::array{7, 8, 3, -4}));
}

TEST_F(HalvexApi, RecordsArriveWholeAndAnswersPassThrough) {
    machine_->SetValue("/cache_service/pinning/state", 3);
    machine_->SetValue("/cache_service/pinning/text", "ABCDEFGH");
    machine_->SetValue(
        "/cache_service/pinning/file_cache",
        sim::Value::parse("[1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 18446744073709551615]"));
    // Eight characters and no terminator: all of them, and nothing after the record.
    struct {
        PinningStatus status;
        uint32_t after;
    } padded{{}, 0xA5A5A5A5};
    EXPECT_EQ(halvex_.GetPinningStatus(&padded.status), 0);
    EXPECT_EQ(padded.status.state, 3);
    EXPECT_EQ(Text(padded.status), u"ABCDEFGH");
    EXPECT_EQ(padded.after, 0xA5A5A5A5u);

    FileCacheStatus cache{};
    EXPECT_EQ(halvex_.GetFileCacheStatus(&cache), 0);
    EXPECT_EQ(cache.counters[0], 1u);
    EXPECT_EQ(cache.counters[13], UINT64_MAX);

    // The largest enumeration value is an answer like any other.
    Answer("migration", 32767);
    EXPECT_EQ(halvex_.TriggerMigration(), 32767);
}

TEST_F(HalvexApi, AnEnumerationAbove32767IsRefusedByTheRuntime) {
    Answer("file_cache", 40000);
    FileCacheStatus cache;
    std::memset(&cache, 0xAB, sizeof cache);
    const FileCacheStatus before = cache;
    EXPECT_EQ(halvex_.GetFileCacheStatus(&cache), 1);
    EXPECT_EQ(std::memcmp(&cache, &before, sizeof cache), 0);

    machine_->SetValue("/cache_service/pinning/state", 40000);
    PinningStatus status{5, {}};
    EXPECT_EQ(halvex_.GetPinningStatus(&status), 0);
    EXPECT_EQ(status.state, 0);

    Answer("pin", 40000);
    PinFileEntry entry{-5, kReportPath};
    PinFileList list{1, &entry};
    EXPECT_EQ(halvex_.PinFiles(&list), 1);
    EXPECT_EQ(entry.result, -5);
}

TEST_F(HalvexApi, MemoryThatCannotBeHadGives1) {
    auto failAllocation = [&](int size) {
        machine_->faults().Add(R"({"kind": "LocalAlloc", "match": {"size": )" + std::to_string(size) +
                               R"(}, "outcome": {"win32_error": 8}})");
    };
    PinFileEntry pins[] = {{-5, kReportPath}, {-5, kReportPath}};
    PinFileList pinList{2, pins};
    failAllocation(16); // the two path pointers
    EXPECT_EQ(halvex_.PinFiles(&pinList), 1);
    EXPECT_EQ(pins[0].result, -5);

    PinStatusFileEntry queries[] = {{-5, kReportPath, -5, -5}, {-5, kReportPath, -5, -5}};
    PinStatusFileList queryList{2, queries};
    failAllocation(8); // the first of the three value arrays
    EXPECT_EQ(halvex_.GetPinStatusFiles(&queryList), 1);
    EXPECT_EQ(queries[0].result, -5);
    // No procedure went out, only the context's open.
    EXPECT_EQ(PinningCalls(), 1u);

    // The reply of procedure 8 (14 counters and the answer) is memory the runtime takes from the stub.
    failAllocation(114);
    FileCacheStatus cache{};
    cache.counters[0] = 95;
    EXPECT_EQ(halvex_.GetFileCacheStatus(&cache), 1);
    EXPECT_EQ(cache.counters[0], 95u);
}

TEST_F(HalvexApi, TwoThreadsPinningRunOneAfterTheOther) {
    // The first pin is held inside its procedure call until the test lets it go.
    machine_->faults().Add(R"({"kind": "RpcCall", "match": {"procedure": 3}, "times": 1,
                               "outcome": {"hold": {"signal": "FirstPinIn", "wait": "FirstPinGo"}}})");
    auto in = sim::CreateEventObject("FirstPinIn", true, false);
    auto go = sim::CreateEventObject("FirstPinGo", true, false);
    PinFileEntry first{-5, kReportPath}, second{-5, L"C:\\Data\\photo.jpg"};
    PinFileList firstList{1, &first}, secondList{1, &second};
    int32_t firstResult = -1, secondResult = -1;
    std::thread a([&] { firstResult = halvex_.PinFiles(&firstList); });
    ASSERT_EQ(in.object->Wait(sim::Clock::kInfinite), sim::WaitOutcome::Signaled);
    const size_t waits = sim::CriticalSectionWaits();
    std::thread b([&] { secondResult = halvex_.PinFiles(&secondList); });
    // The second caller stands at the library lock while the first procedure is in flight.
    ASSERT_TRUE(sim::AwaitCriticalSectionWaits(waits + 1));
    EXPECT_EQ(PinningCalls("3"), 1u);
    std::dynamic_pointer_cast<sim::SyncEvent>(go.object)->Set();
    a.join();
    b.join();
    EXPECT_EQ(PinningCalls("3"), 2u);
    EXPECT_EQ(firstResult, 0);
    EXPECT_EQ(secondResult, 0);
    EXPECT_EQ(machine_->At("/cache_service/pinning/pinned").size(), 2u);
}

TEST_F(HalvexApi, UnloadClosesTheOpenedContextExactlyOnce) {
    FileCacheStatus cache{};
    ASSERT_EQ(halvex_.GetFileCacheStatus(&cache), 0);
    ASSERT_EQ(halvex_.TriggerMigration(), 0);
    EXPECT_EQ(sim::cacheservice::ContextsOpened(), 1u);
    EXPECT_EQ(sim::cacheservice::OpenContexts(), 1u);
    const size_t closesBefore = machine_->calls().CountMatching(
        "RpcCall", R"({"interface": "95e08e4d-4f3f-4bc6-bc79-cab39a131bfa", "procedure": 1})");
    EXPECT_EQ(closesBefore, 0u);
    halvex_.Unload();
    EXPECT_EQ(sim::cacheservice::OpenContexts(), 0u);
    EXPECT_EQ(sim::cacheservice::ContextsClosed(), 1u);
    // Closed through the cache service's context interface, not the pinning one.
    EXPECT_EQ(machine_->calls().CountMatching(
                  "RpcCall", R"({"interface": "95e08e4d-4f3f-4bc6-bc79-cab39a131bfa", "procedure": 1})"),
              1u);
    EXPECT_EQ(PinningCalls("1"), 0u);
}

TEST_F(HalvexApi, UnloadWithoutAContextMakesNoCall) {
    PinningStatus status{};
    ASSERT_EQ(halvex_.GetPinningStatus(&status), 0); // over the binding alone
    EXPECT_EQ(status.state, 1);
    const size_t calls = machine_->calls().CountMatching("RpcCall", "{}");
    halvex_.Unload();
    EXPECT_EQ(machine_->calls().CountMatching("RpcCall", "{}"), calls);
    EXPECT_EQ(sim::cacheservice::ContextsOpened(), 0u);
}

TEST_F(HalvexApi, AContextThatFailedToOpenIsTriedAgainAndAStaleOneIsNotReopened) {
    machine_->faults().Add(
        R"({"kind": "RpcCall", "match": {"procedure": 0}, "outcome": {"exception": 1722}})");
    EXPECT_EQ(halvex_.TriggerMigration(), 1);
    EXPECT_EQ(halvex_.TriggerMigration(), 0);
    EXPECT_EQ(sim::cacheservice::ContextsOpened(), 1u);
    // The service forgets its contexts (a restart): calls go on over the binding.
    machine_->SetValue("/cache_service/contexts", sim::Value::array());
    EXPECT_EQ(halvex_.TriggerMigration(), 0);
    EXPECT_EQ(sim::cacheservice::ContextsOpened(), 1u);
    // The close of the stale context fails at unload; nothing escapes.
    halvex_.Unload();
    EXPECT_EQ(sim::cacheservice::ContextsClosed(), 0u);
}

TEST_F(HalvexApi, TheTraceProviderIsRegisteredOncePerProcessWhateverTheThreads) {
    const sim::trace::ProviderCounts loaded = sim::trace::Provider("Halvex API DFP");
    std::thread threads[3];
    for (auto& t : threads)
        t = std::thread([&] { halvex_.TriggerMigration(); });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(sim::trace::Provider("Halvex API DFP").registrations, loaded.registrations);
    EXPECT_EQ(loaded.registrations, loaded.unregistrations + 1);
    halvex_.Unload();
    EXPECT_EQ(sim::trace::Provider("Halvex API DFP").unregistrations, loaded.unregistrations + 1);
}

// The library's dynamic symbol table is its seven functions: nothing of the cache service's client,
// the platform layer, the simulator or the C++ library.
TEST(HalvexApiExports, AreExactlyTheSevenFunctions) {
    moxtest::ExpectExportsExactly(HALVEXAPI_PATH, MOX_SOURCE_DIR "/halvexapi/HalvexApi.exports",
                                  {"RpcAllocate", "RpcFree", "RpcPinFiles", "RpcServiceCloseContext",
                                   "InvokeLocked", "sim::", "platform::", "nlohmann::", "std::"});
}

TEST(HalvexApiFromC, ACProgramLinksTheLibraryCallsItAndClosesItsContextAtExit) {
    sim::ScopedMachine machine(sim::MachineBuilder::FromText(kMachine));
    const std::string trace = (machine.stateDir() / "trace.log").string();
    ::setenv("MOX_TRACE", trace.c_str(), 1);
    const moxtest::ChildResult run = moxtest::RunProgram(HALVEXAPI_FROM_C, {});
    ::unsetenv("MOX_TRACE");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "status 0 state 1\n"
                          "pin 17 results 0 2\n"
                          "migration 0\n"
                          "pin status 0 values 0 1 1\n"
                          "file cache 0\n"
                          "version 0 1.1\n"
                          "unpin 0\n"
                          "null list 14\n");
    EXPECT_EQ(sim::cacheservice::ContextsOpened(), 1u);
    EXPECT_EQ(sim::cacheservice::ContextsClosed(), 1u);
    std::ifstream file(trace);
    std::stringstream read;
    read << file.rdbuf();
    const std::string lines = read.str();
    EXPECT_NE(lines.find("[Halvex API DFP] WARNING #22\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("[Halvex API DFP] VERBOSE #11\n"), std::string::npos) << lines;
}

} // namespace
