// The hybrid disk set exports over hybrid drives whose halves sit on one or on two controllers.
#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "tests/middleware/api/QueryTestSupport.h"
#include "tests/support/MachineParts.h"

namespace {

using moxtest::HybridMachine;
using querytest::Marked;
using querytest::Message;

class HybridDiskSetQueries : public querytest::QueryTest {};

TEST_F(HybridDiskSetQueries, CountMembersAndTheirControllers) {
    const struct {
        const char* what;
        std::vector<moxtest::HybridHalf> halves;
        uint32_t controllers;
    } cases[] = {
        {"one controller", {{2, 1, "ABC123-1", "0x4A21"}, {2, 2, "ABC123-2", "0x4A22"}}, 1},
        {"two controllers", {{2, 1, "ABC123-1", "0x4A21"}, {1, 0, "ABC123-2", "0x4A22"}}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Start(HybridMachine(c.halves));
        unsigned count = 0;
        _UVI_Error e = UviGetHybridDiskSetHandles(0, nullptr, &count);
        EXPECT_EQ(e.code, 0xA001000Du);
        CleanupUviError(&e);
        ASSERT_EQ(count, 1u);
        unsigned handle = 0;
        ASSERT_EQ(UviGetHybridDiskSetHandles(0, &handle, &count).status, 0u);
        _UVI_HybridDiskSetInfo info = Marked<_UVI_HybridDiskSetInfo>();
        e = UviGetHybridDiskSetInfo(0, handle, &info);
        ASSERT_EQ(e.status, 0u) << Message(e);
        EXPECT_EQ(info.handle, handle);
        EXPECT_EQ(info.numDiskHandles, 2u);
        EXPECT_NE(info.diskHandles[0], info.diskHandles[1]);
        EXPECT_EQ(info.diskHandles[2], 0xABABABABu); // past the count: untouched
        EXPECT_EQ(info.numControllerHandles, c.controllers);
        EXPECT_TRUE(std::is_sorted(info.controllerHandles, info.controllerHandles + c.controllers));
        EXPECT_EQ(info.controllerHandles[c.controllers], 0xABABABABu);

        e = UviGetHybridDiskSetInfo(0, handle + 1000, &info);
        EXPECT_EQ(e.code, 0xA0000004u);
        EXPECT_EQ(Message(e), "Invalid Handle passed in UviGetHybridDiskSetInfo, Received: " +
                                  std::to_string(handle + 1000));
        CleanupUviError(&e);
        ASSERT_EQ(UviFinalize().status, 0u);
        machine_.reset();
    }
}

} // namespace
