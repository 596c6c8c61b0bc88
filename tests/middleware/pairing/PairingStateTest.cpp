#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/pairing/PairingState.h"
#include "sim/Machine.h"
#include "sim/Registry.h"
#include "tests/support/ChildProcess.h"

namespace {

struct Answers {
    std::vector<uint8_t> pairing = std::vector<uint8_t>(0x100, 0);
    std::vector<uint8_t> nvCache = std::vector<uint8_t>(0x38, 0);

    static void Put(std::vector<uint8_t>& bytes, size_t offset, int32_t value) {
        std::memcpy(bytes.data() + offset, &value, 4);
    }
    // pair state, migration type; NV cache state, mode, cache and accelerated volume index.
    Answers(uint32_t pairState, uint32_t migrationType, uint32_t state, uint32_t mode, int32_t cacheIndex = 0,
            int32_t acceleratedIndex = 1) {
        Put(pairing, pairing_answer::kPairState, static_cast<int32_t>(pairState));
        Put(pairing, pairing_answer::kMigrationType, static_cast<int32_t>(migrationType));
        Put(nvCache, nv_cache_info::kState, static_cast<int32_t>(state));
        Put(nvCache, nv_cache_info::kMode, static_cast<int32_t>(mode));
        Put(nvCache, nv_cache_info::kCacheVolumeIndex, cacheIndex);
        Put(nvCache, nv_cache_info::kAcceleratedVolumeIndex, acceleratedIndex);
    }
};

sim::MachineBuilder Machine() {
    return sim::MachineBuilder("pairing-state");
}

sim::MachineBuilder WithEnabledFlag(int value) {
    return Machine().Set("/registry/keys/HKLM\\SOFTWARE\\WOW6432Node\\Orvex\\Bexl/IsHalvexEnabled",
                         R"({"type": "REG_DWORD", "data": )" + std::to_string(value) + "}");
}

TEST(ComputeVezkOperationStatus, TheTableWhenNoOperationRuns) {
    sim::ScopedMachine machine(Machine());
    struct Case {
        const char* what;
        Answers answers;
        bool flagged;
        bool member;
        uint32_t boot;
        int status;
    } cases[] = {
        {"separating", Answers(2, 1, 0, 0), true, false, 100, 0},
        {"no flagged volume", Answers(1, 1, 0, 0), false, false, 100, 0},
        {"mode on without a cache volume", Answers(1, 1, 0, 3, -1, 1), true, false, 100, 0},
        {"mode on without an accelerated volume", Answers(0, 0, 0, 4, 0, -1), true, false, 100, 0},
        {"paired, migration type 1", Answers(1, 1, 0, 0), true, false, 100, 5},
        {"paired, migration type 2", Answers(1, 2, 0, 0), true, false, 100, 1},
        {"paired, boot migration running", Answers(1, 3, 0, 0), true, false, 99, 6},
        {"paired, boot migration done, mode off", Answers(1, 3, 0, 0), true, false, 100, 9},
        {"paired, mode 3 with the member flag", Answers(1, 0, 0, 3), true, true, 100, 0},
        {"paired, mode 3 without it", Answers(1, 0, 0, 3), true, false, 100, 9},
        {"paired, mode 7", Answers(1, 0, 0, 7), true, false, 100, 8},
        {"paired, mode 4", Answers(1, 0, 0, 4), true, false, 100, 0},
        {"unpaired, state 3, accelerated volume", Answers(0, 0, 3, 0, -1, 1), true, false, 100, 2},
        {"unpaired, state 3, no accelerated volume", Answers(0, 0, 3, 0, -1, -1), true, false, 100, 4},
        {"unpaired, mode off", Answers(0, 0, 0, 0), true, false, 100, 4},
        {"unpaired, mode 3", Answers(0, 0, 0, 3), true, false, 100, 2},
        {"unpaired, mode 4", Answers(0, 0, 0, 4), true, false, 100, 3},
        {"unpaired, mode 5", Answers(0, 0, 0, 5), true, false, 100, 2},
        {"unpaired, mode 6", Answers(0, 0, 0, 6), true, false, 100, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            ComputeVezkOperationStatus(c.answers.pairing, c.answers.nvCache, c.flagged, c.member, c.boot),
            c.status)
            << c.what;
    const Answers any(1, 1, 0, 0);
    EXPECT_EQ(ComputeVezkOperationStatus({}, any.nvCache, true, false, 100), 0);
    EXPECT_EQ(ComputeVezkOperationStatus(any.pairing, {}, true, false, 100), 0);
    // An answer too short for its fields counts as none.
    EXPECT_EQ(ComputeVezkOperationStatus(std::span(any.pairing).first(0xF0), any.nvCache, true, false, 100),
              0);
}

TEST(ComputeVezkOperationStatus, AClearCacheHeldByAnotherProcessWinsOverEverything) {
    sim::ScopedMachine machine(Machine());
    moxtest::Child holder({"ncs-hold", kClearCacheSection});
    ASSERT_EQ(holder.ReadLine(), "ready 0X20000000");
    const Answers separating(2, 1, 0, 0);
    EXPECT_EQ(ComputeVezkOperationStatus(separating.pairing, separating.nvCache, false, false, 0), 10);
    holder.WriteLine("done");
    EXPECT_EQ(holder.Wait(), 0);
    EXPECT_EQ(ComputeVezkOperationStatus(separating.pairing, separating.nvCache, false, false, 0), 0);
}

TEST(ComputeVezkOperationStatus, AnEnableRunningElsewhereOrLeftEnabledGives7) {
    const Answers unpaired(0, 0, 0, 0);
    {
        // Held: in use.
        sim::ScopedMachine machine(Machine());
        moxtest::Child holder({"ncs-hold", kEnableOneStepSection});
        ASSERT_EQ(holder.ReadLine(), "ready 0X20000000");
        EXPECT_EQ(ComputeVezkOperationStatus(unpaired.pairing, unpaired.nvCache, true, false, 100), 7);
        holder.WriteLine("done");
        holder.Wait();
    }
    struct Case {
        const char* what;
        sim::MachineBuilder machine;
        int status;
    } cases[] = {
        {"mutex present, flag 1", WithEnabledFlag(1), 7},
        {"mutex present, flag 0", WithEnabledFlag(0), 4},
        {"mutex present, flag missing", Machine(), 4},
    };
    for (auto& c : cases) {
        sim::ScopedMachine machine(c.machine);
        // The mutex exists but its section is not entered: not in use.
        moxtest::Child owner({"mutex-hold", kEnableOneStepSection});
        ASSERT_EQ(owner.ReadLine(), "ready 0");
        EXPECT_EQ(ComputeVezkOperationStatus(unpaired.pairing, unpaired.nvCache, true, false, 100), c.status)
            << c.what;
        owner.WriteLine("release");
        owner.Wait();
    }
    // Without the mutex the flag alone does not count.
    sim::ScopedMachine machine(WithEnabledFlag(1));
    EXPECT_EQ(ComputeVezkOperationStatus(unpaired.pairing, unpaired.nvCache, true, false, 100), 4);
}

TEST(ReadBexlWow64Dword, ReadsTheThirtyTwoBitViewAndThrowsForRealFailures) {
    sim::ScopedMachine machine(WithEnabledFlag(1).Append(
        "/faults",
        R"({"kind": "RegQueryValueEx", "match": {"name": "Broken"}, "outcome": {"win32_error": 5}})"));
    DWORD value = 0;
    EXPECT_TRUE(ReadBexlWow64Dword("IsHalvexEnabled", &value));
    EXPECT_EQ(value, 1u);
    EXPECT_FALSE(ReadBexlWow64Dword("HalvexStatus", &value));
    try {
        ReadBexlWow64Dword("Broken", &value);
        ADD_FAILURE() << "no exception";
    } catch (const CConsolidatedError& e) {
        EXPECT_EQ(e.GetErrorType(), KEDO2_ERROR_TYPE_WIN32);
        EXPECT_EQ(e.GetWin32Error(), 5u);
        EXPECT_STREQ(e.GetDebugInformation(), "Error reading registry");
    }
}

size_t ValueWrites() {
    size_t n = 0;
    for (const auto& entry : sim::registry::WriteLog())
        n += entry.value("op", "") == "set_value";
    return n;
}

TEST(UpdateHalvexRegistryValues, WritesEachValueOnceWhenItChangesInTheThirtyTwoBitView) {
    sim::ScopedMachine machine(Machine());
    ResetHalvexRegistryValuesCache();
    Answers answers(0, 0, 0, 0);
    UpdateHalvexRegistryValues(answers.pairing);
    EXPECT_EQ(ValueWrites(), 2u);
    DWORD status = 9, enabled = 9;
    ASSERT_TRUE(ReadBexlWow64Dword("HalvexStatus", &status));
    ASSERT_TRUE(ReadBexlWow64Dword("IsHalvexEnabled", &enabled));
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(enabled, 0u);

    UpdateHalvexRegistryValues(answers.pairing);
    EXPECT_EQ(ValueWrites(), 2u);

    Answers::Put(answers.pairing, pairing_answer::kPairedWord, 1);
    UpdateHalvexRegistryValues(answers.pairing);
    EXPECT_EQ(ValueWrites(), 3u);
    ASSERT_TRUE(ReadBexlWow64Dword("IsHalvexEnabled", &enabled));
    EXPECT_EQ(enabled, 1u);

    Answers::Put(answers.pairing, pairing_answer::kPairedWord, 0);
    Answers::Put(answers.pairing, pairing_answer::kStatus, 6);
    UpdateHalvexRegistryValues(answers.pairing);
    EXPECT_EQ(ValueWrites(), 4u);
    ASSERT_TRUE(ReadBexlWow64Dword("HalvexStatus", &status));
    EXPECT_EQ(status, 6u);
    ResetHalvexRegistryValuesCache();
}

TEST(ExtendedPairingSetters, CopyTheVolumeAddressAndMarkTheFlag) {
    Answers answers(1, 0, 0, 0);
    std::vector<uint8_t> extended(0x24, 0);
    Answers::Put(extended, kExtendedVolumeAddress, 0x00070100);
    SetVezkVolumeAddressFromExtendedInfo({}, answers.pairing);
    uint32_t word = 1;
    std::memcpy(&word, answers.pairing.data() + pairing_answer::kVolumeAddress, 4);
    EXPECT_EQ(word, 0u);
    SetExtendedPairingAddress(extended, answers.pairing);
    std::memcpy(&word, answers.pairing.data() + pairing_answer::kVolumeAddress, 4);
    EXPECT_EQ(word, 0x00070100u);
    SetVezkExtendedFlag(answers.pairing);
    EXPECT_EQ(answers.pairing[pairing_answer::kExtendedFlag], 1);
}

} // namespace
