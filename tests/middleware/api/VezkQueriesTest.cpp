// Cache-memory pairing queries over sim/machines/pairing.json: port 0 supports pairing and has pair
// candidates, port 1 is joined (migration at 40 %), port 2 has no pairing support.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/UviApi.h"
#include "middleware/api/VezkQueries.h"
#include "sim/Faults.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/support/MachineParts.h"

namespace {

class Library {
public:
    explicit Library(const sim::MachineBuilder& builder) : machine_(builder) { UviInitialize(); }
    ~Library() { UviFinalize(); }
    sim::Machine& machine() { return machine_.machine(); }

private:
    sim::ScopedMachine machine_;
};

sim::MachineBuilder Pairing() {
    // No boot-time migration, so the joined pair's overall progress is the driver's own.
    return moxtest::PairingMachine().Set("/cache_service/migration/state", "1");
}

std::vector<unsigned> Handles(_UVI_Error (*query)(unsigned, unsigned*, unsigned*)) {
    unsigned count = 0;
    const _UVI_Error first = query(0, nullptr, &count);
    CleanupUviError(first.errorId);
    std::vector<unsigned> handles(count);
    EXPECT_EQ(query(0, handles.data(), &count).status, UVI_STATUS_SUCCESS);
    return handles;
}

TEST(OverallMigrationProgress, HalvedWhileRebuildingUnknownKept) {
    EXPECT_EQ(OverallMigrationProgress(40, 2, 1), 70);
    EXPECT_EQ(OverallMigrationProgress(40, 2, 3), 20);
    EXPECT_EQ(OverallMigrationProgress(40, 1, 1), 40);
    EXPECT_EQ(OverallMigrationProgress(-1, 2, 1), -1);
}

// The joined pair's overall progress as the driver reports it while the pair is normal.
int32_t NormalOverallProgress() {
    Library library(Pairing());
    const std::vector<unsigned> controllers = Handles(UviGetVezkHandles);
    _UVI_VezkInfo info{};
    EXPECT_EQ(UviGetVezkInfo(0, controllers.at(1), &info).status, UVI_STATUS_SUCCESS);
    return info.overallMigrationProgress;
}

TEST(UviGetVezkInfo, FirstSupportingControllerAndTheJoinedPair) {
    const int32_t normal = NormalOverallProgress();
    ASSERT_GE(normal, 0);
    Library library(Pairing().Set("/adapters/1/volume_port/state_word", "2"));
    _UVI_VezkInfo first;
    ASSERT_EQ(UviGetVezkInfo(0, 0, &first).status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(first.vezkSupported, 1);
    EXPECT_EQ(first.cpuSupported, 1);

    const std::vector<unsigned> controllers = Handles(UviGetVezkHandles);
    ASSERT_EQ(controllers.size(), 3u);
    EXPECT_EQ(first.controllerHandle, controllers[0]);
    _UVI_VezkInfo joined;
    ASSERT_EQ(UviGetVezkInfo(0, controllers[1], &joined).status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(joined.pairingState, 2u);
    EXPECT_EQ(joined.blockMigrationProgress, 40);
    // Rebuilding and no creating migration: the first half of the way.
    EXPECT_EQ(joined.overallMigrationProgress, normal / 2);
    EXPECT_NE(joined.pairingVolumeHandle, 0u);
    EXPECT_NE(joined.extendedAddress, 0xFFFFFFFFu);

    _UVI_VezkInfo none;
    ASSERT_EQ(UviGetVezkInfo(0, controllers[2], &none).status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(none.vezkSupported, 0);

    const _UVI_Error unknown = UviGetVezkInfo(0, 0xFFFF, &none);
    EXPECT_EQ(unknown.code, 0xA0000004u);
    CleanupUviError(unknown.errorId);

    _UVI_Error error{};
    const _UVI_VezkInfo byValue = UviGetVezkInfoEx(0, controllers[1], &error);
    EXPECT_EQ(error.status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(&byValue, &joined, sizeof joined), 0);
    const _UVI_VezkInfo failed = UviGetVezkInfoEx(0, 0xFFFF, &error);
    EXPECT_EQ(error.code, 0xA0000004u);
    EXPECT_EQ(failed.controllerHandle, 0u);
    CleanupUviError(error.errorId);
}

std::string MessageOf(const _UVI_Error& error) {
    std::vector<char> text(UviGetErrorMessage(error.errorId, nullptr, 0) + 1, '\0');
    UviGetErrorMessage(error.errorId, text.data(), static_cast<unsigned>(text.size()));
    CleanupUviError(error.errorId);
    return text.data();
}

TEST(UviGetVezkHandles, AnswersAsTheControllerQueryDoes) {
    Library library(Pairing());
    const struct {
        const char* name;
        bool list;
        unsigned count;
    } cases[] = {
        {"a short list", true, 1}, {"a null list with a count", false, 3}, {"room for all", true, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned> vezk(3, 0xEEEEEEEE), controllers(3, 0xEEEEEEEE);
        unsigned vezkCount = c.count, controllerCount = c.count;
        // Each message is read before the next call replaces the thread's error.
        const _UVI_Error fromVezk = UviGetVezkHandles(0, c.list ? vezk.data() : nullptr, &vezkCount);
        const std::string vezkMessage = MessageOf(fromVezk);
        const _UVI_Error fromControllers =
            UviGetControllerHandles(0, c.list ? controllers.data() : nullptr, &controllerCount);
        EXPECT_EQ(fromVezk.status, fromControllers.status);
        EXPECT_EQ(fromVezk.code, fromControllers.code);
        EXPECT_EQ(vezkMessage, MessageOf(fromControllers));
        EXPECT_EQ(vezkCount, controllerCount);
        EXPECT_EQ(vezk, controllers);
    }
}

TEST(InvalidHandleTexts, HandlesPrintAsSignedDecimals) {
    Library library(Pairing());
    constexpr unsigned kHandle = 0xFFFFFFF0;
    _UVI_VezkInfo vezk{};
    _UVI_VezkDiskPairInfo pair{};
    UVI_PhyInfo phy{};
    _UVI_HybridDiskSetInfo set{};
    const struct {
        std::function<_UVI_Error()> call;
        const char* text;
    } cases[] = {
        {[&] { return UviGetVezkInfo(0, kHandle, &vezk); },
         "Invalid Handle passed in internalUviVezkNvcInfo, Received: -16"},
        {[&] { return UviGetVezkDiskPairInfo(0, kHandle, &pair); },
         "Invalid Handle passed in UviGetVezkDiskPairInfo, Received: -16"},
        {[&] { return UviGetPhyInfo(0, kHandle, &phy); },
         "Invalid Handle passed in internalUviGetPhyInfo, Received: -16"},
        {[&] { return UviGetHybridDiskSetInfo(0, kHandle, &set); },
         "Invalid Handle passed in UviGetHybridDiskSetInfo, Received: -16"},
    };
    for (const auto& c : cases) {
        const _UVI_Error error = c.call();
        EXPECT_EQ(error.code, 0xA0000004u) << c.text;
        EXPECT_EQ(MessageOf(error), c.text);
    }
}

TEST(UviGetVezkInfo, NoPairingControllerAnswersNotSupported) {
    Library library(sim::MachineBuilder::Default().Set("/adapters/0/volume_port/supported", "false"));
    _UVI_VezkInfo info;
    const _UVI_Error error = UviGetVezkInfo(0, 0, &info);
    EXPECT_EQ(error.code, 0xA0070019u);
    CleanupUviError(error.errorId);
    _UVI_VolportPerformanceCounters counters;
    std::memset(&counters, 0x5A, sizeof counters);
    const _UVI_Error countersError = UviGetVolportPerformanceCounters(0, &counters);
    EXPECT_EQ(countersError.code, 0xA0070019u);
    EXPECT_EQ(counters.counters[0], 0x5A5A5A5A5A5A5A5Aull);
    CleanupUviError(countersError.errorId);
}

TEST(UviGetVolportPerformanceCounters, CountersAndAFailedRequest) {
    Library library(sim::MachineBuilder::FromFile("states.json"));
    _UVI_VolportPerformanceCounters counters{};
    ASSERT_EQ(UviGetVolportPerformanceCounters(0, &counters).status, UVI_STATUS_SUCCESS);
    for (unsigned i = 0; i < 18; ++i)
        EXPECT_EQ(counters.counters[i], i + 1u);
    // A failed request leaves no counter of an earlier answer in the caller's record.
    library.machine().faults().Add(R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000D08"},
                                       "outcome": {"win32_error": 31}})");
    std::memset(&counters, 0x5A, sizeof counters);
    const _UVI_Error request = UviGetVolportPerformanceCounters(0, &counters);
    EXPECT_EQ(request.errorType, 1u);
    EXPECT_EQ(request.win32Error, 31u);
    const _UVI_VolportPerformanceCounters zero{};
    EXPECT_EQ(std::memcmp(&counters, &zero, sizeof zero), 0);
    CleanupUviError(request.errorId);

    const _UVI_Error null = UviGetVolportPerformanceCounters(0, nullptr);
    EXPECT_EQ(null.code, 0xA0000006u);
    CleanupUviError(null.errorId);
}

TEST(VezkDiskPairs, HandlesInfoAndTheRefusals) {
    Library library(Pairing());
    const std::vector<unsigned> pairs = Handles(UviGetVezkDiskPairHandles);
    ASSERT_FALSE(pairs.empty());
    for (unsigned handle : pairs) {
        _UVI_VezkDiskPairInfo info;
        std::memset(&info, 0x5A, sizeof info);
        ASSERT_EQ(UviGetVezkDiskPairInfo(0, handle, &info).status, UVI_STATUS_SUCCESS);
        EXPECT_NE(info.slowDiskHandle, info.fastDiskHandle);
        EXPECT_LE(info.pairVerdict, 9u);
        EXPECT_LE(info.allowedFileCacheModes, 3u);
        EXPECT_EQ(info.reserved20, 0x5A5A5A5Au); // not written
    }
    unsigned count = 0;
    _UVI_Error error = UviGetVezkDiskPairHandles(0, nullptr, &count);
    EXPECT_EQ(error.code, 0xA001000Du);
    EXPECT_EQ(count, pairs.size());
    CleanupUviError(error.errorId);
    count = 1;
    error = UviGetVezkDiskPairHandles(0, nullptr, &count);
    EXPECT_EQ(error.code, 0xA0010002u);
    CleanupUviError(error.errorId);

    _UVI_VezkDiskPairInfo untouched;
    std::memset(&untouched, 0x33, sizeof untouched);
    error = UviGetVezkDiskPairInfo(0, 0xFFFFF, &untouched);
    EXPECT_EQ(error.code, 0xA0000004u);
    EXPECT_EQ(untouched.slowDiskHandle, 0x33333333u);
    CleanupUviError(error.errorId);
    error = UviGetVezkDiskPairInfo(0, 0, &untouched);
    EXPECT_EQ(error.code, 0xA0000006u);
    CleanupUviError(error.errorId);
}

TEST(VezkDiskPairs, CapacityShortExactAndZero) {
    Library library(Pairing());
    const std::vector<unsigned> pairs = Handles(UviGetVezkDiskPairHandles);
    const unsigned n = static_cast<unsigned>(pairs.size());
    ASSERT_GE(n, 1u);
    const struct {
        const char* what;
        unsigned capacity;
        uint32_t code;
    } cases[] = {{"short", n - 1, 0xA001000D}, {"exact", n, 0x20000000}, {"zero", 0, 0xA001000D}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned> list(n + 1, 0xEEEEEEEE);
        unsigned count = c.capacity;
        const _UVI_Error error = UviGetVezkDiskPairHandles(0, list.data(), &count);
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(count, n);
        CleanupUviError(error.errorId);
        EXPECT_EQ(list[n], 0xEEEEEEEEu) << "written past the capacity";
        if (c.code == 0x20000000)
            EXPECT_EQ(std::vector<unsigned>(list.begin(), list.begin() + n), pairs);
        else
            EXPECT_EQ(list[c.capacity], 0xEEEEEEEEu) << "written past the capacity";
    }
}

TEST(VezkDiskPairs, NoPairsSucceedsWithCountZero) {
    Library library(sim::MachineBuilder::Default().Set("/adapters/0/volume_port/supported", "false"));
    unsigned count = 0;
    EXPECT_EQ(UviGetVezkDiskPairHandles(0, nullptr, &count).status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(count, 0u);
}

TEST(HybridDiskSets, NoneOnTheDefaultMachine) {
    Library library(sim::MachineBuilder::Default());
    unsigned count = 0;
    EXPECT_EQ(UviGetHybridDiskSetHandles(0, nullptr, &count).status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(count, 0u);
    _UVI_HybridDiskSetInfo info{};
    const _UVI_Error unknown = UviGetHybridDiskSetInfo(0, 7, &info);
    EXPECT_EQ(unknown.code, 0xA0000004u);
    CleanupUviError(unknown.errorId);
    EXPECT_EQ(UviGetHybridDiskSetHandles(0, nullptr, nullptr).code, 0xA0010002u);
    EXPECT_EQ(UviGetHybridDiskSetInfo(0, 7, nullptr).code, 0xA0010002u);
}

} // namespace
