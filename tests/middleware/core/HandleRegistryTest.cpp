#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/core/HandleRegistry.h"

namespace {

// Each test runs in a process of its own, so the registry starts empty in each.

TEST(HandleRegistry, SameKeySameHandleNewKeyNextHandle) {
    HandleRegistry& registry = HandleRegistry::instance();
    EXPECT_EQ(&registry, &HandleRegistry::instance());
    EXPECT_EQ(registry.getHandle(HandleKindController, "SATA-1234"), 1u);
    EXPECT_EQ(registry.getHandle(HandleKindController, "SATA-1234"), 1u);
    EXPECT_EQ(registry.getHandle(HandleKindDisk, "SATA-1234"), 2u);
    EXPECT_EQ(registry.getHandle(HandleKindDisk, "SATA-1234"), 2u);
    EXPECT_EQ(registry.getHandle(HandleKindArray, "Array_0000_0001"), 3u);
}

TEST(HandleRegistry, KindsPickPrefixesAndUnknownKindsShareOther) {
    HandleRegistry& registry = HandleRegistry::instance();
    std::set<uint32_t> handles;
    for (unsigned kind = 1; kind <= 9; ++kind)
        handles.insert(registry.getHandle(kind, "X"));
    EXPECT_EQ(handles.size(), 9u);

    const uint32_t other = registry.getHandle(0, "a");
    EXPECT_EQ(registry.getHandle(HandleKindPciSwitch, "a"), other);
    EXPECT_EQ(registry.getHandle(4294967295u, "a"), other);
    EXPECT_EQ(registry.getHandle(11, "a"), other);
    EXPECT_EQ(other, 10u);

    // The prefix is glued to the name: "Other" + "Disk1" is not "Disk" + "1".
    EXPECT_NE(registry.getHandle(0, "Disk1"), registry.getHandle(HandleKindDisk, "1"));
    EXPECT_EQ(registry.getHandle(HandleKindDisk, "Other"), registry.getHandle(HandleKindDisk, "Other"));
}

TEST(HandleRegistry, HandlesAreNeverGivenBack) {
    HandleRegistry& registry = HandleRegistry::instance();
    const uint32_t before = registry.getHandle(HandleKindVolume, "Volume_Vol1_0000_0001");
    const uint32_t renamed = registry.getHandle(HandleKindVolume, "Volume_Vol2_0000_0001");
    EXPECT_NE(before, renamed);
    const uint32_t another = registry.getHandle(HandleKindVolume, "Volume_Vol3_0000_0001");
    EXPECT_NE(another, before);
    EXPECT_EQ(another, renamed + 1);
    // The old name coming back gets its old handle.
    EXPECT_EQ(registry.getHandle(HandleKindVolume, "Volume_Vol1_0000_0001"), before);
}

TEST(HandleRegistry, NullNameIsTheEmptyName) {
    HandleRegistry& registry = HandleRegistry::instance();
    EXPECT_EQ(registry.getHandle(HandleKindPort, nullptr), registry.getHandle(HandleKindPort, ""));
}

TEST(HandleRegistry, ConcurrentCallersAgreeAndNoHandleIsShared) {
    constexpr int kThreads = 8;
    constexpr int kKeys = 200;
    std::vector<std::vector<uint32_t>> seen(kThreads, std::vector<uint32_t>(kKeys));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &seen] {
            for (int i = 0; i < kKeys; ++i) {
                const int key = (i * 7 + t * 13) % kKeys; // each thread walks the keys in its own order
                seen[t][key] =
                    HandleRegistry::instance().getHandle(HandleKindDisk, std::to_string(key).c_str());
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    std::set<uint32_t> distinct(seen[0].begin(), seen[0].end());
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kKeys));
    EXPECT_EQ(*distinct.begin(), 1u);
    EXPECT_EQ(*distinct.rbegin(), static_cast<uint32_t>(kKeys));
    for (int t = 1; t < kThreads; ++t)
        EXPECT_EQ(seen[t], seen[0]);
}

} // namespace
