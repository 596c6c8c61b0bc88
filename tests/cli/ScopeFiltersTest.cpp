#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "cli/ScopeFilters.h"

namespace {

// Records of the library's sizes with the handles placed where the library writes them.
template <size_t Size> struct Record { unsigned char bytes[Size]; };

template <size_t Size> Record<Size> With(std::initializer_list<std::pair<size_t, uint32_t>> handles) {
    Record<Size> r{};
    for (const auto& [offset, value] : handles)
        std::memcpy(r.bytes + offset, &value, sizeof value);
    return r;
}

TEST(ScopeFilters, EndDevicesAndVolumesByControllerOrArray) {
    using EndDevice = Record<720>;
    const std::vector<EndDevice> devices = {With<720>({{260, 1}, {32, 7}}), With<720>({{260, 2}, {32, 8}}),
                                            With<720>({{260, 1}, {32, 8}})};
    struct Case {
        int32_t kind;
        uint32_t id;
        size_t kept;
    };
    for (const Case& c : {Case{0, 99, 3}, Case{1, 1, 2}, Case{1, 3, 0}, Case{3, 8, 2}, Case{3, 7, 1}}) {
        std::vector<EndDevice> out;
        for (const auto& d : devices)
            EXPECT_FALSE(MOX::AppendEndDeviceInScope(d, c.kind, c.id, out).isError());
        EXPECT_EQ(out.size(), c.kept) << c.kind << "/" << c.id;
    }
    using Volume = Record<176>;
    std::vector<Volume> volumes;
    EXPECT_FALSE(MOX::AppendVolumeInScope(With<176>({{88, 4}, {4, 9}}), 3, 9, volumes).isError());
    EXPECT_FALSE(MOX::AppendVolumeInScope(With<176>({{88, 4}, {4, 9}}), 1, 9, volumes).isError());
    EXPECT_EQ(volumes.size(), 1u);
}

TEST(ScopeFilters, InvalidScopeAppendsNothing) {
    std::vector<Record<72>> arrays;
    const MOX::Error error = MOX::AppendArrayInScope(With<72>({{60, 5}}), 3, 5, arrays);
    EXPECT_EQ(error.getType(), 1);
    EXPECT_EQ(error.getMessage(), "REQUEST_FAILED: Request is formatted correctly but failed to execute.");
    EXPECT_EQ(error.getDetails(), std::vector<std::string>{"Invalid scope"});
    EXPECT_TRUE(arrays.empty());
    EXPECT_FALSE(MOX::AppendArrayInScope(With<72>({{60, 5}}), 1, 5, arrays).isError());
    EXPECT_EQ(arrays.size(), 1u);

    std::vector<Record<720>> devices;
    EXPECT_EQ(MOX::AppendEndDeviceInScope(Record<720>{}, 2, 0, devices).getType(), 1);
    EXPECT_TRUE(devices.empty());
}

TEST(ScopeFilters, PhysOfOneEndDevice) {
    std::vector<Record<216>> phys;
    EXPECT_FALSE(MOX::AppendPhyOfEndDevice(With<216>({{40, 12}}), 12, phys).isError());
    EXPECT_FALSE(MOX::AppendPhyOfEndDevice(With<216>({{40, 13}}), 12, phys).isError());
    EXPECT_EQ(phys.size(), 1u);
}

} // namespace
